#include "app/startup_checks.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "app/single_instance.h"
#include "config/program_globals.h"
#include "fifo.h"
#include "message_box_recorder.h"
#include "resource_use.h"
#include "workstation_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using test_support::MessageBoxRecorder;
using test_support::Workstation;
using test_support::write_file;

struct BrokenWorkstation {
    const char* name;
    std::function<void(const Workstation&)> break_it;
    std::string message;
};

void PrintTo(const BrokenWorkstation& c, std::ostream* out) {
    *out << c.name;
}

class StartupChecks : public ::testing::TestWithParam<BrokenWorkstation> {
  protected:
    Workstation station;
    MessageBoxRecorder boxes;
};

TEST_P(StartupChecks, OneBoxListsTheProblemsAndTheWindowEnds) {
    GetParam().break_it(station);
    const auto result = app::check_workstation();
    EXPECT_FALSE(result.can_start());
    EXPECT_EQ(result.message, GetParam().message);
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.boxes()[0].text, GetParam().message);
    EXPECT_EQ(boxes.boxes()[0].buttons, platform::ui::Buttons::Ok);
    EXPECT_EQ(app::kStartupFailedEndCode, 0);
}

const std::string kNotFound(app::kHotfpathNotFound);
const std::string kConfig(app::kHotfpathConfigError);
const std::string kJob = std::string(app::kJobFolderError) + "\n";
const std::string kSpool = std::string(app::kSpoolFolderError) + "\n";
const std::string kPrinted = std::string(app::kPrintedFolderError) + "\n";
const std::string kSetting = std::string(app::kSettingFileError) + "\n";

