// The collector's copies reach the disk before their source is deleted: a power loss right after
// a sweep must not leave an empty or cut-short PDF in the spool folder as the only copy. The
// test program's own fsync and unlink stand in front of the system's (a program's definitions
// come before a shared library's) and note, while a test asks them to, what was flushed and
// what deleted, in order.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "collector_folders.h"
#include "config/program_globals.h"
#include "engine/monitoring_thread.h"
#include "jobs/virtual_hot_folder_collector.h"
#include "message_box_recorder.h"
#include "temp_dir.h"
#include "usb/driver/sim/bus.h"

namespace {

struct FileEvent {
    bool flushed = false;  // a flush, or else a deletion
    dev_t device = 0;
    ino_t inode = 0;
};

std::atomic<bool> g_noting{false};
std::mutex g_events_mutex;
std::vector<FileEvent> g_events;

void note(bool flushed, const struct stat& info) {
    const std::lock_guard lock(g_events_mutex);
    g_events.push_back({flushed, info.st_dev, info.st_ino});
}

template <typename Call>
Call next_definition(const char* name) {
    return reinterpret_cast<Call>(::dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" int fsync(int fd) {
    static const auto real = next_definition<int (*)(int)>("fsync");
    struct stat info {};
    if (g_noting && ::fstat(fd, &info) == 0) {
        note(true, info);
    }
    return real(fd);
}

extern "C" int unlink(const char* path) {
    static const auto real = next_definition<int (*)(const char*)>("unlink");
    struct stat info {};
    if (g_noting && ::lstat(path, &info) == 0) {
        note(false, info);
    }
    return real(path);
}

namespace {

namespace fs = std::filesystem;

struct Identity {
    dev_t device = 0;
    ino_t inode = 0;
};

Identity identity_of(const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return {info.st_dev, info.st_ino};
}

// The place of the first event of a kind on a file in the noted order, or the event count.
std::size_t first(bool flushed, const Identity& file) {
    for (std::size_t i = 0; i < g_events.size(); ++i) {
        if (g_events[i].flushed == flushed && g_events[i].device == file.device &&
            g_events[i].inode == file.inode) {
            return i;
        }
    }
    return g_events.size();
}

TEST(CollectorFlush, TheCopiesAndTheirNamesAreOnTheDiskBeforeTheSourceIsDeleted) {
    const test_support::CollectorFolders folders;
    test_support::MessageBoxRecorder boxes;
    const fs::path source = fs::path(g_settings_root) / "VirtualHotFolder" / "kcmy" / "Poster.pdf";
    test_support::write_file(source, "%PDF-1.4 the only copy");
    const Identity source_file = identity_of(source);

    usb::sim::Bus bus;
    Monitoring_thread worker(&bus);
    VirtualHotFolderCollector collector(worker);
    g_noting = true;
    collector.sweep();
    g_noting = false;

    ASSERT_FALSE(fs::exists(source));
    const std::size_t deleted = first(false, source_file);
    ASSERT_LT(deleted, g_events.size()) << "the source was not deleted";
    for (const char* name : {"Poster.pdf", "Poster.ini", ""}) {
        SCOPED_TRACE(*name != '\0' ? name : "the spool folder");
        EXPECT_LT(first(true, identity_of(fs::path(g_spool_folder) / name)), deleted);
    }
}

}  // namespace
