#include "imageops/rotate_bits.h"

#include <algorithm>
#include <cstring>

namespace imageops {

namespace {

// Where the walk reads and writes; rows are addressed in picture order (0 is the top row).
struct Geometry {
    const uint8_t* src;
    size_t srcStride;
    uint8_t* dst;
    size_t dstStride;
    int width;   // of the source
    int height;  // of the source
    bool clockwise;
    bool dstTopDown;

    const uint8_t* SrcRow(int y) const {
        return src + static_cast<size_t>(height - 1 - y) * srcStride;
    }
    uint8_t* DstRow(int y) const {
        return dst + static_cast<size_t>(dstTopDown ? y : width - 1 - y) * dstStride;
    }
};

// Walks the source in square tiles small enough that the source lines a tile reads stay in the
// first-level cache while every destination row of the tile is written in one run.
template <typename Put>
void Walk(const Geometry& g, int tile, Put put) {
    for (int y0 = 0; y0 < g.height; y0 += tile) {
        const int y1 = std::min(g.height, y0 + tile);
        for (int x0 = 0; x0 < g.width; x0 += tile) {
            const int x1 = std::min(g.width, x0 + tile);
            for (int x = x0; x < x1; ++x) {
                uint8_t* drow = g.DstRow(g.clockwise ? x : g.width - 1 - x);
                if (g.clockwise) {
                    for (int y = y0; y < y1; ++y)
                        put(drow, g.height - 1 - y, g.SrcRow(y), x);
                } else {
                    for (int y = y0; y < y1; ++y)
                        put(drow, y, g.SrcRow(y), x);
                }
            }
        }
    }
}

template <size_t Bytes>
void TurnWhole(const Geometry& g, int tile) {
    Walk(g, tile, [](uint8_t* drow, int dx, const uint8_t* srow, int x) {
        std::memcpy(drow + static_cast<size_t>(dx) * Bytes, srow + static_cast<size_t>(x) * Bytes,
                    Bytes);
    });
}

// Eight rows of eight bytes turned at once: a clockwise turn of an 8 x 8 block of bytes.
void TurnBlock8Clockwise(const uint8_t* const* rows, int x, uint8_t* const* out, int dx) {
    // out row k (source column x + k) gets the source rows bottom to top.
    for (int k = 0; k < 8; ++k) {
        uint8_t* d = out[k] + dx;
        for (int r = 0; r < 8; ++r)
            d[r] = rows[7 - r][x + k];
    }
}

// 8-bit pictures: whole 8 x 8 blocks, so each destination row receives eight bytes per step.
void TurnBytes(const Geometry& g) {
    constexpr int kTile = 128;
    const int fullW = g.width & ~7;
    const int fullH = g.height & ~7;
    for (int y0 = 0; y0 < fullH; y0 += kTile) {
        const int y1 = std::min(fullH, y0 + kTile);
        for (int x0 = 0; x0 < fullW; x0 += kTile) {
            const int x1 = std::min(fullW, x0 + kTile);
            for (int y = y0; y < y1; y += 8) {
                const uint8_t* rows[8];
                for (int r = 0; r < 8; ++r)
                    rows[r] = g.SrcRow(g.clockwise ? y + r : y + 7 - r);
                for (int x = x0; x < x1; x += 8) {
                    uint8_t* out[8];
                    for (int k = 0; k < 8; ++k)
                        out[k] = g.DstRow(g.clockwise ? x + k : g.width - 1 - (x + k));
                    // Counter-clockwise is the clockwise block of the rows taken bottom-up,
                    // written at the mirrored column.
                    const int dx = g.clockwise ? g.height - 8 - y : y;
                    TurnBlock8Clockwise(rows, x, out, dx);
                }
            }
        }
    }
    // The right and bottom edges that do not fill a block.
    for (int y = 0; y < g.height; ++y)
        for (int x = (y < fullH ? fullW : 0); x < g.width; ++x)
            g.DstRow(g.clockwise ? x : g.width - 1 - x)[g.clockwise ? g.height - 1 - y : y] =
                g.SrcRow(y)[x];
}

}  // namespace

size_t DibRowBytes(int width, int bitCount) {
    return ((static_cast<size_t>(width) * static_cast<size_t>(bitCount) + 31) / 32) * 4;
}

size_t TurnedRowBytes(int turnedWidth, int bitCount) {
    if (bitCount == 1) return ((static_cast<size_t>(turnedWidth) + 15) / 16) * 2;
    return DibRowBytes(turnedWidth, bitCount);
}

void TurnBits(const uint8_t* src, int width, int height, int bitCount, bool clockwise,
              uint8_t* dst) {
    if (width <= 0 || height <= 0) return;
    const Geometry g{src,       DibRowBytes(width, bitCount),
                     dst,       TurnedRowBytes(height, bitCount),
                     width,     height,
                     clockwise, bitCount == 1};
    // Row padding of the destination is not covered by the walk.
    if (bitCount >= 8) {
        const size_t used = static_cast<size_t>(height) * static_cast<size_t>(bitCount / 8);
        for (int y = 0; y < width; ++y)
            std::memset(g.DstRow(y) + used, 0, g.dstStride - used);
    }
    switch (bitCount) {
        case 1:
            Walk(g, 256, [](uint8_t* drow, int dx, const uint8_t* srow, int x) {
                const int bit = (srow[x >> 3] >> (7 - (x & 7))) & 1;
                drow[dx >> 3] = static_cast<uint8_t>(drow[dx >> 3] | (bit << (7 - (dx & 7))));
            });
            break;
        case 4:
            Walk(g, 128, [](uint8_t* drow, int dx, const uint8_t* srow, int x) {
                const int v = (x & 1) ? srow[x >> 1] & 0x0F : srow[x >> 1] >> 4;
                drow[dx >> 1] = static_cast<uint8_t>(drow[dx >> 1] | ((dx & 1) ? v : v << 4));
            });
            break;
        case 8:
            TurnBytes(g);
            break;
        case 16:
            TurnWhole<2>(g, 64);
            break;
        case 24:
            TurnWhole<3>(g, 64);
            break;
        case 32:
            TurnWhole<4>(g, 64);
            break;
        default:
            break;
    }
}

}  // namespace imageops
