// "New job" through the real main window: the layout designer is started when it does not run,
// brought forward and placed when it does, and never asked to close; every path gives the
// button back. The designer is the stand-in the tests build, on an X desktop of the test's own.

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/main_window_ids.h"
#include "main_window_fixture.h"
#include "maintenance/layout_designer.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "platform/ui/menu.h"
#include "platform/ui/screen.h"
#include "platform/ui/tray_icon.h"
#include "temp_dir.h"
#include "x_desktop.h"

namespace {

namespace fs = std::filesystem;
namespace ui = platform::ui;
using Texts = std::vector<std::string>;
using test_support::wait_until;

constexpr std::string_view kBusy = "Layout designner software is busy, pleasy try agin later!";

class NewJob : public test_support::MainWindowTest {
  protected:
    ~NewJob() override {
        if (auto left = platform::find_processes(maintenance::kDesignerProcessName)) {
            platform::terminate_processes(*left, 0, 5000);
        }
    }

    // The X desktop for the designer's window; the reason to skip when it cannot exist here.
    std::string start_desktop() {
        if (auto missing = test_support::XDesktop::missing(); !missing.empty()) {
            return missing;
        }
        desktop_.emplace();
        EXPECT_TRUE(desktop_->start()) << desktop_->why();
        return {};
    }
    void install_stand_in() {
        fs::create_directories(maintenance::designer_path().parent_path());
        fs::copy_file(test_support::stand_in_designer_program(), maintenance::designer_path());
    }
    std::vector<platform::RunningProcess> designers() const {
        return platform::find_processes(maintenance::kDesignerProcessName)
            .value_or(std::vector<platform::RunningProcess>{});
    }
    bool button_enabled(CvelquorinDlg& window) const {
        return window.item(IDC_NEW_JOB_BUTTON)->is_enabled();
    }
    void tray_new_job(CvelquorinDlg& window) {
        ui::set_menu_responder([](const ui::Menu&, ui::Point) { return ID_TRAY_NEW_JOB; });
        window.send(WM_TRAY_NOTIFY, 0, static_cast<std::intptr_t>(ui::TrayMouse::RightButtonDown));
        ui::set_menu_responder({});
    }
    std::string record() const {
        return fs::exists(record_) ? test_support::read_file(record_) : std::string();
    }

    // The copies of the stand-in this test started (others of that name may run on the machine).
    int started_copies() const {
        const std::string text = record();
        int count = 0;
        for (std::size_t at = text.find("started\n"); at != std::string::npos;
             at = text.find("started\n", at + 1)) {
            ++count;
        }
        return count;
    }

    std::optional<test_support::XDesktop> desktop_;
    fs::path record_ = station.system_drive() / "designer-record";
    test_support::ScopedEnv record_env_{"VELQUORIN_STAND_IN_RECORD", record_.c_str()};
    test_support::ScopedEnv polite_{"VELQUORIN_STAND_IN_STUBBORN", nullptr};
};

#define START_DESKTOP_OR_SKIP()                                      \
    do {                                                             \
        if (const std::string why = start_desktop(); !why.empty()) { \
            GTEST_SKIP() << why;                                     \
        }                                                            \
        if (HasFailure()) {                                          \
            return;                                                  \
        }                                                            \
    } while (0)

TEST_F(NewJob, AMissingDesignerOrOneThatCannotStartIsSaidAndTheButtonComesBack) {
    run([&](CvelquorinDlg& window) {
        window.command(IDC_NEW_JOB_BUTTON);
        EXPECT_TRUE(button_enabled(window));
        // A file that is not a program the system can run.
        fs::create_directories(maintenance::designer_path().parent_path());
        test_support::write_file(maintenance::designer_path(), "not a program\n");
        fs::permissions(maintenance::designer_path(), fs::perms::owner_read);
        tray_new_job(window);
        EXPECT_TRUE(button_enabled(window));
    });
    const Texts texts = boxes.texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], maintenance::kDesignerMissingText);
    EXPECT_EQ(texts[1].rfind("Program open failed, the layout designer could not be started: ", 0),
              0u)
        << texts[1];
    EXPECT_TRUE(designers().empty());
}

TEST_F(NewJob, FromTheTrayADesignerIsStartedAndPlacedInAWindowOfItsOwn) {
    START_DESKTOP_OR_SKIP();
    install_stand_in();
    // Slow enough for the stand-in to open its window within the seventeen seconds.
    platform::set_time_scale(5);
    run([&](CvelquorinDlg& window) {
        tray_new_job(window);
        EXPECT_TRUE(button_enabled(window));
    });
    EXPECT_EQ(boxes.texts(), Texts{});
    EXPECT_EQ(started_copies(), 1);
    const auto found = maintenance::find_designer_window();
    ASSERT_TRUE(found);
    EXPECT_TRUE(wait_until([&] {
        const auto g = desktop_->geometry(found->id);
        return g && g->x == 250 && g->y == 80 && g->width == 900 && g->height == 600;
    }));
    EXPECT_EQ(record().find("close-request"), std::string::npos);
}

TEST_F(NewJob, TheButtonRaisesAndPlacesARunningDesignerOverTheScreenAndNeverClosesIt) {
    START_DESKTOP_OR_SKIP();
    install_stand_in();
    ui::set_screen_metrics(ui::ScreenMetrics{1280, ui::Rect{0, 0, 1280, 1000}, 1024, 1280});
    ASSERT_TRUE(maintenance::start_designer().started());
    std::optional<platform::RunningProcess> running;
    ASSERT_TRUE(wait_until([&] {
        const auto now = designers();
        if (now.size() == 1 && maintenance::find_designer_window()) {
            running = now[0];
        }
        return running.has_value();
    }));
    const std::uint32_t start = platform::tick_count();
    run([&](CvelquorinDlg& window) {
        window.command(IDC_NEW_JOB_BUTTON);
        EXPECT_TRUE(button_enabled(window));
    });
    // No start, so no progress dialog either.
    EXPECT_LT(platform::tick_count() - start, 16000u);
    EXPECT_EQ(boxes.texts(), Texts{});
    const auto found = maintenance::find_designer_window();
    ASSERT_TRUE(found);
    EXPECT_TRUE(wait_until([&] {
        const auto g = desktop_->geometry(found->id);
        return g && g->x == 0 && g->y == 0 && g->width == 1280 && g->height == 1024;
    }));
    EXPECT_EQ(desktop_->active_window(), found->id);
    const auto now = designers();
    EXPECT_NE(std::find(now.begin(), now.end(), *running), now.end());
    EXPECT_EQ(started_copies(), 1);
    EXPECT_EQ(record().find("close-request"), std::string::npos);
}

TEST_F(NewJob, AStartedDesignerWithoutItsWindowIsReportedBusy) {
    START_DESKTOP_OR_SKIP();
    install_stand_in();
    test_support::ScopedEnv title("VELQUORIN_STAND_IN_TITLE", "Some other program");
    run([&](CvelquorinDlg& window) {
        window.command(IDC_NEW_JOB_BUTTON);
        EXPECT_TRUE(button_enabled(window));
    });
    EXPECT_EQ(boxes.texts(), Texts{std::string(kBusy)});
    // The started process runs on.
    EXPECT_EQ(started_copies(), 1);
    EXPECT_FALSE(designers().empty());
}

}  // namespace
