// The preview's bitmap file: its headers byte for byte, its rows bottom-up, and a file that is
// replaced whole or not at all.
#include "analysis/bitmap_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "analysis/preview_builder.h"
#include "platform/ui/bitmap.h"
#include "prn_builder.h"
#include "temp_dir.h"

namespace {

using test_support::TempDir;

std::string bytes_of(std::initializer_list<int> values) {
    std::string out;
    for (const int v : values) {
        out.push_back(static_cast<char>(v));
    }
    return out;
}

TEST(BitmapFile, HeadersAndRowsByteForByte) {
    PreviewPicture picture;
    picture.width = 3;
    picture.height = 2;
    // Top row red, green, blue; bottom row black, white, grey.
    picture.pixels = {0xFF0000, 0x00FF00, 0x0000FF, 0x000000, 0xFFFFFF, 0x808080};
    const std::string expected =
        bytes_of({'B', 'M', 78, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0}) +  // file header
        bytes_of({40, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0, 1, 0, 32, 0,   // size, w, h, planes, bits
                  0,  0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  0,   // compression .. y res
                  0,  0, 0, 0, 0, 0, 0, 0}) +                         // colours
        // The bottom row first, each pixel blue, green, red, 0.
        bytes_of({0, 0, 0, 0, 255, 255, 255, 0, 128, 128, 128, 0}) +
        bytes_of({0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0});
    EXPECT_EQ(bitmap_file_bytes(picture), expected);
}

TEST(BitmapFile, WorkedExampleFileReadsBackAsWritten) {
    TempDir dir;
    test_support::PrnBuilder prn(300, 1000);
    prn.solid(PRN_PLANE_CYAN, 0, 1000, 0, 1200, DOT_SMALL);
    prn.write(dir / "job.prn");
    const std::string bmp = (dir / "job.bmp").string();
    const PreviewResult result = write_preview_bitmap((dir / "job.prn").string(), bmp);
    ASSERT_EQ(result.failure, PreviewFailure::None) << result.message;

    const std::string file = test_support::read_file(bmp);
    const std::uint32_t image = 354 * 295 * 4;
    ASSERT_EQ(file.size(), 54u + image);
    const auto u32 = [&](std::size_t at) {
        return prn_get_u32(reinterpret_cast<const std::uint8_t*>(file.data()), at);
    };
    EXPECT_EQ(file.substr(0, 2), "BM");
    EXPECT_EQ(u32(2), 54u + image);
    EXPECT_EQ(u32(10), 54u);
    EXPECT_EQ(u32(18), 354u);
    EXPECT_EQ(u32(22), 295u);
    EXPECT_EQ(file[28], 32);
    EXPECT_EQ(u32(30), 0u);

    // Any reader of bitmap files sees the same picture: c 50 on every pixel.
    const auto loaded = platform::ui::Bitmap::load(bmp);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->width(), 354);
    EXPECT_EQ(loaded->height(), 295);
    const platform::ui::Rgb expected{127, 255, 255};
    EXPECT_EQ(loaded->pixel(0, 0), expected);
    EXPECT_EQ(loaded->pixel(353, 294), expected);
    EXPECT_EQ(loaded->alpha(10, 10), 255);
}

TEST(BitmapFile, FailedWriteIsReportedAndLeavesNothingBehind) {
    TempDir dir;
    test_support::PrnBuilder(60, 80).write(dir / "job.prn");
    test_support::write_file(dir / "not_a_folder", "x");
    const PreviewResult result = write_preview_bitmap((dir / "job.prn").string(),
                                                      (dir / "not_a_folder" / "job.bmp").string());
    EXPECT_EQ(result.failure, PreviewFailure::WriteFailed);
    EXPECT_EQ(result.message, "Create preview failed，Please run in administrator!");

    // A refused print file leaves an older bitmap as it was; a written one replaces it whole,
    // with no temporary file left beside it.
    test_support::write_file(dir / "job.bmp", "older");
    test_support::PrnBuilder(60, 80).resolution(720, 1200).write(dir / "bad.prn");
    EXPECT_EQ(write_preview_bitmap((dir / "bad.prn").string(), (dir / "job.bmp").string()).failure,
              PreviewFailure::BadResolution);
    EXPECT_EQ(test_support::read_file(dir / "job.bmp"), "older");
    ASSERT_EQ(write_preview_bitmap((dir / "job.prn").string(), (dir / "job.bmp").string()).failure,
              PreviewFailure::None);
    EXPECT_EQ(test_support::read_file(dir / "job.bmp").substr(0, 2), "BM");
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 4);  // job.prn, bad.prn, not_a_folder, job.bmp
}

}  // namespace
