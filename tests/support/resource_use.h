#pragma once

#include <cstdint>
#include <functional>
#include <optional>

// What a piece of work costs, measured from outside it: the bytes it reads and the memory it
// takes at its peak. Both hold under the sanitizers, whose reservations of address space make a
// limit on that space (RLIMIT_AS) useless as a measure.
namespace test_support {

// Bytes the calling thread read with read calls (of any file) while `work` ran, as the kernel
// counts them (/proc/thread-self/io "rchar").
std::uint64_t bytes_read_by(const std::function<void()>& work);

// How far the resident memory of a child process running `work` rose above what it held when
// the work began (its peak, reset first through /proc/self/clear_refs), in bytes; nothing when
// the child could not measure it or `work` ended it otherwise.
std::optional<std::uint64_t> peak_memory_growth_of(const std::function<void()>& work);

}  // namespace test_support
