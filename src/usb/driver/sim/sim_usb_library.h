#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <list>
#include <memory>
#include <mutex>
#include <vector>

#include "usb/driver/libusb/usb_library.h"
#include "usb/driver/sim/bus.h"
#include "usb/driver/sim/cable.h"
#include "usb/driver/sim/descriptor_tables.h"
#include "usb/driver/sim/printer_model.h"

// libusb as the real printer's driver sees it, answered by simulated printers: their
// descriptor tables and the same firmware model that answers the simulated bus. It keeps
// libusb's rules where the driver could break them (a transfer completes only inside
// handle_events, a cancelled one is still called back, an unplugged device fails what is under
// way and what is submitted on its old handles, an interface is claimed by one handle at a
// time, a stalled endpoint stalls until its halt is cleared, and no synchronous request is made
// from a callback) and counts every breach, so that tests can check that none happened.
namespace usb::sim {

class SimUsbLibrary : public libusb::UsbLibrary {
  public:
    class Device;

    SimUsbLibrary() = default;
    ~SimUsbLibrary() override;
    SimUsbLibrary(const SimUsbLibrary&) = delete;
    SimUsbLibrary& operator=(const SimUsbLibrary&) = delete;

    // A printer on a bus and port path, plugged in; without a model it gets a RecordingModel.
    std::shared_ptr<Device> add_printer(const PrinterSpec& spec, std::uint8_t bus,
                                        std::vector<std::uint8_t> ports,
                                        std::shared_ptr<PrinterModel> model = nullptr);

    // Scripting.
    // The next count transfers of a kind stay under way until cancelled, timed out or unplugged.
    void hold_next(TransferKind kind, int count = 1);
    // While held, cancelled transfers are not called back yet.
    void hold_cancels(bool hold);
    // Cancelled transfers held so far are called back at the next wake_events: a callback
    // that comes just as the driver stops its event thread.
    void release_cancels_at_wake();
    // While held, a clear of a halt waits inside the library, as a request the device has not
    // answered yet does.
    void hold_clears(bool hold);
    // Clears of a halt waiting inside the library now.
    std::size_t clears_waiting() const;
    // Whether the library offers hotplug notices (it does by default).
    void offer_hotplug(bool offered);
    // While held, hotplug notices wait, in order, to be delivered late.
    void hold_hotplug(bool hold);
    // While refused, a cancel fails (libusb's "other error"): the transfer goes on, and ends
    // only at its time-out or with its device.
    void refuse_cancels(bool refuse);
    // Whether an unplug ends the transfers under way at once (it does by default); without, they
    // stay until they are cancelled or time out, as with a kernel that has not given them back
    // yet.
    void end_transfers_on_unplug(bool end);
    // Whether init succeeds (it does by default).
    void set_usb_access(bool access);

    // What happened.
    std::size_t transfers_in_flight() const;
    std::size_t submissions() const;
    // The buffer of the last bulk transfer submitted.
    const std::uint8_t* last_bulk_buffer() const;
    // Breaches: a transfer freed or changed while the library had it, a device closed with
    // transfers under way.
    std::size_t breaches() const;
    // GET_DESCRIPTOR requests of a descriptor type that reached a device.
    std::size_t descriptor_requests(std::uint8_t type) const;
    // Library handles open now, on every device.
    std::size_t open_handles() const;
    // Halts cleared.
    std::size_t halt_clears() const;
    // Hotplug notices whose callback has returned.
    std::size_t hotplug_notices_delivered() const;
    // Nanoseconds spent inside submit and inside the transfers' own work (the firmware's).
    std::uint64_t transfer_nanoseconds() const { return transfer_ns_.load(); }

    bool init() override;
    std::uint32_t version() const override { return 0x0001001A; }
    std::vector<libusb::DeviceEntry> devices() override;
    libusb::Result device_descriptor(libusb::LibDevice& device,
                                     std::vector<std::uint8_t>& raw) override;
    libusb::Result config_descriptor(libusb::LibDevice& device, std::uint8_t index,
                                     std::vector<std::uint8_t>& raw) override;
    libusb::Result open(libusb::LibDevice& device,
                        std::unique_ptr<libusb::LibHandle>& handle) override;
    libusb::Result claim_interface(libusb::LibHandle& handle, std::uint8_t number) override;
    void release_interface(libusb::LibHandle& handle, std::uint8_t number) override;
    libusb::Result clear_halt(libusb::LibHandle& handle, std::uint8_t endpoint) override;
    std::unique_ptr<libusb::Transfer> new_transfer() override;
    libusb::Result submit(libusb::Transfer& transfer) override;
    libusb::Result cancel(libusb::Transfer& transfer) override;
    void handle_events(std::uint32_t timeout_ms) override;
    void wake_events() override;
    bool watch_hotplug(std::uint16_t vendor_id, std::uint16_t product_id,
                       HotplugCallback callback) override;

