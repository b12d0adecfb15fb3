#include "usb/driver/sim/descriptor_tables.h"

#include "usb/descriptors.h"
#include "usb/transfer_header.h"

namespace usb::sim {
namespace {

void put_u16(std::vector<std::uint8_t>& table, std::uint16_t value) {
    table.push_back(static_cast<std::uint8_t>(value));
    table.push_back(static_cast<std::uint8_t>(value >> 8));
}

std::vector<std::uint8_t> string_descriptor(const std::string& text) {
    std::vector<std::uint8_t> d{static_cast<std::uint8_t>(2 + 2 * text.size()), kDescriptorString};
    for (const char c : text) {
        put_u16(d, static_cast<std::uint8_t>(c));
    }
    return d;
}

std::vector<std::uint8_t> configuration_table(const PrinterSpec& spec) {
    const bool usb3 = spec.usb == UsbVersion::Usb3;
    const std::uint16_t packet = spec.speed == LinkSpeed::Super  ? 1024
                                 : spec.speed == LinkSpeed::High ? 512
                                                                 : 64;
    std::vector<std::uint8_t> t{9, kDescriptorConfiguration, 0, 0, 1, 1, 0, 0xC0, 50};
    const std::uint8_t endpoints = spec.malformed == Malformed::EndpointsBeyondTable ? 3 : 2;
    // A printer-class interface, bidirectional.
    t.insert(t.end(), {9, kDescriptorInterface, 0, 0, endpoints, 7, 1, 2, 0});
    if (spec.malformed == Malformed::ZeroLengthDescriptor) {
        t.insert(t.end(), {0, 0x24});
    }
    for (const std::uint8_t address : {kBulkOutAddress, kBulkInAddress}) {
        const bool last = address == kBulkInAddress;
        const std::uint8_t length = last && spec.malformed == Malformed::DescriptorPastEnd ? 20 : 7;
        t.insert(t.end(), {length, kDescriptorEndpoint, address, kTransferBulk});
        put_u16(t, packet);
        t.push_back(0);
        if (usb3) {
            t.insert(t.end(), {6, kDescriptorSuperSpeedCompanion, 15, 0, 0, 0});
        }
    }
    const std::size_t total = t.size() + (spec.malformed == Malformed::TotalBeyondData ? 16 : 0);
    write_u16(&t[2], static_cast<std::uint16_t>(total));
    return t;
}

std::vector<std::uint8_t> bos_table(const PrinterSpec& spec) {
    std::vector<std::uint8_t> t{
        5, kDescriptorBos, 0, 0,
        static_cast<std::uint8_t>(spec.malformed == Malformed::BosCountBeyondTable ? 5 : 3)};
    // USB 2.0 extension: link power management.
    t.insert(t.end(), {7, kDescriptorDeviceCapability, 2, 0x06, 0, 0, 0});
    // SuperSpeed: full, high and SuperSpeed; U1 and U2 exit latencies.
    t.insert(t.end(), {10, kDescriptorDeviceCapability, 3, 0, 0x0E, 0, 1, 10, 0xFF, 0x07});
    const std::uint8_t container = spec.malformed == Malformed::BosCapabilityPastEnd ? 40 : 20;
    t.insert(t.end(), {container, kDescriptorDeviceCapability, 4, 0});
    for (int i = 0; i < 16; ++i) {
        t.push_back(static_cast<std::uint8_t>(i < static_cast<int>(spec.serial.size())
                                                  ? spec.serial[static_cast<std::size_t>(i)]
                                                  : i));
    }
    write_u16(&t[2], static_cast<std::uint16_t>(t.size()));
    return t;
}

}  // namespace

PrinterSpec PrinterSpec::usb2(LinkSpeed speed) {
    PrinterSpec spec;
    spec.usb = UsbVersion::Usb2;
    spec.speed = speed == LinkSpeed::Super ? LinkSpeed::High : speed;
    return spec;
}

PrinterSpec PrinterSpec::usb3() {
    PrinterSpec spec;
    spec.usb = UsbVersion::Usb3;
    spec.speed = LinkSpeed::Super;
    return spec;
}

DescriptorTables DescriptorTables::build(const PrinterSpec& spec) {
    const bool usb3 = spec.usb == UsbVersion::Usb3;
    DescriptorTables tables;
    tables.device = {18, kDescriptorDevice, 0, 0, 0, 0, 0,
                     // bMaxPacketSize0: 512 bytes as a power of two on SuperSpeed, else bytes
                     static_cast<std::uint8_t>(usb3 ? 9 : 64)};
    write_u16(&tables.device[2], usb3 ? 0x0320 : 0x0200);
    put_u16(tables.device, spec.vendor_id);
    put_u16(tables.device, spec.product_id);
    put_u16(tables.device, 0x0100);
    tables.device.insert(tables.device.end(), {1, 2, 3, 1});

    tables.configuration =
        spec.configuration.empty() ? configuration_table(spec) : spec.configuration;
    if (usb3) {
        tables.bos = bos_table(spec);
    }
    tables.strings = {{4, kDescriptorString, 0x09, 0x04},
                      string_descriptor("Norvaxel"),
                      string_descriptor("Q800X"),
                      string_descriptor(spec.serial)};
    return tables;
}

std::optional<std::vector<std::uint8_t>> DescriptorTables::descriptor(std::uint8_t type,
                                                                      std::uint8_t index) const {
    switch (type) {
        case kDescriptorDevice:
            return device;
        case kDescriptorConfiguration:
            if (index == 0) {
                return configuration;
            }
            return std::nullopt;
        case kDescriptorString:
            if (index < strings.size()) {
                return strings[index];
            }
            return std::nullopt;
        case kDescriptorBos:
            if (!bos.empty()) {
                return bos;
            }
            return std::nullopt;
        default:
            return std::nullopt;
    }
}

std::uint32_t transfer_time_ms(std::uint64_t bytes, LinkSpeed speed) {
    // Usable bulk throughput in bytes per second: about 1 MB/s at full speed, 40 MB/s at high
    // speed and 400 MB/s at SuperSpeed.
    const std::uint64_t rate = speed == LinkSpeed::Super  ? 400'000'000
                               : speed == LinkSpeed::High ? 40'000'000
                                                          : 1'000'000;
    const std::uint64_t ms = (bytes * 1000 + rate - 1) / rate;
    return static_cast<std::uint32_t>(ms < 1 ? 1 : ms);
}

}  // namespace usb::sim
