#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

// Reads of a print file that go on until the bytes asked for are in or the file ends, so that
// a read cut short by a signal or a pipe-sized transfer is never taken for the file's end.
namespace analysis {

// From the current position; the bytes read, -1 on a read error.
long read_fully(int fd, std::uint8_t* into, std::size_t count);
// From `offset`, leaving the position as it is; the bytes read, -1 on a read error.
long pread_fully(int fd, std::uint8_t* into, std::size_t count, off_t offset);

namespace file_reads_detail {
// Tests: reads of a print file stop at byte `offset`, and a read from there on fails as a read
// of a damaged disk does (EIO); a negative offset ends it.
void fail_reads_from(std::int64_t offset);
}  // namespace file_reads_detail

}  // namespace analysis
