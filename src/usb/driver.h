#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/thread.h"

// The contract between the device and endpoint classes and whatever answers for the printer's
// USB chip: the simulated printer, or a real driver. The device classes reach the hardware
// only through this interface, so they never know which driver stands behind it.
namespace usb {

// A device-interface class identifier, in its usual textual layout.
struct Guid {
    std::uint32_t data1 = 0;
    std::uint16_t data2 = 0;
    std::uint16_t data3 = 0;
    std::uint8_t data4[8] = {};

    friend bool operator==(const Guid&, const Guid&) = default;
};

// The driver's control codes and what they carry.
inline constexpr std::uint32_t kCodeDriverVersion = 0x220000;     // out: 4 bytes
inline constexpr std::uint32_t kCodeUsbdiVersion = 0x220004;      // out: 4 bytes
inline constexpr std::uint32_t kCodeAltInterface = 0x220008;      // out: 1 byte
inline constexpr std::uint32_t kCodeUsbAddress = 0x220010;        // out: 1 byte
inline constexpr std::uint32_t kCodeControlTransfer = 0x220020;   // header and data, in and out
inline constexpr std::uint32_t kCodeBufferedTransfer = 0x220024;  // header and data, in and out
inline constexpr std::uint32_t kCodeDeviceName = 0x22003C;        // out: 256 bytes
inline constexpr std::uint32_t kCodeFriendlyName = 0x220040;      // out: 256 bytes
inline constexpr std::uint32_t kCodeAbortPipe = 0x220044;         // in: the endpoint address
inline constexpr std::uint32_t kCodeDirectTransfer = 0x22004B;    // in: header; out: the data
inline constexpr std::uint32_t kCodeBusSpeed = 0x22004C;          // out: 4 bytes

inline constexpr std::uint32_t kNameLength = 256;

// Bus speed values of kCodeBusSpeed.
inline constexpr std::uint32_t kSpeedFull = 1;
inline constexpr std::uint32_t kSpeedHigh = 2;
inline constexpr std::uint32_t kSpeedSuper = 4;

// System error numbers a driver call reports. The values are those the transfer code tests
// (0 completed, 997 pending); the others only have to differ from them.
inline constexpr std::uint32_t kErrorNone = 0;
inline constexpr std::uint32_t kErrorInvalidHandle = 6;
inline constexpr std::uint32_t kErrorGeneralFailure = 31;
inline constexpr std::uint32_t kErrorSharingViolation = 32;
inline constexpr std::uint32_t kErrorInvalidParameter = 87;
inline constexpr std::uint32_t kErrorNoMoreItems = 259;
inline constexpr std::uint32_t kErrorAborted = 995;
inline constexpr std::uint32_t kErrorIncomplete = 996;
inline constexpr std::uint32_t kErrorPending = 997;
inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorDeviceGone = 1167;
inline constexpr std::uint32_t kErrorTimeout = 1460;

class Driver;

// The answer of one of the driver's information calls, built up and then handed to the caller.
struct InformationAnswer {
    std::uint8_t bytes[kNameLength] = {};
    std::uint32_t size = 0;

    void put_u8(std::uint8_t value);
    void put_u32(std::uint32_t value);
    // A name of at most 255 characters, in the whole 256-byte answer.
    void put_name(const std::string& name);
    // Copies the answer to out: kErrorInvalidParameter (nothing returned) when out cannot hold
    // it.
    std::uint32_t deliver(void* out, std::uint32_t out_length, std::uint32_t& returned) const;
};

// The record of one overlapped driver call. The caller owns it and its event; from the
// begin call until the record is done the driver owns it, the event and every buffer of the
// call, and nothing of them may be released.
class IoRecord {
  public:
    explicit IoRecord(platform::Event* event = nullptr) : event_(event) {}
    IoRecord(const IoRecord&) = delete;
    IoRecord& operator=(const IoRecord&) = delete;

    platform::Event* event() const { return event_; }

    // Driver side: the call is under way; clears the event so that an old signal is not
    // taken for this call's completion.
    void begin();
    // Driver side: the call is over; the record is written before the event is set.
    void complete(std::uint32_t bytes, std::uint32_t error);

    // Done only once the driver has let go of the record and its event: a caller that sees
    // it may release both at once.
    bool done() const { return state_.load(std::memory_order_acquire) == State::Done; }
    // The outcome without waiting: false while the call is under way (error kErrorIncomplete)
    // or when it failed; bytes are those the driver returned.
    bool result(std::uint32_t& bytes, std::uint32_t& error) const;
    // Waits out the few instructions between a completion's signal and the record being done.
    void settle() const;

