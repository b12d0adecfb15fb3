// Opening the printed-jobs history on a history of 20,000 dated folders, one printed file in
// each, as the job printer leaves it after a long time of keeping printed files: the dialog is
// made, lists the whole tree into its list and is closed, against a plain recursive walk that
// reads every folder and asks the status of every entry of the same tree, in the same run.
// Prints "ratio printed_list_open_over_walk <value>" after the table (goal: at most 3).
//
//   build/bench/bench/jobs/bench_printed_list [folders]      (default: 20000)

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "config/program_globals.h"
#include "jobs/printed_list.h"
#include "platform/ui/list_ctrl.h"
#include "ratio_reporter.h"

namespace {

namespace fs = std::filesystem;

int g_folder_count = 20000;

// The history: folders named as the job printer names them, older than a minute, so that the
// listing tries to remove each as it does in a real history.
struct History {
    History() {
        char pattern[] = "/tmp/velquorin-bench-history-XXXXXX";
        root = ::mkdtemp(pattern);
        const fs::path printed = root / "RIPCM";
        fs::create_directory(printed);
        const struct timespec old[2] = {{1600000000, 0}, {1600000000, 0}};
        for (int i = 0; i < g_folder_count; ++i) {
            const fs::path folder =
                printed / ("2026-" + std::to_string(1 + i / 3000 % 12) + "-" +
                           std::to_string(i % 28 + 1) + "-" + std::to_string(i));
            fs::create_directory(folder);
            std::ofstream(folder / ("Customer_Order_" + std::to_string(i) + ".prn")) << "prn";
            ::utimensat(AT_FDCWD, folder.c_str(), old, 0);
        }
        g_printed_folder = printed.string();
    }
    ~History() { fs::remove_all(root); }
    fs::path root;
};

History& history() {
    static History instance;
    return instance;
}

void open_history(benchmark::State& state) {
    history();
    int rows = 0;
    for (auto _ : state) {
        printedlist dialog;
        QTimer::singleShot(0, dialog.window(), [&] {
            rows = dialog.list().item_count();
            dialog.end_dialog(platform::ui::kIdCancel);
        });
        dialog.do_modal();
    }
    if (rows != g_folder_count) {
        state.SkipWithError("the history did not list every printed file");
    }
    state.SetItemsProcessed(state.iterations() * g_folder_count);
}

// Reads a folder and asks the status of each entry, going into every sub-folder.
int walk(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return 0;
    }
    int files = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) {
            continue;
        }
        const std::string path = folder + "/" + entry->d_name;
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0) {
            continue;
        }
        if (S_ISDIR(info.st_mode)) {
            files += walk(path);
        } else {
            ++files;
        }
    }
    ::closedir(dir);
    return files;
}

void plain_walk(benchmark::State& state) {
    history();
    for (auto _ : state) {
        benchmark::DoNotOptimize(walk(g_printed_folder));
    }
    state.SetItemsProcessed(state.iterations() * g_folder_count);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (argc > 1) {
        g_folder_count = std::max(1, std::atoi(argv[1]));
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    constexpr int kRepetitions = 5;
    benchmark::RegisterBenchmark("printed_list/open", open_history)
        ->Repetitions(kRepetitions)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("printed_list/plain_walk", plain_walk)
        ->Repetitions(kRepetitions)
        ->Unit(benchmark::kMillisecond);
    bench_support::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.print_ratio("printed_list_open_over_walk", "printed_list/open",
                         "printed_list/plain_walk");
    benchmark::Shutdown();
    return 0;
}
