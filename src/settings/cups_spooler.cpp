#include <cups/cups.h>

#include <atomic>
#include <string_view>

#include "pdf_backend/hot_folder_uri.h"
#include "pdf_backend/virtual_printer_ppd.h"
#include "platform/clock.h"
#include "settings/print_spooler.h"

namespace settings {
namespace {

// How often a wait for the print system looks at the clock and at a cancel, in real seconds.
constexpr double kWaitSliceSeconds = 0.05;
// How long the print system may look for our backend's device.
constexpr int kDeviceSearchSeconds = 10;

// One IPP response, freed when it goes.
struct Response {
    ipp_t* ipp = nullptr;
    explicit Response(ipp_t* response) : ipp(response) {}
    Response(const Response&) = delete;
    Response& operator=(const Response&) = delete;
    ~Response() { ippDelete(ipp); }
};

// No request asks the operator for a password: one the print system will not grant without it
// fails at once as not allowed, instead of waiting for an answer on a terminal nobody reads.
const char* no_password(const char*, http_t*, const char*, const char*, void*) {
    return nullptr;
}

std::string printer_uri(const std::string& name) {
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 0,
                     "/printers/%s", name.c_str());
    return uri;
}

ipp_t* printer_request(ipp_op_t operation, const std::string& name) {
    ipp_t* request = ippNewRequest(operation);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr,
                 printer_uri(name).c_str());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                 cupsUser());
    return request;
}

// The text of an attribute into `out`, "" when the answer does not have it; false when the
// attribute is there but holds no text, which makes the whole answer unusable.
bool read_text(ipp_attribute_t* attribute, std::string& out) {
    out.clear();
    if (attribute == nullptr) {
        return true;
    }
    const char* value = ippGetString(attribute, 0, nullptr);
    if (value == nullptr) {
        return false;
    }
    out = value;
    return true;
}

// The machine's own print system as it is now: the client library keeps the server it found
// first for the thread that asked, which would keep a program that started before CUPS did on
// the wrong address for ever.
std::string default_server() {
    cupsSetServer(nullptr);
    return cupsServer();
}

// The (name, value) pairs of one attribute across the groups of an answer, as its list
// operations give one group per queue, device or model.
struct Group {
    std::vector<std::pair<std::string_view, ipp_attribute_t*>> attributes;
    ipp_attribute_t* find(std::string_view name) const {
        for (const auto& [n, a] : attributes) {
            if (n == name) {
                return a;
            }
        }
        return nullptr;
    }
};

std::vector<Group> groups_of(ipp_t* response, ipp_tag_t group_tag) {
    std::vector<Group> groups;
    bool open = false;
    for (ipp_attribute_t* a = ippFirstAttribute(response); a != nullptr;
         a = ippNextAttribute(response)) {
        if (ippGetGroupTag(a) != group_tag || ippGetName(a) == nullptr) {
            open = false;  // a separator between two groups, or another kind of group
            continue;
        }
        if (!open) {
            groups.emplace_back();
            open = true;
        }
        groups.back().attributes.emplace_back(ippGetName(a), a);
    }
    return groups;
}

class CupsSpooler final : public PrintSpooler {
  public:
    CupsSpooler(std::string server, std::uint32_t bound_ms)
        : server_(server.empty() ? default_server() : std::move(server)), bound_ms_(bound_ms) {}
    ~CupsSpooler() override { disconnect(); }
    CupsSpooler(const CupsSpooler&) = delete;
    CupsSpooler& operator=(const CupsSpooler&) = delete;

