// Temporary files: the system's temporary directory, the prefix "lm", created empty and unique.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// The temporary directory with a trailing "/", or "./" when its path is 260 characters or longer.
std::string GetTempPath();
// Creates an empty file "<prefix><unique>.tmp" in dir and returns its path; empty on failure.
std::string GetTempFileName(const std::string& dir, const std::string& prefix);

// A temporary file that is removed when this goes out of scope, whatever happened meanwhile.
class TempFile {
  public:
    explicit TempFile(const std::string& prefix = "lm")
        : path_(GetTempFileName(GetTempPath(), prefix)) {}
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::string& path() const { return path_; }
    bool valid() const { return !path_.empty(); }

  private:
    std::string path_;
};

// Replaces a file's contents with the bytes; false when anything failed.
bool WriteFileBytes(const std::string& path, const uint8_t* data, size_t size);

}  // namespace platform
