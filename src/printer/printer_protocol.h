#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "printer/printer_claim.h"
#include "usb/device.h"

// Which owner runs the primitives: the print thread, or the maintenance dialogs and the
// nozzle-check print, whose few differences are kept here rather than in a copy.
enum class ProtocolSide { Print, Maintenance };

// The printer's command protocol on the owner's own device: one-frame commands and a one-byte
// status as class requests on the control endpoint, band data on the bulk OUT endpoint, with
// every wait, retry, box and reconnect. The worker-thread class owns these primitives by
// deriving from this class; they take their arguments from the protocol globals and report
// through them (g_stop_printing, g_status_byte, ...).
class PrinterProtocol {
  public:
    // Creates and opens the owner's device (on the program's driver when none is given).
    explicit PrinterProtocol(ProtocolSide side = ProtocolSide::Print,
                             usb::Driver* driver = nullptr);
    virtual ~PrinterProtocol();
    PrinterProtocol(const PrinterProtocol&) = delete;
    PrinterProtocol& operator=(const PrinterProtocol&) = delete;

    CUsbDevice& device() { return *device_; }
    ProtocolSide side() const { return side_; }

    // The print side's hold on the printer: the job printer takes it for a job, the print
    // loop for its heartbeat. The waits that end a job (the abort tail, a wait that gives up,
    // the ready check's "not ready") give it back through this claim, so a late give-back
    // never frees a printer that maintenance has taken since. The maintenance side never
    // uses it: its dialogs hold the printer for it.
    PrinterClaim& printer_claim() { return claim_; }

    // The endpoints the transfers go through, taken from the device before every command and
    // status transfer (control) and every band transfer (bulk OUT): a reopened device has new
    // endpoint objects, so neither is kept from one transfer to the next. Null before the first.
    CUsbControlEndPoint* control_endpoint = nullptr;
    CUsbBulkEndPoint* bulk_endpoint = nullptr;

    // The band SendBandData streams: g_column_count x 360 bytes from here.
    void set_band_buffer(std::uint8_t* buffer) { band_buffer_ = buffer; }
    // Called after each poll of the idle wait on the maintenance side (its progress bar).
    void set_idle_poll_hook(std::function<void()> hook) { idle_poll_hook_ = std::move(hook); }

    int SendCommand();
    int SendCommandShortPause();
    // SendCommand without its pause after the transfer, for a sender that makes the pause
    // itself once it has given the printer back (the idle heartbeat).
    int SendCommandUnpaused();
    // The pause after SendCommand's transfer.
    static constexpr std::uint32_t kCommandPauseMs = 100;
    std::uint8_t ReadStatus();
    void DrainStatus();
    int BulkOutSend(std::uint8_t* buffer, std::uint32_t length);

    void CheckPrinterReady();
    void WaitPrinterIdle();
    void WaitCommandAckOrAbort();
    void WaitCommandAckRetry();
    void SendColumnCount();
    void SendInkMode();
    void SendEmbossPasses(std::uint8_t passes);
    // The nozzle check's pass count: one frame, one status read.
    void SendPassCount(std::uint8_t passes);
    void SendUvSetting(std::uint8_t setting);
    void SendNotVarnishOnly();
    void SendDirection();
    void SendRotaryMode();
    void SendYPosition();
    void SendStartReady();
    void SendSkipFeed();
    void SendEndOfPrint();
    void SendSkipFeedWait();
    void SendBandData();
    void SendPassCommand();
    void WaitPassDone();

    // One two-byte command without an answer read (the maintenance starts and the
    // acknowledgement request before a maintenance dialog); 1 sent, 0 not completed.
    int SendCommandCode(std::uint8_t code);
    // Whether the last maintenance end of print saw the printer report its pass done before
    // it gave up waiting and ended the print regardless.
    bool pass_confirmed() const { return pass_confirmed_; }

    // A band is g_column_count columns of this many bytes.
    static constexpr std::uint32_t kBandBytesPerColumn = 360;
    // Largest band piece of one bulk transfer.
    static constexpr std::uint32_t kPieceBytes = 2'097'152;
    // Resync queries of the pass-done wait's reconnect before it gives up.
    static constexpr int kMaxResyncQueries = 10;
    // How long the skip-feed wait waits for the feed to end.
    static constexpr std::uint32_t kSkipFeedLimitMs = 60'000;

  protected:
    // The printer reported it stopped: close the print file, set the stop flag, give the
    // printer back, wait 5 s.
    void abort_tail();

  private:
    // The job this print side runs has given the printer back (an abort tail, a wait that
    // gave up): it is stopped whatever the stop flag reads, and the printer is no longer its
    // to talk to. Never on the maintenance side, whose dialogs hold the printer for it.
    bool printer_given_back() const { return side_ == ProtocolSide::Print && !claim_.owns(); }
    int send_command(std::uint32_t pause_ms);
    void set_frame(std::uint8_t code);
    void set_frame_u8(std::uint8_t code, std::uint8_t argument);
    void set_frame_u32(std::uint8_t code, std::uint32_t argument);
    // A one-frame command without an answer.
    void send_only(std::uint8_t code);
    // Frame(s) sent, then one status read: the printer's stop ends in the abort tail, on the
    // maintenance side in the stop and the nozzle-print error.
    void after_one_read();
    // The printer stopped while maintenance runs: no file, no tail.
    void maintenance_stopped();
    // The wait gave up: close, stop, CMD_STOP, idle and the wait failure box.
    void wait_timed_out();
    // Close, stop, CMD_STOP, idle and an OK box with text.
    void give_up(const char* text);
    // The printer reported it stopped: the abort tail, or on the maintenance side the stop
    // and the nozzle-print error.
    void stopped_in_wait();
    // The acknowledge schedule; retry chooses the Retry/Cancel ending.
    void wait_command_ack(bool retry);
    // Reopens device 0 until it opens; each failure asks Retry/Cancel with text. False when
    // the operator cancelled.
    bool reopen(const char* text);
    void resync_after_reconnect();
    void maintenance_end_of_print();
    // An OK box without icon.
    static void show_ok(const char* text);

    ProtocolSide side_;
    std::unique_ptr<CUsbDevice> device_;
    PrinterClaim claim_;
    std::uint8_t* band_buffer_ = nullptr;
    std::function<void()> idle_poll_hook_;
    bool pass_confirmed_ = false;
};
