#include "imageops/rotate_bits.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

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

// The source rows of a block of n rows starting at picture row y, in the order the turn puts
// them into each destination row, and the destination column where that run starts.
template <int N>
int BlockRows(const Geometry& g, int y, const uint8_t* (&rows)[N]) {
    for (int r = 0; r < N; ++r)
        rows[r] = g.SrcRow(g.clockwise ? y + N - 1 - r : y + r);
    return g.clockwise ? g.height - N - y : y;
}

// The destination row that source column x goes to.
uint8_t* TurnedRow(const Geometry& g, int x) {
    return g.DstRow(g.clockwise ? x : g.width - 1 - x);
}

// Blocks of Rows x Cols source pixels over the part [0, fullW) x [0, fullH), in square tiles of
// `tile` pixels: block(rows, x, dx) gets the block's rows in output order (BlockRows), its first
// column and the destination column.
template <int Rows, int Cols, typename Block>
void WalkBlocks(const Geometry& g, int tile, int fullW, int fullH, Block block) {
    for (int y0 = 0; y0 < fullH; y0 += tile) {
        const int y1 = std::min(fullH, y0 + tile);
        for (int x0 = 0; x0 < fullW; x0 += tile) {
            const int x1 = std::min(fullW, x0 + tile);
            for (int y = y0; y < y1; y += Rows) {
                const uint8_t* rows[Rows];
                const int dx = BlockRows(g, y, rows);
                for (int x = x0; x < x1; x += Cols)
                    block(rows, x, dx);
            }
        }
    }
}

// The pixels no block covers: columns from xFrom on in rows below yTo, and every column of
// the rows from yTo on.
template <size_t Bytes>
void TurnEdges(const Geometry& g, int xFrom, int yTo) {
    for (int y = 0; y < g.height; ++y) {
        const int dx = g.clockwise ? g.height - 1 - y : y;
        for (int x = y < yTo ? xFrom : 0; x < g.width; ++x)
            std::memcpy(TurnedRow(g, x) + static_cast<size_t>(dx) * Bytes,
                        g.SrcRow(y) + static_cast<size_t>(x) * Bytes, Bytes);
    }
}

#if defined(__SSE2__)
// 8 x 8 bytes: eight 8-byte loads, a transpose in registers, eight 8-byte stores.
void TurnBlock8(const uint8_t* const* rows, int x, const Geometry& g, int dx) {
    auto load = [&](int r) {
        return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(rows[r] + x));
    };
    const __m128i t0 = _mm_unpacklo_epi8(load(0), load(1));
    const __m128i t1 = _mm_unpacklo_epi8(load(2), load(3));
    const __m128i t2 = _mm_unpacklo_epi8(load(4), load(5));
    const __m128i t3 = _mm_unpacklo_epi8(load(6), load(7));
    const __m128i u0 = _mm_unpacklo_epi16(t0, t1), u1 = _mm_unpackhi_epi16(t0, t1);
    const __m128i u2 = _mm_unpacklo_epi16(t2, t3), u3 = _mm_unpackhi_epi16(t2, t3);
    const __m128i columns[4] = {_mm_unpacklo_epi32(u0, u2), _mm_unpackhi_epi32(u0, u2),
                                _mm_unpacklo_epi32(u1, u3), _mm_unpackhi_epi32(u1, u3)};
    for (int k = 0; k < 4; ++k) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(TurnedRow(g, x + 2 * k) + dx), columns[k]);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(TurnedRow(g, x + 2 * k + 1) + dx),
                         _mm_unpackhi_epi64(columns[k], columns[k]));
    }
}
#else
void TurnBlock8(const uint8_t* const* rows, int x, const Geometry& g, int dx) {
    for (int k = 0; k < 8; ++k) {
        uint8_t* d = TurnedRow(g, x + k) + dx;
        for (int r = 0; r < 8; ++r)
            d[r] = rows[r][x + k];
    }
}
#endif

