#include "printer/printer_protocol.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <thread>

#include "printer/messages.h"
#include "protocol_fixture.h"

namespace {

using platform::ui::Answer;
using platform::ui::Buttons;
using platform::ui::Icon;

using Commands = ProtocolTest;

TEST_F(Commands, FramesCarryTheirArgumentsLittleEndian) {
    g_column_count = 0x01020304;
    g_ink_mode = 7;
    g_direction = 1;
    g_rotary_mode = 1;
    g_not_2vanish = 1;
    g_y_position = 0x00ABCDEF;
    model_->set_status(STATUS_READY);
    const struct {
        const char* name;
        std::function<void(PrinterProtocol&)> send;
        std::vector<Frame> frames;
    } cases[] = {
        {"column count", &PrinterProtocol::SendColumnCount, {{0xFF, 0x01, 0x04, 0x03, 0x02, 0x01}}},
        {"ink mode", &PrinterProtocol::SendInkMode, {{0xFF, 0x60, 7}}},
        {"emboss", [](PrinterProtocol& p) { p.SendEmbossPasses(3); }, {{0xFF, 0x71, 3}}},
        {"uv", [](PrinterProtocol& p) { p.SendUvSetting(2); }, {{0xFF, 0x78, 2}}},
        {"not varnish only", &PrinterProtocol::SendNotVarnishOnly, {{0xFF, 0x80, 1}}},
        {"direction", &PrinterProtocol::SendDirection, {{0xFF, 0x88, 1}, {0xFF, 0x89}}},
        {"rotary", &PrinterProtocol::SendRotaryMode, {{0xFF, 0xA0, 1}, {0xFF, 0xA1}}},
        {"y position",
         &PrinterProtocol::SendYPosition,
         {{0xFF, 0x62, 0xEF, 0xCD, 0xAB, 0x00}, {0xFF, 0x90}}},
        {"skip feed", &PrinterProtocol::SendSkipFeed, {{0xFF, 0x73}}},
        {"end of print", &PrinterProtocol::SendEndOfPrint, {{0xFF, 0xAA}}},
    };
    std::size_t seen = 0;
    for (const auto& c : cases) {
        const std::size_t reads = model_->status_reads();
        c.send(*protocol_);
        const auto all = frames();
        ASSERT_EQ(all.size(), seen + c.frames.size()) << c.name;
        EXPECT_EQ(std::vector<Frame>(all.begin() + static_cast<long>(seen), all.end()), c.frames)
            << c.name;
        seen = all.size();
        const bool reads_once =
            c.frames[0][1] != CMD_SKIP_FEED && c.frames[0][1] != CMD_END_OF_PRINT;
        EXPECT_EQ(model_->status_reads() - reads, reads_once ? 1u : 0u) << c.name;
    }
    EXPECT_EQ(g_command_length, 2);  // the bytes the last send transferred
    EXPECT_EQ(g_stop_printing, 0);
    EXPECT_TRUE(boxes_.boxes().empty());
}

TEST_F(Commands, AFailedStatusReadLeavesThePreviousByte) {
    model_->queue_status(STATUS_PASS_ACCEPTED);
    EXPECT_EQ(protocol_->ReadStatus(), STATUS_PASS_ACCEPTED);
    printer_->unplug();
    EXPECT_EQ(protocol_->ReadStatus(), STATUS_PASS_ACCEPTED);
    EXPECT_EQ(protocol_->SendCommand(), 0);
}

TEST_F(Commands, DrainReadsThreeTimesAndClearsTheByte) {
    model_->set_status(STATUS_PASS_DONE);
    protocol_->DrainStatus();
    EXPECT_EQ(model_->status_reads(), 3u);
    EXPECT_EQ(g_status_byte, 0);
}

TEST_F(Commands, ACommandThatDoesNotCompleteIsAbortedBeforeItsRecordGoes) {
    printer_->hold_next(usb::sim::TransferKind::ClassOut);
    g_command_buffer[0] = 0xFF;
    g_command_buffer[1] = CMD_IDLE_HEARTBEAT;
    g_command_length = 2;
    EXPECT_EQ(protocol_->SendCommand(), 0);
    EXPECT_EQ(bus_.pending_transfers(), 0u);
    EXPECT_TRUE(frames().empty());
    EXPECT_EQ(protocol_->SendCommand(), 1);
    EXPECT_EQ(frames().size(), 1u);
}

// Which waits end in the abort tail (file closed, printer idle, 5 s, stop) when the printer
// reports it stopped, and which only set the stop flag.
TEST_F(Commands, APrinterThatStoppedEndsEveryWait) {
    model_->set_status(STATUS_ABORTED);
    std::uint8_t band[3600] = {};
    protocol_->set_band_buffer(band);
    const struct {
        const char* name;
        std::function<void(PrinterProtocol&)> wait;
        bool tail;
    } cases[] = {
        {"one read", &PrinterProtocol::SendInkMode, true},
        {"y position", &PrinterProtocol::SendYPosition, true},
        {"ready check", &PrinterProtocol::CheckPrinterReady, true},
        {"idle", &PrinterProtocol::WaitPrinterIdle, true},
        {"acknowledge", &PrinterProtocol::WaitCommandAckOrAbort, true},
        {"acknowledge retry", &PrinterProtocol::WaitCommandAckRetry, true},
        {"start", &PrinterProtocol::SendStartReady, true},
        {"skip feed", &PrinterProtocol::SendSkipFeedWait, true},
        {"band", &PrinterProtocol::SendBandData, false},
        {"pass", &PrinterProtocol::SendPassCommand, false},
        {"pass done", &PrinterProtocol::WaitPassDone, false},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(g_prn_file.open(dir_ / "job.prn"));
        g_stop_printing = 0;
        ASSERT_TRUE(protocol_->printer_claim().take());
        g_pass_done = 0;
        const std::uint32_t start = platform::tick_count();
        c.wait(*protocol_);
        EXPECT_EQ(g_stop_printing, 1) << c.name;
        EXPECT_EQ(g_printer_idle, c.tail ? 1 : 0) << c.name;
        EXPECT_EQ(g_prn_file.is_open(), !c.tail) << c.name;
        if (c.tail) {
            EXPECT_GE(platform::tick_count() - start, 5000u) << c.name;
        }
    }
    EXPECT_EQ(model_->bulk_bytes(), 0u);
    EXPECT_TRUE(boxes_.boxes().empty());
}

// A wait of a job that has given the printer back already (its abort tail came before) and
// that meets the stop or gives up leaves the printer to whoever took it since: the stop flag,
// which that owner cleared for its own work, stays clear, and no stop command, box or second
// pause follows.
TEST_F(Commands, AWaitAfterItsJobGaveThePrinterBackLeavesTheNewOwnerAlone) {
    // Slow enough that a busy machine cannot make the wait's own time look like the pause.
    platform::set_time_scale(5);
    const struct {
        const char* name;
        std::uint8_t status;
        void (PrinterProtocol::*wait)();
    } cases[] = {
        {"the stop", STATUS_ABORTED, &PrinterProtocol::SendStartReady},
        {"a give-up", 'x', &PrinterProtocol::WaitCommandAckOrAbort},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        protocol_->printer_claim().give_back();
        PrinterClaim maintenance;
        ASSERT_TRUE(maintenance.take());
        g_stop_printing = 0;
        model_->set_status(c.status);
        const std::size_t frames_before = frames().size();
        const std::uint32_t start = platform::tick_count();
        (protocol_.get()->*c.wait)();
        EXPECT_LT(platform::tick_count() - start, 5000u);
        EXPECT_EQ(static_cast<int>(g_stop_printing), 0);
        EXPECT_TRUE(maintenance.owns());
        const std::vector<std::uint8_t> sent = codes();
        EXPECT_EQ(std::count(sent.begin() + static_cast<long>(frames_before), sent.end(), CMD_STOP),
                  0);
        EXPECT_FALSE(g_prn_file.is_open());
        EXPECT_TRUE(boxes_.boxes().empty());
        maintenance.give_back();
        ASSERT_TRUE(protocol_->printer_claim().take());
        ASSERT_TRUE(g_prn_file.open(dir_ / "job.prn"));
    }
}

TEST_F(Commands, ATableOrMediaNotReadyStopsWithoutABoxOrAPause) {
    model_->set_status('x');
    // A slower clock, so that a busy machine cannot make the check's own time look like the
    // stop's 5 s pause.
    platform::set_time_scale(5);
    const std::uint32_t start = platform::tick_count();
    protocol_->CheckPrinterReady();
    EXPECT_LT(platform::tick_count() - start, 5000u);
    EXPECT_EQ(g_stop_printing, 1);
    EXPECT_EQ(g_printer_idle, 1);
    EXPECT_FALSE(g_prn_file.is_open());
    EXPECT_TRUE(boxes_.boxes().empty());

    g_stop_printing = 0;
    model_->set_status(STATUS_CHECK_READY_OK);
    protocol_->CheckPrinterReady();
    EXPECT_EQ(g_stop_printing, 0);
}

// The idle and start waits give up at their bound as the printer never answers: the file
// closed, the printer idle, the stop flag, the stop command and the wait failure box.
TEST_F(Commands, TheIdleAndStartWaitsGiveUpWithTheStopCommandAndTheBox) {
    model_->set_status('x');
    const struct {
        const char* name;
        void (PrinterProtocol::*wait)();
        std::uint8_t command;
        std::size_t reads;
    } cases[] = {
        // A read after the command, then one per poll: 150 polls of 300 ms.
        {"idle", &PrinterProtocol::WaitPrinterIdle, CMD_WAIT_IDLE, 151},
        // A read after the command, then two per round: 40 rounds of 100 ms, and the first
        // read of the 41st.
        {"start", &PrinterProtocol::SendStartReady, CMD_START_READY, 82},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(g_prn_file.open(dir_ / "job.prn"));
        g_stop_printing = 0;
        ASSERT_TRUE(protocol_->printer_claim().take());
        const std::size_t frames_before = frames().size();
        const std::size_t reads_before = model_->status_reads();
        const std::size_t boxes_before = boxes_.count();
        (protocol_.get()->*c.wait)();
        const std::vector<std::uint8_t> sent = codes();
        EXPECT_EQ(
            std::vector<std::uint8_t>(sent.begin() + static_cast<long>(frames_before), sent.end()),
            (std::vector<std::uint8_t>{c.command, CMD_STOP}));
        EXPECT_EQ(model_->status_reads() - reads_before, c.reads);
        EXPECT_EQ(g_stop_printing, 1);
        EXPECT_EQ(g_printer_idle, 1);
        EXPECT_FALSE(g_prn_file.is_open());
        ASSERT_EQ(boxes_.count(), boxes_before + 1);
        const platform::ui::MessageBoxRecord box = boxes_.boxes().back();
        EXPECT_EQ(box.text, printer::kWaitFailureText);
        EXPECT_EQ(box.buttons, Buttons::Ok);
        EXPECT_EQ(box.icon, Icon::None);
    }
}

using Acknowledge = ProtocolTest;

TEST_F(Acknowledge, GivesUpAfterFourSendsAndSevenReads) {
    model_->set_status('x');
    protocol_->WaitCommandAckOrAbort();
    EXPECT_EQ(codes(), (std::vector<std::uint8_t>{CMD_ACK_REQUEST, CMD_ACK_REQUEST, CMD_ACK_REQUEST,
                                                  CMD_ACK_REQUEST, CMD_STOP}));
    EXPECT_EQ(model_->status_reads(), 7u);
    EXPECT_EQ(g_stop_printing, 1);
    EXPECT_EQ(g_printer_idle, 1);
    EXPECT_FALSE(g_prn_file.is_open());
    ASSERT_EQ(boxes_.count(), 1u);
    EXPECT_EQ(boxes_.boxes()[0].text, printer::kAckFailureText);
    EXPECT_EQ(boxes_.boxes()[0].buttons, Buttons::Ok);
    EXPECT_EQ(boxes_.boxes()[0].icon, Icon::None);
}

TEST_F(Acknowledge, TheRetryFormAsksAndCancelStops) {
    model_->set_status('x');
    boxes_.queue_answer(Answer::Retry);
    protocol_->WaitCommandAckRetry();
    EXPECT_EQ(g_stop_printing, 0);
    boxes_.queue_answer(Answer::Cancel);
    protocol_->WaitCommandAckRetry();
    EXPECT_EQ(g_stop_printing, 1);
    EXPECT_TRUE(g_prn_file.is_open());
    EXPECT_EQ(g_printer_idle, 0);
    const auto all = codes();
    EXPECT_EQ(std::count(all.begin(), all.end(), CMD_STOP), 0);
    ASSERT_EQ(boxes_.count(), 2u);
    EXPECT_EQ(boxes_.boxes()[1].text, printer::kAckRetryText);
    EXPECT_EQ(boxes_.boxes()[1].buttons, Buttons::RetryCancel);
    EXPECT_EQ(boxes_.boxes()[1].icon, Icon::Stop);
}

TEST_F(Acknowledge, APassDoneOnTheWayIsNotedAndReadPast) {
    model_->queue_status('x');
    model_->queue_status(STATUS_PASS_DONE);
    model_->queue_status(STATUS_READY);
    protocol_->WaitCommandAckRetry();
    EXPECT_EQ(g_pass_done, 1);
    EXPECT_EQ(model_->status_reads(), 3u);
    EXPECT_TRUE(boxes_.boxes().empty());
}

using Passes = ProtocolTest;

TEST_F(Passes, BidirectionalPassesAlternateFromForwardAndAResendKeepsTheDirection) {
    g_direction = 1;
    model_->set_status(STATUS_PASS_ACCEPTED);
    protocol_->SendPassCommand();
    protocol_->SendPassCommand();
    model_->queue_status('x');  // the third is answered wrongly once and sent again
    protocol_->SendPassCommand();
    EXPECT_EQ(codes(), (std::vector<std::uint8_t>{CMD_PASS_FORWARD, CMD_PASS_BACKWARD,
                                                  CMD_PASS_FORWARD, CMD_PASS_FORWARD}));
    EXPECT_EQ(g_first_pass_seen, 1);
    EXPECT_TRUE(boxes_.boxes().empty());

    g_direction = 0;
    protocol_->SendPassCommand();
    EXPECT_EQ(codes().back(), CMD_PASS_UNI);
}

TEST_F(Passes, ThreeResendsWithoutAcceptanceEndWithTheFailureBox) {
    model_->set_status('x');
    protocol_->SendPassCommand();
    EXPECT_EQ(codes(), std::vector<std::uint8_t>(4, CMD_PASS_UNI));
    EXPECT_EQ(g_stop_printing, 1);
    EXPECT_EQ(g_pass_done, 0);
    ASSERT_EQ(boxes_.count(), 1u);  // none while the reopening succeeds
    EXPECT_EQ(boxes_.boxes()[0].text, printer::kPassFailureText);
    EXPECT_EQ(g_first_pass_seen, 0);
}

TEST_F(Passes, CancelInTheRetryBoxEndsAtOnce) {
    model_->set_status('x');
    printer_->unplug();
    boxes_.queue_answer(Answer::Retry);
    boxes_.queue_answer(Answer::Cancel);
    protocol_->SendPassCommand();
    EXPECT_EQ(g_stop_printing, 1);
    ASSERT_EQ(boxes_.count(), 2u);
    EXPECT_EQ(boxes_.boxes()[0].text, printer::kPassRetryText);
    EXPECT_EQ(boxes_.boxes()[0].icon, Icon::Stop);
}

TEST_F(Passes, TheFirstPassCalibratesThePassDoneTimeOut) {
    // The measured pass is the time since the first acceptance, which the wait's own read
    // lengthens by however long this thread takes to run: the result is judged against every
    // measure the ticks around the wait allow.
    const auto calibrated = [](std::uint8_t direction, std::uint32_t measured) {
        const std::uint32_t lower = direction != 0 ? 616 : 1232;
        const std::uint32_t upper = direction != 0 ? 4280 : 8600;
        return measured > upper || measured < lower ? upper : measured;
    };
    const struct {
        std::uint8_t direction;
        std::uint32_t first_pass_ms;
        std::uint32_t timeout_ms;  // with no time lost around the wait
    } cases[] = {
        {1, 500, 4280},   // below the lower limit: the upper one
        {1, 2500, 2500},  // inside: as measured
        {1, 5000, 4280}, {0, 9000, 8600}, {0, 2000, 2000},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(calibrated(c.direction, c.first_pass_ms), c.timeout_ms);
        g_direction = c.direction;
        g_pass_timing_calibrated = 0;
        g_pass_timeout_ms = kInitialPassTimeoutMs;
        const std::uint32_t accepted = platform::tick_count() - c.first_pass_ms;
        g_first_pass_tick = accepted;
        model_->queue_status(STATUS_PASS_DONE);
        protocol_->WaitPassDone();
        const std::uint32_t longest = platform::tick_count() - accepted;
        bool allowed = false;
        for (std::uint32_t measured = c.first_pass_ms; measured <= longest && !allowed;
             ++measured) {
            allowed = g_pass_timeout_ms == calibrated(c.direction, measured);
        }
        EXPECT_TRUE(allowed) << c.first_pass_ms << " ms gave " << g_pass_timeout_ms;
        EXPECT_EQ(g_pass_timing_calibrated, 1);
        EXPECT_EQ(g_pass_done, 0);
    }
    // Calibrated once: a later pass leaves it.
    const std::uint32_t timeout = g_pass_timeout_ms;
    g_first_pass_tick = platform::tick_count() - 3000;
    model_->queue_status(STATUS_PASS_DONE);
    protocol_->WaitPassDone();
    EXPECT_EQ(g_pass_timeout_ms, timeout);
}

TEST_F(Passes, AResyncThatNeverConfirmsIsBounded) {
    model_->set_status('x');
    g_pass_timeout_ms = 100;
    protocol_->WaitPassDone();
    const auto all = codes();
    EXPECT_EQ(std::count(all.begin(), all.end(), CMD_RESYNC_QUERY),
              PrinterProtocol::kMaxResyncQueries);
    EXPECT_EQ(all.back(), CMD_STOP);
    EXPECT_EQ(g_stop_printing, 1);
    ASSERT_EQ(boxes_.count(), 1u);
    EXPECT_EQ(boxes_.boxes()[0].text, printer::kWaitFailureText);
}

TEST_F(Passes, AResyncAfterAReconnectEndsTheWaitWithoutCalibration) {
    model_->set_status('x');
    g_pass_timeout_ms = 100;
    printer_->unplug();
    boxes_.queue_answer(Answer::Retry);
    std::thread replug([this] {
        while (boxes_.count() == 0) {
            platform::sleep_ms(10);
        }
        model_->set_status(STATUS_RESYNC_OK);
        printer_->replug();
    });
    protocol_->WaitPassDone();
    replug.join();
    EXPECT_EQ(g_stop_printing, 0);
    EXPECT_EQ(g_pass_timing_calibrated, 0);
    EXPECT_EQ(codes().back(), CMD_RESYNC_QUERY);
    EXPECT_EQ(boxes_.boxes()[0].text, printer::kResyncRetryText);

    // Cancel marks the reconnect as cancelled.
    model_->set_status('x');
    printer_->unplug();
    boxes_.queue_answer(Answer::Cancel);
    protocol_->WaitPassDone();
    EXPECT_EQ(g_stop_printing, 1);
    EXPECT_EQ(g_reconnect_cancelled, 1);
}

TEST_F(Passes, ASkipFeedThatNeverEndsIsBounded) {
    platform::set_time_scale(100);
    model_->set_status('x');
    protocol_->SendSkipFeedWait();
    EXPECT_EQ(codes().back(), CMD_STOP);
    EXPECT_EQ(g_stop_printing, 1);
    EXPECT_EQ(g_pass_sent, 1);
    ASSERT_EQ(boxes_.count(), 1u);
    EXPECT_EQ(boxes_.boxes()[0].text, printer::kWaitFailureText);

    model_->set_status(STATUS_SKIP_FEED_DONE);
    protocol_->SendSkipFeedWait();
    EXPECT_EQ(g_pass_sent, 0);
}

using Bands = ProtocolTest;

TEST_F(Bands, APieceOfAtMostTwoMebibytesIsOneTransfer) {
    std::vector<std::uint8_t> band(PrinterProtocol::kPieceBytes + 1, 0x5A);
    const struct {
        std::uint32_t bytes;
        std::size_t transfers;
    } cases[] = {{PrinterProtocol::kPieceBytes, 1}, {PrinterProtocol::kPieceBytes + 1, 2}, {1, 1}};
    for (const auto& c : cases) {
        bus_.clear_transfer_log();
        EXPECT_EQ(protocol_->BulkOutSend(band.data(), c.bytes), 1);
        const auto log = bus_.transfer_log();
        EXPECT_EQ(log.size(), c.transfers) << c.bytes;
        EXPECT_EQ(log.back().out_length,
                  c.bytes - (c.transfers - 1) * PrinterProtocol::kPieceBytes);
    }
}

TEST_F(Bands, ABandInterruptedIsSentAgainWholeAfterTheReconnect) {
    g_column_count = 6000;  // 2,160,000 bytes: two pieces
    std::vector<std::uint8_t> band(g_column_count * 360);
    for (std::size_t i = 0; i < band.size(); ++i) {
        band[i] = static_cast<std::uint8_t>(i * 13);
    }
    protocol_->set_band_buffer(band.data());
    // The second piece never completes; the recovery then finds the pass done during its
    // acknowledge wait.
    struct HoldSecond : usb::sim::RecordingModel {
        usb::sim::Printer* printer = nullptr;
        int pieces = 0;
        void bulk_out(std::uint8_t ep, std::span<const std::uint8_t> data) override {
            if (++pieces == 1) {
                printer->hold_next(usb::sim::TransferKind::BulkOut);
            }
            RecordingModel::bulk_out(ep, data);
        }
    };
    auto model = std::make_shared<HoldSecond>();
    model->printer = printer_.get();
    model->set_status(STATUS_READY);
    model->queue_status(STATUS_PASS_ACCEPTED);  // before the band
    model->queue_status(STATUS_PASS_ACCEPTED);  // after the reopening
    model->queue_status(STATUS_PASS_DONE);      // during the acknowledge wait
    printer_->set_model(model);

    protocol_->SendBandData();
    EXPECT_EQ(g_stop_printing, 0);
    EXPECT_EQ(g_pass_sent, 0);
    EXPECT_EQ(g_pass_done, 1);
    EXPECT_EQ(model->pieces, 3);
    EXPECT_EQ(model->bulk_bytes(), PrinterProtocol::kPieceBytes + band.size());
    EXPECT_TRUE(boxes_.boxes().empty());

    // The pass-done wait that follows ends at once.
    const std::size_t reads = model->status_reads();
    protocol_->WaitPassDone();
    EXPECT_EQ(model->status_reads(), reads);
    EXPECT_EQ(g_pass_done, 0);
}

TEST_F(Bands, WhileThePrinterCannotBeReopenedTheOperatorIsAsked) {
    std::uint8_t band[3600] = {};
    protocol_->set_band_buffer(band);
    printer_->unplug();
    boxes_.queue_answer(Answer::Retry);
    boxes_.queue_answer(Answer::Cancel);
    protocol_->SendBandData();
    EXPECT_EQ(g_stop_printing, 1);
    ASSERT_EQ(boxes_.count(), 2u);
    EXPECT_EQ(boxes_.boxes()[1].text, printer::kBandRetryText);
}

TEST_F(Bands, FiveFailedAttemptsEndWithTheFailureBox) {
    std::uint8_t band[3600] = {};
    protocol_->set_band_buffer(band);
    model_->set_status(STATUS_READY);
    printer_->hold_next(usb::sim::TransferKind::BulkOut, 5);
    protocol_->SendBandData();
    EXPECT_EQ(g_stop_printing, 1);
    ASSERT_EQ(boxes_.count(), 1u);
    EXPECT_EQ(boxes_.boxes()[0].text, printer::kBandFailureText);
    EXPECT_EQ(model_->bulk_bytes(), 0u);
}

class MaintenanceSide : public ProtocolTest {
  protected:
    ProtocolSide side() const override { return ProtocolSide::Maintenance; }
};

TEST_F(MaintenanceSide, AStoppedPrinterMarksTheNozzlePrintWithoutTheTail) {
    model_->set_status(STATUS_ABORTED);
    for (auto wait : {&PrinterProtocol::WaitPrinterIdle, &PrinterProtocol::WaitCommandAckOrAbort,
                      &PrinterProtocol::SendYPosition, &PrinterProtocol::SendPassCommand,
                      &PrinterProtocol::SendColumnCount, &PrinterProtocol::SendInkMode}) {
        g_stop_printing = 0;
        g_nozzle_print_error = 0;
        (protocol_.get()->*wait)();
        EXPECT_EQ(g_stop_printing, 1);
        EXPECT_EQ(g_nozzle_print_error, 1);
        EXPECT_EQ(g_printer_idle, 0);
        EXPECT_TRUE(g_prn_file.is_open());
    }
    g_stop_printing = 0;
    g_nozzle_print_error = 0;
    protocol_->SendPassCount(4);
    EXPECT_EQ(frames().back(), (Frame{0xFF, CMD_PASS_COUNT, 4}));
    EXPECT_EQ(g_nozzle_print_error, 1);
    EXPECT_EQ(g_printer_idle, 0);
    g_stop_printing = 0;
    protocol_->SendEndOfPrint();  // stopped while waiting for the last pass: no end command
    EXPECT_FALSE(protocol_->pass_confirmed());
    EXPECT_EQ(g_stop_printing, 1);
    const auto all = codes();
    EXPECT_EQ(std::count(all.begin(), all.end(), CMD_END_OF_PRINT), 0);
}

TEST_F(MaintenanceSide, ABandRecoveryAsksWithItsOwnBoxAndLeavesThePassFlags) {
    std::uint8_t band[3600] = {};
    protocol_->set_band_buffer(band);
    model_->set_status(STATUS_READY);
    model_->queue_status(STATUS_READY);      // before the band
    model_->queue_status(STATUS_PASS_DONE);  // after the reopening
    printer_->unplug();
    std::vector<platform::ui::MessageBoxRecord> asked;
    const auto previous =
        platform::ui::set_message_box_responder([&](const platform::ui::MessageBoxRecord& box) {
            asked.push_back(box);
            printer_->replug();
            return Answer::Retry;
        });
    protocol_->SendBandData();
    platform::ui::set_message_box_responder(previous);
    EXPECT_EQ(g_stop_printing, 0);
    EXPECT_EQ(g_pass_sent, 1);
    EXPECT_EQ(g_pass_done, 0);
    EXPECT_EQ(model_->bulk_bytes(), sizeof band);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].text, printer::kMaintenanceBandRetryText);
    EXPECT_EQ(asked[0].buttons, Buttons::RetryCancel);
    EXPECT_EQ(asked[0].icon, Icon::Stop);
    EXPECT_EQ(codes(), std::vector<std::uint8_t>{CMD_ACK_REQUEST});
}

