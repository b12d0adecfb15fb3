#include "usb/driver/sim/printed_sheet.h"

#include <QColor>
#include <QImage>
#include <QList>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/files.h"

namespace usb::sim {
namespace {

constexpr std::uint8_t kPassUni = 0x38;
constexpr std::uint8_t kPassForward = 0x02;
constexpr std::uint8_t kPassBackward = 0x03;
constexpr std::uint8_t kColumnCount = 0x01;
constexpr std::uint8_t kYPosition = 0x62;
constexpr std::uint8_t kSkipFeed = 0x73;
constexpr std::uint8_t kCheckReady = 0xA6;
constexpr std::uint8_t kEndOfPrint = 0xAA;

constexpr std::uint32_t kColumnBytes = 360;
constexpr std::uint32_t kSlotOffset[8] = {0, 64, 280, 344, 560, 624, 840, 904};
// The largest picture side; a larger sheet is drawn smaller, keeping its aspect.
constexpr std::int64_t kMaxPictureSide = 8192;
// The fastest compression that still packs the large blank and solid areas of a sheet.
constexpr int kPngQuality = 80;

// Ink colours of the installed channel order, as what each dot leaves on white.
const QColor kInk[8] = {{0, 0, 0},       {0, 174, 239},   {236, 0, 140},   {255, 212, 0},
                        {170, 190, 210}, {150, 170, 200}, {230, 190, 120}, {210, 170, 100}};

std::uint32_t u32_at(std::span<const std::uint8_t> frame) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4 && 2 + i < frame.size(); ++i) {
        value |= std::uint32_t{frame[2 + i]} << (8 * i);
    }
    return value;
}

std::int64_t floor_div(std::int64_t a, std::int64_t b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

// The end of the inked part of a row: one past its last non-zero byte, 0 for a blank row.
// Whole words first, since most of a sheet's rows end blank.
std::uint32_t inked_end(const std::uint8_t* row, std::uint32_t size) {
    std::uint32_t end = size;
    while (end >= 8) {
        std::uint64_t word;
        std::memcpy(&word, row + end - 8, 8);
        if (word != 0) {
            break;
        }
        end -= 8;
    }
    while (end > 0 && row[end - 1] == 0) {
        --end;
    }
    return end;
}

// ORs a row of cells into a picture row, `shrink` cells to a pixel.
void or_row(std::uint8_t* into, const std::uint8_t* row, std::uint32_t size, std::int64_t shrink) {
    if (shrink != 1) {
        for (std::uint32_t x = 0; x < size; ++x) {
            into[x / shrink] |= row[x];
        }
        return;
    }
    std::uint32_t x = 0;
    for (; x + 8 <= size; x += 8) {
        std::uint64_t a, b;
        std::memcpy(&a, into + x, 8);
        std::memcpy(&b, row + x, 8);
        a |= b;
        std::memcpy(into + x, &a, 8);
    }
    for (; x < size; ++x) {
        into[x] |= row[x];
    }
}

constexpr int kNozzleRows = 180;
// Cells of one picture row: 144 steps, a line at 720 dpi, as a column is 1/720 inch across.
constexpr std::int64_t kCellsPerPictureRow = 4;

}  // namespace

void PrintedSheet::command(std::span<const std::uint8_t> frame) {
    if (frame.size() < 2) {
        return;
    }
    const std::uint8_t code = frame[1];
    switch (code) {
        case kCheckReady:
            start_job();
            break;
        case kColumnCount:
            column_count_ = u32_at(frame);
            break;
        case kYPosition:
            y_value_ = static_cast<std::int32_t>(u32_at(frame));
            break;
        case kSkipFeed:
            position_ += y_value_;
            break;
        case kPassUni:
        case kPassForward:
        case kPassBackward:
            // The nozzle check prints its one pass without the job's ready check: a pass
            // outside a job starts a sheet of its own, ended by the end-of-print command.
            if (!in_job_) {
                start_job();
            }
            if (!band_.empty()) {
                print_band(code == kPassBackward);
            }
            position_ += y_value_;
            break;
        case kEndOfPrint:
            if (in_job_) {
                write_job();
                in_job_ = false;
            }
            break;
        default:
            break;
    }
    band_.clear();  // a band is the data between two command frames
}

