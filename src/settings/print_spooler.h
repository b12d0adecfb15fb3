#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The computer's print system as the virtual-printer set-up sees it: list the queues, delete
// one, add one, read one back, tell whether the virtual printers' driver is there. The
// workstation's print system is CUPS, reached over IPP through its client library on its local
// socket; the tests put a scripted one in its place.
namespace settings {

struct SpoolerQueue {
    std::string name;
    std::string device_uri;
};

// Whether the print system offers the virtual printers' driver: our backend among its devices
// and our PPD among its models. Installing them makes no queue, so the driver is there when both
// are, whether or not a queue of it exists yet.
struct PdfDriverOffer {
    bool backend = false;
    std::string ppd_name;  // empty when the print system has no such PPD
};

// One queue to add: its name, its description, its device and driver, its default page size.
struct QueueSpec {
    std::string name;
    std::string info;
    std::string device_uri;
    std::string ppd_name;
    std::string media;  // the default page size as a media name
};

// A queue as the print system keeps it.
struct QueueState {
    std::string device_uri;
    bool accepting = false;
    std::string media;  // the default page size
    // Offered to other computers (also when the print system does not say it is not).
    bool shared = true;
};

// How the last request that failed went wrong.
enum class SpoolerFailure {
    NoAnswer,    // no print system there, or no answer within the bound
    NotAllowed,  // refused for want of rights
    Refused,     // any other refusal, or an answer that lacks what it must hold
};

class PrintSpooler {
  public:
    virtual ~PrintSpooler() = default;
    // Every queue of the print system; nothing when it cannot be asked.
    virtual std::optional<std::vector<SpoolerQueue>> list_queues() = 0;
    // Nothing when it cannot be asked.
    virtual std::optional<PdfDriverOffer> pdf_driver() = 0;
    virtual bool delete_queue(const std::string& name) = 0;
    // Adds the queue (or changes one of that name), not shared with other computers, then lets
    // it print and take jobs.
    virtual bool add_queue(const QueueSpec& queue) = 0;
    virtual std::optional<QueueState> queue_state(const std::string& name) = 0;
    // The last failure, and the print system's words for it with the request that failed.
    virtual SpoolerFailure last_failure() const = 0;
    virtual std::string last_error() const = 0;
    // From any thread: the request under way, and every later one, ends at once unanswered.
    virtual void cancel() = 0;
};

// No request to the print system takes longer than this, on the program's clock.
inline constexpr std::uint32_t kPrintSystemAnswerBoundMs = 30000;

// CUPS at `server` (a local socket's path, or a host name; empty: the machine's own). No
// request ever asks for a password: one the print system refuses fails as NotAllowed.
std::unique_ptr<PrintSpooler> make_cups_spooler(const std::string& server = {},
                                                std::uint32_t bound_ms = kPrintSystemAnswerBoundMs);

}  // namespace settings
