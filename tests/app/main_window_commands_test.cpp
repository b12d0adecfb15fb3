// The operator's commands through the real main window: the job buttons, the context menu,
// Print with the size limits, Remove from printing, Move, Delete, Save, the printing-list click
// and Enter. The lists change only as the tests change them (the roles stand still).

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "analysis/bitmap_file.h"
#include "analysis/ink_cost_dialogs.h"
#include "analysis/preview_builder.h"
#include "analysis/print_time_dialogs.h"
#include "analysis/printpreview.h"
#include "app/app_globals.h"
#include "app/file_commands.h"
#include "app/job_lists.h"
#include "app/job_queue_list.h"
#include "app/main_window_ids.h"
#include "app/printing_list.h"
#include "engine/prn_header.h"
#include "fifo.h"
#include "jobs/job_intake.h"
#include "main_window_fixture.h"
#include "platform/ui/controls.h"
#include "platform/ui/file_dialog.h"
#include "platform/ui/menu.h"
#include "prn_builder.h"
#include "temp_dir.h"
#include "test_main_window.h"

namespace {

namespace fs = std::filesystem;
namespace ui = platform::ui;

constexpr unsigned kSF = ui::kItemSelected | ui::kItemFocused;

// A print file's header only: the size check reads no further.
std::string header_bytes(std::uint32_t width_dots, std::uint32_t lines, std::uint32_t x_dpi = 720,
                         std::uint32_t y_dpi = 720) {
    std::string bytes(kPrnHeaderSize, '\0');
    PrnHeader header;
    header.width_dots = width_dots;
    header.line_count = lines;
    header.x_dpi = x_dpi;
    header.y_dpi = y_dpi;
    encode_prn_header(header, reinterpret_cast<std::uint8_t*>(bytes.data()));
    return bytes;
}

// Makes a file or folder immutable while it lives: not even root can delete it, or delete
// from it. Tests run as root, where a read-only folder stops nothing.
class Immutable {
  public:
    explicit Immutable(const fs::path& path) : path_(path) { set(true); }
    ~Immutable() {
        if (held_) {
            set(false);
        }
    }
    bool held() const { return held_; }

  private:
    void set(bool on) {
        const int fd = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK);
        if (fd < 0) {
            return;
        }
        int flags = 0;
        if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
            flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
            held_ = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0 && on;
        }
        ::close(fd);
    }

    fs::path path_;
    bool held_ = false;
};

class MainWindowCommands : public test_support::MainWindowTest {
  protected:
    MainWindowCommands() { stand_in_for_print_loop(); }
    ~MainWindowCommands() override { ui::set_menu_responder({}); }

    fs::path job(const std::string& name) const { return station.job_folder() / name; }

    // A job row as the analyser leaves it; the file is written when bytes are given.
    int add_job(CvelquorinDlg& window, const fs::path& path, std::string_view state,
                const std::optional<std::string>& bytes = header_bytes(1134, 144)) {
        if (bytes) {
            test_support::write_file(path, *bytes);
        }
        MyListCtrl& jobs = window.job_queue_list();
        const int row = jobs.insert_item(jobs.item_count(), path.string());
        const char* texts[] = {"",           "",  "Color-KCMY",    "1.5748\" x 0.2000\"",
                               "-",          "1", "720 x 720 dpi", "N/A",
                               "BiDirection"};
        for (int column = 1; column < JobRow::kColumnCount; ++column) {
            jobs.set_item_text(row, column, texts[column]);
        }
        jobs.set_item_text(row, JobRow::state, state);
        return row;
    }

    static void select(ui::ListCtrl& list, int row) { list.set_item_state(row, kSF, kSF); }

    static bool enabled(CvelquorinDlg& window, int id) { return window.item(id)->is_enabled(); }

