#include "settings/virtual_printer_setup.h"

#include <gtest/gtest.h>

#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "message_box_recorder.h"
#include "modal_run.h"
#include "platform/clock.h"
#include "platform/ui/controls.h"
#include "qt_application.h"
#include "settings/program_globals.h"
#include "settings/vsprinter_set.h"
#include "temp_dir.h"

namespace {

namespace fs = std::filesystem;
using settings::QueueSpec;
using settings::SpoolerQueue;

// A print system that keeps its queues in memory and fails where a test tells it to.
class ScriptedSpooler : public settings::PrintSpooler {
  public:
    std::optional<std::vector<SpoolerQueue>> list_queues() override {
        std::lock_guard lock(mutex_);
        if (!answers) {
            error_ = "No such file or directory";
            return std::nullopt;
        }
        return queues;
    }
    settings::PdfDriverOffer pdf_driver() override {
        return {backend, backend ? "lsb/usr/cups-pdf/CUPS-PDF_opt.ppd" : ""};
    }
    bool delete_queue(const std::string& name) override {
        std::lock_guard lock(mutex_);
        if (refuse_delete == name) {
            error_ = "Forbidden";
            return false;
        }
        deleted.push_back(name);
        std::erase_if(queues, [&](const SpoolerQueue& q) { return q.name == name; });
        return true;
    }
    bool add_queue(const QueueSpec& spec) override {
        std::lock_guard lock(mutex_);
        if (refuse_add == spec.name) {
            error_ = "Forbidden";
            return false;
        }
        added.push_back(spec);
        std::erase_if(queues, [&](const SpoolerQueue& q) { return q.name == spec.name; });
        queues.push_back({spec.name, spec.device_uri});
        return true;
    }
    std::optional<std::string> queue_media(const std::string& name) override {
        std::lock_guard lock(mutex_);
        for (const QueueSpec& spec : added) {
            if (spec.name == name && name != ignore_media) {
                return spec.media;
            }
        }
        return std::nullopt;
    }
    std::string last_error() const override { return error_; }
    void reset() {
        answers = backend = true;
        refuse_delete.clear();
        refuse_add.clear();
        ignore_media.clear();
        queues.clear();
        deleted.clear();
        added.clear();
    }

    bool answers = true;
    bool backend = true;
    std::string refuse_delete;
    std::string refuse_add;
    std::string ignore_media;
    std::vector<SpoolerQueue> queues;
    std::vector<std::string> deleted;
    std::vector<QueueSpec> added;

  private:
    std::mutex mutex_;
    std::string error_;
};

const SpoolerQueue kOperatorsPdf{"PDF", "cups-pdf:/"};

class VirtualPrinterSetupTest : public ::testing::Test {
  protected:
    void SetUp() override {
        previous_scale_ = platform::time_scale();
        platform::set_time_scale(50);
        g_settings_root = (dir_ / "settings").string();
        fs::create_directories(g_settings_root);
        fs::create_directories(config_);
    }
    void TearDown() override {
        g_settings_root.clear();
        platform::set_time_scale(previous_scale_);
    }

    settings::SetupOutcome run() {
        settings::SetupProgress progress;
        progress.position = [this](int p) { positions_.push_back(p); };
        progress.spooler_error = [this](const std::string& text) { errors_.push_back(text); };
        progress.list_error = [this] { errors_.push_back("error"); };
        return settings::configure_virtual_printers(spooler_, config_, progress);
    }
    std::vector<std::string> added_names() const {
        std::vector<std::string> names;
        for (const QueueSpec& spec : spooler_.added) {
            names.push_back(spec.name);
        }
        return names;
    }
    static std::vector<std::string> own_names() {
        std::vector<std::string> names;
        for (const VirtualPrinter& printer : settings::kVirtualPrinters) {
            names.emplace_back(printer.name);
        }
        return names;
    }

    test_support::TempDir dir_;
    fs::path config_ = dir_ / "etc-cups";
    ScriptedSpooler spooler_;
    std::vector<int> positions_;
    std::vector<std::string> errors_;

