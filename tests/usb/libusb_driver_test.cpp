// The real printer's driver, through the libusb seam answered by simulated printers.
#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "libusb_fixture.h"
#include "temp_dir.h"
#include "usb/descriptors.h"
#include "usb/driver/libusb/printer_ids.h"

namespace {

using usb::libusb::LibusbDriver;
using usb::libusb::PrinterIds;
using usb::sim::PrinterSpec;
using usb::sim::RecordingModel;
using usb::sim::TransferKind;

PrinterSpec with_serial(std::string serial, std::uint16_t product = 0x0800) {
    PrinterSpec spec = PrinterSpec::usb2();
    spec.serial = std::move(serial);
    spec.product_id = product;
    return spec;
}

// Sets the control endpoint up for one of the printer's class requests.
CUsbControlEndPoint& class_request(CUsbDevice& device, std::uint8_t direction, std::uint8_t code) {
    CUsbControlEndPoint& ep = *device.ControlEndPt;
    ep.Target = 1;
    ep.ReqType = 1;
    ep.Direction = direction;
    ep.ReqCode = code;
    return ep;
}

TEST_F(LibusbTest, DiscoveryCountsThePrintersIdsInTheBusOrder) {
    auto device = open_device();
    EXPECT_EQ(device->DeviceCount(), 0);
    EXPECT_FALSE(device->Open(0));

    add_printer(with_serial("other", 0x0801), 1, {1});
    add_printer(with_serial("second"), 2, {1});
    EXPECT_EQ(device->DeviceCount(), 1);
    add_printer(with_serial("first"), 1, {4, 2});
    ASSERT_EQ(device->DeviceCount(), 2);

    // Callers that open every index in turn keep the last one.
    EXPECT_TRUE(device->Open(0));
    EXPECT_EQ(device->SerialNumber, u"first");
    EXPECT_EQ(device->DevPath, "usb:1-4.2");
    EXPECT_TRUE(device->Open(1));
    EXPECT_EQ(device->SerialNumber, u"second");
    EXPECT_EQ(device->DevPath, "usb:2-1");
    EXPECT_EQ(device->DevNum, 1);

    CUsbDevice other_guid(usb::Guid{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}}, true, &driver());
    EXPECT_EQ(other_guid.DeviceCount(), 0);
}

TEST_F(LibusbTest, WithoutUsbAccessNoPrinterIsPresent) {
    library_.set_usb_access(false);
    add_printer();
    auto device = open_device();
    EXPECT_EQ(device->DeviceCount(), 0);
    EXPECT_FALSE(device->IsOpen());
}

TEST_F(LibusbTest, SeveralDeviceObjectsShareThePrinterAndItsClaimedInterface) {
    add_printer();
    auto first = open_device();
    auto second = open_device();
    ASSERT_TRUE(first->IsOpen());
    ASSERT_TRUE(second->IsOpen());
    first.reset();
    std::uint8_t status = 0;
    std::int32_t length = 1;
    EXPECT_TRUE(class_request(*second, 1, 0x81).Read(&status, length));
    // Closed by its last user, the printer can be opened afresh.
    second.reset();
    EXPECT_TRUE(open_device()->IsOpen());
}

struct DescriptorCase {
    const char* name;
    PrinterSpec spec;
    std::uint16_t bcd_usb;
    bool high;
    bool super;
    bool bos;
    std::uint32_t bulk_packet;
};

class LibusbDescriptors : public LibusbTest,
                          public ::testing::WithParamInterface<DescriptorCase> {};

TEST_P(LibusbDescriptors, ComeFromTheCacheAndTheStringsFromTheDevice) {
    const DescriptorCase& c = GetParam();
    add_printer(c.spec);
    auto device = open_device();
    ASSERT_TRUE(device->IsOpen());
    EXPECT_EQ(device->BcdUSB, c.bcd_usb);
    EXPECT_EQ(device->VendorID, 0x3A2C);
    EXPECT_EQ(device->ProductID, 0x0800);
    EXPECT_EQ(device->Product, u"Q800X");
    EXPECT_EQ(device->bHighSpeed, c.high);
    EXPECT_EQ(device->bSuperSpeed, c.super);
    EXPECT_EQ(device->UsbBos != nullptr, c.bos);
    EXPECT_EQ(device->USBAddress, 1);
    EXPECT_EQ(device->DeviceName, "/dev/bus/usb/001/001");
    EXPECT_EQ(device->AltSetting, 0);
    ASSERT_NE(device->BulkOutEndPt, nullptr);
    EXPECT_EQ(device->BulkOutEndPt->MaxPktSize, c.bulk_packet);
    ASSERT_NE(device->BulkInEndPt, nullptr);
    // The device and configuration descriptors are the library's cached copies; the strings
    // (and a BOS) are asked of the device.
    EXPECT_EQ(library_.descriptor_requests(usb::kDescriptorDevice), 0u);
    EXPECT_EQ(library_.descriptor_requests(usb::kDescriptorConfiguration), 0u);
    EXPECT_GT(library_.descriptor_requests(usb::kDescriptorString), 0u);
    EXPECT_EQ(library_.descriptor_requests(usb::kDescriptorBos) > 0, c.bos);
}

