// Writes the descriptors this program was started with, beyond standard input, output and
// error, one "<number> <what it is>" line each, into the file named by its argument: under a
// temporary name first, renamed into place, so a reader never sees half the list.
#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        return 1;
    }
    std::string list;
    DIR* fds = ::opendir("/proc/self/fd");
    if (fds == nullptr) {
        return 1;
    }
    while (const dirent* entry = ::readdir(fds)) {
        const int fd = std::atoi(entry->d_name);
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9' || fd <= 2 || fd == ::dirfd(fds)) {
            continue;
        }
        char target[4096] = {};
        const std::string link = std::string("/proc/self/fd/") + entry->d_name;
        const ssize_t length = ::readlink(link.c_str(), target, sizeof target - 1);
        list += std::to_string(fd) + " " + (length > 0 ? std::string(target, length) : "?") + "\n";
    }
    ::closedir(fds);
    const std::string partial = std::string(argv[1]) + ".part";
    std::FILE* out = std::fopen(partial.c_str(), "w");
    if (out == nullptr) {
        return 1;
    }
    std::fputs(list.c_str(), out);
    std::fclose(out);
    return std::rename(partial.c_str(), argv[1]) == 0 ? 0 : 1;
}
