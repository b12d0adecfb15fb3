#include "platform/files.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstring>
#include <functional>
#include <iterator>
#include <string>
#include <thread>

#include "fifo.h"
#include "platform/thread.h"
#include "temp_dir.h"
#include "test_processes.h"

namespace {

using test_support::read_file;
using test_support::TempDir;
using test_support::write_file;

void set_mtime(const std::filesystem::path& path, time_t when) {
    const struct timespec times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

time_t mtime_of(const std::filesystem::path& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0);
    return info.st_mtime;
}

TEST(Files, SearchKindsAndSingleLevelFolders) {
    TempDir dir;
    write_file(dir / "job.prn", "x");
    std::filesystem::create_symlink(dir / "gone", dir / "dangling");

    EXPECT_TRUE(platform::exists(dir / "job.prn"));
    EXPECT_TRUE(platform::exists(dir.path()));
    EXPECT_TRUE(platform::exists(dir / "dangling"));
    EXPECT_FALSE(platform::exists(dir / "missing"));
    EXPECT_TRUE(platform::is_directory(dir.path()));
    EXPECT_FALSE(platform::is_directory(dir / "job.prn"));

    // Single level: no parents are made; an existing folder is no error; a file in the way is.
    EXPECT_FALSE(platform::create_folder(dir / "a" / "b"));
    EXPECT_FALSE(platform::exists(dir / "a"));
    EXPECT_TRUE(platform::create_folder(dir / "a"));
    EXPECT_TRUE(platform::create_folder(dir / "a"));
    EXPECT_TRUE(platform::create_folder(dir / "a" / "b"));
    EXPECT_FALSE(platform::create_folder(dir / "job.prn"));

    EXPECT_FALSE(platform::delete_file(dir / "a"));
    EXPECT_FALSE(platform::remove_empty_folder(dir / "a"));
    EXPECT_TRUE(platform::remove_empty_folder(dir / "a" / "b"));
    EXPECT_TRUE(platform::remove_empty_folder(dir / "a"));
    EXPECT_TRUE(platform::delete_file(dir / "job.prn"));
    EXPECT_FALSE(platform::delete_file(dir / "job.prn"));
}

TEST(Files, CopyRefusesOrReplacesAndKeepsTheWriteTime) {
    TempDir dir;
    const auto source = dir / "source.prn";
    write_file(source, "new contents");
    set_mtime(source, 1'500'000'000);
    write_file(dir / "taken.prn", "old");
    std::filesystem::create_directory(dir / "folder");

    EXPECT_FALSE(platform::copy_file(source, dir / "taken.prn", platform::CopyMode::FailIfExists));
    EXPECT_EQ(read_file(dir / "taken.prn"), "old");
    EXPECT_TRUE(platform::copy_file(source, dir / "taken.prn", platform::CopyMode::Overwrite));
    EXPECT_EQ(read_file(dir / "taken.prn"), "new contents");
    EXPECT_TRUE(platform::copy_file(source, dir / "fresh.prn", platform::CopyMode::FailIfExists));
    EXPECT_EQ(read_file(dir / "fresh.prn"), "new contents");
    EXPECT_EQ(mtime_of(dir / "fresh.prn"), 1'500'000'000);
    EXPECT_EQ(mtime_of(dir / "taken.prn"), 1'500'000'000);

    // A copy onto itself must not truncate the one file; folders and missing sources fail.
    EXPECT_FALSE(platform::copy_file(source, source, platform::CopyMode::Overwrite));
    EXPECT_EQ(read_file(source), "new contents");
    EXPECT_FALSE(platform::copy_file(source, dir / "folder", platform::CopyMode::Overwrite));
    EXPECT_FALSE(platform::copy_file(dir / "folder", dir / "x", platform::CopyMode::Overwrite));
    EXPECT_FALSE(platform::copy_file(dir / "missing", dir / "x", platform::CopyMode::Overwrite));
    EXPECT_FALSE(platform::exists(dir / "x"));
}

// Whatever stands at the target's name other than a file is replaced by the copy itself:
// nothing is written through a link into what it leads to, and no pipe is waited on.
TEST(Files, CopyNeverWritesThroughTheTargetsName) {
    TempDir dir;
    write_file(dir / "source.pdf", "pdf");
    write_file(dir / "elsewhere.ini", "kept");
    std::filesystem::create_symlink(dir / "elsewhere.ini", dir / "link.ini");
    std::filesystem::create_symlink(dir / "gone", dir / "dangling.ini");
    test_support::make_fifo(dir / "pipe.ini");
    for (const char* name : {"link.ini", "dangling.ini", "pipe.ini"}) {
        bool copied = false;
        EXPECT_TRUE(test_support::ends_without_waiting_on({dir / "pipe.ini"}, [&] {
            copied =
                platform::copy_file(dir / "source.pdf", dir / name, platform::CopyMode::Overwrite);
        })) << name;
        EXPECT_TRUE(copied) << name;
        EXPECT_FALSE(std::filesystem::is_symlink(dir / name)) << name;
        EXPECT_EQ(read_file(dir / name), "pdf") << name;
    }
    EXPECT_EQ(read_file(dir / "elsewhere.ini"), "kept");
    EXPECT_FALSE(platform::exists(dir / "gone"));

    // A link at the source's name is refused when it is not to be followed.
    std::filesystem::create_symlink(dir / "source.pdf", dir / "linked.pdf");
    EXPECT_FALSE(platform::copy_file(dir / "linked.pdf", dir / "a.pdf",
                                     platform::CopyMode::Overwrite, platform::Links::NotFollowed));
    EXPECT_TRUE(
        platform::copy_file(dir / "linked.pdf", dir / "b.pdf", platform::CopyMode::Overwrite));
    EXPECT_FALSE(platform::exists(dir / "a.pdf"));
}

TEST(Files, MoveIsARenameThatNeverReplaces) {
    TempDir dir;
    write_file(dir / "a.prn", "a");
    write_file(dir / "b.prn", "b");
    EXPECT_FALSE(platform::move_file(dir / "a.prn", dir / "b.prn"));
    EXPECT_EQ(read_file(dir / "b.prn"), "b");
    EXPECT_TRUE(platform::move_file(dir / "a.prn", dir / "c.prn"));
    EXPECT_FALSE(platform::exists(dir / "a.prn"));
    EXPECT_EQ(read_file(dir / "c.prn"), "a");
    EXPECT_FALSE(platform::move_file(dir / "missing", dir / "d.prn"));
}

// Between file systems the move copies, flushes and deletes; what it cannot move stays where
// it was, with nothing left at the target.
TEST(Files, MoveAcrossFileSystemsCopiesThenDeletesAndNeverReplaces) {
    TempDir here;
    TempDir there(test_support::another_file_system());
    write_file(here / "a.prn", "a");
    set_mtime(here / "a.prn", 1'600'000'000);
    EXPECT_FALSE(platform::move_file(here / "a.prn", there / "a.prn"));
    ASSERT_TRUE(platform::move_file_across(here / "a.prn", there / "a.prn"));
    EXPECT_FALSE(platform::exists(here / "a.prn"));
    EXPECT_EQ(read_file(there / "a.prn"), "a");
    EXPECT_EQ(mtime_of(there / "a.prn"), 1'600'000'000);

    write_file(here / "b.prn", "b");
    EXPECT_FALSE(platform::move_file_across(here / "b.prn", there / "a.prn"));  // taken
    EXPECT_FALSE(platform::move_file_across(here / "b.prn", there / "gone" / "b.prn"));
    EXPECT_EQ(read_file(here / "b.prn"), "b");
    EXPECT_EQ(read_file(there / "a.prn"), "a");
    EXPECT_FALSE(platform::exists(there / "gone"));
    // Within one file system it is the rename.
    EXPECT_TRUE(platform::move_file_across(here / "b.prn", here / "c.prn"));
    EXPECT_EQ(read_file(here / "c.prn"), "b");
    EXPECT_FALSE(platform::exists(here / "b.prn"));
}

// A move across file systems that is cut off in the middle of its copy leaves the file where it
// was and nothing at its new name (at most a temporary file that is never a job); the next move
// of it goes through.
TEST(Files, AMoveKilledMidCopyLeavesNothingAtItsNameAndTheNextMoveSucceeds) {
    TempDir here;
    TempDir there(test_support::another_file_system());
    const std::string bytes(8 << 20, 'x');
    write_file(here / "job.prn", bytes);
    ASSERT_EQ(
        test_support::killed_past_file_size(
            1 << 20, [&] { platform::move_file_across(here / "job.prn", there / "job.prn"); }),
        SIGXFSZ);
    EXPECT_FALSE(platform::exists(there / "job.prn"));
    EXPECT_EQ(platform::file_size(here / "job.prn"), bytes.size());
    const auto left = platform::list_folder(there.path());
    ASSERT_TRUE(left);
    for (const platform::FolderEntry& entry : *left) {
        EXPECT_TRUE(platform::is_partial_copy_name(entry.name)) << entry.name;
    }

    ASSERT_TRUE(platform::move_file_across(here / "job.prn", there / "job.prn"));
    EXPECT_EQ(read_file(there / "job.prn"), bytes);
    EXPECT_FALSE(platform::exists(here / "job.prn"));
}

// A copy put into place is never seen at its name before it is whole, in the folder it lands
// in or across file systems; a taken name is refused and left as it was, and nothing of the copy
// stays behind, its temporary file included.
TEST(Files, CopyIntoPlaceShowsOnlyAWholeFileAtItsName) {
    for (const bool across : {false, true}) {
        SCOPED_TRACE(across ? "across file systems" : "one file system");
        TempDir here;
        TempDir there = across ? TempDir(test_support::another_file_system()) : TempDir();
        const std::string bytes(48 << 20, 'x');
        write_file(here / "big.prn", bytes);
        set_mtime(here / "big.prn", 1'600'000'000);

        std::atomic<bool> done{false};
        std::atomic<bool> cut_short_seen{false};
        std::thread watcher([&] {
            while (!done) {
                struct stat info {};
                if (::stat((there / "big.prn").c_str(), &info) == 0 &&
                    static_cast<std::size_t>(info.st_size) != bytes.size()) {
                    cut_short_seen = true;
                }
            }
        });
        const bool copied = platform::copy_file_into_place(here / "big.prn", there / "big.prn");
        done = true;
        watcher.join();
        ASSERT_TRUE(copied);
        EXPECT_FALSE(cut_short_seen);
        EXPECT_EQ(mtime_of(there / "big.prn"), 1'600'000'000);

        write_file(here / "small.prn", "new");
        EXPECT_FALSE(platform::copy_file_into_place(here / "small.prn", there / "big.prn"));
        EXPECT_FALSE(platform::copy_file_into_place(here / "small.prn", there / "gone" / "a.prn"));
        EXPECT_FALSE(platform::copy_file_into_place(here / "missing", there / "b.prn"));
        EXPECT_EQ(platform::file_size(there / "big.prn"), bytes.size());
        const auto left = platform::list_folder(there.path());
        ASSERT_TRUE(left);
        ASSERT_EQ(left->size(), 1U);
        EXPECT_EQ(left->front().name, "big.prn");
    }
    EXPECT_TRUE(platform::is_partial_copy_name(".velquorin-copy-12-3"));
    EXPECT_FALSE(platform::is_partial_copy_name("job.prn"));
}

TEST(Files, ReplaceContentsIsWholeOrNothing) {
    TempDir dir;
    const auto file = dir / "kcmy.ini";
    ASSERT_TRUE(platform::replace_file_contents(file, "first"));
    ::chmod(file.c_str(), 0640);
    ASSERT_TRUE(platform::replace_file_contents(file, "second"));
    EXPECT_EQ(read_file(file), "second");
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);

    // Through a link the target is replaced and the link stays.
    std::filesystem::create_symlink(file, dir / "link.ini");
    ASSERT_TRUE(platform::replace_file_contents(dir / "link.ini", "third"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.ini"));
    EXPECT_EQ(read_file(file), "third");

    // At its own name the link itself is replaced, its target left as it was; so is a pipe,
    // which nothing waits on.
    std::filesystem::create_symlink(file, dir / "own.ini");
    test_support::make_fifo(dir / "pipe.ini");
    for (const char* name : {"own.ini", "pipe.ini"}) {
        EXPECT_TRUE(
            platform::replace_file_contents(dir / name, "fourth", platform::Links::NotFollowed))
            << name;
        EXPECT_FALSE(std::filesystem::is_symlink(dir / name)) << name;
        EXPECT_EQ(read_file(dir / name), "fourth") << name;
    }
    EXPECT_EQ(read_file(file), "third");

    std::filesystem::create_directory(dir / "folder");
    for (const auto links : {platform::Links::Followed, platform::Links::NotFollowed}) {
        EXPECT_FALSE(platform::replace_file_contents(dir / "folder", "x", links));
        EXPECT_FALSE(platform::replace_file_contents(dir / "missing" / "a.ini", "x", links));
    }
    EXPECT_EQ(platform::list_folder(dir.path())->size(), 5u);  // no temporary left behind
}

// Every file the program only reads is opened by one function: a regular file, through a link
// or not, and nothing else, without waiting and close-on-exec.
TEST(Files, OpenRegularFileTakesOnlyARegularFileAndNeverWaits) {
    TempDir dir;
    write_file(dir / "job.prn", "job");
    std::filesystem::create_symlink(dir / "job.prn", dir / "link.prn");
    test_support::make_fifo(dir / "pipe.prn");
    std::filesystem::create_symlink(dir / "pipe.prn", dir / "link-to-pipe.prn");
    std::filesystem::create_symlink("/dev/zero", dir / "device.prn");
    std::filesystem::create_symlink(dir / "gone", dir / "dangling.prn");
    std::filesystem::create_directory(dir / "folder.prn");
    using platform::Links;
    const struct {
        const char* name;
        bool followed;      // opens with Links::Followed
        bool not_followed;  // opens with Links::NotFollowed
    } cases[] = {
        {"job.prn", true, true},      {"link.prn", true, false},
        {"pipe.prn", false, false},   {"link-to-pipe.prn", false, false},
        {"device.prn", false, false}, {"dangling.prn", false, false},
        {"folder.prn", false, false}, {"missing.prn", false, false},
    };
    for (const auto& c : cases) {
        for (const Links links : {Links::Followed, Links::NotFollowed}) {
            platform::FileHandle file;
            EXPECT_TRUE(test_support::ends_without_waiting_on({dir / "pipe.prn"}, [&] {
                file = platform::open_regular_file(dir / c.name, links);
            })) << c.name;
            EXPECT_EQ(file.is_open(), links == Links::Followed ? c.followed : c.not_followed)
                << c.name;
            if (file.is_open()) {
                EXPECT_NE(::fcntl(file.get(), F_GETFD) & FD_CLOEXEC, 0) << c.name;
                char byte = 0;
                EXPECT_EQ(::read(file.get(), &byte, 1), 1);
                EXPECT_EQ(byte, 'j');
            }
        }
    }
}

// What a name leads to is looked at once: a link swapped to a pipe (or a device) after the look
// and before the open is never opened, so nothing of what it leads to runs or waits.
TEST(Files, OpenRegularFileNeverOpensWhatALinkIsSwappedToAfterTheLook) {
    TempDir dir;
    write_file(dir / "job.prn", "job");
    test_support::make_fifo(dir / "pipe");
    const std::filesystem::path link = dir / "link.prn";
    std::filesystem::create_symlink(dir / "job.prn", link);
    const platform::FileHandle opens(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    ASSERT_TRUE(opens.is_open());
    ASSERT_GE(::inotify_add_watch(opens.get(), dir.path().c_str(), IN_OPEN), 0);
    platform::file_handle_detail::set_between_look_and_open([&](const std::filesystem::path&) {
        std::filesystem::remove(link);
        std::filesystem::create_symlink(dir / "pipe", link);
    });
    platform::FileHandle file;
    EXPECT_TRUE(test_support::ends_without_waiting_on(
        {dir / "pipe"}, [&] { file = platform::open_regular_file(link); }));
    platform::file_handle_detail::set_between_look_and_open({});
    // The file that was looked at is the one read, or none at all.
    if (file.is_open()) {
        char byte = 0;
        EXPECT_EQ(::read(file.get(), &byte, 1), 1);
        EXPECT_EQ(byte, 'j');
    }
    alignas(inotify_event) char events[4096];
    const ssize_t got = ::read(opens.get(), events, sizeof events);
    for (ssize_t at = 0; at < got;) {
        inotify_event event{};
        std::memcpy(&event, events + at, sizeof event);
        if (event.len > 0) {
            EXPECT_STRNE(events + at + sizeof event, "pipe") << "the pipe was opened";
        }
        at += static_cast<ssize_t>(sizeof event + event.len);
    }
}

TEST(Files, ListingGivesNamesAndFolderFlags) {
    TempDir dir;
    write_file(dir / "one.prn", "");
    std::filesystem::create_directory(dir / "sub");
    std::filesystem::create_directory_symlink(dir / "sub", dir / "loop");

    auto entries = platform::list_folder(dir.path());
    ASSERT_TRUE(entries.has_value());
    std::sort(entries->begin(), entries->end(),
              [](const auto& a, const auto& b) { return a.name < b.name; });
    ASSERT_EQ(entries->size(), 3u);
    EXPECT_EQ((*entries)[0].name, "loop");
    EXPECT_FALSE((*entries)[0].is_folder);  // a link is never walked into
    EXPECT_EQ((*entries)[1].name, "one.prn");
    EXPECT_FALSE((*entries)[1].is_folder);
    EXPECT_EQ((*entries)[2].name, "sub");
    EXPECT_TRUE((*entries)[2].is_folder);

    EXPECT_FALSE(platform::list_folder(dir / "missing").has_value());

    // A read that fails is no end of the folder: nothing is listed.
    platform::files_detail::fail_listing_reads(1);
    errno = 0;
    EXPECT_FALSE(platform::list_folder(dir.path()).has_value());
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(platform::list_folder(dir.path())->size(), 3u);
}

TEST(Files, SizeAndLocalWriteTime) {
    TempDir dir;
    write_file(dir / "job.prn", std::string(1234, 'x'));
    const time_t when = 1'600'000'000;
    set_mtime(dir / "job.prn", when);
    struct tm expected {};
    localtime_r(&when, &expected);

    const auto time = platform::last_write_time(dir / "job.prn");
    ASSERT_TRUE(time.has_value());
    EXPECT_EQ(time->year, expected.tm_year + 1900);
    EXPECT_EQ(time->month, expected.tm_mon + 1);
    EXPECT_EQ(time->day, expected.tm_mday);
    EXPECT_EQ(time->hour, expected.tm_hour);
    EXPECT_EQ(time->minute, expected.tm_min);
    EXPECT_EQ(time->second, expected.tm_sec);
    EXPECT_EQ(platform::file_size(dir / "job.prn"), 1234u);
    EXPECT_FALSE(platform::file_size(dir.path()).has_value());
    EXPECT_FALSE(platform::last_write_time(dir / "missing").has_value());
}

// Both ways of answering: the lease, and the process-table scan used where no lease can be had.
struct ExclusiveCase {
    const char* name;
    std::function<bool(const std::filesystem::path&)> answer;
};

bool scan_answer(const std::filesystem::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return false;
    }
    return !platform::files_detail::scan_for_writers(info.st_dev, info.st_ino).writer_found;
}

class ExclusiveOpen : public ::testing::TestWithParam<ExclusiveCase> {
  protected:
    bool answer() { return GetParam().answer(file); }
    TempDir dir;
    std::filesystem::path file = dir / "job.prn";
    void SetUp() override { write_file(file, "data"); }
};

TEST_P(ExclusiveOpen, AWriterOfThisProcessMakesItFalseUntilClosed) {
    EXPECT_TRUE(answer());
    const int reader = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    EXPECT_TRUE(answer()) << "readers do not count";
    const int writer = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    EXPECT_FALSE(answer());
    ::close(writer);
    EXPECT_TRUE(answer());
    ::close(reader);
}

TEST_P(ExclusiveOpen, AWriterOnAnotherThreadMakesItFalseUntilClosed) {
    platform::Event opened;
    platform::Event release;
    platform::Event closed;
    std::thread writer([&] {
        const int fd = ::open(file.c_str(), O_RDWR | O_CLOEXEC);
        opened.set();
        release.wait();
        ::close(fd);
        closed.set();
    });
    opened.wait();
    EXPECT_FALSE(answer());
    release.set();
    closed.wait();
    EXPECT_TRUE(answer());
    writer.join();
}

TEST_P(ExclusiveOpen, AWriterInAnotherProcessMakesItFalseUntilItEnds) {
    int to_child[2];
    int from_child[2];
    ASSERT_EQ(::pipe(to_child), 0);
    ASSERT_EQ(::pipe(from_child), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int fd = ::open(file.c_str(), O_WRONLY);
        char byte = fd >= 0 ? '1' : '0';
        (void)!::write(from_child[1], &byte, 1);
        (void)!::read(to_child[0], &byte, 1);
        ::_exit(0);
    }
    char byte = 0;
    ASSERT_EQ(::read(from_child[0], &byte, 1), 1);
    ASSERT_EQ(byte, '1');
    EXPECT_FALSE(answer());
    ASSERT_EQ(::write(to_child[1], "x", 1), 1);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(answer());
    for (int fd : {to_child[0], to_child[1], from_child[0], from_child[1]}) {
        ::close(fd);
    }
}

INSTANTIATE_TEST_SUITE_P(Files, ExclusiveOpen,
                         ::testing::Values(ExclusiveCase{"Lease", platform::writer_ruled_out},
                                           ExclusiveCase{"ProcessScan", scan_answer}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Files, ExclusiveOpenOfMissingFilesAndFoldersIsFalse) {
    TempDir dir;
    EXPECT_FALSE(platform::writer_ruled_out(dir / "missing"));
    EXPECT_FALSE(platform::writer_ruled_out(dir.path()));
}

// The process table as a non-root user sees it: processes of other users cannot be looked
// into. The scan says so, and only the strict question then answers "still written".
TEST(Files, AWriterHiddenAmongProcessesThatCannotBeSeenIsNeverRuledOut) {
    TempDir dir;
    write_file(dir / "job.pdf", "data");
    struct stat file {};
    ASSERT_EQ(::stat((dir / "job.pdf").c_str(), &file), 0);
    const std::filesystem::path proc = dir / "proc";
    const auto process = [&](const char* pid) {
        std::filesystem::create_directories(proc / pid / "fdinfo");
        return proc / pid;
    };
    std::filesystem::create_directories(proc / "self");        // not a process: no digits
    process("100");                                            // ended meanwhile: no fd folder
    std::filesystem::create_directory(process("101") / "fd");  // sees nothing of ours
    auto scan = platform::files_detail::scan_for_writers(file.st_dev, file.st_ino, proc);
    EXPECT_FALSE(scan.writer_found);
    EXPECT_TRUE(scan.all_seen);

    write_file(process("102") / "fd", "");  // another user's: its descriptors stay hidden
    scan = platform::files_detail::scan_for_writers(file.st_dev, file.st_ino, proc);
    EXPECT_FALSE(scan.writer_found);
    EXPECT_FALSE(scan.all_seen);

    std::filesystem::create_directory(process("103") / "fd");
    std::filesystem::create_symlink(dir / "job.pdf", proc / "103" / "fd" / "4");
    write_file(proc / "103" / "fdinfo" / "4", "pos:\t0\nflags:\t0100001\n");
    scan = platform::files_detail::scan_for_writers(file.st_dev, file.st_ino, proc);
    EXPECT_TRUE(scan.writer_found);
    EXPECT_FALSE(
        platform::files_detail::scan_for_writers(file.st_dev, file.st_ino, dir / "none").all_seen);
}

// A process table mounted to hide other users' processes lists only this user's, every one of
// which can be looked into: the scan finds no writer there and must still not call the table
// fully seen. Root sees every process whatever the mount says, so root plays a user who is not
// root ("nobody") in a child of its own.
TEST(Files, AProcessTableThatHidesOtherUsersIsNeverFullySeen) {
    TempDir dir;
    ::chmod(dir.path().c_str(), 0755);
    write_file(dir / "job.prn", "data");
    struct stat file {};
    ASSERT_EQ(::stat((dir / "job.prn").c_str(), &file), 0);
    // One process, whose descriptors this user may look into and which writes nothing.
    const std::filesystem::path proc = dir / "proc";
    std::filesystem::create_directories(proc / "200" / "fd");
    std::filesystem::create_directories(proc / "200" / "fdinfo");
    const std::string point = std::filesystem::weakly_canonical(proc).string();
    const struct {
        const char* name;
        std::string line;
        bool all_seen;
    } cases[] = {
        {"hidepid=2", "24 1 0:22 / " + point + " rw,relatime - proc proc rw,hidepid=2", false},
        {"invisible, with optional fields",
         "24 1 0:22 / " + point + " rw shared:12 master:1 - proc proc rw,hidepid=invisible", false},
        {"no hidepid", "24 1 0:22 / " + point + " rw - proc proc rw", true},
        {"hidepid=1 (the scan sees the hidden descriptors itself)",
         "24 1 0:22 / " + point + " rw - proc proc rw,hidepid=1", true},
        {"another mount point", "24 1 0:22 / /elsewhere rw - proc proc rw,hidepid=2", true},
        {"no process table", "24 1 0:22 / " + point + " rw - tmpfs tmpfs rw,hidepid=2", true},
    };
    // Written before the look, which may then be a user who can write nothing here.
    const auto mountinfo = [&](std::size_t i) { return dir / ("mountinfo-" + std::to_string(i)); };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        write_file(mountinfo(i), "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n" + cases[i].line + "\n");
        ::chmod(mountinfo(i).c_str(), 0644);
    }
    const auto mismatches = [&] {
        std::string wrong;
        for (std::size_t i = 0; i < std::size(cases); ++i) {
            const platform::files_detail::WriterScan scan =
                platform::files_detail::scan_for_writers(file.st_dev, file.st_ino, proc,
                                                         mountinfo(i));
            if (scan.writer_found || scan.all_seen != cases[i].all_seen) {
                wrong += std::string(cases[i].name) + "; ";
            }
        }
        return wrong;
    };
    if (::geteuid() != 0) {
        EXPECT_EQ(mismatches(), "");
        return;
    }
    EXPECT_TRUE(
        platform::files_detail::scan_for_writers(file.st_dev, file.st_ino, proc, mountinfo(0))
            .all_seen)
        << "root sees every process";
    int report[2];
    ASSERT_EQ(::pipe(report), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(report[0]);
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) {
            ::_exit(100);
        }
        const std::string wrong = mismatches();
        (void)!::write(report[1], wrong.data(), wrong.size());
        ::_exit(0);
    }
    ::close(report[1]);
    std::string wrong;
    char buffer[256];
    for (ssize_t got; (got = ::read(report[0], buffer, sizeof buffer)) > 0;) {
        wrong.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(report[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(wrong, "") << "wrong for these mounts";
}

// A file of another user: no lease for this user, and that user's processes out of sight, so a
// writer of it cannot be ruled out. Root, who sees everything, plays such a user in a child of
// its own.
TEST(Files, AnotherUsersFileIsNotRuledOutByOneWhoCannotSeeThatUsersProcesses) {
    TempDir dir;
    const std::filesystem::path file = dir / "theirs.pdf";
    write_file(file, "data");
    ::chmod(file.c_str(), 0644);
    ::chmod(dir.path().c_str(), 0711);
    const auto answer = [&](const std::filesystem::path& path) {
        return static_cast<int>(platform::writers_of(path));
    };
    const int unknown = static_cast<int>(platform::Writers::Unknown);
    if (::getuid() != 0) {
        // Any file of root's that this user may read stands for the other user's.
        EXPECT_EQ(answer("/etc/passwd"), unknown);
        EXPECT_FALSE(platform::writer_ruled_out("/etc/passwd"));
        return;
    }
    EXPECT_TRUE(platform::writer_ruled_out(file)) << "root sees every process";
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) {
            ::_exit(100);
        }
        ::_exit(answer(file));
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), unknown);
}

}  // namespace