TEST_F(MaintenanceSide, PassesAreUnidirectionalAndUntimed) {
    g_direction = 1;
    model_->set_status(STATUS_PASS_ACCEPTED);
    protocol_->SendPassCommand();
    EXPECT_EQ(codes(), std::vector<std::uint8_t>{CMD_PASS_UNI});
    EXPECT_EQ(g_first_pass_seen, 0);
}

TEST_F(MaintenanceSide, TheIdleWaitAdvancesTheProgressAndTimesOutWithItsOwnBox) {
    platform::set_time_scale(100);
    int polls = 0;
    protocol_->set_idle_poll_hook([&polls] { ++polls; });
    model_->set_status('x');
    protocol_->WaitPrinterIdle();
    EXPECT_EQ(polls, 151);
    EXPECT_EQ(g_stop_printing, 1);
    EXPECT_EQ(codes().back(), CMD_STOP);
    ASSERT_EQ(boxes_.count(), 1u);
    EXPECT_EQ(boxes_.boxes()[0].text, printer::kMaintenanceWaitFailureText);
}

TEST_F(MaintenanceSide, EndOfPrintWaitsForTheLastPassFirst) {
    model_->set_status('x');
    model_->queue_status('x');
    model_->queue_status(STATUS_PASS_DONE);
    protocol_->SendEndOfPrint();
    EXPECT_EQ(model_->status_reads(), 2u);
    EXPECT_EQ(codes(), std::vector<std::uint8_t>{CMD_END_OF_PRINT});
    EXPECT_TRUE(protocol_->pass_confirmed());
}

}  // namespace
