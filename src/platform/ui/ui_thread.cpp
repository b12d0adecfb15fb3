#include "platform/ui/ui_thread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

namespace platform::ui {

bool on_ui_thread() {
    QCoreApplication* app = QCoreApplication::instance();
    return app == nullptr || QThread::currentThread() == app->thread();
}

namespace detail {

void send_to_ui_thread(const std::function<void()>& work) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || QThread::currentThread() == app->thread()) {
        work();
        return;
    }
    QMetaObject::invokeMethod(
        app, [&work] { work(); }, Qt::BlockingQueuedConnection);
}

}  // namespace detail
}  // namespace platform::ui