// 8-bit pictures: 8 x 8 blocks, so each destination row receives eight bytes per step.
void TurnBytes(const Geometry& g) {
    const int fullW = g.width & ~7;
    const int fullH = g.height & ~7;
    WalkBlocks<8, 8>(g, 256, fullW, fullH, [&](const uint8_t* const* rows, int x, int dx) {
        TurnBlock8(rows, x, g, dx);
    });
    TurnEdges<1>(g, fullW, fullH);
}

#if defined(__x86_64__) || defined(__i386__)
// 24-bit pictures, 4 x 4 pixels at a time: each row's 12 bytes widened to four 32-bit lanes, a
// 4 x 4 transpose, and each column narrowed back to 12 bytes. Needs SSSE3's byte shuffle.
__attribute__((target("ssse3"))) inline __m128i Widened(const uint8_t* p, __m128i widen) {
    return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), widen);
}

// Four pixels of four rows, each column narrowed to 12 bytes: the rows in r[0..3].
__attribute__((target("ssse3"))) inline void Transpose4x4(const uint8_t* const* r, size_t at,
                                                          __m128i widen, __m128i narrow,
                                                          __m128i (&columns)[4]) {
    const __m128i a0 = Widened(r[0] + at, widen), a1 = Widened(r[1] + at, widen);
    const __m128i a2 = Widened(r[2] + at, widen), a3 = Widened(r[3] + at, widen);
    const __m128i t0 = _mm_unpacklo_epi32(a0, a1), t1 = _mm_unpackhi_epi32(a0, a1);
    const __m128i t2 = _mm_unpacklo_epi32(a2, a3), t3 = _mm_unpackhi_epi32(a2, a3);
    columns[0] = _mm_shuffle_epi8(_mm_unpacklo_epi64(t0, t2), narrow);
    columns[1] = _mm_shuffle_epi8(_mm_unpackhi_epi64(t0, t2), narrow);
    columns[2] = _mm_shuffle_epi8(_mm_unpacklo_epi64(t1, t3), narrow);
    columns[3] = _mm_shuffle_epi8(_mm_unpackhi_epi64(t1, t3), narrow);
}

// 24-bit pictures, 4 columns x 8 rows at a time: two 4 x 4 transposes whose 12-byte columns
// join into 24 bytes, written as one 16-byte and one 8-byte store per destination row.
__attribute__((target("ssse3"))) void TurnTriplesSsse3(const Geometry& g) {
    // The last blocks of a row stop short of its end, so the 16-byte loads stay inside it.
    const int fullW = g.width >= 6 ? (g.width - 2) & ~3 : 0;
    const int fullH = g.height & ~7;
    const __m128i widen = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i narrow = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    WalkBlocks<8, 4>(
        g, 128, fullW,
        fullH, [&](const uint8_t* const* rows, int x, int column) __attribute__((target("ssse3"))) {
            const size_t at = static_cast<size_t>(x) * 3;
            const size_t dx = static_cast<size_t>(column) * 3;
            __m128i first[4], second[4];
            Transpose4x4(rows, at, widen, narrow, first);
            Transpose4x4(rows + 4, at, widen, narrow, second);
            for (int k = 0; k < 4; ++k) {
                uint8_t* d = TurnedRow(g, x + k) + dx;
                _mm_storeu_si128(reinterpret_cast<__m128i*>(d),
                                 _mm_or_si128(first[k], _mm_slli_si128(second[k], 12)));
                _mm_storel_epi64(reinterpret_cast<__m128i*>(d + 16), _mm_srli_si128(second[k], 4));
            }
        });
    TurnEdges<3>(g, fullW, fullH);
}

bool TurnTriplesFast(const Geometry& g) {
    if (!__builtin_cpu_supports("ssse3")) return false;
    TurnTriplesSsse3(g);
    return true;
}
#else
bool TurnTriplesFast(const Geometry&) {
    return false;
}
#endif

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
            if (!TurnTriplesFast(g)) TurnWhole<3>(g, 64);
            break;
        case 32:
            TurnWhole<4>(g, 64);
            break;
        default:
            break;
    }
}

}  // namespace imageops
