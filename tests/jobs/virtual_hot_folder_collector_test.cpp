#include "jobs/virtual_hot_folder_collector.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>

#include "collector_folders.h"
#include "config/program_globals.h"
#include "engine/monitoring_thread.h"
#include "fifo.h"
#include "jobs/job_intake_roles.h"
#include "message_box_recorder.h"
#include "platform/clock.h"
#include "temp_dir.h"
#include "undeletable_entries.h"
#include "usb/driver/sim/bus.h"

namespace {

namespace fs = std::filesystem;
using test_support::read_file;
using test_support::write_file;
using Names = std::set<std::string>;

class CollectorTest : public ::testing::Test {
  public:
    fs::path hot(const std::string& relative) const {
        return fs::path(g_settings_root) / "VirtualHotFolder" / relative;
    }
    fs::path settings(const std::string& layout) const {
        return fs::path(g_settings_root) / "VirtualPrintingSettings" / (layout + ".ini");
    }
    fs::path spool(const std::string& name) const { return fs::path(g_spool_folder) / name; }
    Names spool_names() const {
        Names names;
        for (const auto& entry : fs::directory_iterator(g_spool_folder)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }
    // A PDF as a virtual printer leaves it: whole, closed.
    void print_pdf(const std::string& relative, const std::string& body = "%PDF-1.4 page") {
        fs::create_directories(hot(relative).parent_path());
        write_file(hot(relative), body);
    }

  protected:
    // The nine hot folders and the eight layouts' settings files, as start-up makes them.
    test_support::CollectorFolders folders_;
    const test_support::TempDir& dir_ = folders_.dir();
    test_support::MessageBoxRecorder boxes_;
    usb::sim::Bus bus_;
    Monitoring_thread worker_{&bus_};
    VirtualHotFolderCollector collector_{worker_};
};

TEST_F(CollectorTest, EachPdfGoesToTheSpoolFolderWithItsLayoutsSettingsFileAndLeavesItsFolder) {
    print_pdf("kcmy/Poster.PDF", "poster");  // the extension in capitals
    print_pdf("vv/menu.v2.pdf", "menu");     // two dots: everything before the last is the title
    print_pdf("wwwwwwww/white.pdf");         // the eight-white layout has no settings file
    print_pdf("kcmy/nested/deep.pdf");       // deeper than a layout folder: no layout
    print_pdf("loose.pdf");                  // in VirtualHotFolder itself: no layout
    fs::create_directory(hot("KCMY"));       // a layout folder's name in other letter case
    print_pdf("KCMY/shout.pdf");

    collector_.sweep();

    EXPECT_EQ(spool_names(), (Names{"Poster.pdf", "Poster.ini", "menu.v2.pdf", "menu.v2.ini",
                                    "white.pdf", "deep.pdf", "loose.pdf", "shout.pdf"}));
    EXPECT_EQ(read_file(spool("Poster.pdf")), "poster");
    EXPECT_EQ(read_file(spool("Poster.ini")), read_file(settings("kcmy")));
    EXPECT_EQ(read_file(spool("menu.v2.ini")), read_file(settings("vv")));
    for (const char* source : {"kcmy/Poster.PDF", "vv/menu.v2.pdf", "wwwwwwww/white.pdf",
                               "kcmy/nested/deep.pdf", "loose.pdf", "KCMY/shout.pdf"}) {
        EXPECT_FALSE(fs::exists(hot(source))) << source;
    }
    // Folders are never deleted.
    EXPECT_TRUE(fs::is_directory(hot("kcmy/nested")));
    EXPECT_TRUE(boxes_.texts().empty());
}

TEST_F(CollectorTest, ATakenTitleGetsANumberInFrontAndAStraySettingsFileIsReplaced) {
    write_file(spool("flyer.ini"), "left behind");
    write_file(settings("wwwwwwww"), "put there by hand");
    for (int copy = 0; copy < 3; ++copy) {
        print_pdf("kcmy/flyer.pdf", "copy " + std::to_string(copy));
        collector_.sweep();
    }
    print_pdf("wwwwwwww/white.pdf");
    collector_.sweep();

    EXPECT_EQ(spool_names(), (Names{"flyer.pdf", "flyer.ini", "1-flyer.pdf", "1-flyer.ini",
                                    "2-flyer.pdf", "2-flyer.ini", "white.pdf", "white.ini"}));
    EXPECT_EQ(read_file(spool("flyer.ini")), read_file(settings("kcmy")));
    EXPECT_EQ(read_file(spool("2-flyer.pdf")), "copy 2");
    EXPECT_EQ(read_file(spool("white.ini")), "put there by hand");
}

TEST_F(CollectorTest, OtherFilesAreDeletedOnceNothingWritesThemAndAPdfBeingWrittenWaits) {
    print_pdf("kcmy/job.ps");
    print_pdf("ww/sub/job.ini");
    print_pdf("notes.txt");
    print_pdf("kcmy/half.pdf", "%PDF");
    print_pdf("wwww/spool.tmp");
    {
        // A virtual printer still writing its PDF and a file of its own.
        std::ofstream writing_pdf(hot("kcmy/half.pdf"), std::ios::app);
        std::ofstream writing_tmp(hot("wwww/spool.tmp"), std::ios::app);
        collector_.sweep();
        EXPECT_TRUE(spool_names().empty());
        EXPECT_TRUE(fs::exists(hot("kcmy/half.pdf")));
        EXPECT_TRUE(fs::exists(hot("wwww/spool.tmp")));
        EXPECT_FALSE(fs::exists(hot("kcmy/job.ps")));
        EXPECT_FALSE(fs::exists(hot("ww/sub/job.ini")));
        EXPECT_FALSE(fs::exists(hot("notes.txt")));
        writing_pdf << " done";
    }
    collector_.sweep();
    EXPECT_EQ(spool_names(), (Names{"half.pdf", "half.ini"}));
    EXPECT_EQ(read_file(spool("half.pdf")), "%PDF done");
    EXPECT_FALSE(fs::exists(hot("wwww/spool.tmp")));
}

// Nothing is followed out of a hot folder and nothing written through a name in the spool
// folder. A link, a pipe or a device in a hot folder is deleted itself, what a link leads to
// left alone; a link or a pipe at a spool name that a PDF's settings copy takes is replaced by
// that file, what a link leads to kept, and no pipe waited on; names the copies do not take
// ("<title>.pdf.part") are left as they are.
TEST_F(CollectorTest, NoLinkInAHotFolderIsFollowedAndNoneInTheSpoolFolderWrittenThrough) {
    write_file(dir_ / "private.pdf", "not for the RIP");
    write_file(dir_ / "other.ini", "another program's file");
    const char* const strays[] = {"kcmy/linked.pdf", "kcmy/linked.txt", "kcmy/pipe.pdf",
                                  "kcmy/device.pdf"};
    fs::create_symlink(dir_ / "private.pdf", hot(strays[0]));
    fs::create_symlink(dir_ / "private.pdf", hot(strays[1]));
    test_support::make_fifo(hot(strays[2]));
    fs::create_symlink("/dev/zero", hot(strays[3]));
    fs::create_symlink(dir_ / "other.ini", spool("flyer.ini"));
    test_support::make_fifo(spool("flyer.pdf.part"));
    test_support::make_fifo(spool("poster.ini"));
    fs::create_symlink(dir_ / "other.ini", spool("poster.pdf.part"));
    print_pdf("kcmy/flyer.pdf", "flyer");
    print_pdf("kcmy/poster.pdf", "poster");
    {
        const test_support::FifoGuard guard(
            {hot(strays[2]), spool("flyer.pdf.part"), spool("poster.ini")});
        collector_.sweep();
        EXPECT_FALSE(guard.released());
    }
    for (const char* stray : strays) {
        EXPECT_FALSE(platform::exists(hot(stray))) << stray;
    }
    EXPECT_EQ(read_file(dir_ / "private.pdf"), "not for the RIP");
    EXPECT_EQ(read_file(dir_ / "other.ini"), "another program's file");
    EXPECT_EQ(spool_names(), (Names{"flyer.pdf", "flyer.ini", "poster.pdf", "poster.ini",
                                    "flyer.pdf.part", "poster.pdf.part"}));
    EXPECT_EQ(platform::entry_status(spool("flyer.pdf.part"))->kind,
              platform::EntryStatus::Kind::Other);
    EXPECT_TRUE(fs::is_symlink(spool("poster.pdf.part")));
    for (const char* name : {"flyer.ini", "poster.ini"}) {
        EXPECT_EQ(platform::entry_status(spool(name))->kind,
                  platform::EntryStatus::Kind::RegularFile)
            << name;
        EXPECT_EQ(read_file(spool(name)), read_file(settings("kcmy"))) << name;
    }
    EXPECT_EQ(read_file(spool("flyer.pdf")), "flyer");
    EXPECT_EQ(read_file(spool("poster.pdf")), "poster");
    EXPECT_TRUE(boxes_.texts().empty());
}

TEST_F(CollectorTest, APdfThatCannotBeHandedOnStaysAndIsToldOfOnce) {
    struct Case {
        const char* name;
        void (*break_it)(CollectorTest&);
        void (*mend_it)(CollectorTest&);
    };
    const Case cases[] = {
        {"spool folder gone", [](CollectorTest& t) { fs::remove(t.spool("")); },
         [](CollectorTest& t) { fs::create_directory(t.spool("")); }},
        // The RIP would take the PDF at once and print it without its settings.
        {"settings file unreadable",
         [](CollectorTest& t) {
             fs::remove(t.settings("kcmy"));
             fs::create_directory(t.settings("kcmy"));
         },
         [](CollectorTest& t) {
             fs::remove(t.settings("kcmy"));
             write_file(t.settings("kcmy"), "kcmy settings");
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test_support::MessageBoxRecorder boxes;
        print_pdf("kcmy/keep.pdf", "only copy");
        c.break_it(*this);
        collector_.sweep();
        collector_.sweep();
        EXPECT_EQ(read_file(hot("kcmy/keep.pdf")), "only copy");
        EXPECT_EQ(boxes.count(), 1u);
        c.mend_it(*this);
        EXPECT_TRUE(spool_names().empty()) << "nothing half handed on";

        collector_.sweep();
        EXPECT_FALSE(fs::exists(hot("kcmy/keep.pdf")));
        EXPECT_EQ(read_file(spool("keep.pdf")), "only copy");
        EXPECT_EQ(read_file(spool("keep.ini")), read_file(settings("kcmy")));
        EXPECT_EQ(boxes.count(), 1u);
        fs::remove(spool("keep.pdf"));
        fs::remove(spool("keep.ini"));
    }
}

TEST_F(CollectorTest, AHandedOnSourceThatCannotBeDeletedIsNotSentAgain) {
    print_pdf("vv/stuck.pdf");
    {
        test_support::UndeletableEntries held(hot("vv"));
        ASSERT_TRUE(held.ok()) << "the file system cannot hold a file in place";
        for (int sweep = 0; sweep < 3; ++sweep) {
            collector_.sweep();
        }
        EXPECT_EQ(spool_names(), (Names{"stuck.pdf", "stuck.ini"}));
        EXPECT_TRUE(fs::exists(hot("vv/stuck.pdf")));
        EXPECT_EQ(boxes_.count(), 1u);
    }
    // Deletable again: it goes, and still only once to the RIP.
    collector_.sweep();
    EXPECT_FALSE(fs::exists(hot("vv/stuck.pdf")));
    EXPECT_EQ(spool_names(), (Names{"stuck.pdf", "stuck.ini"}));
}

TEST_F(CollectorTest, TheRoleCollectsOnItsWorkerAndEndsWhenTheWorkerIsAskedToStop) {
    install_job_intake_roles();
    worker_.start();
    worker_.post(WM_MT_SCAN_VIRTUAL_HOT_FOLDER);
    print_pdf("ww/first.pdf");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline && !fs::exists(spool("first.pdf"))) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(fs::exists(spool("first.ini")));
    EXPECT_TRUE(fs::exists(spool("first.pdf")));
    worker_.stop_and_join();
    Monitoring_thread::set_role_body(WM_MT_SCAN_VIRTUAL_HOT_FOLDER, {});
}

// A hot folder whose writers the file itself cannot tell of (a file system without leases, or a
// process table that hides other users' processes): what the folder's watch is told decides.
// A PDF made while watched is taken once closed after its last write, however long its writer
// pauses, and never half; one moved in whole is taken at once; a file that was there before the
// first sweep waits for the quiet time, longer while it changes; anything else goes once its
// writer has closed it.
TEST_F(CollectorTest, WhereTheFileCannotTellTheWatchDecidesAndNothingIsTakenHalf) {
    VirtualHotFolderCollector collector(worker_,
                                        [](const fs::path&) { return platform::Writers::Unknown; });
    print_pdf("kcmy/old.pdf", "there before");
    print_pdf("ww/changing.pdf", "v1");
    collector.sweep();  // the first: the watch begins
    EXPECT_TRUE(spool_names().empty());

    std::ofstream pdf(hot("kcmy/new.pdf"), std::ios::binary);
    std::ofstream other(hot("wwww/job.tmp"), std::ios::binary);
    pdf << "%PDF-1.4 first half" << std::flush;
    other << "the printer's own file" << std::flush;
    write_file(dir_ / "whole.pdf", "%PDF-1.4 whole");
    fs::rename(dir_ / "whole.pdf", hot("vv/whole.pdf"));
    platform::sleep_ms(kCollectorQuietMs / 2);
    write_file(hot("ww/changing.pdf"), "v2");
    collector.sweep();
    EXPECT_EQ(spool_names(), (Names{"whole.pdf", "whole.ini"}));

    platform::sleep_ms(kCollectorQuietMs * 3 / 4);
    collector.sweep();
    // Past the quiet time: the old PDF goes; the changed one is counted from its change, and
    // the open ones wait for their writers however long they take.
    EXPECT_EQ(spool_names(), (Names{"whole.pdf", "whole.ini", "old.pdf", "old.ini"}));
    EXPECT_TRUE(fs::exists(hot("kcmy/new.pdf")));
    EXPECT_TRUE(fs::exists(hot("wwww/job.tmp")));
    EXPECT_TRUE(fs::exists(hot("ww/changing.pdf")));

    pdf << ", second half" << std::flush;
    pdf.close();
    other.close();
    platform::sleep_ms(kCollectorQuietMs / 2);
    collector.sweep();
    EXPECT_EQ(spool_names(), (Names{"whole.pdf", "whole.ini", "old.pdf", "old.ini", "new.pdf",
                                    "new.ini", "changing.pdf", "changing.ini"}));
    EXPECT_EQ(read_file(spool("new.pdf")), "%PDF-1.4 first half, second half");
    EXPECT_EQ(read_file(spool("changing.pdf")), "v2");
    EXPECT_FALSE(fs::exists(hot("wwww/job.tmp")));
}

// The same as an operator who is not root meets it: a file of another user, whose processes he
// cannot see and on whose files he gets no lease. Root writes into the operator's ("nobody's")
// hot folder while the operator's collector, in a child, sweeps when told. What was there
// before the first sweep waits for the quiet time; what root writes later is taken once root
// has closed it, never half.
TEST_F(CollectorTest, AnotherUsersPdfIsTakenOnceItsWriterClosedItAndNeverHalf) {
    if (::getuid() != 0) {
        GTEST_SKIP() << "only root can make a file of another user in the operator's folder";
    }
    print_pdf("kcmy/theirs.pdf", "there before");
    print_pdf("kcmy/mine.pdf", "whole");
    ::chmod(hot("kcmy/theirs.pdf").c_str(), 0644);
    ::chmod(dir_.path().c_str(), 0711);
    for (const auto& entry : fs::recursive_directory_iterator(dir_.path())) {
        if (entry.path() != hot("kcmy/theirs.pdf")) {
            ASSERT_EQ(::lchown(entry.path().c_str(), 65534, 65534), 0) << entry.path();
        }
    }
    int orders[2];
    int done[2];
    ASSERT_EQ(::pipe(orders), 0);
    ASSERT_EQ(::pipe(done), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(orders[1]);
        ::close(done[0]);
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) {
            ::_exit(100);
        }
        VirtualHotFolderCollector collector(worker_);
        for (char order = 0; ::read(orders[0], &order, 1) == 1 && order == 's';) {
            collector.sweep();
            if (::write(done[1], "d", 1) != 1) {
                ::_exit(101);
            }
        }
        ::_exit(0);
    }
    ::close(orders[0]);
    ::close(done[1]);
    const auto sweep = [&] {
        char reply = 0;
        ASSERT_EQ(::write(orders[1], "s", 1), 1);
        ASSERT_EQ(::read(done[0], &reply, 1), 1);
    };
    sweep();
    EXPECT_EQ(spool_names(), (Names{"mine.pdf", "mine.ini"}));

    {
        std::ofstream late(hot("kcmy/late.pdf"), std::ios::binary);
        ::chmod(hot("kcmy/late.pdf").c_str(), 0644);
        std::ofstream part(hot("kcmy/late.part"), std::ios::binary);
        late << "%PDF-1.4 half" << std::flush;
        part << "a printer's own file" << std::flush;
        platform::sleep_ms(kCollectorQuietMs * 3 / 2);
        sweep();
        EXPECT_EQ(spool_names(), (Names{"mine.pdf", "mine.ini", "theirs.pdf", "theirs.ini"}));
        EXPECT_TRUE(fs::exists(hot("kcmy/late.part")));
        late << " and the rest";
    }
    sweep();
    ::close(orders[1]);
    ::close(done[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(spool_names(),
              (Names{"mine.pdf", "mine.ini", "theirs.pdf", "theirs.ini", "late.pdf", "late.ini"}));
    EXPECT_EQ(read_file(spool("late.pdf")), "%PDF-1.4 half and the rest");
    EXPECT_EQ(read_file(spool("theirs.pdf")), "there before");
    EXPECT_FALSE(fs::exists(hot("kcmy/late.part")));
}

}  // namespace
