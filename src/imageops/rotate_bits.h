// The pixel walk of a quarter turn, apart from any bitmap object, so it can be measured alone.
#pragma once

#include <cstddef>
#include <cstdint>

namespace imageops {

// Bytes per row of a packed DIB: rows padded to 32 bits.
size_t DibRowBytes(int width, int bitCount);

// Bytes per row of the turned picture, whose width is the source height: a packed DIB row, except
// for 1 bit per pixel, where rows are padded to 16 bits as a device-dependent monochrome bitmap's.
size_t TurnedRowBytes(int turnedWidth, int bitCount);

// Turns a bottom-up packed DIB of width x height pixels a quarter turn into dst, which holds
// width rows of TurnedRowBytes(height, bitCount) bytes: clockwise (x, y) goes to (height-1-y, x),
// counter-clockwise to (y, width-1-x), picture coordinates from the top left. dst comes out as a
// bottom-up DIB, except for 1 bit, where it is top-down. dst must be zero-filled for 1 and 4 bits
// (their pixels are OR-ed in); other depths overwrite every byte. Depths other than 1, 4, 8, 16,
// 24 and 32 leave dst untouched.
void TurnBits(const uint8_t* src, int width, int height, int bitCount, bool clockwise,
              uint8_t* dst);

}  // namespace imageops
