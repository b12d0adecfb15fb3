#include "inherited_descriptors.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

#include "platform/process.h"
#include "temp_dir.h"

namespace test_support {

DescriptorSet open_descriptors() {
    DescriptorSet open;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        const std::string name = entry.path().filename().string();
        if (std::stoi(name) <= 2) {
            continue;
        }
        std::error_code gone;
        const std::filesystem::path target = std::filesystem::read_symlink(entry.path(), gone);
        // The listing's own descriptor is gone by the time it is looked at.
        if (!gone) {
            open.insert(name + " " + target.string());
        }
    }
    return open;
}

DescriptorSet descriptors_a_started_program_inherits() {
    const TempDir dir;
    const std::filesystem::path list = dir / "inherited";
    const platform::StartResult started = platform::start_process(
        VELQUORIN_DESCRIPTOR_LISTER, {VELQUORIN_DESCRIPTOR_LISTER, list.string()});
    EXPECT_TRUE(started.started()) << "the descriptor lister could not be started";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (started.started() && !std::filesystem::exists(list) &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    DescriptorSet inherited;
    std::istringstream lines(read_file(list));
    for (std::string line; std::getline(lines, line);) {
        inherited.insert(line);
    }
    EXPECT_TRUE(std::filesystem::exists(list)) << "the descriptor lister did not answer";
    return inherited;
}

}  // namespace test_support
