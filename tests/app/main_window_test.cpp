#include "app/velquorin_dlg.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPalette>
#include <QPixmap>
#include <QRect>
#include <QRegion>
#include <QTimer>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/app_globals.h"
#include "app/button_images.h"
#include "app/job_lists.h"
#include "app/job_queue_list.h"
#include "app/main_window_ids.h"
#include "app/printing_list.h"
#include "app/startup_checks.h"
#include "app/workstation_lock.h"
#include "config/program_globals.h"
#include "engine/monitoring_thread.h"
#include "main_window_fixture.h"
#include "message_box_recorder.h"
#include "platform/clock.h"
#include "platform/ui/controls.h"
#include "platform/ui/screen.h"
#include "qt_application.h"
#include "usb/driver/sim/bus.h"
#include "usb/driver_registry.h"
#include "workstation_fixture.h"

namespace {

namespace fs = std::filesystem;
namespace ui = platform::ui;
using test_support::MessageBoxRecorder;
using test_support::Workstation;

constexpr int kEndedByTest = test_support::MainWindowTest::kEndedByTest;

class MainWindow : public test_support::MainWindowTest {
  protected:
    fs::path virtual_hot_folder() const { return station.settings_root() / "VirtualHotFolder"; }

    // After a start that ended at its checks: not laid out, no tray icon, no output folder, no
    // step settings, no watch, no worker.
    void expect_nothing_started() {
        EXPECT_FALSE(dialog.is_visible());
        EXPECT_EQ(dialog.client_size().width, 1160);
        EXPECT_TRUE(dialog.job_queue_list().column_count() == 0);
        EXPECT_FALSE(dialog.tray_icon_added());
        EXPECT_FALSE(fs::exists(station.system_drive() / "MTOutput"));
        EXPECT_FALSE(fs::exists(virtual_hot_folder()));
        for (int i = 0; i < CvelquorinDlg::kWorkerCount; ++i) {
            EXPECT_EQ(dialog.worker(i), nullptr);
        }
        EXPECT_FALSE(dialog.has_minimize_box());
    }
};

struct FailedStart {
    const char* name;
    std::function<void(const Workstation&)> break_it;
    std::string message;
};

void PrintTo(const FailedStart& c, std::ostream* out) {
    *out << c.name;
}

class MainWindowFailedStart : public MainWindow,
                              public ::testing::WithParamInterface<FailedStart> {};

TEST_P(MainWindowFailedStart, OneBoxThenTheWindowEndsWith0AndNothingStarts) {
    GetParam().break_it(station);
    bool ran_on = false;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, [&] { ran_on = true; });
    timer.start(0);
    EXPECT_EQ(dialog.do_modal(), 0);
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.texts()[0], GetParam().message);
    expect_nothing_started();
    EXPECT_FALSE(ran_on) << "the window ran a modal loop after a failed start";
}

const std::string kJob = std::string(app::kJobFolderError) + "\n";
const std::string kSpool = std::string(app::kSpoolFolderError) + "\n";
const std::string kSetting = std::string(app::kSettingFileError) + "\n";

INSTANTIATE_TEST_SUITE_P(
    Checks, MainWindowFailedStart,
    ::testing::Values(FailedStart{"NoHotfpath", [](auto& s) { fs::remove(s.hotfpath()); },
                                  std::string(app::kHotfpathNotFound)},
                      FailedStart{"OneLineHotfpath",
                                  [](auto& s) {
                                      test_support::write_file(s.hotfpath(),
                                                               s.spool_folder().string() + "\r\n");
                                  },
                                  std::string(app::kHotfpathConfigError)},
                      FailedStart{"NoJobNoSpoolFolder",
                                  [](auto& s) {
                                      fs::remove(s.job_folder());
                                      fs::remove(s.spool_folder());
                                  },
                                  kJob + kSpool},
                      // The settings file is looked at only once the folders are there.
                      FailedStart{"MissingFolderHidesMissingSettings",
                                  [](auto& s) {
                                      fs::remove(s.settings_file());
                                      fs::remove(s.job_folder());
                                  },
                                  kJob},
                      FailedStart{"NoSettingsFile", [](auto& s) { fs::remove(s.settings_file()); },
                                  kSetting}),
    [](const auto& info) { return std::string(info.param.name); });

