// The preview's progress dialog, run modally offscreen: it builds the bitmap as soon as it is
// open, shows a box when the build fails, and always ends with 8; while it builds, the window
// serves the workers and moves its bar. On a real desktop, its keys do not end it early.
#include "analysis/createbmpdlg.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <optional>
#include <set>
#include <thread>
#include <utility>

#include "engine/prn_header.h"
#include "fifo.h"
#include "message_box_recorder.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/ui/controls.h"
#include "prn_builder.h"
#include "qt_application.h"
#include "scoped_env.h"
#include "temp_dir.h"
#include "x_desktop.h"

namespace {

using test_support::TempDir;

// A print file of 720 x 2880 dpi whose body is a hole of the file system: as long to read as a
// large job, and no room taken on the disk.
void write_sparse_job(const std::filesystem::path& path, std::uint32_t row_bytes,
                      std::uint32_t lines) {
    PrnHeader header;
    header.width_dots = row_bytes * 4;
    header.line_count = lines;
    header.y_dpi = 2880;
    header.row_bytes = row_bytes;
    std::string bytes(kPrnHeaderSize, '\0');
    encode_prn_header(header, reinterpret_cast<std::uint8_t*>(bytes.data()));
    test_support::write_file(path, bytes);
    std::filesystem::resize_file(
        path, kPrnHeaderSize + std::uint64_t{row_bytes} * kPrnPlaneCount * lines);
}

class CreateBmpDlgTest : public ::testing::Test {
  protected:
    test_support::QtApplication app_;
    test_support::MessageBoxRecorder boxes_;
    TempDir dir_;
};

TEST_F(CreateBmpDlgTest, BuildsTheBitmapWhenOpenedAndEndsWith8) {
    test_support::PrnBuilder(300, 1000).random_dots(11).write(dir_ / "job.prn");
    const std::string bmp = (dir_ / "job.bmp").string();
    createbmpdlg::SetPaths(bmp, (dir_ / "job.prn").string());
    createbmpdlg dialog;
    dialog.set_background(platform::ui::Rgb::from_bgr(0xF2F2F2));
    // Esc before the build has started does not cut it short.
    dialog.command(platform::ui::kIdCancel);
    EXPECT_EQ(dialog.do_modal(), 8);
    EXPECT_EQ(boxes_.count(), 0u);
    EXPECT_EQ(platform::file_size(bmp), 54u + 354 * 295 * 4);
    auto* progress = dialog.control<platform::ui::ProgressBar>(createbmpdlg::IDC_PREVIEW_PROGRESS);
    ASSERT_NE(progress, nullptr);
    EXPECT_EQ(progress->upper(), 250);
    EXPECT_EQ(progress->pos(), 249);
}

TEST_F(CreateBmpDlgTest, FailedBuildShowsItsBoxEndsWith8AndWritesNothing) {
    test_support::PrnBuilder(300, 1000).resolution(720, 1200).write(dir_ / "mode.prn");
    test_support::PrnBuilder(300, 3).write(dir_ / "few_lines.prn");
    test_support::PrnBuilder(300, 1000).write(dir_ / "good.prn");
    test_support::write_file(dir_ / "file", "x");
    struct Case {
        std::string prn;
        std::string bmp;
        std::string box;
    };
    // The window waits for this dialog: a pipe or a device at the name is refused at once.
    const test_support::UnreadableNames unreadable =
        test_support::make_unreadable_names(dir_.path(), ".prn");
    const test_support::FifoGuard guard(unreadable.fifos);
    std::vector<Case> cases = {
        {"missing.prn", "a.bmp", "Print file can't read."},
        {"mode.prn", "a.bmp", "请选择正确图象模式!\n"},
        {"few_lines.prn", "a.bmp",
         "The print file has 3 raster lines, fewer than the 4 of one cell at its resolution; no "
         "preview can be made."},
        {"good.prn", "file/a.bmp", "Create preview failed，Please run in administrator!"},
    };
    for (const auto& name : unreadable.names) {
        cases.push_back({name.filename().string(), "a.bmp", "Print file can't read."});
    }
    std::size_t shown = 0;
    for (const Case& c : cases) {
        createbmpdlg::SetPaths((dir_ / c.bmp).string(), (dir_ / c.prn).string());
        createbmpdlg dialog;
        EXPECT_EQ(dialog.do_modal(), 8) << c.prn;
        ASSERT_EQ(boxes_.count(), ++shown) << c.prn;
        EXPECT_EQ(boxes_.texts().back(), c.box);
        EXPECT_FALSE(platform::exists(dir_ / c.bmp)) << c.prn;
    }
    EXPECT_FALSE(guard.released());
}

// While the file is read the window goes on serving the workers' calls (the print thread's
// progress among them), and the bar moves on the way.
TEST_F(CreateBmpDlgTest, TheWindowServesTheWorkersAndMovesTheBarDuringTheBuild) {
    write_sparse_job(dir_ / "large.prn", 3550, 16000);
    createbmpdlg::SetPaths((dir_ / "large.bmp").string(), (dir_ / "large.prn").string());
    createbmpdlg dialog;
    auto* progress = dialog.control<platform::ui::ProgressBar>(createbmpdlg::IDC_PREVIEW_PROGRESS);
    std::atomic<bool> ended = false;
    std::atomic<bool> stopped = false;
    std::set<std::pair<int, int>> seen;  // position and upper bound, as a worker saw them
    std::thread worker([&] {
        while (!ended) {
            const int pos = progress->pos();
            const int upper = progress->upper();
            if (!ended) {
                seen.insert({pos, upper});
            }
        }
        stopped = true;
    });
    EXPECT_EQ(dialog.do_modal(), 8);
    ended = true;
    test_support::pump_events_until([&] { return stopped.load(); });
    worker.join();
    EXPECT_EQ(boxes_.count(), 0u);
    EXPECT_TRUE(platform::exists(dir_ / "large.bmp"));
    const int rows = progress->upper();
    int on_the_way = 0;
    for (const auto& [pos, upper] : seen) {
        on_the_way += upper == rows && pos > 0 && pos < rows - 1 ? 1 : 0;
    }
    EXPECT_GE(on_the_way, 2) << seen.size() << " looks; " << rows << " rows";
}

// Return, Enter and Esc pressed on the desktop while the bitmap is built do not end the dialog:
// it ends with 8 when the bitmap is there, so the preview opens on it.
TEST_F(CreateBmpDlgTest, ItsKeysDuringABuildDoNotEndItEarly) {
    if (const auto missing = test_support::XDesktop::missing(); !missing.empty()) {
        GTEST_SKIP() << missing;
    }
    test_support::XDesktop desktop;
    ASSERT_TRUE(desktop.start()) << desktop.why();
    // Seconds to read, in the sanitized build as in a release one.
    write_sparse_job(dir_ / "large.prn", 3550, 60000);
    const std::filesystem::path bitmap = dir_ / "large.bmp";
    const std::filesystem::path end_code = dir_ / "end-code";
    for (const char* key : {"Return", "KP_Enter", "Escape"}) {
        SCOPED_TRACE(key);
        std::filesystem::remove(bitmap);
        std::filesystem::remove(end_code);
        platform::StartResult helper;
        {
            test_support::ScopedEnv xcb("QT_QPA_PLATFORM", "xcb");
            // The desktop's message-bus library that Qt loads on X keeps memory to the end.
            test_support::ScopedEnv no_leak_report("ASAN_OPTIONS", "detect_leaks=0");
            helper = platform::start_process(
                VELQUORIN_PREVIEW_BUILD_HELPER,
                {VELQUORIN_PREVIEW_BUILD_HELPER, (dir_ / "large.prn").string(), bitmap.string(),
                 end_code.string()});
        }
        ASSERT_TRUE(helper.started());
        std::optional<platform::WindowId> window;
        ASSERT_TRUE(test_support::wait_until([&] {
            for (const platform::TopWindow& top : platform::top_level_windows()) {
                if (top.pid == helper.pid && top.title == "Creat Preview Picture" &&
                    desktop.is_shown(top.id)) {
                    window = top.id;
                }
            }
            return window.has_value();
        }));
        desktop.xdotool({"windowactivate", "--sync", std::to_string(*window)});
        desktop.xdotool({"key", key});
        const bool pressed_during_the_build = !platform::exists(bitmap);
        ASSERT_TRUE(test_support::wait_until(
            [&] { return !test_support::read_file(end_code).empty(); }, 120000));
        EXPECT_EQ(test_support::read_file(end_code), "8\n");
        EXPECT_TRUE(pressed_during_the_build) << "the build ended before the key was pressed";
        EXPECT_TRUE(platform::exists(bitmap));
        test_support::wait_until([&] { return ::kill(helper.pid, 0) != 0; });
    }
}

}  // namespace
