#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <span>

#include "usb/driver/sim/printed_sheet.h"
#include "usb/driver/sim/sha256.h"

// Writes what the simulated printer receives and answers, as it happens, to events.jsonl in a
// capture folder: one JSON object per line for every command frame, every status byte
// answered and every band (the bulk OUT bytes received between two command frames), and,
// when asked, each band's bytes in band-NNNNNN.bin beside it; at the end of each job the
// printed sheet (printed_sheet.h).
namespace usb::sim {

class Recorder {
  public:
    // The recorder VELQUORIN_SIM_CAPTURE asks for (band files with
    // VELQUORIN_SIM_CAPTURE_BANDS=1); null when it is unset.
    static std::unique_ptr<Recorder> from_environment();

    Recorder(const std::filesystem::path& folder, bool keep_bands);
    // Ends a band still open.
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    bool ok() const { return events_ != nullptr; }

    void command(std::span<const std::uint8_t> frame);
    void status(std::uint8_t byte);
    void bulk(std::span<const std::uint8_t> data);

  private:
    void end_band_locked();
    void line_locked(const std::string& json);

    std::mutex mutex_;
    std::filesystem::path folder_;
    bool keep_bands_;
    // Close-on-exec, as every file of the program: a program started meanwhile must not keep
    // the record open.
    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    using File = std::unique_ptr<std::FILE, FileCloser>;
    static File create(const std::filesystem::path& path);

    File events_;
    bool band_open_ = false;
    std::uint64_t band_bytes_ = 0;
    unsigned band_number_ = 0;
    Sha256 digest_;
    File band_file_;
    PrintedSheet sheet_;
};

}  // namespace usb::sim
