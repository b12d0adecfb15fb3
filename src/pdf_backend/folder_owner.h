#pragma once

#include <string>
#include <vector>

#include "pdf_backend/hot_folder_shape.h"

// The backend runs as root (CUPS runs a backend that only its owner may execute so), yet it
// touches a hot folder only as the folder's owner: it becomes that user, with the user's own
// groups, before it opens anything there, and can never become root again.
//
// Which user that is follows from the folder's path alone: the account whose home (in the
// account database) the path lies below. Before the backend has become that user it opens
// nothing and tells nobody what it saw: what the print system shows of a refusal then is one and
// the same text, whether the path exists or not and whoever owns it.
namespace pdf_backend {

// What a queue's state says of every refusal before the backend has become the folder's
// owner.
inline constexpr std::string_view kNotAHotFolder =
    "The queue's device names no hot folder of the virtual printers";

enum class OwnerState {
    Ready,    // this process now acts as the folder's owner
    Refused,  // not of the hot folders' shape, not below an ordinary account's home, or an
              // owner this process cannot become
};

struct FolderOwner {
    OwnerState state = OwnerState::Refused;
    Account account;                 // the owner, when Ready
    std::vector<std::string> parts;  // the hot folder's parts below the owner's home
    // Why it was refused, for the print system's debug log only.
    std::string cause;
};

// `login_defs` is where the lowest user id of an ordinary account is read.
FolderOwner become_folder_owner(const std::string& folder,
                                const std::filesystem::path& login_defs = "/etc/login.defs");

}  // namespace pdf_backend
