#include "printer/protocol_state.h"

std::uint8_t g_command_buffer[6] = {};
int g_command_length = 0;
std::atomic<std::uint8_t> g_status_byte{0};
int g_status_length = 1;

std::atomic<std::uint8_t> g_stop_printing{0};
std::atomic<int> g_printer_idle{1};
std::atomic<int> g_pass_done{0};
std::atomic<std::uint8_t> g_pass_sent{0};
int g_pass_toggle = 0;
int g_first_pass_seen = 0;
std::uint32_t g_first_pass_tick = 0;
int g_pass_timing_calibrated = 0;
std::uint32_t g_pass_timeout_ms = kInitialPassTimeoutMs;
std::uint32_t g_bidir_pass_delay_ms = 0;
std::atomic<std::uint8_t> g_reconnect_cancelled{0};
std::atomic<std::uint8_t> g_nozzle_print_error{0};

std::uint8_t g_direction = 0;
std::uint8_t g_ink_mode = 0;  // no job printed since start
std::uint8_t g_not_2vanish = 1;
std::uint32_t g_column_count = 0;
std::int32_t g_y_position = 0;
