#include "platform/os/file_map.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/os/large_block.h"

namespace platform {

struct FileBytes {
    uint8_t* data = nullptr;
    size_t size = 0;
    bool mapped = false;
    // What tells a file opened again from a changed or different one.
    dev_t device = 0;
    ino_t inode = 0;
    off_t fileSize = 0;
    struct timespec modified {};

    FileBytes() = default;
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;
    ~FileBytes() {
        if (mapped)
            ::munmap(data, size);
        else
            ReleasePictureMemory(data);
    }
    bool Same(const struct stat& st) const {
        return device == st.st_dev && inode == st.st_ino && fileSize == st.st_size &&
               modified.tv_sec == st.st_mtim.tv_sec && modified.tv_nsec == st.st_mtim.tv_nsec;
    }
};

namespace {

// Small files are read into picture memory: one copy out of the page cache costs less than the
// page faults of walking a mapping. From kMapWhole on, the copy (and the zeroing of a fresh block
// to copy into) costs more than having the kernel map every page of the file at once. Beyond
// kMapOnDemand pages are mapped as they are touched, so a reader that needs a part of a file (one
// page of a TIFF, a small Photo CD resolution) reads only that part.
constexpr size_t kMapWhole = size_t{4} << 20;
constexpr size_t kMapOnDemand = size_t{256} << 20;

struct Reuse {
    int depth = 0;
    std::shared_ptr<const FileBytes> last;
};
thread_local Reuse t_reuse;

std::shared_ptr<const FileBytes> ReadFile(int fd, const struct stat& st) {
    auto file = std::make_shared<FileBytes>();
    file->device = st.st_dev;
    file->inode = st.st_ino;
    file->fileSize = st.st_size;
    file->modified = st.st_mtim;
    const size_t size = static_cast<size_t>(st.st_size);
    if (size == 0) return file;
    if (size >= kMapWhole) {
        const int populate = size <= kMapOnDemand ? MAP_POPULATE : 0;
        void* p = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | populate, fd, 0);
        if (p == MAP_FAILED) return nullptr;
        file->data = static_cast<uint8_t*>(p);
        file->size = size;
        file->mapped = true;
        return file;
    }
    file->data = static_cast<uint8_t*>(AllocatePictureMemory(size, false));
    if (!file->data) return nullptr;
    while (file->size < size) {
        const ssize_t n = ::read(fd, file->data + file->size, size - file->size);
        if (n <= 0) break;  // a file that shrank meanwhile ends where reading ended
        file->size += static_cast<size_t>(n);
    }
    return file;
}

}  // namespace

MappedFile::MappedFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        if (t_reuse.depth > 0 && t_reuse.last && t_reuse.last->Same(st)) {
            bytes_ = t_reuse.last;
        } else {
            bytes_ = ReadFile(fd, st);
            if (t_reuse.depth > 0 && bytes_) t_reuse.last = bytes_;
        }
    }
    ::close(fd);
}

std::span<const uint8_t> MappedFile::bytes() const {
    if (!bytes_) return {};
    return {bytes_->data, bytes_->size};
}

FileReuseScope::FileReuseScope() {
    ++t_reuse.depth;
}

FileReuseScope::~FileReuseScope() {
    if (--t_reuse.depth == 0) t_reuse.last.reset();
}

}  // namespace platform
