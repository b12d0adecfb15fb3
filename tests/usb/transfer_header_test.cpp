#include "usb/transfer_header.h"

#include <gtest/gtest.h>

#include <array>

#include "sim_fixture.h"

namespace {

TEST(TransferHeader, WritesEveryFieldAtItsOffsetLittleEndian) {
    usb::TransferHeader header;
    header.request_type = 0xA1;
    header.request = 0x81;
    header.value = 0x0302;
    header.index = 0x0504;
    header.length = 0x0706;
    header.timeout_s = 0x0B0A0908;
    header.endpoint = 0x0D;
    header.nt_status = 0x11100F0E;
    header.usbd_status = 0x15141312;
    header.iso_offset = 0x19181716;
    header.iso_length = 0x1D1C1B1A;
    header.data_offset = 0x21201F1E;
    header.data_length = 0x25242322;

    std::array<std::uint8_t, usb::kTransferHeaderSize> bytes;
    bytes.fill(0xEE);
    header.write(bytes.data());
    const std::array<std::uint8_t, usb::kTransferHeaderSize> expected = {
        0xA1, 0x81, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x00,
        0x0D, 0x0E, 0x0F, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19,
        0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F, 0x20, 0x21, 0x22, 0x23, 0x24, 0x25};
    EXPECT_EQ(bytes, expected);

    const usb::TransferHeader back = usb::TransferHeader::read(bytes.data());
    EXPECT_EQ(back.timeout_s, header.timeout_s);
    EXPECT_EQ(back.data_length, header.data_length);
    EXPECT_EQ(back.usbd_status, header.usbd_status);
}

TEST(TransferHeader, TimeOutIsWholeSecondsButNeverZeroForAShortOne) {
    const struct {
        std::uint32_t ms;
        std::uint32_t seconds;
    } cases[] = {{10000, 10}, {500, 1}, {1, 1}, {999, 1}, {1000, 1}, {1999, 1}, {0, 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(usb::header_timeout_seconds(c.ms), c.seconds) << c.ms << " ms";
    }
}

using ControlHeaderOnTheWire = SimUsbTest;

// The header of a class request as the driver receives it.
TEST_F(ControlHeaderOnTheWire, CarriesTheSetupPacketAndTheEndpointTimeOut) {
    auto device = open_printer();
    CUsbControlEndPoint& ep = class_request(*device, 1, 0x81);
    for (const auto& [timeout_ms, seconds] : {std::pair{10000u, 10u}, std::pair{500u, 1u}}) {
        bus_.clear_transfer_log();
        ep.TimeOut = timeout_ms;
        std::uint8_t status = 0;
        std::int32_t length = 1;
        ASSERT_TRUE(ep.Read(&status, length));
        const auto log = bus_.transfer_log();
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0].code, usb::kCodeControlTransfer);
        const auto header = usb::TransferHeader::read(log[0].header.data());
        EXPECT_EQ(header.request_type, 0xA1);
        EXPECT_EQ(header.request, 0x81);
        EXPECT_EQ(header.length, 1);
        EXPECT_EQ(header.timeout_s, seconds);
        EXPECT_EQ(header.endpoint, 0);
        EXPECT_EQ(header.data_offset, usb::kTransferHeaderSize);
        EXPECT_EQ(header.data_length, 1u);
        EXPECT_EQ(log[0].in_length, usb::kTransferHeaderSize + 1);
    }
}

}  // namespace
