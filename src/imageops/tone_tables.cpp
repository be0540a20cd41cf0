#include "imageops/tone_tables.h"

#include <algorithm>
#include <cstring>

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

template <int Bytes>
void ApplyBgr(const ToneTables& t, uint8_t* rows, size_t stride, int width, int height) {
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
