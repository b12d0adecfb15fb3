#include "maintenance/layout_designer.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "designer_fixture.h"

namespace {

namespace fs = std::filesystem;
using test_support::ScopedEnv;
using test_support::wait_until;

class LayoutDesigner : public test_support::DesignerFixture {};

TEST_F(LayoutDesigner, StartedFoundByNameShownAndPlaced) {
    START_DESKTOP_OR_SKIP();
    EXPECT_EQ(maintenance::designer_path(), drive_ / "NorvaxelRIP v9.0" / "DTP" / "lytw.exe");
    install_stand_in();

    const auto started = maintenance::start_designer();
    ASSERT_TRUE(started.started());
    const auto process = one_designer_with_window();
    ASSERT_TRUE(process);
    EXPECT_EQ(process->pid, started.pid);
    EXPECT_EQ(record(), "started\narg " + maintenance::designer_path().native() + "\n");

    const auto window = maintenance::find_designer_window();
    ASSERT_TRUE(window);
    desktop_->minimise(window->id);
    ASSERT_TRUE(wait_until([&] { return desktop_->is_minimised(window->id); }));
    EXPECT_TRUE(platform::show_window_normal(window->id));
    EXPECT_TRUE(platform::place_window(window->id, 0, 0, 1280, 1024));
    EXPECT_TRUE(wait_until([&] {
        const auto g = desktop_->geometry(window->id);
        return !desktop_->is_minimised(window->id) && desktop_->active_window() == window->id &&
               g && g->x == 0 && g->y == 0 && g->outer_width == 1280 && g->outer_height == 1024;
    }));
}

TEST_F(LayoutDesigner, TheWindowIsTheFirstWhoseTitleHoldsTheText) {
    START_DESKTOP_OR_SKIP();
    install_stand_in();
    {
        ScopedEnv title("VELQUORIN_STAND_IN_TITLE", "Untitled - NorvaxelRIP v9.0 Layout");
        ASSERT_TRUE(maintenance::start_designer().started());
        ASSERT_TRUE(one_designer_with_window());
        const auto window = maintenance::find_designer_window();
        ASSERT_TRUE(window);
        EXPECT_EQ(window->title, "Untitled - NorvaxelRIP v9.0 Layout");
    }
    TearDown();
    ASSERT_TRUE(wait_until([] { return platform::top_level_windows().empty(); }));
    ScopedEnv title("VELQUORIN_STAND_IN_TITLE", "NorvaxelRIP v8.0");
    ASSERT_TRUE(maintenance::start_designer().started());
    ASSERT_TRUE(wait_until([] { return platform::top_level_windows().size() == 1; }));
    EXPECT_FALSE(maintenance::find_designer_window());
}

TEST_F(LayoutDesigner, AWindowsProgramGoesThroughWineWhenItIsThere) {
    ScopedEnv no_display("DISPLAY", nullptr);  // the stand-ins record their arguments and end
    fs::create_directories(maintenance::designer_path().parent_path());
    test_support::write_file(maintenance::designer_path(), std::string("MZ\x90\0\3\0", 6));
    fs::permissions(maintenance::designer_path(), fs::perms::owner_all);
    const fs::path bin = drive_ / "bin";
    const fs::path no_wine = drive_ / "empty";
    fs::create_directories(bin);
    fs::create_directories(no_wine);
    fs::copy_file(test_support::stand_in_designer_program(), bin / "wine");
    const std::string designer = maintenance::designer_path().native();

    {
        // With no wine on the PATH the file is started as it is, and the system refuses it.
        ScopedEnv path("PATH", no_wine.c_str());
        const auto result = maintenance::start_designer();
        EXPECT_FALSE(result.started());
        EXPECT_EQ(result.error, ENOEXEC);
    }
    {
        ScopedEnv path("PATH", (no_wine.native() + "::" + bin.native()).c_str());
        ASSERT_TRUE(maintenance::start_designer().started());
        EXPECT_TRUE(wait_until([&] {
            return record() ==
                   "started\narg " + (bin / "wine").native() + "\narg " + designer + "\n";
        })) << record();
    }
    {
        // A designer that is a native program is started directly even with wine at hand.
        fs::remove(record_);
        fs::remove(maintenance::designer_path());
        install_stand_in();
        ScopedEnv path("PATH", bin.c_str());
        ASSERT_TRUE(maintenance::start_designer().started());
        EXPECT_TRUE(wait_until([&] { return record() == "started\narg " + designer + "\n"; }))
            << record();
    }
    fs::remove(maintenance::designer_path());
    const auto missing = maintenance::start_designer();
    EXPECT_FALSE(missing.started());
    EXPECT_EQ(missing.error, ENOENT);
}

}  // namespace
