#pragma once

#include <filesystem>

namespace test_support {

// Makes the entries of a folder impossible to delete or rename while it lives, and puts the
// folder back as it was when it goes: by taking away the write permission, or, for a user whom
// permissions do not stop, by marking the folder immutable.
class UndeletableEntries {
  public:
    explicit UndeletableEntries(std::filesystem::path folder);
    ~UndeletableEntries();
    UndeletableEntries(const UndeletableEntries&) = delete;
    UndeletableEntries& operator=(const UndeletableEntries&) = delete;

    // False when the file system offers neither way.
    bool ok() const { return ok_; }

  private:
    std::filesystem::path folder_;
    bool immutable_ = false;
    bool ok_ = false;
};

}  // namespace test_support
