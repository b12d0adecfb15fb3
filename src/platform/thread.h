#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace platform {

// Waits without a time-out.
inline constexpr std::uint32_t kWaitForever = 0xFFFFFFFFu;

// A lock that the thread holding it may take again.
class RecursiveLock {
  public:
    void lock() { mutex_.lock(); }
    void unlock() { mutex_.unlock(); }
    bool try_lock() { return mutex_.try_lock(); }

  private:
    std::recursive_mutex mutex_;
};

// An auto-reset event: set() lets exactly one wait through, then the event is clear again.
// Time-outs are program time (platform clock).
class Event {
  public:
    explicit Event(bool initially_set = false) : signalled_(initially_set) {}
    void set();
    void reset();
    // True when the event was set within timeout_ms (kWaitForever waits without end).
    bool wait(std::uint32_t timeout_ms = kWaitForever);

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool signalled_;
};

// A thread with a message queue. The queue exists from construction, so messages posted
// before start() are kept and handled in order once the thread runs. Each class registers
// the handlers of its messages in its constructor; a handler may run for the life of the
// process (a worker role), in which case it should return once stop_requested() is true so
// that the owner can be destroyed.
class WorkerThread {
  public:
    using Handler = std::function<void(std::uintptr_t wparam, std::intptr_t lparam)>;

    WorkerThread() = default;
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;
    // Stops and joins. A derived class whose handlers use its own members must call
    // stop_and_join() in its own destructor, before those members go.
    virtual ~WorkerThread();

    // Starts the thread; a second call does nothing.
    void start();
    // Queues a message; false once the thread has been asked to stop.
    bool post(std::uint32_t message, std::uintptr_t wparam = 0, std::intptr_t lparam = 0);

    void request_stop();
    bool stop_requested() const { return stop_.load(); }
    // Asks the thread to stop, wakes it and waits for the handler that runs to return.
    void stop_and_join();

    bool running_on_this_thread() const { return std::this_thread::get_id() == thread_.get_id(); }

  protected:
    void register_handler(std::uint32_t message, Handler handler);
    // Called for a message without a handler; ignores it by default.
    virtual void on_unhandled(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam);

  private:
    struct Message {
        std::uint32_t id;
        std::uintptr_t wparam;
        std::intptr_t lparam;
    };

    void run();

    std::mutex mutex_;
    std::condition_variable queued_;
    std::deque<Message> queue_;
    std::unordered_map<std::uint32_t, Handler> handlers_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace platform