    static std::vector<std::string> column(ui::ListCtrl& list, int column) {
        std::vector<std::string> texts;
        for (int row = 0; row < list.item_count(); ++row) {
            texts.push_back(list.item_text(row, column));
        }
        return texts;
    }

    // The context menu's items as it offered them, the responder choosing `choice`.
    std::vector<ui::MenuItem> right_click(CvelquorinDlg& window, int choice) {
        std::vector<ui::MenuItem> offered;
        ui::set_menu_responder([&](const ui::Menu& menu, ui::Point) {
            offered = menu.items();
            return choice;
        });
        window.OnNMRClickJobQueue();
        ui::set_menu_responder({});
        return offered;
    }
};

TEST_F(MainWindowCommands, JobButtonsFollowTheSelectedRowsStateAlsoWhenOnlyTheStateChanges) {
    run([&](CvelquorinDlg& window) {
        const int ids[] = {IDC_SAVE_BUTTON, IDC_PRINT_BUTTON, IDC_DELETE_BUTTON, IDC_REMOVE_BUTTON,
                           IDC_PREVIEW_BUTTON};
        const auto buttons = [&] {
            std::vector<bool> states;
            for (const int id : ids) {
                states.push_back(enabled(window, id));
            }
            return states;
        };
        using B = std::vector<bool>;
        MyListCtrl& jobs = window.job_queue_list();
        add_job(window, job("a.prn"), JobState::wait);
        add_job(window, job("b.prn"), JobState::ready_to_print);
        add_job(window, job("c.prn"), JobState::error);
        add_job(window, job("d.prn"), JobState::generating_data);

        select(jobs, 0);
        EXPECT_EQ(buttons(), (B{true, true, true, false, true}));
        EXPECT_EQ(g_selected_job_state, "Wait");
        select(jobs, 1);
        EXPECT_EQ(buttons(), (B{true, false, false, true, true}));
        select(jobs, 2);
        EXPECT_EQ(buttons(), (B{false, false, true, false, false}));
        select(jobs, 3);
        EXPECT_EQ(buttons(), (B{false, false, false, false, false}));

        // The analyser finishes the selected row from its own thread: its buttons follow.
        EXPECT_TRUE(test_support::run_off_ui_thread(
            [&] { jobs.set_item_text(3, JobRow::state, JobState::wait); }));
        EXPECT_EQ(buttons(), (B{true, true, true, false, true}));
        // "Printing" leaves them as they are.
        jobs.set_item_text(3, JobRow::state, JobState::printing);
        EXPECT_EQ(buttons(), (B{true, true, true, false, true}));
        // A row that is not selected changes nothing.
        jobs.set_item_text(0, JobRow::state, JobState::error);
        EXPECT_EQ(buttons(), (B{true, true, true, false, true}));

        // A click on no row takes the selection: every job button goes off.
        jobs.set_item_state(-1, 0, ui::kItemSelected);
        EXPECT_EQ(buttons(), (B{false, false, false, false, false}));
        // So does the selected row's going, when the synchroniser removes a job whose file
        // went.
        select(jobs, 0);
        ASSERT_TRUE(enabled(window, IDC_DELETE_BUTTON));
        EXPECT_TRUE(test_support::run_off_ui_thread([&] { jobs.delete_item(0); }));
        EXPECT_EQ(buttons(), (B{false, false, false, false, false}));
    });
    EXPECT_EQ(boxes.count(), 0u);
}

TEST_F(MainWindowCommands, PrintActsOnlyOnARowThatReadsWaitAtTheClick) {
    run([&](CvelquorinDlg& window) {
        MyListCtrl& jobs = window.job_queue_list();
        add_job(window, job("a.prn"), JobState::wait);
        select(jobs, 0);
        ASSERT_TRUE(enabled(window, IDC_PRINT_BUTTON));
        // The analyser's second look found an error in the meantime.
        jobs.set_item_text(0, JobRow::state, JobState::error);
        window.command(IDC_PRINT_BUTTON);
        EXPECT_EQ(window.printing_list().item_count(), 0);
        EXPECT_EQ(jobs.item_text(0, JobRow::state), "Error");
    });
    EXPECT_EQ(boxes.count(), 0u);
}

