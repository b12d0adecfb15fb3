#include "cups_daemon.h"

#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

extern char** environ;

namespace test_support {
namespace {

constexpr const char* kSocket = "/run/cups/cups.sock";
constexpr const char* kCupsd = "/usr/sbin/cupsd";
// Where `cmake --install` puts the virtual printers' backend and PPD.
constexpr const char* kBackend = VELQUORIN_CUPS_BACKEND_DIR "/velquorin-pdf";
constexpr const char* kPpd = VELQUORIN_CUPS_MODEL_DIR "/velquorin-pdf.ppd";
// cupsd opens its socket within a second or two; a bound keeps a broken one from hanging.
constexpr auto kStartBound = std::chrono::seconds(30);

}  // namespace

bool cupsd_answers() {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, kSocket, sizeof address.sun_path - 1);
    const bool answers =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return answers;
}

CupsDaemon::CupsDaemon() {
    if (!std::filesystem::exists(kBackend) || !std::filesystem::exists(kPpd)) {
        why_not_ = std::string("the virtual printers' backend and PPD are not installed (") +
                   kBackend + ", " + kPpd +
                   "): sudo cmake --install <build folder> --component virtual_printers";
        return;
    }
    if (cupsd_answers()) {
        return;
    }
    if (!std::filesystem::exists(kCupsd)) {
        why_not_ = "CUPS (cupsd) is not installed";
        return;
    }
    if (::geteuid() != 0) {
        why_not_ = "cupsd is not running and only root may start it";
        return;
    }
    std::filesystem::create_directories("/run/cups");
    char* argv[] = {const_cast<char*>(kCupsd), const_cast<char*>("-f"), nullptr};
    if (::posix_spawn(&started_, kCupsd, nullptr, nullptr, argv, environ) != 0) {
        started_ = -1;
        why_not_ = "cupsd could not be started";
        return;
    }
    const auto until = std::chrono::steady_clock::now() + kStartBound;
    while (!cupsd_answers()) {
        if (::waitpid(started_, nullptr, WNOHANG) == started_) {
            started_ = -1;  // it ended on its own
            why_not_ = "cupsd was started but ended at once";
            return;
        }
        if (std::chrono::steady_clock::now() > until) {
            why_not_ = "cupsd was started but does not answer on " + std::string(kSocket);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

CupsDaemon::~CupsDaemon() {
    if (started_ > 0) {
        ::kill(started_, SIGTERM);
        ::waitpid(started_, nullptr, 0);
    }
}

}  // namespace test_support
