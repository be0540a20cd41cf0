// Ternary raster operations on packed pixel bytes. The operation code's bits 16 to 23 are a
// truth table: result bit = table bit at index (P << 2) | (S << 1) | D. Because the table
// works bit by bit, it applies to whole bytes of a row in any pixel format.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform::gdi {

inline uint8_t RopTable(uint32_t rop) {
    return static_cast<uint8_t>(rop >> 16);
}
// Whether the result depends on the source, the pattern or the destination.
inline bool RopUsesSource(uint8_t table) {
    return ((table >> 2) & 0x33) != (table & 0x33);
}
inline bool RopUsesPattern(uint8_t table) {
    return (table >> 4) != (table & 0x0F);
}
inline bool RopUsesDest(uint8_t table) {
    return ((table >> 1) & 0x55) != (table & 0x55);
}

// dst[i] = op(pattern[i], source[i], dst[i]) for n bytes; source or pattern may be null when
// the operation does not read them. The common operations take hand-written loops, the others
// one compiled per truth table.
void ApplyRop(uint8_t table, uint8_t* dst, const uint8_t* source, const uint8_t* pattern, size_t n);
// The same, reading the truth table bit by bit at run time.
void ApplyRopGeneric(uint8_t table, uint8_t* dst, const uint8_t* source, const uint8_t* pattern,
                     size_t n);

}  // namespace platform::gdi
