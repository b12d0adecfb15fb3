#pragma once

#include <cups/ipp.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace test_support {

// A print system that is none: a local socket that takes connections as the scheduler does and
// then either stays silent for ever, answers every request with the response a test builds for
// it (an IPP response to that request, which the test may fill wrongly on purpose), or asks
// for a password.
class StandInScheduler {
  public:
    // Fills the response to one request; the response already has the request's id and the
    // attributes every response starts with.
    using Answer = std::function<void(ipp_t* request, ipp_t* response)>;

    // Silent until answer_with() is called.
    explicit StandInScheduler(std::filesystem::path socket);
    ~StandInScheduler();
    StandInScheduler(const StandInScheduler&) = delete;
    StandInScheduler& operator=(const StandInScheduler&) = delete;

    const std::string& path() const { return path_; }
    void answer_with(Answer answer);
    // Refuses every request as one that needs a password, as CUPS does an administrative
    // request of a user it does not trust.
    void ask_for_password();
    // The connections taken so far.
    int connections() const { return connections_; }

  private:
    void serve();
    bool serve_one(int client);

    std::string path_;
    int listener_ = -1;
    std::atomic<bool> stopping_{false};
    std::atomic<int> connections_{0};
    std::mutex mutex_;
    Answer answer_;
    bool ask_for_password_ = false;
    std::thread thread_;
};

}  // namespace test_support
