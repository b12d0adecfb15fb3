// The prn-gen program as the demo and an operator use it.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "engine/prn_header.h"
#include "temp_dir.h"

namespace {

struct Result {
    int exit_code;
    std::string output;
};

Result run(const std::string& arguments, const test_support::TempDir& dir) {
    const std::string log = (dir / "out.txt").string();
    const std::string command = std::string(PRN_GEN_PATH) + " " + arguments + " > " + log + " 2>&1";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, test_support::read_file(log)};
}

TEST(PrnGenProgram, WritesTheRequestedFile) {
    test_support::TempDir dir;
    const std::string out = (dir / "job.prn").string();
    const Result r =
        run("--width 10mm --length 80 --dpi 720x1440 --ink-mode 5 --direction bi "
            "--pattern blocks --planes KW -o " +
                out,
            dir);
    ASSERT_EQ(r.exit_code, 0) << r.output;
    const std::string bytes = test_support::read_file(out);
    ASSERT_GE(bytes.size(), kPrnHeaderSize);
    const PrnHeader h = parse_prn_header(reinterpret_cast<const std::uint8_t*>(bytes.data()));
    EXPECT_EQ(h.width_dots, 283u);
    EXPECT_EQ(h.row_bytes, 71u);
    EXPECT_EQ(h.line_count, 80u);
    EXPECT_EQ(h.y_dpi, 1440u);
    EXPECT_EQ(h.ink_mode, 5);
    EXPECT_EQ(h.direction, 1);
    EXPECT_EQ(bytes.size(), 120u + 6u * 71u * 80u);
    EXPECT_EQ(run("--width 100 --length 100 --truncate 60 -o " + out, dir).exit_code, 0);
    EXPECT_EQ(test_support::read_file(out).size(), 60u);
}

TEST(PrnGenProgram, RefusesBadArgumentsWithAClearMessage) {
    test_support::TempDir dir;
    const std::string out = " -o " + (dir / "x.prn").string();
    const std::pair<std::string, std::string> cases[] = {
        {"--length 10" + out, "--width and --length are required"},
        {"--width 10 --length 10", "-o FILE is required"},
        {"--width ten --length 10" + out, "--width: not a number: \"ten\""},
        {"--width 10 --length -5mm" + out, "--length: millimetres out of range"},
        {"--width 10 --length 10 --bits 4" + out, "--bits: must be 1 or 2"},
        {"--width 10 --length 10 --pattern stripes" + out, "--pattern: must be"},
        {"--width 10 --length 10 --planes KX" + out, "unknown plane letter 'X'"},
        {"--width 10 --length 10 --density 2" + out, "--density: must be between 0 and 1"},
        {"--width 10 --length 10 --frobnicate" + out, "unknown argument: --frobnicate"},
        {"--width 10 --length 10 --dpi", "--dpi: needs a value"},
    };
    for (const auto& [arguments, message] : cases) {
        const Result r = run(arguments, dir);
        EXPECT_EQ(r.exit_code, 2) << arguments;
        EXPECT_NE(r.output.find(message), std::string::npos) << arguments << "\n" << r.output;
    }
    EXPECT_EQ(run("--help", dir).exit_code, 0);
    EXPECT_EQ(run("--width 10 --length 10 -o " + (dir / "none" / "x.prn").string(), dir).exit_code,
              1);
}

}  // namespace
