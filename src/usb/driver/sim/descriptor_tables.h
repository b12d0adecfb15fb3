#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "usb/driver.h"

// What a simulated printer is: its USB version and link speed, its identity, and the faults
// of its firmware's descriptor tables.
namespace usb::sim {

enum class UsbVersion { Usb2, Usb3 };
enum class LinkSpeed { Full, High, Super };

enum class Malformed {
    None,
    EndpointsBeyondTable,  // the interface claims more endpoints than the table holds
    DescriptorPastEnd,     // an endpoint descriptor's length runs past the table's total
    ZeroLengthDescriptor,  // a descriptor of length 0 inside the configuration
    TotalBeyondData,       // the configuration's total is larger than what the device sends
    BosCountBeyondTable,   // the BOS claims more capabilities than it holds
    BosCapabilityPastEnd,  // a capability's length runs past the BOS total
};

inline constexpr std::uint8_t kBulkOutAddress = 0x01;
inline constexpr std::uint8_t kBulkInAddress = 0x81;

struct PrinterSpec {
    UsbVersion usb = UsbVersion::Usb2;
    LinkSpeed speed = LinkSpeed::High;
    Guid guid;  // empty: the driver's interface GUID
    std::uint16_t vendor_id = 0x3A2C;
    std::uint16_t product_id = 0x0800;
    std::string serial = "Q800X-SIM-0001";
    Malformed malformed = Malformed::None;
    // Replaces the configuration table built from the fields above when not empty.
    std::vector<std::uint8_t> configuration;

    static PrinterSpec usb2(LinkSpeed speed = LinkSpeed::High);
    static PrinterSpec usb3();
};

// The tables a printer so described answers GET_DESCRIPTOR with.
struct DescriptorTables {
    std::vector<std::uint8_t> device;
    std::vector<std::uint8_t> configuration;
    std::vector<std::uint8_t> bos;                   // empty for a USB 2 printer
    std::vector<std::vector<std::uint8_t>> strings;  // index 0 the language list

    static DescriptorTables build(const PrinterSpec& spec);
    // The descriptor of a type and index, or none (the request is refused).
    std::optional<std::vector<std::uint8_t>> descriptor(std::uint8_t type,
                                                        std::uint8_t index) const;
};

// How long a bulk transfer of this many bytes takes on a link, in program milliseconds: the
// usable throughput of a full, high or SuperSpeed bulk pipe, at least 1 ms.
std::uint32_t transfer_time_ms(std::uint64_t bytes, LinkSpeed speed);

}  // namespace usb::sim