void PrintedSheet::bulk(std::span<const std::uint8_t> data) {
    band_.insert(band_.end(), data.begin(), data.end());
}

void PrintedSheet::start_job() {
    in_job_ = true;
    position_ = 0;
    cut_off_ = false;
    dots_.fill(0);
    twice_.fill(0);
    cells_.clear();  // keeps its memory for this job
    first_row_ = 0;
    rows_ = 0;
    width_ = 0;
}

bool PrintedSheet::cover(std::int64_t first, std::int64_t last, std::uint32_t width) {
    if (rows_ == 0) {
        first_row_ = first;
    }
    const std::int64_t new_first = std::min(first, first_row_);
    const std::int64_t new_rows = std::max(last + 1, first_row_ + rows_) - new_first;
    const std::uint32_t new_width = std::max(width, width_);
    if (static_cast<std::uint64_t>(new_rows) * new_width > max_cells_) {
        return false;
    }
    if (new_width != width_ && rows_ > 0) {
        // A wider pass later in the job: the rows are laid out again at the new width.
        std::vector<std::uint8_t> wider(static_cast<std::size_t>(rows_) * new_width, 0);
        for (std::int64_t r = 0; r < rows_; ++r) {
            std::memcpy(wider.data() + r * new_width, cells_.data() + r * width_, width_);
        }
        cells_.swap(wider);
    }
    width_ = new_width;
    if (new_first < first_row_) {
        cells_.insert(cells_.begin(), static_cast<std::size_t>(first_row_ - new_first) * width_, 0);
    }
    first_row_ = new_first;
    rows_ = new_rows;
    cells_.resize(static_cast<std::size_t>(rows_) * width_, 0);
    return true;
}

void PrintedSheet::print_band(bool backward) {
    const std::uint32_t columns = std::min<std::uint32_t>(
        column_count_, static_cast<std::uint32_t>(band_.size() / kColumnBytes));
    if (columns == 0) {
        return;
    }
    // Every dot of the pass lies between row 0 of the slots ahead and row 179 of the others.
    const std::int64_t first = floor_div(position_ - kStepsPerNozzleRow / 2, kStepsPerCell);
    const std::int64_t last =
        floor_div(position_ + (kNozzleRows - 1) * kStepsPerNozzleRow, kStepsPerCell);
    if (!cover(first, last, column_count_)) {
        cut_off_ = true;
        return;
    }
    // Where each nozzle row's cells begin in the grid, for the slots behind and ahead.
    std::size_t row_at[2][kNozzleRows];
    for (int ahead = 0; ahead < 2; ++ahead) {
        for (int row = 0; row < kNozzleRows; ++row) {
            const std::int64_t y =
                position_ + row * kStepsPerNozzleRow - ahead * (kStepsPerNozzleRow / 2);
            row_at[ahead][row] =
                static_cast<std::size_t>(floor_div(y, kStepsPerCell) - first_row_) * width_;
        }
    }
    for (std::uint32_t c = 0; c < columns; ++c) {
        const std::uint8_t* column = band_.data() + std::size_t{c} * kColumnBytes;
        for (int k = 0; k < 8; ++k) {
            const std::int64_t x = backward ? std::int64_t{column_count_} - 1 - kSlotOffset[k] - c
                                            : std::int64_t{c} - kSlotOffset[k];
            if (x < 0) {
                continue;
            }
            const std::uint8_t* bytes = column + 315 - 45 * k;
            const std::size_t* rows = row_at[k % 2 == 0 ? 1 : 0];
            const std::uint8_t bit = static_cast<std::uint8_t>(1u << k);
            for (int j = 0; j < 45; ++j) {
                const std::uint8_t v = bytes[j];
                if (v == 0) {
                    continue;
                }
                for (int q = 0; q < 4; ++q) {
                    if (((v >> (6 - 2 * q)) & 3) == 0) {
                        continue;
                    }
                    std::uint8_t& cell =
                        cells_[rows[(44 - j) * 4 + q] + static_cast<std::size_t>(x)];
                    ++dots_[k];
                    twice_[k] += (cell & bit) != 0 ? 1 : 0;
                    cell |= bit;
                }
            }
        }
    }
}

