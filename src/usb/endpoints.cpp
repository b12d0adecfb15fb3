#include "usb/endpoints.h"

#include <algorithm>
#include <cstring>

#include "platform/thread.h"

using usb::IoRecord;
using usb::IsoPacketInfo;
using usb::kTransferHeaderSize;
using usb::TransferHeader;
using usb::XferContext;

CUsbEndPoint::CUsbEndPoint(usb::DriverHandle handle, const usb::EndpointDescriptor* descriptor,
                           const usb::CompanionDescriptor* companion)
    : hDevice(handle) {
    if (descriptor != nullptr) {
        DscLen = descriptor->length;
        DscType = descriptor->type;
        Address = descriptor->address;
        Attributes = descriptor->attributes;
        Interval = descriptor->interval;
        const std::uint32_t size = descriptor->max_packet_size;
        MaxPktSize = (size & 0x7FF) * (((size >> 11) & 3) + 1);
        bIn = (Address & 0x80) != 0;
    }
    if (companion != nullptr) {
        CompanionMaxBurst = companion->max_burst;
        CompanionAttributes = companion->attributes;
        CompanionBytesPerInterval = companion->bytes_per_interval;
        MaxPktSize *= CompanionMaxBurst + 1u;
        if ((Attributes & 3) == usb::kTransferIsochronous) {
            MaxPktSize *= (CompanionAttributes & 3) + 1u;
        }
    }
}

bool CUsbEndPoint::can_begin(std::int32_t len, const IoRecord* ov) const {
    return hDevice.valid() && ov != nullptr && len >= 0;
}

XferContext* CUsbEndPoint::new_context(std::uint32_t packets, std::uint32_t data_length,
                                       bool buffered, IoRecord* ov) const {
    auto* context = new XferContext;
    const std::uint32_t packet_bytes = packets * usb::kIsoPacketRecordSize;
    context->size = kTransferHeaderSize + packet_bytes + data_length;
    context->block = std::make_unique<std::uint8_t[]>(context->size);  // zeroed
    context->packets = packets;
    context->data_length = data_length;
    context->data_offset = buffered ? kTransferHeaderSize + packet_bytes : 0;
    context->record = ov;

    TransferHeader header;
    header.endpoint = Address;
    if (packets > 0) {
        header.iso_offset = kTransferHeaderSize;
        header.iso_length = packet_bytes;
    }
    header.data_offset = context->data_offset;
    header.data_length = data_length;
    header.write(context->header());
    return context;
}

void CUsbEndPoint::submit(XferContext* context, std::uint32_t code, std::uint32_t in_length,
                          void* out, std::uint32_t out_length) {
    LastError = hDevice.driver->io_control_overlapped(hDevice.id, code, context->header(),
                                                      in_length, out, out_length, *context->record);
    // While the call is under way the header is the driver's; its statuses are read here only
    // when the call is already over, and otherwise by the finish call.
    if (LastError != usb::kErrorPending) {
        const TransferHeader header = TransferHeader::read(context->header());
        UsbdStatus = header.usbd_status;
        NtStatus = header.nt_status;
    }
}

XferContext* CUsbEndPoint::BeginBufferedXfer(std::uint8_t* buf, std::int32_t len, IoRecord* ov) {
    if (!can_begin(len, ov)) {
        return nullptr;
    }
    const auto length = static_cast<std::uint32_t>(len);
    XferContext* context = new_context(0, length, true, ov);
    if (length > 0) {
        std::memcpy(context->header() + context->data_offset, buf, length);
    }
    submit(context, usb::kCodeBufferedTransfer, context->size, context->header(), context->size);
    return context;
}

XferContext* CUsbEndPoint::BeginDirectXfer(std::uint8_t* buf, std::int32_t len, IoRecord* ov) {
    if (!can_begin(len, ov)) {
        return nullptr;
    }
    XferContext* context = new_context(0, 0, false, ov);
    submit(context, usb::kCodeDirectTransfer, context->size, buf, static_cast<std::uint32_t>(len));
    return context;
}

