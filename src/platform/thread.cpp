#include "platform/thread.h"

#include <chrono>

#include "platform/clock.h"

namespace platform {

void Event::set() {
    // Notified under the lock: a waiter that returns may destroy the event at once, so set()
    // must not touch it after the lock is released.
    std::lock_guard lock(mutex_);
    signalled_ = true;
    changed_.notify_one();
}

void Event::reset() {
    std::lock_guard lock(mutex_);
    signalled_ = false;
}

bool Event::wait(std::uint32_t timeout_ms) {
    std::unique_lock lock(mutex_);
    if (timeout_ms == kWaitForever) {
        changed_.wait(lock, [this] { return signalled_; });
    } else {
        const auto real = std::chrono::microseconds(real_microseconds(timeout_ms));
        if (!changed_.wait_for(lock, real, [this] { return signalled_; })) {
            return false;
        }
    }
    signalled_ = false;
    return true;
}

WorkerThread::~WorkerThread() {
    stop_and_join();
}

void WorkerThread::start() {
    std::lock_guard lock(mutex_);
    if (thread_.joinable() || stop_) {
        return;
    }
    thread_ = std::thread([this] { run(); });
}

bool WorkerThread::post(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) {
    {
        std::lock_guard lock(mutex_);
        if (stop_) {
            return false;
        }
        queue_.push_back({message, wparam, lparam});
    }
    queued_.notify_one();
    return true;
}

void WorkerThread::request_stop() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    queued_.notify_all();
}

void WorkerThread::stop_and_join() {
    request_stop();
    if (thread_.joinable() && !running_on_this_thread()) {
        thread_.join();
    }
}

void WorkerThread::register_handler(std::uint32_t message, Handler handler) {
    std::lock_guard lock(mutex_);
    handlers_[message] = std::move(handler);
}

void WorkerThread::on_unhandled(std::uint32_t, std::uintptr_t, std::intptr_t) {}

void WorkerThread::run() {
    for (;;) {
        Message message{};
        Handler handler;
        {
            std::unique_lock lock(mutex_);
            queued_.wait(lock, [this] { return stop_ || !queue_.empty(); });
            if (stop_) {
                return;
            }
            message = queue_.front();
            queue_.pop_front();
            if (auto found = handlers_.find(message.id); found != handlers_.end()) {
                handler = found->second;
            }
        }
        if (handler) {
            handler(message.wparam, message.lparam);
        } else {
            on_unhandled(message.id, message.wparam, message.lparam);
        }
    }
}

}  // namespace platform
