#include <algorithm>
#include <chrono>
#include <cstring>

#include "platform/clock.h"
#include "usb/descriptors.h"
#include "usb/driver/libusb/libusb_driver.h"
#include "usb/transfer_header.h"

// How the driver's transfer calls become libusb transfers, and how they end.
namespace usb::libusb {
namespace {

constexpr std::uint8_t kStandardDeviceToHost = 0x80;
constexpr std::uint8_t kGetDescriptor = 6;
// The NT status of a failed transfer; the system only tells 0 from the rest.
constexpr std::uint32_t kNtFailed = 1;

std::uint32_t error_of(TransferStatus status) {
    switch (status) {
        case TransferStatus::Completed:
            return kErrorNone;
        case TransferStatus::TimedOut:
            return kErrorTimeout;
        case TransferStatus::Cancelled:
            return kErrorAborted;
        case TransferStatus::NoDevice:
            return kErrorDeviceGone;
        default:
            return kErrorGeneralFailure;
    }
}

void write_statuses(std::uint8_t* header, TransferStatus status) {
    write_u32(header + kHeaderNtStatusOffset, status == TransferStatus::Completed ? 0 : kNtFailed);
    write_u32(header + kHeaderUsbdStatusOffset, static_cast<std::uint32_t>(status));
}

std::uint32_t fail(IoRecord& record, std::uint32_t error) {
    record.complete(0, error);
    return error;
}

}  // namespace

std::uint32_t LibusbDriver::io_control_overlapped(std::uint64_t handle, std::uint32_t code,
                                                  void* in, std::uint32_t in_length, void* out,
                                                  std::uint32_t out_length, IoRecord& record) {
    record.begin();
    auto* const in_bytes = static_cast<std::uint8_t*>(in);
    if ((code == kCodeBufferedTransfer || code == kCodeDirectTransfer) && in_bytes != nullptr &&
        in_length >= kTransferHeaderSize) {
        clear_halt_before(handle, TransferHeader::read(in_bytes).endpoint);
    }
    std::lock_guard lock(mutex_);
    const auto found = handles_.find(handle);
    if (found == handles_.end()) {
        return fail(record, kErrorInvalidHandle);
    }
    const std::shared_ptr<OpenDevice> device = found->second;
    // An abort goes through whatever the device's state: a gone device's transfers may still
    // hold their callers' records, and only the abort gets them back.
    if (code == kCodeAbortPipe) {
        if (in_bytes == nullptr || in_length < 1) {
            return fail(record, kErrorInvalidParameter);
        }
        return abort_locked(device, in_bytes[0], record);
    }
    if (device->gone) {
        return fail(record, kErrorDeviceGone);
    }
    switch (code) {
        case kCodeControlTransfer:
            return control_locked(handle, device, in_bytes, in_length, record);
        case kCodeBufferedTransfer:
        case kCodeDirectTransfer:
            return bulk_locked(handle, device, code, in_bytes, in_length,
                               static_cast<std::uint8_t*>(out), out_length, record);
        default: {
            std::uint32_t returned = 0;
            const std::uint32_t error = answer_information(
                *device, code, static_cast<std::uint8_t*>(out), out_length, returned);
            record.complete(returned, error);
            return error;
        }
    }
}

void LibusbDriver::clear_halt_before(std::uint64_t handle, std::uint8_t pipe) {
    {
        std::lock_guard lock(mutex_);
        const auto found = handles_.find(handle);
        if (found == handles_.end() || !found->second->halted.contains(pipe)) {
            return;
        }
    }
    // The clear is a request the device answers: it is made neither in a callback nor under
    // mutex_, which the callbacks take. open_mutex_ keeps the handle from being released
    // meanwhile, and makes the callers that found the pipe stalled clear it one at a time:
    // once one has, the pipe is looked at again, since a second clear would reset the pipe's
    // data toggle under the transfer the first one sent.
    std::lock_guard opening(open_mutex_);
    std::shared_ptr<OpenDevice> device;
    {
        std::lock_guard lock(mutex_);
        const auto found = handles_.find(handle);
        if (found == handles_.end() || found->second->gone || found->second->handle == nullptr ||
            !found->second->halted.contains(pipe)) {
            return;
        }
        device = found->second;
    }
    const Result result = library_.clear_halt(*device->handle, pipe);
    std::lock_guard lock(mutex_);
    if (result == Result::Ok) {
        device->halted.erase(pipe);
    } else if (result == Result::NoDevice) {
        device->gone = true;
    }
}

std::uint32_t LibusbDriver::control_locked(std::uint64_t handle,
                                           const std::shared_ptr<OpenDevice>& device,
                                           std::uint8_t* in, std::uint32_t in_length,
                                           IoRecord& record) {
    if (in == nullptr || in_length < kTransferHeaderSize) {
        return fail(record, kErrorInvalidParameter);
    }
    const TransferHeader header = TransferHeader::read(in);
    // A header whose data area is not inside the block it came with is refused, never used.
    if (header.data_offset != kTransferHeaderSize ||
        kTransferHeaderSize + std::uint64_t{header.data_length} > in_length ||
        header.data_length != header.length) {
        return fail(record, kErrorInvalidParameter);
    }
    std::uint8_t* const data = in + kTransferHeaderSize;

    // The device and configuration descriptors are the library's cached copies.
    if (header.request_type == kStandardDeviceToHost && header.request == kGetDescriptor) {
        const std::uint8_t type = static_cast<std::uint8_t>(header.value >> 8);
        const std::uint8_t index = static_cast<std::uint8_t>(header.value & 0xFF);
        const std::vector<std::uint8_t>* table = nullptr;
        if (type == kDescriptorDevice && index == 0) {
            table = &device->device_descriptor;
        } else if (type == kDescriptorConfiguration && index < device->configurations.size()) {
            table = &device->configurations[index];
        }
        if (table != nullptr && !table->empty()) {
            const std::size_t n = std::min<std::size_t>(table->size(), header.length);
            std::memcpy(data, table->data(), n);
            write_statuses(in, TransferStatus::Completed);
            record.complete(kTransferHeaderSize + static_cast<std::uint32_t>(n), kErrorNone);
            return kErrorNone;
        }
    }

    // libusb wants the setup packet in front of the data, so the request is laid out anew; a
    // command frame or a status byte is a few bytes.
    Call call;
    call.header = in;
    call.record = &record;
    call.handle = handle;
    call.device = device;
    call.pipe = 0;
    call.data_offset = kTransferHeaderSize;
    call.own.resize(kSetupPacketSize + header.length);
    std::uint8_t* setup = call.own.data();
    setup[0] = header.request_type;
    setup[1] = header.request;
    write_u16(setup + 2, header.value);
    write_u16(setup + 4, header.index);
    write_u16(setup + 6, header.length);
    if ((header.request_type & 0x80) != 0) {
        call.copy_back = data;
        call.copy_from = kSetupPacketSize;
    } else if (header.length > 0) {
        std::memcpy(setup + kSetupPacketSize, data, header.length);
    }
    const std::uint32_t timeout_ms =
        header.timeout_s > 0 ? header.timeout_s * 1000 : kTransferBackstopMs;
    return submit_locked(std::move(call), TransferType::Control, 0, nullptr,
                         kSetupPacketSize + header.length, timeout_ms);
}

std::uint32_t LibusbDriver::bulk_locked(std::uint64_t handle,
                                        const std::shared_ptr<OpenDevice>& device,
                                        std::uint32_t code, std::uint8_t* in,
                                        std::uint32_t in_length, std::uint8_t* out,
                                        std::uint32_t out_length, IoRecord& record) {
    if (in == nullptr || in_length < kTransferHeaderSize) {
        return fail(record, kErrorInvalidParameter);
    }
    const TransferHeader header = TransferHeader::read(in);
    const auto endpoint = device->endpoint_attributes.find(header.endpoint);
    if (endpoint == device->endpoint_attributes.end() || header.iso_length != 0) {
        return fail(record, kErrorInvalidParameter);
    }
    const std::uint8_t kind = endpoint->second & 3;
    if (kind != kTransferBulk && kind != kTransferInterrupt) {
        return fail(record, kErrorInvalidParameter);
    }
    Call call;
    call.header = in;
    call.record = &record;
    call.handle = handle;
    call.device = device;
    call.pipe = header.endpoint;
    std::uint8_t* buffer = nullptr;
    std::uint32_t length = 0;
    if (code == kCodeBufferedTransfer) {
        if (header.data_offset != kTransferHeaderSize ||
            kTransferHeaderSize + std::uint64_t{header.data_length} > in_length) {
            return fail(record, kErrorInvalidParameter);
        }
        buffer = in + kTransferHeaderSize;
        length = header.data_length;
        call.data_offset = kTransferHeaderSize;
    } else {
        if (out == nullptr && out_length > 0) {
            return fail(record, kErrorInvalidParameter);
        }
        // The band goes from the caller's buffer as it is: no copy, one submission.
        buffer = out;
        length = out_length;
        call.data_offset = 0;
    }
    if ((header.endpoint & 0x80) != 0 && length > 0) {
        // What the device sends lands in the driver's own buffer first, so that a call let go
        // of never writes into memory that its caller has released.
        call.own.resize(length);
        call.copy_back = buffer;
        call.copy_from = 0;
    }
    // The header carries no time-out for bulk transfers; libusb's is a backstop far beyond the
    // protocol's own waits.
    return submit_locked(std::move(call),
                         kind == kTransferInterrupt ? TransferType::Interrupt : TransferType::Bulk,
                         header.endpoint, buffer, length, kTransferBackstopMs);
}

std::unique_ptr<Transfer> LibusbDriver::take_transfer_locked() {
    if (spare_transfers_.empty()) {
        return library_.new_transfer();
    }
    std::unique_ptr<Transfer> transfer = std::move(spare_transfers_.back());
    spare_transfers_.pop_back();
    return transfer;
}

std::uint32_t LibusbDriver::submit_locked(Call&& call, TransferType type, std::uint8_t endpoint,
                                          std::uint8_t* buffer, std::uint32_t length,
                                          std::uint32_t timeout_ms) {
    call.driver = this;
    call.transfer = take_transfer_locked();
    calls_.push_back(std::move(call));
    Call& placed = calls_.back();
    Transfer& transfer = *placed.transfer;
    transfer.handle = placed.device->handle.get();
    transfer.type = type;
    transfer.endpoint = endpoint;
    transfer.buffer = placed.own.empty() ? buffer : placed.own.data();
    transfer.length = length;
    transfer.timeout_ms = timeout_ms;
    transfer.callback = &LibusbDriver::transfer_done;
    transfer.user = &placed;
    transfer.status = TransferStatus::Completed;
    transfer.actual_length = 0;
    const Result result = library_.submit(transfer);
    if (result == Result::Ok) {
        return kErrorPending;
    }
    // Not under way: the library never calls it back.
    const TransferStatus status =
        result == Result::NoDevice ? TransferStatus::NoDevice : TransferStatus::Error;
    if (status == TransferStatus::NoDevice) {
        placed.device->gone = true;
    }
    write_statuses(placed.header, status);
    IoRecord* const record = placed.record;
    spare_transfers_.push_back(std::move(placed.transfer));
    calls_.pop_back();
    return fail(*record, error_of(status));
}

std::uint32_t LibusbDriver::abort_locked(const std::shared_ptr<OpenDevice>& device,
                                         std::uint8_t pipe, IoRecord& record) {
    auto wait = std::make_shared<AbortWait>();
    wait->record = &record;
    for (Call& call : calls_) {
        if (call.device != device || call.pipe != pipe || call.abandoned) {
            continue;
        }
        cancel_locked(call);
        if (call.abandoned) {
            continue;  // refused: its caller has been told already
        }
        call.aborts.push_back(wait);
        ++wait->remaining;
    }
    if (wait->remaining == 0) {
        record.complete(0, kErrorNone);
        return kErrorNone;
    }
    // Done once libusb has called back every transfer it cancelled.
    return kErrorPending;
}

void LibusbDriver::cancel_locked(Call& call) {
    if (call.cancelled) {
        return;
    }
    call.cancelled = true;
    const Result result = library_.cancel(*call.transfer);
    // A transfer that ended meanwhile, or whose device went, is called back all the same;
    // after any other answer the library may keep it for ever, and its caller must not wait.
    if (result != Result::Ok && result != Result::NotFound && result != Result::NoDevice) {
        abandon_locked(call, TransferStatus::Error);
    }
}

void LibusbDriver::abandon_locked(Call& call, TransferStatus status) {
    if (call.abandoned) {
        return;
    }
    call.abandoned = true;
    write_statuses(call.header, status);
    call.header = nullptr;
    call.copy_back = nullptr;
    IoRecord* const record = call.record;
    call.record = nullptr;
    std::vector<IoRecord*> aborts_done;
    for (const auto& wait : call.aborts) {
        if (--wait->remaining == 0 && wait->record != nullptr) {
            aborts_done.push_back(wait->record);
        }
    }
    call.aborts.clear();
    record->complete(0, error_of(status));
    for (IoRecord* abort : aborts_done) {
        abort->complete(0, kErrorNone);
    }
    called_back_.notify_all();
}

bool LibusbDriver::abandon(IoRecord& record) {
    std::lock_guard lock(mutex_);
    for (Call& call : calls_) {
        if (call.record == &record) {
            abandon_locked(call, TransferStatus::Cancelled);
            return true;
        }
        for (const auto& wait : call.aborts) {
            if (wait->record == &record) {
                wait->record = nullptr;
            }
        }
    }
    // An abort's record, or a call that ended meanwhile.
    if (!record.done()) {
        record.complete(0, kErrorAborted);
    }
    return true;
}

void LibusbDriver::end_calls_locked(std::unique_lock<std::mutex>& lock, std::uint64_t handle) {
    const auto open_calls = [&] {
        return std::any_of(calls_.begin(), calls_.end(), [&](const Call& call) {
            return call.handle == handle && !call.abandoned;
        });
    };
    for (Call& call : calls_) {
        if (call.handle == handle && !call.abandoned) {
            cancel_locked(call);
        }
    }
    const std::uint32_t start = platform::tick_count();
    while (open_calls()) {
        const std::uint32_t elapsed = platform::tick_count() - start;
        if (elapsed >= kAbortWaitMs) {
            for (Call& call : calls_) {
                if (call.handle == handle) {
                    abandon_locked(call, TransferStatus::Cancelled);
                }
            }
            break;
        }
        called_back_.wait_for(
            lock, std::chrono::microseconds(platform::real_microseconds(kAbortWaitMs - elapsed)));
    }
}

void LibusbDriver::transfer_done(Transfer& transfer) {
    Call& call = *static_cast<Call*>(transfer.user);
    call.driver->complete(call);
}

void LibusbDriver::complete(Call& call) {
    std::lock_guard lock(mutex_);
    const Transfer& transfer = *call.transfer;
    if (transfer.status == TransferStatus::NoDevice) {
        call.device->gone = true;
    }
    // A stalled pipe takes nothing until its halt is cleared, which is not done here: the
    // clear is a request of its own, and callbacks must not wait.
    if (transfer.status == TransferStatus::Stall && call.pipe != 0) {
        call.device->halted.insert(call.pipe);
    }
    IoRecord* const record = call.record;  // null when the caller let go of it
    const std::uint32_t error = error_of(transfer.status);
    std::uint32_t bytes = 0;
    if (record != nullptr) {
        if (error == kErrorNone) {
            std::uint32_t actual = transfer.actual_length;
            if (call.copy_back != nullptr) {
                actual = std::min<std::uint32_t>(
                    actual, static_cast<std::uint32_t>(call.own.size()) - call.copy_from);
                std::memcpy(call.copy_back, call.own.data() + call.copy_from, actual);
            }
            bytes = call.data_offset + actual;
        }
        write_statuses(call.header, transfer.status);
    }
    std::vector<IoRecord*> aborts_done;
    for (const auto& wait : call.aborts) {
        if (--wait->remaining == 0 && wait->record != nullptr) {
            aborts_done.push_back(wait->record);
        }
    }
    // The library is done with the transfer: it can carry the next call.
    spare_transfers_.push_back(std::move(call.transfer));
    calls_.erase(
        std::find_if(calls_.begin(), calls_.end(), [&](const Call& c) { return &c == &call; }));
    // The records go last: a waiter that sees one done may release it at once.
    if (record != nullptr) {
        record->complete(bytes, error);
    }
    for (IoRecord* abort : aborts_done) {
        abort->complete(0, kErrorNone);
    }
    called_back_.notify_all();
}

}  // namespace usb::libusb
