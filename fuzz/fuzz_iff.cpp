// The IFF reader on arbitrary bytes. The first and last byte of a loaded picture's block are
// read, so a block smaller than its header promises shows up under AddressSanitizer.
#include <cstddef>
#include <cstdint>
#include <span>

#include "decode/readers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    decode::DecodedImage img;
    decode::ByteReader in(std::span<const uint8_t>(data, size));
    if (decode::ReadIff(img, in, decode::LoadOptions{}) == 0 && img.pixels) {
        const size_t bytes = static_cast<size_t>(img.rowStride) * img.header.biHeight;
        volatile uint8_t edge = img.pixels[0];
        edge = img.pixels[bytes - 1];
        (void)edge;
    }
    decode::ReleasePixels(img);
    return 0;
}
