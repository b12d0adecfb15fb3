#include "resource_use.h"

#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>

namespace test_support {
namespace {

// The value of the line starting with `name` in a /proc file, or -1.
long long proc_value(const char* file, const std::string& name) {
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(name, 0) == 0) {
            return std::stoll(line.substr(name.size()));
        }
    }
    return -1;
}

}  // namespace

std::uint64_t bytes_read_by(const std::function<void()>& work) {
    const long long before = proc_value("/proc/thread-self/io", "rchar:");
    work();
    const long long after = proc_value("/proc/thread-self/io", "rchar:");
    return static_cast<std::uint64_t>(after - before);
}

std::optional<std::uint64_t> peak_memory_growth_of(const std::function<void()>& work) {
    int pipe_fds[2];
    if (::pipe(pipe_fds) != 0) {
        return std::nullopt;
    }
    const pid_t child = ::fork();
    if (child < 0) {
        return std::nullopt;
    }
    if (child == 0) {
        ::close(pipe_fds[0]);
        long long growth = -1;
        {
            // "5" resets the peak (VmHWM) to what is resident now.
            std::ofstream("/proc/self/clear_refs") << "5";
        }
        const long long start_kb = proc_value("/proc/self/status", "VmHWM:");
        work();
        const long long peak_kb = proc_value("/proc/self/status", "VmHWM:");
        if (start_kb >= 0 && peak_kb >= start_kb) {
            growth = (peak_kb - start_kb) * 1024;
        }
        const ssize_t written = ::write(pipe_fds[1], &growth, sizeof growth);
        ::_exit(written == sizeof growth ? 0 : 1);
    }
    ::close(pipe_fds[1]);
    long long growth = -1;
    const ssize_t got = ::read(pipe_fds[0], &growth, sizeof growth);
    ::close(pipe_fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (got != sizeof growth || growth < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(growth);
}

}  // namespace test_support
