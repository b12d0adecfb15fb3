#pragma once

#include <condition_variable>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "usb/driver.h"
#include "usb/driver/libusb/printer_ids.h"
#include "usb/driver/libusb/usb_library.h"

// The real printer's driver: the devices of the printer's vendor and product id, found and
// driven through libusb-1.0. Descriptor and information calls are answered from the device's
// cached descriptors; class requests become control transfers, bulk calls asynchronous bulk
// transfers straight on the caller's buffer, the abort of a pipe the cancelling of its
// transfers, and a transfer's end the record's event. One event thread runs every callback.
//
// A printer counts as present only when it can be opened: one that is there but refused (no
// udev rule, the operator not in its group, another program holding it) is not connected, and
// the operator is told once what to do. A present printer stays open for the next user once
// its last one closes it; a gone one is released as soon as no transfer of it is under way.
namespace usb::libusb {

class LibusbDriver : public Driver {
  public:
    // Starts the event thread when the library has USB access. Without ids no device is the
    // printer: the driver finds none, and says once why.
    LibusbDriver(UsbLibrary& library, std::optional<PrinterIds> ids);
    // Ends every transfer still under way, closes the devices and stops the event thread.
    ~LibusbDriver() override;
    LibusbDriver(const LibusbDriver&) = delete;
    LibusbDriver& operator=(const LibusbDriver&) = delete;

    std::unique_ptr<DeviceInterfaceSet> present_interfaces(const Guid& guid) override;
    std::uint64_t open(const std::string& path, std::uint32_t flags, std::uint32_t& error) override;
    bool close(std::uint64_t handle) override;
    bool io_control(std::uint64_t handle, std::uint32_t code, void* in, std::uint32_t in_length,
                    void* out, std::uint32_t out_length, std::uint32_t& returned,
                    std::uint32_t& error) override;
    std::uint32_t io_control_overlapped(std::uint64_t handle, std::uint32_t code, void* in,
                                        std::uint32_t in_length, void* out,
                                        std::uint32_t out_length, IoRecord& record) override;
    bool abandon(IoRecord& record) override;

    const std::optional<PrinterIds>& ids() const { return ids_; }
    bool hotplug() const { return hotplug_; }
    // Transfers submitted and not yet called back, those let go of included.
    std::size_t transfers_under_way() const;

    // The path a device is opened by: its bus and port path, the same after a replug.
    static std::string path_of(std::uint8_t bus, const std::vector<std::uint8_t>& ports);

    // The libusb time-out of a bulk transfer (and of a control transfer whose header gives
    // none). The protocol gives a band piece up long before; this ends one that neither
    // completed nor could be cancelled.
    static constexpr std::uint32_t kTransferBackstopMs = 30'000;

  private:
    // One open libusb handle, shared by every driver handle on the device: the printer is
    // opened by several workers at once, and an interface can be claimed only once.
    struct OpenDevice {
        std::string path;
        DeviceEntry entry;
        std::unique_ptr<LibHandle> handle;  // null once a gone device is released
        std::vector<std::uint8_t> device_descriptor;
        std::vector<std::vector<std::uint8_t>> configurations;
        std::vector<std::uint8_t> claimed;
        std::map<std::uint8_t, std::uint8_t> endpoint_attributes;
        std::set<std::uint8_t> halted;  // pipes that stalled: cleared before their next transfer
        bool gone = false;              // unplugged: every call on it but an abort fails at once
    };

    // Waits for the cancelled transfers of one abort call.
    struct AbortWait {
        IoRecord* record = nullptr;  // null once its caller let go of it
        int remaining = 0;
    };

    // One transfer under way. Until it is let go of, it writes its outcome into the caller's
    // header, record and (for an IN transfer) buffer; after that only into its own.
    struct Call {
        LibusbDriver* driver = nullptr;
        std::uint64_t handle = 0;
        std::shared_ptr<OpenDevice> device;
        std::uint8_t pipe = 0;
        std::unique_ptr<Transfer> transfer;
        std::uint8_t* header = nullptr;
        // The transfer's buffer when it is not the caller's: a control transfer's setup packet
        // and data, an IN transfer's data. An OUT transfer goes from the caller's memory,
        // which the library has taken when the submission returns.
        std::vector<std::uint8_t> own;
        std::uint8_t* copy_back = nullptr;  // where an IN transfer's data goes at its end
        std::uint32_t copy_from = 0;        // where in own that data starts
        std::uint32_t data_offset = 0;      // what the completion adds to the bytes returned
        IoRecord* record = nullptr;
        bool cancelled = false;
        bool abandoned = false;  // the caller was told it failed; the library still has it
        std::vector<std::shared_ptr<AbortWait>> aborts;
    };

