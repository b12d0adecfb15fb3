#include "usb/driver.h"

#include <algorithm>

#include "platform/clock.h"

namespace usb {

void IoRecord::begin() {
    bytes_ = 0;
    error_ = kErrorIncomplete;
    state_.store(State::Pending, std::memory_order_release);
    if (event_ != nullptr) {
        event_->reset();
    }
}

void IoRecord::complete(std::uint32_t bytes, std::uint32_t error) {
    bytes_ = bytes;
    error_ = error;
    state_.store(State::Done, std::memory_order_release);
    if (event_ != nullptr) {
        event_->set();
    }
}

bool IoRecord::result(std::uint32_t& bytes, std::uint32_t& error) const {
    if (state_.load(std::memory_order_acquire) != State::Done) {
        bytes = 0;
        error = kErrorIncomplete;
        return false;
    }
    bytes = bytes_;
    error = error_;
    return error_ == kErrorNone;
}

bool wait_done(const IoRecord& record, std::uint32_t timeout_ms) {
    // Waits in slices and looks at the record after each: an auto-reset event that several
    // calls share may have been taken by another waiter, and its signal may belong to
    // another call.
    constexpr std::uint32_t kSliceMs = 50;
    const std::uint32_t start = platform::tick_count();
    for (;;) {
        if (record.done()) {
            return true;
        }
        std::uint32_t slice = kSliceMs;
        if (timeout_ms != platform::kWaitForever) {
            const std::uint32_t elapsed = platform::tick_count() - start;
            if (elapsed >= timeout_ms) {
                return record.done();
            }
            slice = std::min(kSliceMs, timeout_ms - elapsed);
        }
        if (record.event() != nullptr) {
            record.event()->wait(slice);
        } else {
            platform::sleep_ms(std::min<std::uint32_t>(slice, 1));
        }
    }
}

}  // namespace usb
