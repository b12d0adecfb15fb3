#include "platform/ui/screen.h"

#include <QGuiApplication>
#include <QScreen>

#include <mutex>

#include "platform/ui/qt_convert.h"
#include "platform/ui/ui_thread.h"

namespace platform::ui {
namespace {

std::mutex g_override_mutex;
std::optional<ScreenMetrics> g_override;

}  // namespace

ScreenMetrics screen_metrics() {
    {
        const std::lock_guard lock(g_override_mutex);
        if (g_override) {
            return *g_override;
        }
    }
    return ui_call([] {
        ScreenMetrics metrics;
        const QScreen* screen = QGuiApplication::primaryScreen();
        if (screen == nullptr) {
            return metrics;
        }
        const Rect available = from_qt(screen->availableGeometry());
        metrics.full_screen_width = available.width();
        metrics.work_area = available;
        metrics.screen_height = screen->geometry().height();
        metrics.screen_width = screen->geometry().width();
        return metrics;
    });
}

void set_screen_metrics(std::optional<ScreenMetrics> metrics) {
    const std::lock_guard lock(g_override_mutex);
    g_override = metrics;
}

}  // namespace platform::ui