// Print never waits on the print file: a pipe or a device at its name is a file that is not
// available, and the job stays as it was.
TEST_F(MainWindowCommands, PrintTakesAPipeOrADeviceForAFileNotAvailable) {
    const test_support::UnreadableNames unreadable =
        test_support::make_unreadable_names(station.job_folder(), ".prn");
    const test_support::FifoGuard guard(unreadable.fifos);
    run([&](CvelquorinDlg& window) {
        MyListCtrl& jobs = window.job_queue_list();
        for (const fs::path& name : unreadable.names) {
            add_job(window, name, JobState::wait, std::nullopt);
        }
        for (int row = 0; row < jobs.item_count(); ++row) {
            select(jobs, row);
            window.command(IDC_PRINT_BUTTON);
            EXPECT_EQ(jobs.item_text(row, JobRow::state), "Wait") << row;
        }
        EXPECT_EQ(window.printing_list().item_count(), 0);
    });
    EXPECT_EQ(boxes.texts(),
              std::vector<std::string>(unreadable.names.size(), "Print File Not Available."));
    EXPECT_FALSE(guard.released());
}

struct SizeCase {
    const char* name;
    std::string header;
    // Empty when the job is sent; otherwise what the refusal names.
    std::vector<std::string> refusal;
};

void PrintTo(const SizeCase& c, std::ostream* out) {
    *out << c.name;
}

class PrintSizeLimits : public MainWindowCommands,
                        public ::testing::WithParamInterface<SizeCase> {};

