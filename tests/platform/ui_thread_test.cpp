#include "platform/ui/ui_thread.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "platform/ui/message_box.h"
#include "qt_application.h"

namespace {

namespace ui = platform::ui;

// A worker's call: whether it ran, and what it returned.
struct WorkerCall {
    std::atomic<bool> ran{false};
    std::atomic<int> result{-1};
    std::atomic<bool> returned{false};

    void make() {
        result = ui::ui_call([this] {
            ran = true;
            return 7;
        });
        returned = true;
    }
    // Makes the call on a new thread, returned once that thread is about to make it.
    std::thread start() {
        std::atomic<bool> asking{false};
        std::thread worker([this, &asking] {
            asking = true;
            make();
        });
        while (!asking) {
            std::this_thread::yield();
        }
        return worker;
    }
};

TEST(UiThread, AfterTheEventLoopReturnsTheUiThreadMayWaitForAWorkerInACall) {
    test_support::QtApplication app;
    QTimer::singleShot(0, [] { QCoreApplication::quit(); });
    QCoreApplication::exec();
    // Shutting down: the UI thread joins a worker that is just making a call and asking.
    WorkerCall call;
    ui::Answer answer = ui::Answer::Retry;
    std::thread worker([&] {
        call.make();
        answer = ui::message_box("Printer not found", "", ui::Buttons::RetryCancel);
    });
    worker.join();
    EXPECT_FALSE(call.ran);
    EXPECT_EQ(call.result, 0);
    EXPECT_EQ(answer, ui::Answer::Cancel);
}

TEST(UiThread, AProgramEndingAfterItsMainModalRunStopsServingBeforeItJoinsWorkers) {
    test_support::QtApplication app;
    WorkerCall waiting;
    std::thread worker = waiting.start();
    ui::stop_serving_calls();
    worker.join();
    EXPECT_FALSE(waiting.ran);
    EXPECT_EQ(waiting.result, 0);
}

TEST(UiThread, ACallWaitingWhenTheApplicationGoesReturnsUnrunAndLaterCallsToo) {
    auto app = std::make_unique<test_support::QtApplication>();
    WorkerCall waiting;
    std::thread worker = waiting.start();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(waiting.returned);
    app.reset();
    worker.join();
    EXPECT_FALSE(waiting.ran);
    EXPECT_EQ(waiting.result, 0);

    // With the application gone no worker touches a window, not even in its own thread.
    WorkerCall late;
    std::thread([&] { late.make(); }).join();
    EXPECT_FALSE(late.ran);
    EXPECT_EQ(late.result, 0);

    // A new application serves calls again.
    test_support::QtApplication again;
    WorkerCall served;
    std::thread next([&] { served.make(); });
    EXPECT_TRUE(test_support::pump_events_until([&] { return served.returned.load(); }));
    next.join();
    EXPECT_TRUE(served.ran);
    EXPECT_EQ(served.result, 7);
}

}  // namespace