  private:
    struct SimHandle;
    struct SimTransfer;

    struct Flight {
        SimTransfer* transfer = nullptr;
        Device* device = nullptr;
        std::uint32_t generation = 0;
        std::uint8_t* buffer = nullptr;  // as submitted: a change while in flight is a breach
        std::uint32_t length = 0;
        bool held = false;  // no answer until cancelled, timed out or unplugged
        bool cancelled = false;
        bool completing = false;
        std::uint32_t due = 0;  // program ms of the time-out
    };

    struct Hotplug {
        bool arrived = false;
        std::uintptr_t identity = 0;
    };

    void unplug_locked(Device& device);
    void replug_locked(Device& device);
    void replug_due_locked(std::uint32_t now);
    // The flight that can end now, with how it ends; flights_.end() when none.
    std::list<Flight>::iterator ready_locked(std::uint32_t now, libusb::TransferStatus& status);
    // The firmware's part of a transfer; false when it gives no answer (the transfer waits).
    bool perform(Flight& flight, libusb::TransferStatus& status, std::uint32_t& actual);

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::shared_ptr<Device>> devices_;
    std::list<Flight> flights_;
    std::deque<Hotplug> hotplug_events_;
    HotplugCallback hotplug_;
    bool hotplug_offered_ = true;
    bool hold_hotplug_ = false;
    bool usb_access_ = true;
    bool hold_cancels_ = false;
    bool release_cancels_at_wake_ = false;
    bool hold_clears_ = false;
    std::size_t clears_waiting_ = 0;
    bool refuse_cancels_ = false;
    bool end_on_unplug_ = true;
    std::size_t open_handles_ = 0;
    std::size_t halt_clears_ = 0;
    std::size_t hotplug_delivered_ = 0;
    std::uintptr_t next_identity_ = 1;
    bool woken_ = false;
    std::array<int, 3> holds_{};
    std::uint8_t next_address_ = 1;
    std::size_t submissions_ = 0;
    const std::uint8_t* last_bulk_buffer_ = nullptr;
    std::size_t breaches_ = 0;
    std::array<std::size_t, 256> descriptor_requests_{};
    std::atomic<std::uint64_t> transfer_ns_{0};
};

class SimUsbLibrary::Device : public libusb::LibDevice, public Cable {
  public:
    // Pulls the cable: transfers under way end with NoDevice, handles opened before stay dead.
    void unplug();
    void replug();
    void unplug_for(std::uint32_t ms) override;
    std::shared_ptr<PrinterModel> model() const;
    std::uint8_t address() const;
    // From now on every open fails with result (Access: no permission, Busy, ...; Ok opens
    // again).
    void refuse_open(libusb::Result result);
    // The endpoint stalls every transfer from now on, until its halt is cleared.
    void halt_endpoint(std::uint8_t address);

  private:
    friend class SimUsbLibrary;
    Device(SimUsbLibrary& library, const PrinterSpec& spec, std::uint8_t bus,
           std::vector<std::uint8_t> ports, std::shared_ptr<PrinterModel> model);

    SimUsbLibrary& library_;
    const PrinterSpec spec_;
    const DescriptorTables tables_;
    const std::uint8_t bus_;
    const std::vector<std::uint8_t> ports_;
    const std::shared_ptr<PrinterModel> model_;
    // Guarded by the library's lock.
    std::uint8_t address_ = 0;
    std::uintptr_t identity_ = 0;  // a new one at every plug
    libusb::Result open_result_ = libusb::Result::Ok;
    std::array<bool, 256> halted_{};
    bool plugged_ = true;
    std::uint32_t generation_ = 0;
    bool replug_pending_ = false;
    std::uint32_t replug_at_ = 0;
    std::array<bool, 256> claimed_{};
};

}  // namespace usb::sim
