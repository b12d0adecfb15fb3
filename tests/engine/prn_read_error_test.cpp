// A print file whose reading fails (a failing disk, a network job folder, a pulled stick) is
// told apart from one that merely ends early: the failure stops the job and keeps the file,
// the early end prints the rest blank as before.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/prn_reader.h"
#include "engine/stepping.h"
#include "platform/files.h"
#include "print_job_fixture.h"
#include "printer/commands.h"
#include "printer/prn_file.h"
#include "printer/protocol_state.h"

namespace {

using test_support::PrintJobTest;
using test_support::small_job;
using Strings = std::vector<std::string>;

int count(const std::vector<std::uint8_t>& codes, std::uint8_t code) {
    return static_cast<int>(std::count(codes.begin(), codes.end(), code));
}

class PrnReadError : public PrintJobTest {
  protected:
    void TearDown() override {
        prn_file_detail::fail_reads_from(-1);
        PrintJobTest::TearDown();
    }
};

TEST_F(PrnReadError, AReadErrorStopsTheJobAndKeepsTheFileWhileAnEarlyEndPrintsBlank) {
    // 600 lines of 40 pixels: 60 bytes a line after the 120-byte header.
    constexpr std::int64_t kBody = 120 + 60 * 200;
    struct Case {
        const char* name;
        std::int64_t fail_from;      // -1: no read fails
        std::uintmax_t truncate_to;  // 0: the file as written
        Strings boxes;
        bool printed;  // filed into the history as printed
        bool printer_asked;
    };
    const Case cases[] = {
        {"the header", 0, 0, {"Print file can't read."}, false, false},
        {"the body", kBody, 0, {"Print file can't read."}, false, true},
        {"a plain early end", -1, kBody, {}, true, true},
    };
    // A cancelled job would lose its file: a file that could not be read keeps it.
    write_settings({{2, "0"}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t boxes_before = boxes_.count();
        const std::size_t codes_before = codes().size();
        const std::string path = queue_job(small_job(600), "job.prn", "3");
        if (c.truncate_to > 0) {
            std::filesystem::resize_file(path, c.truncate_to);
        }
        prn_file_detail::fail_reads_from(c.fail_from);
        print_first_row();
        prn_file_detail::fail_reads_from(-1);

        const Strings texts = boxes_.texts();
        EXPECT_EQ(Strings(texts.begin() + static_cast<long>(boxes_before), texts.end()), c.boxes);
        const std::vector<std::uint8_t> all = codes();
        const std::vector<std::uint8_t> sent(all.begin() + static_cast<long>(codes_before),
                                             all.end());
        EXPECT_EQ(!sent.empty(), c.printer_asked);
        EXPECT_EQ(g_printer_idle, 1);
        EXPECT_FALSE(g_prn_file.is_open());
        EXPECT_TRUE(platform::exists(path));
        if (c.printed) {
            // Counted down: two copies left, the first in the history.
            EXPECT_EQ(printing_cell(PrintRow::copies), "2");
            EXPECT_TRUE(platform::exists(printed_folder(0) / "job.prn"));
            EXPECT_EQ(count(sent, CMD_END_OF_PRINT), 1);
            EXPECT_EQ(count(sent, CMD_STOP), 0);
        } else {
            // Neither counted down nor filed: out of printing, back to "Wait", file kept.
            EXPECT_EQ(window_.printing().item_count(), 0);
            EXPECT_EQ(job_cell(JobRow::state), JobState::wait);
            EXPECT_FALSE(platform::exists(printed_folder(0)));
            EXPECT_EQ(count(sent, CMD_END_OF_PRINT), 0);
            EXPECT_EQ(count(sent, CMD_STOP), c.printer_asked ? 1 : 0);
        }
        window_.jobs().delete_all_items();
        window_.printing().delete_all_items();
        std::filesystem::remove_all(printed_folder(0));
    }
}

}  // namespace
