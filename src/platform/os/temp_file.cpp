#include "platform/os/temp_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

namespace platform {

std::string GetTempPath() {
    std::error_code ec;
    std::string dir = std::filesystem::temp_directory_path(ec).string();
    if (ec || dir.empty() || dir.size() >= 260) return "./";
    if (dir.back() != '/') dir += '/';
    return dir;
}

std::string GetTempFileName(const std::string& dir, const std::string& prefix) {
    std::string pattern = dir + prefix + "XXXXXX.tmp";
    const int fd = ::mkstemps(pattern.data(), 4);
    if (fd < 0) return {};
    ::close(fd);
    return pattern;
}

TempFile::~TempFile() {
    if (!path_.empty()) ::unlink(path_.c_str());
}

bool WriteFileBytes(const std::string& path, const uint8_t* data, size_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) return false;
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    return ::close(fd) == 0 && done == size;
}

}  // namespace platform
