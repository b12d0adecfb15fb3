#include "message_box_recorder.h"

#include "platform/clock.h"

namespace test_support {

using platform::ui::Answer;
using platform::ui::MessageBoxRecord;

MessageBoxRecorder::MessageBoxRecorder(Answer default_answer) : default_answer_(default_answer) {
    previous_ = platform::ui::set_message_box_responder(
        [this](const MessageBoxRecord& box) { return answer(box); });
}

MessageBoxRecorder::~MessageBoxRecorder() {
    platform::ui::set_message_box_responder(std::move(previous_));
}

void MessageBoxRecorder::queue_answer(Answer next) {
    std::lock_guard lock(mutex_);
    queued_.push_back(next);
}

std::vector<MessageBoxRecord> MessageBoxRecorder::boxes() const {
    std::lock_guard lock(mutex_);
    return boxes_;
}

std::vector<std::string> MessageBoxRecorder::texts() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> result;
    for (const auto& box : boxes_) {
        result.push_back(box.text);
    }
    return result;
}

std::vector<std::uint32_t> MessageBoxRecorder::shown_at() const {
    std::lock_guard lock(mutex_);
    return shown_at_;
}

std::size_t MessageBoxRecorder::count() const {
    std::lock_guard lock(mutex_);
    return boxes_.size();
}

Answer MessageBoxRecorder::answer(const MessageBoxRecord& box) {
    std::lock_guard lock(mutex_);
    boxes_.push_back(box);
    shown_at_.push_back(platform::tick_count());
    if (queued_.empty()) {
        return default_answer_;
    }
    const Answer next = queued_.front();
    queued_.pop_front();
    return next;
}

}  // namespace test_support
