#include <cups/cups.h>

#include "settings/print_spooler.h"

namespace settings {
namespace {

// One IPP response, freed when it goes.
struct Response {
    ipp_t* ipp = nullptr;
    explicit Response(ipp_t* response) : ipp(response) {}
    Response(const Response&) = delete;
    Response& operator=(const Response&) = delete;
    ~Response() { ippDelete(ipp); }
    bool ok() const { return ipp != nullptr && cupsLastError() <= IPP_STATUS_OK_CONFLICTING; }
};

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

// Sends a request that answers nothing the caller needs; true when the print system took it.
bool admin_request(ipp_t* request) {
    Response response(cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/admin/"));
    return response.ok();
}

class CupsSpooler final : public PrintSpooler {
  public:
    std::optional<std::vector<SpoolerQueue>> list_queues() override {
        ipp_t* request = ippNewRequest(IPP_OP_CUPS_GET_PRINTERS);
        static const char* const kWanted[] = {"printer-name", "device-uri"};
        ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 2,
                      nullptr, kWanted);
        Response response(cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/"));
        if (response.ipp == nullptr) {
            return std::nullopt;
        }
        // A print system without a queue answers "not found": an empty list, not a failure.
        if (cupsLastError() == IPP_STATUS_ERROR_NOT_FOUND) {
            return std::vector<SpoolerQueue>{};
        }
        if (!response.ok()) {
            return std::nullopt;
        }
        std::vector<SpoolerQueue> queues;
        SpoolerQueue queue;
        for (ipp_attribute_t* a = ippFirstAttribute(response.ipp); a != nullptr;
             a = ippNextAttribute(response.ipp)) {
            const char* name = ippGetName(a);
            if (name == nullptr) {  // the separator between two queues
                if (!queue.name.empty()) {
                    queues.push_back(queue);
                }
                queue = {};
            } else if (std::string_view(name) == "printer-name") {
                queue.name = ippGetString(a, 0, nullptr);
            } else if (std::string_view(name) == "device-uri") {
                queue.device_uri = ippGetString(a, 0, nullptr);
            }
        }
        if (!queue.name.empty()) {
            queues.push_back(queue);
        }
        return queues;
    }

    PdfDriverOffer pdf_driver() override {
        PdfDriverOffer offer;
        // Only the driver's own backend is run, so the answer does not wait on network searches.
        ipp_t* devices = ippNewRequest(IPP_OP_CUPS_GET_DEVICES);
        ippAddString(devices, IPP_TAG_OPERATION, IPP_TAG_NAME, "include-schemes", nullptr,
                     std::string(kPdfBackendScheme).c_str());
        ippAddInteger(devices, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "timeout", 10);
        {
            Response response(cupsDoRequest(CUPS_HTTP_DEFAULT, devices, "/"));
            if (response.ok()) {
                for (ipp_attribute_t* a = ippFindAttribute(response.ipp, "device-uri", IPP_TAG_URI);
                     a != nullptr;
                     a = ippFindNextAttribute(response.ipp, "device-uri", IPP_TAG_URI)) {
                    const std::string uri = ippGetString(a, 0, nullptr);
                    if (uri.rfind(std::string(kPdfBackendScheme) + ":", 0) == 0) {
                        offer.backend = true;
                    }
                }
            }
        }
        ipp_t* ppds = ippNewRequest(IPP_OP_CUPS_GET_PPDS);
        ippAddString(ppds, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
                     "ppd-name");
        Response response(cupsDoRequest(CUPS_HTTP_DEFAULT, ppds, "/"));
        if (response.ok()) {
            for (ipp_attribute_t* a = ippFindAttribute(response.ipp, "ppd-name", IPP_TAG_NAME);
                 a != nullptr; a = ippFindNextAttribute(response.ipp, "ppd-name", IPP_TAG_NAME)) {
                const std::string name = ippGetString(a, 0, nullptr);
                const bool with_options = name.ends_with("/CUPS-PDF_opt.ppd");
                // The PPD with options takes custom page sizes; the other is the fall-back.
                if (with_options ||
                    (offer.ppd_name.empty() && name.ends_with("/CUPS-PDF_noopt.ppd"))) {
                    offer.ppd_name = name;
                }
                if (with_options) {
                    break;
                }
            }
        }
        return offer;
    }

    bool delete_queue(const std::string& name) override {
        return admin_request(printer_request(IPP_OP_CUPS_DELETE_PRINTER, name));
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
        if (!admin_request(request)) {
            return false;
        }
        return admin_request(printer_request(IPP_OP_CUPS_ACCEPT_JOBS, queue.name)) &&
               admin_request(printer_request(IPP_OP_RESUME_PRINTER, queue.name));
    }

    std::optional<std::string> queue_media(const std::string& name) override {
        ipp_t* request = printer_request(IPP_OP_GET_PRINTER_ATTRIBUTES, name);
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
                     "media-default");
        Response response(cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/"));
        if (!response.ok()) {
            return std::nullopt;
        }
        ipp_attribute_t* media = ippFindAttribute(response.ipp, "media-default", IPP_TAG_ZERO);
        if (media == nullptr || ippGetString(media, 0, nullptr) == nullptr) {
            return std::nullopt;
        }
        return std::string(ippGetString(media, 0, nullptr));
    }

    std::string last_error() const override {
        const char* text = cupsLastErrorString();
        return text != nullptr ? text : "";
    }
};

}  // namespace

std::unique_ptr<PrintSpooler> make_cups_spooler() {
    return std::make_unique<CupsSpooler>();
}

}  // namespace settings
