#include "pdf_backend/backend_job.h"

#include <cups/backend.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

#include "pdf_backend/folder_owner.h"
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

}  // namespace

int run_backend_job(const std::string& device_uri, const std::string& title, int input,
                    WriteCall write_call) {
    const std::optional<std::string> folder = hot_folder_from_device_uri(device_uri);
    if (!folder) {
        return fail("The device URI " + device_uri + " names no hot folder");
    }
    const FolderOwner owner = become_folder_owner(*folder);
    if (owner.state == FolderState::Missing) {
        return wait_for_folder(owner.error);
    }
    if (owner.state != FolderState::Ready) {
        return fail(owner.error);
    }
    const int folder_fd = open(folder->c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder_fd < 0) {
        if (errno == ENOENT) {
            return wait_for_folder("The hot folder " + *folder + " does not exist");
        }
        return fail("Cannot open the hot folder " + *folder + ": " + std::strerror(errno));
    }
    struct stat opened {};
    if (fstat(folder_fd, &opened) != 0 || opened.st_dev != owner.seen.st_dev ||
        opened.st_ino != owner.seen.st_ino) {
        // Replaced between the look and the open: what is there now was never checked.
        close(folder_fd);
        return fail("The hot folder " + *folder + " changed while it was opened");
    }
    const Delivery delivery = deliver_pdf(folder_fd, pdf_file_name(title), input, write_call);
    close(folder_fd);
    switch (delivery.state) {
        case DeliveryState::Done:
            return report("INFO: Saved as " + *folder + "/" + delivery.name, CUPS_BACKEND_OK);
        case DeliveryState::NoRoom:
            return wait_for_folder(delivery.error + " (" + *folder + ")");
        case DeliveryState::Failed:
            break;
    }
    return fail(delivery.error + " (" + *folder + ")");
}

}  // namespace pdf_backend
