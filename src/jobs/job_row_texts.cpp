#include "jobs/job_row_texts.h"

#include <array>
#include <cstdio>
#include <limits>

#include "config/program_globals.h"

namespace {

constexpr double kMmPerInch = 25.4;
constexpr double kInchPerMm = 0.0393701;

// Dots over dots per inch, in millimetres; both fields count as unsigned 32-bit values.
double millimetres(std::uint32_t dots, std::uint32_t dpi) {
    return static_cast<double>(dots) * kMmPerInch / static_cast<double>(dpi);
}

// Truncated toward zero. A size past the 32-bit range (a header of nonsense) saturates, so it
// fails the limits instead of wrapping to a negative length that would pass them.
std::int32_t whole_mm(double mm) {
    constexpr double kMax = std::numeric_limits<std::int32_t>::max();
    return mm >= kMax ? std::numeric_limits<std::int32_t>::max() : static_cast<std::int32_t>(mm);
}

// In single precision, as the output size has always shown it.
std::string inches_text(double mm) {
    char text[64];
    std::snprintf(text, sizeof text, "%0.4f",
                  static_cast<double>(static_cast<float>(mm * kInchPerMm)));
    return text;
}

std::string date_text(const std::optional<platform::LocalTime>& modified) {
    if (!modified) {
        return std::string(kUnknown);
    }
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", modified->year,
                  modified->month, modified->day, modified->hour, modified->minute,
                  modified->second);
    return text;
}

std::string resolution_text(std::uint32_t x_dpi, std::uint32_t y_dpi) {
    char text[64];
    std::snprintf(text, sizeof text, "%2d x %2d dpi", static_cast<int>(x_dpi),
                  static_cast<int>(y_dpi));
    return text;
}

std::string direction_text(std::uint8_t header_direction, int setting) {
    if (setting == 0) {
        return "UniDirection";
    }
    if (setting == 1) {
        return "BiDirection";
    }
    return header_direction == 0 ? "UniDirection" : "BiDirection";
}

bool within_size_limits(std::int32_t width_mm, std::int32_t length_mm) {
    return width_mm >= g_min_width_mm && width_mm <= g_max_width_mm && length_mm <= g_max_length_mm;
}

}  // namespace

std::string_view print_mode_text(std::uint8_t ink_mode) {
    static constexpr std::array<std::string_view, 14> kNames = {
        "",
        "Color-KCMY",
        "4White",
        "2White",
        "2Vanish",
        "Color+4White",
        "4White+Color",
        "Color+2White",
        "2White+Color",
        "Color+2Vanish",
        "2Vanish+Color",
        "",
        "",
        "8White",
    };
    return ink_mode < kNames.size() ? kNames[ink_mode] : std::string_view();
}

std::optional<JobSizeMm> job_size_mm(const PrnHeader& header) {
    if (header.x_dpi == 0 || header.y_dpi == 0) {
        return std::nullopt;
    }
    return JobSizeMm{whole_mm(millimetres(header.width_dots, header.x_dpi)),
                     whole_mm(millimetres(header.line_count, header.y_dpi))};
}

AnalysedJob analyse_job(const PrnHeader& header, std::uint64_t file_size,
                        const std::optional<platform::LocalTime>& modified, int direction_setting) {
    AnalysedJob job;
    // A header without a resolution has no size: such a file is treated as no print file at
    // all, and nothing is divided by zero.
    const bool has_resolution = header.x_dpi != 0 && header.y_dpi != 0;
    const double width = has_resolution ? millimetres(header.width_dots, header.x_dpi) : 0;
    const double length = has_resolution ? millimetres(header.line_count, header.y_dpi) : 0;
    const JobSizeMm size = job_size_mm(header).value_or(JobSizeMm{});
    job.width_mm = size.width;
    job.length_mm = size.length;
    job.format_error = file_size < kMinJobFileSize || !has_resolution;
    const bool fits = within_size_limits(job.width_mm, job.length_mm);
    job.wait = fits && !job.format_error;

    job.print_mode = print_mode_text(header.ink_mode);
    job.output_size = fits ? inches_text(width) + "\" x " + inches_text(length) + "\""
                           : std::string(kLimitedPrintSize);
    job.date_modified = date_text(modified);
    job.resolution = resolution_text(header.x_dpi, header.y_dpi);
    job.print_direction = direction_text(header.direction, direction_setting);
    return job;
}

bool sends_automatically(const AnalysedJob& job) {
    return job.wait && job.width_mm > g_min_width_mm && job.width_mm < g_max_width_mm &&
           job.length_mm <= g_max_length_mm;
}
