// The preview dialog, run modally offscreen over a test main window: its texts and state
// buttons, stepping through the job queue, Regenerate Preview, "Add to printing list" and the
// watcher that follows the printing list while the dialog is open.
#include "analysis/printpreview.h"

#include <gtest/gtest.h>

#include <QTimer>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "analysis/bitmap_file.h"
#include "analysis/createbmpdlg.h"
#include "analysis/preview_builder.h"
#include "dialog_look.h"
#include "fifo.h"
#include "message_box_recorder.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/ui/controls.h"
#include "platform/ui/ui_thread.h"
#include "prn_builder.h"
#include "temp_dir.h"
#include "test_main_window.h"

namespace {

using platform::ui::kItemFocused;
using platform::ui::kItemSelected;

class PrintPreviewTest : public ::testing::Test {
  protected:
    PrintPreviewTest() { platform::set_time_scale(100.0); }
    ~PrintPreviewTest() override { platform::set_time_scale(1.0); }

    // A job row with its print file (300 x 1000 at 720 x 720) in the temporary folder.
    std::string add_job(const std::string& name, std::string_view state,
                        const std::string& extension = ".prn") {
        const std::string path = (dir_ / (name + extension)).string();
        test_support::PrnBuilder(300, 1000).random_dots(name.size()).write(path);
        auto& jobs = window_.jobs();
        const int row = jobs.insert_item(jobs.item_count(), path);
        jobs.set_item_text(row, JobRow::state, state);
        jobs.set_item_text(row, JobRow::print_mode, "KCMY " + name);
        jobs.set_item_text(row, JobRow::output_size, "10.58*35.28cm");
        jobs.set_item_text(row, JobRow::date_modified, "2026/12/10 " + name);
        jobs.set_item_text(row, JobRow::copies, "2");
        jobs.set_item_text(row, JobRow::resolution, "720*720dpi");
        jobs.set_item_text(row, JobRow::embossed_3d, "Small");
        jobs.set_item_text(row, JobRow::print_direction, "BiDirection");
        return path;
    }

    // Opens the dialog on job row `row` as the main window's Preview does.
    void set_preview_info(int row) {
        auto& jobs = window_.jobs();
        jobs.set_item_state(row, kItemSelected | kItemFocused, kItemSelected | kItemFocused);
        const std::string path = jobs.item_text(row, JobRow::job_path);
        printpreview::SetPreviewInfo(
            preview_bitmap_path(path), path, jobs.item_text(row, JobRow::print_mode),
            jobs.item_text(row, JobRow::output_size), jobs.item_text(row, JobRow::date_modified),
            jobs.item_text(row, JobRow::resolution), jobs.item_text(row, JobRow::print_direction),
            jobs.item_text(row, JobRow::state));
    }

    // Runs the dialog modally; the script runs inside the run, then the dialog is cancelled.
    void run(printpreview& dialog, const std::function<void()>& script) {
        QTimer::singleShot(0, [&] {
            script();
            dialog.command(platform::ui::kIdCancel);
        });
        EXPECT_EQ(dialog.do_modal(), platform::ui::kIdCancel);
    }

    static std::string text(printpreview& d, int id) {
        return d.control<platform::ui::Static>(id)->text();
    }
    // Which of 1014, 1015, 1016 are shown, as three letters.
    static std::string buttons(printpreview& d) {
        std::string shown;
        for (const int id : {printpreview::IDC_ADD_TO_QUEUE, printpreview::IDC_STATE_WAITING,
                             printpreview::IDC_STATE_PRINTING}) {
            shown += d.item(id)->is_visible() ? 'x' : '-';
        }
        return shown;
    }

