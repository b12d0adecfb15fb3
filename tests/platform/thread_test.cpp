#include "platform/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <vector>

#include "platform/clock.h"

namespace {

constexpr std::uint32_t kRecord = 0x469;
constexpr std::uint32_t kLoop = 0x46C;

class RecordingThread : public platform::WorkerThread {
  public:
    RecordingThread() {
        register_handler(kRecord, [this](std::uintptr_t w, std::intptr_t l) {
            std::lock_guard lock(mutex);
            seen.emplace_back(w, l);
            done.set();
        });
        register_handler(kLoop, [this](std::uintptr_t, std::intptr_t) {
            // A role that runs for the life of the thread, as the workers' roles do.
            looping = true;
            while (!stop_requested()) {
                platform::sleep_ms(1);
            }
        });
    }
    ~RecordingThread() override { stop_and_join(); }

    std::mutex mutex;
    std::vector<std::pair<std::uintptr_t, std::intptr_t>> seen;
    platform::Event done;
    std::atomic<bool> looping{false};
};

TEST(WorkerThread, MessagesPostedBeforeStartAreHandledInOrder) {
    RecordingThread thread;
    ASSERT_TRUE(thread.post(kRecord, 1, -1));
    ASSERT_TRUE(thread.post(kRecord, 2, -2));
    ASSERT_TRUE(thread.post(0x999));  // no handler: ignored
    ASSERT_TRUE(thread.post(kRecord, 3, -3));
    thread.start();
    // The event is auto-reset, so sets that come before a wait merge: wait for the count.
    for (int tries = 0; tries < 5000; ++tries) {
        {
            std::lock_guard lock(thread.mutex);
            if (thread.seen.size() == 3) {
                break;
            }
        }
        thread.done.wait(1);
    }
    std::lock_guard lock(thread.mutex);
    ASSERT_EQ(thread.seen.size(), 3u);
    EXPECT_EQ(thread.seen[0], (std::pair<std::uintptr_t, std::intptr_t>{1, -1}));
    EXPECT_EQ(thread.seen[2], (std::pair<std::uintptr_t, std::intptr_t>{3, -3}));
}

TEST(WorkerThread, EndlessRoleEndsWhenStopped) {
    RecordingThread thread;
    thread.start();
    thread.post(kLoop);
    while (!thread.looping) {
        platform::sleep_ms(1);
    }
    thread.stop_and_join();
    EXPECT_FALSE(thread.post(kRecord)) << "a stopped thread takes no more messages";
}

TEST(Event, AutoResetLetsOneWaitThrough) {
    platform::Event event;
    EXPECT_FALSE(event.wait(10));
    event.set();
    EXPECT_TRUE(event.wait(0));
    EXPECT_FALSE(event.wait(0)) << "the first wait resets the event";
    platform::Event preset(true);
    EXPECT_TRUE(preset.wait(0));
}

TEST(Event, SetFromAnotherThreadWakesTheWaiter) {
    platform::Event event;
    std::thread setter([&] {
        platform::sleep_ms(20);
        event.set();
    });
    EXPECT_TRUE(event.wait(10000));
    setter.join();
}

TEST(RecursiveLock, SameThreadMayTakeItTwice) {
    platform::RecursiveLock lock;
    lock.lock();
    EXPECT_TRUE(lock.try_lock());
    lock.unlock();
    lock.unlock();
    bool taken_elsewhere = false;
    std::thread other([&] {
        taken_elsewhere = lock.try_lock();
        if (taken_elsewhere) {
            lock.unlock();
        }
    });
    other.join();
    EXPECT_TRUE(taken_elsewhere);
}

}  // namespace
