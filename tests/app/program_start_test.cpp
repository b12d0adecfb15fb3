// The velquorin program itself on an installed workstation: started twice, the later start
// hands over to the running one and ends at once; left to itself with automatic printing, a
// job put into the job folder is printed on the simulated printer without the operator, and
// once reverted from the printed-jobs history it is printed again; on a desktop with a tray it
// hides to its icon and comes back.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/main_window_frame.h"
#include "app/single_instance.h"
#include "config/program_globals.h"
#include "engine/printed_jobs_folder.h"
#include "jobs/printed_list.h"
#include "message_box_recorder.h"
#include "platform/process.h"
#include "platform/ui/controls.h"
#include "platform/ui/list_ctrl.h"
#include "prn_builder.h"
#include "qt_application.h"
#include "scoped_env.h"
#include "temp_dir.h"
#include "workstation_fixture.h"
#include "x_desktop.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
namespace ui = platform::ui;
using Clock = std::chrono::steady_clock;

constexpr auto kPatience = std::chrono::seconds(30);  // only reached when something is wrong

// Starts the program; its standard error goes to the file given, if any.
pid_t start_program(const fs::path& error_output = {}) {
    std::string program = VELQUORIN_PROGRAM;
    char* argv[] = {program.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!error_output.empty()) {
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, error_output.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
    }
    pid_t pid = -1;
    const int error = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        ADD_FAILURE() << "cannot start " << program;
        return -1;
    }
    return pid;
}

// The exit status once the process has ended; -1 when it runs on past the patience.
int wait_for_end(pid_t pid) {
    const auto deadline = Clock::now() + kPatience;
    while (Clock::now() < deadline) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}

bool running(pid_t pid) {
    int status = 0;
    return ::waitpid(pid, &status, WNOHANG) == 0;
}

// A started program, ended when the object goes (before its desktop, also when the test stops
// early) unless it has ended and been waited for already.
class Started {
  public:
    explicit Started(pid_t pid) : pid_(pid) {}
    ~Started() {
        if (pid_ > 0 && running(pid_)) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    Started(const Started&) = delete;
    Started& operator=(const Started&) = delete;
    pid_t pid() const { return pid_; }

  private:
    pid_t pid_;
};

// A workstation whose program runs on the simulated printer, offscreen, 50 times faster.
class RunningProgram : public ::testing::Test {
  protected:
    fs::path runtime() const { return station_.system_drive().parent_path() / "run"; }

    // Starts the program and waits until it listens and its start-up has made the output
    // folder.
    pid_t start_running() {
        fs::create_directory(runtime());
        ::chmod(runtime().c_str(), 0700);
        const pid_t pid = start_program();
        if (pid <= 0) {
            return pid;
        }
        const fs::path socket =
            runtime() / (std::string(app::kInstanceName) + std::string(app::kSocketSuffix));
        const auto deadline = Clock::now() + kPatience;
        while (Clock::now() < deadline && running(pid) &&
               !(fs::exists(socket) && fs::exists(station_.system_drive() / "MTOutput"))) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        EXPECT_TRUE(running(pid)) << "the program ended";
        EXPECT_TRUE(fs::exists(socket));
        return pid;
    }