    test_support::TempDir dir_;
    test_support::TestMainWindow window_;
    test_support::MessageBoxRecorder boxes_;
};

// Beside the print file, its extension's letter case kept: jobs whose names differ only in that
// case each have their own bitmap.
TEST(PreviewBitmapPath, BesideThePrintFile) {
    const std::pair<const char*, const char*> cases[] = {
        {"/jobs/a.prn", "/jobs/a.bmp"},
        {"a.prn", "a.bmp"},
        {"/jobs.d/job.PRN", "/jobs.d/job.BMP"},
        {"/jobs/a.Prn", "/jobs/a.Bmp"},
        {"/jobs/a.prN", "/jobs/a.bmP"},
        {"/jobs/A.prn", "/jobs/A.bmp"},
        {".PRN", ".BMP"},
        {"/jobs/ab", "/jobs/.bmp"},
    };
    for (const auto& [prn, bmp] : cases) {
        EXPECT_EQ(preview_bitmap_path(prn), bmp) << prn;
    }
}

TEST_F(PrintPreviewTest, OpensWithThePictureTextsAndStateButtons) {
    const struct {
        std::string_view state;
        const char* buttons;
    } cases[] = {{JobState::wait, "x--"},
                 {JobState::ready_to_print, "-x-"},
                 {JobState::printing, "--x"},
                 {JobState::error, "---"}};
    const std::string path = add_job("a", JobState::wait);
    ASSERT_EQ(write_preview_bitmap(path, preview_bitmap_path(path)).failure, PreviewFailure::None);
    for (const auto& c : cases) {
        window_.jobs().set_item_text(0, JobRow::state, c.state);
        set_preview_info(0);
        printpreview dialog;
        run(dialog, [&] {
            EXPECT_EQ(buttons(dialog), c.buttons) << c.state;
            EXPECT_EQ(text(dialog, printpreview::IDC_PREVIEW_TITLE), path);
            EXPECT_EQ(text(dialog, printpreview::IDC_PREVIEW_MODE), "Pring Mode: KCMY a");
            EXPECT_EQ(text(dialog, printpreview::IDC_PREVIEW_RESOLUTION),
                      "Pring Resolution: 720*720dpi");
            EXPECT_EQ(text(dialog, printpreview::IDC_PREVIEW_DATE), "Last Update: 2026/12/10 a");
            EXPECT_EQ(text(dialog, printpreview::IDC_PREVIEW_DIRECTION),
                      "Pring Direction: BiDirection");
            auto* picture =
                dialog.control<platform::ui::Picture>(printpreview::IDC_PREVIEW_PICTURE);
            EXPECT_EQ(picture->bitmap().width(), 354);
            EXPECT_EQ(picture->bitmap().height(), 295);
            EXPECT_EQ(picture->rect().width(), 354);
        });
    }
    EXPECT_EQ(boxes_.count(), 0u);
}

// Two frames, round the picture and round the job's texts, and a picture of its own besides
// the job's, shown before any job's picture is loaded.
TEST_F(PrintPreviewTest, FramesThePictureAndTheTextsAndShowsItsOwnPicture) {
    printpreview dialog;
    const auto frames = test_support::dialog_frames(dialog);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_TRUE(test_support::encloses(frames[0].rect,
                                       dialog.item(printpreview::IDC_PREVIEW_PICTURE)->rect()));
    for (int id = printpreview::IDC_PREVIEW_TITLE; id <= printpreview::IDC_PREVIEW_DIRECTION;
         ++id) {
        EXPECT_TRUE(test_support::encloses(frames[1].rect, dialog.item(id)->rect())) << id;
    }
    const auto pictures = test_support::dialog_pictures(dialog);
    ASSERT_EQ(pictures.size(), 1u);
    EXPECT_FALSE(test_support::encloses(frames[0].rect, pictures[0].rect));
}

TEST_F(PrintPreviewTest, StepsThroughTheQueueAndKeepsItsJobOnARefusedStep) {
    const std::string a = add_job("a", JobState::wait);
    const std::string b = add_job("b", JobState::ready_to_print);
    const std::string c = add_job("c", JobState::error);
    // b waits in the printing list, as its state says, so the watcher (which runs on while a
    // bitmap is built) shows what the state does.
    auto& printing = window_.printing();
    const int queued = printing.insert_item(0, " 1");
    printing.set_item_text(queued, PrintRow::job_path, b);
    printing.set_item_text(queued, PrintRow::state, JobState::ready_to_print);
    ASSERT_EQ(write_preview_bitmap(a, preview_bitmap_path(a)).failure, PreviewFailure::None);
    set_preview_info(0);
    printpreview dialog;
    run(dialog, [&] {
        dialog.command(printpreview::IDC_PREVIOUS_JOB);
        EXPECT_EQ(boxes_.texts().back(), "Is at First rows");
        EXPECT_EQ(g_preview_info[1], a);

        // Onto b, whose bitmap is missing: it is built first.
        dialog.command(printpreview::IDC_NEXT_JOB);
        EXPECT_TRUE(platform::exists(preview_bitmap_path(b)));
        EXPECT_EQ(g_preview_info[0], preview_bitmap_path(b));
        EXPECT_EQ(g_preview_info[1], b);
        EXPECT_EQ(text(dialog, printpreview::IDC_PREVIEW_TITLE), b);
        EXPECT_EQ(text(dialog, printpreview::IDC_PREVIEW_DATE), "Last Update: 2026/12/10 b");
        EXPECT_EQ(buttons(dialog), "-x-");
        EXPECT_EQ(window_.jobs().next_selected(), 1);

        // Onto the Error job c: the selection moves, the dialog keeps b.
        dialog.command(printpreview::IDC_NEXT_JOB);
        EXPECT_EQ(boxes_.texts().back(),
                  "The preview failed, the file is in use or is in error, please try again later");
        EXPECT_EQ(window_.jobs().next_selected(), 2);
        EXPECT_EQ(g_preview_info[1], b);
        EXPECT_EQ(text(dialog, printpreview::IDC_PREVIEW_TITLE), b);
        dialog.command(printpreview::IDC_NEXT_JOB);
        EXPECT_EQ(boxes_.texts().back(), "Is at Last rows");

        // Regenerate rebuilds b's bitmap, never c's; the buttons follow the state stored at
        // opening.
        ASSERT_TRUE(platform::delete_file(preview_bitmap_path(b)));
        dialog.command(printpreview::IDC_REGENERATE_PREVIEW);
        EXPECT_TRUE(platform::exists(preview_bitmap_path(b)));
        EXPECT_FALSE(platform::exists(preview_bitmap_path(c)));
        EXPECT_EQ(buttons(dialog), "x--");

        // Back onto b: its bitmap is there and only loaded, not built again.
        PreviewPicture marker;
        marker.width = 2;
        marker.height = 3;
        marker.pixels.assign(6, 0x123456);
        ASSERT_TRUE(save_bitmap_to_file(marker, preview_bitmap_path(b)));
        dialog.command(printpreview::IDC_PREVIOUS_JOB);
        EXPECT_EQ(window_.jobs().next_selected(), 1);
        EXPECT_EQ(g_preview_info[1], b);
        auto* picture = dialog.control<platform::ui::Picture>(printpreview::IDC_PREVIEW_PICTURE);
        EXPECT_EQ(picture->bitmap().width(), 2);
        EXPECT_EQ(picture->bitmap().height(), 3);
    });
    EXPECT_EQ(boxes_.count(), 3u);
}

// A step reads the job's texts before its bitmap is built: a row removed meanwhile (the window
// serves the workers during the build) never puts the next job's texts under this job's title.
TEST_F(PrintPreviewTest, AStepShowsItsOwnJobsTextsWhenTheRowGoesDuringTheBuild) {
    const std::string a = add_job("a", JobState::wait);
    const std::string b = add_job("b", JobState::wait);
    add_job("c", JobState::wait);
    ASSERT_EQ(write_preview_bitmap(a, preview_bitmap_path(a)).failure, PreviewFailure::None);
    set_preview_info(0);
    printpreview dialog;
    std::atomic<bool> removed = false;
    std::atomic<bool> stop = false;
    // The synchroniser's part: b's file went away while its bitmap was being built.
    std::thread worker([&] {
        while (!stop && !removed) {
            platform::ui::ui_call([&] {
                if (dynamic_cast<createbmpdlg*>(platform::ui::Dialog::innermost_modal()) !=
                    nullptr) {
                    window_.jobs().delete_item(1);
                    removed = true;
                }
            });
        }
    });
    run(dialog, [&] {
        dialog.command(printpreview::IDC_NEXT_JOB);
        EXPECT_TRUE(removed);
        EXPECT_EQ(text(dialog, printpreview::IDC_PREVIEW_TITLE), b);
        EXPECT_EQ(text(dialog, printpreview::IDC_PREVIEW_MODE), "Pring Mode: KCMY b");
        EXPECT_EQ(text(dialog, printpreview::IDC_PREVIEW_DATE), "Last Update: 2026/12/10 b");
    });
    stop = true;
    test_support::pump_events_until([&] { return false; }, 50);
    worker.join();
}

// A bitmap older than its print file was made of an earlier file of that name: a step onto
// the job builds it again; one as new as the file is only loaded.
TEST_F(PrintPreviewTest, ABitmapOlderThanItsPrintFileIsBuiltAgain) {
    const std::string a = add_job("a", JobState::wait);
    const std::string b = add_job("b", JobState::wait);
    ASSERT_EQ(write_preview_bitmap(a, preview_bitmap_path(a)).failure, PreviewFailure::None);
    PreviewPicture marker;
    marker.width = 2;
    marker.height = 3;
    marker.pixels.assign(6, 0x123456);
    ASSERT_TRUE(save_bitmap_to_file(marker, preview_bitmap_path(b)));
    const auto written = std::filesystem::last_write_time(b);
    set_preview_info(0);
    printpreview dialog;
    auto* picture = dialog.control<platform::ui::Picture>(printpreview::IDC_PREVIEW_PICTURE);
    run(dialog, [&] {
        for (const bool older : {false, true}) {
            SCOPED_TRACE(older ? "older" : "as new");
            std::filesystem::last_write_time(preview_bitmap_path(b),
                                             older ? written - std::chrono::seconds(1) : written);
            dialog.command(printpreview::IDC_NEXT_JOB);
            EXPECT_EQ(g_preview_info[1], b);
            EXPECT_EQ(picture->bitmap().width(), older ? 354 : 2);
            dialog.command(printpreview::IDC_PREVIOUS_JOB);
        }
    });
    EXPECT_EQ(boxes_.count(), 0u);
}

// Each job's picture goes to its own bitmap and nowhere else. Two jobs whose names differ only
// in letter case have one each; Regenerate replaces the bitmap's name itself, so a link there to
// another job's bitmap is replaced and that bitmap kept; a pipe there is not waited on when the
// picture loads, and is replaced too.
TEST_F(PrintPreviewTest, EachJobsPictureGoesOnlyIntoItsOwnBitmap) {
    const std::string lower = add_job("a", JobState::wait);
    const std::string upper = add_job("a", JobState::wait, ".PRN");
    test_support::PrnBuilder(300, 1000).solid(PRN_PLANE_BLACK, 0, 1000, 0, 300).write(upper);
    const std::string other = add_job("other", JobState::wait);
    ASSERT_EQ(write_preview_bitmap(other, preview_bitmap_path(other)).failure,
              PreviewFailure::None);
    const std::string other_bitmap = test_support::read_file(preview_bitmap_path(other));
    std::filesystem::create_symlink(preview_bitmap_path(other), preview_bitmap_path(lower));
    test_support::make_fifo(preview_bitmap_path(upper));
    const test_support::FifoGuard guard({preview_bitmap_path(upper)});

    set_preview_info(1);
    printpreview dialog;
    run(dialog, [&] {
        auto* picture = dialog.control<platform::ui::Picture>(printpreview::IDC_PREVIEW_PICTURE);
        EXPECT_TRUE(picture->bitmap().is_null());
        dialog.command(printpreview::IDC_REGENERATE_PREVIEW);
        EXPECT_FALSE(picture->bitmap().is_null());
        dialog.command(printpreview::IDC_PREVIOUS_JOB);
        EXPECT_EQ(g_preview_info[1], lower);
        dialog.command(printpreview::IDC_REGENERATE_PREVIEW);
        EXPECT_FALSE(picture->bitmap().is_null());
    });
    EXPECT_FALSE(guard.released());
    for (const std::string& job : {lower, upper}) {
        EXPECT_EQ(platform::entry_status(preview_bitmap_path(job))->kind,
                  platform::EntryStatus::Kind::RegularFile)
            << job;
    }
    EXPECT_NE(test_support::read_file(preview_bitmap_path(lower)),
              test_support::read_file(preview_bitmap_path(upper)));
    EXPECT_EQ(test_support::read_file(preview_bitmap_path(other)), other_bitmap);
    EXPECT_EQ(boxes_.count(), 0u);
}

TEST_F(PrintPreviewTest, AddSendsOnlyAJobThatWaitsAndOnlyOnce) {
    const std::string a = add_job("a", JobState::wait);
    const std::string b = add_job("b", JobState::wait);
    set_preview_info(0);
    printpreview dialog;
    run(dialog, [&] {
        dialog.command(printpreview::IDC_ADD_TO_QUEUE);
        auto& printing = window_.printing();
        ASSERT_EQ(printing.item_count(), 1);
        const std::vector<std::string> expected = {
            " 1", "Ready to print", a, "10.58*35.28cm", "2", "0%", "Small", "N/A", "Bi", "N/A",
            "N/A"};
        for (int col = 0; col < PrintRow::kColumnCount; ++col) {
            EXPECT_EQ(printing.item_text(0, col), expected[static_cast<std::size_t>(col)]) << col;
        }
        EXPECT_EQ(window_.jobs().item_text(0, JobRow::state), "Ready to print");
        EXPECT_EQ(buttons(dialog), "-x-");
        EXPECT_EQ(window_.jobs().next_selected(), 0);
        // A second click finds the row and appends nothing.
        dialog.command(printpreview::IDC_ADD_TO_QUEUE);
        EXPECT_EQ(printing.item_count(), 1);
        EXPECT_EQ(boxes_.count(), 0u);

        // b turned "Error" after it was stepped to: Add refuses it.
        dialog.command(printpreview::IDC_NEXT_JOB);
        window_.jobs().set_item_text(1, JobRow::state, JobState::error);
        dialog.command(printpreview::IDC_ADD_TO_QUEUE);
        EXPECT_EQ(printing.item_count(), 1);
        EXPECT_EQ(boxes_.texts().back(),
                  "The job reads \"Error\", not \"Wait\": it is not added to the printing list.");

        // Its row gone from the list, then its file gone.
        window_.jobs().delete_item(1);
        dialog.command(printpreview::IDC_ADD_TO_QUEUE);
        EXPECT_EQ(boxes_.texts().back(), "There is not find the print file in list.");
        ASSERT_TRUE(platform::delete_file(b));
        dialog.command(printpreview::IDC_ADD_TO_QUEUE);
        EXPECT_EQ(boxes_.texts().back(), "There is not find the print file.");
        EXPECT_EQ(printing.item_count(), 1);
    });
}

// Add never waits on the print file: a pipe or a device at its name is not available.
TEST_F(PrintPreviewTest, AddTakesAPipeOrADeviceForAFileNotAvailable) {
    const test_support::UnreadableNames unreadable =
        test_support::make_unreadable_names(dir_.path(), ".prn");
    const test_support::FifoGuard guard(unreadable.fifos);
    for (const auto& name : unreadable.names) {
        auto& jobs = window_.jobs();
        jobs.delete_all_items();
        jobs.insert_item(0, name.string());
        jobs.set_item_text(0, JobRow::state, JobState::wait);
        set_preview_info(0);
        printpreview dialog;
        run(dialog, [&] { dialog.command(printpreview::IDC_ADD_TO_QUEUE); });
        EXPECT_EQ(window_.printing().item_count(), 0) << name;
    }
    EXPECT_EQ(boxes_.texts(),
              std::vector<std::string>(unreadable.names.size(), "Print File Not Available."));
    EXPECT_FALSE(guard.released());
}

TEST_F(PrintPreviewTest, WatcherFollowsThePrintingListAndEndsWithItsDialog) {
    const std::string a = add_job("a", JobState::wait);
    set_preview_info(0);
    printpreview dialog;
    auto& printing = window_.printing();
    const auto shows = [&](const char* expected) {
        return test_support::pump_events_until([&] { return buttons(dialog) == expected; });
    };
    run(dialog, [&] {
        EXPECT_EQ(buttons(dialog), "x--");
        const int row = printing.insert_item(0, " 1");
        printing.set_item_text(row, PrintRow::job_path, a);
        printing.set_item_text(row, PrintRow::state, JobState::ready_to_print);
        EXPECT_TRUE(shows("-x-"));
        printing.set_item_text(row, PrintRow::state, JobState::printing);
        EXPECT_TRUE(shows("--x"));
    });
    // Closed: nothing changes the buttons any more.
    printing.delete_all_items();
    test_support::pump_events_until([] { return false; }, 300);
    EXPECT_EQ(buttons(dialog), "--x");
    // Opened again, it watches again.
    const int row = printing.insert_item(0, " 1");
    printing.set_item_text(row, PrintRow::job_path, a);
    printing.set_item_text(row, PrintRow::state, JobState::printing);
    set_preview_info(0);
    run(dialog, [&] {
        EXPECT_EQ(buttons(dialog), "x--");
        EXPECT_TRUE(shows("--x"));
    });
}

}  // namespace
