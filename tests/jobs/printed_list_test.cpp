#include "jobs/printed_list.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "config/program_globals.h"
#include "engine/printed_jobs_folder.h"
#include "message_box_recorder.h"
#include "platform/files.h"
#include "platform/ui/controls.h"
#include "platform/ui/list_ctrl.h"
#include "platform/ui/ui_thread.h"
#include "qt_application.h"
#include "temp_dir.h"
#include "undeletable_entries.h"

namespace {

namespace fs = std::filesystem;
namespace ui = platform::ui;
using test_support::write_file;
using Strings = std::vector<std::string>;

constexpr const char* kSucceeded = "Succeeded, A new print job has been copied, Please check it ";

// Sets a file's or folder's last-write time to a local date and time.
void set_local_time(const fs::path& path, int year, int month, int day, int hour, int minute,
                    int second) {
    struct tm local {};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    const struct timespec times[2] = {{::mktime(&local), 0}, {::mktime(&local), 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
}

class PrintedListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_printed_folder = (dir_ / "RIPCM").string();
        g_job_folder = (dir_ / "Output").string();
        fs::create_directories(g_printed_folder);
        fs::create_directories(g_job_folder);
    }
    void TearDown() override {
        g_printed_folder.clear();
        g_job_folder.clear();
    }

    fs::path printed(const std::string& relative) const {
        return fs::path(g_printed_folder) / relative;
    }
    // A print file filed in the history, in its own folder.
    fs::path archive(const std::string& relative) const {
        fs::create_directories(printed(relative).parent_path());
        write_file(printed(relative), "print file " + relative);
        return printed(relative);
    }

    // Opens the history as the main window does, runs `operate` while it is open, and
    // closes it.
    void with_history_open(const std::function<void(printedlist&)>& operate) {
        printedlist dialog;
        QTimer::singleShot(0, dialog.window(), [&] {
            operate(dialog);
            dialog.end_dialog(ui::kIdCancel);
        });
        dialog.do_modal();
    }
    Strings column(const printedlist& dialog, int column) const {
        Strings texts;
        for (int row = 0; row < dialog.list().item_count(); ++row) {
            texts.push_back(dialog.list().item_text(row, column));
        }
        return texts;
    }
    Strings titles_when_opened() {
        Strings titles;
        with_history_open([&](printedlist& d) { titles = column(d, printedlist::job_title); });
        return titles;
    }
    static void select(printedlist& dialog, int row) {
        dialog.list().set_item_state(row, ui::kItemSelected, ui::kItemSelected);
    }
    static void click(printedlist& dialog, int id) { dialog.control<ui::Button>(id)->click(); }
    Strings job_folder_entries() const {
        Strings names;
        for (const auto& entry : fs::recursive_directory_iterator(g_job_folder)) {
            names.push_back(fs::relative(entry.path(), g_job_folder).string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    test_support::QtApplication app_;
    test_support::MessageBoxRecorder boxes_;
    test_support::TempDir dir_;
};

TEST_F(PrintedListTest, OpeningListsEveryPrintFileWithItsTimeAndCleansTheTree) {
    const fs::path job = archive("2020-09-07-0/a.prn");
    set_local_time(job, 2020, 9, 7, 14, 5, 9);
    archive("2020-09-07-0/a.bmp");
    archive("2020-09-07-1/notes.txt");
    archive("any/depth/B.PRN");
    fs::create_directory(printed("old"));
    set_local_time(printed("old"), 2020, 9, 1, 8, 0, 0);
    // Made by the job printer a moment ago; its file may not be in it yet.
    fs::create_directory(printed("2026-12-10-4"));

    printedlist* seen = nullptr;
    Strings titles, times;
    with_history_open([&](printedlist& d) {
        seen = &d;
        titles = column(d, printedlist::job_title);
        times = column(d, printedlist::printed_time);
        EXPECT_EQ(d.list().column_title(0), "Job Title");
        EXPECT_EQ(d.list().column_title(1), "Printed time");
    });
    ASSERT_NE(seen, nullptr);
    std::sort(titles.begin(), titles.end());
    EXPECT_EQ(titles, (Strings{printed("2020-09-07-0/a.prn"), printed("any/depth/B.PRN")}));
    EXPECT_EQ(times.size(), 2u);
    EXPECT_NE(std::find(times.begin(), times.end(), "2020-09-07 14:05:09"), times.end());
    EXPECT_TRUE(fs::exists(printed("2020-09-07-0/a.bmp")));
    EXPECT_FALSE(fs::exists(printed("2020-09-07-1/notes.txt")));
    EXPECT_FALSE(fs::exists(printed("old")));
    EXPECT_TRUE(fs::is_directory(printed("2020-09-07-1")));
    EXPECT_TRUE(fs::is_directory(printed("2026-12-10-4")));
    EXPECT_TRUE(boxes_.texts().empty());
}

// The job printer files a copy under a hidden temporary name first: one that a copy cut off
// left behind is removed, one still being written (the job printer copying while the history
// opens) is left to its writer, and neither is ever listed.
TEST_F(PrintedListTest, APartialCopyIsNeverListedAndRemovedOnlyOnceNothingWritesIt) {
    archive("2020-09-07-0/a.prn");
    const fs::path left = archive("2020-09-07-0/.velquorin-copy-11-0");
    const fs::path busy = archive("2020-09-07-1/.velquorin-copy-12-0");
    const int writer = ::open(busy.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    Strings titles;
    with_history_open([&](printedlist& d) { titles = column(d, printedlist::job_title); });
    EXPECT_EQ(titles, Strings{printed("2020-09-07-0/a.prn")});
    EXPECT_FALSE(fs::exists(left));
    EXPECT_TRUE(fs::exists(busy));
    ::close(writer);
    with_history_open([&](printedlist& d) { titles = column(d, printedlist::job_title); });
    EXPECT_EQ(titles, Strings{printed("2020-09-07-0/a.prn")});
    EXPECT_FALSE(fs::exists(busy));
}

TEST_F(PrintedListTest, TheWalkOpensNoPipeAndFollowsNoLinkOutOfTheHistory) {
    archive("2026-12-10-0/real.prn");
    fs::create_directories(printed("2026-12-10-1"));
    ASSERT_EQ(::mkfifo(printed("2026-12-10-1/x.prn").c_str(), 0600), 0);
    const fs::path outside = dir_ / "elsewhere";
    fs::create_directories(outside);
    write_file(outside / "keep.txt", "not the history's");
    write_file(outside / "other.prn", "not the history's");
    fs::create_directory_symlink(outside, printed("linked-folder"));
    fs::create_symlink(outside / "other.prn", printed("2026-12-10-0/linked.prn"));

    // A pipe opened for reading would hold the dialog until a writer came.
    EXPECT_EQ(titles_when_opened(), Strings{printed("2026-12-10-0/real.prn")});
    EXPECT_TRUE(fs::exists(outside / "keep.txt"));
    EXPECT_TRUE(fs::exists(outside / "other.prn"));

    // Delete All removes the links themselves, never what they lead to.
    boxes_.queue_answer(ui::Answer::Yes);
    with_history_open([&](printedlist& d) { click(d, IDC_PRINTED_DELETE_ALL); });
    EXPECT_TRUE(fs::is_empty(g_printed_folder));
    EXPECT_TRUE(fs::exists(outside / "keep.txt"));
    EXPECT_TRUE(fs::exists(outside / "other.prn"));
}

TEST_F(PrintedListTest, DeleteTakesTheSelectedFileAndKeepsTheRowOfOneThatStays) {
    const fs::path a = archive("d-0/a.prn");
    const fs::path b = archive("d-1/b.prn");
    const fs::path c = archive("d-2/c.prn");
    with_history_open([&](printedlist& d) {
        click(d, IDC_PRINTED_DELETE);
        EXPECT_EQ(boxes_.texts(), Strings{"Please select a row to delete."});

        const Strings opened = column(d, printedlist::job_title);
        const auto row_of = [&](const fs::path& p) {
            return static_cast<int>(std::find(opened.begin(), opened.end(), p.string()) -
                                    opened.begin());
        };
        // c's file was taken away meanwhile: nothing happens.
        fs::remove(c);
        select(d, row_of(c));
        click(d, IDC_PRINTED_DELETE);
        EXPECT_EQ(d.list().item_count(), 3);
        // b became something that cannot be deleted as a file: told, row kept.
        fs::remove(b);
        fs::create_directory(b);
        select(d, row_of(b));
        click(d, IDC_PRINTED_DELETE);
        EXPECT_EQ(d.list().item_count(), 3);
        ASSERT_EQ(boxes_.count(), 2u);
        EXPECT_NE(boxes_.texts()[1].find(b.string()), std::string::npos);

        select(d, row_of(a));
        click(d, IDC_PRINTED_DELETE);
        EXPECT_FALSE(fs::exists(a));
        const Strings left = column(d, printedlist::job_title);
        EXPECT_EQ(left.size(), 2u);
        EXPECT_EQ(std::count(left.begin(), left.end(), a.string()), 0);
    });
    EXPECT_EQ(boxes_.count(), 2u);
}

TEST_F(PrintedListTest, RevertCopiesTheJobIntoANewDatedFolderEachTime) {
    const fs::path job = archive("2020-09-07-0/a.prn");
    const std::string date = engine::local_date_text();
    with_history_open([&](printedlist& d) {
        click(d, IDC_PRINTED_REVERT);
        select(d, 0);
        click(d, IDC_PRINTED_REVERT);
        click(d, IDC_PRINTED_REVERT);
        EXPECT_EQ(d.list().item_count(), 1);
    });
    EXPECT_EQ(boxes_.texts(), (Strings{"Please select a row to restore!", kSucceeded, kSucceeded}));
    EXPECT_EQ(job_folder_entries(),
              (Strings{date + "-0", date + "-0/a.prn", date + "-1", date + "-1/a.prn"}));
    EXPECT_EQ(test_support::read_file(fs::path(g_job_folder) / (date + "-1") / "a.prn"),
              "print file 2020-09-07-0/a.prn");
    EXPECT_TRUE(fs::exists(job));
}

// A print file runs to 1.7 GB: while one is reverted the window goes on serving the workers,
// whose calls wait on it.
TEST_F(PrintedListTest, ARevertOfALargeFileLeavesTheWindowServingTheWorkers) {
    const std::string large(32 << 20, 'x');
    fs::create_directories(printed("d-0"));
    write_file(printed("d-0/large.prn"), large);
    std::atomic<bool> reverting{false};
    std::atomic<bool> stop{false};
    std::atomic<bool> stopped{false};
    int served_while_reverting = 0;
    std::thread worker([&] {
        while (!stop) {
            ui::ui_call([&] { served_while_reverting += reverting ? 1 : 0; });
        }
        stopped = true;
    });
    with_history_open([&](printedlist& d) {
        select(d, 0);
        reverting = true;
        click(d, IDC_PRINTED_REVERT);
        reverting = false;
        stop = true;
        test_support::pump_events_until([&] { return stopped.load(); });
    });
    worker.join();
    EXPECT_GT(served_while_reverting, 0);
    EXPECT_EQ(boxes_.texts(), Strings{kSucceeded});
    EXPECT_EQ(
        fs::file_size(fs::path(g_job_folder) / (engine::local_date_text() + "-0") / "large.prn"),
        large.size());
}

TEST_F(PrintedListTest, ARevertThatFailsSaysSoAndLeavesNoFolderBehind) {
    const fs::path gone = archive("d-0/gone.prn");
    const fs::path piped = archive("d-1/piped.prn");
    with_history_open([&](printedlist& d) {
        const Strings opened = column(d, printedlist::job_title);
        fs::remove(gone);
        select(d, static_cast<int>(std::find(opened.begin(), opened.end(), gone.string()) -
                                   opened.begin()));
        click(d, IDC_PRINTED_REVERT);
        EXPECT_EQ(boxes_.count(), 0u);
        // No regular file any more: the copy must neither wait for a writer nor succeed.
        fs::remove(piped);
        ASSERT_EQ(::mkfifo(piped.c_str(), 0600), 0);
        select(d, static_cast<int>(std::find(opened.begin(), opened.end(), piped.string()) -
                                   opened.begin()));
        click(d, IDC_PRINTED_REVERT);
    });
    ASSERT_EQ(boxes_.count(), 1u);
    EXPECT_NE(boxes_.texts()[0].find("could not be copied"), std::string::npos);
    EXPECT_TRUE(job_folder_entries().empty());
}

// A revert cut off part-way (here by the file-size limit, whose signal ends the program in
// the middle of the copy, as a crash or a power cut would) leaves no print file in the job
// folder, only the hidden temporary copy, which is no job and which the start-up scan deletes.
TEST_F(PrintedListTest, ARevertCutOffLeavesNoPrintFile) {
    fs::create_directories(printed("d-0"));
    write_file(printed("d-0/big.prn"), std::string(1 << 20, 'x'));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const struct rlimit no_core { 0, 0 };
        const struct rlimit size_limit { 64 * 1024, 64 * 1024 };
        ::setrlimit(RLIMIT_CORE, &no_core);
        ::setrlimit(RLIMIT_FSIZE, &size_limit);
        revert_printed_job(printed("d-0/big.prn"));
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << status;
    for (const std::string& entry : job_folder_entries()) {
        EXPECT_FALSE(entry.ends_with(".prn")) << entry;
        const std::string name = fs::path(entry).filename().string();
        EXPECT_TRUE(entry.find('/') == std::string::npos || platform::is_partial_copy_name(name))
            << entry;
    }
}

TEST_F(PrintedListTest, DeleteAllAsksAndEmptiesTheHistoryOrNamesWhatStayed) {
    archive("d-0/a.prn");
    archive("d-0/a.bmp");
    archive("d-1/b.prn");
    boxes_.queue_answer(ui::Answer::No);
    with_history_open([&](printedlist& d) {
        click(d, IDC_PRINTED_DELETE_ALL);
        EXPECT_EQ(d.list().item_count(), 2);
    });
    EXPECT_TRUE(fs::exists(printed("d-0/a.prn")));
    EXPECT_TRUE(fs::exists(printed("d-1/b.prn")));

    {
        test_support::UndeletableEntries held(printed("d-1"));
        ASSERT_TRUE(held.ok()) << "the file system cannot hold a file in place";
        boxes_.queue_answer(ui::Answer::Yes);
        with_history_open([&](printedlist& d) {
            click(d, IDC_PRINTED_DELETE_ALL);
            EXPECT_EQ(column(d, printedlist::job_title), Strings{printed("d-1/b.prn")});
        });
        EXPECT_FALSE(fs::exists(printed("d-0")));
        ASSERT_EQ(boxes_.count(), 3u);
        EXPECT_NE(boxes_.texts()[2].find(printed("d-1/b.prn").string()), std::string::npos);
    }

    boxes_.queue_answer(ui::Answer::Yes);
    with_history_open([&](printedlist& d) {
        click(d, IDC_PRINTED_DELETE_ALL);
        EXPECT_EQ(d.list().item_count(), 0);
    });
    EXPECT_TRUE(fs::is_directory(g_printed_folder));
    EXPECT_TRUE(fs::is_empty(g_printed_folder));
    ASSERT_EQ(boxes_.count(), 5u);
    EXPECT_EQ(boxes_.texts()[0],
              "Are you sure you want to delete all the printed file? If so, click 'Yes' to "
              "clear, and then click 'No' to exit.");
    EXPECT_EQ(boxes_.texts()[4], "All the task was cleared successfully");
}

}  // namespace
