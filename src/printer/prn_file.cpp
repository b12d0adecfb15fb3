#include "printer/prn_file.h"

PrnFile g_prn_file;

PrnFile::~PrnFile() {
    close();
}

bool PrnFile::open(const std::filesystem::path& path) {
    std::lock_guard lock(mutex_);
    if (file_ != nullptr) {
        std::fclose(file_);
    }
    file_ = std::fopen(path.c_str(), "rb");
    return file_ != nullptr;
}

void PrnFile::close() {
    std::lock_guard lock(mutex_);
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
}

bool PrnFile::is_open() const {
    std::lock_guard lock(mutex_);
    return file_ != nullptr;
}

std::FILE* PrnFile::stream() const {
    std::lock_guard lock(mutex_);
    return file_;
}
