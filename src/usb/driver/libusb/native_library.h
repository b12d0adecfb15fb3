#pragma once

#include "usb/driver/libusb/usb_library.h"

#include <vector>

struct libusb_context;
struct libusb_config_descriptor;

// The program's UsbLibrary: libusb-1.0 itself, on a context of its own.
namespace usb::libusb {

class NativeLibrary : public UsbLibrary {
  public:
    NativeLibrary() = default;
    ~NativeLibrary() override;
    NativeLibrary(const NativeLibrary&) = delete;
    NativeLibrary& operator=(const NativeLibrary&) = delete;

    bool init() override;
    std::uint32_t version() const override;
    std::vector<DeviceEntry> devices() override;
    Result device_descriptor(LibDevice& device, std::vector<std::uint8_t>& raw) override;
    Result config_descriptor(LibDevice& device, std::uint8_t index,
                             std::vector<std::uint8_t>& raw) override;
    Result open(LibDevice& device, std::unique_ptr<LibHandle>& handle) override;
    Result claim_interface(LibHandle& handle, std::uint8_t number) override;
    void release_interface(LibHandle& handle, std::uint8_t number) override;
    Result clear_halt(LibHandle& handle, std::uint8_t endpoint) override;
    std::unique_ptr<Transfer> new_transfer() override;
    Result submit(Transfer& transfer) override;
    Result cancel(Transfer& transfer) override;
    void handle_events(std::uint32_t timeout_ms) override;
    void wake_events() override;
    bool watch_hotplug(std::uint16_t vendor_id, std::uint16_t product_id,
                       HotplugCallback callback) override;

  private:
    libusb_context* context_ = nullptr;
    bool hotplug_registered_ = false;
    int hotplug_handle_ = 0;
    HotplugCallback hotplug_;
};

// A configuration as the device sends it, laid out again from libusb's parsed cached copy: each
// descriptor in its place, those libusb does not parse from their "extra" bytes.
std::vector<std::uint8_t> raw_configuration(const libusb_config_descriptor& config);

}  // namespace usb::libusb
