// The pace of the job intake under a burst: a number of print files moved into the job folder
// at once, taken up by the watcher, the synchroniser and the analyser on their workers, until
// every row reads "Wait"; then all of them removed until no row is left. The analyser's own
// pace, one job per cycle of at least 40 ms, is about 25 jobs a second; the figure printed is
// the pace reached against it, in program time. Run at real time (scale 1) for the figure;
// a larger scale shrinks the program's sleeps but not the real work of each job, so it only
// makes the figure lower.
//
//   build/bench/bench/jobs/bench_intake_burst [jobs] [scale]      (defaults: 500, 1)

#include <QApplication>
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "config/program_globals.h"
#include "engine/job_list_rows.h"
#include "engine/main_window_access.h"
#include "engine/monitoring_thread.h"
#include "engine/prn_header.h"
#include "jobs/hot_folder_watch.h"
#include "jobs/job_intake_roles.h"
#include "platform/clock.h"
#include "platform/ui/dialog.h"
#include "platform/ui/list_ctrl.h"

namespace {

namespace fs = std::filesystem;
namespace ui = platform::ui;

// The two lists of the main window, as the workers reach them.
class BenchWindow : public engine::MainWindowAccess {
  public:
    BenchWindow()
        : jobs_(dialog_.add<ui::ListCtrl>(IDC_JOB_QUEUE_LIST, ui::Rect::from_size(0, 0, 800, 300))),
          printing_(
              dialog_.add<ui::ListCtrl>(IDC_PRINTING_LIST, ui::Rect::from_size(0, 300, 800, 300))) {
        for (int c = 0; c < JobRow::kColumnCount; ++c) {
            jobs_.insert_column(c, JobRow::kColumns[c].title, 80);
        }
        for (int c = 0; c < PrintRow::kColumnCount; ++c) {
            printing_.insert_column(c, PrintRow::kColumns[c].title, 60);
        }
    }
    ui::ListCtrl* list(int id) override {
        return id == IDC_JOB_QUEUE_LIST ? &jobs_ : id == IDC_PRINTING_LIST ? &printing_ : nullptr;
    }
    void show_bitmap(int, int) override {}
    void enable_button(int, bool) override {}
    void set_control_text(int, std::string_view) override {}

    ui::ListCtrl& jobs() { return jobs_; }

  private:
    ui::Dialog dialog_{"bench", ui::Size{800, 600}};
    ui::ListCtrl& jobs_;
    ui::ListCtrl& printing_;
};

// Serves the workers' calls as they come, as the main window's event loop does, until done()
// holds; a timer wakes the loop to look at done() at least every 5 ms.
void pump_until(const std::function<bool()>& done) {
    QTimer wake;
    wake.start(5);
    while (!done()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

// A 40 x 0.04 mm job at 720 dpi: one raster line, enough for "Wait".
std::string small_job() {
    constexpr std::uint32_t kRowBytes = 284;
    std::string bytes(kPrnHeaderSize + kPrnPlaneCount * kRowBytes, '\0');
    PrnHeader header;
    header.width_dots = 1134;
    header.line_count = 1;
    header.row_bytes = kRowBytes;
    encode_prn_header(header, reinterpret_cast<std::uint8_t*>(bytes.data()));
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    const int job_count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 500;
    const double scale = argc > 2 ? std::atof(argv[2]) : 1.0;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    platform::set_time_scale(scale > 0 ? scale : 1.0);

    char folder_template[] = "/tmp/velquorin-intake-XXXXXX";
    const fs::path root = mkdtemp(folder_template);
    const fs::path jobs_folder = root / "Output";
    const fs::path staging = root / "staging";
    fs::create_directories(jobs_folder);
    fs::create_directories(staging);
    fs::create_directories(root / "settings");
    g_job_folder = jobs_folder.string();
    g_settings_root = (root / "settings").string();
    g_print_job_set = 1;

    BenchWindow window;
    engine::register_main_window(&window);
    start_hot_folder_watch();
    install_job_intake_roles();
    std::vector<std::unique_ptr<Monitoring_thread>> workers;
    for (const std::uint32_t role :
         {WM_MT_WATCH_HOT_FOLDER, WM_MT_SYNC_JOB_QUEUE, WM_MT_UPDATE_JOB_INFO}) {
        workers.push_back(std::make_unique<Monitoring_thread>());
        workers.back()->post(role);
        workers.back()->start();
    }

    const std::string job = small_job();
    std::vector<fs::path> placed;
    for (int i = 0; i < job_count; ++i) {
        const std::string name = "job-" + std::to_string(i) + ".prn";
        std::ofstream(staging / name, std::ios::binary) << job;
        placed.push_back((i % 2 == 0 ? jobs_folder : jobs_folder / "20261210") / name);
    }

    // The start-up scan of the empty job folder is long over; the dated sub-folder, made with
    // the burst, is watched and listed as it appears.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const std::uint32_t start = platform::tick_count();
    fs::create_directories(jobs_folder / "20261210");
    for (int i = 0; i < job_count; ++i) {
        fs::rename(staging / placed[i].filename(), placed[i]);
    }
    pump_until([&] {
        if (window.jobs().item_count() != job_count) {
            return false;
        }
        for (int row = 0; row < job_count; ++row) {
            if (window.jobs().item_text(row, JobRow::state) != JobState::wait) {
                return false;
            }
        }
        return true;
    });
    const double analysed_s = (platform::tick_count() - start) / 1000.0;

    const std::uint32_t removal = platform::tick_count();
    for (const fs::path& path : placed) {
        fs::remove(path);
    }
    pump_until([&] { return window.jobs().item_count() == 0; });
    const double removed_s = (platform::tick_count() - removal) / 1000.0;

    const double pace = job_count / analysed_s;
    std::printf(
        "intake: %d jobs to the last \"Wait\" in %.2f s of program time (%.1f jobs/s) at "
        "scale %g; all rows gone %.2f s after their removal\n",
        job_count, analysed_s, pace, platform::time_scale(), removed_s);
    std::printf("ratio intake_pace_over_analyser_pace %.3f\n", pace / 25.0);

    for (auto& worker : workers) {
        worker->request_stop();
    }
    std::atomic<bool> ended{false};
    std::thread ender([&] {
        workers.clear();
        ended = true;
    });
    pump_until([&] { return ended.load(); });
    ender.join();
    engine::register_main_window(nullptr);
    fs::remove_all(root);
    return 0;
}
