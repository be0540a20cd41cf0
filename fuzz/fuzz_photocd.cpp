// The Photo CD reader on arbitrary bytes, at all five sizes. A pack is large and its parts sit
// at fixed sectors, so the first byte says how the rest becomes a pack: its low bits pick the
// size (0 to 4), bits 5 and 6 where the bytes go: at the start of the file, at the small
// images (sector 4), at the base image (sector 96) or at the first layer's Huffman table
// (sector 388), everything before them zero. The last placement lets short inputs reach the
// table parser and the layer decoder, and through the sectors they name, the second layer.
// The first and last byte of a loaded picture's block are read, so a block smaller than its
// header promises shows up under AddressSanitizer.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "decode/readers.h"
#include "reader_run.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static constexpr size_t kPlacements[] = {0, 4 * 2048, 96 * 2048, 388 * 2048};
    decode::LoadOptions options;
    options.pcdSize = data[0] % 8 % 5;
    const size_t offset = kPlacements[(data[0] >> 5) & 3];
    static std::vector<uint8_t> pack;
    pack.assign(offset + size - 1, 0);
    if (size > 1) std::memcpy(pack.data() + offset, data + 1, size - 1);

    fuzz::RunReader(decode::ReadPhotoCd, pack, options);
    return 0;
}
