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
#include "reader_run.h"

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = InputPath();
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    const std::span<const uint8_t> bytes(data, size);
    const decode::DecodedImage first = fuzz::RunReader(decode::ReadTiff, bytes, {}, path);
    if (first.tiffPageOffsets.size() > 1 && first.tiffPageOffsets[1] > 0) {
        decode::LoadOptions second;
        second.startOffset = first.tiffPageOffsets[1];
        fuzz::RunReader(decode::ReadTiff, bytes, second, path);
    }
    std::remove(path.c_str());
    return 0;
}
