// A stand-in for the workstation's start, for the single-instance tests: claims the instance
// name in the folder given as the only argument and says on standard output what it became.
// A first instance reports every show request with a line and runs until its standard input
// closes; a later start ends at once with exit code 2.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "app/single_instance.h"

namespace {

void say(const char* line) {
    const std::string text = std::string(line) + "\n";
    [[maybe_unused]] const ssize_t ignored = ::write(STDOUT_FILENO, text.data(), text.size());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        return 64;
    }
    auto instance = app::SingleInstance::claim(std::filesystem::path(argv[1]));
    if (!instance) {
        say("second");
        return 2;
    }
    say(instance->serving() ? "first serving" : "first");
    instance->set_show_handler([] { say("shown"); });
    char byte = 0;
    while (::read(STDIN_FILENO, &byte, 1) > 0) {
    }
    return 0;
}
