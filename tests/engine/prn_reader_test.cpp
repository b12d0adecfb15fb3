#include "engine/prn_reader.h"

#include <gtest/gtest.h>

#include "engine_state.h"
#include "message_box_recorder.h"
#include "prn_builder.h"
#include "temp_dir.h"

namespace {

using test_support::PrnBuilder;

class PrnReader : public ::testing::Test {
  protected:
    void TearDown() override { close_prn_file(); }

    void open(const PrnBuilder& b) {
        b.write(dir_ / "job.prn");
        ASSERT_TRUE(open_prn_file((dir_ / "job.prn").string()));
    }
    void open_bytes(const std::string& bytes) {
        test_support::write_file(dir_ / "job.prn", bytes);
        ASSERT_TRUE(open_prn_file((dir_ / "job.prn").string()));
    }
    // Stepping of a single-layer 4-pass flatbed Sharp job: S 143, W 572.
    void sharp_four_pass() {
        g_pass_count = 4;
        g_ink_mode = 1;
        g_rotary_mode = 0;
        g_edge_kind = EDGE_SHARP;
        select_stepping();
    }
    void band() {
        shift_input_window();
        seek_prn_band();
        read_band_from_prn();
    }

    test_support::TempDir dir_;
    test_support::MessageBoxRecorder boxes_;
};

TEST_F(PrnReader, HeaderSetsTheJobState) {
    PrnBuilder b(1000, 300);
    b.resolution(720, 1800).direction(1).ink_mode(9);
    open(b);
    g_band_index = 77;
    read_prn_header();
    EXPECT_EQ(g_row_bytes, 1000u);
    EXPECT_EQ(g_prn_line_count, 300u);
    EXPECT_EQ(g_lines_left, 300u);
    EXPECT_EQ(g_lines_read, 0u);
    EXPECT_EQ(g_line_pixels, 4000u);
    EXPECT_EQ(g_column_count, 4904u);
    EXPECT_EQ(g_direction, 1);
    EXPECT_EQ(g_ink_mode, 9);
    EXPECT_EQ(g_pass_count, 10u);
    EXPECT_EQ(g_band_index, 77u);
    EXPECT_EQ(g_prn_layout_ok, 1);
    EXPECT_EQ(boxes_.count(), 0u);
}

TEST_F(PrnReader, PassCountsByResolutionAndTheWrongMode) {
    const std::pair<std::uint32_t, std::uint32_t> good[] = {
        {720, 4}, {1440, 8}, {1800, 10}, {2880, 16}};
    for (auto [y, passes] : good) {
        open(PrnBuilder(10, 1).resolution(720, y));
        read_prn_header();
        EXPECT_EQ(g_pass_count, passes) << y;
    }
    EXPECT_EQ(boxes_.count(), 0u);
    // Another pair keeps the previous job's count and asks for the right mode.
    open(PrnBuilder(10, 1).resolution(600, 1440));
    read_prn_header();
    EXPECT_EQ(g_pass_count, 16u);
    open(PrnBuilder(10, 1).resolution(720, 1000));
    read_prn_header();
    EXPECT_EQ(g_pass_count, 16u);
    EXPECT_EQ(boxes_.texts(), (std::vector<std::string>{"Please select right image mode!\n",
                                                        "Please select right image mode!\n"}));
}

TEST_F(PrnReader, BitsPerPixelAndLayoutLimits) {
    open(PrnBuilder(100, 1).bits_per_pixel(1));
    read_prn_header();
    EXPECT_EQ(g_line_pixels, 800u);
    // A depth other than 1 or 2 keeps the previous pixel count.
    open(PrnBuilder(300, 1).bits_per_pixel(3));
    read_prn_header();
    EXPECT_EQ(g_line_pixels, 800u);
    EXPECT_EQ(g_column_count, 1704u);
    EXPECT_EQ(g_prn_layout_ok, 1);
    // Rows longer than the buffers, or 1-bit rows whose columns pass 57,600, do not fit.
    open(PrnBuilder(7201, 1));
    read_prn_header();
    EXPECT_EQ(g_prn_layout_ok, 0);
    open(PrnBuilder(7200, 1).bits_per_pixel(1));
    read_prn_header();
    EXPECT_EQ(g_prn_layout_ok, 0);
    open(PrnBuilder(7087, 1).bits_per_pixel(1));
    read_prn_header();
    EXPECT_EQ(g_prn_layout_ok, 1);
    // A file shorter than its header reads as zeros: no resolution, nothing to print.
    open_bytes(std::string(10, '\x01'));
    read_prn_header();
    EXPECT_EQ(g_row_bytes, 0u);
    EXPECT_EQ(g_lines_left, 0u);
}

TEST_F(PrnReader, SeekOffsetIsComputedInSixtyFourBits) {
    open(PrnBuilder(10, 1));
    g_row_bytes = 1000;
    g_step_rows = 143;
    g_band_index = 2;
    seek_prn_band();
    EXPECT_EQ(ftello(g_prn_file.stream()), 1716120);
    EXPECT_EQ(g_band_index, 3u);
    // 6 x 7200 x 159 x 700 passes 2^32.
    g_row_bytes = 7200;
    g_step_rows = 159;
    g_band_index = 700;
    seek_prn_band();
    EXPECT_EQ(ftello(g_prn_file.stream()), 120 + 6ll * 7200 * 159 * 700);
}

TEST_F(PrnReader, BandsFillTheWindowAndTheShortLastBandEndsBlank) {
    // 300 lines, S 143: two full bands and a band of 14 lines.
    PrnBuilder b(40, 300);
    b.random_dots(3, 0.5);
    open(b);
    read_prn_header();
    sharp_four_pass();
    g_band_index = 0;
    clear_print_planes();
    band();
    EXPECT_EQ(0,
              std::memcmp(g_input_planes[PRN_PLANE_YELLOW][572], b.row(0, PRN_PLANE_YELLOW), 40));
    EXPECT_EQ(
        0, std::memcmp(g_input_planes[PRN_PLANE_VARNISH][714], b.row(142, PRN_PLANE_VARNISH), 40));
    band();
    // The window moved up by S: the first band's lines now sit at rows 429 .. 571.
    EXPECT_EQ(0, std::memcmp(g_input_planes[PRN_PLANE_CYAN][429], b.row(0, PRN_PLANE_CYAN), 40));
    EXPECT_EQ(0, std::memcmp(g_input_planes[PRN_PLANE_CYAN][572], b.row(143, PRN_PLANE_CYAN), 40));
    EXPECT_EQ(g_lines_left, 14u);
    band();
    EXPECT_EQ(g_lines_left, 0u);
    EXPECT_EQ(g_lines_read, 300u);
    EXPECT_EQ(0,
              std::memcmp(g_input_planes[PRN_PLANE_WHITE][585], b.row(299, PRN_PLANE_WHITE), 40));
    const std::uint8_t zeros[40] = {};
    for (std::uint32_t row = 586; row < 715; ++row) {
        for (const auto& plane : g_input_planes) {
            ASSERT_EQ(0, std::memcmp(plane[row], zeros, 40)) << row;
        }
    }
}

TEST_F(PrnReader, LineCountZeroReadsNothing) {
    open(PrnBuilder(20, 0));
    read_prn_header();
    sharp_four_pass();
    engine_test::fill_window(1, 2880);
    band();
    EXPECT_EQ(g_lines_read, 0u);
    EXPECT_EQ(g_input_planes[0][572][0], 0);
    EXPECT_EQ(g_input_planes[5][714][19], 0);
}

TEST_F(PrnReader, TruncatedFileReadsBlankPastItsEnd) {
    PrnBuilder b(40, 143);
    b.random_dots(5, 1.0);
    // Cut inside line 10's Magenta row, 7 bytes in.
    const std::size_t cut = 120 + 6 * 40 * 10 + 2 * 40 + 7;
    test_support::write_file(dir_ / "job.prn", b.truncated(cut));
    ASSERT_TRUE(open_prn_file((dir_ / "job.prn").string()));
    read_prn_header();
    sharp_four_pass();
    engine_test::fill_window(9, 2880);
    g_band_index = 0;
    band();
    EXPECT_EQ(g_lines_left, 0u);
    EXPECT_EQ(0,
              std::memcmp(g_input_planes[PRN_PLANE_MAGENTA][582], b.row(10, PRN_PLANE_MAGENTA), 7));
    const std::uint8_t zeros[40] = {};
    EXPECT_EQ(0, std::memcmp(g_input_planes[PRN_PLANE_MAGENTA][582] + 7, zeros, 33));
    EXPECT_EQ(0, std::memcmp(g_input_planes[PRN_PLANE_YELLOW][582], zeros, 40));
    EXPECT_EQ(0, std::memcmp(g_input_planes[PRN_PLANE_BLACK][714], zeros, 40));
}

TEST_F(PrnReader, RowsLongerThanTheWindowStayInsideIt) {
    // 7300-byte rows: the window takes the first 7200 bytes of each and stays on line.
    PrnBuilder b(7300, 3);
    b.random_dots(11, 0.5);
    open(b);
    read_prn_header();
    EXPECT_EQ(g_prn_layout_ok, 0);
    sharp_four_pass();
    g_band_index = 0;
    band();
    EXPECT_EQ(
        0, std::memcmp(g_input_planes[PRN_PLANE_VARNISH][574], b.row(2, PRN_PLANE_VARNISH), 7200));
    // The staging and transfer steps stay inside their buffers too.
    copy_lines_for_mode();
    apply_pass_masks();
    clear_staging_planes();
    expand_pass_buffers();
    pack_transfer_buffer_8ch();
}

TEST_F(PrnReader, WithoutAWindowStartNothingShifts) {
    g_row_bytes = 8;
    g_window_start_row = 0;
    g_step_rows = 143;
    g_input_planes[0][0][0] = 0x11;
    g_input_planes[0][143][0] = 0x22;
    shift_input_window();
    EXPECT_EQ(g_input_planes[0][0][0], 0x11);
    g_window_start_row = 2;
    shift_input_window();
    EXPECT_EQ(g_input_planes[0][0][0], 0x22);
}

}  // namespace
