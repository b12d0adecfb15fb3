#include "usb/driver.h"

#include <gtest/gtest.h>

#include "sim_fixture.h"

namespace {

using usb::IoRecord;

TEST(IoRecord, ASignalOfAnotherCallOnASharedEventIsNotTakenForThisOne) {
    platform::Event shared;
    IoRecord first(&shared);
    IoRecord second(&shared);
    first.begin();
    second.begin();
    first.complete(4, usb::kErrorNone);
    EXPECT_FALSE(usb::wait_done(second, 100));
    EXPECT_TRUE(usb::wait_done(first, 100));

    std::uint32_t bytes = 0;
    std::uint32_t error = 0;
    EXPECT_FALSE(second.result(bytes, error));
    EXPECT_EQ(error, usb::kErrorIncomplete);
    EXPECT_TRUE(first.result(bytes, error));
    EXPECT_EQ(bytes, 4u);
}

TEST(IoRecord, BeginClearsAnEarlierSignal) {
    platform::Event event(true);
    IoRecord record(&event);
    record.begin();
    EXPECT_FALSE(event.wait(0));
}

// A firmware that never answers a class request.
class SilentModel : public usb::sim::PrinterModel {
  public:
    usb::sim::ClassAnswer class_request(const usb::sim::SetupPacket&,
                                        std::span<std::uint8_t>) override {
        return {usb::sim::ClassReply::NoAnswer, 0};
    }
    void bulk_out(std::uint8_t, std::span<const std::uint8_t>) override {}
};

using SilentPrinter = SimUsbTest;

TEST_F(SilentPrinter, AnUnansweredRequestEndsAtTheHeadersTimeOut) {
    auto device = open_printer();
    printer_->set_model(std::make_shared<SilentModel>());
    CUsbControlEndPoint& ep = *device->ControlEndPt;
    ep.ReqType = 1;
    ep.Target = 1;
    ep.Direction = 1;
    ep.ReqCode = 0x81;
    ep.TimeOut = 2000;
    std::uint8_t status = 0x61;
    platform::Event event;
    IoRecord record(&event);
    const std::uint32_t start = platform::tick_count();
    usb::XferContext* context = ep.BeginDataXfer(&status, 1, &record);
    // Not over before the header's two seconds, judged by the clock rather than by how soon
    // this thread runs.
    EXPECT_FALSE(ep.WaitForXfer(&record, 1000) && platform::tick_count() - start < 2000);
    EXPECT_TRUE(ep.WaitForXfer(&record, 10000));
    EXPECT_GE(platform::tick_count() - start, 2000u);
    std::int32_t length = 1;
    EXPECT_FALSE(ep.FinishDataXfer(&status, length, &record, context));
    EXPECT_EQ(status, 0x61);
    std::uint32_t bytes = 0;
    std::uint32_t error = 0;
    record.result(bytes, error);
    EXPECT_EQ(error, usb::kErrorTimeout);
}

}  // namespace
