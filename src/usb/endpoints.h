#pragma once

#include <cstdint>
#include <memory>

#include "usb/descriptors.h"
#include "usb/driver.h"
#include "usb/transfer_header.h"

namespace usb {

inline constexpr int kBufferedXfer = 0;
inline constexpr int kDirectXfer = 1;

// What a begin call hands back and the finish call takes: the block given to the driver
// (the header, the isochronous packet records, the data of a buffered transfer) and what was
// written into it, so that the finish call never trusts the driver with its own bounds.
struct XferContext {
    std::unique_ptr<std::uint8_t[]> block;
    std::uint32_t size = 0;
    std::uint32_t data_offset = 0;  // 0: the data is in the driver call's output buffer
    std::uint32_t data_length = 0;
    std::uint32_t packets = 0;
    IoRecord* record = nullptr;

    std::uint8_t* header() const { return block.get(); }
};

}  // namespace usb

// One endpoint of the selected interface. Every transfer is one overlapped driver call; the
// begin call starts it, the finish call ends it and frees its context.
class CUsbEndPoint {
  public:
    // Without a descriptor the fields stay zero (the control endpoint of endpoint 0). The
    // companion is that of a SuperSpeed endpoint; without one its values are 0.
    CUsbEndPoint(usb::DriverHandle handle, const usb::EndpointDescriptor* descriptor,
                 const usb::CompanionDescriptor* companion = nullptr);
    virtual ~CUsbEndPoint() = default;
    CUsbEndPoint(const CUsbEndPoint&) = delete;
    CUsbEndPoint& operator=(const CUsbEndPoint&) = delete;

    virtual usb::XferContext* BeginDirectXfer(std::uint8_t* buf, std::int32_t len,
                                              usb::IoRecord* ov);
    virtual usb::XferContext* BeginBufferedXfer(std::uint8_t* buf, std::int32_t len,
                                                usb::IoRecord* ov);
    // Null when the driver handle is invalid: then no driver call is made.
    virtual usb::XferContext* BeginDataXfer(std::uint8_t* buf, std::int32_t len,
                                            usb::IoRecord* ov) = 0;
    // Ends the transfer begun with context: len becomes the bytes transferred; true only when
    // the call succeeded with both statuses 0. Frees the context, but never while the driver
    // still owns it: a transfer still under way is aborted and waited for first.
    virtual bool FinishDataXfer(std::uint8_t* buf, std::int32_t& len, usb::IoRecord* ov,
                                usb::XferContext* context, usb::IsoPacketInfo* packets = nullptr);

    // True once the transfer begun last has completed, within timeout_ms. False leaves it
    // under way: the caller must end it before it releases the record, the event or the
    // context.
    bool WaitForXfer(usb::IoRecord* ov, std::uint32_t timeout_ms);
    // Waits up to TimeOut; a transfer that takes longer is aborted and ended, then false.
    bool WaitForIO(usb::IoRecord* ov);
    // Aborts the transfers under way on this endpoint's pipe and waits for the abort, at most
    // usb::kAbortWaitMs.
    bool Abort();
    // Ends a transfer that has not completed: aborts the pipe and waits for the transfer at
    // most usb::kAbortWaitMs, then has the driver let go of it. On return the caller may
    // release the record, its event and the context.
    void end_transfer(usb::IoRecord& ov);
    // A synchronous transfer within TimeOut.
    bool XferData(std::uint8_t* buf, std::int32_t& len, usb::IsoPacketInfo* packets = nullptr);

    usb::DriverHandle hDevice;

    std::uint8_t DscLen = 0;
    std::uint8_t DscType = 0;
    std::uint8_t Address = 0;  // bit 7 set: IN
    std::uint8_t Attributes = 0;
    std::uint32_t MaxPktSize = 0;
    std::uint8_t Interval = 0;
    std::uint8_t CompanionMaxBurst = 0;
    std::uint8_t CompanionAttributes = 0;
    std::uint16_t CompanionBytesPerInterval = 0;

    std::uint32_t TimeOut = 10000;
    std::uint32_t UsbdStatus = 0;
    std::uint32_t NtStatus = 0;
    std::uint32_t bytesWritten = 0;
    std::uint32_t LastError = 0;
    bool bIn = false;
    int XferMode = usb::kDirectXfer;

  protected:
    // Abort's work: true when the abort ended within usb::kAbortWaitMs.
    bool abort_pipe();
    // A zeroed block of header, packet records and data for one transfer.
    usb::XferContext* new_context(std::uint32_t packets, std::uint32_t data_length, bool buffered,
                                  usb::IoRecord* ov) const;
    // Makes the driver call with the context's header as input; LastError from it, and the
    // statuses from the header when the call is already over.
    void submit(usb::XferContext* context, std::uint32_t code, std::uint32_t in_length, void* out,
                std::uint32_t out_length);
    bool can_begin(std::int32_t len, const usb::IoRecord* ov) const;
};

class CUsbControlEndPoint : public CUsbEndPoint {
  public:
    explicit CUsbControlEndPoint(usb::DriverHandle handle,
                                 const usb::EndpointDescriptor* descriptor = nullptr,
                                 const usb::CompanionDescriptor* companion = nullptr);

    usb::XferContext* BeginDataXfer(std::uint8_t* buf, std::int32_t len,
                                    usb::IoRecord* ov) override;
    // Direction device to host, then a synchronous transfer.
    bool Read(std::uint8_t* buf, std::int32_t& len);

    std::uint8_t Target = 0;     // 0 device, 1 interface, 2 endpoint, 3 other
    std::uint8_t ReqType = 2;    // 0 standard, 1 class, 2 vendor
    std::uint8_t Direction = 0;  // 0 host to device, 1 device to host
    std::uint8_t ReqCode = 0;
    std::uint16_t Value = 0;
    std::uint16_t Index = 0;
};

class CUsbBulkEndPoint : public CUsbEndPoint {
  public:
    using CUsbEndPoint::CUsbEndPoint;
    // Direct mode: the data stays in the caller's buffer; buffered: a copy goes with the header.
    usb::XferContext* BeginDataXfer(std::uint8_t* buf, std::int32_t len,
                                    usb::IoRecord* ov) override;
};

class CUsbInterruptEndPoint : public CUsbBulkEndPoint {
  public:
    using CUsbBulkEndPoint::CUsbBulkEndPoint;
};

class CUsbIsocEndPoint : public CUsbBulkEndPoint {
  public:
    using CUsbBulkEndPoint::CUsbBulkEndPoint;
    // As the base calls, with one packet record per MaxPktSize of data behind the header; no
    // transfer is begun when that makes no packet.
    usb::XferContext* BeginDirectXfer(std::uint8_t* buf, std::int32_t len,
                                      usb::IoRecord* ov) override;
    usb::XferContext* BeginBufferedXfer(std::uint8_t* buf, std::int32_t len,
                                        usb::IoRecord* ov) override;

  private:
    std::uint32_t packet_count(std::int32_t len) const;
};
