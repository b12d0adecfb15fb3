#include "usb/configuration.h"

#include <gtest/gtest.h>

#include "usb/driver/sim/descriptor_tables.h"

namespace {

using usb::DescriptorForm;
using usb::sim::DescriptorTables;
using usb::sim::Malformed;
using usb::sim::PrinterSpec;

TEST(Configuration, Usb2FormReadsEndpointsWithoutCompanions) {
    const auto tables = DescriptorTables::build(PrinterSpec::usb2());
    const CUsbConfig config({}, tables.configuration, 64, DescriptorForm::Usb2);
    EXPECT_EQ(config.Form, DescriptorForm::Usb2);
    EXPECT_EQ(config.bNumInterfaces, 1);
    ASSERT_EQ(config.AltInterfaces, 1);
    const CUsbInterface& interface = *config.Interfaces[0];
    EXPECT_EQ(interface.Form, DescriptorForm::Usb2);
    EXPECT_EQ(interface.bInterfaceClass, 7);
    ASSERT_EQ(interface.EndPointCount, 3);
    EXPECT_NE(dynamic_cast<CUsbControlEndPoint*>(interface.EndPoints[0].get()), nullptr);
    EXPECT_EQ(interface.EndPoints[0]->MaxPktSize, 64u);
    const auto* out = dynamic_cast<CUsbBulkEndPoint*>(interface.EndPoints[1].get());
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->Address, 0x01);
    EXPECT_FALSE(out->bIn);
    EXPECT_EQ(out->MaxPktSize, 512u);
    EXPECT_TRUE(interface.EndPoints[2]->bIn);
}

TEST(Configuration, Usb3FormTakesTheCompanionIntoThePacketSize) {
    const auto tables = DescriptorTables::build(PrinterSpec::usb3());
    const CUsbConfig config({}, tables.configuration, 9, DescriptorForm::Usb3);
    const CUsbInterface& interface = *config.Interfaces[0];
    EXPECT_EQ(interface.Form, DescriptorForm::Usb3);
    ASSERT_EQ(interface.EndPointCount, 3);
    EXPECT_EQ(interface.EndPoints[1]->CompanionMaxBurst, 15);
    EXPECT_EQ(interface.EndPoints[1]->MaxPktSize, 1024u * 16);
}

TEST(Configuration, MaxPacketSizeRule) {
    const struct {
        std::uint8_t type;
        std::uint16_t w_max_packet_size;
        bool companion;
        std::uint8_t max_burst;
        std::uint8_t companion_attributes;
        std::uint32_t expected;
    } cases[] = {
        {usb::kTransferBulk, 512, false, 0, 0, 512},
        {usb::kTransferBulk, 0x0800 | 0x7FF, false, 0, 0, 0x7FF * 2},  // size bits and extras
        {usb::kTransferIsochronous, 0x1000 | 1024, false, 0, 0, 1024 * 3},
        {usb::kTransferBulk, 1024, true, 15, 0, 1024 * 16},
        {usb::kTransferBulk, 1024, true, 3, 2, 1024 * 4},  // only isochronous multiplies again
        {usb::kTransferIsochronous, 1024, true, 3, 2, 1024 * 4 * 3},
        {usb::kTransferInterrupt, 64, true, 0, 0, 64},
    };
    for (const auto& c : cases) {
        const usb::EndpointDescriptor d{7,      usb::kDescriptorEndpoint, 0x82,
                                        c.type, c.w_max_packet_size,      1};
        const usb::CompanionDescriptor companion{c.max_burst, c.companion_attributes, 0};
        const CUsbBulkEndPoint ep({}, &d, c.companion ? &companion : nullptr);
        EXPECT_EQ(ep.MaxPktSize, c.expected) << "wMaxPacketSize " << c.w_max_packet_size;
    }
}

std::vector<std::uint8_t> config_with(std::initializer_list<std::uint8_t> body) {
    std::vector<std::uint8_t> t{9, 2, 0, 0, 1, 1, 0, 0xC0, 50};
    t.insert(t.end(), body);
    t[2] = static_cast<std::uint8_t>(t.size());
    return t;
}

