#include "pdf_backend/backend_job.h"

#include <cups/backend.h>
#include <unistd.h>

#include <cstdio>
#include <optional>

#include "pdf_backend/folder_owner.h"
#include "pdf_backend/hot_folder_shape.h"
#include "pdf_backend/hot_folder_uri.h"
#include "pdf_backend/pdf_file_name.h"

namespace pdf_backend {
namespace {

int report(const std::string& line, int status) {
    std::fprintf(stderr, "%s\n", line.c_str());
    return status;
}

int fail(const std::string& error) {
    return report("ERROR: " + error, CUPS_BACKEND_FAILED);
}

// A missing or full hot folder is the operator's to mend; the job stays with CUPS, which tries
// it again later, instead of being dropped.
int wait_for_folder(const std::string& error) {
    return report("ERROR: " + error + "; the job stays in the queue and is tried again later",
                  CUPS_BACKEND_RETRY);
}

// Every refusal before the backend has become the folder's owner: what the queue's state shows
// (which every user may read) is the same whatever root saw; only the print system's debug log
// gets the cause.
int refuse_unseen(const std::string& cause) {
    std::fprintf(stderr, "DEBUG: %s\n", cause.c_str());
    return fail(std::string(kNotAHotFolder));
}

}  // namespace

int run_backend_job(const std::string& device_uri, const std::string& title, int input,
                    WriteCall write_call) {
    const std::optional<std::string> folder = hot_folder_from_device_uri(device_uri);
    if (!folder) {
        return refuse_unseen("The device URI " + device_uri + " names no folder");
    }
    const FolderOwner owner = become_folder_owner(*folder);
    if (owner.state != OwnerState::Ready) {
        return refuse_unseen(owner.cause);
    }
    // From here on the backend is the folder's owner and sees only what that user may see.
    const HotFolder hot = open_hot_folder(owner.account.home, owner.parts, owner.account.uid);
    if (hot.state == HotFolderState::Missing) {
        return wait_for_folder(hot.error);
    }
    if (hot.state != HotFolderState::Open) {
        return fail(hot.error);
    }
    const Delivery delivery = deliver_pdf(hot.fd, pdf_file_name(title), input, write_call);
    close(hot.fd);
    switch (delivery.state) {
        case DeliveryState::Done:
            return report("INFO: Saved as " + *folder + "/" + delivery.name, CUPS_BACKEND_OK);
        case DeliveryState::NoRoom:
            return wait_for_folder(delivery.error + " (" + *folder + ")");
        case DeliveryState::NotPdf:
            // The job itself is wrong, not the queue: it goes, and the queue goes on.
            return report("ERROR: " + delivery.error, CUPS_BACKEND_CANCEL);
        case DeliveryState::Failed:
            break;
    }
    return fail(delivery.error + " (" + *folder + ")");
}

}  // namespace pdf_backend