bool CUsbEndPoint::FinishDataXfer(std::uint8_t* buf, std::int32_t& len, IoRecord* /*ov*/,
                                  XferContext* context, IsoPacketInfo* packets) {
    if (context == nullptr) {
        // Nothing was begun, so nothing came.
        len = 0;
        return false;
    }
    IoRecord& record = *context->record;
    // A completion between its signal and its end is not a transfer under way: aborting the
    // pipe for it could end another caller's transfer on the same pipe.
    record.settle();
    if (!record.done()) {
        // The driver still owns the block, the caller's buffer and the record: end the call
        // before anything of it is released.
        end_transfer(record);
    }
    std::uint32_t returned = 0;
    std::uint32_t error = 0;
    const bool call_ok = record.result(returned, error);

    const TransferHeader header = TransferHeader::read(context->header());
    UsbdStatus = header.usbd_status;
    NtStatus = header.nt_status;

    std::uint32_t length = returned > context->data_offset ? returned - context->data_offset : 0;
    // Never more than the caller's buffer (or the block's data area) holds, whatever the
    // driver returned.
    const std::uint32_t limit =
        context->data_offset != 0 ? context->data_length : static_cast<std::uint32_t>(len);
    length = std::min(length, limit);
    const bool ok = call_ok && UsbdStatus == 0 && NtStatus == 0;
    // A transfer that failed leaves the caller's buffer as it was.
    if (ok && bIn && context->data_offset != 0 && length > 0) {
        std::memcpy(buf, context->header() + context->data_offset, length);
    }
    if (packets != nullptr) {
        const std::uint8_t* record_bytes = context->header() + kTransferHeaderSize;
        for (std::uint32_t i = 0; i < context->packets; ++i) {
            packets[i].length = usb::read_u32(record_bytes + i * usb::kIsoPacketRecordSize);
            packets[i].status = usb::read_u32(record_bytes + i * usb::kIsoPacketRecordSize + 4);
        }
    }
    bytesWritten = length;
    len = static_cast<std::int32_t>(length);
    delete context;
    return ok;
}

bool CUsbEndPoint::WaitForXfer(IoRecord* ov, std::uint32_t timeout_ms) {
    if (LastError == usb::kErrorNone) {
        return true;
    }
    if (LastError != usb::kErrorPending || ov == nullptr) {
        return false;
    }
    return usb::wait_done(*ov, timeout_ms);
}

bool CUsbEndPoint::WaitForIO(IoRecord* ov) {
    if (LastError == usb::kErrorNone) {
        return true;
    }
    if (LastError != usb::kErrorPending || ov == nullptr) {
        return false;
    }
    if (usb::wait_done(*ov, TimeOut)) {
        return true;
    }
    Abort();
    if (!usb::wait_done(*ov, 50)) {
        end_transfer(*ov);
    }
    return false;
}

bool CUsbEndPoint::Abort() {
    abort_pipe();
    return true;
}

bool CUsbEndPoint::abort_pipe() {
    if (!hDevice.valid()) {
        return true;
    }
    platform::Event event;
    IoRecord record(&event);
    std::uint8_t address = Address;
    const std::uint32_t error = hDevice.driver->io_control_overlapped(
        hDevice.id, usb::kCodeAbortPipe, &address, 1, nullptr, 0, record);
    return error != usb::kErrorPending || usb::wait_or_abandon(*hDevice.driver, record);
}

void CUsbEndPoint::end_transfer(IoRecord& ov) {
    if (!hDevice.valid()) {
        return;  // no transfer can have begun
    }
    // An abort that did not end in time did not end this transfer either: it is let go of at
    // once rather than waited for a second time.
    const bool aborted = abort_pipe();
    usb::wait_or_abandon(*hDevice.driver, ov, aborted ? usb::kAbortWaitMs : 0);
}

