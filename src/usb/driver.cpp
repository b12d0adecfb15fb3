#include "usb/driver.h"

#include <algorithm>

#include <cstring>
#include <thread>

#include "platform/clock.h"

namespace usb {

void InformationAnswer::put_u8(std::uint8_t value) {
    bytes[0] = value;
    size = 1;
}

void InformationAnswer::put_u32(std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
    size = 4;
}

void InformationAnswer::put_name(const std::string& name) {
    std::memcpy(bytes, name.data(), std::min<std::size_t>(name.size(), kNameLength - 1));
    size = kNameLength;
}

std::uint32_t InformationAnswer::deliver(void* out, std::uint32_t out_length,
                                         std::uint32_t& returned) const {
    if (out == nullptr || out_length < size) {
        returned = 0;
        return kErrorInvalidParameter;
    }
    std::memcpy(out, bytes, size);
    returned = size;
    return kErrorNone;
}

void IoRecord::begin() {
    completer_ = nullptr;
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
    // The event is set before the record is marked done: a waiter that sees done may destroy
    // the record and its event at once, so nothing of them may be touched after that store.
    platform::Event* const event = event_;
    state_.store(State::Signalling, std::memory_order_release);
    if (event != nullptr) {
        event->set();
    }
    state_.store(State::Done, std::memory_order_release);
}

void IoRecord::settle() const {
    while (state_.load(std::memory_order_acquire) == State::Signalling) {
        std::this_thread::yield();
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
        record.settle();
        if (record.done()) {
            return true;
        }
        std::uint32_t slice = kSliceMs;
        if (timeout_ms != platform::kWaitForever) {
            const std::uint32_t elapsed = platform::tick_count() - start;
            if (elapsed >= timeout_ms) {
                if (Driver* completer = record.completer()) {
                    completer->complete_due();
                }
                record.settle();
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

bool wait_or_abandon(Driver& driver, IoRecord& record, std::uint32_t timeout_ms) {
    if (wait_done(record, timeout_ms)) {
        return true;
    }
    if (driver.abandon(record)) {
        record.settle();
    } else {
        wait_done(record, platform::kWaitForever);
    }
    return false;
}

}  // namespace usb
