// The one blit routine behind BitBlt, StretchBlt, StretchDIBits, SetDIBits, GetDIBits and
// FillRect: maps destination pixels back into the source (nearest pixel, mirrored by negative
// extents), clips to both surfaces, converts the source to the destination's format and
// combines source, pattern and destination by a ternary raster operation.
#pragma once

#include <climits>
#include <cstdint>

#include "platform/gdi/gdi_objects.h"
#include "platform/gdi/pixel_format.h"

namespace platform::gdi {

// Rows of pixels in some format: a bitmap's memory or a packed DIB's.
struct Surface {
    uint8_t* bits = nullptr;
    int stride = 0;
    int width = 0;
    int height = 0;
    bool topDown = false;
    const PixelFormat* format = nullptr;

    uint8_t* Row(int y) const {
        return bits +
               static_cast<size_t>(topDown ? y : height - 1 - y) * static_cast<size_t>(stride);
    }
};

inline Surface SurfaceOf(Bitmap& bitmap, const PixelFormat& format) {
    return Surface{bitmap.pixels.get(), bitmap.stride,  bitmap.width,
                   bitmap.height,       bitmap.topDown, &format};
}

struct BlitRequest {
    int dx = 0, dy = 0, dw = 0, dh = 0;  // destination rectangle; negative extents mirror
    int sx = 0, sy = 0, sw = 0, sh = 0;  // source rectangle, rows counted from the top
    uint8_t rop = 0xCC;                  // truth table of the raster operation
    uint32_t pattern = 0;                // brush as a destination pixel value
    // Destination pixels outside [clipLeft, clipRight) x [clipTop, clipBottom) stay untouched.
    int clipLeft = INT32_MIN, clipTop = INT32_MIN, clipRight = INT32_MAX, clipBottom = INT32_MAX;
    // A hatched brush: rows of 8 bits from the device origin; set bits take pattern, clear
    // bits hatchBack.
    const uint8_t* hatch = nullptr;
    uint32_t hatchBack = 0;
    bool hatchOpaque = true;  // false: clear bits leave the destination alone
};

// Source and converter may be null when the operation does not read the source. Returns the
// number of destination rows written, or -1 when memory ran short.
int Blit(const Surface& dst, const Surface* src, PixelConverter* converter, const BlitRequest& r);

// The source x (or y) that destination step k of n reads, for a source extent of m: the
// centre of the destination pixel mapped back into the source.
inline int64_t StretchIndex(int64_t k, int64_t n, int64_t m) {
    return ((2 * k + 1) * m) / (2 * n);
}

}  // namespace platform::gdi
