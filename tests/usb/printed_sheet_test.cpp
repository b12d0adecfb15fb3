#include "usb/driver/sim/printed_sheet.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>

#include <cstdint>
#include <string>
#include <vector>

#include "temp_dir.h"

namespace {

using usb::sim::PrintedSheet;

constexpr std::uint32_t kPixels = 40;
constexpr std::uint32_t kColumns = kPixels + 904;

std::vector<std::uint8_t> frame(std::uint8_t code, std::uint32_t value = 0, std::size_t size = 2) {
    std::vector<std::uint8_t> f = {0xFF, code};
    for (std::size_t i = 2; i < size; ++i) {
        f.push_back(static_cast<std::uint8_t>(value >> (8 * (i - 2))));
    }
    return f;
}

// A forward pass of head slot 2 ("Cyan", no half-pitch offset) with every nozzle row inked over
// pixels 0-39: its dots fall on cells 16 r of the pass's position, r = 0 .. 179.
std::vector<std::uint8_t> cyan_band() {
    std::vector<std::uint8_t> band(std::size_t{kColumns} * 360, 0);
    for (std::uint32_t x = 0; x < kPixels; ++x) {
        for (int j = 0; j < 45; ++j) {
            band[(std::size_t{x} + 64) * 360 + 315 - 45 + j] = 0xFF;
        }
    }
    return band;
}

// One job: `passes` passes of the cyan band, the media fed `feed` steps after each.
void print_job(PrintedSheet& sheet, int passes, std::uint32_t feed) {
    sheet.command(frame(0xA6));
    sheet.command(frame(0x01, kColumns, 6));
    sheet.command(frame(0x62, feed, 6));
    const std::vector<std::uint8_t> band = cyan_band();
    for (int pass = 0; pass < passes; ++pass) {
        sheet.bulk(band);
        sheet.command(frame(0x02));
    }
    sheet.command(frame(0xAA));
}

std::string cyan_counts(std::uint64_t dots, std::uint64_t twice) {
    return "{\"slot\":2,\"dots\":" + std::to_string(dots) + ",\"twice\":" + std::to_string(twice) +
           "}";
}

// The sheet's counts are taken on the exact grid of 1/2880 inch, and the picture is drawn at
// the job's true aspect, 1/720 inch a pixel both ways: the head's 180 rows, an inch apart from
// first to last, make a picture 717 pixels tall (rows 0, 4, 8, ... 716 inked) and as wide as
// the 40 pixels. Each job starts from a clean sheet, on the buffers of the one before.
TEST(PrintedSheet, CountsOnTheExactGridAndDrawsAtTheJobsAspect) {
    test_support::TempDir dir;
    PrintedSheet sheet(dir.path());
    print_job(sheet, 1, 0);
    print_job(sheet, 2, 0);  // the second pass lands on the first one's cells
    print_job(sheet, 1, 0);
    const std::string counts[] = {cyan_counts(7200, 0), cyan_counts(14400, 7200),
                                  cyan_counts(7200, 0)};
    for (int job = 0; job < 3; ++job) {
        SCOPED_TRACE(job);
        const std::string name = "sheet-00" + std::to_string(job);
        const std::string json = test_support::read_file(dir.path() / (name + ".json"));
        EXPECT_NE(json.find(counts[job]), std::string::npos) << json;
        EXPECT_NE(json.find("\"cut_off\":false"), std::string::npos) << json;
        const QImage picture(QString::fromStdString((dir.path() / (name + ".png")).string()));
        ASSERT_EQ(picture.width(), 40);
        ASSERT_EQ(picture.height(), 717);
        EXPECT_EQ(QColor(picture.pixel(0, 0)), QColor(0, 174, 239));
        EXPECT_EQ(QColor(picture.pixel(39, 716)), QColor(0, 174, 239));
        EXPECT_EQ(QColor(picture.pixel(0, 1)), QColor(Qt::white));
        EXPECT_EQ(QColor(picture.pixel(20, 4)), QColor(0, 174, 239));
    }
}

// A sheet that would outgrow the recorder's memory stops at the pass that would pass it, and
// says so; the next job starts whole again.
TEST(PrintedSheet, ASheetPastItsMemoryIsCutOff) {
    test_support::TempDir dir;
    // Room for the cells of one pass (2873 rows of 944 cells) and not of two an inch apart.
    PrintedSheet sheet(dir.path(), 4'000'000);
    print_job(sheet, 2, 103'680);
    print_job(sheet, 1, 0);
    const std::string first = test_support::read_file(dir.path() / "sheet-000.json");
    EXPECT_NE(first.find(cyan_counts(7200, 0)), std::string::npos) << first;
    EXPECT_NE(first.find("\"cut_off\":true"), std::string::npos) << first;
    const std::string second = test_support::read_file(dir.path() / "sheet-001.json");
    EXPECT_NE(second.find("\"cut_off\":false"), std::string::npos) << second;
}

}  // namespace
