#include "jobs/hot_folder_watch.h"

#include "engine/step_settings.h"

int start_hot_folder_watch() {
    load_step_settings();
    return 0;
}