TEST_P(PrintSizeLimits, TheFirstLimitThatFailsRefusesTheJobAndNamesItsSize) {
    run([&](CvelquorinDlg& window) {
        MyListCtrl& jobs = window.job_queue_list();
        add_job(window, job("size.prn"), JobState::wait, GetParam().header);
        add_job(window, job("next.prn"), JobState::wait);
        select(jobs, 0);
        window.control<ui::ImageButton>(IDC_PRINT_BUTTON)->click();
        const bool sent = GetParam().refusal.empty();
        EXPECT_EQ(window.printing_list().item_count(), sent ? 1 : 0);
        EXPECT_EQ(jobs.item_text(0, JobRow::state), sent ? "Ready to print" : "Wait");
        // Sent, the next row is selected; refused, the row keeps its selection.
        EXPECT_EQ(jobs.next_selected(), sent ? 1 : 0);
    });
    if (GetParam().refusal.empty()) {
        EXPECT_EQ(boxes.count(), 0u) << boxes.texts()[0];
        return;
    }
    ASSERT_EQ(boxes.count(), 1u);
    for (const std::string& part : GetParam().refusal) {
        EXPECT_NE(boxes.texts()[0].find(part), std::string::npos) << boxes.texts()[0];
    }
    EXPECT_NE(boxes.texts()[0].find("Please check the output size and print again."),
              std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Jobs, PrintSizeLimits,
    ::testing::Values(
        // 300.002 x 499.99 mm, taken as 300 x 499.
        SizeCase{"Width300Length499", header_bytes(8504, 14173), {}},
        // 501.65 mm is 501: still sent. 502.003 mm is 502: refused.
        SizeCase{"Width501", header_bytes(14220, 144), {}},
        SizeCase{"Width502", header_bytes(14230, 144), {"502 mm wide", "at most 501 mm"}},
        // 29.03 mm is 29: sent. 28.998 mm is 28: refused by the width, the far too long
        // length not looked at.
        SizeCase{"Width29", header_bytes(823, 144), {}},
        SizeCase{"Width28BeforeLength", header_bytes(822, 40000), {"28 mm wide", "at least 29 mm"}},
        // 702.2 mm long.
        SizeCase{"Length702", header_bytes(1134, 19900), {"702 mm long", "at most 701 mm"}},
        // The width at 720 dpi, whatever the header's own x resolution: 7115 dots are 251 mm
        // (at the header's 360 dpi they would be 502 mm); 14230 dots at 1440 dpi still 502.
        SizeCase{"WidthAt720WhateverTheHeaderSays", header_bytes(7115, 144, 360), {}},
        SizeCase{"WidthAt720NotTheHeaders1440", header_bytes(14230, 144, 1440), {"502 mm wide"}},
        SizeCase{"NoResolution", header_bytes(1134, 144, 720, 0), {"cannot be read"}},
        SizeCase{"ShortHeader", header_bytes(1134, 144).substr(0, 60), {"cannot be read"}},
        // The widest header there is; a length past the 32-bit range is held at its top.
        SizeCase{"HugeWidth", header_bytes(0xFFFFFFFF, 144), {"at most 501 mm"}},
        SizeCase{"HugeLength", header_bytes(1134, 0xFFFFFFFF, 720, 1), {"at most 701 mm"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainWindowCommands, PrintTwiceGivesOnePrintingRowAndTheRowStaysReadyToPrint) {
    run([&](CvelquorinDlg& window) {
        MyListCtrl& jobs = window.job_queue_list();
        cprocess& printing = window.printing_list();
        add_job(window, job("a.prn"), JobState::wait);
        jobs.set_item_text(0, JobRow::copies, "3");
        add_job(window, job("b.prn"), JobState::wait);
        select(jobs, 0);
        window.command(IDC_PRINT_BUTTON);
        ASSERT_EQ(printing.item_count(), 1);
        EXPECT_EQ(printing.item_text(0, PrintRow::job_path), job("a.prn").string());
        EXPECT_EQ(printing.item_text(0, PrintRow::copies), "3");
        EXPECT_EQ(printing.item_text(0, PrintRow::number), " 1");
        EXPECT_EQ(jobs.next_selected(), 1);

        select(jobs, 0);
        EXPECT_FALSE(enabled(window, IDC_PRINT_BUTTON));
        window.command(IDC_PRINT_BUTTON);
        EXPECT_EQ(printing.item_count(), 1);
        EXPECT_EQ(jobs.item_text(0, JobRow::state), "Ready to print");

        // Automatic sending put the row in while the operator clicked: still one row.
        jobs.set_item_text(1, JobRow::state, JobState::wait);
        JobRowTexts texts = read_job_row(jobs, 1);
        append_print_row(printing, texts);
        select(jobs, 1);
        window.command(IDC_PRINT_BUTTON);
        EXPECT_EQ(printing.item_count(), 2);
        EXPECT_EQ(jobs.item_text(1, JobRow::state), "Ready to print");

        // Nothing selected.
        jobs.set_item_state(-1, 0, ui::kItemSelected);
        window.command(IDC_PRINT_BUTTON);
    });
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"Please select the print file."});
}

TEST_F(MainWindowCommands, RemoveFromPrintingSelectsTheNextJobInPrintOrderOrTheRowBelow) {
    run([&](CvelquorinDlg& window) {
        MyListCtrl& jobs = window.job_queue_list();
        cprocess& printing = window.printing_list();
        // Job rows in another order than the print order.
        for (const char* name : {"c.prn", "a.prn", "b.prn", "d.prn"}) {
            add_job(window, job(name), JobState::wait);
        }
        for (const int row : {1, 2, 0}) {
            select(jobs, row);
            window.command(IDC_PRINT_BUTTON);
        }
        ASSERT_EQ(column(printing, PrintRow::job_path),
                  (std::vector<std::string>{job("a.prn"), job("b.prn"), job("c.prn")}));

        // a is first: the job row of b, next in print order, is selected; the rest renumbered.
        select(jobs, 1);
        ASSERT_TRUE(enabled(window, IDC_REMOVE_BUTTON));
        window.command(IDC_REMOVE_BUTTON);
        EXPECT_EQ(jobs.item_text(1, JobRow::state), "Wait");
        EXPECT_EQ(jobs.next_selected(), 2);
        EXPECT_EQ(column(printing, PrintRow::number), (std::vector<std::string>{" 1", " 2"}));

        // c is last: the job row below c's (a's) is selected.
        select(jobs, 0);
        window.command(IDC_REMOVE_BUTTON);
        EXPECT_EQ(jobs.next_selected(), 1);
        EXPECT_EQ(column(printing, PrintRow::job_path), std::vector<std::string>{job("b.prn")});

        // The job being printed stays.
        printing.set_item_text(0, PrintRow::state, JobState::printing);
        select(jobs, 2);
        window.command(IDC_REMOVE_BUTTON);
        EXPECT_EQ(printing.item_count(), 1);
        EXPECT_EQ(jobs.item_text(2, JobRow::state), "Ready to print");
    });
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{
                                 "Press the CANCEL button on the device side to clear the task"});
}

TEST_F(MainWindowCommands, MoveUpAndDownStopAtTheEndsAndCarryTheWholeRow) {
    run([&](CvelquorinDlg& window) {
        MyListCtrl& jobs = window.job_queue_list();
        for (const char* name : {"a.prn", "b.prn", "c.prn"}) {
            add_job(window, job(name), JobState::wait);
        }
        jobs.set_item_text(1, JobRow::copies, "7");
        select(jobs, 0);
        right_click(window, ID_JOB_MOVE_UP);
        select(jobs, 2);
        right_click(window, ID_JOB_MOVE_DOWN);
        EXPECT_EQ(column(jobs, 0),
                  (std::vector<std::string>{job("a.prn"), job("b.prn"), job("c.prn")}));

        select(jobs, 1);
        right_click(window, ID_JOB_MOVE_DOWN);
        EXPECT_EQ(column(jobs, 0),
                  (std::vector<std::string>{job("a.prn"), job("c.prn"), job("b.prn")}));
        EXPECT_EQ(jobs.item_text(2, JobRow::copies), "7");
        EXPECT_EQ(jobs.next_selected(), 2);
        right_click(window, ID_JOB_MOVE_UP);
        right_click(window, ID_JOB_MOVE_UP);
        EXPECT_EQ(column(jobs, 0),
                  (std::vector<std::string>{job("b.prn"), job("a.prn"), job("c.prn")}));
        EXPECT_EQ(jobs.item_text(0, JobRow::print_direction), "BiDirection");
    });
    EXPECT_EQ(boxes.texts(), (std::vector<std::string>{"Is at First rows", "Is at last rows"}));
}

TEST_F(MainWindowCommands, TheContextMenuGraysWhatTheStateDoesNotAllow) {
    run([&](CvelquorinDlg& window) {
        MyListCtrl& jobs = window.job_queue_list();
        EXPECT_TRUE(right_click(window, 0).empty()) << "a menu without a selected row";
        struct Case {
            std::string_view state;
            bool set_grayed;
            bool analysis_grayed;
        };
        for (const Case& c :
             {Case{JobState::wait, false, false}, Case{JobState::ready_to_print, true, false},
              Case{JobState::error, true, true}, Case{JobState::generating_data, true, true}}) {
            jobs.delete_all_items();
            add_job(window, job("a.prn"), c.state);
            select(jobs, 0);
            const std::vector<ui::MenuItem> items = right_click(window, 0);
            ASSERT_EQ(items.size(), 6u);
            const char* titles[] = {
                "Move Up", "Move Down",           "Set",
                "Preview", "Print Time Estimate", "Ink consumption calculation"};
            for (std::size_t i = 0; i < items.size(); ++i) {
                EXPECT_EQ(items[i].text, titles[i]);
                const bool grayed = i == 2 ? c.set_grayed : i > 2 && c.analysis_grayed;
                EXPECT_EQ(items[i].grayed, grayed) << c.state << " " << titles[i];
            }
        }
    });
}

TEST_F(MainWindowCommands, DeleteRemovesTheFileAndItsPreviewAndKeepsTheFileBeingPrinted) {
    run([&](CvelquorinDlg& window) {
        MyListCtrl& jobs = window.job_queue_list();
        cprocess& printing = window.printing_list();
        add_job(window, job("a.prn"), JobState::wait);
        test_support::write_file(job("a.bmp"), "BM");
        add_job(window, job("b.prn"), JobState::wait);
        test_support::write_file(job("b.bmp"), "BM");
        select(jobs, 0);
        window.command(IDC_DELETE_BUTTON);
        EXPECT_FALSE(fs::exists(job("a.prn")));
        EXPECT_FALSE(fs::exists(job("a.bmp")));
        EXPECT_EQ(g_deleted_job_path, job("a.prn").string());
        // The rows follow the file when the watcher reports it gone.
        EXPECT_EQ(jobs.item_count(), 2);

        // b is being printed: its file stays, as a file in use does, and its preview goes.
        select(jobs, 1);
        window.command(IDC_PRINT_BUTTON);
        printing.set_item_text(0, PrintRow::state, JobState::printing);
        select(jobs, 1);
        window.command(IDC_DELETE_BUTTON);
        EXPECT_TRUE(fs::exists(job("b.prn")));
        EXPECT_FALSE(fs::exists(job("b.bmp")));
        EXPECT_EQ(g_deleted_job_path, job("a.prn").string());

        jobs.set_item_state(-1, 0, ui::kItemSelected);
        window.command(IDC_DELETE_BUTTON);
    });
    EXPECT_EQ(boxes.texts(),
              (std::vector<std::string>{"Delete failed, file open, read-only or in use!",
                                        "Please select the item"}));
    EXPECT_EQ(boxes.boxes()[1].caption, "No selected");
    g_deleted_job_path.clear();
}

TEST_F(MainWindowCommands, AFileThatCannotBeDeletedStaysAndIsReported) {
    // Made immutable: a file that nobody, root included, may delete; a folder nothing may be
    // deleted from. Its preview goes with the first (the Part's locked file), stays with the
    // second.
    const fs::path folder = station.job_folder() / "locked";
    fs::create_directory(folder);
    run([&](CvelquorinDlg& window) {
        MyListCtrl& jobs = window.job_queue_list();
        add_job(window, folder / "file.prn", JobState::wait);
        test_support::write_file(folder / "file.bmp", "BM-file");
        {
            Immutable locked(folder / "file.prn");
            if (!locked.held()) {
                GTEST_SKIP() << "this file system keeps no immutable attribute";
            }
            select(jobs, 0);
            window.command(IDC_DELETE_BUTTON);
            EXPECT_TRUE(fs::exists(folder / "file.prn"));
            EXPECT_FALSE(fs::exists(folder / "file.bmp"));
        }
        test_support::write_file(folder / "file.bmp", "BM-folder");
        {
            Immutable locked(folder);
            select(jobs, 0);
            window.command(IDC_DELETE_BUTTON);
            EXPECT_TRUE(fs::exists(folder / "file.prn"));
            EXPECT_EQ(test_support::read_file(folder / "file.bmp"), "BM-folder");
        }
    });
    if (IsSkipped()) {
        return;  // the skip above ends only the window's steps
    }
    EXPECT_EQ(boxes.texts(),
              (std::vector<std::string>(2, "Delete failed, file open, read-only or in use!")));
    EXPECT_TRUE(g_deleted_job_path.empty());
}

TEST_F(MainWindowCommands, SaveCopiesOnAHelperThreadAndReportsAFailedCopy) {
    const test_support::TempDir elsewhere;
    std::vector<std::string> answers = {(elsewhere.path() / "copy.prn").string(),
                                        (elsewhere.path() / "missing" / "copy.prn").string()};
    std::vector<ui::FileDialogRecord> asked;
    const auto previous = ui::set_file_dialog_responder([&](const ui::FileDialogRecord& record) {
        asked.push_back(record);
        std::vector<std::string> answer{answers.front()};
        answers.erase(answers.begin());
        return answer;
    });
    run([&](CvelquorinDlg& window) {
        add_job(window, job("a.prn"), JobState::wait, std::string(300000, 'x'));
        select(window.job_queue_list(), 0);
        window.command(IDC_SAVE_BUTTON);
        window.command(IDC_SAVE_BUTTON);
    });
    ui::set_file_dialog_responder(previous);
    EXPECT_EQ(test_support::read_file(elsewhere.path() / "copy.prn"), std::string(300000, 'x'));
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0].kind, ui::FileDialogKind::Save);
    EXPECT_EQ(asked[0].options.title, "Save File");
    EXPECT_EQ(asked[0].options.default_extension, "prn");
    EXPECT_TRUE(asked[0].options.overwrite_prompt);
    ASSERT_EQ(boxes.count(), 2u);
    EXPECT_EQ(boxes.texts()[0], "file saved successfully");
    EXPECT_NE(boxes.texts()[1].find("could not be saved"), std::string::npos);
}

