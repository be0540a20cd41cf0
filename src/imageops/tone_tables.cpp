#include "imageops/tone_tables.h"

#include <algorithm>
#include <cstring>
#include <optional>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace imageops {

namespace {

int Amount(int level) {
    return std::clamp(level, -100, 100) * 2;
}

uint8_t Clamp8(int v) {
    return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

std::array<uint8_t, 256> Shifted(int amount) {
    std::array<uint8_t, 256> t{};
    for (int c = 0; c < 256; ++c)
        t[c] = Clamp8(c + amount);
    return t;
}

// How a 16-bit component is brought to 8 bits: a right shift (positive) or a left shift.
int RedShift(uint32_t mask) {
    return mask == 0x7C00 ? 7 : 8;
}
int GreenShift(uint32_t mask) {
    if (mask == 0x03E0) return 2;
    if (mask == 0x0FC0) return 4;
    return 3;  // 0x07E0, 0x07C0, and what has no rule of its own
}
int BlueShift(uint32_t mask) {
    return mask == 0x001F ? -3 : -2;
}

uint32_t Take(uint32_t pixel, uint32_t mask, int shift) {
    const uint32_t v = pixel & mask;
    return (shift >= 0 ? v >> shift : v << -shift) & 0xFF;
}
uint32_t Put(uint32_t value, uint32_t mask, int shift) {
    return (shift >= 0 ? value << shift : value >> -shift) & mask;
}

// A table that adds k to every value and clamps: k, else nothing.
std::optional<int> OffsetOf(const std::array<uint8_t, 256>& t) {
    const int k = t[0] > 0 ? t[0] : t[255] - 255;
    for (int c = 0; c < 256; ++c)
        if (t[c] != Clamp8(c + k)) return std::nullopt;
    return k;
}

#if defined(__SSE2__)
// When every channel's table is a clamped offset, whole runs of bytes go through saturating
// adds and subtracts, sixteen at a time; the tables serve the remaining pixels of each row.
// Returns the number of pixels of each row it did, 0 when the tables are no offsets.
template <int Bytes>
int ApplyOffsets(const ToneTables& t, uint8_t* rows, size_t stride, int width, int height) {
    const auto b = OffsetOf(t.blue), g = OffsetOf(t.green), r = OffsetOf(t.red);
    if (!b || !g || !r) return 0;
    // One period of the byte pattern: 48 bytes for three-byte pixels, 16 for four-byte ones.
    constexpr int kPeriod = Bytes == 3 ? 48 : 16;
    alignas(16) uint8_t up[kPeriod], down[kPeriod];
    const int offsets[4] = {*b, *g, *r, 0};
    for (int i = 0; i < kPeriod; ++i) {
        const int k = offsets[i % Bytes];
        up[i] = static_cast<uint8_t>(std::clamp(k, 0, 255));
        down[i] = static_cast<uint8_t>(std::clamp(-k, 0, 255));
    }
    constexpr int kPixels = kPeriod / Bytes;
    const int done = width / kPixels * kPixels;
    for (int y = 0; y < height; ++y) {
        uint8_t* p = rows + static_cast<size_t>(y) * stride;
        uint8_t* const end = p + static_cast<size_t>(done) * Bytes;
        for (; p != end; p += kPeriod)
            for (int i = 0; i < kPeriod; i += 16) {
                auto* at = reinterpret_cast<__m128i*>(p + i);
                const __m128i v = _mm_loadu_si128(at);
                const __m128i a = _mm_load_si128(reinterpret_cast<const __m128i*>(up + i));
                const __m128i s = _mm_load_si128(reinterpret_cast<const __m128i*>(down + i));
                _mm_storeu_si128(at, _mm_subs_epu8(_mm_adds_epu8(v, a), s));
            }
    }
    return done;
}
#else
template <int Bytes>
int ApplyOffsets(const ToneTables&, uint8_t*, size_t, int, int) {
    return 0;
}
#endif

template <int Bytes>
void ApplyBgr(const ToneTables& t, uint8_t* rows, size_t stride, int width, int height) {
    const int done = ApplyOffsets<Bytes>(t, rows, stride, width, height);
    if (done == width) return;
    rows += static_cast<size_t>(done) * Bytes;
    width -= done;
    const uint8_t* const b = t.blue.data();
    const uint8_t* const g = t.green.data();
    const uint8_t* const r = t.red.data();
    for (int y = 0; y < height; ++y) {
        uint8_t* p = rows + static_cast<size_t>(y) * stride;
        uint8_t* const end = p + static_cast<size_t>(width) * Bytes;
        for (; p != end; p += Bytes) {
            const uint8_t pb = p[0], pg = p[1], pr = p[2];
            p[0] = b[pb];
            p[1] = g[pg];
            p[2] = r[pr];
        }
    }
}

void Apply16(const ToneTables& t, uint8_t* rows, size_t stride, int width, int height,
             const uint32_t masks[3]) {
    const int rs = RedShift(masks[0]), gs = GreenShift(masks[1]), bs = BlueShift(masks[2]);
    for (int y = 0; y < height; ++y) {
        uint8_t* p = rows + static_cast<size_t>(y) * stride;
        for (int x = 0; x < width; ++x, p += 2) {
            const uint32_t pixel = p[0] | (uint32_t{p[1]} << 8);
            const uint32_t out = Put(t.red[Take(pixel, masks[0], rs)], masks[0], rs) |
                                 Put(t.green[Take(pixel, masks[1], gs)], masks[1], gs) |
                                 Put(t.blue[Take(pixel, masks[2], bs)], masks[2], bs);
            p[0] = static_cast<uint8_t>(out);
            p[1] = static_cast<uint8_t>(out >> 8);
        }
    }
}

}  // namespace

ToneTables BrightnessTables(int level) {
    const auto t = Shifted(Amount(level));
    return ToneTables{t, t, t};
}

ToneTables ContrastTables(int level) {
    const int a = Amount(level);
    std::array<uint8_t, 256> t{};
    for (int c = 0; c < 256; ++c) {
        if (a >= 0)
            t[c] = Clamp8(c < 128 ? c - a : c + a);
        else  // towards the middle, never across it
            t[c] = static_cast<uint8_t>(c < 128 ? std::min(c - a, 127) : std::max(c + a, 128));
    }
    return ToneTables{t, t, t};
}

ToneTables ColorBalanceTables(int red, int green, int blue) {
    return ToneTables{Shifted(Amount(red)), Shifted(Amount(green)), Shifted(Amount(blue))};
}

void ApplyToRows(const ToneTables& t, uint8_t* rows, size_t stride, int width, int height,
                 int bitCount, const uint32_t masks[3]) {
    switch (bitCount) {
        case 16:
            Apply16(t, rows, stride, width, height, masks);
            break;
        case 24:
            ApplyBgr<3>(t, rows, stride, width, height);
            break;
        case 32:
            ApplyBgr<4>(t, rows, stride, width, height);
            break;
        default:
            break;
    }
}

void ApplyToColors(const ToneTables& t, RGBQUAD* colors, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        colors[i].rgbRed = t.red[colors[i].rgbRed];
        colors[i].rgbGreen = t.green[colors[i].rgbGreen];
        colors[i].rgbBlue = t.blue[colors[i].rgbBlue];
    }
}

void ApplyToEntries(const ToneTables& t, PALETTEENTRY* entries, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        entries[i].peRed = t.red[entries[i].peRed];
        entries[i].peGreen = t.green[entries[i].peGreen];
        entries[i].peBlue = t.blue[entries[i].peBlue];
    }
}

}  // namespace imageops
