// The prn-analyse program as tests, benchmarks and scripts use it.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "analysis/preview_builder.h"
#include "analysis/print_time_estimate.h"
#include "fifo.h"
#include "prn_builder.h"
#include "temp_dir.h"

namespace {

using test_support::TempDir;

struct Result {
    int exit_code;
    std::string out;
    std::string err;
};

Result run(const std::string& arguments, const TempDir& dir) {
    const std::string out = (dir / "stdout.txt").string();
    const std::string err = (dir / "stderr.txt").string();
    const std::string command =
        std::string(PRN_ANALYSE_PATH) + " " + arguments + " > " + out + " 2> " + err;
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, test_support::read_file(out),
            test_support::read_file(err)};
}

TEST(PrnAnalyseProgram, PreviewWritesTheDialogsBitmapAndItsSize) {
    TempDir dir;
    test_support::PrnBuilder example(300, 1000);
    example.random_dots(3, 0.2).write(dir / "job.prn");

    const Result r =
        run("preview " + (dir / "job.prn").string() + " " + (dir / "tool.bmp").string(), dir);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "{\"width\":354,\"height\":295}\n");
    EXPECT_TRUE(r.err.empty()) << r.err;
    ASSERT_EQ(write_preview_bitmap((dir / "job.prn").string(), (dir / "core.bmp").string()).failure,
              PreviewFailure::None);
    EXPECT_EQ(test_support::read_file(dir / "tool.bmp"), test_support::read_file(dir / "core.bmp"));

    // The tall example: 3540 bytes, 28800 lines at 720 x 1440. Its first 80 lines are enough
    // to show the size; the lines the file lacks are blank.
    std::string tall =
        test_support::PrnBuilder(3540, 80).resolution(720, 1440).random_dots(5).bytes();
    prn_put_u32(reinterpret_cast<std::uint8_t*>(tall.data()), kPrnOffsetLineCount, 28800);
    test_support::write_file(dir / "tall.prn", tall);
    const Result t =
        run("preview " + (dir / "tall.prn").string() + " " + (dir / "tall.bmp").string(), dir);
    ASSERT_EQ(t.exit_code, 0) << t.err;
    EXPECT_EQ(t.out, "{\"width\":348,\"height\":354}\n");
}