// Another program already works on the job folder or the settings root (started under another
// runtime folder, so the single-instance name did not stop it): one box names the folder, and
// the window ends before anything in those folders is touched.
TEST_F(MainWindow, FoldersInUseByAnotherProgramEndTheStartWithABoxNamingThem) {
    const fs::path stray = station.job_folder() / "notes.txt";
    const fs::path empty_folder = station.job_folder() / "empty";
    test_support::write_file(stray, "the scan would delete this");
    fs::create_directory(empty_folder);
    const fs::path job_folder = station.job_folder();
    const fs::path settings_root = station.settings_root();
    for (const fs::path& in_use : {job_folder, settings_root}) {
        SCOPED_TRACE(in_use);
        const auto other = app::WorkstationLock::take({in_use});
        ASSERT_TRUE(other.lock);
        MessageBoxRecorder said;
        CvelquorinDlg window;
        // A window that starts after all is ended, so that the test fails instead of waiting.
        test_support::WhenOpen end_if_started(window, [&] { window.end_dialog(kEndedByTest); });
        EXPECT_EQ(window.do_modal(), app::kStartupFailedEndCode);
        EXPECT_EQ(said.texts(), std::vector<std::string>{app::folder_in_use_text(in_use)});
        EXPECT_FALSE(window.is_visible());
        EXPECT_FALSE(window.worker(0));
    }
    EXPECT_TRUE(fs::exists(stray));
    EXPECT_TRUE(fs::is_directory(empty_folder));
    EXPECT_FALSE(fs::exists(station.system_drive() / "MTOutput"));
    EXPECT_FALSE(fs::exists(virtual_hot_folder()));
}

TEST_F(MainWindow, StartsLaidOutOverTheWorkArea) {
    EXPECT_EQ(
        run([&](CvelquorinDlg& window) {
            EXPECT_TRUE(window.is_visible());
            // The window's corner; its own frame takes 4 pixels at the sides and the bottom
            // and the 65-pixel caption band at the top, and its outer 3 pixels are cut off.
            EXPECT_EQ(window.window_rect(), ui::Rect::from_size(-3, -3, 1927, 1049));
            EXPECT_TRUE(window.window()->windowFlags().testFlag(Qt::FramelessWindowHint));
            EXPECT_EQ(window.window()->mask(), QRegion(3, 3, 1927 - 6, 1049 - 6));
            const int w = 1927 - 8;
            const int h = 1049 - 69;
            const ui::Size client = window.client_size();
            EXPECT_EQ(client.width, w);
            EXPECT_EQ(client.height, h);

            const ui::Rect queue = window.job_queue_list().rect();
            EXPECT_EQ(queue, ui::Rect::from_size(15, 291, w - 30, h - 353));
            EXPECT_EQ(window.job_queue_list().widget()->geometry(),
                      QRect(15 + 4, 291 + 65, w - 30, h - 353));
            EXPECT_EQ(window.printing_list().rect(), ui::Rect::from_size(15, 135, w - 30, 100));
            EXPECT_EQ(window.connection_picture().rect(), ui::Rect::from_size(w - 91, 13, 76, 75));
            EXPECT_EQ(window.item(IDC_PRINTED_LIST_BUTTON)->rect(),
                      ui::Rect::from_size(w - 110, 257, 95, 25));
            EXPECT_EQ(window.item(IDC_ROTARY_BUTTON)->rect(), ui::Rect::from_size(574, 19, 78, 69));

            // The columns take their widths from the client width less 30.
            EXPECT_EQ(window.job_queue_list().column_count(), JobRow::kColumnCount);
            EXPECT_EQ(window.printing_list().column_count(), PrintRow::kColumnCount);
            EXPECT_EQ(window.job_queue_list().column_width(0),
                      column_width(JobRow::kColumns[0].width, w));

            EXPECT_EQ(window.control<ui::Static>(IDC_PRINTING_LABEL)->text(), "Printing progress");
            EXPECT_EQ(window.control<ui::Static>(IDC_JOB_QUEUE_LABEL)->text(), "Job queue ( 0 )");
            EXPECT_EQ(g_font_list.tenths_of_point, 90);
            EXPECT_EQ(g_font_caption.tenths_of_point, 100);
            EXPECT_TRUE(window.has_minimize_box());
            EXPECT_EQ(window.caption(), "Norvaxel");
            EXPECT_EQ(window.class_name(), "davuzadodadadozeZuzeviZer");
        }),
        kEndedByTest);
    EXPECT_EQ(boxes.count(), 0u) << boxes.texts()[0];
    EXPECT_TRUE(fs::is_directory(station.system_drive() / "MTOutput"));
    // The step-settings loader ran ahead of the watch.
    EXPECT_TRUE(fs::is_directory(virtual_hot_folder()));
}

