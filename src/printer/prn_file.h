#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <mutex>

// The print file of the job being printed. The job printer opens it; the protocol's abort
// tail may close it from a wait, so open and close are guarded.
class PrnFile {
  public:
    PrnFile() = default;
    ~PrnFile();
    PrnFile(const PrnFile&) = delete;
    PrnFile& operator=(const PrnFile&) = delete;

    // Opens the file for reading (closing one still open); false when it cannot be opened.
    bool open(const std::filesystem::path& path);
    // Closes the file; closing a closed file does nothing.
    void close();
    bool is_open() const;
    // The open stream, null when closed; for the reader of the print thread.
    std::FILE* stream() const;

  private:
    mutable std::mutex mutex_;
    std::FILE* file_ = nullptr;
};

extern PrnFile g_prn_file;

namespace prn_file_detail {
// Tests: print files opened from now on fail every read that reaches byte `offset` or beyond
// with EIO, as a failing disk or a pulled stick does; a negative offset ends this.
void fail_reads_from(std::int64_t offset);
}  // namespace prn_file_detail