bool CUsbEndPoint::XferData(std::uint8_t* buf, std::int32_t& len, IsoPacketInfo* packets) {
    platform::Event event;
    IoRecord record(&event);
    XferContext* context = BeginDataXfer(buf, len, &record);
    if (context == nullptr) {
        // No transfer was begun: LastError still speaks of an earlier one.
        len = 0;
        return false;
    }
    const bool waited = WaitForIO(&record);
    const bool finished = FinishDataXfer(buf, len, &record, context, packets);
    return waited && finished;
}

CUsbControlEndPoint::CUsbControlEndPoint(usb::DriverHandle handle,
                                         const usb::EndpointDescriptor* descriptor,
                                         const usb::CompanionDescriptor* companion)
    : CUsbEndPoint(handle, descriptor, companion) {
    if (descriptor == nullptr) {
        DscLen = usb::kEndpointDescriptorSize;
        DscType = usb::kDescriptorEndpoint;
    }
    XferMode = usb::kBufferedXfer;
}

XferContext* CUsbControlEndPoint::BeginDataXfer(std::uint8_t* buf, std::int32_t len, IoRecord* ov) {
    // The setup packet's length field has 16 bits; a longer control transfer cannot be asked.
    if (!can_begin(len, ov) || len > 0xFFFF) {
        return nullptr;
    }
    bIn = Direction == 1;
    const auto length = static_cast<std::uint32_t>(len);
    XferContext* context = new_context(0, length, true, ov);

    TransferHeader header;
    header.request_type =
        static_cast<std::uint8_t>((Direction << 7) | ((ReqType & 3) << 5) | (Target & 31));
    header.request = ReqCode;
    header.value = Value;
    header.index = Index;
    header.length = static_cast<std::uint16_t>(length);
    header.timeout_s = usb::header_timeout_seconds(TimeOut);
    header.endpoint = 0;
    header.data_offset = kTransferHeaderSize;
    header.data_length = length;
    header.write(context->header());
    if (length > 0) {
        std::memcpy(context->header() + kTransferHeaderSize, buf, length);
    }
    submit(context, usb::kCodeControlTransfer, context->size, context->header(), context->size);
    return context;
}

bool CUsbControlEndPoint::Read(std::uint8_t* buf, std::int32_t& len) {
    Direction = 1;
    return XferData(buf, len);
}

XferContext* CUsbBulkEndPoint::BeginDataXfer(std::uint8_t* buf, std::int32_t len, IoRecord* ov) {
    if (!hDevice.valid()) {
        return nullptr;
    }
    return XferMode == usb::kDirectXfer ? BeginDirectXfer(buf, len, ov)
                                        : BeginBufferedXfer(buf, len, ov);
}

std::uint32_t CUsbIsocEndPoint::packet_count(std::int32_t len) const {
    if (len <= 0 || MaxPktSize == 0) {
        return 0;
    }
    return (static_cast<std::uint32_t>(len) + MaxPktSize - 1) / MaxPktSize;
}

XferContext* CUsbIsocEndPoint::BeginDirectXfer(std::uint8_t* buf, std::int32_t len, IoRecord* ov) {
    const std::uint32_t packets = packet_count(len);
    if (!can_begin(len, ov) || packets == 0) {
        return nullptr;
    }
    XferContext* context = new_context(packets, 0, false, ov);
    submit(context, usb::kCodeDirectTransfer, context->size, buf, static_cast<std::uint32_t>(len));
    return context;
}

XferContext* CUsbIsocEndPoint::BeginBufferedXfer(std::uint8_t* buf, std::int32_t len,
                                                 IoRecord* ov) {
    const std::uint32_t packets = packet_count(len);
    if (!can_begin(len, ov) || packets == 0) {
        return nullptr;
    }
    const auto length = static_cast<std::uint32_t>(len);
    XferContext* context = new_context(packets, length, true, ov);
    std::memcpy(context->header() + context->data_offset, buf, length);
    submit(context, usb::kCodeBufferedTransfer, context->size, context->header(), context->size);
    return context;
}
