#include "jobs/hot_folder_watch.h"

#include <cerrno>
#include <iostream>
#include <string_view>
#include <system_error>
#include <vector>

#include "config/program_globals.h"
#include "engine/monitoring_thread.h"
#include "engine/step_settings.h"
#include "jobs/job_intake.h"
#include "platform/clock.h"
#include "platform/ui/message_box.h"

std::shared_ptr<platform::DirWatchPort> g_hot_folder_port;
std::atomic<std::shared_ptr<HotFolderWatch>> g_hot_folder_watch;
std::atomic<std::shared_ptr<platform::WriteWatch>> g_job_folder_writes;

namespace {

// Short enough for the worker to stop promptly, long enough not to spin.
constexpr std::uint32_t kWatchWaitMs = 200;

// Whatever becomes of it, the intake goes on: without it every file whose writer cannot be ruled
// out waits for its quiet time.
void start_write_watch() {
    int error = 0;
    std::shared_ptr<platform::WriteWatch> writes = platform::WriteWatch::create(&error);
    if (!writes) {
        std::cerr << "velquorin: cannot watch the writes into the job folder: "
                  << std::error_code(error, std::system_category()).message() << "\n";
    } else if (!writes->watch_tree(g_job_folder)) {
        std::cerr << "velquorin: cannot watch the writes into the job folder " << g_job_folder
                  << ": " << std::error_code(errno, std::system_category()).message() << "\n";
    }
    g_job_folder_writes.store(std::move(writes));
}

std::string_view change_code(platform::DirChangeAction action) {
    switch (action) {
        case platform::DirChangeAction::Added:
        case platform::DirChangeAction::RenamedNewName:
            return kChangeAppeared;
        case platform::DirChangeAction::Removed:
        case platform::DirChangeAction::RenamedOldName:
            return kChangeGone;
    }
    return {};
}

}  // namespace

int start_hot_folder_watch() {
    load_step_settings();
    start_write_watch();
    if (g_hot_folder_port) {
        platform::ui::message_box("mh IOCP error");
    }
    g_hot_folder_port = platform::DirWatchPort::create();

    auto watch = std::make_shared<HotFolderWatch>();
    watch->path = g_job_folder;
    bool bound = false;
    watch->folder = platform::DirWatch::open(watch->path);
    if (!watch->folder) {
        platform::ui::message_box("Failed to open hot folder");
    } else if (!watch->folder->bind(g_hot_folder_port)) {
        platform::ui::message_box("Create IOCP error");
        watch->folder.reset();
    } else {
        bound = true;
    }

    // g_job_list_lock is built with the program, so it is ready here whatever became of the
    // watch: the synchroniser and the analyser take it whether or not the watch runs.
    if (!g_hot_folder_port) {
        platform::ui::message_box("mh_IOCP NULL");
    }
    if (!bound) {
        return 0;
    }

    watch->filter = kFileNameChangesFilter;
    if (const int error = watch->folder->start(); error != 0) {
        // The system's own words for the refusal (the watch limit, a folder not readable).
        platform::ui::message_box("Failed to watch hot folder: " +
                                  std::error_code(error, std::system_category()).message());
        return 0;
    }
    // A later set-up replaces a running watch only once its own is armed; the watcher keeps
    // the earlier one until its wait returns, so nothing is freed under it.
    g_hot_folder_watch.store(std::move(watch));
    return 0;
}

void watch_hot_folder(Monitoring_thread& worker) {
    while (!worker.stop_requested()) {
        const std::shared_ptr<HotFolderWatch> watch = g_hot_folder_watch.load();
        if (!watch) {
            platform::sleep_ms(kWatchWaitMs);
            continue;
        }
        // The wait ends after a time-out so that the worker can stop; the kernel keeps queuing
        // meanwhile, so the watch is never disarmed between reads.
        for (const platform::DirChange& change : watch->folder->wait(kWatchWaitMs)) {
            // The name comes as the file system's bytes and is used as it is: nothing is
            // converted, so the path always names the file, whatever characters it holds.
            if (!has_prn_extension(change.name)) {
                continue;
            }
            // A job folder set with a closing '/' gets no second one, as in the start-up scan.
            append_hot_folder_change(job_file_path(g_job_folder, change.name),
                                     change_code(change.action));
        }
    }
}

namespace hot_folder_watch_detail {

void reset() {
    g_hot_folder_watch.store(nullptr);
    g_job_folder_writes.store(nullptr);
    g_hot_folder_port.reset();
}

}  // namespace hot_folder_watch_detail
