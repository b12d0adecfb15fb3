#include "pdf_backend/hot_folder_delivery.h"

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "pdf_backend/pdf_file_name.h"

namespace pdf_backend {
namespace {

// More numbered names than any burst of one title can take; beyond them something is wrong.
constexpr int kMaxNumberedNames = 10000;

bool is_out_of_room(int error) {
    return error == ENOSPC || error == EDQUOT;
}

Delivery failed(int error, const std::string& what) {
    return {is_out_of_room(error) ? DeliveryState::NoRoom : DeliveryState::Failed,
            {},
            what + ": " + std::strerror(error)};
}

// The temporary file of the delivery under way, for the SIGTERM handler: the print system ends a
// cancelled job's backend so, and the file must not stay behind. Set before the file is made
// and cleared once it has its PDF name, so that the handler at worst removes a name that is
// gone already; a name that holds this process's id is nobody else's.
int g_temporary_folder = -1;
char g_temporary_name[64];
volatile sig_atomic_t g_temporary_set = 0;

void remove_temporary_and_end(int signal_number) {
    if (g_temporary_set != 0) {
        unlinkat(g_temporary_folder, g_temporary_name, 0);
    }
    // Ended by the signal, as the print system expects of a cancelled job.
    ::signal(signal_number, SIG_DFL);
    ::raise(signal_number);
}

void remove_temporary_on_termination() {
    struct sigaction action {};
    action.sa_handler = remove_temporary_and_end;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
}

void forget_temporary() {
    g_temporary_set = 0;
}

// A temporary name of this process that nobody else uses; it starts with "." and does not end in
// ".pdf", so nothing takes the file for a finished PDF.
int create_temporary(int folder_fd, std::string& name) {
    for (int n = 0;; ++n) {
        name = ".velquorin-pdf-" + std::to_string(getpid()) + "-" + std::to_string(n) + ".part";
        forget_temporary();
        std::snprintf(g_temporary_name, sizeof g_temporary_name, "%s", name.c_str());
        g_temporary_folder = folder_fd;
        g_temporary_set = 1;
        const int fd = openat(folder_fd, name.c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            return fd;
        }
        forget_temporary();
        if (errno != EEXIST) {
            return fd;
        }
    }
}

// Reads until `bytes` holds `size` bytes or the input ends; 0 or the error.
int read_some(int input, std::size_t size, std::string& bytes) {
    while (bytes.size() < size) {
        char buffer[kPdfMarkerWithin];
        const ssize_t got = read(input, buffer, std::min(sizeof buffer, size - bytes.size()));
        if (got == 0) {
            return 0;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        bytes.append(buffer, static_cast<std::size_t>(got));
        if (bytes.find(kPdfMarker) != std::string::npos) {
            return 0;  // the marker is all it takes
        }
    }
    return 0;
}

int write_all(int fd, const char* data, std::size_t size, WriteCall write_call) {
    for (std::size_t done = 0; done < size;) {
        const ssize_t put = write_call(fd, data + done, size - done);
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        done += static_cast<std::size_t>(put);
    }
    return 0;
}

// Writes what was read already, copies the rest of the input to the file and makes sure it is
// on the disk; 0 or the error.
int copy_input(const std::string& head, int input, int fd, WriteCall write_call) {
    if (const int error = write_all(fd, head.data(), head.size(), write_call); error != 0) {
        return error;
    }
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        const ssize_t got = read(input, buffer.data(), buffer.size());
        if (got == 0) {
            break;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (const int error =
                write_all(fd, buffer.data(), static_cast<std::size_t>(got), write_call);
            error != 0) {
            return error;
        }
    }
    return fsync(fd) == 0 ? 0 : errno;
}

// Gives the temporary file the name without ever replacing a file of that name; 0, EEXIST when
// the name is taken, or another error.
int rename_without_replacing(int folder_fd, const std::string& from, const std::string& to) {
    if (renameat2(folder_fd, from.c_str(), folder_fd, to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
    // A file system without that kind of rename: a second link never replaces either.
    if (linkat(folder_fd, from.c_str(), folder_fd, to.c_str(), 0) != 0) {
        return errno;
    }
    unlinkat(folder_fd, from.c_str(), 0);
    return 0;
}

}  // namespace

Delivery deliver_pdf(int folder_fd, std::string_view name, int input, WriteCall write_call) {
    std::string head;
    if (const int error = read_some(input, kPdfMarkerWithin, head); error != 0) {
        return failed(error, "Cannot read the job");
    }
    const std::size_t marker = head.find(kPdfMarker);
    if (marker == std::string::npos || marker + kPdfMarker.size() > kPdfMarkerWithin) {
        return {DeliveryState::NotPdf,
                {},
                "The job is no PDF (a raw job?); a virtual printer saves only PDF"};
    }
    remove_temporary_on_termination();
    std::string temporary;
    const int fd = create_temporary(folder_fd, temporary);
    if (fd < 0) {
        return failed(errno, "Cannot create a file in the hot folder");
    }
    // The file stays open until it has its PDF name: a file in a hot folder that is no PDF and
    // that nothing writes is the collector's to delete, and this one is the job's until then.
    const auto give_up = [&](int error, const std::string& what) {
        unlinkat(folder_fd, temporary.c_str(), 0);
        forget_temporary();
        close(fd);
        return failed(error, what);
    };
    int error = copy_input(head, input, fd, write_call);
    if (error != 0) {
        return give_up(error, "Cannot write the PDF into the hot folder");
    }
    std::string target(name);
    for (int n = 2;; ++n) {
        error = rename_without_replacing(folder_fd, temporary, target);
        if (error != EEXIST || n > kMaxNumberedNames) {
            break;
        }
        target = numbered_pdf_name(name, n);
    }
    if (error != 0) {
        return give_up(error, "Cannot name the PDF " + target + " in the hot folder");
    }
    forget_temporary();
    // On the disk already (flushed before the rename), so a failing close loses nothing.
    close(fd);
    // The new name itself reaches the disk too.
    fsync(folder_fd);
    return {DeliveryState::Done, target, {}};
}

}  // namespace pdf_backend
