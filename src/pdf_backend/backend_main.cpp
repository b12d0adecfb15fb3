// velquorin-pdf: the print-system backend of the virtual printers. CUPS runs it as root for
// each job with the job's PDF on standard input (or in the file named last); the queue's
// device URI names the hot folder. Run without arguments it lists its device.
#include <cups/backend.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "pdf_backend/backend_job.h"
#include "pdf_backend/hot_folder_uri.h"
#include "pdf_backend/virtual_printer_ppd.h"

int main(int argc, char** argv) {
    if (argc == 1) {
        // One device for CUPS-Get-Devices: the scheme, whose queues each name their folder.
        std::printf("file %s:/ \"%s\" \"Velquorin virtual printer (PDF into a hot folder)\"\n",
                    std::string(pdf_backend::kHotFolderScheme).c_str(),
                    std::string(pdf_backend::kPpdMakeAndModel).c_str());
        return CUPS_BACKEND_OK;
    }
    if (argc != 6 && argc != 7) {
        std::fprintf(stderr, "Usage: velquorin-pdf job-id user title copies options [file]\n");
        return CUPS_BACKEND_FAILED;
    }
    const char* device_uri = std::getenv("DEVICE_URI");
    // The job's file lies in the print system's spool, which the folder's owner may not read:
    // it is opened before the backend gives up root.
    int input = STDIN_FILENO;
    if (argc == 7) {
        input = open(argv[6], O_RDONLY | O_CLOEXEC);
        if (input < 0) {
            std::fprintf(stderr, "ERROR: Cannot open the job's file %s: %s\n", argv[6],
                         std::strerror(errno));
            return CUPS_BACKEND_FAILED;
        }
    }
    return pdf_backend::run_backend_job(device_uri != nullptr ? device_uri : argv[0], argv[3],
                                        input);
}
