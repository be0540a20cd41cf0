#include "platform/os/file_map.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

MappedFile::MappedFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        size_ = static_cast<size_t>(st.st_size);
        if (size_ == 0) {
            open_ = true;
        } else {
            void* p = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd, 0);
            if (p != MAP_FAILED) {
                data_ = static_cast<const uint8_t*>(p);
                open_ = mapped_ = true;
            }
        }
    }
    ::close(fd);
    if (!open_) size_ = 0;
}

MappedFile::~MappedFile() {
    if (mapped_) ::munmap(const_cast<uint8_t*>(data_), size_);
}

}  // namespace platform
