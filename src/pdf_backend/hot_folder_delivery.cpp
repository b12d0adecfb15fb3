#include "pdf_backend/hot_folder_delivery.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

// A temporary name of this process that nobody else uses; it starts with "." and does not end in
// ".pdf", so nothing takes the file for a finished PDF.
int create_temporary(int folder_fd, std::string& name) {
    for (int n = 0;; ++n) {
        name = ".velquorin-pdf-" + std::to_string(getpid()) + "-" + std::to_string(n) + ".part";
        const int fd = openat(folder_fd, name.c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
}

// Copies the input to the file and makes sure it is on the disk; 0 or the error.
int copy_input(int input, int fd, WriteCall write_call) {
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
        for (ssize_t done = 0; done < got;) {
            const ssize_t put =
                write_call(fd, buffer.data() + done, static_cast<std::size_t>(got - done));
            if (put < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return errno;
            }
            done += put;
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
    std::string temporary;
    const int fd = create_temporary(folder_fd, temporary);
    if (fd < 0) {
        return failed(errno, "Cannot create a file in the hot folder");
    }
    int error = copy_input(input, fd, write_call);
    if (close(fd) != 0 && error == 0) {
        error = errno;
    }
    if (error != 0) {
        unlinkat(folder_fd, temporary.c_str(), 0);
        return failed(error, "Cannot write the PDF into the hot folder");
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
        unlinkat(folder_fd, temporary.c_str(), 0);
        return failed(error, "Cannot name the PDF " + target + " in the hot folder");
    }
    // The new name itself reaches the disk too.
    fsync(folder_fd);
    return {DeliveryState::Done, target, {}};
}

}  // namespace pdf_backend
