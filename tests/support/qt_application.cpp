#include "qt_application.h"

#include <QApplication>
#include <QElapsedTimer>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace test_support {
namespace {

int g_argc = 1;
char g_name[] = "velquorin_tests";
char* g_argv[] = {g_name, nullptr};

}  // namespace

QtApplication::QtApplication() {
    // No test may need a display.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    app_ = std::make_unique<QApplication>(g_argc, g_argv);
}

QtApplication::~QtApplication() = default;

bool pump_events_until(const std::function<bool()>& done, int timeout_ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeout_ms) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace test_support
