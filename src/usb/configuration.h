#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "usb/descriptors.h"
#include "usb/driver.h"
#include "usb/endpoints.h"

namespace usb {

// A USB 3 form also reads each endpoint's SuperSpeed companion descriptor.
enum class DescriptorForm { Usb2, Usb3 };

inline constexpr std::size_t kMaxInterfaces = 8;
inline constexpr std::size_t kMaxEndpoints = 32;

}  // namespace usb

// One interface and alternate setting of a configuration: the fields of its descriptor and
// its endpoints, endpoint 0 first.
class CUsbInterface {
  public:
    // Reads the interface descriptor at the walker and the endpoint descriptors that follow
    // it; throws usb::MalformedDescriptor when the table holds fewer endpoints than the
    // interface claims.
    CUsbInterface(usb::DriverHandle handle, usb::DescriptorWalker& walker,
                  std::uint8_t max_packet_size0, usb::DescriptorForm form);

    std::uint8_t bLength = 0;
    std::uint8_t bDescriptorType = 0;
    std::uint8_t bInterfaceNumber = 0;
    std::uint8_t bAlternateSetting = 0;
    std::uint8_t bNumEndpoints = 0;
    std::uint8_t bInterfaceClass = 0;
    std::uint8_t bInterfaceSubClass = 0;
    std::uint8_t bInterfaceProtocol = 0;
    std::uint8_t iInterface = 0;

    usb::DescriptorForm Form;
    // 1 + bNumEndpoints: endpoint 0 is the control endpoint.
    std::uint8_t EndPointCount = 0;
    std::array<std::unique_ptr<CUsbEndPoint>, usb::kMaxEndpoints> EndPoints;
};

// A configuration: the fields of its descriptor and one interface object per interface and
// alternate setting.
class CUsbConfig {
  public:
    // Throws usb::MalformedDescriptor for a table that is not a configuration or that claims
    // more than it holds.
    CUsbConfig(usb::DriverHandle handle, std::span<const std::uint8_t> table,
               std::uint8_t max_packet_size0, usb::DescriptorForm form);

    std::uint8_t bLength = 0;
    std::uint8_t bDescriptorType = 0;
    std::uint16_t wTotalLength = 0;
    std::uint8_t bNumInterfaces = 0;
    std::uint8_t bConfigurationValue = 0;
    std::uint8_t iConfiguration = 0;
    std::uint8_t bmAttributes = 0;
    std::uint8_t MaxPower = 0;

    usb::DescriptorForm Form;
    std::uint8_t AltInterfaces = 0;
    std::array<std::unique_ptr<CUsbInterface>, usb::kMaxInterfaces> Interfaces;
};

// The BOS descriptor of a USB 3 device with the capability records the system knows.
class CUsbBos {
  public:
    struct Usb20Extension {
        std::uint32_t bmAttributes = 0;
    };
    struct SuperSpeedCapability {
        std::uint8_t bmAttributes = 0;
        std::uint16_t wSpeedsSupported = 0;
        std::uint8_t bFunctionalitySupport = 0;
        std::uint8_t bU1DevExitLat = 0;
        std::uint16_t wU2DevExitLat = 0;
    };
    struct ContainerId {
        std::array<std::uint8_t, 16> id{};
    };

    // Throws usb::MalformedDescriptor for a table that claims more capabilities or bytes than
    // it holds.
    explicit CUsbBos(std::span<const std::uint8_t> table);

    std::uint8_t bLength = 0;
    std::uint8_t bDescriptorType = 0;
    std::uint16_t wTotalLength = 0;
    std::uint8_t bNumDeviceCaps = 0;

    std::optional<Usb20Extension> Usb20;
    std::optional<SuperSpeedCapability> SuperSpeed;
    std::optional<ContainerId> Container;
};
