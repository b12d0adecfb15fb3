#include "pdf_backend/folder_owner.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace pdf_backend {
namespace {

FolderOwner refused(std::string cause) {
    return {OwnerState::Refused, {}, {}, std::move(cause)};
}

// Takes on the user's identity for good: supplementary groups, primary group, then user.
bool switch_to(const Account& user) {
    int count = 0;
    getgrouplist(user.name.c_str(), user.gid, nullptr, &count);
    std::vector<gid_t> groups(static_cast<std::size_t>(std::max(count, 1)));
    if (getgrouplist(user.name.c_str(), user.gid, groups.data(), &count) < 0) {
        return false;
    }
    if (setgroups(static_cast<std::size_t>(count), groups.data()) != 0 || setgid(user.gid) != 0 ||
        setuid(user.uid) != 0) {
        return false;
    }
    // Nothing of root may be left over.
    return setuid(0) != 0 && geteuid() == user.uid && getegid() == user.gid;
}

// The account whose home the folder lies below: the first folder on the path whose owner has
// it as home. Only the folders down to that home are looked at, and only for their owner.
std::optional<Account> home_owner(const std::string& folder) {
    for (std::size_t end = folder.find('/', 1); end != std::string::npos;
         end = folder.find('/', end + 1)) {
        const std::string prefix = folder.substr(0, end);
        struct stat info {};
        if (stat(prefix.c_str(), &info) != 0) {
            return std::nullopt;
        }
        if (const std::optional<Account> owner = account_of(info.st_uid);
            owner && owner->home == prefix) {
            return owner;
        }
    }
    return std::nullopt;
}

}  // namespace

FolderOwner become_folder_owner(const std::string& folder,
                                const std::filesystem::path& login_defs) {
    if (!has_hot_folder_shape(folder)) {
        return refused(folder +
                       " is not a layout folder in VirtualHotFolder below a settings "
                       "folder of this printer model");
    }
    const std::optional<Account> owner = home_owner(folder);
    if (!owner) {
        return refused(folder + " lies in no account's home folder");
    }
    std::optional<std::vector<std::string>> parts = parts_below(folder, owner->home);
    if (!parts) {
        return refused(folder + " lies in no account's home folder");
    }
    if (owner->uid < first_ordinary_uid(login_defs)) {
        return refused(folder + " lies in the home folder of user " + owner->name +
                       ", which is no ordinary account");
    }
    if (geteuid() != 0) {
        // Run by hand or by a print system that does not run it as root: only the owner may go on.
        if (geteuid() != owner->uid) {
            return refused(folder + " belongs to user " + owner->name + ", not to user " +
                           std::to_string(geteuid()) + " who runs this backend");
        }
    } else if (!switch_to(*owner)) {
        return refused("Cannot act as user " + owner->name + ", the owner of " + folder + ": " +
                       std::strerror(errno));
    }
    return {OwnerState::Ready, *owner, std::move(*parts), {}};
}

}  // namespace pdf_backend
