// Bit planes to one value per pixel, as the planar formats (IFF ILBM, GEM raster) store their
// pictures: plane p, planeStride bytes after plane p - 1, gives bit p of every pixel's value,
// and the leftmost pixel of a plane byte is its most significant bit. Eight pixels are spread
// at a time through a table, so a picture of many planes costs one lookup per plane byte.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace decode {

namespace planar_detail {
// Byte i of entry b holds bit 7 - i of b.
constexpr std::array<uint64_t, 256> MakeSpreadTable() {
    std::array<uint64_t, 256> t{};
    for (int b = 0; b < 256; ++b)
        for (int i = 0; i < 8; ++i)
            if (b & (0x80 >> i)) t[b] |= uint64_t{1} << (8 * i);
    return t;
}
inline constexpr std::array<uint64_t, 256> kSpread = MakeSpreadTable();
}  // namespace planar_detail

// Writes width values of up to 8 planes (count) to out, one byte a pixel.
inline void PlanesToBytes(const uint8_t* planes, size_t planeStride, int count, size_t width,
                          uint8_t* out) {
    for (size_t column = 0; column * 8 < width; ++column) {
        uint64_t pixels = 0;
        for (int p = 0; p < count; ++p)
            pixels |= planar_detail::kSpread[planes[p * planeStride + column]] << p;
        const size_t n = width - column * 8 < 8 ? width - column * 8 : 8;
        for (size_t i = 0; i < n; ++i)
            out[column * 8 + i] = static_cast<uint8_t>(pixels >> (8 * i));
    }
}

}  // namespace decode