TEST_F(MainWindowCommands, APrintingRowClickShowsExactlyItsJobAndTheChooserFollowsItsState) {
    run([&](CvelquorinDlg& window) {
        MyListCtrl& jobs = window.job_queue_list();
        cprocess& printing = window.printing_list();
        // A row whose path only begins with the job's comes first.
        add_job(window, job("a.prn.prn"), JobState::wait);
        add_job(window, job("A.prn"), JobState::wait);
        add_job(window, job("a.prn"), JobState::wait);
        select(jobs, 2);
        window.command(IDC_PRINT_BUTTON);
        jobs.set_item_state(-1, 0, ui::kItemSelected);

        select(printing, 0);
        window.OnNMClickPrinting();
        EXPECT_EQ(jobs.next_selected(), 2);
        EXPECT_TRUE(enabled(window, IDC_AFTER_PRINT_BUTTON));
        printing.set_item_text(0, PrintRow::state, JobState::printing);
        EXPECT_FALSE(enabled(window, IDC_AFTER_PRINT_BUTTON));

        printing.set_item_state(-1, 0, ui::kItemSelected);
        window.OnNMClickPrinting();
        EXPECT_EQ(jobs.selected_count(), 0);
        EXPECT_FALSE(enabled(window, IDC_AFTER_PRINT_BUTTON));
    });
    EXPECT_EQ(boxes.count(), 0u);
}

