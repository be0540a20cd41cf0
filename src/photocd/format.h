// Photo CD residual layers: Huffman tables, direct lookup, bit input with sync marks, and the
// addition of each line's residuals to the doubled planes.
//
// A table sector holds one to three tables back to back (luma, chroma 1, chroma 2), each a count
// byte (entries - 1) and four bytes per entry: code length - 1, a 16-bit big-endian code
// pattern whose top bits are the code, and a signed 8-bit residual. A layer is a bit stream of
// lines, each a sync mark (0xFFFFFE: twenty-three 1 bits and a 0), a 16-bit header (tag in the
// top two bits, line number in the next 13) and one code per pixel.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "photocd/pcd.h"

namespace photocd {

constexpr int kChannels = 3;  // luma, chroma 1, chroma 2

struct HuffmanEntry {
    uint16_t pattern = 0;  // left-aligned code
    uint8_t length = 0;    // 1 to 16
    int8_t value = 0;
};

// The stored tables of a decode and their direct lookup: 65536 slots per channel indexed by the
// next 16 input bits, each 0 or (length << 8 | value byte).
struct HuffmanTables {
    std::array<std::array<HuffmanEntry, 256>, kChannels> entries{};
    std::array<int, kChannels> counts{};
    std::array<std::array<uint16_t, 65536>, kChannels> lookup{};

    void RebuildLookup();
};

// Reads one sector at the current position and parses `count` tables from it, luma first. A
// short read parses what arrived (the rest reads as zeros); the layer read after it then
// reports the read error. False when a table is unusable: a code longer than 16 bits or
// entries running past the sector.
bool ReadHuffmanTables(PackFile& file, int count, HuffmanTables& tables);

// Adds one layer's residuals to the planes given (any may be null): luma lines of `width`
// residuals into luma rows, chroma lines of width / 2 into chroma row line / 2. With
// searchFirstSync the stream may start anywhere and is scanned for its first line. Problems are
// reported on standard error; the planes keep whatever refinement was reached.
void DecodeLayer(PackFile& file, HuffmanTables& tables, uint32_t width, uint32_t height,
                 Plane* luma, Plane* chroma1, Plane* chroma2, bool searchFirstSync);

}  // namespace photocd
