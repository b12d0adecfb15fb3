// A virtual printer's delivery and the collector's sweep at the same moment. The collector
// deletes every file in a hot folder that is no PDF once nothing writes it, and a delivery is
// such a file, under its hidden temporary name, until it is renamed to its PDF name: a sweep at
// the very moment of that rename must leave it alone. The test program's own renameat2 stands in
// front of the system's (a program's definitions come before a shared library's) and, once
// asked to, runs a sweep first.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <string>

#include "collector_folders.h"
#include "config/program_globals.h"
#include "engine/monitoring_thread.h"
#include "jobs/virtual_hot_folder_collector.h"
#include "message_box_recorder.h"
#include "pdf_backend/hot_folder_delivery.h"
#include "platform/file_handle.h"
#include "temp_dir.h"
#include "usb/driver/sim/bus.h"

namespace {

// The collector that sweeps at the next rename, once.
std::atomic<VirtualHotFolderCollector*> g_sweep_at_next_rename{nullptr};

}  // namespace

extern "C" int renameat2(int from_folder, const char* from, int to_folder, const char* to,
                         unsigned int flags) {
    using Call = int (*)(int, const char*, int, const char*, unsigned int);
    static const auto real = reinterpret_cast<Call>(::dlsym(RTLD_NEXT, "renameat2"));
    if (VirtualHotFolderCollector* collector = g_sweep_at_next_rename.exchange(nullptr)) {
        collector->sweep();
    }
    return real(from_folder, from, to_folder, to, flags);
}

namespace {

namespace fs = std::filesystem;

TEST(CollectorAndDelivery, ASweepAtTheMomentADeliveryGetsItsNameLeavesItWhole) {
    const test_support::CollectorFolders folders;
    const test_support::TempDir& dir = folders.dir();
    test_support::MessageBoxRecorder boxes;
    const fs::path hot = fs::path(g_settings_root) / "VirtualHotFolder" / "kcmy";
    const std::string pdf = "%PDF-1.4\nthe job's pages\n%%EOF\n";
    test_support::write_file(dir / "job", pdf);

    usb::sim::Bus bus;
    Monitoring_thread worker(&bus);
    VirtualHotFolderCollector collector(worker);
    collector.sweep();  // the folders watched from here on, as the running program has them
    const platform::FileHandle folder(::open(hot.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    const platform::FileHandle input(::open((dir / "job").c_str(), O_RDONLY | O_CLOEXEC));
    ASSERT_TRUE(folder.is_open() && input.is_open());
    g_sweep_at_next_rename = &collector;
    const pdf_backend::Delivery delivery =
        pdf_backend::deliver_pdf(folder.get(), "Raced.pdf", input.get());
    EXPECT_EQ(g_sweep_at_next_rename.exchange(nullptr), nullptr) << "no sweep ran at the rename";
    EXPECT_EQ(delivery.state, pdf_backend::DeliveryState::Done) << delivery.error;

    collector.sweep();
    EXPECT_EQ(test_support::read_file(fs::path(g_spool_folder) / "Raced.pdf"), pdf);
    EXPECT_TRUE(fs::is_empty(hot));
    EXPECT_TRUE(boxes.texts().empty());
}

}  // namespace
