#pragma once

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
    std::size_t count() const;

  private:
    platform::ui::Answer answer(const platform::ui::MessageBoxRecord& box);

    mutable std::mutex mutex_;
    platform::ui::Answer default_answer_;
    std::deque<platform::ui::Answer> queued_;
    std::vector<platform::ui::MessageBoxRecord> boxes_;
    platform::ui::MessageBoxResponder previous_;
};

}  // namespace test_support
