#include "printer/printer_claim.h"

#include <atomic>

#include "printer/protocol_state.h"

namespace {

// The ticket of the claim that owns the printer, 0 while nobody does. It tells owners apart,
// where g_printer_idle only says whether anybody owns the printer.
std::atomic<std::uint64_t> g_printer_owner{0};
std::atomic<std::uint64_t> g_last_ticket{0};

}  // namespace

PrinterClaim::~PrinterClaim() {
    give_back();
}

bool PrinterClaim::take() {
    if (owns()) {
        return true;
    }
    int idle = 1;
    if (!g_printer_idle.compare_exchange_strong(idle, 0)) {
        return false;
    }
    // Nobody else can take the printer between the two steps: it already reads busy.
    ticket_ = g_last_ticket.fetch_add(1) + 1;
    g_printer_owner = ticket_;
    return true;
}

bool PrinterClaim::owns() const {
    return ticket_ != 0 && g_printer_owner == ticket_ && g_printer_idle == 0;
}

void PrinterClaim::give_back() {
    std::uint64_t mine = ticket_;
    ticket_ = 0;
    // The owner is cleared before the printer reads free, so that a claim taken after this
    // one can never be cleared by it.
    if (mine != 0 && g_printer_owner.compare_exchange_strong(mine, 0)) {
        g_printer_idle = 1;
    }
}
