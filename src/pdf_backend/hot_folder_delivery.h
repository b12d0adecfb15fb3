#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <string>
#include <string_view>

// Puts one job's PDF into an open hot folder so that nobody ever sees half of it: the bytes go
// into a hidden temporary file, reach the disk, and the file is renamed to its PDF name only
// then. A name already taken is never replaced; the PDF takes the next numbered name instead.
// Only a PDF is taken: what does not begin as one (a raw job, which the print system hands on
// unconverted) is refused before anything is written.
namespace pdf_backend {

enum class DeliveryState {
    Done,
    NoRoom,  // the folder's file system is full (or the owner's quota): worth trying later
    NotPdf,  // the job is no PDF: nothing to try again
    Failed,
};

struct Delivery {
    DeliveryState state = DeliveryState::Failed;
    std::string name;   // the PDF's name in the folder, when Done
    std::string error;  // what went wrong, otherwise
};

// The write the delivery uses; the tests put one in its place that runs out of room.
using WriteCall = ssize_t (*)(int fd, const void* data, std::size_t size);

// A PDF begins with this marker within its first kPdfMarkerWithin bytes, as readers of PDF
// allow.
inline constexpr std::string_view kPdfMarker = "%PDF-";
inline constexpr std::size_t kPdfMarkerWithin = 1024;

// Copies everything `input` delivers until its end into the folder open as `folder_fd`, under
// `name` or, when that is taken, the first free numbered name. Nothing of the job is left in
// the folder unless it is Done, not even when the process is ended with SIGTERM (as the print
// system cancels a job) while it delivers.
Delivery deliver_pdf(int folder_fd, std::string_view name, int input,
                     WriteCall write_call = ::write);

}  // namespace pdf_backend
