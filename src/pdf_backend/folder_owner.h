#pragma once

#include <sys/stat.h>

#include <string>

// The backend runs as root (CUPS runs a backend that only its owner may execute so), yet it
// touches a hot folder only as the folder's owner: it becomes that user, with the user's own
// groups, before it opens anything there, and can never become root again.
namespace pdf_backend {

enum class FolderState {
    Ready,    // this process now acts as the folder's owner
    Missing,  // nothing of that name (yet): the job can wait for it
    Refused,  // not a folder, root's own, or an owner this process cannot become
};

struct FolderOwner {
    FolderState state = FolderState::Refused;
    // The folder as it was looked at, a final link not followed; valid when Ready.
    struct stat seen {};
    // What is wrong, for the print system's log; empty when Ready.
    std::string error;
};

FolderOwner become_folder_owner(const std::string& folder);

}  // namespace pdf_backend
