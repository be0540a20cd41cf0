// The TIFF reader on arbitrary bytes, the codec module included: the bytes are written to a
// temporary file whose name the reader hands to the module, so compressed and tiled inputs reach
// libtiff through the module's own entry point. When the file has more than one directory the
// second page is read as well. The first and last byte of a loaded picture's block are read, so
// a block smaller than its header promises shows up under AddressSanitizer.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

#include "decode/readers.h"

namespace {

// One file per process, rewritten for every input.
const std::string& InputPath() {
    static const std::string path = [] {
        setenv("LUMORA_CODEC_PATH", LUMORA_CODEC_DIR, 1);
        const char* tmp = std::getenv("TMPDIR");
        return std::string(tmp ? tmp : "/tmp") + "/lm_fuzz_tiff_" + std::to_string(getpid()) +
               ".tif";
    }();
    return path;
}

void Read(const std::string& path, const uint8_t* data, size_t size, int32_t page,
          int32_t* secondPage) {
    decode::DecodedImage img;
    img.sourcePath = path;
    img.workPath = path;
    decode::LoadOptions options;
    options.startOffset = page;
    decode::ByteReader in(std::span<const uint8_t>(data, size));
    if (decode::ReadTiff(img, in, options) == 0 && img.pixels) {
        const size_t bytes = static_cast<size_t>(img.rowStride) * img.header.biHeight;
        volatile uint8_t edge = img.pixels[0];
        edge = img.pixels[bytes - 1];
        (void)edge;
    }
    if (secondPage && img.tiffPageOffsets.size() > 1) *secondPage = img.tiffPageOffsets[1];
    decode::ReleasePixels(img);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = InputPath();
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    int32_t second = 0;
    Read(path, data, size, 0, &second);
    if (second > 0) Read(path, data, size, second, nullptr);
    std::remove(path.c_str());
    return 0;
}
