// Whole jobs through the real job printer over the real printer's driver, its libusb calls
// answered by the simulated firmware.
#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <sstream>

#include "engine/main_window_access.h"
#include "engine/pass_masks.h"
#include "platform/clock.h"
#include "print_job_fixture.h"
#include "printer/messages.h"
#include "printer/protocol_state.h"
#include "usb/driver/libusb/libusb_driver.h"
#include "usb/driver/sim/descriptor_tables.h"
#include "usb/driver/sim/sim_usb_library.h"

namespace {

using test_support::PrintJobTest;
using test_support::small_job;
using usb::sim::TransferKind;

std::string contents(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// What the printer received: the command frames and the bands, in order. The status answers
// are left out: how often a wait polls depends on the machine's pace, whichever the driver.
std::vector<std::string> received(const std::filesystem::path& capture) {
    std::ifstream in(capture / "events.jsonl");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (line.find(R"("kind":"status")") == std::string::npos) {
            lines.push_back(line);
        }
    }
    return lines;
}

class LibusbJobTest : public PrintJobTest {
  protected:
    void SetUp() override {
        PrintJobTest::SetUp();
        libusb_firmware_ = std::make_shared<usb::sim::Firmware>(
            std::make_unique<usb::sim::Recorder>(dir_ / "capture-libusb", false));
        device_ = library_.add_printer(usb::sim::PrinterSpec::usb2(), 1, {1}, libusb_firmware_);
        libusb_firmware_->attach(device_.get());
        driver_.emplace(library_, usb::libusb::PrinterIds{0x3A2C, 0x0800});
    }
    void TearDown() override {
        libusb_worker_.reset();
        driver_.reset();
        EXPECT_EQ(library_.transfers_in_flight(), 0u);
        EXPECT_EQ(library_.breaches(), 0u);
        PrintJobTest::TearDown();
    }

    // Every pass was printed, its band received whole once.
    void expect_one_band_per_pass() const {
        const usb::sim::Firmware::State state = libusb_firmware_->state();
        EXPECT_EQ(state.passes_done, state.passes_started);
        EXPECT_EQ(
            state.bulk_bytes,
            std::uint64_t{static_cast<std::uint32_t>(state.passes_started)} * g_column_count * 360);
    }

    // The worker is made, and opens the printer, at the first print.
    void print_first_row_over_libusb() {
        if (!libusb_worker_) {
            libusb_worker_ = std::make_unique<Monitoring_thread>(&*driver_);
        }
        const std::string path = window_.printing().item_text(0, PrintRow::job_path);
        ASSERT_TRUE(test_support::run_off_ui_thread([&] { libusb_worker_->PrintJob(path); }));
    }

