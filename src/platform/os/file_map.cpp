#include "platform/os/file_map.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/os/large_block.h"

namespace platform {
namespace {

// Files up to this size are read into picture memory: one copy out of the page cache costs less
// than the page faults of walking a mapping. Larger ones are mapped, so a reader that needs a
// part of them (one page of a TIFF, a small Photo CD resolution) reads only that part.
constexpr size_t kReadWholeLimit = size_t{256} << 20;

}  // namespace

MappedFile::MappedFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        size_ = static_cast<size_t>(st.st_size);
        if (size_ == 0) {
            open_ = true;
        } else if (size_ <= kReadWholeLimit) {
            auto* p = static_cast<uint8_t*>(AllocatePictureMemory(size_, false));
            size_t got = 0;
            while (p && got < size_) {
                const ssize_t n = ::read(fd, p + got, size_ - got);
                if (n <= 0) break;
                got += static_cast<size_t>(n);
            }
            if (p) {
                data_ = p;
                size_ = got;  // a file that shrank meanwhile ends where reading ended
                open_ = true;
            }
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
    if (mapped_)
        ::munmap(const_cast<uint8_t*>(data_), size_);
    else
        ReleasePictureMemory(const_cast<uint8_t*>(data_));
}

}  // namespace platform
