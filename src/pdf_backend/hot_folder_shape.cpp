#include "pdf_backend/hot_folder_shape.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "config/program_globals.h"
#include "engine/step_settings.h"
#include "engine/virtual_print_settings.h"

namespace pdf_backend {
namespace {

constexpr uid_t kDefaultFirstOrdinaryUid = 1000;
// The login definitions are a few kilobytes; more is not read.
constexpr std::size_t kMaxLoginDefsBytes = 1 << 20;

// The parts of an absolute path; nothing when it is not absolute or has an empty, "." or ".."
// part (a doubled or trailing "/" included), or a NUL.
std::optional<std::vector<std::string>> absolute_parts(std::string_view path) {
    if (!path.starts_with('/') || path.find('\0') != std::string_view::npos) {
        return std::nullopt;
    }
    std::vector<std::string> parts;
    std::size_t at = 1;
    for (;;) {
        const std::size_t end = std::min(path.find('/', at), path.size());
        const std::string_view part = path.substr(at, end - at);
        if (part.empty() || part == "." || part == "..") {
            return std::nullopt;
        }
        parts.emplace_back(part);
        if (end == path.size()) {
            return parts;
        }
        at = end + 1;
    }
}

std::string trimmed(std::string_view text) {
    const std::size_t start = text.find_first_not_of(" \t\r");
    if (start == std::string_view::npos) {
        return {};
    }
    return std::string(text.substr(start, text.find_last_not_of(" \t\r") - start + 1));
}

std::string describe(const std::string& folder, const struct stat& info, uid_t owner) {
    if (info.st_uid != owner) {
        return folder + " belongs to user " + std::to_string(info.st_uid) + ", not to user " +
               std::to_string(owner) + " whose home it is in";
    }
    return folder + " may be written by others than its owner";
}

}  // namespace

bool has_hot_folder_shape(std::string_view folder) {
    const std::optional<std::vector<std::string>> parts = absolute_parts(folder);
    if (!parts || parts->size() < 3) {
        return false;
    }
    const std::size_t n = parts->size();
    const auto& layouts = engine::kLayoutFolders;
    return (*parts)[n - 3] == model_folder(g_printer_model) &&
           (*parts)[n - 2] == engine::kVirtualHotFolder &&
           std::find(layouts.begin(), layouts.end(), (*parts)[n - 1]) != layouts.end();
}

std::optional<std::vector<std::string>> parts_below(std::string_view folder,
                                                    std::string_view home) {
    const std::optional<std::vector<std::string>> home_parts = absolute_parts(home);
    const std::optional<std::vector<std::string>> parts = absolute_parts(folder);
    if (!home_parts || home_parts->empty() || !parts || parts->size() <= home_parts->size() ||
        !std::equal(home_parts->begin(), home_parts->end(), parts->begin())) {
        return std::nullopt;
    }
    return std::vector<std::string>(
        parts->begin() + static_cast<std::ptrdiff_t>(home_parts->size()), parts->end());
}

uid_t first_ordinary_uid(const std::filesystem::path& login_defs) {
    std::ifstream in(login_defs);
    uid_t first = kDefaultFirstOrdinaryUid;
    std::size_t read = 0;
    for (std::string line; read < kMaxLoginDefsBytes && std::getline(in, line);) {
        read += line.size() + 1;
        const std::string text = trimmed(line);
        const std::size_t blank = text.find_first_of(" \t");
        if (text.empty() || text.front() == '#' || blank == std::string::npos ||
            text.substr(0, blank) != "UID_MIN") {
            continue;
        }
        std::string value = trimmed(text.substr(blank));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        // As the account tools read it: decimal, or octal and hexadecimal by their prefixes.
        char* end = nullptr;
        errno = 0;
        const unsigned long uid = std::strtoul(value.c_str(), &end, 0);
        if (!value.empty() && *end == '\0' && errno == 0 && value.front() != '-' &&
            uid <= static_cast<unsigned long>(static_cast<uid_t>(-1) - 1)) {
            first = static_cast<uid_t>(uid);  // the last setting counts
        }
    }
    return first;
}

std::optional<Account> account_of(uid_t uid) {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    while (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
           buffer.size() < (1U << 20)) {
        buffer.resize(buffer.size() * 2);
    }
    if (found == nullptr || found->pw_dir == nullptr || found->pw_name == nullptr) {
        return std::nullopt;
    }
    std::string home = found->pw_dir;
    while (home.size() > 1 && home.back() == '/') {
        home.pop_back();
    }
    return Account{found->pw_uid, found->pw_gid, found->pw_name, home};
}

HotFolder open_hot_folder(const std::string& home, const std::vector<std::string>& parts,
                          uid_t owner) {
    // The home as the account database names it, links on the way to it followed; from there
    // down, no link is.
    int fd = open(home.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::string hot_folder = home;
    for (const std::string& part : parts) {
        hot_folder += "/" + part;
    }
    std::string folder = home;
    for (std::size_t i = 0;; ++i) {
        if (fd < 0) {
            const int error = errno;
            if (error == ENOENT) {
                return {HotFolderState::Missing, -1,
                        "The hot folder " + hot_folder + " does not exist"};
            }
            if (error == ELOOP || error == ENOTDIR) {
                return {HotFolderState::Refused, -1, folder + " is not a folder"};
            }
            return {HotFolderState::Refused, -1,
                    "Cannot open the hot folder " + folder + ": " + std::strerror(error)};
        }
        struct stat info {};
        if (fstat(fd, &info) != 0 || !S_ISDIR(info.st_mode)) {
            close(fd);
            return {HotFolderState::Refused, -1, folder + " is not a folder"};
        }
        if (info.st_uid != owner || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
            close(fd);
            return {HotFolderState::Refused, -1, describe(folder, info, owner)};
        }
        if (i == parts.size()) {
            return {HotFolderState::Open, fd, {}};
        }
        folder += "/" + parts[i];
        const int next =
            openat(fd, parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int error = errno;
        close(fd);
        fd = next;
        errno = error;
    }
}

}  // namespace pdf_backend
