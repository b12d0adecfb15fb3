#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The only folders the virtual printers deliver to: the hot folders that the set-up makes, one
// per channel layout, below the settings root in an operator's home,
//
//     <home>/<any folders>/<model folder>/VirtualHotFolder/<layout>
//
// the home that of the account owning the folders (as the account database gives it), every
// folder from the home down that account's own and writable by nobody else, and the account an
// ordinary one (no system or service account). The backend, which runs as root, delivers
// nowhere else; the set-up makes no queue for a folder that the backend would refuse.
namespace pdf_backend {

// True when `folder` is an absolute path without empty, "." or ".." parts whose last three
// parts are this printer model's settings folder, "VirtualHotFolder" and one of the nine
// layouts.
bool has_hot_folder_shape(std::string_view folder);

// The parts of `folder` below `home` (a home of "/" holds nothing); nothing when the folder
// does not lie below it.
std::optional<std::vector<std::string>> parts_below(std::string_view folder, std::string_view home);

// The lowest user id of an ordinary account: UID_MIN of the system's login definitions, 1000
// where the file does not set it.
uid_t first_ordinary_uid(const std::filesystem::path& login_defs = "/etc/login.defs");

// An account of the account database.
struct Account {
    uid_t uid = 0;
    gid_t gid = 0;
    std::string name;
    std::string home;  // without a trailing "/"
};
std::optional<Account> account_of(uid_t uid);

enum class HotFolderState {
    Open,
    Missing,  // a folder on the way does not exist (yet): a job can wait for it
    Refused,  // a link or no folder on the way, someone else's, or writable by others
};

struct HotFolder {
    HotFolderState state = HotFolderState::Refused;
    int fd = -1;        // the hot folder, open, when Open; the caller closes it
    std::string error;  // what is wrong, naming the folder, otherwise
};

// Opens the hot folder `parts` below `home` one folder at a time, each opened below the one
// before without following a link, and checks each, the home included: a folder that belongs
// to `owner` and that neither its group nor others may write. Done by the owner, it looks at
// nothing that account could not look at itself.
HotFolder open_hot_folder(const std::string& home, const std::vector<std::string>& parts,
                          uid_t owner);

}  // namespace pdf_backend
