#pragma once

#include <condition_variable>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <mutex>
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
namespace usb::libusb {

class LibusbDriver : public Driver {
  public:
    // Starts the event thread when the library has USB access.
    LibusbDriver(UsbLibrary& library, PrinterIds ids);
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

    const PrinterIds& ids() const { return ids_; }
    bool hotplug() const { return hotplug_; }
    // Transfers submitted and not yet called back.
    std::size_t transfers_under_way() const;

    // The path a device is opened by: its bus and port path, the same after a replug.
    static std::string path_of(std::uint8_t bus, const std::vector<std::uint8_t>& ports);

  private:
    // One open libusb handle, shared by every driver handle on the device: the printer is
    // opened by several workers at once, and an interface can be claimed only once.
    struct OpenDevice {
        std::string path;
        DeviceEntry entry;
        std::unique_ptr<LibHandle> handle;
        std::vector<std::uint8_t> device_descriptor;
        std::vector<std::vector<std::uint8_t>> configurations;
        std::vector<std::uint8_t> claimed;
        std::map<std::uint8_t, std::uint8_t> endpoint_attributes;
        int users = 0;
        bool gone = false;  // unplugged: every call on it fails at once
    };

    // Waits for the cancelled transfers of one abort call.
    struct AbortWait {
        IoRecord* record = nullptr;
        int remaining = 0;
    };

    // One transfer under way.
    struct Call {
        LibusbDriver* driver = nullptr;
        std::uint64_t handle = 0;
        std::shared_ptr<OpenDevice> device;
        std::uint8_t pipe = 0;
        std::unique_ptr<Transfer> transfer;
        std::uint8_t* header = nullptr;
        std::uint8_t* control_in = nullptr;  // where a control read's data goes
        std::vector<std::uint8_t> setup;     // a control transfer's setup packet and data
        std::uint32_t data_offset = 0;       // what the completion adds to the bytes returned
        IoRecord* record = nullptr;
        bool cancelled = false;
        std::vector<std::shared_ptr<AbortWait>> aborts;
    };

    struct Snapshot;

    std::vector<DeviceEntry> matching_devices();
    // Opens and claims a device afresh; null with error set when it cannot be had.
    std::shared_ptr<OpenDevice> open_device(const std::string& path, std::uint32_t& error);
    // Gives the claimed interfaces back and closes the library's handle.
    void close_device(OpenDevice& device);
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
    // Cancels the calls of a handle and waits until each has been called back.
    void end_calls_locked(std::unique_lock<std::mutex>& lock, std::uint64_t handle);
    std::unique_ptr<Transfer> take_transfer_locked();
    static void transfer_done(Transfer& transfer);
    void complete(Call& call);
    void hotplug_event(bool arrived, std::uint8_t bus, const std::vector<std::uint8_t>& ports);
    void run_events();

    UsbLibrary& library_;
    const PrinterIds ids_;
    bool usable_ = false;
    bool hotplug_ = false;

    // Serialises opening and closing, which call the library without mutex_: a library close
    // may wait for the event thread, and the event thread's callbacks take mutex_.
    std::mutex open_mutex_;
    std::vector<std::string> refused_paths_;  // told once on the standard error

    mutable std::mutex mutex_;
    std::condition_variable called_back_;
    std::map<std::uint64_t, std::shared_ptr<OpenDevice>> handles_;
    std::vector<std::shared_ptr<OpenDevice>> open_devices_;
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
