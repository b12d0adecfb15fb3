#pragma once

#include <cstdint>
#include <thread>

#include "platform/ui/dialog.h"
#include "printer/printer_protocol.h"

// Posted by the nozzle-print worker to its dialog as its last act.
inline constexpr std::uint32_t WM_NOZZLE_PRINT_FAILED = 0x4C9;
inline constexpr std::uint32_t WM_NOZZLE_PRINT_DONE = 0x4CA;

class nozzleprint;

// Prints the nozzle pattern on the dialog's device: the set-up commands of a job with the
// last job's pass count and ink mode, one unidirectional pass of the pattern, the end of
// print; the progress bar moves as it goes. Posts WM_NOZZLE_PRINT_DONE, or
// WM_NOZZLE_PRINT_FAILED when the print stopped.
void NozzlePrintThread(nozzleprint& dialog);

// "Nozzle Check": makes sure the printer is ready, and on "Print" runs the worker. Ends with
// 3 (not ready), 5 (no printer), 6 (the print stopped), 7 (printed) or 2 ("Cancel").
class nozzleprint : public platform::ui::Dialog {
  public:
    nozzleprint();
    // Joins a worker still running.
    ~nozzleprint() override;

    // Whether the printer reported the pattern's pass done; known once the dialog ended.
    bool pass_confirmed() const { return protocol_.pass_confirmed(); }

  protected:
    void on_init_dialog() override;
    // While the worker prints, neither Esc, Enter nor the caption's close ends the dialog:
    // the Maintenance dialog would give the printer back while the worker still drives it
    // and the transfer buffer. The dialog ends only on the worker's message.
    void on_ok() override {}
    void on_cancel() override;

  private:
    friend void NozzlePrintThread(nozzleprint& dialog);

    void OnBnClickedPrint();
    // The worker's message: joins it and ends with code.
    void end_after_worker(int code);

    // The dialog's own connection, closed with it.
    PrinterProtocol protocol_{ProtocolSide::Maintenance};
    std::thread worker_;
    bool printing_ = false;
};