void PrintedSheet::write_job() {
    char name[32];
    std::snprintf(name, sizeof name, "sheet-%03u", job_number_++);
    std::string json = "{\"slots\":[";
    for (int k = 0; k < 8; ++k) {
        json += std::string(k > 0 ? "," : "") + "{\"slot\":" + std::to_string(k + 1) +
                ",\"dots\":" + std::to_string(dots_[k]) +
                ",\"twice\":" + std::to_string(twice_[k]) + "}";
    }
    json += std::string("],\"cut_off\":") + (cut_off_ ? "true" : "false") + "}\n";
    platform::replace_file_contents(folder_ / (std::string(name) + ".json"), json);
    write_picture(name);
}

void PrintedSheet::write_picture(const std::string& name) {
    // The extent of the dots: the rows between the first and the last with one, and the
    // columns up to the last with one.
    std::int64_t top = rows_, bottom = -1;
    std::uint32_t width = 0;
    for (std::int64_t r = 0; r < rows_; ++r) {
        const std::uint32_t end = inked_end(cells_.data() + r * width_, width_);
        if (end > 0) {
            top = std::min(top, r);
            bottom = r;
            width = std::max(width, end);
        }
    }
    // Across, the picture holds the job's whole width (its columns less the head's spread), so
    // that a blank margin on the right shows as it prints.
    const std::uint32_t job_pixels =
        column_count_ > kSlotOffset[7] ? column_count_ - kSlotOffset[7] : 0;
    width = std::max({width, std::min(job_pixels, width_), std::uint32_t{1}});
    const std::int64_t cell_rows = bottom >= top ? bottom - top + 1 : 1;
    // A large sheet is drawn smaller, the same in both directions.
    const std::int64_t tall = (cell_rows + kCellsPerPictureRow - 1) / kCellsPerPictureRow;
    const std::int64_t shrink = std::max<std::int64_t>(
        1, (std::max<std::int64_t>(tall, width) + kMaxPictureSide - 1) / kMaxPictureSide);
    const int picture_width = static_cast<int>((width + shrink - 1) / shrink);
    const int picture_height = static_cast<int>((tall + shrink - 1) / shrink);
    // A pixel's value is the set of slots that put a dot in one of its cells, and its colour
    // that of their inks multiplied on white media. The picture keeps its memory from job to
    // job while its size stays.
    if (picture_.width() != picture_width || picture_.height() != picture_height) {
        picture_ = QImage(picture_width, picture_height, QImage::Format_Indexed8);
        QList<QRgb> colours(256);
        for (int bits = 0; bits < 256; ++bits) {
            int r = 255, g = 255, b = 255;
            for (int k = 0; k < 8; ++k) {
                if ((bits >> k & 1) != 0) {
                    r = r * kInk[k].red() / 255;
                    g = g * kInk[k].green() / 255;
                    b = b * kInk[k].blue() / 255;
                }
            }
            colours[bits] = qRgb(r, g, b);
        }
        picture_.setColorTable(colours);
    }
    const std::int64_t cells_per_row = kCellsPerPictureRow * shrink;
    for (int y = 0; y < picture_height; ++y) {
        std::uint8_t* line = picture_.scanLine(y);
        std::memset(line, 0, static_cast<std::size_t>(picture_width));
        const std::int64_t from = top + y * cells_per_row;
        const std::int64_t to = std::min(from + cells_per_row, bottom + 1);
        for (std::int64_t r = from; r < to; ++r) {
            or_row(line, cells_.data() + r * width_, width, shrink);
        }
    }
    // Saved beside its final name and renamed, so whoever waits for the picture never opens
    // half of one.
    const std::filesystem::path target = folder_ / (name + ".png");
    std::filesystem::path partial = target;
    partial += ".part";
    if (picture_.save(QString::fromStdString(partial.string()), "PNG", kPngQuality)) {
        std::error_code ignored;
        std::filesystem::rename(partial, target, ignored);
    }
}

}  // namespace usb::sim