TEST_F(MainWindowCommands, EnterDoesNotEndTheProgram) {
    run([&](CvelquorinDlg& window) {
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(window.window(), &enter);
        EXPECT_TRUE(window.in_modal_run());
        EXPECT_TRUE(window.is_visible());
    });
}

}  // namespace

// Preview builds the missing bitmap beside the print file, then opens the preview on the job;
// without a selection or without the file it says so and opens nothing.
TEST_F(MainWindowCommands, PreviewBuildsTheMissingBitmapThenShowsTheJob) {
    std::vector<std::string> opened;
    run([&](CvelquorinDlg& window) {
        MyListCtrl& jobs = window.job_queue_list();
        add_job(window, job("a.prn"), JobState::wait, std::nullopt);
        test_support::PrnBuilder(60, 80).write(job("a.prn"));
        add_job(window, job("gone.prn"), JobState::wait, std::nullopt);
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            // The builder ends itself; the preview is closed as the operator would.
            ui::Dialog* innermost = ui::Dialog::innermost_modal();
            if (innermost != nullptr && innermost->caption() == "JOB PREVIEW") {
                opened.push_back(innermost->caption());
                innermost->end_dialog(ui::kIdCancel);
            }
        });
        closer.start(5);
        select(jobs, 0);
        window.command(IDC_PREVIEW_BUTTON);
        EXPECT_TRUE(fs::exists(job("a.bmp")));
        select(jobs, 1);
        window.command(IDC_PREVIEW_BUTTON);
        jobs.set_item_state(-1, 0, ui::kItemSelected);
        window.command(IDC_PREVIEW_BUTTON);
    });
    EXPECT_EQ(opened, std::vector<std::string>{"JOB PREVIEW"});
    EXPECT_EQ(boxes.texts(), (std::vector<std::string>{"Error Can not find the print file",
                                                       "Please select the item"}));
}