TEST(PrnAnalyseProgram, RefusedFileExitsTwoWithTheReason) {
    TempDir dir;
    test_support::PrnBuilder(3601, 80).write(dir / "wide.prn");
    std::vector<std::pair<std::string, std::string>> cases = {
        {"missing.prn", "Print file can't read."},
        {"wide.prn", "more than the 3600 bytes a preview reads"},
    };
    // A pipe or a device ends the program at once, as a file it cannot read.
    const test_support::UnreadableNames unreadable =
        test_support::make_unreadable_names(dir.path(), ".prn");
    for (const auto& name : unreadable.names) {
        cases.emplace_back(name.filename().string(), "Print file can't read.");
    }
    for (const auto& [name, reason] : cases) {
        Result r;
        EXPECT_TRUE(test_support::ends_without_waiting_on(unreadable.fifos, [&] {
            r = run("preview " + (dir / name).string() + " " + (dir / "out.bmp").string(), dir);
        })) << name;
        EXPECT_EQ(r.exit_code, 2) << name;
        EXPECT_NE(r.err.find(reason), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
        EXPECT_FALSE(test_support::read_file(dir / "out.bmp").size()) << name;
    }
    for (const std::string command : {"ink", "time"}) {
        for (const auto& name : unreadable.names) {
            Result r;
            EXPECT_TRUE(test_support::ends_without_waiting_on(
                unreadable.fifos, [&] { r = run(command + " " + name.string(), dir); }))
                << command << " " << name;
            EXPECT_EQ(r.exit_code, 2) << command << " " << name;
            EXPECT_NE(r.err.find("Print file can't read."), std::string::npos) << r.err;
        }
    }
    EXPECT_EQ(run("", dir).exit_code, 1);
    EXPECT_EQ(run("preview only-one-argument", dir).exit_code, 1);
    EXPECT_EQ(run("colour x y", dir).exit_code, 1);
}

// ink: the seven texts under their keys; time: the dialog's text and the printing list's two
// cells. A refused file exits 2 with the reason.
TEST(PrnAnalyseProgram, InkAndTimeEstimates) {
    TempDir dir;
    test_support::PrnBuilder(2500, 100)
        .ink_mode(2)
        .solid(PRN_PLANE_WHITE, 0, 100, 0, 10000)
        .write(dir / "white.prn");
    const Result ink = run("ink " + (dir / "white.prn").string() + " --3d Small", dir);
    ASSERT_EQ(ink.exit_code, 0) << ink.err;
    EXPECT_EQ(ink.out,
              "{\"black\":\"0.00000\",\"cyan\":\"0.00000\",\"magenta\":\"0.00000\",\"yellow\":"
              "\"0.00000\",\"white\":\"0.18000\",\"varnish\":\"0.00000\",\"total\":\"0.18000\"}\n");

    // 1430 inked lines of 4 bytes, Sharp edges (B 143): the dialog prices 14 bands of three
    // copies, the list 16 bands of one.
    test_support::PrnBuilder(4, 1430).solid(PRN_PLANE_BLACK, 0, 1430, 0, 16).write(dir / "t.prn");
    std::string settings = "[overall situation]\r\n";
    for (int position = 1; position <= 18; ++position) {
        settings += "k" + std::to_string(position) + "=0\r\n";
    }
    test_support::write_file(dir / "all_setting.ini", settings);
    const Result time = run("time " + (dir / "t.prn").string() + " --settings " +
                                (dir / "all_setting.ini").string() + " --copies 3 --pd Bi",
                            dir);
    ASSERT_EQ(time.exit_code, 0) << time.err;
    const std::string dialog = format_print_time(3 * price_print_time(4, false, 0, 0, 14, 0));
    const std::string list = format_print_time(price_print_time(4, true, 540, 0, 16, 0));
    EXPECT_EQ(time.out, "{\"dialog\":\"" + dialog + "\",\"expected_time\":\"" + list +
                            "\",\"pass_time\":\"16\"}\n");

    // A resolution the printer has no mode for: the ink calculation refuses it, the time is
    // estimated with 8 passes (Gaussian B 87): one band, and the 1200 dpi taken as rows give
    // the dialog (1200 - 87) / 87 = 12 tail bands, the printing list (1200 + 87) / 87 = 14.
    test_support::PrnBuilder(4, 10)
        .resolution(720, 1200)
        .solid(PRN_PLANE_BLACK, 0, 10, 0, 16)
        .write(dir / "odd.prn");
    const Result refused = run("ink " + (dir / "odd.prn").string(), dir);
    EXPECT_EQ(refused.exit_code, 2);
    EXPECT_TRUE(refused.out.empty());
    EXPECT_FALSE(refused.err.empty());
    const Result odd_time = run("time " + (dir / "odd.prn").string(), dir);
    EXPECT_EQ(odd_time.exit_code, 0) << odd_time.err;
    EXPECT_EQ(odd_time.out, "{\"dialog\":\"" +
                                format_print_time(price_print_time(4, false, 0, 0, 13, 0)) +
                                "\",\"expected_time\":\"" +
                                format_print_time(price_print_time(4, false, 0, 0, 15, 0)) +
                                "\",\"pass_time\":\"15\"}\n");
    EXPECT_EQ(run("time " + (dir / "t.prn").string() + " --speed 2", dir).exit_code, 1);
}

// An answer that cannot be written (standard output on a full disk) is no answer: the program
// ends with the status its usage gives for it, never with 0.
TEST(PrnAnalyseProgram, OutputThatCannotBeWrittenExitsThree) {
    TempDir dir;
    test_support::PrnBuilder(300, 1000).random_dots(3, 0.2).write(dir / "job.prn");
    const std::string job = (dir / "job.prn").string();
    for (const std::string& arguments :
         {"preview " + job + " " + (dir / "out.bmp").string(), "ink " + job, "time " + job}) {
        const std::string command =
            std::string(PRN_ANALYSE_PATH) + " " + arguments + " > /dev/full 2> /dev/null";
        const int status = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status)) << arguments;
        EXPECT_EQ(WEXITSTATUS(status), 3) << arguments;
    }
}

}  // namespace
