#include "app/app_globals.h"

platform::ui::Font g_font_list;
platform::ui::Font g_font_caption;
std::string g_selected_job_state;
unsigned g_job_list_new_state = 0;
unsigned g_job_list_old_state = 0;
std::atomic<std::int32_t> g_import_abort{0};
std::int32_t g_wait_progress = 1;
int g_asc_row = 0;
std::string g_asc_keyword;
int g_asc_last_index = 0;
