#include "pdf_backend/folder_owner.h"

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace pdf_backend {
namespace {

FolderOwner refused(std::string error) {
    return {FolderState::Refused, {}, std::move(error)};
}

// Takes on the user's identity for good: supplementary groups, primary group, then user.
bool switch_to(const passwd& user) {
    int count = 0;
    getgrouplist(user.pw_name, user.pw_gid, nullptr, &count);
    std::vector<gid_t> groups(static_cast<std::size_t>(std::max(count, 1)));
    if (getgrouplist(user.pw_name, user.pw_gid, groups.data(), &count) < 0) {
        return false;
    }
    if (setgroups(static_cast<std::size_t>(count), groups.data()) != 0 ||
        setgid(user.pw_gid) != 0 || setuid(user.pw_uid) != 0) {
        return false;
    }
    // Nothing of root may be left over.
    return setuid(0) != 0 && geteuid() == user.pw_uid && getegid() == user.pw_gid;
}

}  // namespace

FolderOwner become_folder_owner(const std::string& folder) {
    FolderOwner owner;
    if (lstat(folder.c_str(), &owner.seen) != 0) {
        if (errno == ENOENT) {
            return {FolderState::Missing, {}, "The hot folder " + folder + " does not exist"};
        }
        return refused("The hot folder " + folder +
                       " cannot be looked at: " + std::strerror(errno));
    }
    if (!S_ISDIR(owner.seen.st_mode)) {
        return refused(folder + " is not a folder");
    }
    if (owner.seen.st_uid == 0) {
        return refused("The hot folder " + folder + " belongs to root; it must belong to the " +
                       "operator whose virtual printers deliver there");
    }
    const uid_t uid = owner.seen.st_uid;
    if (geteuid() != 0) {
        // Run by hand or by a print system that does not run it as root: only the owner may go on.
        if (geteuid() != uid) {
            return refused("The hot folder " + folder + " belongs to user " + std::to_string(uid) +
                           ", not to user " + std::to_string(geteuid()) + " who runs this backend");
        }
        owner.state = FolderState::Ready;
        return owner;
    }
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* user = nullptr;
    if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &user) != 0 || user == nullptr) {
        return refused("The hot folder " + folder + " belongs to user " + std::to_string(uid) +
                       ", who is not known to this computer");
    }
    if (!switch_to(*user)) {
        return refused(std::string("Cannot act as user ") + user->pw_name + ", the owner of " +
                       folder + ": " + std::strerror(errno));
    }
    owner.state = FolderState::Ready;
    return owner;
}

}  // namespace pdf_backend
