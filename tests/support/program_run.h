#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace test_support {

struct ProgramRun {
    int status = -1;  // the exit status; -1 when it could not start or did not exit
    std::string out;  // what it wrote to standard output
    std::string err;  // and to standard error
};

// Runs a program to its end: `program` found on the PATH unless it holds a "/", with the
// argument vector `argv` (argv[0] included), standard input from `input`, and the test's own
// environment with the variables of `set` ("NAME=value") put in and those of `unset` taken out.
ProgramRun run_program(const std::string& program, const std::vector<std::string>& argv,
                       const std::filesystem::path& input = "/dev/null",
                       const std::vector<std::string>& set = {},
                       const std::vector<std::string>& unset = {});

}  // namespace test_support
