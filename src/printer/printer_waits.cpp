#include "printer/printer_protocol.h"

#include "platform/clock.h"
#include "platform/ui/message_box.h"
#include "printer/commands.h"
#include "printer/messages.h"
#include "printer/prn_file.h"
#include "printer/protocol_state.h"

// The waits for the printer's answers and the recovery of a lost connection.

using platform::sleep_ms;
using platform::ui::Answer;
using platform::ui::Buttons;
using platform::ui::Icon;

void PrinterProtocol::CheckPrinterReady() {
    send_only(CMD_CHECK_READY);
    sleep_ms(100);
    const std::uint8_t status = ReadStatus();
    if (status == STATUS_CHECK_READY_OK) {
        return;
    }
    if (status == STATUS_ABORTED) {
        abort_tail();
        return;
    }
    // Table or media not ready: the job printer shows it, no box here.
    g_prn_file.close();
    g_stop_printing = 1;
    claim_.give_back();
}

void PrinterProtocol::WaitPrinterIdle() {
    send_only(CMD_WAIT_IDLE);
    if (ReadStatus() == STATUS_IDLE) {
        return;
    }
    for (int count = 0;;) {
        if (g_status_byte == STATUS_ABORTED) {
            stopped_in_wait();
            return;
        }
        sleep_ms(300);
        if (side_ == ProtocolSide::Maintenance && idle_poll_hook_) {
            idle_poll_hook_();
        }
        if (++count > 150) {
            wait_timed_out();
            return;
        }
        if (ReadStatus() == STATUS_IDLE) {
            return;
        }
    }
}

void PrinterProtocol::wait_command_ack(bool retry) {
    // The printer may report the end of a pass while it is asked for its acknowledgement; a
    // printer that reported nothing else would hold the wait for ever, so such reads stop
    // being free after this many in a row.
    constexpr int kFreePassDoneReads = 8;
    send_only(CMD_ACK_REQUEST);
    int polls = 0;
    int resends = 0;
    for (;;) {
        if (polls == 2) {
            send_only(CMD_ACK_REQUEST);
            ++resends;
            polls = 0;
        }
        ReadStatus();
        for (int free = 0; retry && g_status_byte == STATUS_PASS_DONE && free < kFreePassDoneReads;
             ++free) {
            g_pass_done = 1;
            ReadStatus();
        }
        if (g_status_byte == STATUS_READY) {
            return;
        }
        if (g_status_byte == STATUS_ABORTED) {
            stopped_in_wait();
            return;
        }
        if (resends == 3) {
            break;
        }
        sleep_ms(20);
        ++polls;
    }
    if (side_ == ProtocolSide::Maintenance) {
        g_stop_printing = 1;
        show_ok(printer::kAckFailureText);
        return;
    }
    if (retry) {
        if (platform::ui::message_box(printer::kAckRetryText, "", Buttons::RetryCancel,
                                      Icon::Stop) == Answer::Cancel) {
            g_stop_printing = 1;
        }
        return;
    }
    give_up(printer::kAckFailureText);
}

void PrinterProtocol::WaitCommandAckOrAbort() {
    wait_command_ack(false);
}

void PrinterProtocol::WaitCommandAckRetry() {
    wait_command_ack(side_ == ProtocolSide::Print);
}

void PrinterProtocol::SendStartReady() {
    send_only(CMD_START_READY);
    sleep_ms(90);
    if (ReadStatus() == STATUS_START_READY) {
        return;
    }
    for (int count = 0;;) {
        // The first read of a round is looked at only for the stop, the second only for 'p'.
        if (ReadStatus() == STATUS_ABORTED) {
            abort_tail();
            return;
        }
        sleep_ms(100);
        if (++count > 40) {
            wait_timed_out();
            return;
        }
        if (ReadStatus() == STATUS_START_READY) {
            return;
        }
    }
}

void PrinterProtocol::SendSkipFeedWait() {
    send_only(CMD_SKIP_FEED_WAIT);
    // Bounded: a feed that never reports its end gives up as the start wait does.
    const std::uint32_t start = platform::tick_count();
    while (ReadStatus() != STATUS_SKIP_FEED_DONE) {
        if (g_status_byte == STATUS_ABORTED) {
            abort_tail();
            return;
        }
        if (platform::tick_count() - start > kSkipFeedLimitMs) {
            wait_timed_out();
            return;
        }
        sleep_ms(15);
    }
    g_pass_sent = 0;
}

bool PrinterProtocol::reopen(const char* text) {
    while (!device_->Open(0)) {
        if (platform::ui::message_box(text, "", Buttons::RetryCancel, Icon::Stop) ==
            Answer::Cancel) {
            return false;
        }
    }
    return true;
}