// A bitmap left behind by an earlier job of the same name (older than the print file) counts
// as missing: Preview builds it again. One as new as the print file is shown as it is.
TEST_F(MainWindowCommands, PreviewBuildsABitmapOlderThanThePrintFileAgain) {
    std::vector<int> shown_widths;
    run([&](CvelquorinDlg& window) {
        add_job(window, job("a.prn"), JobState::wait, std::nullopt);
        test_support::PrnBuilder(60, 80).write(job("a.prn"));
        const auto written = fs::last_write_time(job("a.prn"));
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            ui::Dialog* innermost = ui::Dialog::innermost_modal();
            if (innermost != nullptr && innermost->caption() == "JOB PREVIEW") {
                shown_widths.push_back(
                    innermost->control<ui::Picture>(printpreview::IDC_PREVIEW_PICTURE)
                        ->bitmap()
                        .width());
                innermost->end_dialog(ui::kIdCancel);
            }
        });
        closer.start(5);
        for (const bool older : {false, true}) {
            PreviewPicture earlier_job;
            earlier_job.width = 2;
            earlier_job.height = 3;
            earlier_job.pixels.assign(6, 0x123456);
            ASSERT_TRUE(save_bitmap_to_file(earlier_job, job("a.bmp").string()));
            fs::last_write_time(job("a.bmp"), older ? written - std::chrono::seconds(1) : written);
            select(window.job_queue_list(), 0);
            window.command(IDC_PREVIEW_BUTTON);
        }
    });
    EXPECT_EQ(shown_widths, (std::vector<int>{2, 354}));
    EXPECT_EQ(boxes.count(), 0u);
}

