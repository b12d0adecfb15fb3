// prn-analyse: runs the analyses of a print file that the program's dialogs run, without a
// window, for tests, benchmarks and scripts. Each command prints one JSON object on standard
// output. A print file the analysis refuses ends the program with status 2 and the reason on
// standard error; a wrong command line ends it with status 1.
#include <cstdio>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/preview_builder.h"

namespace {

constexpr int kUsageStatus = 1;
constexpr int kRefusedStatus = 2;
constexpr int kFailedStatus = 3;

struct Command {
    std::string_view name;
    std::string_view arguments;  // for the usage text
    std::size_t argument_count;
    int (*run)(const std::vector<std::string>& arguments);
};

// preview FILE OUT.bmp: writes the preview bitmap as the progress dialog does.
int run_preview(const std::vector<std::string>& arguments) {
    const PreviewResult result = write_preview_bitmap(arguments[0], arguments[1]);
    if (result.failure == PreviewFailure::WriteFailed) {
        std::cerr << "prn-analyse: " << result.message << " (" << arguments[1] << ")\n";
        return kFailedStatus;
    }
    if (result.failure != PreviewFailure::None) {
        std::cerr << "prn-analyse: " << result.message;
        if (result.message.empty() || result.message.back() != '\n') {
            std::cerr << '\n';
        }
        return kRefusedStatus;
    }
    std::cout << "{\"width\":" << result.picture.width << ",\"height\":" << result.picture.height
              << "}\n";
    return 0;
}

constexpr Command kCommands[] = {
    {"preview", "FILE OUT.bmp", 2, run_preview},
};

int usage() {
    std::cerr << "usage:\n";
    for (const Command& command : kCommands) {
        std::cerr << "  prn-analyse " << command.name << ' ' << command.arguments << '\n';
    }
    std::cerr << "Prints one JSON object. Exit status 2: the print file was refused (the reason "
                 "on standard error); 3: the output could not be written.\n";
    return kUsageStatus;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        return usage();
    }
    const std::string_view name = argv[1];
    for (const Command& command : kCommands) {
        if (name != command.name) {
            continue;
        }
        std::vector<std::string> arguments(argv + 2, argv + argc);
        if (arguments.size() != command.argument_count) {
            return usage();
        }
        return command.run(arguments);
    }
    return usage();
}
