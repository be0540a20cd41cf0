// One reader over a fuzz input. When the reader reports a picture, the first and last byte of
// its pixel block are read, so a block smaller than its header promises shows up under
// AddressSanitizer. The decode area is handed back for harnesses that go on from it (the pages
// of a TIFF file); its pixel block is already released.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "decode/readers.h"

namespace fuzz {

inline decode::DecodedImage RunReader(decode::ReaderFn reader, std::span<const uint8_t> bytes,
                                      const decode::LoadOptions& options = {},
                                      const std::string& sourcePath = {}) {
    decode::DecodedImage img;
    img.sourcePath = sourcePath;
    img.workPath = sourcePath;
    decode::ByteReader in(bytes);
    if (reader(img, in, options) == 0 && img.pixels) {
        const size_t size = static_cast<size_t>(img.rowStride) * img.header.biHeight;
        volatile uint8_t edge = img.pixels[0];
        edge = img.pixels[size - 1];
        (void)edge;
    }
    decode::ReleasePixels(img);
    return img;
}

}  // namespace fuzz
