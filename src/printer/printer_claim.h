#pragma once

#include <cstdint>

// Ownership of the printer. g_printer_idle is 1 while nobody owns it; every piece of printer
// work (a job, a maintenance operation, the print loop's heartbeat) owns it through a claim for
// as long as it drives the printer and its shared frame, status byte, transfer buffer and pass
// flags. A claim takes the printer only when it is free (1 to 0 in one step) and gives it back
// at most once, and only while it still owns it: a give-back that comes late, after another
// owner took the printer, changes nothing.
class PrinterClaim {
  public:
    PrinterClaim() = default;
    // Gives the printer back when this claim still owns it.
    ~PrinterClaim();
    PrinterClaim(const PrinterClaim&) = delete;
    PrinterClaim& operator=(const PrinterClaim&) = delete;

    // True when this claim owns the printer afterwards: it was free and is now this claim's,
    // or this claim held it already. False while other work owns it.
    bool take();
    // True while the printer is this claim's.
    bool owns() const;
    // Frees the printer, only when this claim still owns it; a second call does nothing.
    void give_back();

  private:
    // The number of this claim's taking; 0 when it has none.
    std::uint64_t ticket_ = 0;
};
