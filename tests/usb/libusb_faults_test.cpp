// The real printer's driver where a shop meets trouble: a transfer that never ends, a cancel
// that never comes back or is refused, a cable pulled or replugged, a stalled pipe, a printer
// that may not be opened, no printer id. Every wait ends, the driver recovers, and the operator
// is told what to do.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "libusb_fixture.h"
#include "usb/driver/sim/descriptor_tables.h"

namespace {

using usb::libusb::LibusbDriver;
using usb::libusb::Result;
using usb::sim::PrinterSpec;
using usb::sim::RecordingModel;
using usb::sim::TransferKind;

// One bulk OUT transfer begun and left under way, as a band piece whose wait ran out.
struct BegunBand {
    explicit BegunBand(CUsbDevice& device, std::size_t size = 8192)
        : ep(*device.BulkOutEndPt), band(pattern(size)) {
        context = ep.BeginDataXfer(band.data(), static_cast<std::int32_t>(band.size()), &record);
    }
    // FinishDataXfer as the protocol calls it after its wait; the program ms it took.
    std::uint32_t finish(bool& ok, std::int32_t& length) {
        const std::uint32_t start = platform::tick_count();
        length = static_cast<std::int32_t>(band.size());
        ok = ep.FinishDataXfer(band.data(), length, &record, context);
        return platform::tick_count() - start;
    }

