#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "usb/configuration.h"
#include "usb/driver.h"
#include "usb/endpoints.h"

// The interface class under which the printer's USB driver registers its devices.
extern const usb::Guid g_driver_interface_guid;

namespace usb {
inline constexpr std::size_t kMaxConfigurations = 2;
inline constexpr std::size_t kStringLength = 256;
}  // namespace usb

// The system's handle on the printer: finds the driver's devices by the interface GUID,
// opens one, reads its descriptors and builds the configuration, interface and endpoint
// objects through which every transfer goes. Used only by the thread of its owner.
class CUsbDevice {
  public:
    // Plug-and-play notification is not used (no window is ever given), so the device takes
    // only the GUID, the open flag and the driver (the program's choice when none is given).
    explicit CUsbDevice(const usb::Guid& guid = g_driver_interface_guid, bool bOpen = true,
                        usb::Driver* driver = nullptr);
    ~CUsbDevice();
    CUsbDevice(const CUsbDevice&) = delete;
    CUsbDevice& operator=(const CUsbDevice&) = delete;

    // The number of present devices of the GUID.
    std::uint8_t DeviceCount();
    // True when device dev was opened and configuration 0 set up.
    bool Open(std::uint8_t dev);
    // Closes the driver handle and frees the descriptors and the objects built from them;
    // throws when the driver refuses to close the handle.
    void Close();
    void GetSpeed();
    // A synchronous driver call, buffer as input and output; true only when the driver
    // returned exactly len bytes.
    bool IoControl(std::uint32_t code, std::uint8_t* buf, std::uint32_t len);

    bool IsOpen() const { return hDevice.valid(); }

    CUsbControlEndPoint* ControlEndPt = nullptr;
    CUsbIsocEndPoint* IsocInEndPt = nullptr;
    CUsbIsocEndPoint* IsocOutEndPt = nullptr;
    CUsbBulkEndPoint* BulkInEndPt = nullptr;
    CUsbBulkEndPoint* BulkOutEndPt = nullptr;
    CUsbInterruptEndPoint* InterruptInEndPt = nullptr;
    CUsbInterruptEndPoint* InterruptOutEndPt = nullptr;

    std::unique_ptr<CUsbBos> UsbBos;

    std::uint32_t DriverVersion = 0;
    std::uint32_t UsbdiVersion = 0;
    std::string DeviceName;    // at most 255 characters, from the driver
    std::string FriendlyName;  // at most 255 characters, from the driver
    std::u16string Manufacturer;
    std::u16string Product;
    std::u16string SerialNumber;

    // The device descriptor.
    std::uint16_t BcdUSB = 0;
    std::uint16_t VendorID = 0;
    std::uint16_t ProductID = 0;
    std::uint8_t DevClass = 0;
    std::uint8_t DevSubClass = 0;
    std::uint8_t DevProtocol = 0;
    std::uint8_t MaxPacketSize = 0;
    std::uint16_t BcdDevice = 0;
    std::uint8_t ManufacturerIndex = 0;
    std::uint8_t ProductIndex = 0;
    std::uint8_t SerialNumberIndex = 0;
    std::uint8_t ConfigCount = 0;

    std::uint8_t USBAddress = 0;
    bool bHighSpeed = false;
    bool bSuperSpeed = false;

    std::array<std::vector<std::uint8_t>, usb::kMaxConfigurations> ConfigDescriptors;
    std::array<std::unique_ptr<CUsbConfig>, usb::kMaxConfigurations> Configs;
    std::uint8_t CurrentConfig = 0;
    std::uint8_t CurrentInterface = 0;
    std::uint8_t AltSetting = 0;
    // The current configuration's fields.
    std::uint8_t ConfigValue = 0;
    std::uint8_t ConfigAttrib = 0;
    std::uint8_t MaxPower = 0;
    std::uint8_t AltInterfaces = 0;

    std::string DevPath;
    usb::DriverHandle hDevice;
    usb::Guid DrvGuid;
    std::uint8_t DevCount = 0;
    std::uint8_t DevNum = 0;
    std::uint32_t LastError = 0;

  private:
    // A standard GET_DESCRIPTOR on endpoint 0; true when exactly len bytes came.
    bool get_descriptor(std::uint8_t type, std::uint8_t index, std::uint16_t language,
                        std::uint8_t* data, std::uint16_t len);
    // Reads a table whose head holds its total length (bytes 2-3): the head first, then the
    // whole; empty when a read fails.
    std::vector<std::uint8_t> read_table(std::uint8_t type, std::uint8_t index,
                                         std::uint16_t head_size);
    void read_device_descriptor();
    std::u16string read_string(std::uint8_t index, std::uint16_t language);
    void read_strings();
    void read_driver_information();
    std::string read_name(std::uint32_t code);
    // Shows the box of a malformed table and closes the device.
    void refuse_table(const char* caption, const char* text);
    void set_configuration_0();
    void clear_endpoint_pointers();

    usb::Driver* driver_;
    std::unique_ptr<CUsbControlEndPoint> control_;
};
