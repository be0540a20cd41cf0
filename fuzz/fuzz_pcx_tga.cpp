// The PCX and TGA readers on arbitrary bytes: both run on every input, so one corpus of PCX and
// TGA files feeds both. The first and last byte of a loaded picture's block are read, so a block
// smaller than its header promises shows up under AddressSanitizer.
#include <cstddef>
#include <cstdint>
#include <span>

#include "decode/readers.h"

namespace {

void Run(decode::ReaderFn reader, std::span<const uint8_t> bytes) {
    decode::DecodedImage img;
    decode::ByteReader in(bytes);
    if (reader(img, in, decode::LoadOptions{}) == 0 && img.pixels) {
        const size_t size = static_cast<size_t>(img.rowStride) * img.header.biHeight;
        volatile uint8_t edge = img.pixels[0];
        edge = img.pixels[size - 1];
        (void)edge;
    }
    decode::ReleasePixels(img);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    Run(decode::ReadPcx, bytes);
    Run(decode::ReadTga, bytes);
    return 0;
}