void PrinterProtocol::SendBandData() {
    const bool maintenance = side_ == ProtocolSide::Maintenance;
    if (printer_given_back()) {
        return;
    }
    if (ReadStatus() == STATUS_ABORTED) {
        g_stop_printing = 1;
        return;
    }
    for (int counted = 0; counted < 5;) {
        // The reconnect's acknowledgement may have met the stop and given the printer back;
        // maintenance that took it since clears the stop flag for its own work.
        if (g_stop_printing == 1 || printer_given_back()) {
            return;
        }
        if (BulkOutSend(band_buffer_, g_column_count * kBandBytesPerColumn) == 1) {
            return;
        }
        if (!reopen(maintenance ? printer::kMaintenanceBandRetryText : printer::kBandRetryText)) {
            g_stop_printing = 1;  // not counted: the next turn ends it
            continue;
        }
        if (ReadStatus() == STATUS_ABORTED) {
            g_stop_printing = 1;
            continue;
        }
        if (!maintenance) {
            // The pass under way when the connection went is not waited for.
            g_pass_sent = 0;
            if (g_status_byte == STATUS_PASS_DONE) {
                g_pass_done = 1;
            }
        }
        WaitCommandAckRetry();
        ++counted;
    }
    show_ok(printer::kBandFailureText);
    g_stop_printing = 1;
}

void PrinterProtocol::SendPassCommand() {
    const bool maintenance = side_ == ProtocolSide::Maintenance;
    std::uint8_t code = CMD_PASS_UNI;
    if (!maintenance && g_direction != 0) {
        code = g_pass_toggle == 0 ? CMD_PASS_FORWARD : CMD_PASS_BACKWARD;
        g_pass_toggle = g_pass_toggle == 0 ? 1 : 0;
    }
    set_frame(code);
    SendCommandShortPause();
    for (int resends = 0;;) {
        const std::uint8_t status = ReadStatus();
        if (status == STATUS_PASS_ACCEPTED) {
            if (!maintenance) {
                if (g_first_pass_seen == 0) {
                    g_first_pass_seen = 1;
                    g_first_pass_tick = platform::tick_count();
                }
                g_pass_done = 0;
            }
            return;
        }
        if (status == STATUS_ABORTED) {
            if (maintenance) {
                maintenance_stopped();
            } else {
                g_stop_printing = 1;
                g_pass_done = 0;
            }
            return;
        }
        if (resends == 3) {
            show_ok(printer::kPassFailureText);
            g_stop_printing = 1;
            g_pass_done = 0;
            return;
        }
        if (!reopen(printer::kPassRetryText)) {
            g_stop_printing = 1;
            g_pass_done = 0;
            return;
        }
        // The same direction again: the toggle moved on with the first send only.
        set_frame(code);
        SendCommandShortPause();
        ++resends;
    }
}

void PrinterProtocol::WaitPassDone() {
    const std::uint32_t t0 = platform::tick_count();
    const bool bidirectional = g_direction != 0;
    const std::uint32_t lower = bidirectional ? 616 : 1232;
    const std::uint32_t upper = bidirectional ? 4280 : 8600;
    while (g_pass_done != 1) {
        const std::uint32_t before = platform::tick_count();
        const std::uint8_t status = ReadStatus();
        if (status == STATUS_PASS_DONE) {
            break;
        }
        if (status == STATUS_ABORTED) {
            g_stop_printing = 1;
            g_pass_done = 0;
            return;
        }
        if (before - t0 > g_pass_timeout_ms) {
            resync_after_reconnect();
            return;
        }
    }
    if (g_pass_timing_calibrated == 0) {
        const std::uint32_t now = platform::tick_count();
        if (static_cast<std::int32_t>(now - g_first_pass_tick) > 0) {
            g_pass_timeout_ms = now - g_first_pass_tick;
        }
        // Out of the limits it becomes the upper limit, also when it is below the lower one.
        if (g_pass_timeout_ms > upper || g_pass_timeout_ms < lower) {
            g_pass_timeout_ms = upper;
        }
        g_pass_timing_calibrated = 1;
    }
    if (bidirectional) {
        sleep_ms(g_bidir_pass_delay_ms);
    }
    g_pass_done = 0;
}

void PrinterProtocol::resync_after_reconnect() {
    // Bounded: a printer that reopens but never confirms gives up with CMD_STOP and the wait
    // failure box; the stop also ends it.
    for (int queries = 0; queries < kMaxResyncQueries; ++queries) {
        if (!reopen(printer::kResyncRetryText)) {
            g_stop_printing = 1;
            g_reconnect_cancelled = 1;
            g_pass_done = 0;
            return;
        }
        send_only(CMD_RESYNC_QUERY);
        const std::uint8_t status = ReadStatus();
        if (status == STATUS_RESYNC_OK) {
            g_pass_done = 0;
            return;
        }
        if (status == STATUS_ABORTED) {
            g_stop_printing = 1;
            g_pass_done = 0;
            return;
        }
    }
    g_stop_printing = 1;
    g_pass_done = 0;
    send_only(CMD_STOP);
    show_ok(printer::kWaitFailureText);
}