TEST_F(MainWindow, SixWorkersRunTheirRolesAndThePrintLoopFindsThePrinter) {
    run([&](CvelquorinDlg& window) {
        // Each role on its own worker, in the order the workers were made.
        const std::pair<int, std::uint32_t> expected[] = {{0, WM_MT_WATCH_HOT_FOLDER},
                                                          {1, WM_MT_SYNC_JOB_QUEUE},
                                                          {2, WM_MT_UPDATE_JOB_INFO},
                                                          {4, WM_MT_ESTIMATE_PRINT_TIME},
                                                          {5, WM_MT_SCAN_VIRTUAL_HOT_FOLDER}};
        for (const auto& [index, role] : expected) {
            ASSERT_NE(window.worker(index), nullptr);
            EXPECT_TRUE(test_support::pump_events_until([&] {
                return role_worker(role) == window.worker(index);
            })) << std::hex
                << role;
        }
        // The fourth is the print loop: with the printer there and nothing to print it shows
        // the printer connected once its first idle pause is over.
        const QImage connected = app::printer_connected_image().image();
        EXPECT_TRUE(test_support::pump_events_until(
            [&] { return window.connection_picture().bitmap().image() == connected; }));
        EXPECT_EQ(window.list(IDC_PRINTING_LIST), &window.printing_list());
        EXPECT_EQ(engine::main_window(), &window);
    });
    EXPECT_EQ(boxes.count(), 0u);
}

TEST_F(MainWindow, ListTitlesLeaveTheListsTopEdgeWhole) {
    run([&](CvelquorinDlg& window) {
        // Each title reaches one pixel into its list: the list's top line must show through.
        const QImage shot = window.window()->grab().toImage();
        for (const ui::ListCtrl* list : {static_cast<ui::ListCtrl*>(&window.printing_list()),
                                         static_cast<ui::ListCtrl*>(&window.job_queue_list())}) {
            const QPoint top = list->widget()->mapTo(window.window(), QPoint(0, 0));
            // Under the title and past its right end, on the same line.
            EXPECT_EQ(shot.pixel(top + QPoint(100, 0)), shot.pixel(top + QPoint(600, 0)))
                << list->id();
        }
    });
}

