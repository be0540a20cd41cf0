// Turning a filled decode area into the control's bitmap, palette and transparency mask.
#pragma once

#include "decode/decoded_image.h"

namespace decode {

// Builds the DIB section (and palette and mask) from the decode area. The pixel block is
// released on return in every case; no bitmap with errorCode set on failure.
HBITMAP BuildDib(DecodedImage& img, HDC dc, uint16_t dither);

// Colour reduction for palette displays.
// A palette of at most `wanted` colours for a 24-bit picture, into rgbPalette; wanted becomes
// the number of colours made. 0 or kNoMemory.
int32_t MedianCutPalette(DecodedImage& img, int32_t& wanted);
// Converts the picture to 4 bits with the fixed eight-colour palette. 0 or kNoMemory.
int32_t OrderedDither(DecodedImage& img);

}  // namespace decode
