#include "analysis/file_reads.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace analysis {

namespace {

std::atomic<std::int64_t> g_fail_reads_from{-1};

// What a test's damaged disk lets a read of `want` bytes at `position` have: up to the damage,
// then nothing but the error. False for the error.
bool read_allowed(std::int64_t damage, off_t position, std::size_t& want) {
    if (position + static_cast<std::int64_t>(want) <= damage) {
        return true;
    }
    if (position >= damage) {
        errno = EIO;
        return false;
    }
    want = static_cast<std::size_t>(damage - position);
    return true;
}

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
        const std::int64_t damage = g_fail_reads_from.load();
        if (damage >= 0 && !read_allowed(damage, ::lseek(fd, 0, SEEK_CUR), n)) {
            return ssize_t{-1};
        }
        return ::read(fd, at, n);
    });
}

long pread_fully(int fd, std::uint8_t* into, std::size_t count, off_t offset) {
    return read_until_done(into, count,
                           [fd, offset](std::uint8_t* at, std::size_t n, std::size_t done) {
                               const off_t position = offset + static_cast<off_t>(done);
                               const std::int64_t damage = g_fail_reads_from.load();
                               if (damage >= 0 && !read_allowed(damage, position, n)) {
                                   return ssize_t{-1};
                               }
                               return ::pread(fd, at, n, position);
                           });
}

namespace file_reads_detail {

void fail_reads_from(std::int64_t offset) {
    g_fail_reads_from = offset;
}

}  // namespace file_reads_detail

}  // namespace analysis