    CUsbBulkEndPoint& ep;
    std::vector<std::uint8_t> band;
    platform::Event event;
    usb::IoRecord record{&event};
    usb::XferContext* context = nullptr;
};

struct UnendingCancelCase {
    const char* name;
    bool refused;  // the library refuses the cancel; otherwise it takes it and never calls back
};

class LibusbUnendingCancel : public LibusbTest,
                             public ::testing::WithParamInterface<UnendingCancelCase> {};

TEST_P(LibusbUnendingCancel, FailsTheTransferWithinTheBoundAndTheLibraryKeepsIt) {
    auto model = std::make_shared<RecordingModel>();
    add_printer(PrinterSpec::usb2(), 1, {1}, model);
    auto device = open_device();
    library_.hold_next(TransferKind::BulkOut);
    library_.refuse_cancels(GetParam().refused);
    library_.hold_cancels(!GetParam().refused);
    BegunBand begun(*device);
    ASSERT_NE(begun.context, nullptr);
    EXPECT_FALSE(begun.ep.WaitForXfer(&begun.record, 100));

    bool ok = true;
    std::int32_t length = 0;
    const std::uint32_t waited = begun.finish(ok, length);
    EXPECT_FALSE(ok);
    EXPECT_EQ(length, 0);
    if (GetParam().refused) {
        EXPECT_LT(waited, usb::kAbortWaitMs);  // a refusal is a failure at once
    } else {
        EXPECT_GE(waited, usb::kAbortWaitMs);
        EXPECT_LT(waited, 3 * usb::kAbortWaitMs);
    }
    // The library still has the transfer, and the driver gives it to no other call: the next
    // band goes in one of its own.
    EXPECT_EQ(library_.transfers_in_flight(), 1u);
    EXPECT_EQ(driver().transfers_under_way(), 1u);
    std::vector<std::uint8_t> next = pattern(4096, 3);
    length = static_cast<std::int32_t>(next.size());
    EXPECT_TRUE(begun.ep.XferData(next.data(), length));
    EXPECT_EQ(model->last_bulk(), next);
    // Closing the device does not wait for what was given up.
    const std::uint32_t start = platform::tick_count();
    device.reset();
    EXPECT_LT(platform::tick_count() - start, usb::kAbortWaitMs);

    // A refused one ends at its libusb time-out, a held one once the library calls it back.
    library_.hold_cancels(false);
    EXPECT_TRUE(eventually([&] { return driver().transfers_under_way() == 0; }));
    EXPECT_EQ(model->bulk_bytes(), next.size());
}

INSTANTIATE_TEST_SUITE_P(Cancels, LibusbUnendingCancel,
                         ::testing::Values(UnendingCancelCase{"Refused", true},
                                           UnendingCancelCase{"NeverCalledBack", false}),
                         [](const auto& info) { return std::string(info.param.name); });

// The call of a transfer whose cancel never comes back is given up on when its device is
// closed. The library calls it back later; or the driver ends first, and the callback comes as
// the driver stops its event thread: it finds the driver's call with its transfer as it was.
TEST_F(LibusbTest, ClosingADeviceGivesUpACancelThatNeverComesBackWithinTheBound) {
    add_printer();
    for (const bool driver_ends : {false, true}) {
        SCOPED_TRACE(driver_ends ? "the driver ends first" : "called back later");
        auto device = open_device();
        library_.hold_next(TransferKind::BulkOut);
        library_.hold_cancels(true);
        BegunBand begun(*device);
        ASSERT_NE(begun.context, nullptr);
        const std::uint32_t start = platform::tick_count();
        EXPECT_TRUE(driver().close(device->hDevice.id));
        EXPECT_LT(platform::tick_count() - start, 3 * usb::kAbortWaitMs);
        EXPECT_TRUE(begun.record.done());
        device->hDevice = {};
        delete begun.context;
        ASSERT_EQ(driver().transfers_under_way(), 1u);
        if (driver_ends) {
            library_.release_cancels_at_wake();
            driver_.reset();
            EXPECT_EQ(library_.transfers_in_flight(), 0u);
        } else {
            library_.hold_cancels(false);
            EXPECT_TRUE(eventually([&] { return driver().transfers_under_way() == 0; }));
        }
    }
}

TEST_F(LibusbTest, AnAbortReachesTheTransfersOfADeviceMarkedGone) {
    auto printer = add_printer();
    auto device = open_device();
    library_.hold_next(TransferKind::BulkOut);
    // The kernel has not given the transfer back when the printer is known to be gone.
    library_.end_transfers_on_unplug(false);
    BegunBand begun(*device);
    ASSERT_NE(begun.context, nullptr);
    printer->unplug();
    ASSERT_TRUE(eventually([&] { return library_.hotplug_notices_delivered() == 1; }));
    EXPECT_EQ(device->DeviceCount(), 0);

    bool ok = true;
    std::int32_t length = 0;
    EXPECT_LT(begun.finish(ok, length), usb::kAbortWaitMs);
    EXPECT_FALSE(ok);
    // Cancelled and called back, not given up on.
    EXPECT_EQ(library_.transfers_in_flight(), 0u);
    EXPECT_EQ(driver().transfers_under_way(), 0u);
    EXPECT_TRUE(eventually([&] { return library_.open_handles() == 0; }));
}

TEST_F(LibusbTest, TheLateUnplugNoticeOfAQuickReplugLeavesThePrinterPluggedInAgain) {
    auto model = std::make_shared<RecordingModel>();
    auto printer = add_printer(PrinterSpec::usb2(), 1, {2}, model);
    auto device = open_device();
    library_.hold_hotplug(true);
    printer->unplug();
    printer->replug();
    std::vector<std::uint8_t> band = pattern(4096);
    std::int32_t length = static_cast<std::int32_t>(band.size());
    EXPECT_FALSE(device->BulkOutEndPt->XferData(band.data(), length));
    ASSERT_TRUE(device->Open(0));
    EXPECT_EQ(device->DevPath, "usb:1-2");

    // The notices of the pull and the plug come now, after the reopen.
    library_.hold_hotplug(false);
    ASSERT_TRUE(eventually([&] { return library_.hotplug_notices_delivered() == 2; }));
    length = static_cast<std::int32_t>(band.size());
    EXPECT_TRUE(device->BulkOutEndPt->XferData(band.data(), length));
    EXPECT_EQ(model->last_bulk(), band);
    EXPECT_EQ(device->DeviceCount(), 1);
}

TEST_F(LibusbTest, AStalledPipeIsClearedBeforeItsNextTransferOutsideTheCallbacks) {
    auto model = std::make_shared<RecordingModel>();
    auto printer = add_printer(PrinterSpec::usb2(), 1, {1}, model);
    auto device = open_device();
    printer->halt_endpoint(usb::sim::kBulkOutAddress);
    std::vector<std::uint8_t> band = pattern(4096);
    std::int32_t length = static_cast<std::int32_t>(band.size());
    EXPECT_FALSE(device->BulkOutEndPt->XferData(band.data(), length));
    EXPECT_EQ(device->BulkOutEndPt->UsbdStatus,
              static_cast<std::uint32_t>(usb::libusb::TransferStatus::Stall));
    EXPECT_EQ(model->bulk_bytes(), 0u);

    length = static_cast<std::int32_t>(band.size());
    EXPECT_TRUE(device->BulkOutEndPt->XferData(band.data(), length));
    EXPECT_EQ(model->last_bulk(), band);
    EXPECT_EQ(library_.halt_clears(), 1u);
    // The breach count of the tear-down shows the clear was not made from a callback.
}

// Two callers find the pipe stalled at once: the halt is cleared once, by the first, and the
// second sends on the pipe as it is then, without a second clear that would reset the pipe
// under the first one's transfer.
TEST_F(LibusbTest, AStalledPipeFoundByTwoCallersIsClearedOnce) {
    auto model = std::make_shared<RecordingModel>();
    auto printer = add_printer(PrinterSpec::usb2(), 1, {1}, model);
    auto first = open_device();
    auto second = open_device();
    printer->halt_endpoint(usb::sim::kBulkOutAddress);
    std::vector<std::uint8_t> band = pattern(4096);
    std::int32_t length = static_cast<std::int32_t>(band.size());
    EXPECT_FALSE(first->BulkOutEndPt->XferData(band.data(), length));

    library_.hold_clears(true);
    const auto send = [&band](CUsbDevice& device, bool& ok) {
        std::int32_t n = static_cast<std::int32_t>(band.size());
        ok = device.BulkOutEndPt->XferData(band.data(), n);
    };
    bool first_ok = false;
    bool second_ok = false;
    std::thread first_sender(send, std::ref(*first), std::ref(first_ok));
    ASSERT_TRUE(eventually([&] { return library_.clears_waiting() == 1; }));
    std::thread second_sender(send, std::ref(*second), std::ref(second_ok));
    // The second caller has found the pipe stalled and waits for the first one's clear.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    library_.hold_clears(false);
    first_sender.join();
    second_sender.join();
    EXPECT_TRUE(first_ok);
    EXPECT_TRUE(second_ok);
    EXPECT_EQ(library_.halt_clears(), 1u);
    EXPECT_EQ(model->bulk_bytes(), 2 * band.size());
}

struct RefusalCase {
    const char* name;
    bool busy;  // another program holds the printer; otherwise this user may not open it
    const char* told;
};

class LibusbRefusal : public LibusbTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(LibusbRefusal, APrinterThatCannotBeOpenedIsNotThereAndTheOperatorIsToldOnce) {
    auto printer = add_printer(PrinterSpec::usb2(), 1, {4});
    // Another program on the same bus, with the printer claimed.
    std::optional<LibusbDriver> other;
    std::unique_ptr<CUsbDevice> held;
    if (GetParam().busy) {
        other.emplace(library_, kIds);
        held = std::make_unique<CUsbDevice>(g_driver_interface_guid, true, &*other);
        ASSERT_TRUE(held->IsOpen());
    } else {
        printer->refuse_open(Result::Access);
    }
    auto device = open_device();
    EXPECT_FALSE(device->IsOpen());
    EXPECT_EQ(device->DeviceCount(), 0);
    EXPECT_FALSE(device->Open(0));
    EXPECT_EQ(device->DeviceCount(), 0);