    std::optional<std::vector<SpoolerQueue>> list_queues() override {
        ipp_t* request = ippNewRequest(IPP_OP_CUPS_GET_PRINTERS);
        static const char* const kWanted[] = {"printer-name", "device-uri"};
        ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 2,
                      nullptr, kWanted);
        // A print system without a queue answers "not found": an empty list, not a failure.
        Response response(ask(request, "/", "the list of printers", IPP_STATUS_ERROR_NOT_FOUND));
        if (response.ipp == nullptr) {
            return std::nullopt;
        }
        std::vector<SpoolerQueue> queues;
        for (const Group& group : groups_of(response.ipp, IPP_TAG_PRINTER)) {
            SpoolerQueue queue;
            if (!read_text(group.find("printer-name"), queue.name) || queue.name.empty() ||
                !read_text(group.find("device-uri"), queue.device_uri)) {
                return malformed("the list of printers", "printer-name or device-uri");
            }
            queues.push_back(queue);
        }
        return queues;
    }

    std::optional<PdfDriverOffer> pdf_driver() override {
        PdfDriverOffer offer;
        // Only our own backend is run, so the answer does not wait on network searches.
        const std::string scheme(pdf_backend::kHotFolderScheme);
        ipp_t* devices = ippNewRequest(IPP_OP_CUPS_GET_DEVICES);
        ippAddString(devices, IPP_TAG_OPERATION, IPP_TAG_NAME, "include-schemes", nullptr,
                     scheme.c_str());
        ippAddInteger(devices, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "timeout", kDeviceSearchSeconds);
        {
            Response response(ask(devices, "/", "the list of devices"));
            if (response.ipp == nullptr) {
                return std::nullopt;
            }
            for (const Group& group : groups_of(response.ipp, IPP_TAG_PRINTER)) {
                std::string uri;
                if (!read_text(group.find("device-uri"), uri)) {
                    return malformed("the list of devices", "device-uri");
                }
                offer.backend = offer.backend || uri.rfind(scheme + ":", 0) == 0;
            }
        }
        // Only the models of our make: the whole list can be thousands.
        ipp_t* ppds = ippNewRequest(IPP_OP_CUPS_GET_PPDS);
        ippAddString(ppds, IPP_TAG_OPERATION, IPP_TAG_TEXT, "ppd-make", nullptr,
                     std::string(pdf_backend::kPpdMake).c_str());
        static const char* const kWanted[] = {"ppd-name", "ppd-make-and-model"};
        ippAddStrings(ppds, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 2, nullptr,
                      kWanted);
        Response response(ask(ppds, "/", "the list of printer models", IPP_STATUS_ERROR_NOT_FOUND));
        if (response.ipp == nullptr) {
            return std::nullopt;
        }
        for (const Group& group : groups_of(response.ipp, IPP_TAG_PRINTER)) {
            std::string name;
            std::string model;
            if (!read_text(group.find("ppd-name"), name) ||
                !read_text(group.find("ppd-make-and-model"), model)) {
                return malformed("the list of printer models", "ppd-name or ppd-make-and-model");
            }
            if (model == pdf_backend::kPpdMakeAndModel && !name.empty()) {
                offer.ppd_name = name;
            }
        }
        return offer;
    }

    bool delete_queue(const std::string& name) override {
        return admin(printer_request(IPP_OP_CUPS_DELETE_PRINTER, name), "deleting " + name);
    }

    bool add_queue(const QueueSpec& queue) override {
        ipp_t* request = printer_request(IPP_OP_CUPS_ADD_MODIFY_PRINTER, queue.name);
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "ppd-name", nullptr,
                     queue.ppd_name.c_str());
        ippAddString(request, IPP_TAG_PRINTER, IPP_TAG_TEXT, "printer-info", nullptr,
                     queue.info.c_str());
        ippAddString(request, IPP_TAG_PRINTER, IPP_TAG_URI, "device-uri", nullptr,
                     queue.device_uri.c_str());
        ippAddString(request, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "media-default", nullptr,
                     queue.media.c_str());
        // Never offered to other computers, which would print straight into the operator's hot
        // folders and on to the RIP; a new queue is shared where the print system shares by
        // default.
        ippAddBoolean(request, IPP_TAG_PRINTER, "printer-is-shared", 0);
        return admin(request, "adding " + queue.name) &&
               admin(printer_request(IPP_OP_CUPS_ACCEPT_JOBS, queue.name),
                     "letting " + queue.name + " take jobs") &&
               admin(printer_request(IPP_OP_RESUME_PRINTER, queue.name),
                     "letting " + queue.name + " print");
    }

    std::optional<QueueState> queue_state(const std::string& name) override {
        ipp_t* request = printer_request(IPP_OP_GET_PRINTER_ATTRIBUTES, name);
        static const char* const kWanted[] = {"device-uri", "printer-is-accepting-jobs",
                                              "media-default", "printer-is-shared"};
        ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 4,
                      nullptr, kWanted);
        const std::string what = "the settings of " + name;
        Response response(ask(request, "/", what));
        if (response.ipp == nullptr) {
            return std::nullopt;
        }
        QueueState state;
        if (!read_text(ippFindAttribute(response.ipp, "device-uri", IPP_TAG_ZERO),
                       state.device_uri) ||
            !read_text(ippFindAttribute(response.ipp, "media-default", IPP_TAG_ZERO),
                       state.media)) {
            return malformed(what, "device-uri or media-default");
        }
        ipp_attribute_t* accepting =
            ippFindAttribute(response.ipp, "printer-is-accepting-jobs", IPP_TAG_BOOLEAN);
        state.accepting = accepting != nullptr && ippGetBoolean(accepting, 0) != 0;
        ipp_attribute_t* shared =
            ippFindAttribute(response.ipp, "printer-is-shared", IPP_TAG_BOOLEAN);
        state.shared = shared == nullptr || ippGetBoolean(shared, 0) != 0;
        return state;
    }

    SpoolerFailure last_failure() const override { return failure_; }
    std::string last_error() const override { return error_; }
    void cancel() override { cancelled_ = true; }

  private:
    // Sends a request and waits for its answer within the bound; the answer, or nothing with
    // the failure noted. `also_fine` is one more status the caller takes for an answer.
    ipp_t* ask(ipp_t* request, const char* resource, const std::string& what,
               ipp_status_t also_fine = IPP_STATUS_OK) {
        cupsSetPasswordCB2(no_password, nullptr);
        started_ = platform::tick_count();
        out_of_time_ = false;
        if (cancelled_) {
            ippDelete(request);
            return fail(SpoolerFailure::NoAnswer, what + ": given up");
        }
        http_t* http = connection();
        if (http == nullptr) {
            ippDelete(request);
            return fail(SpoolerFailure::NoAnswer, what + ": no print system answers at " + server_);
        }
        ipp_t* response = cupsDoRequest(http, request, resource);
        const ipp_status_t status =
            response != nullptr ? ippGetStatusCode(response) : cupsLastError();
        if (out_of_time_ || cancelled_) {
            ippDelete(response);
            // Whatever comes late on this connection belongs to the request given up.
            disconnect();
            return fail(SpoolerFailure::NoAnswer, what +
                                                      ": no answer from the print system within " +
                                                      std::to_string(bound_ms_ / 1000) + " s");
        }
        const bool answered = response != nullptr;
        if (answered && (status <= IPP_STATUS_OK_CONFLICTING || status == also_fine)) {
            return response;
        }
        ippDelete(response);
        const char* words = cupsLastErrorString();
        const std::string said = what + ": " + (words != nullptr ? words : ippErrorString(status));
        // Refused outright, or refused without a password that nobody is asked for.
        if (status == IPP_STATUS_ERROR_NOT_AUTHORIZED || status == IPP_STATUS_ERROR_FORBIDDEN ||
            status == IPP_STATUS_ERROR_CUPS_AUTHENTICATION_CANCELED) {
            return fail(SpoolerFailure::NotAllowed, said);
        }
        if (!answered) {
            disconnect();
            return fail(SpoolerFailure::NoAnswer, said);
        }
        return fail(SpoolerFailure::Refused, said);
    }

    // An administrative request whose answer holds nothing the caller needs.
    bool admin(ipp_t* request, const std::string& what) {
        Response response(ask(request, "/admin/", what));
        return response.ipp != nullptr;
    }

    std::nullptr_t fail(SpoolerFailure failure, std::string error) {
        failure_ = failure;
        error_ = std::move(error);
        return nullptr;
    }

    std::nullopt_t malformed(const std::string& what, const char* lacking) {
        fail(SpoolerFailure::Refused, what + ": the print system's answer lacks " + lacking);
        return std::nullopt;
    }

    http_t* connection() {
        if (http_ == nullptr) {
            const int connect_ms = static_cast<int>(platform::real_microseconds(bound_ms_) / 1000);
            http_ = httpConnect2(server_.c_str(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(),
                                 1, connect_ms, nullptr);
            if (http_ != nullptr) {
                httpSetTimeout(http_, kWaitSliceSeconds, &CupsSpooler::keep_waiting, this);
            }
        }
        return http_;
    }

    void disconnect() {
        if (http_ != nullptr) {
            httpClose(http_);
            http_ = nullptr;
        }
    }

    // Asked by the client library whenever a wait slice passes without an answer.
    static int keep_waiting(http_t*, void* self) {
        auto* spooler = static_cast<CupsSpooler*>(self);
        if (spooler->cancelled_ ||
            platform::tick_count() - spooler->started_ >= spooler->bound_ms_) {
            spooler->out_of_time_ = true;
            return 0;
        }
        return 1;
    }

    const std::string server_;
    const std::uint32_t bound_ms_;
    http_t* http_ = nullptr;
    std::atomic<bool> cancelled_{false};
    std::uint32_t started_ = 0;
    bool out_of_time_ = false;
    SpoolerFailure failure_ = SpoolerFailure::NoAnswer;
    std::string error_;
};

}  // namespace

std::unique_ptr<PrintSpooler> make_cups_spooler(const std::string& server, std::uint32_t bound_ms) {
    return std::make_unique<CupsSpooler>(server, bound_ms);
}

}  // namespace settings
