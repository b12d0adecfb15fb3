#include "printer/prn_file.h"

#include "platform/file_handle.h"

PrnFile g_prn_file;

PrnFile::~PrnFile() {
    close();
}

bool PrnFile::open(const std::filesystem::path& path) {
    std::lock_guard lock(mutex_);
    if (file_ != nullptr) {
        std::fclose(file_);
    }
    // Opened as every print file is: never waiting on a pipe or a device put at its name, and
    // closed in every program the workstation starts.
    file_ = nullptr;
    platform::FileHandle fd = platform::open_regular_file(path);
    if (!fd.is_open()) {
        return false;
    }
    file_ = ::fdopen(fd.get(), "rb");
    if (file_ != nullptr) {
        fd.release();
    }
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
