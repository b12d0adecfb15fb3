#include "jobs/job_row_texts.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

PrnHeader header(std::uint32_t width_dots, std::uint32_t line_count, std::uint32_t x_dpi = 720,
                 std::uint32_t y_dpi = 720) {
    PrnHeader h;
    h.width_dots = width_dots;
    h.line_count = line_count;
    h.x_dpi = x_dpi;
    h.y_dpi = y_dpi;
    return h;
}

TEST(JobRowTexts, WholeMillimetresDecideTheStateTheOutputSizeAndAutomaticSending) {
    struct Case {
        PrnHeader header;
        std::int32_t width_mm;
        std::int32_t length_mm;
        bool wait;
        bool sent;
        const char* output_size;  // null: any inch figures
    };
    const Case cases[] = {
        // 300.002 x 499.992 mm.
        {header(8504, 14173), 300, 499, true, true, "11.8111\" x 19.6847\""},
        // Rounded to single precision before printing: in double the width reads 9.7694.
        {header(7034, 14173), 248, 499, true, true, "9.7695\" x 19.6847\""},
        {header(822, 14173), 28, 499, false, false, "Limited Print Size"},
        {header(823, 14173), 29, 499, true, false, nullptr},
        {header(851, 14173), 30, 499, true, true, nullptr},
        {header(14174, 14173), 500, 499, true, true, nullptr},
        {header(14202, 14173), 501, 499, true, false, nullptr},
        {header(14230, 14173), 502, 499, false, false, "Limited Print Size"},
        // 701.9 mm truncates to 701 and passes; 702.0 does not.
        {header(8504, 7019, 720, 254), 300, 701, true, true, nullptr},
        {header(8504, 7020, 720, 254), 300, 702, false, false, "Limited Print Size"},
        // Sizes past the 32-bit range saturate and fail instead of wrapping.
        {header(8504, 0xFFFFFFFF, 720, 1), 300, INT32_MAX, false, false, "Limited Print Size"},
        {header(0xFFFFFFFF, 14173, 1, 720), INT32_MAX, 499, false, false, "Limited Print Size"},
    };
    for (const Case& c : cases) {
        const AnalysedJob job = analyse_job(c.header, 5000, std::nullopt, kDirectionFromHeader);
        SCOPED_TRACE(testing::Message() << c.header.width_dots << " x " << c.header.line_count);
        EXPECT_EQ(job.width_mm, c.width_mm);
        EXPECT_EQ(job.length_mm, c.length_mm);
        EXPECT_EQ(job.wait, c.wait);
        EXPECT_FALSE(job.format_error);
        EXPECT_EQ(sends_automatically(job), c.sent);
        if (c.output_size != nullptr) {
            EXPECT_EQ(job.output_size, c.output_size);
        } else {
            EXPECT_NE(job.output_size.find("\" x "), std::string::npos) << job.output_size;
        }
    }
}

TEST(JobRowTexts, ShortFilesAndMissingResolutionsAreFormatErrorsNeverSent) {
    struct Case {
        PrnHeader header;
        std::uint64_t size;
        bool format_error;
    };
    const Case cases[] = {
        {header(8504, 14173), 999, true},          {header(8504, 14173), 0, true},
        {header(8504, 14173), 1000, false},        {header(8504, 14173, 0, 720), 5000, true},
        {header(8504, 14173, 720, 0), 5000, true}, {header(0, 0, 0, 0), 50, true},
    };
    for (const Case& c : cases) {
        const AnalysedJob job = analyse_job(c.header, c.size, std::nullopt, kDirectionFromHeader);
        SCOPED_TRACE(testing::Message()
                     << c.size << " bytes, " << c.header.x_dpi << " x " << c.header.y_dpi);
        EXPECT_EQ(job.format_error, c.format_error);
        EXPECT_EQ(job.wait, !c.format_error);
        EXPECT_EQ(sends_automatically(job), !c.format_error);
    }
}

TEST(JobRowTexts, PrintModeResolutionDateAndDirection) {
    // The ends of the table, the gap at 11 and 12, and past its end.
    const std::pair<int, const char*> modes[] = {
        {0, ""},   {1, "Color-KCMY"}, {6, "4White+Color"}, {10, "2Vanish+Color"},
        {11, ""},  {12, ""},          {13, "8White"},      {14, ""},
        {255, ""},
    };
    for (const auto& [mode, name] : modes) {
        EXPECT_EQ(print_mode_text(static_cast<std::uint8_t>(mode)), name) << mode;
    }

    PrnHeader h = header(8504, 14173, 720, 1440);
    h.ink_mode = 5;
    const platform::LocalTime modified{2026, 3, 4, 5, 6, 7};
    const AnalysedJob job = analyse_job(h, 5000, modified, kDirectionFromHeader);
    EXPECT_EQ(job.print_mode, "Color+4White");
    EXPECT_EQ(job.resolution, "720 x 1440 dpi");
    EXPECT_EQ(job.date_modified, "2026-03-04 05:06:07");
    EXPECT_EQ(analyse_job(header(1, 1, 1, 1), 5000, std::nullopt, 2).resolution, " 1 x  1 dpi");

    struct Direction {
        std::uint8_t header;
        int setting;
        const char* text;
    };
    const Direction directions[] = {
        {0, 2, "UniDirection"}, {1, 2, "BiDirection"}, {7, 2, "BiDirection"},
        {1, 0, "UniDirection"}, {0, 1, "BiDirection"}, {0, 5, "UniDirection"},
        {1, -1, "BiDirection"},
    };
    for (const Direction& d : directions) {
        h.direction = d.header;
        EXPECT_EQ(analyse_job(h, 5000, std::nullopt, d.setting).print_direction, d.text)
            << int(d.header) << " " << d.setting;
    }
}

}  // namespace
