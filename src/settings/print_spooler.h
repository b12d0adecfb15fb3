#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The computer's print system as the virtual-printer set-up sees it: list the queues, delete
// one, add one, tell whether the PDF printer driver is there. The workstation's print system is
// CUPS, reached over IPP through its client library; the tests put a scripted one in its place.
namespace settings {

struct SpoolerQueue {
    std::string name;
    std::string device_uri;
};

// Whether the print system offers the PDF printer driver: its backend, and the PPD a queue of it
// is made with. Installing the driver's package makes no queue, so the driver is there when its
// backend is, whether or not a queue of it exists yet.
struct PdfDriverOffer {
    bool backend = false;
    std::string ppd_name;  // empty when the print system has no PPD of the driver
};

// One queue to add: its name, its description, its device and driver, its default page size.
struct QueueSpec {
    std::string name;
    std::string info;
    std::string device_uri;
    std::string ppd_name;
    std::string media;  // the default page size as a media name
};

class PrintSpooler {
  public:
    virtual ~PrintSpooler() = default;
    // Every queue of the print system; nothing when it cannot be asked.
    virtual std::optional<std::vector<SpoolerQueue>> list_queues() = 0;
    virtual PdfDriverOffer pdf_driver() = 0;
    virtual bool delete_queue(const std::string& name) = 0;
    // Adds the queue (or changes one of that name), then lets it print and take jobs.
    virtual bool add_queue(const QueueSpec& queue) = 0;
    // The default page size the print system keeps for the queue, as a media name.
    virtual std::optional<std::string> queue_media(const std::string& name) = 0;
    // The print system's words for the last failure.
    virtual std::string last_error() const = 0;
};

// The device scheme of the PDF printer driver's backend.
inline constexpr std::string_view kPdfBackendScheme = "cups-pdf";

// The local CUPS.
std::unique_ptr<PrintSpooler> make_cups_spooler();

}  // namespace settings