INSTANTIATE_TEST_SUITE_P(Printers, LibusbDescriptors,
                         ::testing::Values(DescriptorCase{"Usb2", PrinterSpec::usb2(), 0x0200, true,
                                                          false, false, 512},
                                           DescriptorCase{"Usb3", PrinterSpec::usb3(), 0x0320,
                                                          false, true, true, 1024u * 16}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LibusbTest, ACommandFrameAndItsStatusByteGoAsClassRequests) {
    auto model = std::make_shared<RecordingModel>(0x05);
    add_printer(PrinterSpec::usb2(), 1, {1}, model);
    auto device = open_device();
    std::uint8_t frame[] = {0xFF, 0x01, 0xB0, 0x03, 0x00, 0x00};
    std::int32_t length = sizeof frame;
    EXPECT_TRUE(class_request(*device, 0, 0x01).XferData(frame, length));
    EXPECT_EQ(length, 6);
    ASSERT_EQ(model->frames().size(), 1u);
    EXPECT_EQ(model->frames()[0], (std::vector<std::uint8_t>{0xFF, 0x01, 0xB0, 0x03, 0, 0}));

    model->queue_status('P');
    std::uint8_t status = 0;
    length = 1;
    EXPECT_TRUE(class_request(*device, 1, 0x81).Read(&status, length));
    EXPECT_EQ(status, 'P');
    EXPECT_EQ(length, 1);
    EXPECT_EQ(device->ControlEndPt->UsbdStatus, 0u);
    EXPECT_EQ(device->ControlEndPt->NtStatus, 0u);
}

TEST_F(LibusbTest, AStatusReadThatTimesOutLeavesTheByteAndTheNextReadWorks) {
    auto model = std::make_shared<RecordingModel>(0x05);
    add_printer(PrinterSpec::usb2(), 1, {1}, model);
    auto device = open_device();
    library_.hold_next(TransferKind::ClassIn);
    CUsbControlEndPoint& ep = class_request(*device, 1, 0x81);
    ep.TimeOut = 500;  // the header carries 1 s; the wait gives up at 500 ms and aborts
    std::uint8_t status = 0x77;
    std::int32_t length = 1;
    EXPECT_FALSE(ep.Read(&status, length));
    EXPECT_EQ(status, 0x77);
    EXPECT_EQ(length, 0);
    length = 1;
    EXPECT_TRUE(ep.Read(&status, length));
    EXPECT_EQ(status, 0x05);
}

TEST_F(LibusbTest, ABandGoesOutInOneSubmissionFromTheCallersBuffer) {
    auto model = std::make_shared<RecordingModel>();
    add_printer(PrinterSpec::usb2(), 1, {1}, model);
    auto device = open_device();
    std::vector<std::uint8_t> band = pattern(2'097'152);
    const std::size_t before = library_.submissions();
    std::int32_t length = static_cast<std::int32_t>(band.size());
    EXPECT_TRUE(device->BulkOutEndPt->XferData(band.data(), length));
    EXPECT_EQ(length, static_cast<std::int32_t>(band.size()));
    EXPECT_EQ(library_.submissions() - before, 1u);
    EXPECT_EQ(library_.last_bulk_buffer(), band.data());
    EXPECT_EQ(model->last_bulk(), band);
}

TEST_F(LibusbTest, ABulkTransferThatTimesOutIsCancelledAndFails) {
    auto model = std::make_shared<RecordingModel>();
    add_printer(PrinterSpec::usb2(), 1, {1}, model);
    auto device = open_device();
    library_.hold_next(TransferKind::BulkOut);
    CUsbBulkEndPoint& ep = *device->BulkOutEndPt;
    ep.TimeOut = 300;
    std::vector<std::uint8_t> band = pattern(4096);
    std::int32_t length = static_cast<std::int32_t>(band.size());
    EXPECT_FALSE(ep.XferData(band.data(), length));
    EXPECT_EQ(length, 0);
    EXPECT_EQ(model->bulk_bytes(), 0u);
    EXPECT_EQ(driver().transfers_under_way(), 0u);
    length = static_cast<std::int32_t>(band.size());
    EXPECT_TRUE(ep.XferData(band.data(), length));
}

TEST_F(LibusbTest, ClosingADeviceEndsItsTransfersFirst) {
    add_printer();
    auto device = open_device();
    library_.hold_next(TransferKind::BulkOut);
    platform::Event event;
    usb::IoRecord record(&event);
    std::vector<std::uint8_t> band = pattern(512);
    usb::XferContext* context = device->BulkOutEndPt->BeginDataXfer(
        band.data(), static_cast<std::int32_t>(band.size()), &record);
    ASSERT_NE(context, nullptr);
    EXPECT_TRUE(driver().close(device->hDevice.id));
    EXPECT_TRUE(record.done());
    EXPECT_EQ(library_.transfers_in_flight(), 0u);
    delete context;
    device->hDevice = {};
}

struct UnplugCase {
    const char* name;
    bool hotplug;
};

class LibusbUnplug : public LibusbTest, public ::testing::WithParamInterface<UnplugCase> {};

TEST_P(LibusbUnplug, FailsTheTransferReleasesTheHandleAndTheReopenFindsThePrinterBack) {
    library_.offer_hotplug(GetParam().hotplug);
    auto model = std::make_shared<RecordingModel>();
    auto printer = add_printer(PrinterSpec::usb2(), 1, {3}, model);
    auto device = open_device();
    // A worker that never reopens, such as the job-folder watcher.
    auto idle = open_device();
    ASSERT_TRUE(idle->IsOpen());
    EXPECT_EQ(driver().hotplug(), GetParam().hotplug);
    library_.hold_next(TransferKind::BulkOut);
    std::vector<std::uint8_t> band = pattern(65536);
    std::thread cable([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        printer->unplug();
    });
    std::int32_t length = static_cast<std::int32_t>(band.size());
    EXPECT_FALSE(device->BulkOutEndPt->XferData(band.data(), length));
    cable.join();
    EXPECT_EQ(device->DeviceCount(), 0);
    EXPECT_FALSE(device->Open(0));
    // The gone printer's handle and interface go back, though the idle worker still holds its
    // handle on the driver.
    EXPECT_TRUE(eventually([&] { return library_.open_handles() == 0; }));
    EXPECT_TRUE(idle->IsOpen());

    printer->replug();
    ASSERT_TRUE(device->Open(0));
    EXPECT_EQ(device->USBAddress, 2);  // a new address on the bus, the same path
    EXPECT_EQ(device->DevPath, "usb:1-3");
    length = static_cast<std::int32_t>(band.size());
    EXPECT_TRUE(device->BulkOutEndPt->XferData(band.data(), length));
    EXPECT_EQ(model->last_bulk(), band);
}

INSTANTIATE_TEST_SUITE_P(Libraries, LibusbUnplug,
                         ::testing::Values(UnplugCase{"WithHotplug", true},
                                           UnplugCase{"WithoutHotplug", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PrinterIds, TheEnvironmentThenTheFileThenTheBuildsIdAndNoneOfTheirOwn) {
    test_support::TempDir dir;
    const auto file = dir / "velquorin.conf";
    const PrinterIds built{0x1111, 0x2222};
    std::string warning;

    EXPECT_EQ(usb::libusb::printer_ids(nullptr, file, built, warning), built);
    EXPECT_EQ(usb::libusb::printer_ids(nullptr, file, std::nullopt, warning), std::nullopt);
    EXPECT_TRUE(warning.empty());

    std::ofstream(file) << "# the printer\n  usb_id = 12AB:0E2a \r\n";
    EXPECT_EQ(usb::libusb::printer_ids(nullptr, file, std::nullopt, warning),
              (PrinterIds{0x12AB, 0x0E2A}));
    EXPECT_EQ(usb::libusb::printer_ids("3a2c:0801", file, built, warning),
              (PrinterIds{0x3A2C, 0x0801}));
    EXPECT_TRUE(warning.empty());

    // A value that is not an id is told and passed over.
    EXPECT_EQ(usb::libusb::printer_ids("printer", file, built, warning),
              (PrinterIds{0x12AB, 0x0E2A}));
    EXPECT_NE(warning.find("VELQUORIN_USB_ID=printer"), std::string::npos);
    std::ofstream(file) << "usb_id=3a2c\n";
    EXPECT_EQ(usb::libusb::printer_ids(nullptr, file, std::nullopt, warning), std::nullopt);
    EXPECT_NE(warning.find("usb_id=3a2c"), std::string::npos);
    // The installed file of a build without an id.
    std::ofstream(file) << "# usb_id=vvvv:pppp\n";
    EXPECT_EQ(usb::libusb::printer_ids(nullptr, file, std::nullopt, warning), std::nullopt);
    EXPECT_TRUE(warning.empty());

    for (const char* bad : {"", "3a2c:08000", "3a2c-0800", "+a2c:0800", "3a2c:08 0", "xyzw:0800"}) {
        EXPECT_FALSE(usb::libusb::parse_usb_id(bad).has_value()) << bad;
    }
}

}  // namespace