// Every table here claims more than it holds, or cannot end; each must be refused without a
// read past its bytes (the sanitizers watch that).
TEST(Configuration, MalformedTablesAreRefused) {
    std::vector<std::vector<std::uint8_t>> tables;
    for (const Malformed kind : {Malformed::EndpointsBeyondTable, Malformed::DescriptorPastEnd,
                                 Malformed::ZeroLengthDescriptor, Malformed::TotalBeyondData}) {
        PrinterSpec spec = PrinterSpec::usb2();
        spec.malformed = kind;
        tables.push_back(DescriptorTables::build(spec).configuration);
    }
    tables.push_back({9, 2, 9, 0});                               // shorter than its head
    tables.push_back({9, 2, 5, 0, 1, 1, 0, 0xC0, 50});            // total below the head
    tables.push_back({9, 4, 9, 0, 1, 1, 0, 0xC0, 50});            // not a configuration
    tables.push_back(config_with({9, 4, 0, 0, 31, 7, 1, 2, 0}));  // 32 endpoints and more
    tables.push_back(config_with({5, 4, 0, 0, 0}));               // short interface
    tables.push_back(config_with({9, 4, 0, 0, 1, 7, 1, 2, 0, 4, 5, 1, 2}));  // short endpoint
    tables.push_back(config_with({9, 4, 0, 0, 1, 7, 1, 2, 0, 1}));           // length 1 never ends
    std::vector<std::uint8_t> many{9, 2, 0, 0, 9, 1, 0, 0xC0, 50};           // nine interfaces
    for (std::uint8_t i = 0; i < 9; ++i) {
        many.insert(many.end(), {9, 4, i, 0, 0, 7, 1, 2, 0});
    }
    many[2] = static_cast<std::uint8_t>(many.size());
    tables.push_back(many);

    for (std::size_t i = 0; i < tables.size(); ++i) {
        EXPECT_THROW(CUsbConfig({}, tables[i], 64, DescriptorForm::Usb2), usb::MalformedDescriptor)
            << "table " << i;
    }
}

TEST(Configuration, OtherDescriptorsBetweenEndpointsArePassedOver) {
    const auto table =
        config_with({9, 4,    0,    0, 1,    7,    1, 2, 0,  // interface, one endpoint
                     5, 0x24, 1,    2, 3,                    // a class descriptor
                     7, 5,    0x02, 2, 0x00, 0x02, 0});
    const CUsbConfig config({}, table, 64, DescriptorForm::Usb2);
    ASSERT_EQ(config.Interfaces[0]->EndPointCount, 2);
    EXPECT_EQ(config.Interfaces[0]->EndPoints[1]->Address, 0x02);
}

TEST(Bos, ReadsTheCapabilitiesOfAUsb3Printer) {
    const CUsbBos bos(DescriptorTables::build(PrinterSpec::usb3()).bos);
    EXPECT_EQ(bos.bNumDeviceCaps, 3);
    ASSERT_TRUE(bos.Usb20.has_value());
    EXPECT_EQ(bos.Usb20->bmAttributes, 0x06u);
    ASSERT_TRUE(bos.SuperSpeed.has_value());
    EXPECT_EQ(bos.SuperSpeed->wSpeedsSupported, 0x0E);
    EXPECT_EQ(bos.SuperSpeed->wU2DevExitLat, 0x07FF);
    ASSERT_TRUE(bos.Container.has_value());
    EXPECT_EQ(bos.Container->id[0], 'Q');
}

TEST(Bos, MalformedTablesAreRefused) {
    std::vector<std::vector<std::uint8_t>> tables;
    for (const Malformed kind : {Malformed::BosCountBeyondTable, Malformed::BosCapabilityPastEnd}) {
        PrinterSpec spec = PrinterSpec::usb3();
        spec.malformed = kind;
        tables.push_back(DescriptorTables::build(spec).bos);
    }
    tables.push_back({5, 15, 20, 0, 1, 7, 16, 2, 0, 0, 0, 0});  // total past the bytes held
    tables.push_back({5, 15, 8, 0, 1, 3, 16, 2});               // USB 2.0 extension too short
    tables.push_back({5, 15, 8, 0, 1, 3, 5, 2});                // not a capability
    for (std::size_t i = 0; i < tables.size(); ++i) {
        EXPECT_THROW(CUsbBos{tables[i]}, usb::MalformedDescriptor) << "table " << i;
    }
}

}  // namespace
