#pragma once

#include <functional>
#include <memory>

class QApplication;

namespace test_support {

// The Qt application of the dialog tests, on the offscreen platform. Create one per test (or
// per suite) on the main thread; the thread that creates it is the UI thread.
class QtApplication {
  public:
    QtApplication();
    ~QtApplication();
    QtApplication(const QtApplication&) = delete;
    QtApplication& operator=(const QtApplication&) = delete;

  private:
    std::unique_ptr<QApplication> app_;
};

// Runs the UI thread's events until done() holds or timeout_ms of real time pass; returns
// done(). Workers' calls onto the UI thread are served meanwhile.
bool pump_events_until(const std::function<bool()>& done, int timeout_ms = 10000);

}  // namespace test_support