    // True once done() holds; false when the program ended or the patience ran out first.
    static bool wait_for(pid_t pid, const std::function<bool()>& done) {
        const auto deadline = Clock::now() + kPatience;
        while (Clock::now() < deadline && running(pid) && !done()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return done();
    }

    // The program's main window on the desktop, once it shows; 0 when it does not.
    static std::uint32_t wait_for_main_window(pid_t pid, const test_support::XDesktop& desktop) {
        std::uint32_t window = 0;
        wait_for(pid, [&] {
            for (const platform::TopWindow& top : platform::top_level_windows()) {
                if (top.title == "Norvaxel") {
                    window = top.id;
                }
            }
            return window != 0 && desktop.is_shown(window);
        });
        return window;
    }

    // The program's icon in the desktop's tray, once it is there: its small window.
    static std::optional<test_support::XDesktop::Geometry> wait_for_tray_icon(
        pid_t pid, const test_support::XDesktop& desktop) {
        std::optional<test_support::XDesktop::Geometry> icon;
        wait_for(pid, [&] {
            std::istringstream ids(
                desktop.xdotool({"search", "--class", "^velquorin$"}).value_or(""));
            for (std::uint32_t id = 0; ids >> id;) {
                const auto place = desktop.geometry(id);
                if (place && place->width >= 16 && place->width <= 32 && desktop.is_shown(id)) {
                    icon = place;
                }
            }
            return icon.has_value();
        });
        return icon;
    }

    // A click on the tray icon, further from the one before than a double click is (whose
    // second press is no left-button press).
    static void click_icon(const test_support::XDesktop& desktop,
                           const test_support::XDesktop::Geometry& icon) {
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        desktop.click(icon.x + icon.width / 2, icon.y + icon.height / 2);
    }
    // Esc pressed on the window.
    static void press_escape(const test_support::XDesktop& desktop, std::uint32_t window) {
        desktop.xdotool({"windowactivate", "--sync", std::to_string(window)});
        desktop.xdotool({"key", "Escape"});
    }

    // The program's windows shown on the desktop: its main window, its tray icon, and a menu
    // while one is open.
    static std::vector<std::uint32_t> shown_windows(const test_support::XDesktop& desktop) {
        std::vector<std::uint32_t> shown;
        std::istringstream ids(
            desktop.xdotool({"search", "--onlyvisible", "--class", "^velquorin$"}).value_or(""));
        for (std::uint32_t id = 0; ids >> id;) {
            shown.push_back(id);
        }
        return shown;
    }

    // A right click where no control of the window takes it: whether a menu opened (it is
    // closed again).
    static bool right_click_opens_a_menu(pid_t pid, const test_support::XDesktop& desktop,
                                         std::uint32_t window) {
        const auto place = desktop.geometry(window);
        if (!place) {
            return false;
        }
        const std::size_t before = shown_windows(desktop).size();
        desktop.click(place->x + 900, place->y + 50, 3);
        const auto deadline = Clock::now() + std::chrono::milliseconds(1500);
        bool opened = false;
        while (!opened && Clock::now() < deadline && running(pid)) {
            opened = shown_windows(desktop).size() > before;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (opened) {
            desktop.xdotool({"key", "Escape"});
            wait_for(pid, [&] { return shown_windows(desktop).size() == before; });
        }
        return opened;
    }

    // A 40 x 5 mm job at 720 dpi, written beside the job folder and moved in whole.
    fs::path put_sample_job() const {
        const fs::path job = station_.job_folder() / "sample.prn";
        test_support::PrnBuilder(284, 144)
            .width_dots(1134)
            .random_dots(7, 0.2, 0x0F)
            .write(station_.system_drive() / "sample.prn");
        fs::rename(station_.system_drive() / "sample.prn", job);
        return job;
    }

    // A desktop of the test's own, with Qt on X for the programs started afterwards. The reason
    // it cannot exist here; empty when it is up (a failure when it should come up and not).
    std::string start_desktop() {
        if (std::string why = test_support::start_desktop_into(desktop_); !why.empty()) {
            return why;
        }
        xcb_.emplace("QT_QPA_PLATFORM", "xcb");
        // The desktop's message-bus library that Qt loads on X keeps memory to the end.
        no_leak_report_.emplace("ASAN_OPTIONS", "detect_leaks=0");
        return {};
    }

    test_support::Workstation station_;
    test_support::ScopedEnv runtime_dir_{"XDG_RUNTIME_DIR", runtime().c_str()};
    test_support::ScopedEnv printer_{"VELQUORIN_PRINTER", "sim"};
    test_support::ScopedEnv scale_{"VELQUORIN_TIME_SCALE", "50"};
    test_support::ScopedEnv platform_{"QT_QPA_PLATFORM", "offscreen"};
    std::optional<test_support::XDesktop> desktop_;
    std::optional<test_support::ScopedEnv> xcb_;
    std::optional<test_support::ScopedEnv> no_leak_report_;
};

TEST_F(RunningProgram, ALaterStartHandsOverToTheRunningProgramAndEnds) {
    const pid_t first = start_running();
    ASSERT_GT(first, 0);
    ASSERT_TRUE(running(first));

    const pid_t second = start_program();
    ASSERT_GT(second, 0);
    EXPECT_EQ(wait_for_end(second), 0);
    EXPECT_TRUE(running(first));

    ::kill(first, SIGKILL);
    ::waitpid(first, nullptr, 0);
}

TEST_F(RunningProgram, AJobPutIntoTheJobFolderIsPrintedByItself) {
    station_.write_settings("0", "0");
    const fs::path capture = station_.system_drive().parent_path() / "capture";
    test_support::ScopedEnv record("VELQUORIN_SIM_CAPTURE", capture.c_str());
    const pid_t pid = start_running();
    ASSERT_GT(pid, 0);
    // Jobs met in the analyser's first 20000 ms of program time are never sent by themselves:
    // 2 s of real time is 100 s of program time, room for a slow start.
    std::this_thread::sleep_for(std::chrono::milliseconds(2000));

    const fs::path job = put_sample_job();

    EXPECT_TRUE(wait_for(pid, [&] { return fs::exists(capture / "sheet-000.png"); }))
        << "no sheet was printed";
    // A printed job leaves the job folder (into the printed-jobs history, as set).
    EXPECT_TRUE(wait_for(pid, [&] { return !fs::exists(job); }));
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

TEST_F(RunningProgram, APrintedJobRevertedFromTheHistoryIsPrintedAgain) {
    station_.write_settings("0", "0");  // automatic printing; printed files are kept
    const fs::path capture = station_.system_drive().parent_path() / "capture";
    test_support::ScopedEnv record("VELQUORIN_SIM_CAPTURE", capture.c_str());
    const pid_t pid = start_running();
    ASSERT_GT(pid, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(2000));  // as above
    const fs::path job = put_sample_job();
    const fs::path archived =
        station_.printed_folder() / (engine::local_date_text() + "-0") / "sample.prn";
    ASSERT_TRUE(wait_for(pid, [&] { return fs::exists(archived) && !fs::exists(job); }))
        << "the printed job did not reach the history";

    // The operator's history, on the same workstation, reverts it.
    test_support::QtApplication app;
    test_support::MessageBoxRecorder boxes;
    g_printed_folder = station_.printed_folder().string();
    g_job_folder = station_.job_folder().string();
    printedlist history;
    std::vector<std::string> titles;
    QTimer::singleShot(0, history.window(), [&] {
        for (int row = 0; row < history.list().item_count(); ++row) {
            titles.push_back(history.list().item_text(row, printedlist::job_title));
        }
        history.list().set_item_state(0, ui::kItemSelected, ui::kItemSelected);
        history.control<ui::Button>(IDC_PRINTED_REVERT)->click();
        history.end_dialog(ui::kIdCancel);
    });
    history.do_modal();
    EXPECT_EQ(titles, std::vector<std::string>{archived.string()});
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{
                                 "Succeeded, A new print job has been copied, Please check it "});

    // Found in the job folder as a new job, printed again, and filed in the history again.
    EXPECT_TRUE(wait_for(pid, [&] { return fs::exists(capture / "sheet-001.png"); }))
        << "the reverted job was not printed";
    EXPECT_TRUE(wait_for(pid, [&] {
        return fs::exists(station_.printed_folder() / (engine::local_date_text() + "-1") /
                          "sample.prn");
    }));
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

// The dots the sheet's record gives a head slot; -1 when it names none.
long long sheet_dots(const std::string& json, int slot) {
    const std::string tag = "{\"slot\":" + std::to_string(slot) + ",\"dots\":";
    const std::size_t at = json.find(tag);
    return at == std::string::npos ? -1 : std::stoll(json.substr(at + tag.size()));
}

// A writer of another account: its standard input goes into a new file as that account makes
// it, and the file stays open until the input is closed.
class OtherAccountWriter {
  public:
    OtherAccountWriter(const std::string& account, const fs::path& file) {
        int input[2];
        if (::pipe2(input, O_CLOEXEC) != 0) {
            return;
        }
        std::vector<std::string> args = {
            "sudo", "-n", "-u", account, VELQUORIN_OTHER_ACCOUNT_WRITER, file.string()};
        std::vector<char*> argv;
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
        if (::posix_spawnp(&pid_, "sudo", &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(input[0]);
        input_ = input[1];
    }
    ~OtherAccountWriter() { finish(); }
    OtherAccountWriter(const OtherAccountWriter&) = delete;
    OtherAccountWriter& operator=(const OtherAccountWriter&) = delete;

    bool write(const std::string& bytes) {
        std::size_t done = 0;
        while (pid_ > 0 && done < bytes.size()) {
            const ssize_t n = ::write(input_, bytes.data() + done, bytes.size() - done);
            if (n <= 0) {
                return false;
            }
            done += static_cast<std::size_t>(n);
        }
        return pid_ > 0;
    }
    // Ends the input, so the writer closes the file; its exit status.
    int finish() {
        if (input_ >= 0) {
            ::close(input_);
            input_ = -1;
        }
        if (pid_ <= 0) {
            return -1;
        }
        int status = 0;
        ::waitpid(std::exchange(pid_, -1), &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    pid_t pid_ = -1;
    int input_ = -1;
};

// Another account's RIP writes a job straight under its final name and pauses half-way. The
// operator's program cannot look into that account's processes, and takes the job only once
// its writer has closed it: nothing is printed while it is half written, and then all of it.
TEST_F(RunningProgram, AJobAnotherAccountIsStillWritingIsPrintedOnlyOnceWholeAndClosed) {
    const char* other = std::getenv("VELQUORIN_TEST_OTHER_ACCOUNT");
    if (other == nullptr || *other == '\0') {
        GTEST_SKIP() << "no second account to write as (VELQUORIN_TEST_OTHER_ACCOUNT, which CI "
                        "sets, with a sudo rule that lets this user run the tests' writer as "
                        "that account)";
    }
    station_.write_settings("0", "0");
    const fs::path capture = station_.system_drive().parent_path() / "capture";
    test_support::ScopedEnv record("VELQUORIN_SIM_CAPTURE", capture.c_str());
    // The other account passes into the workstation's folders and writes into its job folder.
    fs::permissions(station_.job_folder().parent_path(), fs::perms::others_exec,
                    fs::perm_options::add);
    fs::permissions(station_.job_folder(), fs::perms::all);
    const pid_t pid = start_running();
    ASSERT_GT(pid, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(2000));  // as above

    // Cyan in the half written first, black in the half written after the pause.
    test_support::PrnBuilder prn(284, 144);
    prn.width_dots(1134)
        .solid(PRN_PLANE_CYAN, 0, 72, 0, 1134)
        .solid(PRN_PLANE_BLACK, 72, 72, 0, 1134);
    const std::string bytes = prn.bytes();
    const std::size_t half = kPrnHeaderSize + std::size_t{72} * 284 * kPrnPlaneCount;
    const fs::path job = station_.job_folder() / "theirs.prn";
    OtherAccountWriter writer(other, job);
    ASSERT_TRUE(writer.write(bytes.substr(0, half)));
    ASSERT_TRUE(wait_for(pid, [&] {
        std::error_code error;
        return fs::file_size(job, error) == half;
    }));
    // 3 s of real time is 150 s of program time: ample for a job taken too early to print.
    std::this_thread::sleep_for(std::chrono::milliseconds(3000));
    EXPECT_FALSE(fs::exists(capture / "sheet-000.png")) << "printed while half written";

    ASSERT_TRUE(writer.write(bytes.substr(half)));
    ASSERT_EQ(writer.finish(), 0);
    ASSERT_TRUE(wait_for(pid, [&] { return fs::exists(capture / "sheet-000.json"); }))
        << "not printed once whole";
    const std::string sheet = test_support::read_file(capture / "sheet-000.json");
    EXPECT_GT(sheet_dots(sheet, 1), 0) << "no black: the second half was not printed\n" << sheet;
    EXPECT_GT(sheet_dots(sheet, 2), 0) << sheet;
    EXPECT_NE(sheet.find("\"cut_off\":false"), std::string::npos) << sheet;
    EXPECT_FALSE(fs::exists(capture / "sheet-001.json")) << "printed twice";
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

// On a desktop with a tray the window hides to its icon: Esc and the caption's own close hide it
// (not minimised), the icon's left button shows it again in front and not kept above the other
// windows, and hides it while it is shown, minimised ones included. The menu is the icon's: a
// right click on the window opens none. The program runs on throughout.
TEST_F(RunningProgram, OnADesktopWithATrayTheWindowHidesToItsIconAndComesBack) {
    START_DESKTOP_OR_SKIP();
    test_support::XDesktop& desktop = *desktop_;
    ASSERT_TRUE(desktop.start_tray());
    const Started program(start_running());
    const pid_t pid = program.pid();
    ASSERT_GT(pid, 0);

    const std::uint32_t window = wait_for_main_window(pid, desktop);
    ASSERT_NE(window, 0u) << "the window did not show";
    const auto icon = wait_for_tray_icon(pid, desktop);
    ASSERT_TRUE(icon) << "no icon in the tray";
    const auto hidden = [&] { return !desktop.is_shown(window) && !desktop.is_minimised(window); };
    const auto shown_in_front = [&] {
        return desktop.is_shown(window) && desktop.active_window() == window;
    };

    EXPECT_FALSE(right_click_opens_a_menu(pid, desktop, window));

    press_escape(desktop, window);
    EXPECT_TRUE(wait_for(pid, hidden)) << "Esc";

    click_icon(desktop, *icon);
    EXPECT_TRUE(wait_for(pid, shown_in_front)) << "icon on the hidden window";
    EXPECT_FALSE(desktop.is_kept_above(window));
    // The shown window's own run does not keep the icon from answering.
    click_icon(desktop, *icon);
    EXPECT_TRUE(wait_for(pid, hidden)) << "icon on the shown window";

    click_icon(desktop, *icon);
    ASSERT_TRUE(wait_for(pid, shown_in_front));
    const auto place = desktop.geometry(window);
    ASSERT_TRUE(place);
    const ui::Rect close = app::MainWindowFrame::close_rect_for(place->width);
    desktop.click(place->x + close.left + close.width() / 2,
                  place->y + close.top + close.height() / 2);
    EXPECT_TRUE(wait_for(pid, hidden)) << "the caption's close";

    // A minimised window is shown, on the task bar: the icon hides it, and brings it back.
    click_icon(desktop, *icon);
    ASSERT_TRUE(wait_for(pid, shown_in_front));
    desktop.minimise(window);
    ASSERT_TRUE(wait_for(pid, [&] { return desktop.is_minimised(window); }));
    click_icon(desktop, *icon);
    EXPECT_TRUE(wait_for(pid, [&] { return !desktop.is_shown(window); }))
        << "icon on the minimised window";
    click_icon(desktop, *icon);
    EXPECT_TRUE(wait_for(pid, [&] { return shown_in_front() && !desktop.is_minimised(window); }));
    EXPECT_TRUE(running(pid));
}

// A tray that comes after the program (a panel that starts later than a session's autostart)
// gets the icon, and from then on the window hides to it instead of minimising; until then a
// right click on the window opens the tray's menu.
TEST_F(RunningProgram, ATrayThatComesAfterTheStartGetsTheIcon) {
    START_DESKTOP_OR_SKIP();
    const Started program(start_running());
    const pid_t pid = program.pid();
    ASSERT_GT(pid, 0);
    const std::uint32_t window = wait_for_main_window(pid, *desktop_);
    ASSERT_NE(window, 0u) << "the window did not show";
    EXPECT_TRUE(right_click_opens_a_menu(pid, *desktop_, window)) << "without a tray";
    press_escape(*desktop_, window);
    EXPECT_TRUE(wait_for(pid, [&] { return desktop_->is_minimised(window); }))
        << "without a tray Esc minimises";

    ASSERT_TRUE(desktop_->start_tray());
    const auto icon = wait_for_tray_icon(pid, *desktop_);
    ASSERT_TRUE(icon) << "no icon in the tray that came later";
    // Minimised is shown: the first click hides the window, the next brings it back.
    click_icon(*desktop_, *icon);
    EXPECT_TRUE(wait_for(pid, [&] { return !desktop_->is_shown(window); }));
    click_icon(*desktop_, *icon);
    ASSERT_TRUE(wait_for(pid, [&] {
        return desktop_->is_shown(window) && desktop_->active_window() == window;
    })) << "the icon did not bring the window back";
    EXPECT_FALSE(right_click_opens_a_menu(pid, *desktop_, window)) << "with the tray";
    press_escape(*desktop_, window);
    EXPECT_TRUE(wait_for(pid, [&] {
        return !desktop_->is_shown(window) && !desktop_->is_minimised(window);
    })) << "with the tray Esc hides";
    EXPECT_TRUE(running(pid));
}

// A tray that goes away after the icon was added (a panel that crashes) leaves no icon to click:
// until a tray comes back, Esc minimises the window and a right click on it opens the menu;
// with the tray back the icon is there again and Esc hides to it.
TEST_F(RunningProgram, ATrayThatGoesAwayIsNoTrayUntilOneComesBack) {
    START_DESKTOP_OR_SKIP();
    test_support::XDesktop& desktop = *desktop_;
    ASSERT_TRUE(desktop.start_tray());
    const Started program(start_running());
    const pid_t pid = program.pid();
    ASSERT_GT(pid, 0);
    const std::uint32_t window = wait_for_main_window(pid, desktop);
    ASSERT_NE(window, 0u) << "the window did not show";
    ASSERT_TRUE(wait_for_tray_icon(pid, desktop)) << "no icon in the tray";

    desktop.stop_tray();
    EXPECT_TRUE(right_click_opens_a_menu(pid, desktop, window)) << "with the tray gone";
    press_escape(desktop, window);
    EXPECT_TRUE(wait_for(pid, [&] { return desktop.is_minimised(window); }))
        << "with the tray gone Esc minimises";

    ASSERT_TRUE(desktop.start_tray());
    const auto icon = wait_for_tray_icon(pid, desktop);
    ASSERT_TRUE(icon) << "no icon in the tray that came back";
    click_icon(desktop, *icon);
    EXPECT_TRUE(wait_for(pid, [&] { return !desktop.is_shown(window); }));
    click_icon(desktop, *icon);
    ASSERT_TRUE(wait_for(
        pid, [&] { return desktop.is_shown(window) && desktop.active_window() == window; }));
    press_escape(desktop, window);
    EXPECT_TRUE(wait_for(pid, [&] {
        return !desktop.is_shown(window) && !desktop.is_minimised(window);
    })) << "with the tray back Esc hides";
    EXPECT_TRUE(running(pid));
}

// A second program on the same folders but under another runtime folder is not stopped by the
// single-instance name: it finds the folders in use, says so in a box and ends, leaving the job
// folder as it was (its start-up scan would delete what is not a print file).
TEST_F(RunningProgram, ASecondProgramOnTheSameFoldersEndsWithoutTouchingThem) {
    START_DESKTOP_OR_SKIP();
    const fs::path before = station_.job_folder() / "before.txt";
    test_support::write_file(before, "");
    const Started first(start_running());
    ASSERT_GT(first.pid(), 0);
    // The first program's own scan is done once it has taken this file.
    ASSERT_TRUE(wait_for(first.pid(), [&] { return !fs::exists(before); }));
    const fs::path stray = station_.job_folder() / "notes.txt";
    const fs::path empty_folder = station_.job_folder() / "empty";
    test_support::write_file(stray, "");
    fs::create_directory(empty_folder);

    const fs::path other_runtime = station_.system_drive().parent_path() / "run-2";
    fs::create_directory(other_runtime);
    ::chmod(other_runtime.c_str(), 0700);
    test_support::ScopedEnv runtime("XDG_RUNTIME_DIR", other_runtime.c_str());
    const Started second(start_program());
    ASSERT_GT(second.pid(), 0);
    // Its box, the one window it shows, answered as the operator would.
    std::uint32_t box = 0;
    ASSERT_TRUE(wait_for(second.pid(), [&] {
        for (const platform::TopWindow& top : platform::top_level_windows()) {
            if (top.pid == second.pid() && desktop_->is_shown(top.id)) {
                box = top.id;
            }
        }
        return box != 0;
    })) << "the second program showed no box";
    desktop_->xdotool({"windowactivate", "--sync", std::to_string(box)});
    desktop_->xdotool({"key", "Return"});
    EXPECT_EQ(wait_for_end(second.pid()), 0);
    EXPECT_TRUE(fs::exists(stray));
    EXPECT_TRUE(fs::is_directory(empty_folder));
    EXPECT_TRUE(running(first.pid()));
}

// Without a window system it can use the program says in one line what is missing and how to
// run it without a window, and ends with a failure status, having made nothing: whatever the
// platform hints say (a Wayland session, a Wayland display, X asked for with options, a list).
TEST_F(RunningProgram, WithoutAWindowSystemItSaysSoInOneLineAndEnds) {
    fs::create_directory(runtime());
    ::chmod(runtime().c_str(), 0700);
    const fs::path said = station_.system_drive().parent_path() / "stderr";
    const struct {
        const char* display;
        const char* platform;
        const char* wayland_display;
        const char* session;
    } cases[] = {
        {nullptr, nullptr, nullptr, nullptr},
        {":999", nullptr, nullptr, nullptr},
        {nullptr, nullptr, nullptr, "wayland"},
        {nullptr, nullptr, "wayland-velquorin-test", nullptr},
        {nullptr, "xcb:nomitshm", nullptr, nullptr},
        {":999", "xcb:nomitshm;xcb", nullptr, nullptr},
        {nullptr, "wayland;xcb", "wayland-velquorin-test", "wayland"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("DISPLAY ") + (c.display ? c.display : "unset") +
                     ", QT_QPA_PLATFORM " + (c.platform ? c.platform : "unset") +
                     ", WAYLAND_DISPLAY " + (c.wayland_display ? c.wayland_display : "unset") +
                     ", XDG_SESSION_TYPE " + (c.session ? c.session : "unset"));
        test_support::ScopedEnv display_env("DISPLAY", c.display);
        test_support::ScopedEnv platform_env("QT_QPA_PLATFORM", c.platform);
        test_support::ScopedEnv wayland_env("WAYLAND_DISPLAY", c.wayland_display);
        test_support::ScopedEnv session_env("XDG_SESSION_TYPE", c.session);
        const pid_t pid = start_program(said);
        ASSERT_GT(pid, 0);
        EXPECT_EQ(wait_for_end(pid), 1);
        const std::string text = test_support::read_file(said);
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
        EXPECT_NE(text.find("QT_QPA_PLATFORM=offscreen"), std::string::npos) << text;
        EXPECT_NE(text.find(c.display != nullptr ? c.display : "DISPLAY is not set"),
                  std::string::npos)
            << text;
        EXPECT_TRUE(fs::is_empty(runtime()));
        EXPECT_FALSE(fs::exists(station_.system_drive() / "MTOutput"));
    }
}

}  // namespace