    usb::sim::SimUsbLibrary library_;
    std::shared_ptr<usb::sim::Firmware> libusb_firmware_;
    std::shared_ptr<usb::sim::SimUsbLibrary::Device> device_;
    std::optional<usb::libusb::LibusbDriver> driver_;
    std::unique_ptr<Monitoring_thread> libusb_worker_;
};

TEST_F(LibusbJobTest, ASmallJobLeavesTheSameRecordAsOverTheSimulatedBus) {
    // The feathering masks go on from the last job's passes: each job here starts at the same
    // place.
    g_pass_counter = 0;
    g_mask_phase = 0;
    queue_job(small_job(300));
    print_first_row();
    ASSERT_EQ(window_.printing().item_count(), 0);

    g_pass_counter = 0;
    g_mask_phase = 0;
    queue_job(small_job(300));
    print_first_row_over_libusb();
    EXPECT_EQ(boxes_.count(), 0u);
    EXPECT_EQ(window_.printing().item_count(), 0);
    EXPECT_EQ(window_.jobs().item_count(), 0);
    EXPECT_EQ(g_printer_idle, 1);
    EXPECT_EQ(g_stop_printing, 0);

    const std::vector<std::string> over_bus = received(dir_ / "capture");
    ASSERT_GT(over_bus.size(), 20u);
    EXPECT_EQ(received(dir_ / "capture-libusb"), over_bus);
    EXPECT_EQ(contents(dir_ / "capture-libusb" / "sheet-000.json"),
              contents(dir_ / "capture" / "sheet-000.json"));
    EXPECT_TRUE(contents(dir_ / "capture-libusb" / "sheet-000.png") ==
                contents(dir_ / "capture" / "sheet-000.png"));
}

TEST_F(LibusbJobTest, AnUnplugInABandIsResentAfterTheReplugAndTheJobCompletes) {
    queue_job(small_job(600));
    libusb_firmware_->lose_connection_at_piece(3, 300);
    for (int i = 0; i < 20; ++i) {
        boxes_.queue_answer(platform::ui::Answer::Retry);
    }
    print_first_row_over_libusb();
    EXPECT_EQ(window_.printing().item_count(), 0);
    EXPECT_EQ(window_.jobs().item_count(), 0);
    EXPECT_EQ(g_stop_printing, 0);
    expect_one_band_per_pass();
}

TEST_F(LibusbJobTest, ABandPieceThatNeverEndsAndCannotBeCancelledEndsTheJobWithTheBandFailure) {
    queue_job(small_job(300));
    library_.hold_next(TransferKind::BulkOut, 1000);
    library_.refuse_cancels(true);
    const std::uint32_t start = platform::tick_count();
    print_first_row_over_libusb();
    // Five attempts of one piece each, every one failed as soon as its wait and the wait for
    // its abort ran out (6.5 s each), never at the transfer's own libusb time-out (30 s each).
    // The bound lies between the two: at the tests' time scale a loaded machine stretches the
    // program time of the attempts' own work well past the waits alone.
    ASSERT_EQ(boxes_.count(), 1u);
    EXPECT_EQ(boxes_.texts()[0], printer::kBandFailureText);
    EXPECT_LT(boxes_.shown_at()[0] - start, 5 * usb::libusb::LibusbDriver::kTransferBackstopMs);
    EXPECT_EQ(g_stop_printing, 1);
    EXPECT_EQ(g_printer_idle, 1);
    EXPECT_EQ(libusb_firmware_->state().bulk_bytes, 0u);
    // The refused transfers end at their libusb time-out; the tear-down waits for them.
}

TEST_F(LibusbJobTest, AStalledBandIsSentAgainAndTheJobCompletes) {
    queue_job(small_job(300));
    device_->halt_endpoint(usb::sim::kBulkOutAddress);
    print_first_row_over_libusb();
    EXPECT_EQ(boxes_.count(), 0u);
    EXPECT_EQ(window_.printing().item_count(), 0);
    EXPECT_EQ(g_stop_printing, 0);
    EXPECT_EQ(library_.halt_clears(), 1u);
    expect_one_band_per_pass();
}

TEST_F(LibusbJobTest, APrinterThatCannotBeOpenedIsNotConnectedAndTheOperatorIsToldOnce) {
    queue_job(small_job(300));
    device_->refuse_open(usb::libusb::Result::Access);
    print_first_row_over_libusb();
    print_first_row_over_libusb();
    EXPECT_EQ(printing_cell(PrintRow::state), JobState::connect_failed);
    ASSERT_FALSE(window_.bitmaps().empty());
    EXPECT_EQ(window_.bitmaps().back(), engine::IDB_PRINTER_NOT_CONNECTED);
    ASSERT_EQ(boxes_.count(), 1u);
    EXPECT_NE(boxes_.texts()[0].find("cannot open it"), std::string::npos);
    EXPECT_EQ(libusb_firmware_->state().passes_started, 0);

    // With the rights in place the same worker finds the printer and prints the job.
    device_->refuse_open(usb::libusb::Result::Ok);
    print_first_row_over_libusb();
    EXPECT_EQ(window_.printing().item_count(), 0);
    EXPECT_EQ(window_.bitmaps().back(), engine::IDB_PRINTER_CONNECTED);
    EXPECT_EQ(boxes_.count(), 1u);
}

}  // namespace
