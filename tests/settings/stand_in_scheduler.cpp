#include "stand_in_scheduler.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace test_support {
namespace {

// The request as it came: the head up to the blank line, then as many bytes as it announced.
// False when the client went, or the stand-in is stopping.
bool read_request(int client, std::string& body, const std::atomic<bool>& stopping) {
    std::string data;
    char buffer[4096];
    std::size_t head_end = std::string::npos;
    std::size_t length = 0;
    for (;;) {
        if (head_end != std::string::npos && data.size() >= head_end + 4 + length) {
            body = data.substr(head_end + 4, length);
            return true;
        }
        pollfd wait{client, POLLIN, 0};
        if (::poll(&wait, 1, 20) <= 0) {
            if (stopping) {
                return false;
            }
            continue;
        }
        const ssize_t got = ::read(client, buffer, sizeof buffer);
        if (got <= 0) {
            return false;
        }
        data.append(buffer, static_cast<std::size_t>(got));
        if (head_end == std::string::npos &&
            (head_end = data.find("\r\n\r\n")) != std::string::npos) {
            std::string head = data.substr(0, head_end);
            for (char& c : head) {
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
            if (const auto at = head.find("content-length:"); at != std::string::npos) {
                length = std::stoul(head.substr(at + 15));
            }
            if (head.find("expect: 100-continue") != std::string::npos) {
                constexpr std::string_view kContinue = "HTTP/1.1 100 Continue\r\n\r\n";
                (void)!::write(client, kContinue.data(), kContinue.size());
            }
        }
    }
}

ssize_t read_from(void* context, ipp_uchar_t* buffer, size_t bytes) {
    auto* rest = static_cast<std::string_view*>(context);
    const std::size_t n = std::min(bytes, rest->size());
    std::memcpy(buffer, rest->data(), n);
    rest->remove_prefix(n);
    return static_cast<ssize_t>(n);
}

ssize_t append_to(void* context, ipp_uchar_t* buffer, size_t bytes) {
    static_cast<std::string*>(context)->append(reinterpret_cast<const char*>(buffer), bytes);
    return static_cast<ssize_t>(bytes);
}

}  // namespace

StandInScheduler::StandInScheduler(std::filesystem::path socket) : path_(socket.string()) {
    listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
    if (::bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 16) != 0) {
        throw std::runtime_error("cannot listen on " + path_);
    }
    thread_ = std::thread([this] { serve(); });
}

StandInScheduler::~StandInScheduler() {
    stopping_ = true;
    thread_.join();
    ::close(listener_);
    ::unlink(path_.c_str());
}

void StandInScheduler::answer_with(Answer answer) {
    std::lock_guard lock(mutex_);
    answer_ = std::move(answer);
}

void StandInScheduler::ask_for_password() {
    std::lock_guard lock(mutex_);
    ask_for_password_ = true;
}

void StandInScheduler::serve() {
    std::vector<int> silent;  // kept open, never answered, until the end
    while (!stopping_) {
        pollfd wait{listener_, POLLIN, 0};
        if (::poll(&wait, 1, 20) <= 0) {
            continue;
        }
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            continue;
        }
        ++connections_;
        if (!serve_one(client)) {
            silent.push_back(client);
        }
    }
    for (int client : silent) {
        ::close(client);
    }
}

// Answers every request of one connection; false when it is to stay silent.
bool StandInScheduler::serve_one(int client) {
    for (;;) {
        std::string body;
        if (!read_request(client, body, stopping_)) {
            ::close(client);
            return true;
        }
        Answer answer;
        bool password = false;
        {
            std::lock_guard lock(mutex_);
            answer = answer_;
            password = ask_for_password_;
        }
        if (password) {
            constexpr std::string_view kUnauthorized =
                "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"CUPS\"\r\n"
                "Content-Length: 0\r\n\r\n";
            if (::write(client, kUnauthorized.data(), kUnauthorized.size()) !=
                static_cast<ssize_t>(kUnauthorized.size())) {
                ::close(client);
                return true;
            }
            continue;
        }
        if (!answer) {
            return false;
        }
        std::string_view rest = body;
        ipp_t* request = ippNew();
        ippReadIO(&rest, read_from, 1, nullptr, request);
        ipp_t* response = ippNewResponse(request);
        answer(request, response);
        std::string ipp;
        ippSetState(response, IPP_STATE_IDLE);
        ippWriteIO(&ipp, append_to, 1, nullptr, response);
        ippDelete(request);
        ippDelete(response);
        const std::string reply =
            "HTTP/1.1 200 OK\r\nContent-Type: application/ipp\r\n"
            "Content-Length: " +
            std::to_string(ipp.size()) + "\r\n\r\n" + ipp;
        if (::write(client, reply.data(), reply.size()) != static_cast<ssize_t>(reply.size())) {
            ::close(client);
            return true;
        }
    }
}

}  // namespace test_support
