#include "usb/endpoints.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "sim_fixture.h"

namespace {

using usb::sim::TransferKind;

class Endpoints : public SimUsbTest {
  protected:
    void SetUp() override {
        SimUsbTest::SetUp();
        device_ = open_printer();
        ASSERT_NE(device_->BulkOutEndPt, nullptr);
    }

    CUsbControlEndPoint& class_request(std::uint8_t direction, std::uint8_t code) {
        return SimUsbTest::class_request(*device_, direction, code);
    }

    static std::vector<std::uint8_t> pattern(std::size_t size) {
        std::vector<std::uint8_t> data(size);
        for (std::size_t i = 0; i < size; ++i) {
            data[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
        }
        return data;
    }

    std::unique_ptr<CUsbDevice> device_;
};

TEST_F(Endpoints, ACommandFrameReachesThePrinterAndReportsTheBytesSent) {
    CUsbControlEndPoint& ep = class_request(0, 0x01);
    std::uint8_t frame[6] = {0xFF, 0x01, 0x10, 0x27, 0x00, 0x00};
    platform::Event event;
    usb::IoRecord record(&event);
    usb::XferContext* context = ep.BeginDataXfer(frame, 6, &record);
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(ep.LastError, usb::kErrorPending);
    ASSERT_TRUE(ep.WaitForXfer(&record, 1500));
    std::int32_t length = 6;
    EXPECT_TRUE(ep.FinishDataXfer(frame, length, &record, context));
    EXPECT_EQ(length, 6);
    EXPECT_EQ(ep.bytesWritten, 6u);
    const auto frames = model().frames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], std::vector<std::uint8_t>(frame, frame + 6));
    EXPECT_EQ(usb::TransferHeader::read(bus_.transfer_log().back().header.data()).request_type,
              0x21);
}

TEST_F(Endpoints, AStatusReadReturnsThePrintersByte) {
    model().queue_status(0x50);
    std::uint8_t status = 0;
    std::int32_t length = 1;
    EXPECT_TRUE(class_request(1, 0x81).Read(&status, length));
    EXPECT_EQ(status, 0x50);
    EXPECT_EQ(length, 1);
}

TEST_F(Endpoints, AStatusReadThatTimesOutIsAbortedAndLeavesTheByte) {
    printer_->hold_next(TransferKind::ClassIn);
    std::uint8_t status = 0x35;
    std::int32_t length = 1;
    CUsbControlEndPoint& ep = class_request(1, 0x81);
    ASSERT_EQ(ep.TimeOut, 10000u);
    const std::uint32_t start = platform::tick_count();
    EXPECT_FALSE(ep.Read(&status, length));
    EXPECT_GE(platform::tick_count() - start, 10000u);
    EXPECT_EQ(status, 0x35);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(bus_.pending_transfers(), 0u);
    EXPECT_EQ(model().status_reads(), 0u);  // the printer never answered it
}

TEST_F(Endpoints, ADirectBulkTransferLeavesTheDataInTheOutputBuffer) {
    std::vector<std::uint8_t> band = pattern(300000);
    CUsbEndPoint& ep = *device_->BulkOutEndPt;
    platform::Event event;
    usb::IoRecord record(&event);
    bus_.clear_transfer_log();
    usb::XferContext* context =
        ep.BeginDataXfer(band.data(), static_cast<std::int32_t>(band.size()), &record);
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(ep.LastError, usb::kErrorPending);

    const auto log = bus_.transfer_log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].code, usb::kCodeDirectTransfer);
    EXPECT_EQ(log[0].in_length, usb::kTransferHeaderSize);
    EXPECT_EQ(log[0].out_length, band.size());
    const auto header = usb::TransferHeader::read(log[0].header.data());
    EXPECT_EQ(header.endpoint, 0x01);
    EXPECT_EQ(header.data_offset, 0u);
    EXPECT_EQ(header.data_length, 0u);
    EXPECT_EQ(header.request_type, 0);
    EXPECT_EQ(header.timeout_s, 0u);

    ASSERT_TRUE(ep.WaitForXfer(&record, 1500));
    std::int32_t length = static_cast<std::int32_t>(band.size());
    EXPECT_TRUE(ep.FinishDataXfer(band.data(), length, &record, context));
    EXPECT_EQ(length, 300000);
    EXPECT_EQ(model().last_bulk(), band);
}

TEST_F(Endpoints, ABufferedBulkTransferCarriesItsDataBehindTheHeader) {
    std::vector<std::uint8_t> data = pattern(1000);
    CUsbEndPoint& ep = *device_->BulkOutEndPt;
    ep.XferMode = usb::kBufferedXfer;
    bus_.clear_transfer_log();
    std::int32_t length = 1000;
    EXPECT_TRUE(ep.XferData(data.data(), length));
    EXPECT_EQ(length, 1000);
    const auto log = bus_.transfer_log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].code, usb::kCodeBufferedTransfer);
    EXPECT_EQ(log[0].in_length, usb::kTransferHeaderSize + 1000);
    const auto header = usb::TransferHeader::read(log[0].header.data());
    EXPECT_EQ(header.data_offset, usb::kTransferHeaderSize);
    EXPECT_EQ(header.data_length, 1000u);
    EXPECT_EQ(model().last_bulk(), data);
}

