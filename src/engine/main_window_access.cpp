#include "engine/main_window_access.h"

#include <atomic>

namespace engine {

namespace {
std::atomic<MainWindowAccess*> g_main_window{nullptr};
}  // namespace

void register_main_window(MainWindowAccess* window) {
    g_main_window.store(window);
}

MainWindowAccess* main_window() {
    return g_main_window.load();
}

platform::ui::ListCtrl* main_window_list(int id) {
    MainWindowAccess* window = main_window();
    return window != nullptr ? window->list(id) : nullptr;
}

void show_main_window_bitmap(int picture_id, int bitmap) {
    if (MainWindowAccess* window = main_window()) {
        window->show_bitmap(picture_id, bitmap);
    }
}

}  // namespace engine