    struct Snapshot;

    // The printer's devices on the bus now, in bus order; the open devices no longer among them
    // are marked gone.
    std::vector<DeviceEntry> present_devices();
    // The open device of an entry, opened and claimed afresh when it has none; null with error
    // set, and the refusal kept for the operator, when it cannot be had. Needs open_mutex_.
    std::shared_ptr<OpenDevice> device_for(const DeviceEntry& entry, std::uint32_t& error);
    std::shared_ptr<OpenDevice> open_device(const DeviceEntry& entry, std::uint32_t& error);
    // Gives the claimed interfaces back and closes the library's handle.
    void close_device(OpenDevice& device);
    // Releases the gone devices that no transfer uses any more. Needs open_mutex_.
    void release_gone_devices();
    // Tells the operator, once each, what present_devices and device_for found wrong.
    void tell_operator();
    // Clears the halt of a pipe that stalled, outside any callback, before it carries again.
    void clear_halt_before(std::uint64_t handle, std::uint8_t pipe);
    std::uint32_t answer_information(const OpenDevice& device, std::uint32_t code,
                                     std::uint8_t* out, std::uint32_t out_length,
                                     std::uint32_t& returned) const;
    std::uint32_t control_locked(std::uint64_t handle, const std::shared_ptr<OpenDevice>& device,
                                 std::uint8_t* in, std::uint32_t in_length, IoRecord& record);
    std::uint32_t bulk_locked(std::uint64_t handle, const std::shared_ptr<OpenDevice>& device,
                              std::uint32_t code, std::uint8_t* in, std::uint32_t in_length,
                              std::uint8_t* out, std::uint32_t out_length, IoRecord& record);
    std::uint32_t abort_locked(const std::shared_ptr<OpenDevice>& device, std::uint8_t pipe,
                               IoRecord& record);
    // Submits a call; on failure the record is completed with the error returned.
    std::uint32_t submit_locked(Call&& call, TransferType type, std::uint8_t endpoint,
                                std::uint8_t* buffer, std::uint32_t length,
                                std::uint32_t timeout_ms);
    // Asks the library to cancel a call; a refusal fails the call for its caller at once.
    void cancel_locked(Call& call);
    // Tells the call's caller it failed with status and drops every pointer into the caller's
    // memory; the call stays until the library calls it back.
    void abandon_locked(Call& call, TransferStatus status);
    // Cancels the calls of a handle and waits until each has been called back, at most
    // kAbortWaitMs; those still under way then are let go of.
    void end_calls_locked(std::unique_lock<std::mutex>& lock, std::uint64_t handle);
    std::unique_ptr<Transfer> take_transfer_locked();
    static void transfer_done(Transfer& transfer);
    void complete(Call& call);
    void hotplug_event(bool arrived, std::uintptr_t identity);
    void run_events();

    UsbLibrary& library_;
    const std::optional<PrinterIds> ids_;
    bool usable_ = false;
    bool hotplug_ = false;

    // Serialises opening, closing and releasing, which call the library without mutex_: a
    // library close may wait for the event thread, and the event thread's callbacks take
    // mutex_.
    std::mutex open_mutex_;
    // What the operator is to be told (guarded by open_mutex_), and what was told already.
    std::vector<std::string> untold_;
    std::set<std::string> told_;

    mutable std::mutex mutex_;
    std::condition_variable called_back_;
    std::map<std::uint64_t, std::shared_ptr<OpenDevice>> handles_;
    // Every device the driver has a library handle of.
    std::vector<std::shared_ptr<OpenDevice>> devices_;
    std::uint64_t next_handle_ = 1;
    std::list<Call> calls_;
    std::vector<std::unique_ptr<Transfer>> spare_transfers_;
    bool stop_ = false;
    std::thread events_;
};

// The driver the program uses when VELQUORIN_PRINTER is unset: libusb itself, the ids of
// program_printer_ids(). Made on first use and kept for the life of the process (workers may
// still use it while the process ends).
LibusbDriver& program_driver();

}  // namespace usb::libusb