// The context menu's two estimates of the selected job open their result only when the work
// dialog has done its work; a job whose file is gone is told so.
TEST_F(MainWindowCommands, TheEstimatesOfTheContextMenuShowTheirResults) {
    int ink_results = 0;
    int time_results = 0;
    run([&](CvelquorinDlg& window) {
        MyListCtrl& jobs = window.job_queue_list();
        add_job(window, job("a.prn"), JobState::wait, std::nullopt);
        test_support::PrnBuilder(60, 80).write(job("a.prn"));
        add_job(window, job("gone.prn"), JobState::wait, std::nullopt);
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            ui::Dialog* innermost = ui::Dialog::innermost_modal();
            if (dynamic_cast<ink_cost_view*>(innermost) != nullptr) {
                ++ink_results;
                innermost->end_dialog(ui::kIdCancel);
            } else if (dynamic_cast<showprinttime*>(innermost) != nullptr) {
                ++time_results;
                innermost->end_dialog(ui::kIdCancel);
            }
        });
        closer.start(5);
        select(jobs, 0);
        right_click(window, ID_JOB_INK_COST);
        right_click(window, ID_JOB_PRINT_TIME_ESTIMATE);
        select(jobs, 1);
        right_click(window, ID_JOB_INK_COST);
    });
    EXPECT_EQ(ink_results, 1);
    EXPECT_EQ(time_results, 1);
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"Error Can not find the print file"});
}
