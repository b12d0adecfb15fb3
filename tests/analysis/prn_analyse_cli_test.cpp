// The prn-analyse program as tests, benchmarks and scripts use it.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "analysis/preview_builder.h"
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
    const std::pair<std::string, std::string> cases[] = {
        {"missing.prn", "Print file can't read."},
        {"wide.prn", "more than the 3600 bytes a preview reads"},
    };
    for (const auto& [name, reason] : cases) {
        const Result r =
            run("preview " + (dir / name).string() + " " + (dir / "out.bmp").string(), dir);
        EXPECT_EQ(r.exit_code, 2) << name;
        EXPECT_NE(r.err.find(reason), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
        EXPECT_FALSE(test_support::read_file(dir / "out.bmp").size()) << name;
    }
    EXPECT_EQ(run("", dir).exit_code, 1);
    EXPECT_EQ(run("preview only-one-argument", dir).exit_code, 1);
    EXPECT_EQ(run("colour x y", dir).exit_code, 1);
}

}  // namespace
