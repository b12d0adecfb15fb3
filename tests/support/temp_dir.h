#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>

namespace test_support {

// A fresh folder under the system's temporary folder, removed with everything in it when the
// object goes.
class TempDir {
  public:
    TempDir();
    // A fresh folder under `parent` instead.
    explicit TempDir(const std::filesystem::path& parent);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

// A folder on another file system than the system's temporary folder (the memory file system
// of /dev/shm), to make a TempDir in for moves that cannot be a rename. Fails the test when it
// is on the same one.
std::filesystem::path another_file_system();

// The home folder of an account as the account database gives it (the environment's HOME may
// differ); empty when the account has none.
std::filesystem::path home_of(uid_t uid);

// Writes bytes to a file, replacing it.
void write_file(const std::filesystem::path& path, const std::string& bytes);
// Reads a whole file; empty when it cannot be read.
std::string read_file(const std::filesystem::path& path);

}  // namespace test_support
