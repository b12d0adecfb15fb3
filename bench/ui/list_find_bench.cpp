// Finding a job row by path in a long job queue, as the synchroniser does for every file that
// goes: the list's search against the plain loop that compares every cell as a Unicode string.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QString>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/ui/dialog.h"
#include "platform/ui/list_ctrl.h"

namespace {

namespace ui = platform::ui;

constexpr int kRows = 5000;

std::string job_path(int i) {
    return "/home/operator/jobs/2026-12-10- 3/Customer_Order_" + std::to_string(i) + ".prn";
}

struct Fixture {
    Fixture() {
        for (int i = 0; i < kRows; ++i) {
            const int row = list.insert_item(i, job_path(i));
            list.set_item_text(row, 1, "Wait");
            paths.push_back(job_path(i));
        }
    }
    ui::Dialog dialog{"bench", ui::Size{800, 600}};
    ui::ListCtrl& list = dialog.add<ui::ListCtrl>(1006, ui::Rect::from_size(0, 0, 800, 600));
    std::vector<std::string> paths;
};

Fixture& fixture() {
    static Fixture instance = [] {
        static int argc = 1;
        static char name[] = "bench";
        static char* argv[] = {name, nullptr};
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static QApplication app(argc, argv);
        return Fixture();
    }();
    return instance;
}

// The last row, written in other case: the whole list is searched.
const std::string kWanted = "/HOME/OPERATOR/JOBS/2026-12-10- 3/customer_order_4999.PRN";

void BM_ListFindItem(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state) {
        benchmark::DoNotOptimize(f.list.find_item(kWanted));
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_PlainUnicodeCompareLoop(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state) {
        int found = -1;
        const QString wanted = QString::fromStdString(kWanted);
        for (int i = 0; i < kRows; ++i) {
            if (QString::fromStdString(f.paths[i]).compare(wanted, Qt::CaseInsensitive) == 0) {
                found = i;
                break;
            }
        }
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

BENCHMARK(BM_ListFindItem);
BENCHMARK(BM_PlainUnicodeCompareLoop);

}  // namespace

BENCHMARK_MAIN();
