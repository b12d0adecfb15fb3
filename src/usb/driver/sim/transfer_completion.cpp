#include "usb/driver/sim/bus.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>

#include "platform/clock.h"

// How the bus ends the transfers under way: on time, by an abort, or when the cable goes.
namespace usb::sim {
namespace {

// The statuses the simulated driver writes into a failed transfer's header. Their values are
// this driver's own; the system only tells 0 from the rest.
constexpr std::uint32_t kNtFailed = 1;
constexpr std::uint32_t kUsbdStall = 4;
constexpr std::uint32_t kUsbdCancelled = 0x10;
constexpr std::uint32_t kUsbdTimeout = 0x20;
constexpr std::uint32_t kUsbdDeviceGone = 0x40;

constexpr std::uint8_t kGetDescriptorRequestType = 0x80;
constexpr std::uint8_t kGetDescriptor = 6;

std::uint32_t usbd_status_for(std::uint32_t error) {
    switch (error) {
        case kErrorNone:
            return 0;
        case kErrorAborted:
            return kUsbdCancelled;
        case kErrorTimeout:
            return kUsbdTimeout;
        case kErrorDeviceGone:
            return kUsbdDeviceGone;
        default:
            return kUsbdStall;
    }
}

}  // namespace

void Bus::cancel_locked(std::unique_lock<std::mutex>& lock, const PendingFilter& filter,
                        std::uint32_t error) {
    const std::thread::id self = std::this_thread::get_id();
    for (;;) {
        bool rescan = false;
        for (auto it = pending_.begin(); it != pending_.end();) {
            if (!filter(*it)) {
                ++it;
                continue;
            }
            if (it->completing) {
                if (it->completer == self) {
                    // A model that pulls the cable while its own transfer completes: that
                    // transfer ends failed once its completion is over.
                    it->cancel_error = error;
                    ++it;
                    continue;
                }
                changed_.wait(lock);
                rescan = true;
                break;
            }
            const auto next = std::next(it);
            end_locked(it, Outcome{false, 0, error, usbd_status_for(error)});
            it = next;
        }
        if (!rescan) {
            return;
        }
    }
}

void Bus::end_locked(std::list<Pending>::iterator it, const Outcome& outcome) {
    write_u32(it->header + kHeaderNtStatusOffset, outcome.error == kErrorNone ? 0 : kNtFailed);
    write_u32(it->header + kHeaderUsbdStatusOffset, outcome.usbd);
    IoRecord* record = it->record;
    pending_.erase(it);
    record->complete(outcome.error == kErrorNone ? outcome.bytes : 0, outcome.error);
    changed_.notify_all();
}

Bus::Outcome Bus::perform(Pending& p, const std::shared_ptr<PrinterModel>& model) {
    Outcome outcome;
    const auto refuse = [&outcome] {
        outcome.error = kErrorGeneralFailure;
        outcome.usbd = kUsbdStall;
        return outcome;
    };
    const TransferHeader header = TransferHeader::read(p.header);
    switch (p.work) {
        case Work::Standard: {
            if (header.request_type != kGetDescriptorRequestType ||
                header.request != kGetDescriptor) {
                return refuse();
            }
            const auto descriptor =
                p.printer->tables_.descriptor(static_cast<std::uint8_t>(header.value >> 8),
                                              static_cast<std::uint8_t>(header.value & 0xFF));
            if (!descriptor) {
                return refuse();
            }
            const std::size_t n = std::min<std::size_t>(descriptor->size(), p.data_length);
            std::memcpy(p.data, descriptor->data(), n);
            outcome.bytes = p.data_offset + static_cast<std::uint32_t>(n);
            return outcome;
        }
        case Work::Class: {
            if (model == nullptr) {
                return refuse();
            }
            const SetupPacket setup{header.request_type, header.request, header.value, header.index,
                                    header.length};
            const ClassAnswer answer =
                model->class_request(setup, std::span<std::uint8_t>(p.data, p.data_length));
            if (answer.reply == ClassReply::NoAnswer) {
                outcome.silent = true;
                return outcome;
            }
            if (answer.reply == ClassReply::Stall) {
                return refuse();
            }
            const std::size_t n = std::min<std::size_t>(answer.length, p.data_length);
            outcome.bytes = p.data_offset + static_cast<std::uint32_t>(n);
            return outcome;
        }
        case Work::BulkOut:
            if (model != nullptr) {
                model->bulk_out(p.pipe, std::span<const std::uint8_t>(p.data, p.data_length));
            }
            outcome.bytes = p.data_offset + p.data_length;
            return outcome;
        case Work::BulkIn:
            break;
    }
    return refuse();
}

std::list<Bus::Pending>::iterator Bus::soonest_locked(std::uint32_t now, bool due_only,
                                                      std::int32_t& wait) {
    auto next = pending_.end();
    for (auto it = pending_.begin(); it != pending_.end(); ++it) {
        if (it->completing || it->held || !it->has_due) {
            continue;
        }
        const auto left = static_cast<std::int32_t>(it->due - now);
        if ((!due_only || left <= 0) && (next == pending_.end() || left < wait)) {
            next = it;
            wait = left;
        }
    }
    return next;
}

void Bus::complete_locked(std::unique_lock<std::mutex>& lock, std::list<Pending>::iterator it) {
    if (it->expired_on_due) {
        end_locked(it, Outcome{false, 0, kErrorTimeout, kUsbdTimeout});
        return;
    }
    it->completing = true;
    it->completer = std::this_thread::get_id();
    const std::shared_ptr<PrinterModel> model = it->printer->model_;
    lock.unlock();
    Outcome outcome = perform(*it, model);
    lock.lock();
    it->completing = false;
    it->completer = {};
    if (it->cancel_error != kErrorNone) {
        outcome = Outcome{false, 0, it->cancel_error, usbd_status_for(it->cancel_error)};
    } else if (outcome.silent) {
        // The firmware does not answer: the transfer ends at the header's time-out, or only
        // by an abort when it has none.
        const std::uint32_t timeout_s = TransferHeader::read(it->header).timeout_s;
        it->has_due = timeout_s > 0;
        it->due = platform::tick_count() + timeout_s * 1000;
        it->expired_on_due = true;
        changed_.notify_all();
        return;
    }
    end_locked(it, outcome);
}

void Bus::complete_due() {
    std::unique_lock lock(mutex_);
    for (;;) {
        std::int32_t wait = 0;
        const auto next = soonest_locked(platform::tick_count(), true, wait);
        if (next == pending_.end()) {
            return;
        }
        complete_locked(lock, next);
    }
}

void Bus::run() {
    // Wakes at least this often, so that a change of the time scale or of the tick count is
    // seen without a notification.
    constexpr std::chrono::microseconds kLongestSleep(20'000);
    std::unique_lock lock(mutex_);
    while (!stop_) {
        const std::uint32_t now = platform::tick_count();
        std::optional<std::int32_t> replug_wait;
        for (const auto& printer : printers_) {
            printer->replug_if_due_locked(now);
            if (!printer->replug_pending_) {
                continue;
            }
            const auto wait = static_cast<std::int32_t>(printer->replug_at_ - now);
            if (!replug_wait || wait < *replug_wait) {
                replug_wait = wait;
            }
        }
        std::int32_t soonest = 0;
        const auto next = soonest_locked(now, false, soonest);
        if (next == pending_.end() || soonest > 0) {
            std::optional<std::int32_t> wait = replug_wait;
            if (next != pending_.end() && (!wait || soonest < *wait)) {
                wait = soonest;
            }
            const std::chrono::microseconds real(
                wait ? platform::real_microseconds(static_cast<std::uint32_t>(*wait))
                     : kLongestSleep.count());
            changed_.wait_for(lock, std::min(real, kLongestSleep));
            continue;
        }
        complete_locked(lock, next);
    }
}

}  // namespace usb::sim
