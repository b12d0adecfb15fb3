#include "analysis/file_reads.h"

#include <unistd.h>

#include <cerrno>

namespace analysis {

namespace {

template <class Read>
long read_until_done(std::uint8_t* into, std::size_t count, Read&& read_at) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got = read_at(into + done, count - done, done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return -1;
        }
        if (got == 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    return static_cast<long>(done);
}

}  // namespace

long read_fully(int fd, std::uint8_t* into, std::size_t count) {
    return read_until_done(into, count, [fd](std::uint8_t* at, std::size_t n, std::size_t) {
        return ::read(fd, at, n);
    });
}

long pread_fully(int fd, std::uint8_t* into, std::size_t count, off_t offset) {
    return read_until_done(into, count,
                           [fd, offset](std::uint8_t* at, std::size_t n, std::size_t done) {
                               return ::pread(fd, at, n, offset + static_cast<off_t>(done));
                           });
}

}  // namespace analysis
