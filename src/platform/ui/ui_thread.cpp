#include "platform/ui/ui_thread.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace platform::ui {
namespace {

// One worker's call on its way to the UI thread.
struct PendingCall {
    const std::function<void()>* work = nullptr;
    bool done = false;
    // Dropped unrun because the application quit; work must not be touched then.
    bool abandoned = false;
};

// Whether an application serves calls, and the calls it has not begun. Every application
// opens it when it is constructed and closes it when its event loop returns and again when it
// is destroyed.
struct Gate {
    enum class State { NoApplicationYet, Serving, Closed };

    std::mutex mutex;
    std::condition_variable finished;
    State state = State::NoApplicationYet;
    std::thread::id ui_thread;
    std::vector<std::shared_ptr<PendingCall>> pending;
};

Gate& gate() {
    static Gate the_gate;
    return the_gate;
}

void close_gate() {
    Gate& g = gate();
    {
        std::lock_guard lock(g.mutex);
        g.state = Gate::State::Closed;
        for (const auto& call : g.pending) {
            call->abandoned = true;
        }
        g.pending.clear();
    }
    g.finished.notify_all();
}

void run_pending(const std::shared_ptr<PendingCall>& call) {
    Gate& g = gate();
    {
        std::lock_guard lock(g.mutex);
        if (call->abandoned) {
            return;
        }
        std::erase(g.pending, call);
    }
    (*call->work)();
    {
        std::lock_guard lock(g.mutex);
        call->done = true;
    }
    g.finished.notify_all();
}

// Runs on the UI thread in every application's constructor.
void open_gate() {
    Gate& g = gate();
    {
        std::lock_guard lock(g.mutex);
        g.state = Gate::State::Serving;
        g.ui_thread = std::this_thread::get_id();
    }
    QCoreApplication* app = QCoreApplication::instance();
    QObject::connect(app, &QCoreApplication::aboutToQuit, app, [] { close_gate(); });
    // Called first thing when the application is destroyed, while it is still whole.
    qAddPostRoutine(close_gate);
}

}  // namespace

}  // namespace platform::ui

static void velquorin_open_ui_gate() {
    platform::ui::open_gate();
}
Q_COREAPP_STARTUP_FUNCTION(velquorin_open_ui_gate)

namespace platform::ui {

void stop_serving_calls() {
    close_gate();
}

bool on_ui_thread() {
    Gate& g = gate();
    std::lock_guard lock(g.mutex);
    return g.state == Gate::State::NoApplicationYet || std::this_thread::get_id() == g.ui_thread;
}

namespace detail {

bool send_to_ui_thread(const std::function<void()>& work) {
    Gate& g = gate();
    auto call = std::make_shared<PendingCall>();
    call->work = &work;
    std::unique_lock lock(g.mutex);
    if (g.state == Gate::State::NoApplicationYet ||
        (g.state == Gate::State::Serving && std::this_thread::get_id() == g.ui_thread)) {
        lock.unlock();
        work();
        return true;
    }
    if (g.state == Gate::State::Closed) {
        return false;
    }
    // Posted under the lock: the application cannot be destroyed meanwhile, since its
    // destruction closes the gate first.
    g.pending.push_back(call);
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [call] { run_pending(call); }, Qt::QueuedConnection);
    g.finished.wait(lock, [&] { return call->done || call->abandoned; });
    return call->done;
}

}  // namespace detail
void run_on_helper_thread(const std::function<void()>& work) {
    QEventLoop loop;
    std::thread helper([&] {
        work();
        QMetaObject::invokeMethod(
            &loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    helper.join();
}

}  // namespace platform::ui
