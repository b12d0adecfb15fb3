// prn-analyse: runs the analyses of a print file that the program's dialogs run, without a
// window, for tests, benchmarks and scripts. Each command prints one JSON object on standard
// output. A print file the analysis refuses (or cannot read to its end) ends the program with
// status 2 and the reason on standard error; an answer that cannot be written (the bitmap, or
// standard output) with status 3; a wrong command line with status 1.
#include <cstdio>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/ink_estimate.h"
#include "analysis/preview_builder.h"
#include "analysis/print_time_estimate.h"

namespace {

constexpr int kUsageStatus = 1;
constexpr int kRefusedStatus = 2;
constexpr int kFailedStatus = 3;

struct Command {
    std::string_view name;
    std::string_view arguments;  // for the usage text
    std::size_t argument_count;  // the arguments before the options
    // The options it takes, each followed by its value.
    std::vector<std::string_view> options;
    int (*run)(const std::vector<std::string>& arguments);
};

// The value of option `name` in the arguments after the first `positional`, or the fallback.
std::string option(const std::vector<std::string>& arguments, std::size_t positional,
                   std::string_view name, std::string fallback) {
    for (std::size_t i = positional; i + 1 < arguments.size(); i += 2) {
        if (arguments[i] == name) {
            fallback = arguments[i + 1];
        }
    }
    return fallback;
}

int refused(const std::string& message) {
    std::cerr << "prn-analyse: " << message;
    if (message.empty() || message.back() != '\n') {
        std::cerr << '\n';
    }
    return kRefusedStatus;
}

// A JSON string; the texts are ASCII, a quote or backslash is escaped all the same.
std::string json_string(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    return out + '"';
}

// preview FILE OUT.bmp: writes the preview bitmap as the progress dialog does.
int run_preview(const std::vector<std::string>& arguments) {
    const PreviewResult result = write_preview_bitmap(arguments[0], arguments[1]);
    if (result.failure == PreviewFailure::WriteFailed) {
        std::cerr << "prn-analyse: " << result.message << " (" << arguments[1] << ")\n";
        return kFailedStatus;
    }
    if (result.failure != PreviewFailure::None) {
        return refused(result.message);
    }
    std::cout << "{\"width\":" << result.picture.width << ",\"height\":" << result.picture.height
              << "}\n";
    return 0;
}

// ink FILE [--3d TEXT]: the seven texts of the ink dialog.
int run_ink(const std::vector<std::string>& arguments) {
    const InkEstimate estimate = estimate_ink(arguments[0], option(arguments, 1, "--3d", "N/A"));
    if (!estimate.ok) {
        return refused(estimate.message);
    }
    const char* keys[] = {"black", "cyan", "magenta", "yellow", "white", "varnish", "total"};
    std::cout << '{';
    for (std::size_t i = 0; i < estimate.texts.size(); ++i) {
        std::cout << (i ? "," : "") << json_string(keys[i]) << ':'
                  << json_string(estimate.texts[i]);
    }
    std::cout << "}\n";
    return 0;
}

// time FILE [options]: the dialog's text and the printing list's two cells, each from an
// estimator with no history. --direction is the job row's text, --pd the printing row's.
int run_time(const std::vector<std::string>& arguments) {
    const std::string level_3d = option(arguments, 1, "--3d", "N/A");
    const std::string settings = option(arguments, 1, "--settings", "");
    const bool rotary = option(arguments, 1, "--rotary", "0") == "1";
    const auto options_for = [&](TimeEstimator estimator, const std::string& direction,
                                 const std::string& copies) {
        // The row's texts as the estimators read them; the machine and the settings file
        // from the command line, not from a workstation.
        PrintTimeOptions options = time_options_from_row(estimator, level_3d, direction, copies);
        options.rotary = rotary;
        options.settings_file.reset();
        if (!settings.empty()) {
            options.settings_file = settings;
        }
        return options;
    };
    PrintTimeEstimator dialog_estimator;
    const PrintTimeResult dialog = dialog_estimator.estimate(
        arguments[0], options_for(TimeEstimator::Dialog, option(arguments, 1, "--direction", ""),
                                  option(arguments, 1, "--copies", "1")));
    if (!dialog.ok) {
        return refused(dialog.message);
    }
    PrintTimeEstimator list_estimator;
    const PrintTimeResult list = list_estimator.estimate(
        arguments[0], options_for(TimeEstimator::List, option(arguments, 1, "--pd", ""), "1"));
    if (!list.ok) {
        return refused(list.message);
    }
    std::cout << "{\"dialog\":" << json_string(dialog.text)
              << ",\"expected_time\":" << json_string(list.text)
              << ",\"pass_time\":" << json_string(std::to_string(list.bands)) << "}\n";
    return 0;
}

const Command kCommands[] = {
    {"preview", "FILE OUT.bmp", 2, {}, run_preview},
    {"ink", "FILE [--3d TEXT]", 1, {"--3d"}, run_ink},
    {"time",
     "FILE [--settings INI] [--rotary 0|1] [--3d TEXT] [--direction TEXT] [--pd TEXT] "
     "[--copies TEXT]",
     1,
     {"--settings", "--rotary", "--3d", "--direction", "--pd", "--copies"},
     run_time},
};

// True when the arguments after the positional ones are known options, each with a value.
bool options_valid(const Command& command, const std::vector<std::string>& arguments) {
    if (arguments.size() < command.argument_count ||
        (arguments.size() - command.argument_count) % 2 != 0) {
        return false;
    }
    for (std::size_t i = command.argument_count; i < arguments.size(); i += 2) {
        bool known = false;
        for (const std::string_view name : command.options) {
            known = known || arguments[i] == name;
        }
        if (!known) {
            return false;
        }
    }
    return true;
}

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
        if (!options_valid(command, arguments)) {
            return usage();
        }
        const int status = command.run(arguments);
        // The answer is the output: one that did not reach it is a failure, not a result.
        if (status == 0 && !std::cout.flush()) {
            std::cerr << "prn-analyse: the result could not be written to standard output\n";
            return kFailedStatus;
        }
        return status;
    }
    return usage();
}
