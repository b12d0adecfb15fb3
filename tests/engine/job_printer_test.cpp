#include <gtest/gtest.h>

#include <algorithm>

#include "engine/job_options.h"
#include "engine/prn_reader.h"
#include "engine/stepping.h"
#include "engine/transfer_packing.h"
#include "engine/y_feed.h"
#include "platform/files.h"
#include "print_job_fixture.h"
#include "printer/commands.h"
#include "printer/prn_file.h"
#include "printer/protocol_state.h"

namespace {

using test_support::Frame;
using test_support::PrintJobTest;
using test_support::small_job;

std::uint32_t bands_of(std::uint32_t lines) {
    return (lines + g_step_rows - 1) / g_step_rows;
}

int count(const std::vector<std::uint8_t>& codes, std::uint8_t code) {
    return static_cast<int>(std::count(codes.begin(), codes.end(), code));
}

TEST_F(PrintJobTest, ASmallJobPrintsEndToEndAndGoesIntoTheHistory) {
    const std::string path = queue_job(small_job(300));
    print_first_row();

    EXPECT_EQ(boxes_.count(), 0u) << boxes_.texts()[0];
    EXPECT_EQ(window_.printing().item_count(), 0);
    EXPECT_EQ(window_.jobs().item_count(), 0);
    EXPECT_FALSE(platform::exists(path));
    EXPECT_TRUE(platform::exists(printed_folder(0) / "job.prn"));
    EXPECT_FALSE(g_prn_file.is_open());
    EXPECT_EQ(g_printer_idle, 1);
    EXPECT_EQ(g_stop_printing, 0);

    // The set-up in its order, then one pass per band and tail band, then the end.
    const std::vector<std::uint8_t> c = codes();
    const std::vector<std::uint8_t> setup = {
        CMD_CHECK_READY,      CMD_WAIT_IDLE,         CMD_DIRECTION,        CMD_DIRECTION_APPLY,
        CMD_ROTARY_MODE,      CMD_ROTARY_MODE_APPLY, CMD_EMBOSS_PASSES,    CMD_Y_POSITION,
        CMD_Y_POSITION_APPLY, CMD_START_READY,       CMD_COLUMN_COUNT,     CMD_ACK_REQUEST,
        CMD_UV_SETTING,       CMD_INK_MODE,          CMD_NOT_VARNISH_ONLY, CMD_Y_POSITION,
        CMD_Y_POSITION_APPLY};
    std::vector<std::uint8_t> seen;
    for (const std::uint8_t code : c) {
        if (std::find(setup.begin(), setup.end(), code) != setup.end() &&
            seen.size() < setup.size()) {
            seen.push_back(code);
        }
    }
    EXPECT_EQ(seen, setup);
    const std::uint32_t passes = bands_of(300) + g_tail_bands;
    const usb::sim::Firmware::State state = firmware_->state();
    EXPECT_EQ(state.passes_started, static_cast<int>(passes));
    EXPECT_EQ(state.passes_done, static_cast<int>(passes));
    EXPECT_EQ(state.bulk_bytes, std::uint64_t{passes} * g_column_count * 360);
    EXPECT_EQ(count(c, CMD_END_OF_PRINT), 1);
    EXPECT_EQ(count(c, CMD_END_Y_MOVE_BACK) + count(c, CMD_END_AUTO_YZ), 0);
    EXPECT_EQ(frames(CMD_COLUMN_COUNT)[0], (Frame{0xFF, CMD_COLUMN_COUNT, 0xB0, 0x03, 0, 0}));
    EXPECT_EQ(frames(CMD_DIRECTION)[0], (Frame{0xFF, CMD_DIRECTION, 1}));
}

}  // namespace
