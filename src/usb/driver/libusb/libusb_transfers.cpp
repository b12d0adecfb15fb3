#include <algorithm>
#include <cstring>

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
    std::lock_guard lock(mutex_);
    const auto found = handles_.find(handle);
    if (found == handles_.end()) {
        return fail(record, kErrorInvalidHandle);
    }
    const std::shared_ptr<OpenDevice> device = found->second;
    if (device->gone) {
        return fail(record, kErrorDeviceGone);
    }
    auto* const in_bytes = static_cast<std::uint8_t*>(in);
    switch (code) {
        case kCodeControlTransfer:
            return control_locked(handle, device, in_bytes, in_length, record);
        case kCodeBufferedTransfer:
        case kCodeDirectTransfer:
            return bulk_locked(handle, device, code, in_bytes, in_length,
                               static_cast<std::uint8_t*>(out), out_length, record);
        case kCodeAbortPipe:
            if (in_bytes == nullptr || in_length < 1) {
                return fail(record, kErrorInvalidParameter);
            }
            return abort_locked(device, in_bytes[0], record);
        default: {
            std::uint32_t returned = 0;
            const std::uint32_t error = answer_information(
                *device, code, static_cast<std::uint8_t*>(out), out_length, returned);
            record.complete(returned, error);
            return error;
        }
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
    call.setup.resize(kSetupPacketSize + header.length);
    std::uint8_t* setup = call.setup.data();
    setup[0] = header.request_type;
    setup[1] = header.request;
    write_u16(setup + 2, header.value);
    write_u16(setup + 4, header.index);
    write_u16(setup + 6, header.length);
    if ((header.request_type & 0x80) != 0) {
        call.control_in = data;
    } else if (header.length > 0) {
        std::memcpy(setup + kSetupPacketSize, data, header.length);
    }
    return submit_locked(std::move(call), TransferType::Control, 0, nullptr,
                         kSetupPacketSize + header.length, header.timeout_s * 1000);
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
    return submit_locked(std::move(call),
                         kind == kTransferInterrupt ? TransferType::Interrupt : TransferType::Bulk,
                         header.endpoint, buffer, length, header.timeout_s * 1000);
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
    transfer.buffer = type == TransferType::Control ? placed.setup.data() : buffer;
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
        if (call.device != device || call.pipe != pipe) {
            continue;
        }
        call.aborts.push_back(wait);
        ++wait->remaining;
        if (!call.cancelled) {
            call.cancelled = true;
            // A transfer that ended meanwhile is called back all the same.
            library_.cancel(*call.transfer);
        }
    }
    if (wait->remaining == 0) {
        record.complete(0, kErrorNone);
        return kErrorNone;
    }
    // Done once libusb has called back every transfer it cancelled.
    return kErrorPending;
}

void LibusbDriver::end_calls_locked(std::unique_lock<std::mutex>& lock, std::uint64_t handle) {
    for (Call& call : calls_) {
        if (call.handle == handle && !call.cancelled) {
            call.cancelled = true;
            library_.cancel(*call.transfer);
        }
    }
    called_back_.wait(lock, [&] {
        return std::none_of(calls_.begin(), calls_.end(),
                            [&](const Call& call) { return call.handle == handle; });
    });
}

void LibusbDriver::transfer_done(Transfer& transfer) {
    Call& call = *static_cast<Call*>(transfer.user);
    call.driver->complete(call);
}

void LibusbDriver::complete(Call& call) {
    std::lock_guard lock(mutex_);
    const Transfer& transfer = *call.transfer;
    const std::uint32_t error = error_of(transfer.status);
    std::uint32_t bytes = 0;
    if (error == kErrorNone) {
        // A control transfer's count leaves its setup packet out.
        std::uint32_t actual = transfer.actual_length;
        if (call.control_in != nullptr) {
            actual = std::min<std::uint32_t>(
                actual, static_cast<std::uint32_t>(call.setup.size()) - kSetupPacketSize);
            std::memcpy(call.control_in, call.setup.data() + kSetupPacketSize, actual);
        }
        bytes = call.data_offset + actual;
    }
    write_statuses(call.header, transfer.status);
    if (transfer.status == TransferStatus::NoDevice) {
        call.device->gone = true;
    }
    IoRecord* const record = call.record;
    std::vector<IoRecord*> aborts_done;
    for (const auto& wait : call.aborts) {
        if (--wait->remaining == 0) {
            aborts_done.push_back(wait->record);
        }
    }
    // The library is done with the transfer: it can carry the next call.
    spare_transfers_.push_back(std::move(call.transfer));
    calls_.erase(
        std::find_if(calls_.begin(), calls_.end(), [&](const Call& c) { return &c == &call; }));
    // The records go last: a waiter that sees one done may release it at once.
    record->complete(bytes, error);
    for (IoRecord* abort : aborts_done) {
        abort->complete(0, kErrorNone);
    }
    called_back_.notify_all();
}

}  // namespace usb::libusb
