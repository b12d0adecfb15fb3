#include "fifo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>

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

bool ends_without_waiting_on(const std::vector<std::filesystem::path>& fifos,
                             const std::function<void()>& work) {
    FifoGuard guard(fifos);
    std::thread runner(work);
    runner.join();
    return !guard.released();
}

FifoGuard::FifoGuard(std::vector<std::filesystem::path> fifos) : fifos_(std::move(fifos)) {
    releaser_ = std::thread([this] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!stop_ && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        while (!stop_) {
            for (const std::filesystem::path& fifo : fifos_) {
                // A writer's open succeeds only while a reader has the pipe open, and releases
                // one waiting in its open; its close ends the reader's read with the end of the
                // file.
                const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                if (writer >= 0) {
                    released_ = true;
                    ::close(writer);
                }
                // A reader's open releases a writer waiting in its open, whose bytes it takes.
                const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
                if (reader >= 0) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                    char bytes[4096];
                    while (::read(reader, bytes, sizeof bytes) > 0) {
                        released_ = true;
                    }
                    ::close(reader);
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
}

FifoGuard::~FifoGuard() {
    stop_ = true;
    releaser_.join();
}

}  // namespace test_support
