// A bitmap as one byte string: BITMAPINFOHEADER, colour table, rows padded to four bytes.
// This is how a picture travels inside a saved property set.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/os/wintypes.h"

namespace platform {

// The bitmap's pixels at its own depth (16 bits widen to 24 so nothing is lost); empty when
// the handle is not a readable bitmap.
std::vector<uint8_t> PackBitmap(HBITMAP bitmap);

// A DIB section made from a packed DIB of 1, 4, 8, 16, 24 or 32 bits without compression, and
// for 8 bits and less a palette of its colour table in *palette. 0 for anything malformed.
HBITMAP UnpackBitmap(std::span<const uint8_t> packed, HPALETTE* palette);

}  // namespace platform
