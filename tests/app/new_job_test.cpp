// "New job" through the real main window: the layout designer is started when it does not run,
// brought forward and placed when it does, and never asked to close; every path gives the
// button back. The designer is the stand-in the tests build, on an X desktop of the test's own.

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/main_window_ids.h"
#include "fifo.h"
#include "main_window_fixture.h"
#include "maintenance/layout_designer.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "platform/ui/menu.h"
#include "platform/ui/screen.h"
#include "platform/ui/tray_icon.h"
#include "temp_dir.h"
#include "test_processes.h"
#include "x_desktop.h"

namespace {

namespace fs = std::filesystem;
namespace ui = platform::ui;
using Texts = std::vector<std::string>;
using test_support::wait_until;

constexpr std::string_view kBusy = "Layout designner software is busy, pleasy try agin later!";

class NewJob : public test_support::MainWindowTest {
  protected:
    // Only the copies this test started, from its own drive.
    ~NewJob() override {
        test_support::end_processes_under(station.system_drive());
        test_support::end_processes_under(station.system_drive(), "rip-server");
    }

    // The X desktop for the designer's window; the reason to skip when it cannot exist here.
    std::string start_desktop() { return test_support::start_desktop_into(desktop_); }
    void install_stand_in() {
        fs::create_directories(maintenance::designer_path().parent_path());
        fs::copy_file(test_support::stand_in_designer_program(), maintenance::designer_path());
    }
    std::vector<platform::RunningProcess> designers() const {
        return test_support::processes_under(station.system_drive());
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

    // The RIP's own window, "NorvaxelRIP v9.0 Server", opened by a program of its own and put
    // at (40, 40), 400 x 300, so that a placing of it shows; nothing when it did not come up.
    std::optional<platform::TopWindow> open_rip_server_window() {
        const fs::path rip = station.system_drive() / "rip-server";
        fs::copy_file(test_support::stand_in_designer_program(), rip);
        {
            test_support::ScopedEnv title("VELQUORIN_STAND_IN_TITLE", "NorvaxelRIP v9.0 Server");
            test_support::ScopedEnv no_record("VELQUORIN_STAND_IN_RECORD", nullptr);
            if (!platform::start_process(rip).started()) {
                return std::nullopt;
            }
        }
        std::optional<platform::TopWindow> window;
        if (!wait_until([&] {
                window = titled("NorvaxelRIP v9.0 Server");
                return window.has_value();
            }) ||
            !platform::place_window(window->id, 40, 40, 400, 300) ||
            !wait_until([&] { return placed_at(window->id, 40, 40, 400, 300); })) {
            return std::nullopt;
        }
        return window;
    }

    // The first top-level window of exactly that title.
    static std::optional<platform::TopWindow> titled(const std::string& title) {
        for (const auto& w : platform::top_level_windows()) {
            if (w.title == title) {
                return w;
            }
        }
        return std::nullopt;
    }
    // Whether the window, its frame included, fills exactly that rectangle.
    bool placed_at(platform::WindowId id, int x, int y, int width, int height) const {
        const auto g = desktop_->geometry(id);
        return g && g->x == x && g->y == y && g->outer_width == width && g->outer_height == height;
    }
    std::string where(platform::WindowId id) const {
        const auto g = desktop_->geometry(id);
        return g ? std::to_string(g->x) + "," + std::to_string(g->y) + " " +
                       std::to_string(g->outer_width) + " x " + std::to_string(g->outer_height)
                 : "gone";
    }

    std::optional<test_support::XDesktop> desktop_;
    fs::path record_ = station.system_drive() / "designer-record";
    test_support::ScopedEnv record_env_{"VELQUORIN_STAND_IN_RECORD", record_.c_str()};
    test_support::ScopedEnv polite_{"VELQUORIN_STAND_IN_STUBBORN", nullptr};
};

TEST_F(NewJob, AMissingDesignerOrOneThatCannotStartIsSaidAndTheButtonComesBack) {
    const fs::path designer = maintenance::designer_path();
    fs::create_directories(designer.parent_path());
    const std::string cannot_start =
        "Program open failed, the layout designer could not be started: ";
    const struct {
        const char* name;
        std::function<void()> make;
        std::string box_start;
    } cases[] = {
        {"missing", [] {}, std::string(maintenance::kDesignerMissingText)},
        {"not a program",
         [&] {
             test_support::write_file(designer, "not a program\n");
             fs::permissions(designer, fs::perms::owner_read);
         },
         cannot_start},
        // Neither is ever opened in a way that waits, so the window goes on.
        {"a pipe", [&] { test_support::make_fifo(designer); }, cannot_start},
        {"a device", [&] { fs::create_symlink("/dev/zero", designer); }, cannot_start},
    };
    run([&](CvelquorinDlg& window) {
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name);
            fs::remove(designer);
            c.make();
            test_support::MessageBoxRecorder said;
            test_support::FifoGuard guard({designer});
            // From the button and from the tray menu alike.
            window.command(IDC_NEW_JOB_BUTTON);
            EXPECT_TRUE(button_enabled(window));
            tray_new_job(window);
            EXPECT_TRUE(button_enabled(window));
            EXPECT_FALSE(guard.released()) << "New job waited on the pipe";
            const Texts texts = said.texts();
            ASSERT_EQ(texts.size(), 2u);
            for (const std::string& text : texts) {
                EXPECT_EQ(text.rfind(c.box_start, 0), 0u) << text;
            }
        }
    });
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
    // The frame included: the window manager's frame goes inside the rectangle.
    EXPECT_TRUE(wait_until([&] { return placed_at(found->id, 250, 80, 900, 600); }))
        << where(found->id);
    EXPECT_EQ(record().find("close-request"), std::string::npos);
}

