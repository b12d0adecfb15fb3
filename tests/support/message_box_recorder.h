#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

#include "platform/ui/message_box.h"

namespace test_support {

// Records every message box shown while it lives and answers it: with the queued answers in
// order, then with the default answer. Thread-safe, since boxes come from worker threads.
class MessageBoxRecorder {
  public:
    explicit MessageBoxRecorder(platform::ui::Answer default_answer = platform::ui::Answer::Ok);
    ~MessageBoxRecorder();
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    void queue_answer(platform::ui::Answer answer);
    std::vector<platform::ui::MessageBoxRecord> boxes() const;
    std::vector<std::string> texts() const;
    // The tick count (program ms) at which each box was shown.
    std::vector<std::uint32_t> shown_at() const;
    std::size_t count() const;

  private:
    platform::ui::Answer answer(const platform::ui::MessageBoxRecord& box);

    mutable std::mutex mutex_;
    platform::ui::Answer default_answer_;
    std::deque<platform::ui::Answer> queued_;
    std::vector<platform::ui::MessageBoxRecord> boxes_;
    std::vector<std::uint32_t> shown_at_;
    platform::ui::MessageBoxResponder previous_;
};

}  // namespace test_support
