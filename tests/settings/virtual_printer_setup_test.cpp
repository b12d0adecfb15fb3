#include "settings/virtual_printer_setup.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "config/program_globals.h"
#include "engine/step_settings.h"
#include "message_box_recorder.h"
#include "modal_run.h"
#include "platform/clock.h"
#include "platform/ui/controls.h"
#include "qt_application.h"
#include "scripted_spooler.h"
#include "settings/vsprinter_set.h"
#include "temp_dir.h"

namespace {

using settings::QueueSpec;
using test_support::kOperatorsPdf;
using test_support::ScriptedSpooler;
using test_support::VirtualPrinterSetupTest;
namespace fs = std::filesystem;

TEST_F(VirtualPrinterSetupTest, AddsTheNineQueuesWithTheirHotFoldersAndLeavesOtherPrinters) {
    spooler_.queues = {kOperatorsPdf, {"Norvaxel_printer_KCMY", "velquorin-pdf:/old/kcmy"}};
    const settings::SetupOutcome outcome = run();

    EXPECT_EQ(outcome.code, kSetupCompleted);
    EXPECT_EQ(settings::virtual_printer_setup_message(outcome),
              "Virtual printer setup is completed!");
    EXPECT_EQ(spooler_.deleted, std::vector<std::string>{"Norvaxel_printer_KCMY"});
    EXPECT_EQ(added_names(), own_names());
    EXPECT_EQ(spooler_.queues.front().name, "PDF");
    EXPECT_EQ(positions_, (std::vector<int>{0, 10, 20, 30, 40, 45, 50, 55, 60, 65, 70, 75, 80, 85,
                                            85, 90, 100}));
    EXPECT_TRUE(errors_.empty());

    const QueueSpec& kcmy = spooler_.added.front();
    EXPECT_EQ(kcmy.info, "Norvaxel printer KCMY");
    EXPECT_EQ(kcmy.device_uri, "velquorin-pdf:" + hot_folder("kcmy").string());
    EXPECT_EQ(kcmy.ppd_name, "velquorin/velquorin-pdf.ppd");
    EXPECT_EQ(kcmy.media, "custom_500x700mm_500x700mm");
    for (std::size_t i = 0; i < settings::kVirtualPrinters.size(); ++i) {
        const std::string_view layout = settings::kVirtualPrinters[i].layout;
        EXPECT_EQ(spooler_.added[i].device_uri, "velquorin-pdf:" + hot_folder(layout).string());
        EXPECT_TRUE(fs::is_directory(hot_folder(layout))) << layout;
    }
}

TEST_F(VirtualPrinterSetupTest, AFreshPrintSystemWithTheDriverAndNoQueueGetsTheNine) {
    EXPECT_EQ(run().code, kSetupCompleted);
    EXPECT_EQ(added_names(), own_names());
    EXPECT_TRUE(spooler_.deleted.empty());
}

TEST_F(VirtualPrinterSetupTest, RunningTwiceDeletesTheFirstRunsNineAndAddsThemAgain) {
    spooler_.queues = {kOperatorsPdf};
    ASSERT_EQ(run().code, kSetupCompleted);
    spooler_.added.clear();
    EXPECT_EQ(run().code, kSetupCompleted);
    EXPECT_EQ(spooler_.deleted, own_names());
    EXPECT_EQ(added_names(), own_names());
    EXPECT_EQ(spooler_.queues.size(), 10U);
}

// Each stop before the deletions leaves the print system untouched and is never called
// completed; the message names what stopped it.
TEST_F(VirtualPrinterSetupTest, NothingIsTouchedUnlessEveryPrerequisiteHolds) {
    using settings::SpoolerFailure;
    const test_support::TempDir outside;  // in no home
    const std::string inside = g_settings_root;
    struct Case {
        const char* what;
        std::function<void(ScriptedSpooler&, const fs::path& hot_root)> arrange;
        VirtualPrinterSetupResult code;
        int last_position;
        std::string says;
    };
    const Case cases[] = {
        {"no driver", [](ScriptedSpooler& s, const fs::path&) { s.backend = false; },
         kSetupDriverNotFound, 40, "Virtual printer was not found, please reinstall"},
        {"print system silent",
         [](ScriptedSpooler& s, const fs::path&) { s.fails_with = SpoolerFailure::NoAnswer; },
         kSetupSpoolerNotAnswering, 0,
         "the list of printers: no answer from the print system within 30 s"},
        {"silent when asked for the driver",
         [](ScriptedSpooler& s, const fs::path&) {
             s.fails_with = SpoolerFailure::NoAnswer;
             s.fail_at = "the list of devices";
         },
         kSetupSpoolerNotAnswering, 0, "the list of devices: no answer"},
        {"not in the print administrators' group",
         [](ScriptedSpooler& s, const fs::path&) {
             s.fails_with = SpoolerFailure::NotAllowed;
             s.fail_at = "the list of devices";
         },
         kSetupNoAdministratorRights, 0, "You are not allowed to add printers."},
        {"a hot folder that cannot be made",
         [](ScriptedSpooler&, const fs::path& hot_root) {
             fs::remove_all(hot_root / "vv");
             test_support::write_file(hot_root / "vv", "in the way");
         },
         kSetupHotFolderRefused, 0, "VirtualHotFolder/vv is not a folder"},
        {"a hot folder that is a link",
         [](ScriptedSpooler&, const fs::path& hot_root) {
             fs::remove_all(hot_root / "ww");
             fs::create_directory_symlink(hot_root / "kcmy", hot_root / "ww");
         },
         kSetupHotFolderRefused, 0, "VirtualHotFolder/ww is not a folder"},
        {"a folder on the way that others may write",
         [&](ScriptedSpooler&, const fs::path&) {
             ::chmod(fs::path(inside).parent_path().c_str(), 0777);
         },
         kSetupHotFolderRefused, 0,
         fs::path(inside).parent_path().string() + " may be written by others than its owner"},
        {"the data folder outside the home",
         [&](ScriptedSpooler&, const fs::path&) {
             g_settings_root = (outside.path() / "NorvaxelQ800X").string();
             fs::create_directories(g_settings_root);
         },
         kSetupHotFolderRefused, 0,
         std::string(settings::kHotFolderRefusedText) + "\n" +
             (outside.path() / "NorvaxelQ800X").string() + " lies outside your home folder " +
             test_support::home_of(::geteuid()).string()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        spooler_.reset();
        spooler_.queues = {kOperatorsPdf, {"Norvaxel_printer_VV", "velquorin-pdf:/old/vv"}};
        positions_.clear();
        g_settings_root = inside;
        ::chmod(fs::path(inside).parent_path().c_str(), 0755);
        fs::remove_all(fs::path(inside) / "VirtualHotFolder");
        engine::create_virtual_hot_folders();
        c.arrange(spooler_, fs::path(g_settings_root) / "VirtualHotFolder");
        const settings::SetupOutcome outcome = run();
        EXPECT_EQ(outcome.code, c.code);
        EXPECT_EQ(positions_.back(), c.last_position);
        EXPECT_TRUE(spooler_.deleted.empty());
        EXPECT_TRUE(spooler_.added.empty());
        const std::string message = settings::virtual_printer_setup_message(outcome);
        EXPECT_NE(message.find(c.says), std::string::npos) << message;
        EXPECT_NE(message, "Virtual printer setup is completed!");
    }
}

TEST_F(VirtualPrinterSetupTest, AFailureOnTheWayIsNamedAndNeverCalledCompleted) {
    // A refused deletion is shown and the set-up goes on.
    spooler_.queues = {{"Norvaxel_printer_WW", "velquorin-pdf:/old/ww"}};
    spooler_.refuse_delete = "Norvaxel_printer_WW";
    spooler_.refuse_add = "Norvaxel_printer_WWKCMY";
    settings::SetupOutcome outcome = run();
    EXPECT_EQ(outcome.code, kSetupAddFailed);
    EXPECT_EQ(errors_, (std::vector<std::string>{
                           "deleting Norvaxel_printer_WW: client-error-not-possible",
                           "adding Norvaxel_printer_WWKCMY: client-error-not-possible"}));
    EXPECT_EQ(added_names().size(), 8U);  // the next printers were added all the same
    EXPECT_EQ(settings::virtual_printer_setup_message(outcome),
              "Virtual printer setup failed: these printers could not be added: Norvaxel "
              "printer WWKCMY");

    // What the print system keeps for a queue is read back.
    struct ReadBack {
        std::string ScriptedSpooler::*field;
        VirtualPrinterSetupResult code;
        const char* says;
    };
    const ReadBack read_backs[] = {
        {&ScriptedSpooler::other_uri, kSetupSaveFolderNotSet, "the save folder of these printers"},
        {&ScriptedSpooler::not_accepting, kSetupNotAccepting, "these printers do not take jobs"},
        {&ScriptedSpooler::ignore_media, kSetupPaperNotSet, "the custom paper could not be set"},
        {&ScriptedSpooler::keeps_shared, kSetupShared,
         "these printers are shared with other computers"},
    };
    for (const ReadBack& r : read_backs) {
        spooler_.reset();
        spooler_.*r.field = "Norvaxel_printer_VV";
        outcome = run();
        EXPECT_EQ(outcome.code, r.code);
        EXPECT_EQ(outcome.detail, "Norvaxel printer VV");
        EXPECT_NE(settings::virtual_printer_setup_message(outcome).find(r.says), std::string::npos);
    }

    // No answer, or no rights, half-way: the set-up ends there and says what did not answer.
    for (const auto failure :
         {settings::SpoolerFailure::NoAnswer, settings::SpoolerFailure::NotAllowed}) {
        spooler_.reset();
        spooler_.fails_with = failure;
        spooler_.fail_at = "adding Norvaxel_printer_WWWW";
        outcome = run();
        EXPECT_EQ(outcome.code, failure == settings::SpoolerFailure::NoAnswer
                                    ? kSetupSpoolerNotAnswering
                                    : kSetupNoAdministratorRights);
        EXPECT_NE(
            settings::virtual_printer_setup_message(outcome).find("adding Norvaxel_printer_WWWW"),
            std::string::npos);
        EXPECT_EQ(added_names().size(), 3U);
    }
}

TEST(CustomPaper, FollowsThePrinterModel) {
    EXPECT_EQ(settings::custom_paper_media("Q800X"), "custom_500x700mm_500x700mm");
    EXPECT_EQ(settings::custom_paper_media("Orvel"), "custom_210x300mm_210x300mm");
    EXPECT_EQ(settings::custom_paper_media("Vexa4"), "custom_210x150mm_210x150mm");
    EXPECT_EQ(settings::custom_paper_media("Other"), "custom_360x500mm_360x500mm");
}

TEST(VirtualPrinterMessages, EveryCodeHasItsMessage) {
    const std::pair<int, const char*> table[] = {
        {1, "Create paper error"},
        {2,
         "Opening the registry CustomPapers failed, please confirm that the virtual printer "
         "is installed"},
        {3, "Virtual printer was not found, please reinstall"},
        {5, "Virtual printer setup is completed!"},
        {6, "Registry file not found!"},
        {4, "Unknow error!"},
        {8, "Unknow error!"},
    };
    for (const auto& [code, text] : table) {
        EXPECT_EQ(settings::virtual_printer_setup_message(
                      {static_cast<VirtualPrinterSetupResult>(code), {}}),
                  text);
    }
}

// The dialogs, driven offscreen through their controls.
class VirtualPrinterDialogTest : public VirtualPrinterSetupTest {
  protected:
    void SetUp() override {
        VirtualPrinterSetupTest::SetUp();
        settings::use_print_system(&spooler_);
    }
    void TearDown() override {
        settings::use_print_system(nullptr);
        VirtualPrinterSetupTest::TearDown();
    }
    test_support::QtApplication app_;
    test_support::MessageBoxRecorder boxes_;
};

// The check runs off the window's thread: the window shows that it asks, then the answer.
TEST_F(VirtualPrinterDialogTest, TheDriverCheckSetsTheButtonsAndTheStatus) {
    using settings::SpoolerFailure;
    struct Case {
        const char* what;
        void (*arrange)(ScriptedSpooler&);
        bool install;
        bool start;
        std::string status;
    };
    const Case cases[] = {
        {"installed", [](ScriptedSpooler&) {}, false, true,
         "The virtual printer is installed correctly."},
        {"not installed", [](ScriptedSpooler& s) { s.backend = false; }, true, false,
         "The virtual printer is not installed, please click the button to install the virtual "
         "printer."},
        {"not allowed",
         [](ScriptedSpooler& s) {
             s.fails_with = SpoolerFailure::NotAllowed;
             s.fail_at = "the list of devices";
         },
         false, false, settings::not_allowed_to_add_printers_text()},
        {"no answer", [](ScriptedSpooler& s) { s.fails_with = SpoolerFailure::NoAnswer; }, true,
         false,
         "The print system (CUPS) did not answer: the list of printers: no answer from the print "
         "system within 30 s"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        spooler_.reset();
        c.arrange(spooler_);
        vsprinter_set dialog;
        auto* status = dialog.control<platform::ui::Static>(vsprinter_set::IDC_STATUS);
        const int code = test_support::run_modal(dialog, [&] {
            ASSERT_TRUE(test_support::pump_events_until(
                [&] { return status->text().find("Asking") == std::string::npos; }));
            EXPECT_EQ(dialog.item(vsprinter_set::IDC_INSTALL)->is_enabled(), c.install);
            EXPECT_EQ(dialog.item(vsprinter_set::IDC_START)->is_enabled(), c.start);
            EXPECT_EQ(status->text(), c.status);
            dialog.control<platform::ui::Button>(platform::ui::kIdCancel)->click();
        });
        EXPECT_EQ(code, platform::ui::kIdCancel);
    }
    // The list that could not be fetched is the one box of the check.
    EXPECT_EQ(boxes_.texts(), std::vector<std::string>{"error"});
}

TEST_F(VirtualPrinterDialogTest, InstallSaysHowToInstallWithoutAnInstaller) {
    spooler_.backend = false;
    vsprinter_set dialog;
    test_support::run_modal(dialog, [&] {
        ASSERT_TRUE(test_support::pump_events_until(
            [&] { return dialog.item(vsprinter_set::IDC_INSTALL)->is_enabled(); }));
        dialog.control<platform::ui::Button>(vsprinter_set::IDC_INSTALL)->click();
        dialog.control<platform::ui::Button>(platform::ui::kIdCancel)->click();
    });
    EXPECT_EQ(boxes_.texts(), std::vector<std::string>{std::string(settings::kInstallHelpText)});
}

TEST_F(VirtualPrinterDialogTest, TheSettingButtonRunsBothDialogsAndShowsOneMessage) {
    spooler_.queues = {kOperatorsPdf};
    test_support::click_when_modal_opens("Third-Party Software Driver Settings", "Start");
    settings::run_third_party_print_settings();
    EXPECT_EQ(boxes_.texts(), std::vector<std::string>{"Virtual printer setup is completed!"});
    EXPECT_EQ(added_names(), own_names());

    // Close shows nothing and changes nothing.
    spooler_.added.clear();
    test_support::click_when_modal_opens("Third-Party Software Driver Settings", "Close");
    settings::run_third_party_print_settings();
    EXPECT_EQ(boxes_.count(), 1U);
    EXPECT_TRUE(spooler_.added.empty());
}

TEST_F(VirtualPrinterDialogTest, TheWindowAnswersWhileTheConfigurationWaits) {
    platform::set_time_scale(20);
    vsprinter_setting_progress dialog;
    auto* bar = dialog.control<platform::ui::ProgressBar>(vsprinter_setting_progress::IDC_PROGRESS);
    std::set<int> seen;  // the positions the UI thread saw while it served its events
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] { seen.insert(bar->pos()); });
    tick.start(5);
    const int code = test_support::run_modal(
        dialog, [] {}, 20000);
    EXPECT_EQ(code, kSetupCompleted);
    // The bar stood at 30 or 85 during the pauses: the window answered while they ran.
    EXPECT_TRUE(seen.count(30) + seen.count(85) > 0);
    EXPECT_EQ(bar->pos(), 100);
}

}  // namespace
