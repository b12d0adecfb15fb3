#include "temp_dir.h"

#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

namespace test_support {

TempDir::TempDir() : TempDir(std::filesystem::temp_directory_path()) {}

TempDir::TempDir(const std::filesystem::path& parent) {
    std::string pattern = (parent / "velquorin-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary folder");
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path another_file_system() {
    const std::filesystem::path folder = "/dev/shm";
    struct stat there {};
    struct stat here {};
    EXPECT_EQ(::stat(folder.c_str(), &there), 0);
    EXPECT_EQ(::stat(std::filesystem::temp_directory_path().c_str(), &here), 0);
    EXPECT_NE(there.st_dev, here.st_dev) << "/dev/shm is on the temporary folder's file system";
    return folder;
}

std::filesystem::path home_of(uid_t uid) {
    const passwd* account = ::getpwuid(uid);
    return account != nullptr && account->pw_dir != nullptr ? account->pw_dir : "";
}

void write_file(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace test_support