// A running designer goes over the whole screen from the button and from the tray menu alike.
TEST_F(NewJob, ARunningDesignerIsRaisedAndPlacedOverTheScreenAndNeverClosed) {
    START_DESKTOP_OR_SKIP();
    install_stand_in();
    ui::set_screen_metrics(ui::ScreenMetrics{1280, ui::Rect{0, 0, 1280, 1000}, 1024, 1280});
    ASSERT_TRUE(maintenance::start_designer().started());
    std::optional<platform::RunningProcess> running;
    std::optional<platform::TopWindow> found;
    ASSERT_TRUE(wait_until([&] {
        const auto now = designers();
        found = maintenance::find_designer_window();
        if (now.size() == 1 && found) {
            running = now[0];
        }
        return running.has_value();
    }));
    const struct {
        const char* name;
        std::function<void(CvelquorinDlg&)> new_job;
    } sources[] = {
        {"button", [](CvelquorinDlg& window) { window.command(IDC_NEW_JOB_BUTTON); }},
        {"tray menu", [this](CvelquorinDlg& window) { tray_new_job(window); }},
    };
    run([&](CvelquorinDlg& window) {
        for (const auto& source : sources) {
            SCOPED_TRACE(source.name);
            // Somewhere else first, so that the placing shows.
            ASSERT_TRUE(platform::place_window(found->id, 40, 40, 400, 300));
            ASSERT_TRUE(wait_until([&] { return placed_at(found->id, 40, 40, 400, 300); }));
            const std::uint32_t start = platform::tick_count();
            source.new_job(window);
            // No start, so not the start-up's progress dialog of seventeen seconds either.
            EXPECT_LT(platform::tick_count() - start, 16000u);
            EXPECT_TRUE(button_enabled(window));
            // Over the whole screen and no further, its frame included.
            EXPECT_TRUE(wait_until([&] { return placed_at(found->id, 0, 0, 1280, 1024); }))
                << where(found->id);
            EXPECT_EQ(desktop_->active_window(), found->id);
        }
    });
    EXPECT_EQ(boxes.texts(), Texts{});
    const auto now = designers();
    EXPECT_NE(std::find(now.begin(), now.end(), *running), now.end());
    EXPECT_EQ(started_copies(), 1);
    EXPECT_EQ(record().find("close-request"), std::string::npos);
}

// After a start only the window titled exactly as the designer is placed: the RIP's own window,
// whose title holds the same text and which was there first, stays where it is.
TEST_F(NewJob, AfterAStartOnlyTheWindowOfExactlyTheTitleIsPlaced) {
    START_DESKTOP_OR_SKIP();
    install_stand_in();
    platform::set_time_scale(5);
    const auto rip_window = open_rip_server_window();
    ASSERT_TRUE(rip_window);

    run([&](CvelquorinDlg& window) { tray_new_job(window); });
    EXPECT_EQ(boxes.texts(), Texts{});
    const auto designer = maintenance::find_started_designer_window();
    ASSERT_TRUE(designer);
    EXPECT_NE(designer->id, rip_window->id);
    EXPECT_TRUE(wait_until([&] { return placed_at(designer->id, 250, 80, 900, 600); }))
        << where(designer->id);
    EXPECT_TRUE(placed_at(rip_window->id, 40, 40, 400, 300)) << where(rip_window->id);
}

