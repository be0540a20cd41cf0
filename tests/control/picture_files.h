// Small picture files written by the tests themselves, and a folder that removes itself.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <unistd.h>

#include "metafile/metafile_support.h"
#include "support/testdata.h"

namespace control_test {

inline std::string SamplePath(const std::string& name) {
    return testsupport::SourceDir().string() + "/samples/" + name;
}

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// A 24-bit BMP whose pixel (x, y), y = 0 at the top, has the given colour.
inline std::vector<uint8_t> MakeBmp24(int width, int height,
                                      const std::function<COLORREF(int, int)>& color) {
    std::vector<COLORREF> pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels.push_back(color(x, y));
    const std::vector<uint8_t> dib = meta_test::PackedDib24(width, height, pixels);
    std::vector<uint8_t> out = {'B', 'M'};
    for (uint32_t v : {static_cast<uint32_t>(14 + dib.size()), 0u, 54u})
        meta_test::Put32(out, v);
    out.insert(out.end(), dib.begin(), dib.end());
    return out;
}

// A fresh folder under the system temporary directory, removed with everything in it.
class ScratchDir {
  public:
    explicit ScratchDir(const std::string& tag) {
        path_ = std::filesystem::temp_directory_path() /
                ("lumora-" + tag + "-" + std::to_string(::getpid()));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

}  // namespace control_test
