// The protocol against the simulated printer's firmware, as a job drives it.
#include <gtest/gtest.h>

#include <fstream>

#include "printer/commands.h"
#include "printer/messages.h"
#include "printer/printer_protocol.h"
#include "printer/protocol_state.h"
#include "protocol_fixture.h"
#include "usb/driver/sim/firmware.h"
#include "usb/driver/sim/sha256.h"

namespace {

class FirmwareJob : public ProtocolTest {
  protected:
    void SetUp() override {
        ProtocolTest::SetUp();
        firmware_ = std::make_shared<usb::sim::Firmware>(
            std::make_unique<usb::sim::Recorder>(dir_ / "capture", false));
        firmware_->attach(printer_.get());
        printer_->set_model(firmware_);
        band_.resize(std::size_t{g_column_count} * 360);
        for (std::size_t i = 0; i < band_.size(); ++i) {
            band_[i] = static_cast<std::uint8_t>(i * 31 + 7);
        }
        protocol_->set_band_buffer(band_.data());
    }

    std::vector<std::string> events() const {
        std::ifstream in(dir_ / "capture" / "events.jsonl");
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }

    std::string band_event(std::span<const std::uint8_t> bytes) const {
        usb::sim::Sha256 sha;
        sha.update(bytes);
        return R"({"kind":"band","bytes":)" + std::to_string(bytes.size()) + R"(,"sha256":")" +
               sha.hex_digest() + R"("})";
    }

    std::shared_ptr<usb::sim::Firmware> firmware_;
    std::vector<std::uint8_t> band_;
};

TEST_F(FirmwareJob, AShortJobRunsWithoutABox) {
    g_direction = 1;
    protocol_->CheckPrinterReady();
    protocol_->WaitPrinterIdle();
    protocol_->WaitCommandAckOrAbort();
    protocol_->SendColumnCount();
    protocol_->SendDirection();
    protocol_->SendStartReady();
    for (int pass = 0; pass < 3; ++pass) {
        if (pass > 0) {
            protocol_->WaitPassDone();
        }
        protocol_->SendPassCommand();
        protocol_->SendBandData();
    }
    protocol_->WaitPassDone();
    protocol_->SendEndOfPrint();

    EXPECT_EQ(g_stop_printing, 0);
    EXPECT_TRUE(boxes_.boxes().empty());
    EXPECT_EQ(firmware_->state().passes_done, 3);
    EXPECT_EQ(firmware_->state().bulk_bytes, 3 * band_.size());
    const auto lines = events();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), band_event(band_)), 3);
    EXPECT_EQ(lines.back(), R"({"kind":"command","frame":"ffaa"})");
    // Forward, backward, forward.
    EXPECT_EQ(std::count(lines.begin(), lines.end(), R"({"kind":"command","frame":"ff02"})"), 2);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), R"({"kind":"command","frame":"ff03"})"), 1);
}

TEST_F(FirmwareJob, AStopAtTheThirdPassOnlySetsTheStopFlag) {
    firmware_->answer_at(CMD_PASS_UNI, 3, STATUS_ABORTED);
    for (int pass = 0; pass < 3 && g_stop_printing == 0; ++pass) {
        if (pass > 0) {
            protocol_->WaitPassDone();
        }
        protocol_->SendPassCommand();
    }
    EXPECT_EQ(g_stop_printing, 1);
    EXPECT_EQ(g_pass_done, 0);
    EXPECT_EQ(g_printer_idle, 0);
    EXPECT_TRUE(g_prn_file.is_open());
    EXPECT_EQ(firmware_->state().passes_started, 2);
}

TEST_F(FirmwareJob, ABandCutByALostConnectionIsSentAgainWhole) {
    g_column_count = 6000;  // two pieces
    band_.resize(std::size_t{g_column_count} * 360);
    protocol_->set_band_buffer(band_.data());
    // The cable stays out until the operator has plugged it in again and answered Retry, so
    // that the box is asked for whatever the machine's load.
    firmware_->lose_connection_at_piece(2, 600'000);
    int asked = 0;
    const auto previous = platform::ui::set_message_box_responder([&](const auto&) {
        ++asked;
        printer_->replug();
        return platform::ui::Answer::Retry;
    });
    protocol_->SendPassCommand();
    protocol_->SendBandData();
    platform::ui::set_message_box_responder(previous);
    protocol_->SendEndOfPrint();  // the next command closes the band

    EXPECT_EQ(g_stop_printing, 0);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(g_pass_sent, 0);
    const auto lines = events();
    const std::span<const std::uint8_t> first_piece(band_.data(), PrinterProtocol::kPieceBytes);
    const auto first = std::find(lines.begin(), lines.end(), band_event(first_piece));
    const auto whole = std::find(lines.begin(), lines.end(), band_event(band_));
    ASSERT_NE(first, lines.end());
    ASSERT_NE(whole, lines.end());
    EXPECT_LT(first, whole);
    // Between them the recovery asked for the printer's acknowledgement.
    EXPECT_NE(std::find(first, whole, R"({"kind":"command","frame":"ff05"})"), whole);
}

TEST_F(FirmwareJob, APassThatNeverEndsLeadsToTheReconnect) {
    firmware_->never_finish_pass(1);
    g_pass_timeout_ms = 2000;
    protocol_->SendPassCommand();
    protocol_->WaitPassDone();
    EXPECT_EQ(g_stop_printing, 0);  // the resync query was answered
    const auto lines = events();
    EXPECT_NE(std::find(lines.begin(), lines.end(), R"({"kind":"command","frame":"ff87"})"),
              lines.end());
    EXPECT_TRUE(boxes_.boxes().empty());
}

TEST_F(FirmwareJob, ASilentPrinterEndsTheIdleWaitWithTheFailureBox) {
    platform::set_time_scale(200);
    firmware_->set_silent(true);
    protocol_->device().ControlEndPt->TimeOut = 100;
    protocol_->WaitPrinterIdle();
    EXPECT_EQ(g_stop_printing, 1);
    ASSERT_EQ(boxes_.count(), 1u);
    EXPECT_EQ(boxes_.boxes()[0].text, std::string(printer::kWaitFailureText));
}

}  // namespace