TEST_F(MainWindow, ButtonsStartInTheirStatesAndEachDialogButtonOpensItsDialog) {
    run([&](CvelquorinDlg& window) {
        struct Expected {
            int id;
            bool enabled;
            bool grey_face;
        };
        const QColor grey(0xF2, 0xF2, 0xF2);
        for (const Expected e : {Expected{IDC_IMPORT_BUTTON, true, true},
                                 {IDC_SAVE_BUTTON, false, true},
                                 {IDC_PRINT_BUTTON, false, true},
                                 {IDC_DELETE_BUTTON, false, true},
                                 {IDC_SETTING_BUTTON, true, true},
                                 {IDC_MAINTENANCE_BUTTON, true, true},
                                 {IDC_NEW_JOB_BUTTON, true, true},
                                 {IDC_REMOVE_BUTTON, false, true},
                                 {IDC_AFTER_PRINT_BUTTON, false, true},
                                 {IDC_ROTARY_BUTTON, false, false},
                                 {IDC_PREVIEW_BUTTON, false, false}}) {
            auto* button = window.control<ui::ImageButton>(e.id);
            ASSERT_NE(button, nullptr) << e.id;
            EXPECT_EQ(button->is_enabled(), e.enabled) << e.id;
            // Rotary and Preview keep the default face.
            EXPECT_EQ(button->widget()->palette().color(QPalette::Button) == grey, e.grey_face)
                << e.id;
            // The disabled buttons ignore the click.
            if (!e.enabled) {
                button->click();
            }
        }
        // The two list titles: black on the window's grey.
        for (const int id : {IDC_PRINTING_LABEL, IDC_JOB_QUEUE_LABEL}) {
            const QPalette palette = window.control<ui::Static>(id)->widget()->palette();
            EXPECT_EQ(palette.color(QPalette::WindowText), QColor(0, 0, 0)) << id;
            EXPECT_EQ(palette.color(QPalette::Window), grey) << id;
        }
        auto* printed = window.control<ui::Button>(IDC_PRINTED_LIST_BUTTON);
        ASSERT_NE(printed, nullptr);
        EXPECT_EQ(printed->text(), "Printed list");
        EXPECT_TRUE(printed->is_enabled());
        // Setting, Maintenance and Printed list each open a dialog over the window, which the
        // operator closes; the window stays.
        for (const int id : {IDC_SETTING_BUTTON, IDC_MAINTENANCE_BUTTON, IDC_PRINTED_LIST_BUTTON}) {
            ui::Dialog* opened = nullptr;
            QTimer::singleShot(0, [&] {
                ui::Dialog* innermost = ui::Dialog::innermost_modal();
                if (innermost != &window) {
                    opened = innermost;
                    innermost->end_dialog(ui::kIdCancel);
                }
            });
            if (id == IDC_PRINTED_LIST_BUTTON) {
                printed->click();
            } else {
                window.control<ui::ImageButton>(id)->click();
            }
            EXPECT_NE(opened, nullptr) << id;
            EXPECT_TRUE(window.in_modal_run());
            EXPECT_TRUE(window.is_visible());
        }
    });
    EXPECT_EQ(boxes.count(), 0u);
}

struct Flags {
    const char* print_job_set;
    const char* print_media;
    int expected_print_job_set;
    int expected_rotary_mode;
    bool rotary_enabled;
};

class MainWindowFlags : public MainWindow, public ::testing::WithParamInterface<Flags> {};

TEST_P(MainWindowFlags, SettingsFileSetsTheTwoChoices) {
    station.write_settings(GetParam().print_job_set, GetParam().print_media);
    g_print_job_set = 7;
    run([&](CvelquorinDlg& window) {
        EXPECT_EQ(window.item(IDC_ROTARY_BUTTON)->is_enabled(), GetParam().rotary_enabled);
    });
    EXPECT_EQ(g_print_job_set.load(), GetParam().expected_print_job_set);
    EXPECT_EQ(g_rotary_mode.load(), GetParam().expected_rotary_mode);
}

INSTANTIATE_TEST_SUITE_P(Entries, MainWindowFlags,
                         ::testing::Values(Flags{"0", "1", 0, 1, true},
                                           Flags{"1", "0", 1, 0, false},
                                           // 2 is not 0: the jobs wait; 2 is not rotary.
                                           Flags{"2", "2", 1, 0, false}));

TEST_F(MainWindow, ALaterStartShowsTheHiddenWindow) {
    run([&](CvelquorinDlg& window) {
        window.show(false);
        ASSERT_FALSE(window.is_visible());
        // As the instance's listener thread hands it on.
        std::thread([&] { window.request_show(); }).join();
        EXPECT_TRUE(test_support::pump_events_until([&] { return window.is_visible(); }));
    });
}

}  // namespace
