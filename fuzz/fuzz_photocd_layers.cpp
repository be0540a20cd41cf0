// The Photo CD table parser and layer decoder on arbitrary bytes, at small layer sizes so that
// every input reaches them cheaply (the full reader spends most of its time on fixed-size
// planes). Byte 0 gives the layer width (2 to 256, even), byte 1 its height (1 to 64), byte 2
// which planes are present (bit 0 luma, bit 1 chroma), whether the first sync mark is searched
// for (bit 2) and how many tables are read (bits 3 and 4: 1 to 3); byte 3 how many of the
// following bytes make up the table sector (zero-filled to 2048); the rest is the layer.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "photocd/format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    const uint32_t width = 2 * (1 + data[0] % 128);
    const uint32_t height = 1 + data[1] % 64;
    const uint8_t flags = data[2];
    const int tableCount = 1 + (flags >> 3) % 4 % 3;
    const size_t tableBytes = std::min<size_t>(data[3], size - 4);

    std::vector<uint8_t> pack(2048, 0);
    std::memcpy(pack.data(), data + 4, tableBytes);
    pack.insert(pack.end(), data + 4 + tableBytes, data + size);

    photocd::Plane luma, chroma1, chroma2;
    if (!luma.Allocate(width, height) || !chroma1.Allocate(width / 2, (height + 1) / 2) ||
        !chroma2.Allocate(width / 2, (height + 1) / 2))
        return 0;
    luma.width = width;
    luma.height = height;
    chroma1.width = chroma2.width = width / 2;
    chroma1.height = chroma2.height = (height + 1) / 2;

    static photocd::HuffmanTables tables;
    tables.counts.fill(0);  // each input starts without tables from the one before
    decode::ByteReader in(std::span<const uint8_t>(pack.data(), pack.size()));
    photocd::PackFile file(in);
    if (!photocd::ReadHuffmanTables(file, tableCount, tables)) return 0;
    const bool chroma = flags & 2;
    photocd::DecodeLayer(file, tables, width, height, (flags & 1) ? &luma : nullptr,
                         chroma ? &chroma1 : nullptr, chroma ? &chroma2 : nullptr, flags & 4);
    return 0;
}
