// Read-only access to a whole file's bytes: read into memory, or mapped when very large.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace platform {

struct FileBytes;

class MappedFile {
  public:
    MappedFile() = default;
    explicit MappedFile(const std::string& path);
    bool is_open() const { return bytes_ != nullptr; }
    std::span<const uint8_t> bytes() const;

  private:
    std::shared_ptr<const FileBytes> bytes_;
};

// While one lives on a thread, a file opened again there, unchanged (same file, size and
// modification time), shares the bytes read the first time: gathering the frames of an
// animation opens one file once per frame.
class FileReuseScope {
  public:
    FileReuseScope();
    ~FileReuseScope();
    FileReuseScope(const FileReuseScope&) = delete;
    FileReuseScope& operator=(const FileReuseScope&) = delete;
};

}  // namespace platform
