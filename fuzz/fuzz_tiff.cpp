// The TIFF reader on arbitrary bytes, the codec module included: the bytes are written to a
// temporary file whose name the reader hands to the module, so compressed and tiled inputs reach
// libtiff through the module's own entry point. When the file has more than one directory the
// second page is read as well. The first and last byte of a loaded picture's block are read, so
// a block smaller than its header promises shows up under AddressSanitizer.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

#include "decode/readers.h"
#include "module_input.h"
#include "reader_run.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = fuzz::WriteModuleInput("tiff", ".tif", data, size);
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
