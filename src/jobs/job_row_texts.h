#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/prn_header.h"
#include "platform/files.h"

// What the job analyser makes of one print file: its state, its sizes in whole millimetres and
// the texts of its job-queue cells, from the header, the file size and the last-write time.
// Nothing here touches the window, so every size and text rule can be checked on its own.

// The print-direction setting ("Print_direction_set") that lets the header decide; also taken
// when the settings file is missing.
inline constexpr int kDirectionFromHeader = 2;

// Files shorter than this are not print files ("File format Error").
inline constexpr std::uint64_t kMinJobFileSize = 1000;

// The cell texts of a job whose file is not a print file.
inline constexpr std::string_view kFileFormatError = "File format Error";
inline constexpr std::string_view kLimitedPrintSize = "Limited Print Size";
inline constexpr std::string_view kUnknown = "Unknow";

struct AnalysedJob {
    // The sizes truncated to whole millimetres; every size test uses these.
    std::int32_t width_mm = 0;
    std::int32_t length_mm = 0;
    // "Wait" when the job is printable, else "Error".
    bool wait = false;
    // A file too short to be a print file, or one without a resolution: the error texts
    // replace the print mode, output size, date and resolution, and the 3D level is "N/A".
    bool format_error = false;
    std::string print_mode;
    std::string output_size;
    std::string date_modified;
    std::string resolution;
    std::string print_direction;
};

// A job's width (across, by the header's x resolution) and length (along the feed, by its y
// resolution) in whole millimetres, truncated toward zero and held at the 32-bit limit; nothing
// for a header without a resolution. The analyser and the operator's Print apply the size
// limits to these same figures.
struct JobSizeMm {
    std::int32_t width = 0;
    std::int32_t length = 0;
};
std::optional<JobSizeMm> job_size_mm(const PrnHeader& header);

// direction_setting is "Print_direction_set": 0 and 1 force one or both directions, any other
// value keeps the header's. modified is the file's local last-write time.
AnalysedJob analyse_job(const PrnHeader& header, std::uint64_t file_size,
                        const std::optional<platform::LocalTime>& modified, int direction_setting);

// Whether a job goes to printing by itself once automatic sending is on: a "Wait" job of 30 to
// 500 mm width, whose length is within the limit. 29 and 501 mm are printable by hand only.
bool sends_automatically(const AnalysedJob& job);

// The ink mode's name; empty for a mode without one.
std::string_view print_mode_text(std::uint8_t ink_mode);