// With the designer running, its own window goes over the screen: not the RIP's, whose title
// holds the designer's title text too and which was opened first.
TEST_F(NewJob, ARunningDesignersOwnWindowIsPlacedNotTheRipsOpenedBefore) {
    START_DESKTOP_OR_SKIP();
    install_stand_in();
    ui::set_screen_metrics(ui::ScreenMetrics{1280, ui::Rect{0, 0, 1280, 1000}, 1024, 1280});
    const auto rip_window = open_rip_server_window();
    ASSERT_TRUE(rip_window);
    const auto started = maintenance::start_designer();
    ASSERT_TRUE(started.started());
    std::optional<platform::TopWindow> designer;
    ASSERT_TRUE(wait_until([&] {
        designer = titled("NorvaxelRIP v9.0");
        return designer.has_value();
    }));
    ASSERT_EQ(designer->pid, started.pid);

    run([&](CvelquorinDlg& window) { window.command(IDC_NEW_JOB_BUTTON); });
    EXPECT_EQ(boxes.texts(), Texts{});
    EXPECT_TRUE(wait_until([&] { return placed_at(designer->id, 0, 0, 1280, 1024); }))
        << where(designer->id);
    EXPECT_TRUE(placed_at(rip_window->id, 40, 40, 400, 300)) << where(rip_window->id);
    EXPECT_EQ(started_copies(), 1);
}

// Only the operator's own designer counts as running: another account's "lytw.exe", one of the
// operator's own from another folder, and a process that merely takes the designer's path as its
// argument 0 do not, so New job starts the designer and places the new copy's window; their
// windows, up first with the designer's very title, are left where they are.
TEST_F(NewJob, OnlyTheOperatorsOwnDesignerCountsAsRunning) {
    START_DESKTOP_OR_SKIP();
    install_stand_in();
    platform::set_time_scale(5);
    // The operator's own copy of the program, elsewhere, with the designer's title.
    test_support::TempDir elsewhere;
    const fs::path copy = elsewhere / "lytw.exe";
    fs::copy_file(test_support::stand_in_designer_program(), copy);
    const std::unique_ptr<const fs::path, void (*)(const fs::path*)> end_elsewhere(
        &elsewhere.path(),
        [](const fs::path* folder) { test_support::end_processes_under(*folder); });
    const fs::path sleeper = elsewhere / "sleeper";
    fs::copy_file("/bin/sleep", sleeper);
    const std::unique_ptr<const fs::path, void (*)(const fs::path*)> end_sleeper(
        &elsewhere.path(),
        [](const fs::path* folder) { test_support::end_processes_under(*folder, "sleeper"); });
    std::vector<platform::StartResult> others;
    {
        test_support::ScopedEnv no_record("VELQUORIN_STAND_IN_RECORD", nullptr);
        others.push_back(platform::start_process(copy));
        // Any program can take any argument 0.
        ASSERT_TRUE(platform::start_process(sleeper, {maintenance::designer_path().native(), "30"})
                        .started());
    }
    // Another account's, where this test may start one.
    const auto other = test_support::other_user();
    std::optional<test_support::OtherUsersDesigner> theirs;
    if (other) {
        theirs.emplace(*other, "NorvaxelRIP v9.0");
        others.push_back(theirs->started());
    }
    std::vector<platform::TopWindow> their_windows;
    for (const platform::StartResult& started : others) {
        ASSERT_TRUE(started.started());
        std::optional<platform::TopWindow> up;
        ASSERT_TRUE(wait_until([&] {
            for (const auto& w : platform::top_level_windows()) {
                if (w.pid == started.pid) {
                    up = w;
                }
            }
            return up.has_value();
        }));
        ASSERT_TRUE(platform::place_window(up->id, 40, 40, 400, 300));
        ASSERT_TRUE(wait_until([&] { return placed_at(up->id, 40, 40, 400, 300); }));
        their_windows.push_back(*up);
    }

    run([&](CvelquorinDlg& window) { tray_new_job(window); });
    EXPECT_EQ(boxes.texts(), Texts{});
    EXPECT_EQ(started_copies(), 1);
    const auto designer = maintenance::find_started_designer_window();
    ASSERT_TRUE(designer);
    EXPECT_TRUE(wait_until([&] { return placed_at(designer->id, 250, 80, 900, 600); }))
        << where(designer->id);
    for (const platform::TopWindow& w : their_windows) {
        EXPECT_NE(w.id, designer->id);
        EXPECT_TRUE(placed_at(w.id, 40, 40, 400, 300)) << where(w.id);
    }
    if (!theirs) {
        GTEST_SKIP() << "only root can start a designer under another account; the operator's "
                        "other copies did not count";
    }
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
