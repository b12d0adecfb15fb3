#pragma once

#include <sys/types.h>

#include <string>

namespace test_support {

// The local print system for the tests that print through it, with the virtual printers'
// backend and PPD installed into it: a running cupsd is used as it is; without one, root starts
// cupsd in the foreground and ends it again when the object goes, so the machine is left as it
// was found. why_not() says what is missing when it cannot be had.
class CupsDaemon {
  public:
    CupsDaemon();
    ~CupsDaemon();
    CupsDaemon(const CupsDaemon&) = delete;
    CupsDaemon& operator=(const CupsDaemon&) = delete;

    bool available() const { return why_not_.empty(); }
    const std::string& why_not() const { return why_not_; }

  private:
    pid_t started_ = -1;
    std::string why_not_;
};

// True when cupsd answers on its local socket.
bool cupsd_answers();

}  // namespace test_support
