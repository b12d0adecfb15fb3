// The parts of the libusb implementation of the seam that run without a printer.
#include <gtest/gtest.h>

#include <libusb.h>

#include "usb/descriptors.h"
#include "usb/device.h"
#include "usb/driver/libusb/libusb_driver.h"
#include "usb/driver/libusb/native_library.h"
#include "usb/driver/sim/descriptor_tables.h"

namespace {

using usb::sim::PrinterSpec;

// A configuration table parsed as libusb parses it: the descriptors it knows into their
// fields, every other one into the "extra" bytes of the one before.
struct Parsed {
    explicit Parsed(const std::vector<std::uint8_t>& t) : table(t) {
        const std::uint8_t* p = table.data();
        config = {};
        config.bLength = p[0];
        config.bDescriptorType = p[1];
        config.wTotalLength = usb::read_u16(p + 2);
        config.bNumInterfaces = p[4];
        config.bConfigurationValue = p[5];
        config.iConfiguration = p[6];
        config.bmAttributes = p[7];
        config.MaxPower = p[8];
        altsettings.reserve(8);
        endpoints.reserve(32);
        unsigned char** extra = nullptr;
        int* extra_length = nullptr;
        for (std::size_t at = p[0]; at + 2 <= table.size(); at += table[at]) {
            const std::uint8_t* d = table.data() + at;
            if (d[1] == usb::kDescriptorInterface) {
                libusb_interface_descriptor i{};
                i.bLength = d[0];
                i.bDescriptorType = d[1];
                i.bInterfaceNumber = d[2];
                i.bAlternateSetting = d[3];
                i.bNumEndpoints = d[4];
                i.bInterfaceClass = d[5];
                i.bInterfaceSubClass = d[6];
                i.bInterfaceProtocol = d[7];
                i.iInterface = d[8];
                altsettings.push_back(i);
                extra = const_cast<unsigned char**>(&altsettings.back().extra);
                extra_length = &altsettings.back().extra_length;
                altsettings.back().endpoint = endpoints.data() + endpoints.size();
            } else if (d[1] == usb::kDescriptorEndpoint) {
                libusb_endpoint_descriptor e{};
                e.bLength = d[0];
                e.bDescriptorType = d[1];
                e.bEndpointAddress = d[2];
                e.bmAttributes = d[3];
                e.wMaxPacketSize = usb::read_u16(d + 4);
                e.bInterval = d[6];
                endpoints.push_back(e);
                extra = const_cast<unsigned char**>(&endpoints.back().extra);
                extra_length = &endpoints.back().extra_length;
            } else if (extra != nullptr) {
                if (*extra == nullptr) {
                    *extra = const_cast<unsigned char*>(d);
                }
                *extra_length += d[0];
            }
        }
        interface.altsetting = altsettings.data();
        interface.num_altsetting = static_cast<int>(altsettings.size());
        config.interface = &interface;
    }

    std::vector<std::uint8_t> table;
    libusb_config_descriptor config;
    libusb_interface interface {};
    std::vector<libusb_interface_descriptor> altsettings;
    std::vector<libusb_endpoint_descriptor> endpoints;
};

TEST(NativeLibrary, AParsedConfigurationIsLaidOutAsTheDeviceSentIt) {
    for (const PrinterSpec& spec : {PrinterSpec::usb2(), PrinterSpec::usb3()}) {
        const std::vector<std::uint8_t> table =
            usb::sim::DescriptorTables::build(spec).configuration;
        const Parsed parsed(table);
        EXPECT_EQ(usb::libusb::raw_configuration(parsed.config), table);
    }
}

TEST(NativeLibrary, WithoutTheIdsOnTheBusNothingIsPresentAndTheDriverEndsCleanly) {
    usb::libusb::NativeLibrary library;
    // Ids no device has: whatever this machine's bus holds, none of it is the printer.
    usb::libusb::LibusbDriver driver(library, usb::libusb::PrinterIds{0xFFFF, 0xFFFE});
    CUsbDevice device(g_driver_interface_guid, true, &driver);
    EXPECT_EQ(device.DeviceCount(), 0);
    EXPECT_FALSE(device.IsOpen());
}

}  // namespace
