#include "platform/write_watch.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "platform/clock.h"
#include "platform/file_handle.h"
#include "platform/files.h"
#include "temp_dir.h"

namespace {

namespace fs = std::filesystem;
using platform::WriteActivity;
using test_support::TempDir;
using test_support::write_file;

class WriteWatchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        watch_ = platform::WriteWatch::create();
        ASSERT_TRUE(watch_);
        write_file(dir_ / "before.prn", "there before the watch");
        ASSERT_TRUE(watch_->watch_tree(dir_.path()));
    }

    WriteActivity activity(const fs::path& file) { return watch_->activity(file); }

    TempDir dir_;
    std::unique_ptr<platform::WriteWatch> watch_;
};

platform::FileHandle open_for_writing(const fs::path& file, int flags = O_CREAT) {
    return platform::FileHandle(::open(file.c_str(), O_WRONLY | O_CLOEXEC | flags, 0644));
}

void write_to(const platform::FileHandle& fd, const char* bytes) {
    ASSERT_EQ(::write(fd.get(), bytes, std::strlen(bytes)),
              static_cast<ssize_t>(std::strlen(bytes)));
}

// A file made while watched is being written from its creation until its writer closes it,
// through every pause of the writer, and again whenever it is opened and written anew.
TEST_F(WriteWatchTest, AFileMadeWhileWatchedIsWrittenUntilItsWriterClosesIt) {
    const fs::path file = dir_ / "job.prn";
    {
        const platform::FileHandle fd = open_for_writing(file);
        ASSERT_TRUE(fd.is_open());
        EXPECT_EQ(activity(file), WriteActivity::Writing);  // made, nothing written yet
        write_to(fd, "header");
        EXPECT_EQ(activity(file), WriteActivity::Writing);
    }
    EXPECT_EQ(activity(file), WriteActivity::Closed);
    // Reads, ours or anyone's, change nothing once they are closed.
    EXPECT_TRUE(platform::read_regular_file(file));
    EXPECT_EQ(activity(file), WriteActivity::Closed);
    {
        const platform::FileHandle reader = platform::open_regular_file(file);
        EXPECT_EQ(activity(file), WriteActivity::Writing);  // an open handle may still write
    }
    {
        const platform::FileHandle fd = open_for_writing(file, O_APPEND);
        EXPECT_EQ(activity(file), WriteActivity::Writing);
        write_to(fd, " and more");
    }
    EXPECT_EQ(activity(file), WriteActivity::Closed);
    ASSERT_TRUE(platform::delete_file(file));
    EXPECT_EQ(activity(file), WriteActivity::Unknown);
}

// A file moved in by a rename was written elsewhere: it is done, unless it is written again.
// One that was there before the watch is not known, even once read, and is written while a
// writer has it open.
TEST_F(WriteWatchTest, AMovedInFileIsDoneAndAFileFromBeforeIsUnknown) {
    const fs::path hidden = dir_ / ".part";
    const fs::path file = dir_ / "moved.pdf";
    const platform::FileHandle fd = open_for_writing(hidden);
    write_to(fd, "%PDF-1.7 whole");
    ASSERT_EQ(::fsync(fd.get()), 0);
    ASSERT_TRUE(platform::move_file(hidden, file));
    EXPECT_EQ(activity(file), WriteActivity::Closed);
    EXPECT_EQ(activity(hidden), WriteActivity::Unknown);
    write_to(fd, " and a late write through the handle it was written by");
    EXPECT_EQ(activity(file), WriteActivity::Writing);

    const fs::path before = dir_ / "before.prn";
    EXPECT_EQ(activity(before), WriteActivity::Unknown);
    EXPECT_TRUE(platform::read_regular_file(before));
    EXPECT_EQ(activity(before), WriteActivity::Unknown);
    {
        const platform::FileHandle writer = open_for_writing(before, O_APPEND);
        EXPECT_EQ(activity(before), WriteActivity::Writing);
    }
    EXPECT_EQ(activity(before), WriteActivity::Unknown);
}

