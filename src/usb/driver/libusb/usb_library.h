#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// The few libusb-1.0 calls the real printer's driver makes, behind one small interface: the
// program's implementation is libusb itself (native_library.h); the tests' answers them from
// the simulated printer's firmware model (usb/driver/sim/sim_usb_library.h), since no USB bus
// exists where the tests run. The calls keep libusb's own rules: a submitted transfer belongs
// to the library until its callback has run, and callbacks run only inside handle_events.
namespace usb::libusb {

enum class Speed { Unknown, Low, Full, High, Super };

// What a call of the library came to, as the driver tells the outcomes apart.
enum class Result { Ok, Io, Access, NoDevice, NotFound, Busy, Timeout, Other };

// How a transfer ended; the values are libusb's, so they can go into a transfer header as the
// driver's own status.
enum class TransferStatus : std::uint32_t {
    Completed = 0,
    Error = 1,
    TimedOut = 2,
    Cancelled = 3,
    Stall = 4,
    NoDevice = 5,
    Overflow = 6,
};

enum class TransferType { Control, Bulk, Interrupt };

// A device the library listed; holds the library's reference to it while it lives.
class LibDevice {
  public:
    virtual ~LibDevice() = default;
};

// An open device. Destroying it closes it: only once none of its transfers is under way.
class LibHandle {
  public:
    virtual ~LibHandle() = default;
};

struct DeviceEntry {
    std::shared_ptr<LibDevice> device;
    // The device itself, as long as it stays plugged in: another device, or the same one plugged
    // in again, has another. A port path is no such thing: a printer replugged into the same
    // port has the same path.
    std::uintptr_t identity = 0;
    std::uint8_t bus = 0;
    std::vector<std::uint8_t> ports;  // the port path from the root hub
    std::uint8_t address = 0;
    std::uint16_t vendor_id = 0;
    std::uint16_t product_id = 0;
    Speed speed = Speed::Unknown;
};

// One asynchronous transfer, reused from call to call. The driver fills the request, submits
// it, and may neither change nor free it until its callback has run.
struct Transfer {
    virtual ~Transfer() = default;

    LibHandle* handle = nullptr;
    TransferType type = TransferType::Bulk;
    std::uint8_t endpoint = 0;
    // A control transfer's buffer starts with its 8-byte setup packet, then the data.
    std::uint8_t* buffer = nullptr;
    std::uint32_t length = 0;
    std::uint32_t timeout_ms = 0;  // program milliseconds; 0 waits without limit
    void (*callback)(Transfer&) = nullptr;
    void* user = nullptr;

    // Written by the library before the callback.
    TransferStatus status = TransferStatus::Completed;
    std::uint32_t actual_length = 0;
};

inline constexpr std::uint32_t kSetupPacketSize = 8;

class UsbLibrary {
  public:
    virtual ~UsbLibrary() = default;

    // False when the machine has no USB access at all; then no device is ever present.
    virtual bool init() = 0;
    // The library's version, packed as major << 16 | minor << 8 | micro.
    virtual std::uint32_t version() const = 0;

    // The devices present now, in no particular order.
    virtual std::vector<DeviceEntry> devices() = 0;
    // Reads the library's cached copies: no request goes to the device.
    virtual Result device_descriptor(LibDevice& device, std::vector<std::uint8_t>& raw) = 0;
    virtual Result config_descriptor(LibDevice& device, std::uint8_t index,
                                     std::vector<std::uint8_t>& raw) = 0;

    virtual Result open(LibDevice& device, std::unique_ptr<LibHandle>& handle) = 0;
    // Takes the interface from a kernel driver bound to it, if any.
    virtual Result claim_interface(LibHandle& handle, std::uint8_t number) = 0;
    virtual void release_interface(LibHandle& handle, std::uint8_t number) = 0;
    // Clears the halt of an endpoint that stalled, so that it takes transfers again. A
    // synchronous request to the device: never called from a callback.
    virtual Result clear_halt(LibHandle& handle, std::uint8_t endpoint) = 0;

    virtual std::unique_ptr<Transfer> new_transfer() = 0;
    virtual Result submit(Transfer& transfer) = 0;
    // Asks for the end of a transfer under way; its callback still comes, with Cancelled (or
    // with how it ended, when it ended first). Ok, NotFound (it ended already) and NoDevice
    // (it ends as its device's) promise that callback; any other result is a refusal, after
    // which the library may keep the transfer without end.
    virtual Result cancel(Transfer& transfer) = 0;

    // Runs the callbacks of what has happened, waiting up to timeout_ms (real time) for it.
    virtual void handle_events(std::uint32_t timeout_ms) = 0;
    // Makes a handle_events under way return.
    virtual void wake_events() = 0;

    // Arrival and departure of devices of these ids, reported from handle_events; false when
    // the library offers no such notice on this machine.
    // The device is told by its identity (DeviceEntry::identity).
    using HotplugCallback = std::function<void(bool arrived, std::uintptr_t identity)>;
    virtual bool watch_hotplug(std::uint16_t vendor_id, std::uint16_t product_id,
                               HotplugCallback callback) = 0;
};

}  // namespace usb::libusb
