#include "config/program_globals.h"

std::string g_settings_root;
std::string g_settings_dir;
std::string g_job_folder;
std::string g_spool_folder;
std::string g_printed_folder;

std::atomic<std::uint8_t> g_rotary_mode{0};
std::atomic<std::int32_t> g_print_job_set{1};
std::atomic<std::uint32_t> g_settings_generation{0};
