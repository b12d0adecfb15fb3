#include "usb/driver/sim/printed_sheet.h"

#include <QColor>
#include <QImage>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>

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
// The largest picture side; a larger sheet is drawn with several cells to a pixel row.
constexpr std::int64_t kMaxPictureRows = 8192;

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

// Cells are kept from kCellBias below the job's start, so that the rows just ahead of it
// (the half-pitch slots' first row) have a place.
constexpr std::int64_t kCellBias = 1 << 16;

std::uint64_t key(std::int64_t cell, std::uint32_t x) {
    return static_cast<std::uint64_t>(cell + kCellBias) << 24 | x;
}

std::int64_t cell_of(std::uint64_t at) {
    return static_cast<std::int64_t>(at >> 24) - kCellBias;
}

// A sheet is kept for test and demo jobs; past this many dots a job's sheet is cut off and
// marked so, rather than filling the memory.
constexpr std::uint64_t kMaxDots = 20'000'000;

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
    total_dots_ = 0;
    cut_off_ = false;
    for (Slot& slot : slots_) {
        slot = Slot{};
    }
}

void PrintedSheet::print_band(bool backward) {
    const std::uint32_t columns = std::min<std::uint32_t>(
        column_count_, static_cast<std::uint32_t>(band_.size() / kColumnBytes));
    for (std::uint32_t c = 0; c < columns; ++c) {
        const std::uint8_t* column = band_.data() + std::size_t{c} * kColumnBytes;
        for (int k = 0; k < 8; ++k) {
            const std::int64_t x = backward ? std::int64_t{column_count_} - 1 - kSlotOffset[k] - c
                                            : std::int64_t{c} - kSlotOffset[k];
            if (x < 0) {
                continue;
            }
            const std::uint8_t* bytes = column + 315 - 45 * k;
            const std::int64_t ahead = k % 2 == 0 ? kStepsPerNozzleRow / 2 : 0;
            for (int j = 0; j < 45; ++j) {
                const std::uint8_t v = bytes[j];
                for (int q = 0; q < 4 && v != 0; ++q) {
                    if (((v >> (6 - 2 * q)) & 3) == 0) {
                        continue;
                    }
                    const std::int64_t row = (44 - j) * 4 + q;
                    const std::int64_t y = position_ + row * kStepsPerNozzleRow - ahead;
                    const std::int64_t cell =
                        y >= 0 ? y / kStepsPerCell : -((-y + kStepsPerCell - 1) / kStepsPerCell);
                    if (cell < -kCellBias || total_dots_ >= kMaxDots) {
                        cut_off_ = true;
                        continue;
                    }
                    ++total_dots_;
                    Slot& slot = slots_[k];
                    std::uint8_t& dots = slot.cells[key(cell, static_cast<std::uint32_t>(x))];
                    ++slot.dots;
                    slot.twice += dots > 0 ? 1 : 0;
                    dots = dots < 255 ? dots + 1 : dots;
                }
            }
        }
    }
}

void PrintedSheet::write_job() {
    char name[32];
    std::snprintf(name, sizeof name, "sheet-%03u", job_number_++);
    std::string json = "{\"slots\":[";
    std::int64_t min_cell = std::numeric_limits<std::int64_t>::max(), max_cell = 0;
    std::uint32_t width = 1;
    for (int k = 0; k < 8; ++k) {
        const Slot& slot = slots_[k];
        json += std::string(k > 0 ? "," : "") + "{\"slot\":" + std::to_string(k + 1) +
                ",\"dots\":" + std::to_string(slot.dots) +
                ",\"twice\":" + std::to_string(slot.twice) + "}";
        for (const auto& [at, dots] : slot.cells) {
            const std::int64_t cell = cell_of(at);
            min_cell = std::min(min_cell, cell);
            max_cell = std::max(max_cell, cell);
            width = std::max<std::uint32_t>(width, static_cast<std::uint32_t>(at & 0xFFFFFF) + 1);
        }
    }
    json += std::string("],\"cut_off\":") + (cut_off_ ? "true" : "false") + "}\n";
    std::ofstream(folder_ / (std::string(name) + ".json")) << json;
    if (min_cell > max_cell) {
        min_cell = max_cell = 0;
    }
    const std::int64_t rows = max_cell - min_cell + 1;
    const std::int64_t per_row = (rows + kMaxPictureRows - 1) / kMaxPictureRows;
    QImage picture(static_cast<int>(width), static_cast<int>((rows + per_row - 1) / per_row),
                   QImage::Format_RGB32);
    picture.fill(Qt::white);
    for (int k = 0; k < 8; ++k) {
        for (const auto& [at, dots] : slots_[k].cells) {
            const int x = static_cast<int>(at & 0xFFFFFF);
            const int y = static_cast<int>((cell_of(at) - min_cell) / per_row);
            // Inks multiply on the media.
            const QColor under = picture.pixelColor(x, y);
            picture.setPixelColor(
                x, y,
                QColor(under.red() * kInk[k].red() / 255, under.green() * kInk[k].green() / 255,
                       under.blue() * kInk[k].blue() / 255));
        }
    }
    // Saved beside its final name and renamed, so whoever waits for the picture never opens
    // half of one.
    const std::filesystem::path target = folder_ / (std::string(name) + ".png");
    std::filesystem::path partial = target;
    partial += ".part";
    if (picture.save(QString::fromStdString(partial.string()), "PNG")) {
        std::error_code ignored;
        std::filesystem::rename(partial, target, ignored);
    }
}

}  // namespace usb::sim
