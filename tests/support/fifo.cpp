#include "fifo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>

namespace test_support {

void make_fifo(const std::filesystem::path& path) {
    if (::mkfifo(path.c_str(), 0600) != 0) {
        throw std::runtime_error("cannot make a pipe at " + path.string());
    }
}

UnreadableNames make_unreadable_names(const std::filesystem::path& folder,
                                      const std::string& extension) {
    UnreadableNames made;
    const std::filesystem::path pipe = folder / ("pipe" + extension);
    make_fifo(pipe);
    made.fifos.push_back(pipe);
    made.names.push_back(pipe);
    made.names.push_back(folder / ("link-to-pipe" + extension));
    std::filesystem::create_symlink(pipe, made.names.back());
    made.names.push_back(folder / ("device" + extension));
    std::filesystem::create_symlink("/dev/zero", made.names.back());
    return made;
}

PipeReleaser::PipeReleaser(std::vector<std::filesystem::path> fifos) : fifos_(std::move(fifos)) {
    thread_ = std::thread([this] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!done_ && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        while (!done_) {
            released_ = true;
            // A writer's open releases a reader waiting in its open; its close ends the
            // reader's read with the end of the file. A reader's open releases a writer, whose
            // few bytes it takes.
            for (const std::filesystem::path& fifo : fifos_) {
                const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                if (writer >= 0) {
                    ::close(writer);
                }
                const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
                if (reader >= 0) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                    char bytes[4096];
                    while (::read(reader, bytes, sizeof bytes) > 0) {
                    }
                    ::close(reader);
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
}

PipeReleaser::~PipeReleaser() {
    done_ = true;
    thread_.join();
}

bool ends_without_waiting_on(const std::vector<std::filesystem::path>& fifos,
                             const std::function<void()>& work) {
    const PipeReleaser releaser(fifos);
    std::thread(work).join();
    return !releaser.released();
}

}  // namespace test_support