TEST_F(Endpoints, ATransferAbortedWhilePendingEndsFailedAndReleasesNothingEarly) {
    printer_->hold_next(TransferKind::BulkOut);
    std::vector<std::uint8_t> band = pattern(4096);
    CUsbEndPoint& ep = *device_->BulkOutEndPt;
    platform::Event event;
    usb::IoRecord record(&event);
    usb::XferContext* context = ep.BeginDataXfer(band.data(), 4096, &record);
    ASSERT_NE(context, nullptr);
    EXPECT_FALSE(ep.WaitForXfer(&record, 1500));
    EXPECT_FALSE(record.done());
    EXPECT_EQ(bus_.pending_transfers(), 1u);

    EXPECT_TRUE(ep.Abort());
    EXPECT_TRUE(record.done());
    std::int32_t length = 4096;
    EXPECT_FALSE(ep.FinishDataXfer(band.data(), length, &record, context));
    EXPECT_EQ(length, 0);
    EXPECT_NE(ep.UsbdStatus, 0u);
    EXPECT_EQ(bus_.pending_transfers(), 0u);
    EXPECT_EQ(model().bulk_bytes(), 0u);
}

// A caller that finishes a transfer it has not waited for: the finish call ends it first, so
// the context, the record and the buffer are never freed under the driver.
TEST_F(Endpoints, FinishingATransferStillUnderWayAbortsItFirst) {
    printer_->hold_next(TransferKind::BulkOut);
    auto band = std::make_unique<std::vector<std::uint8_t>>(pattern(8192));
    auto event = std::make_unique<platform::Event>();
    auto record = std::make_unique<usb::IoRecord>(event.get());
    CUsbEndPoint& ep = *device_->BulkOutEndPt;
    usb::XferContext* context = ep.BeginDataXfer(band->data(), 8192, record.get());
    std::int32_t length = 8192;
    EXPECT_FALSE(ep.FinishDataXfer(band->data(), length, record.get(), context));
    EXPECT_TRUE(record->done());
    EXPECT_EQ(bus_.pending_transfers(), 0u);
    record.reset();
    event.reset();
    band.reset();
}

TEST_F(Endpoints, UnpluggingEndsATransferUnderWayAsFailed) {
    printer_->hold_next(TransferKind::BulkOut);
    std::vector<std::uint8_t> band = pattern(1024);
    CUsbEndPoint& ep = *device_->BulkOutEndPt;
    platform::Event event;
    usb::IoRecord record(&event);
    usb::XferContext* context = ep.BeginDataXfer(band.data(), 1024, &record);
    printer_->unplug();
    EXPECT_TRUE(ep.WaitForXfer(&record, 1500));
    std::int32_t length = 1024;
    EXPECT_FALSE(ep.FinishDataXfer(band.data(), length, &record, context));

    // The old handle stays dead: a new transfer fails at once.
    printer_->replug();
    context = ep.BeginDataXfer(band.data(), 1024, &record);
    EXPECT_EQ(ep.LastError, usb::kErrorDeviceGone);
    EXPECT_FALSE(ep.WaitForXfer(&record, 1500));
    EXPECT_FALSE(ep.FinishDataXfer(band.data(), length, &record, context));
}