INSTANTIATE_TEST_SUITE_P(
    EachCheck, StartupChecks,
    ::testing::Values(
        BrokenWorkstation{"NoHotfpath", [](auto& s) { fs::remove(s.hotfpath()); }, kNotFound},
        BrokenWorkstation{"HotfpathIsAFolder",
                          [](auto& s) {
                              fs::remove(s.hotfpath());
                              fs::create_directory(s.hotfpath());
                          },
                          kNotFound},
        BrokenWorkstation{
            "OneLineHotfpath",
            [](auto& s) { write_file(s.hotfpath(), s.spool_folder().string() + "\r\n"); }, kConfig},
        BrokenWorkstation{
            "EmptyFirstLine",
            [](auto& s) { write_file(s.hotfpath(), "\r\n" + s.job_folder().string() + "\r\n"); },
            kConfig},
        BrokenWorkstation{"EmptyHotfpath", [](auto& s) { write_file(s.hotfpath(), ""); }, kConfig},
        // The file's problem is reported alone, even with every folder missing too.
        BrokenWorkstation{"NoHotfpathHidesFolders",
                          [](auto& s) {
                              fs::remove(s.hotfpath());
                              fs::remove(s.job_folder());
                          },
                          kNotFound},
        BrokenWorkstation{"NoJobFolder", [](auto& s) { fs::remove(s.job_folder()); }, kJob},
        BrokenWorkstation{"NoSpoolFolder", [](auto& s) { fs::remove(s.spool_folder()); }, kSpool},
        BrokenWorkstation{"NoPrintedFolder", [](auto& s) { fs::remove(s.printed_folder()); },
                          kPrinted},
        BrokenWorkstation{"NoJobAndSpoolFolders",
                          [](auto& s) {
                              fs::remove(s.spool_folder());
                              fs::remove(s.job_folder());
                          },
                          kJob + kSpool},
        BrokenWorkstation{"NoFolders",
                          [](auto& s) {
                              fs::remove(s.spool_folder());
                              fs::remove(s.job_folder());
                              fs::remove(s.printed_folder());
                          },
                          kJob + kSpool + kPrinted},
        BrokenWorkstation{"NoSettingsFile", [](auto& s) { fs::remove(s.settings_file()); },
                          kSetting},
        // With a folder missing the settings file is not looked at.
        BrokenWorkstation{"MissingFolderHidesSettingsFile",
                          [](auto& s) {
                              fs::remove(s.settings_file());
                              fs::remove(s.spool_folder());
                          },
                          kSpool},
        // The settings root follows the local application-data folder.
        BrokenWorkstation{"NoSettingsRoot", [](auto& s) { fs::remove_all(s.settings_root()); },
                          kPrinted},
        // A folder line holding a NUL names no folder: the text before it must not pass.
        BrokenWorkstation{"NulInTheJobFolderLine",
                          [](auto& s) {
                              write_file(s.hotfpath(), s.spool_folder().string() + "\r\n" +
                                                           s.job_folder().string() + "\0x\r\n"s);
                          },
                          kJob},
        BrokenWorkstation{"NulInTheSpoolFolderLine",
                          [](auto& s) {
                              write_file(s.hotfpath(), s.spool_folder().string() + "\0\r\n"s +
                                                           s.job_folder().string() + "\r\n");
                          },
                          kSpool}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StartupChecksSuccess, GlobalsAreSetAndNoBoxIsShown) {
    Workstation station;
    MessageBoxRecorder boxes;
    const auto result = app::check_workstation();
    EXPECT_TRUE(result.can_start());
    EXPECT_EQ(boxes.count(), 0u);
    EXPECT_EQ(g_settings_root, station.settings_root().string());
    EXPECT_EQ(g_settings_dir, station.settings_root().string() + "/");
    EXPECT_EQ(g_printed_folder, station.printed_folder().string());
    EXPECT_EQ(g_spool_folder, station.spool_folder().string());
    EXPECT_EQ(g_job_folder, station.job_folder().string());
}

TEST(StartupChecksSuccess, LinesAreTakenAsTheyStand) {
    Workstation station;
    MessageBoxRecorder boxes;
    const fs::path spool = station.spool_folder().string() + " ";
    fs::create_directory(spool);
    // Only line ends are removed (a blank at the end stays part of the name); plain line ends
    // and further lines are fine, and so is a last line without a line end.
    write_file(station.hotfpath(),
               spool.string() + "\n" + station.job_folder().string() + "\nignored\n");
    ASSERT_TRUE(app::check_workstation().can_start());
    EXPECT_EQ(g_spool_folder, spool.string());
    EXPECT_EQ(g_job_folder, station.job_folder().string());
    write_file(station.hotfpath(),
               station.spool_folder().string() + "\r\n" + station.job_folder().string());
    ASSERT_TRUE(app::check_workstation().can_start());
    EXPECT_EQ(g_job_folder, station.job_folder().string());
    // Separators at the end of the job folder go: job paths are the folder, one separator and
    // the name, whoever builds them.
    write_file(station.hotfpath(),
               station.spool_folder().string() + "\r\n" + station.job_folder().string() + "//");
    ASSERT_TRUE(app::check_workstation().can_start());
    EXPECT_EQ(g_job_folder, station.job_folder().string());
    EXPECT_EQ(boxes.count(), 0u);
}

// The start-up scan deletes every file below the job folder that is not a job or its preview:
// a job folder that is the root or the home folder, or holds the settings or the spool folder,
// is refused by name, with everything in it left alone.
TEST(StartupChecksJobFolder, AFolderWhoseScanWouldDeleteTheOperatorsFilesIsRefused) {
    Workstation station;
    const fs::path top = station.spool_folder().parent_path();  // holds the spool and the settings
    const fs::path home = top / "home";
    fs::create_directories(home / "jobs");
    fs::create_directories(station.settings_root() / "jobs");
    fs::create_directory_symlink(station.settings_root(), top / "link");
    test_support::ScopedEnv home_env("HOME", home.c_str());
    struct Case {
        const char* name;
        std::string job_folder;
        bool refused;
    };
    const Case cases[] = {
        {"the root", "/", true},
        {"the home folder", home.string(), true},
        {"the home folder, spelt with a dot", (home / ".").string(), true},
        {"the settings root", station.settings_root().string(), true},
        {"the settings root through a link", (top / "link").string(), true},
        {"above the settings root", station.settings_root().parent_path().string(), true},
        {"the spool folder", station.spool_folder().string(), true},
        {"a folder in the settings root", (station.settings_root() / "jobs").string(), true},
        {"the printed-jobs folder", station.printed_folder().string(), true},
        {"above the spool folder, with ..", (home / "..").string(), true},
        {"a folder in the home folder", (home / "jobs").string(), false},
        {"the installed job folder", station.job_folder().string(), false},
    };
    for (const Case& c : cases) {
        MessageBoxRecorder boxes;
        write_file(station.hotfpath(),
                   station.spool_folder().string() + "\r\n" + c.job_folder + "\r\n");
        const auto result = app::check_workstation();
        const std::string expected =
            c.refused ? app::job_folder_not_allowed(g_job_folder) + "\n" : std::string();
        EXPECT_EQ(result.message, expected) << c.name;
        EXPECT_EQ(boxes.count(), c.refused ? 1u : 0u) << c.name;
    }
    EXPECT_EQ(app::job_folder_not_allowed("/srv/jobs"),
              "<Output folder error: /srv/jobs is or holds the home, system drive, settings, spool "
              "or instance folder, or lies in the settings folder>");
}

// Nor may the scan reach the program's own files: the system drive's "hotfpath.ini",
// "MTOutput" and the designer, or the running program's lock and socket in the instance folder
// (the runtime folder, or /tmp/velquorin-<uid> without one, so /tmp itself is refused then).
TEST(StartupChecksJobFolder, AFolderThatIsOrHoldsTheSystemDriveOrTheInstanceFolderIsRefused) {
    Workstation station;
    const fs::path top = station.spool_folder().parent_path();
    const fs::path drive = top / "outer" / "drive_c";
    const fs::path runtime = top / "session" / "run";
    fs::create_directories(drive / "jobs");
    fs::create_directories(runtime);
    fs::permissions(runtime, fs::perms::owner_all);
    fs::create_directories(top / "session" / "jobs");
    fs::copy_file(station.hotfpath(), drive / "hotfpath.ini");
    test_support::ScopedEnv drive_env("VELQUORIN_SYSTEM_DRIVE", drive.c_str());
    test_support::ScopedEnv runtime_env("XDG_RUNTIME_DIR", runtime.c_str());
    ASSERT_EQ(app::instance_folder_location(), runtime);
    const struct {
        const char* name;
        fs::path job_folder;
        bool refused;
    } cases[] = {
        {"the system drive", drive, true},
        {"above the system drive", drive.parent_path(), true},
        {"a folder on the system drive", drive / "jobs", false},
        {"the instance folder", runtime, true},
        {"above the instance folder", runtime.parent_path(), true},
        {"beside the instance folder", top / "session" / "jobs", false},
    };
    for (const auto& c : cases) {
        MessageBoxRecorder boxes;
        write_file(drive / "hotfpath.ini",
                   station.spool_folder().string() + "\r\n" + c.job_folder.string() + "\r\n");
        const auto result = app::check_workstation();
        EXPECT_EQ(result.message,
                  c.refused ? app::job_folder_not_allowed(c.job_folder.string()) + "\n" : "")
            << c.name;
    }
    test_support::ScopedEnv no_runtime("XDG_RUNTIME_DIR", "");
    EXPECT_EQ(app::instance_folder_location(),
              fs::path("/tmp") / ("velquorin-" + std::to_string(::geteuid())));
}

// The collector empties the virtual printers' hot folders into the spool folder: a spool folder
// among them would be emptied into itself every second, so it is refused by name.
TEST(StartupChecksSpoolFolder, ASpoolFolderInTheHotFoldersIsRefused) {
    Workstation station;
    const fs::path hot = station.settings_root() / "VirtualHotFolder";
    fs::create_directories(hot / "kcmy" / "spool");
    fs::create_directory_symlink(hot / "kcmy", station.spool_folder().parent_path() / "kcmy-link");
    struct Case {
        const char* name;
        fs::path spool_folder;
        bool refused;
    };
    const Case cases[] = {
        {"the hot folders' root", hot, true},
        {"a layout's hot folder", hot / "kcmy", true},
        {"a folder in a hot folder", hot / "kcmy" / "spool", true},
        {"a hot folder through a link", station.spool_folder().parent_path() / "kcmy-link", true},
        {"the settings root", station.settings_root(), false},
        {"the installed spool folder", station.spool_folder(), false},
    };
    for (const Case& c : cases) {
        MessageBoxRecorder boxes;
        write_file(station.hotfpath(),
                   c.spool_folder.string() + "\r\n" + station.job_folder().string() + "\r\n");
        const auto result = app::check_workstation();
        const std::string expected =
            c.refused ? app::spool_folder_not_allowed(c.spool_folder.string()) + "\n" : "";
        EXPECT_EQ(result.message, expected) << c.name;
        EXPECT_EQ(boxes.count(), c.refused ? 1u : 0u) << c.name;
    }
    EXPECT_EQ(app::spool_folder_not_allowed("/srv/spool"),
              "<IMAGESPOOL folder error: /srv/spool lies in the virtual printers' hot folders>");
}

// Written by another editor: a byte-order mark in front, lines ended by CR alone. A pipe in its
// place is not waited for: it is a file that is not there.
TEST(StartupChecksSuccess, HotfpathFromAnyEditorAndNoWaitOnAPipe) {
    Workstation station;
    const std::string spool = station.spool_folder().string();
    const std::string jobs = station.job_folder().string();
    for (const std::string& content :
         {"\xEF\xBB\xBF" + spool + "\r\n" + jobs + "\r\n", spool + "\r" + jobs + "\r",
          "\xEF\xBB\xBF" + spool + "\r" + jobs}) {
        MessageBoxRecorder boxes;
        write_file(station.hotfpath(), content);
        EXPECT_TRUE(app::check_workstation().can_start()) << content;
        EXPECT_EQ(g_spool_folder, spool);
        EXPECT_EQ(g_job_folder, jobs);
    }

    MessageBoxRecorder boxes;
    fs::remove(station.hotfpath());
    test_support::make_fifo(station.hotfpath());
    app::StartupCheckResult result;
    EXPECT_TRUE(test_support::ends_without_waiting_on({station.hotfpath()},
                                                      [&] { result = app::check_workstation(); }));
    EXPECT_EQ(result.message, app::kHotfpathNotFound);
}

// "hotfpath.ini" is read no further than its two lines: megabytes after them cost nothing,
// and a first line of megabytes names no folder and is told as the missing spool folder.
TEST(StartupChecksSuccess, HotfpathIsReadNoFurtherThanItsTwoLines) {
    Workstation station;
    MessageBoxRecorder boxes;
    const std::string padding(8u << 20, 'x');
    write_file(station.hotfpath(), station.spool_folder().string() + "\r\n" +
                                       station.job_folder().string() + "\r\n" + padding);
    app::StartupCheckResult result;
    const std::uint64_t read =
        test_support::bytes_read_by([&] { result = app::check_workstation(); });
    EXPECT_TRUE(result.can_start());
    EXPECT_EQ(g_job_folder, station.job_folder().string());
    EXPECT_LT(read, 1u << 20);

    write_file(station.hotfpath(), padding + "\r\n" + station.job_folder().string() + "\r\n");
    EXPECT_FALSE(app::check_workstation().can_start());
    EXPECT_LT(g_spool_folder.size(), 70000u);
}

TEST(StartupChecksSuccess, ModelFolders) {
    EXPECT_EQ(model_folder("Orvel"), "Orvel");
    EXPECT_EQ(model_folder("Q800X"), "NorvaxelQ800X");
    EXPECT_EQ(model_folder("Vexa4"), "NorvaxelVexa4");
    EXPECT_EQ(model_folder("Q400"), "NorvaxelQ400Ltx");
    EXPECT_EQ(model_folder(""), "NorvaxelQ400Ltx");
}

TEST(StartupChecksSuccess, RootHasNoDoubledSeparator) {
    test_support::ScopedEnv data("XDG_DATA_HOME", "/srv/data//");
    app::set_settings_root();
    EXPECT_EQ(g_settings_root, "/srv/data/NorvaxelQ800X");
    EXPECT_EQ(g_settings_dir, "/srv/data/NorvaxelQ800X/");
    g_settings_root.clear();
    g_settings_dir.clear();
}

}  // namespace
