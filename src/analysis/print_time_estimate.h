#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// The print-time estimate: how long the printer needs for one job, from its print file, its
// row options and the settings file, without asking the printer. The bands the printer will
// print are counted (the stepping decides how many image rows a band advances), each priced
// by the image width and the passes a band takes; each stretch of blank rows the printer skips
// by feeding is priced per row and per run. Two estimators run it: the printing list's, which
// fills "Expected time" and "Pass time" of the first printing row, and the estimate dialog.

// The dialog's last result, "Time:Unknow" until one has succeeded.
extern std::string g_print_time_text;
// The print file of the next run of the estimate dialog.
extern std::string g_time_prn_path;

// The longest plane row the estimate reads.
inline constexpr std::uint32_t kTimeMaxRowBytes = 4252;

// One cell of the estimator's table: the rows one band advances (B), the head rows (T) and
// the extra milliseconds of a bidirectional pass (X, absent at 10 passes).
struct PrintTimeCell {
    std::uint32_t band_rows = 0;
    std::uint32_t head_rows = 0;
    std::optional<std::int32_t> bidir_extra_ms;
};

// Ink modes 1, 2, 3, 4, 13 and 15 are priced as single-layer jobs, every other as two-layer.
bool is_time_single_layer(std::uint8_t ink_mode);
// The cell for a printing mode, layer group, pass count and edge kind; none where the table
// has no cell (rotary at 10 passes, two-layer Braille).
std::optional<PrintTimeCell> print_time_cell(bool rotary, bool single_layer, std::uint32_t passes,
                                             std::uint8_t edge_kind);

// Which estimator runs: they differ in the tail bands and in the copies.
enum class TimeEstimator { Dialog, List };

// What one estimate takes besides the print file.
struct PrintTimeOptions {
    TimeEstimator estimator = TimeEstimator::Dialog;
    std::string level_3d;  // "Small", "Middle", "Big", "Braille" or anything else
    bool bidirectional = false;
    int copies = 1;  // the dialog's only
    bool rotary = false;
    // "all_setting.ini", or none when it does not exist (edge kind Gaussian).
    std::optional<std::filesystem::path> settings_file;
};

struct PrintTimeResult {
    bool ok = false;
    std::string message;  // why the job cannot be estimated
    std::int64_t seconds = 0;
    std::string text;    // hours ":" minutes ":" seconds
    int bands = 0;       // the bands the printer prints, tail bands included
    float blank_ms = 0;  // the price of the blank runs
};

// The price of one more run of blank rows: 3.48 ms a row plus 890 ms, summed in single
// precision.
float add_blank_run(float blank_ms, std::uint64_t run_rows);

// What the counted bands and blank runs cost, in whole seconds of one copy: each band a pass
// (the image width at 5.8 ms a millimetre plus a second; bidirectional half that plus the
// extra milliseconds) for itself and for each extra layer.
std::int64_t price_print_time(std::uint32_t row_bytes, bool bidirectional,
                              std::int32_t bidir_extra_ms, int extra_layers, std::int64_t bands,
                              float blank_ms);

// Rows read so far of the job's line count: once with 0 before the first band, then after
// every band.
using TimeProgress = std::function<void(std::uint32_t rows_done, std::uint32_t line_count)>;

// "%d" hours, minutes and seconds, each with a leading "0" when one character long.
std::string format_print_time(std::int64_t seconds);

// One estimator with its state: values a table lookup leaves unset stay from its previous
// estimate, so each estimator keeps one for the life of the program.
class PrintTimeEstimator {
  public:
    // Estimates the job whose print file is open as `fd` (read from its start).
    PrintTimeResult estimate(int fd, const PrintTimeOptions& options,
                             const TimeProgress& progress = {});
    PrintTimeResult estimate(const std::string& path, const PrintTimeOptions& options,
                             const TimeProgress& progress = {});

  private:
    std::uint32_t band_rows_ = 0;
    std::uint32_t head_rows_ = 0;
    std::int32_t bidir_extra_ms_ = 0;
};

// The options of an estimate from the texts of the job's row: the 3D level, the direction
// ("BiDirection" in the job list, "Bi" in the printing list) and, for the dialog, the copies
// (a text with any character that is not a digit counts as 1). The rotary flag and the
// settings file are the program's own.
PrintTimeOptions time_options_from_row(TimeEstimator estimator, std::string_view level_3d,
                                       std::string_view direction, std::string_view copies);