// Folders made in the tree later are watched as they come; a queue that overflowed leaves
// nothing known.
TEST_F(WriteWatchTest, NewFoldersAreWatchedAndAnOverflowForgetsEverything) {
    ASSERT_TRUE(platform::create_folder(dir_ / "2026-12-11-0"));
    // Its own watch comes when its creation is read, as any question reads it; what it got
    // before that is not known (the quiet time decides for such files).
    EXPECT_EQ(activity(dir_ / "2026-12-11-0" / "early.prn"), WriteActivity::Unknown);
    const fs::path file = dir_ / "2026-12-11-0" / "imported.prn";
    {
        const platform::FileHandle fd = open_for_writing(file);
        write_to(fd, "x");
        EXPECT_EQ(activity(file), WriteActivity::Writing);
    }
    EXPECT_EQ(activity(file), WriteActivity::Closed);

    // More events than the kernel queues (16384 by default) before anyone reads them.
    const fs::path busy = dir_ / "busy.prn";
    write_file(busy, "b");
    for (int i = 0; i < 20000; ++i) {
        const platform::FileHandle reader = platform::open_regular_file(busy);
    }
    EXPECT_EQ(activity(file), WriteActivity::Unknown);
}

// What the file itself tells wins; where it cannot tell, the folder's notifications decide;
// where those know nothing, the file must stay unchanged for the quiet time.
TEST(FinishedFilesTest, TheFileFirstThenItsFolderThenAQuietTime) {
    TempDir dir;
    write_file(dir / "before.prn", "old");
    auto watch = platform::WriteWatch::create();
    ASSERT_TRUE(watch && watch->watch_tree(dir.path()));
    platform::Writers told = platform::Writers::Unknown;
    platform::FinishedFiles finished(watch.get(), 10'000, [&](const fs::path&) { return told; });

    const fs::path made = dir / "made.prn";
    const platform::FileHandle fd = open_for_writing(made);
    told = platform::Writers::None;
    EXPECT_TRUE(finished.finished(made));
    told = platform::Writers::Some;
    EXPECT_FALSE(finished.finished(dir / "before.prn"));
    told = platform::Writers::Unknown;
    EXPECT_FALSE(finished.finished(made));

    const fs::path before = dir / "before.prn";
    platform::set_tick_count(1000);
    EXPECT_FALSE(finished.finished(before));
    platform::set_tick_count(1000 + 9'000);
    EXPECT_FALSE(finished.finished(before));
    // A change starts the quiet time again, even one closed after writing: the file is from
    // before the watch, and a writer that opened it then may still hold it.
    write_file(before, "changed");
    const std::uint32_t asked_from = platform::tick_count();
    EXPECT_FALSE(finished.finished(before));
    // The clock runs on between the calls (on a loaded machine by more than a millisecond): the
    // change was seen at some tick from asked_from to seen_by.
    const std::uint32_t seen_by = platform::tick_count();
    platform::set_tick_count(asked_from + 9'000);
    EXPECT_FALSE(finished.finished(before));
    platform::set_tick_count(seen_by + 10'000);
    EXPECT_TRUE(finished.finished(before));
    EXPECT_TRUE(finished.finished(before));  // and stays so while unchanged
    EXPECT_FALSE(finished.finished(dir / "missing.prn"));
}

TEST(WriterScan, ProcessTablesThatHideOtherUsersCountAsNotFullySeen) {
    for (const char* hiding : {"rw,hidepid=2", "rw,hidepid=invisible", "rw,gid=5,hidepid=4"}) {
        EXPECT_TRUE(platform::files_detail::mount_options_hide_processes(hiding)) << hiding;
    }
    for (const char* open : {"rw", "rw,hidepid=0", "rw,hidepid=1", "rw,hidepid=noaccess"}) {
        EXPECT_FALSE(platform::files_detail::mount_options_hide_processes(open)) << open;
    }
}

}  // namespace