    // Driver side, with begin(): the driver a waiter may ask to complete what is due before it
    // gives the call up (see Driver::complete_due); none by default.
    void set_completer(Driver* driver) { completer_ = driver; }
    Driver* completer() const { return completer_; }

  private:
    // Signalling: the outcome is written and the event is being set; the driver still holds
    // the event, so the record is not done yet.
    enum class State { Idle, Pending, Signalling, Done };

    platform::Event* event_;
    Driver* completer_ = nullptr;
    std::atomic<State> state_{State::Idle};
    std::uint32_t bytes_ = 0;
    std::uint32_t error_ = 0;
};

// Waits until the record is done or timeout_ms have passed (platform::kWaitForever: no
// limit); true when done. A signal of a shared event that belongs to another call is not
// taken for this one.
bool wait_done(const IoRecord& record, std::uint32_t timeout_ms);

// How long a caller waits, in program ms, for a transfer to end after it aborted it. A
// cancelled transfer normally ends within milliseconds; one that has not ended by then may
// never end, and the caller must not wait for it without end.
inline constexpr std::uint32_t kAbortWaitMs = 5000;

// Waits up to timeout_ms for an aborted call to end; when it has not, asks the driver to let
// go of it (Driver::abandon). On return the record is done, and the caller may release it,
// its event and the call's buffers, unless the driver cannot let go of its calls: then it
// waits for the end, however long that takes. True when the call ended by itself.
bool wait_or_abandon(Driver& driver, IoRecord& record, std::uint32_t timeout_ms = kAbortWaitMs);

enum class EnumResult { Ok, NoMoreItems, Failed };

// A snapshot of the device interfaces of one GUID that were present when it was taken.
class DeviceInterfaceSet {
  public:
    virtual ~DeviceInterfaceSet() = default;
    // Ok: the index-th interface exists; NoMoreItems: past the last; Failed: that one could
    // not be read (the enumeration goes on past it).
    virtual EnumResult interface_at(std::uint32_t index) const = 0;
    // The path to open the index-th interface; empty when its detail cannot be read.
    virtual std::string interface_path(std::uint32_t index) const = 0;
};

// How an interface path is opened.
inline constexpr std::uint32_t kOpenRead = 1;
inline constexpr std::uint32_t kOpenWrite = 2;
inline constexpr std::uint32_t kShareRead = 4;
inline constexpr std::uint32_t kShareWrite = 8;
inline constexpr std::uint32_t kOpenOverlapped = 16;

// An open interface of a driver; invalid when default-made.
struct DriverHandle {
    Driver* driver = nullptr;
    std::uint64_t id = 0;

    bool valid() const { return driver != nullptr && id != 0; }
};

class Driver {
  public:
    virtual ~Driver() = default;

    // The present device interfaces of the GUID; null when no snapshot can be had.
    virtual std::unique_ptr<DeviceInterfaceSet> present_interfaces(const Guid& guid) = 0;

    // Opens an interface path (only existing ones); an id above 0, or 0 with error set.
    virtual std::uint64_t open(const std::string& path, std::uint32_t flags,
                               std::uint32_t& error) = 0;
    // Closes a handle; its transfers still under way end as aborted. False for a handle the
    // driver does not know.
    virtual bool close(std::uint64_t handle) = 0;

    // The driver writes the statuses of a transfer back into its header, which is part of the
    // input, so the input is writable.
    // A synchronous call: true when it succeeded, with the bytes written to out in returned.
    virtual bool io_control(std::uint64_t handle, std::uint32_t code, void* in,
                            std::uint32_t in_length, void* out, std::uint32_t out_length,
                            std::uint32_t& returned, std::uint32_t& error) = 0;

    // An overlapped call: returns kErrorNone when it completed at once, kErrorPending when it
    // goes on (the record's event is set once it is done), another error when it failed at
    // once. Whatever it returns other than kErrorPending, the record is done on return.
    virtual std::uint32_t io_control_overlapped(std::uint64_t handle, std::uint32_t code, void* in,
                                                std::uint32_t in_length, void* out,
                                                std::uint32_t out_length, IoRecord& record) = 0;

    // Completes at once the calls whose time has come. A driver that completes its calls on a
    // thread of its own offers it to the waiter whose time-out has come, so that a call is
    // never given up as late only because that thread has not been scheduled yet.
    virtual void complete_due() {}

    // Lets go of an overlapped call that has not ended although it was aborted: the record is
    // done on return (the call failed), and the driver keeps what it still needs of the call
    // until the call really ends, so nothing of the caller's is touched after the return (an
    // OUT call's data has been taken by then). False when the driver cannot let go of its
    // calls; its aborts then end them.
    virtual bool abandon(IoRecord& record) {
        static_cast<void>(record);
        return false;
    }
};

}  // namespace usb
