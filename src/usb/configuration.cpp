#include "usb/configuration.h"

#include <algorithm>

#include "usb/transfer_header.h"

using usb::DescriptorWalker;
using usb::MalformedDescriptor;

namespace {

std::unique_ptr<CUsbEndPoint> make_endpoint(usb::DriverHandle handle,
                                            const usb::EndpointDescriptor& descriptor,
                                            const usb::CompanionDescriptor* companion) {
    switch (descriptor.attributes & 3) {
        case usb::kTransferControl:
            return std::make_unique<CUsbControlEndPoint>(handle, &descriptor, companion);
        case usb::kTransferIsochronous:
            return std::make_unique<CUsbIsocEndPoint>(handle, &descriptor, companion);
        case usb::kTransferBulk:
            return std::make_unique<CUsbBulkEndPoint>(handle, &descriptor, companion);
        default:
            return std::make_unique<CUsbInterruptEndPoint>(handle, &descriptor, companion);
    }
}

}  // namespace

CUsbInterface::CUsbInterface(usb::DriverHandle handle, DescriptorWalker& walker,
                             std::uint8_t max_packet_size0, usb::DescriptorForm form)
    : Form(form) {
    const auto d = walker.next();
    if (d.size() < usb::kInterfaceDescriptorSize || d[1] != usb::kDescriptorInterface) {
        throw MalformedDescriptor("interface descriptor malformed");
    }
    bLength = d[0];
    bDescriptorType = d[1];
    bInterfaceNumber = d[2];
    bAlternateSetting = d[3];
    bNumEndpoints = d[4];
    bInterfaceClass = d[5];
    bInterfaceSubClass = d[6];
    bInterfaceProtocol = d[7];
    iInterface = d[8];
    if (bNumEndpoints + 1u > usb::kMaxEndpoints) {
        throw MalformedDescriptor("interface claims more endpoints than an interface holds");
    }

    auto control = std::make_unique<CUsbControlEndPoint>(handle);
    control->MaxPktSize = max_packet_size0;
    EndPoints[0] = std::move(control);
    EndPointCount = 1;

    while (EndPointCount < bNumEndpoints + 1u) {
        // Class and vendor descriptors between the endpoints are passed over; the next
        // interface or the end of the table before the last claimed endpoint is malformed.
        if (walker.at_end() || walker.peek()[1] == usb::kDescriptorInterface) {
            throw MalformedDescriptor("interface claims more endpoints than the table holds");
        }
        const auto next = walker.next();
        if (next[1] != usb::kDescriptorEndpoint) {
            continue;
        }
        const usb::EndpointDescriptor endpoint = usb::parse_endpoint(next);
        std::optional<usb::CompanionDescriptor> companion;
        if (form == usb::DescriptorForm::Usb3 && !walker.at_end() &&
            walker.peek()[1] == usb::kDescriptorSuperSpeedCompanion) {
            companion = usb::parse_companion(walker.next());
        }
        EndPoints[EndPointCount++] =
            make_endpoint(handle, endpoint, companion ? &*companion : nullptr);
    }
}

CUsbConfig::CUsbConfig(usb::DriverHandle handle, std::span<const std::uint8_t> table,
                       std::uint8_t max_packet_size0, usb::DescriptorForm form)
    : Form(form) {
    table = usb::checked_total(table, usb::kConfigurationHeadSize, usb::kDescriptorConfiguration,
                               "configuration");
    bLength = table[0];
    bDescriptorType = table[1];
    wTotalLength = usb::read_u16(&table[2]);
    bNumInterfaces = table[4];
    bConfigurationValue = table[5];
    iConfiguration = table[6];
    bmAttributes = table[7];
    MaxPower = table[8];

    DescriptorWalker walker(table.subspan(bLength));
    while (!walker.at_end()) {
        if (walker.peek()[1] != usb::kDescriptorInterface) {
            walker.next();
            continue;
        }
        if (AltInterfaces == usb::kMaxInterfaces) {
            throw MalformedDescriptor("configuration holds more interfaces than it can take");
        }
        Interfaces[AltInterfaces++] =
            std::make_unique<CUsbInterface>(handle, walker, max_packet_size0, form);
    }
}

CUsbBos::CUsbBos(std::span<const std::uint8_t> table) {
    table = usb::checked_total(table, usb::kBosHeadSize, usb::kDescriptorBos, "BOS");
    bLength = table[0];
    bDescriptorType = table[1];
    wTotalLength = usb::read_u16(&table[2]);
    bNumDeviceCaps = table[4];

    DescriptorWalker walker(table.subspan(bLength));
    for (unsigned i = 0; i < bNumDeviceCaps; ++i) {
        if (walker.at_end()) {
            throw MalformedDescriptor("BOS claims more capabilities than it holds");
        }
        const auto d = walker.next();
        if (d.size() < 3 || d[1] != usb::kDescriptorDeviceCapability) {
            throw MalformedDescriptor("device capability malformed");
        }
        switch (d[2]) {
            case 2:
                if (d.size() < 7) {
                    throw MalformedDescriptor("USB 2.0 extension too short");
                }
                Usb20 = Usb20Extension{usb::read_u32(&d[3])};
                break;
            case 3:
                if (d.size() < 10) {
                    throw MalformedDescriptor("SuperSpeed capability too short");
                }
                SuperSpeed = SuperSpeedCapability{d[3], usb::read_u16(&d[4]), d[6], d[7],
                                                  usb::read_u16(&d[8])};
                break;
            case 4: {
                if (d.size() < 20) {
                    throw MalformedDescriptor("container id too short");
                }
                ContainerId container;
                std::copy(d.begin() + 4, d.begin() + 20, container.id.begin());
                Container = container;
                break;
            }
            default:
                break;  // capabilities the system does not use
        }
    }
}
