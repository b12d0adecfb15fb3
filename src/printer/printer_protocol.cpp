#include "printer/printer_protocol.h"

#include "platform/clock.h"
#include "platform/thread.h"
#include "platform/ui/message_box.h"
#include "printer/commands.h"
#include "printer/messages.h"
#include "printer/prn_file.h"
#include "printer/protocol_state.h"
#include "usb/driver_registry.h"

using platform::sleep_ms;
using platform::ui::Answer;
using platform::ui::Buttons;
using platform::ui::Icon;

namespace {

constexpr std::uint8_t kTargetInterface = 1;
constexpr std::uint8_t kClassRequest = 1;
constexpr std::uint8_t kRequestCommand = 0x01;
constexpr std::uint8_t kRequestStatus = 0x81;
constexpr std::uint32_t kTransferWaitMs = 1500;

// The process-wide auto-reset events of command and band transfers ("USBDRV_CTL" and
// "USBDRV_OUT"): one object each for every caller. Each transfer still waits on its own
// record, so a signal meant for another caller's transfer is never taken for its own.
platform::Event& control_event() {
    static platform::Event event;
    return event;
}

platform::Event& bulk_out_event() {
    static platform::Event event;
    return event;
}

// Ends a transfer whose wait ran out: aborts the pipe and waits until the driver is done
// with the record, the event and the context (or, within a bound, has let go of them), then
// frees the context.
void end_unfinished(CUsbEndPoint& ep, std::uint8_t* buffer, usb::IoRecord& record,
                    usb::XferContext* context) {
    ep.end_transfer(record);
    std::int32_t ignored = 0;
    ep.FinishDataXfer(buffer, ignored, &record, context);
}

}  // namespace

PrinterProtocol::PrinterProtocol(ProtocolSide side, usb::Driver* driver)
    : side_(side), device_(std::make_unique<CUsbDevice>(g_driver_interface_guid, true, driver)) {}

PrinterProtocol::~PrinterProtocol() = default;

void PrinterProtocol::show_ok(const char* text) {
    platform::ui::message_box(text, "", Buttons::Ok, Icon::None);
}

void PrinterProtocol::set_frame(std::uint8_t code) {
    g_command_buffer[0] = kFrameStart;
    g_command_buffer[1] = code;
    g_command_length = 2;
}

void PrinterProtocol::set_frame_u8(std::uint8_t code, std::uint8_t argument) {
    set_frame(code);
    g_command_buffer[2] = argument;
    g_command_length = 3;
}

void PrinterProtocol::set_frame_u32(std::uint8_t code, std::uint32_t argument) {
    set_frame(code);
    for (int i = 0; i < 4; ++i) {
        g_command_buffer[2 + i] = static_cast<std::uint8_t>(argument >> (8 * i));
    }
    g_command_length = 6;
}

int PrinterProtocol::send_command(std::uint32_t pause_ms) {
    control_endpoint = device_->ControlEndPt;
    CUsbControlEndPoint* ep = control_endpoint;
    usb::XferContext* context = nullptr;
    usb::IoRecord record(&control_event());
    if (ep != nullptr) {
        ep->Target = kTargetInterface;
        ep->ReqType = kClassRequest;
        ep->Value = 0;
        ep->Index = 0;
        ep->Direction = 0;
        ep->ReqCode = kRequestCommand;
        context = ep->BeginDataXfer(g_command_buffer, g_command_length, &record);
    }
    // No device open, or no transfer begun: nothing was sent.
    if (context == nullptr) {
        sleep_ms(pause_ms);
        return 0;
    }
    if (ep->WaitForXfer(&record, kTransferWaitMs)) {
        std::int32_t length = g_command_length;
        ep->FinishDataXfer(g_command_buffer, length, &record, context);
        g_command_length = length;
        sleep_ms(pause_ms);
        return 1;
    }
    end_unfinished(*ep, g_command_buffer, record, context);
    sleep_ms(pause_ms);
    return 0;
}

int PrinterProtocol::SendCommand() {
    return send_command(kCommandPauseMs);
}

int PrinterProtocol::SendCommandUnpaused() {
    return send_command(0);
}

int PrinterProtocol::SendCommandShortPause() {
    return send_command(50);
}

std::uint8_t PrinterProtocol::ReadStatus() {
    g_status_length = 1;
    sleep_ms(15);
    control_endpoint = device_->ControlEndPt;
    CUsbControlEndPoint* ep = control_endpoint;
    if (ep == nullptr) {
        return g_status_byte;
    }
    ep->Target = kTargetInterface;
    ep->ReqType = kClassRequest;
    ep->Value = 0;
    ep->Index = 0;
    ep->ReqCode = kRequestStatus;
    // A read that fails copies nothing, so the byte keeps its previous value.
    std::uint8_t status = g_status_byte;
    std::int32_t length = g_status_length;
    ep->Read(&status, length);
    g_status_byte = status;
    return g_status_byte;
}

void PrinterProtocol::DrainStatus() {
    for (int i = 0; i < 3; ++i) {
        ReadStatus();
        sleep_ms(50);
    }
    g_status_byte = 0;
}