  private:
    double previous_scale_ = 1;
};

TEST_F(VirtualPrinterSetupTest, AddsTheNineQueuesWithTheirSaveFoldersAndLeavesOtherPdfPrinters) {
    spooler_.queues = {kOperatorsPdf, {"Norvaxel_printer_KCMY", "cups-pdf:/norvaxel_kcmy"}};
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
    EXPECT_EQ(kcmy.device_uri, "cups-pdf:/norvaxel_kcmy");
    EXPECT_EQ(kcmy.ppd_name, "lsb/usr/cups-pdf/CUPS-PDF_opt.ppd");
    EXPECT_EQ(kcmy.media, "custom_500x700mm");
    for (const VirtualPrinter& printer : settings::kVirtualPrinters) {
        const std::string hot =
            (fs::path(g_settings_root) / "VirtualHotFolder" / std::string(printer.layout)).string();
        EXPECT_EQ(test_support::read_file(settings::pdf_instance_file(config_, printer.layout)),
                  settings::pdf_instance_config(hot));
        EXPECT_TRUE(fs::is_directory(hot)) << hot;
    }
    EXPECT_NE(settings::pdf_instance_config("/x/kcmy").find("Out /x/kcmy\n"), std::string::npos);
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

// Each stop before the deletions leaves the print system and the driver's files untouched.
TEST_F(VirtualPrinterSetupTest, NothingIsTouchedUnlessEveryPrerequisiteHolds) {
    struct Case {
        const char* what;
        void (*arrange)(ScriptedSpooler&, fs::path&);
        VirtualPrinterSetupResult code;
        int last_position;
    };
    const Case cases[] = {
        {"no driver backend", [](ScriptedSpooler& s, fs::path&) { s.backend = false; },
         kSetupDriverNotFound, 40},
        {"print system silent", [](ScriptedSpooler& s, fs::path&) { s.answers = false; },
         kSetupSpoolerNotAnswering, 0},
        {"no rights on the driver's folder",
         [](ScriptedSpooler&, fs::path& config) { config /= "missing"; },
         kSetupNoAdministratorRights, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        spooler_.reset();
        spooler_.queues = {kOperatorsPdf, {"Norvaxel_printer_VV", "cups-pdf:/norvaxel_vv"}};
        positions_.clear();
        fs::path config = config_;
        c.arrange(spooler_, config_);
        const settings::SetupOutcome outcome = run();
        config_ = config;
        EXPECT_EQ(outcome.code, c.code);
        EXPECT_EQ(positions_.back(), c.last_position);
        EXPECT_TRUE(spooler_.deleted.empty());
        EXPECT_TRUE(spooler_.added.empty());
        EXPECT_TRUE(fs::is_empty(config_));
        EXPECT_NE(settings::virtual_printer_setup_message(outcome),
                  "Virtual printer setup is completed!");
    }
    EXPECT_EQ(settings::virtual_printer_setup_message({kSetupDriverNotFound, {}}),
              "Virtual printer was not found, please reinstall");
}

TEST_F(VirtualPrinterSetupTest, AFailureOnTheWayIsNamedAndNeverCalledCompleted) {
    // A refused deletion is shown and the set-up goes on.
    spooler_.queues = {{"Norvaxel_printer_WW", "cups-pdf:/norvaxel_ww"}};
    spooler_.refuse_delete = "Norvaxel_printer_WW";
    spooler_.refuse_add = "Norvaxel_printer_WWKCMY";
    settings::SetupOutcome outcome = run();
    EXPECT_EQ(outcome.code, kSetupAddFailed);
    EXPECT_EQ(errors_, (std::vector<std::string>{"Norvaxel_printer_WW: Forbidden",
                                                 "Norvaxel_printer_WWKCMY: Forbidden"}));
    EXPECT_EQ(added_names().size(), 8U);  // the next printers were added all the same
    EXPECT_EQ(settings::virtual_printer_setup_message(outcome),
              "Virtual printer setup failed: these printers could not be added: Norvaxel "
              "printer WWKCMY");

    spooler_.reset();
    spooler_.ignore_media = "Norvaxel_printer_VV";
    outcome = run();
    EXPECT_EQ(outcome.code, kSetupPaperNotSet);
    EXPECT_NE(settings::virtual_printer_setup_message(outcome).find("Norvaxel printer VV"),
              std::string::npos);

    spooler_.reset();
    // A folder in the way of the file.
    fs::remove(settings::pdf_instance_file(config_, "vv"));
    fs::create_directories(settings::pdf_instance_file(config_, "vv") / "blocked");
    outcome = run();
    EXPECT_EQ(outcome.code, kSetupSaveFolderNotSet);
    EXPECT_EQ(outcome.detail, "Norvaxel printer VV");
}

TEST(CustomPaper, FollowsThePrinterModel) {
    EXPECT_EQ(settings::custom_paper_media("Q800X"), "custom_500x700mm");
    EXPECT_EQ(settings::custom_paper_media("Orvel"), "custom_210x300mm");
    EXPECT_EQ(settings::custom_paper_media("Vexa4"), "custom_210x150mm");
    EXPECT_EQ(settings::custom_paper_media("Other"), "custom_360x500mm");
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
        settings::use_print_system(&spooler_, config_);
    }
    void TearDown() override {
        settings::use_print_system(nullptr, std::string(settings::kCupsConfigFolder));
        VirtualPrinterSetupTest::TearDown();
    }
    test_support::QtApplication app_;
    test_support::MessageBoxRecorder boxes_;
};

TEST_F(VirtualPrinterDialogTest, TheDriverCheckSetsTheButtonsAndTheStatus) {
    for (bool backend : {true, false}) {
        spooler_.backend = backend;
        vsprinter_set dialog;
        const int code = test_support::run_modal(dialog, [&] {
            EXPECT_EQ(dialog.item(vsprinter_set::IDC_INSTALL)->is_enabled(), !backend);
            EXPECT_EQ(dialog.item(vsprinter_set::IDC_START)->is_enabled(), backend);
            EXPECT_EQ(dialog.control<platform::ui::Static>(vsprinter_set::IDC_STATUS)->text(),
                      backend ? "The virtual printer is installed correctly."
                              : "The virtual printer is not installed, please click the button "
                                "to install the virtual printer.");
            if (backend) {
                dialog.control<platform::ui::Button>(vsprinter_set::IDC_START)->click();
            } else {
                dialog.control<platform::ui::Button>(vsprinter_set::IDC_INSTALL)->click();
                dialog.control<platform::ui::Button>(platform::ui::kIdCancel)->click();
            }
        });
        EXPECT_EQ(code, backend ? vsprinter_set::kStartCode : platform::ui::kIdCancel);
    }
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
