// Read-only access to a whole file's bytes: read into memory, or mapped when very large.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace platform {

class MappedFile {
  public:
    MappedFile() = default;
    explicit MappedFile(const std::string& path);
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    ~MappedFile();
    bool is_open() const { return open_; }
    std::span<const uint8_t> bytes() const { return {data_, size_}; }

  private:
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    bool open_ = false;
    bool mapped_ = false;
};

}  // namespace platform