    ASSERT_EQ(boxes_.count(), 1u);
    const std::string text = boxes_.texts()[0];
    EXPECT_NE(text.find("USB id 3a2c:0800 at usb:1-4, /dev/bus/usb/001/001"), std::string::npos)
        << text;
    EXPECT_NE(text.find(GetParam().told), std::string::npos) << text;

    // Once the cause is gone the printer is there.
    held.reset();
    other.reset();
    printer->refuse_open(Result::Ok);
    EXPECT_EQ(device->DeviceCount(), 1);
    EXPECT_TRUE(device->Open(0));
    EXPECT_EQ(boxes_.count(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Causes, LibusbRefusal,
    ::testing::Values(RefusalCase{"NoPermission", false, "sudo usermod -aG plugdev NAME"},
                      RefusalCase{"HeldByAnotherProgram", true, "another program is using it"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LibusbTest, WithoutAnIdNoDeviceIsThePrinterAndTheReasonIsToldOnce) {
    add_printer();
    testing::internal::CaptureStderr();
    {
        LibusbDriver driver(library_, std::nullopt);
        CUsbDevice device(g_driver_interface_guid, true, &driver);
        EXPECT_FALSE(device.IsOpen());
        EXPECT_EQ(device.DeviceCount(), 0);
        EXPECT_FALSE(device.Open(0));
        EXPECT_EQ(library_.open_handles(), 0u);
    }
    const std::string told = testing::internal::GetCapturedStderr();
    const std::string reason = "no printer id is set";
    ASSERT_NE(told.find(reason), std::string::npos) << told;
    EXPECT_EQ(told.find(reason), told.rfind(reason)) << told;
    EXPECT_EQ(boxes_.count(), 0u);
    EXPECT_NE(told.find("usb_id=vvvv:pppp"), std::string::npos) << told;
}

}  // namespace