int PrinterProtocol::BulkOutSend(std::uint8_t* buffer, std::uint32_t length) {
    bulk_endpoint = device_->BulkOutEndPt;
    CUsbEndPoint* ep = bulk_endpoint;
    if (ep == nullptr || buffer == nullptr) {
        return 0;
    }
    usb::IoRecord record(&bulk_out_event());
    std::uint32_t offset = 0;
    std::uint32_t remaining = length;
    while (remaining > 0) {
        const std::uint32_t piece = remaining < kPieceBytes ? remaining : kPieceBytes;
        usb::XferContext* context =
            ep->BeginDataXfer(buffer + offset, static_cast<std::int32_t>(piece), &record);
        if (context == nullptr) {
            return 0;
        }
        if (!ep->WaitForXfer(&record, kTransferWaitMs)) {
            ep->end_transfer(record);
        }
        std::int32_t sent = static_cast<std::int32_t>(piece);
        // A piece reported sent with no byte moved would repeat for ever: a failure.
        if (!ep->FinishDataXfer(buffer + offset, sent, &record, context) || sent <= 0) {
            return 0;
        }
        remaining -= static_cast<std::uint32_t>(sent);
        offset += static_cast<std::uint32_t>(sent);
    }
    return 1;
}

void PrinterProtocol::abort_tail() {
    g_prn_file.close();
    // A job that gave the printer back already has had its stop and its pause; the printer,
    // and the stop flag, may be maintenance's by now.
    if (printer_given_back()) {
        return;
    }
    // The stop flag is set before the printer is given back, not after the pause: maintenance
    // may take the printer during the 5 s, and a flag set then would stop its work instead.
    g_stop_printing = 1;
    claim_.give_back();
    sleep_ms(5000);
}

void PrinterProtocol::maintenance_stopped() {
    g_stop_printing = 1;
    g_nozzle_print_error = 1;
}

void PrinterProtocol::send_only(std::uint8_t code) {
    set_frame(code);
    SendCommand();
}

void PrinterProtocol::wait_timed_out() {
    if (side_ == ProtocolSide::Maintenance) {
        g_stop_printing = 1;
        send_only(CMD_STOP);
        show_ok(printer::kMaintenanceWaitFailureText);
        return;
    }
    give_up(printer::kWaitFailureText);
}

void PrinterProtocol::give_up(const char* text) {
    g_prn_file.close();
    // As in the abort tail: a job without the printer has ended already.
    if (printer_given_back()) {
        return;
    }
    g_stop_printing = 1;
    // The stop command goes out while the job still owns the printer and its command frame.
    send_only(CMD_STOP);
    claim_.give_back();
    show_ok(text);
}

void PrinterProtocol::stopped_in_wait() {
    if (side_ == ProtocolSide::Maintenance) {
        maintenance_stopped();
    } else {
        abort_tail();
    }
}

void PrinterProtocol::after_one_read() {
    // The nozzle check holds the printer for its maintenance dialog: the job's abort tail
    // would give it back while the check still drives it.
    if (ReadStatus() == STATUS_ABORTED) {
        stopped_in_wait();
    }
}

int PrinterProtocol::SendCommandCode(std::uint8_t code) {
    set_frame(code);
    return SendCommand();
}

void PrinterProtocol::SendColumnCount() {
    set_frame_u32(CMD_COLUMN_COUNT, g_column_count);
    SendCommand();
    after_one_read();
}

void PrinterProtocol::SendInkMode() {
    set_frame_u8(CMD_INK_MODE, g_ink_mode);
    SendCommand();
    after_one_read();
}

void PrinterProtocol::SendEmbossPasses(std::uint8_t passes) {
    set_frame_u8(CMD_EMBOSS_PASSES, passes);
    SendCommand();
    after_one_read();
}

void PrinterProtocol::SendPassCount(std::uint8_t passes) {
    set_frame_u8(CMD_PASS_COUNT, passes);
    SendCommand();
    after_one_read();
}

void PrinterProtocol::SendUvSetting(std::uint8_t setting) {
    set_frame_u8(CMD_UV_SETTING, setting);
    SendCommand();
    after_one_read();
}

void PrinterProtocol::SendNotVarnishOnly() {
    set_frame_u8(CMD_NOT_VARNISH_ONLY, g_not_2vanish);
    SendCommand();
    after_one_read();
}

void PrinterProtocol::SendDirection() {
    set_frame_u8(CMD_DIRECTION, g_direction);
    SendCommand();
    send_only(CMD_DIRECTION_APPLY);
    after_one_read();
}

void PrinterProtocol::SendRotaryMode() {
    set_frame_u8(CMD_ROTARY_MODE, g_rotary_mode);
    SendCommand();
    send_only(CMD_ROTARY_MODE_APPLY);
    after_one_read();
}

void PrinterProtocol::SendYPosition() {
    // A negative position goes out as its 32-bit two's complement.
    set_frame_u32(CMD_Y_POSITION, static_cast<std::uint32_t>(g_y_position));
    SendCommand();
    sleep_ms(50);
    send_only(CMD_Y_POSITION_APPLY);
    if (ReadStatus() != STATUS_ABORTED) {
        return;
    }
    stopped_in_wait();
}

void PrinterProtocol::SendSkipFeed() {
    send_only(CMD_SKIP_FEED);
}

void PrinterProtocol::SendEndOfPrint() {
    if (side_ == ProtocolSide::Maintenance) {
        maintenance_end_of_print();
        return;
    }
    send_only(CMD_END_OF_PRINT);
}

void PrinterProtocol::maintenance_end_of_print() {
    pass_confirmed_ = false;
    const std::uint32_t start = platform::tick_count();
    while (platform::tick_count() - start < 10000) {
        const std::uint8_t status = ReadStatus();
        if (status == STATUS_PASS_DONE) {
            pass_confirmed_ = true;
            break;
        }
        if (status == STATUS_ABORTED) {
            maintenance_stopped();
            return;
        }
        sleep_ms(100);
    }
    send_only(CMD_END_OF_PRINT);
}