TEST_F(Endpoints, BulkTransfersTakeTheTimeOfTheirLink) {
    const struct {
        std::uint64_t bytes;
        usb::sim::LinkSpeed speed;
        std::uint32_t ms;
    } cases[] = {
        {2'097'152, usb::sim::LinkSpeed::High, 53},
        {2'097'152, usb::sim::LinkSpeed::Super, 6},
        {65'536, usb::sim::LinkSpeed::Full, 66},
        {0, usb::sim::LinkSpeed::High, 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(usb::sim::transfer_time_ms(c.bytes, c.speed), c.ms) << c.bytes;
    }

    // A full-speed printer needs about two seconds for 2 MiB: the transfer is done no sooner
    // (judged by the clock, not by how soon this thread runs), and within the usual margin.
    auto slow = bus_.add_printer(usb::sim::PrinterSpec::usb2(usb::sim::LinkSpeed::Full));
    CUsbDevice device(g_driver_interface_guid, false, &bus_);
    ASSERT_TRUE(device.Open(1));
    std::vector<std::uint8_t> piece = pattern(2'097'152);
    platform::Event event;
    usb::IoRecord record(&event);
    CUsbEndPoint& ep = *device.BulkOutEndPt;
    const std::uint32_t begun = platform::tick_count();
    usb::XferContext* context = ep.BeginDataXfer(piece.data(), 2'097'152, &record);
    EXPECT_FALSE(ep.WaitForXfer(&record, 500) && platform::tick_count() - begun < 2098);
    EXPECT_TRUE(ep.WaitForXfer(&record, 20000));
    EXPECT_GE(platform::tick_count() - begun, 2098u);
    std::int32_t length = 2'097'152;
    EXPECT_TRUE(ep.FinishDataXfer(piece.data(), length, &record, context));
}

// A transfer whose time has come is complete for its waiter even while the bus's own thread
// is held up (here in another transfer's firmware work): a loaded machine must not make the
// protocol abort transfers that the printer has long finished.
TEST_F(Endpoints, ADueTransferCompletesForItsWaiterWhileTheBusThreadIsHeldUp) {
    struct BlockingModel : usb::sim::RecordingModel {
        platform::Event entered;
        platform::Event release;
        usb::sim::ClassAnswer class_request(const usb::sim::SetupPacket& setup,
                                            std::span<std::uint8_t> data) override {
            entered.set();
            release.wait();
            return RecordingModel::class_request(setup, data);
        }
    };
    auto model = std::make_shared<BlockingModel>();
    printer_->set_model(model);

    std::uint8_t frame[2] = {0xFF, 0xA3};
    platform::Event command_event;
    usb::IoRecord command(&command_event);
    CUsbControlEndPoint& control = class_request(0, 0x01);
    usb::XferContext* command_context = control.BeginDataXfer(frame, 2, &command);
    ASSERT_NE(command_context, nullptr);
    model->entered.wait();  // the bus's thread is now inside the command's firmware work

    std::vector<std::uint8_t> band = pattern(4096);
    CUsbEndPoint& ep = *device_->BulkOutEndPt;
    platform::Event event;
    usb::IoRecord record(&event);
    usb::XferContext* context = ep.BeginDataXfer(band.data(), 4096, &record);
    EXPECT_TRUE(ep.WaitForXfer(&record, 100));
    std::int32_t length = 4096;
    EXPECT_TRUE(ep.FinishDataXfer(band.data(), length, &record, context));
    EXPECT_EQ(model->last_bulk(), band);

    model->release.set();
    EXPECT_TRUE(control.WaitForXfer(&command, 1500));
    length = 2;
    EXPECT_TRUE(control.FinishDataXfer(frame, length, &command, command_context));
}

TEST_F(Endpoints, WithoutADriverHandleNoTransferBegins) {
    CUsbBulkEndPoint ep(usb::DriverHandle{}, nullptr);
    std::uint8_t data[4] = {1, 2, 3, 4};
    platform::Event event;
    usb::IoRecord record(&event);
    EXPECT_EQ(ep.BeginDataXfer(data, 4, &record), nullptr);
    std::int32_t length = 4;
    EXPECT_FALSE(ep.XferData(data, length));
    EXPECT_EQ(length, 0);
    EXPECT_FALSE(ep.FinishDataXfer(data, length, &record, nullptr));
}

TEST_F(Endpoints, IsochronousTransfersCarryOnePacketRecordPerPacket) {
    const usb::EndpointDescriptor descriptor{
        7, usb::kDescriptorEndpoint, 0x03, usb::kTransferIsochronous, 1024, 1};
    CUsbIsocEndPoint ep(device_->hDevice, &descriptor);
    std::vector<std::uint8_t> data = pattern(2500);  // three packets
    usb::IsoPacketInfo packets[3];
    for (const int mode : {usb::kDirectXfer, usb::kBufferedXfer}) {
        ep.XferMode = mode;
        bus_.clear_transfer_log();
        std::int32_t length = 2500;
        EXPECT_FALSE(ep.XferData(data.data(), length, packets));  // the printer has no such pipe
        const auto log = bus_.transfer_log();
        ASSERT_EQ(log.size(), 1u);
        const auto header = usb::TransferHeader::read(log[0].header.data());
        EXPECT_EQ(header.endpoint, 0x03);
        EXPECT_EQ(header.iso_offset, usb::kTransferHeaderSize);
        EXPECT_EQ(header.iso_length, 3 * usb::kIsoPacketRecordSize);
        if (mode == usb::kDirectXfer) {
            EXPECT_EQ(log[0].code, usb::kCodeDirectTransfer);
            EXPECT_EQ(log[0].in_length, usb::kTransferHeaderSize + 24);
            EXPECT_EQ(header.data_offset, 0u);
        } else {
            EXPECT_EQ(log[0].code, usb::kCodeBufferedTransfer);
            EXPECT_EQ(log[0].in_length, usb::kTransferHeaderSize + 24 + 2500);
            EXPECT_EQ(header.data_offset, usb::kTransferHeaderSize + 24);
            EXPECT_EQ(header.data_length, 2500u);
        }
    }
    platform::Event event;
    usb::IoRecord record(&event);
    EXPECT_EQ(ep.BeginDataXfer(data.data(), 0, &record), nullptr);  // no packet, no transfer
}

}  // namespace
