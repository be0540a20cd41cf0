// The 256 ternary raster operations: the byte engine, and BitBlt in several pixel formats,
// each against a plain bit-by-bit reading of the truth table.
#include "gdi_support.h"
#include "platform/gdi/rop.h"

using namespace gdi_test;

namespace {

// Result bit = bit (P << 2 | S << 1 | D) of the table, one bit position at a time.
uint32_t ReferenceRop(uint8_t table, uint32_t p, uint32_t s, uint32_t d, int bits) {
    uint32_t r = 0;
    for (int bit = 0; bit < bits; ++bit) {
        const int index = (((p >> bit) & 1) << 2) | (((s >> bit) & 1) << 1) | ((d >> bit) & 1);
        r |= static_cast<uint32_t>((table >> index) & 1) << bit;
    }
    return r;
}

uint32_t RopCode(int table) {
    return static_cast<uint32_t>(table) << 16;
}

}  // namespace

TEST(RopEngine, EveryTableMatchesTheBitwiseReference) {
    std::mt19937 rng(7);
    for (size_t n : {1u, 7u, 8u, 37u}) {
        const auto p = RandomBytes(rng, n), s = RandomBytes(rng, n), d = RandomBytes(rng, n);
        for (int t = 0; t < 256; ++t) {
            std::vector<uint8_t> fast = d, generic = d;
            platform::gdi::ApplyRop(static_cast<uint8_t>(t), fast.data(), s.data(), p.data(), n);
            platform::gdi::ApplyRopGeneric(static_cast<uint8_t>(t), generic.data(), s.data(),
                                           p.data(), n);
            for (size_t i = 0; i < n; ++i) {
                const auto want = static_cast<uint8_t>(
                    ReferenceRop(static_cast<uint8_t>(t), p[i], s[i], d[i], 8));
                ASSERT_EQ(fast[i], want) << "table " << t << " byte " << i;
                ASSERT_EQ(generic[i], want) << "table " << t << " byte " << i;
            }
        }
    }
}

// All 256 operations through BitBlt at every depth, against the truth table read bit by bit:
// pixels inside the rectangle take op(brush value, source value, old value); pixels outside, and
// neighbours that share a byte, stay, whether the source lines up with the destination's bytes or
// not. Unused bits of a pixel (the top of 555, the fourth byte of 32 bits) stay clear.
TEST(BitBltRop, AllOperationsAtEveryDepth) {
    std::mt19937 rng(5);
    for (int bits : {1, 4, 8, 16, 24, 32}) {
        const int W = 21, H = 3;
        BITMAPINFO info = MakeInfo(W, H, bits);
        for (int i = 0; i < 256; ++i)  // distinct colours; black and white for one bit
            info.bmiColors[i] = bits == 1 ? Quad(i ? 255 : 0, i ? 255 : 0, i ? 255 : 0)
                                          : Quad(uint8_t(i), uint8_t(255 - i), uint8_t(i * 7));
        uint32_t pattern = bits == 1 ? 1 : 9;
        COLORREF brushColor = bits == 1 ? kWhite : RGB(9, 246, 63);            // entry 1 or 9
        if (bits == 16) pattern = 0x2E83, brushColor = RGB(0x5A, 0xA5, 0x18);  // exact in 555
        if (bits >= 24) pattern = 0x5CA317, brushColor = RGB(0x5C, 0xA3, 0x17);
        const uint32_t valueMask = bits == 16 ? 0x7FFF : bits == 32 ? 0xFFFFFF : ~0u;
        // Random rows whose unused pixel bits are clear.
        const auto randomRows = [&] {
            auto v = RandomBytes(rng, static_cast<size_t>(Stride(W, bits)) * H);
            for (size_t i = bits == 16 ? 1 : 3; bits >= 16 && bits != 24 && i < v.size();
                 i += bits / 8)
                v[i] &= bits == 16 ? 0x7F : 0;
            return v;
        };
        void* dstBits = nullptr;
        void* srcBits = nullptr;
        Object dst(CreateDIBSection(0, &info, DIB_RGB_COLORS, &dstBits));
        Object src(CreateDIBSection(0, &info, DIB_RGB_COLORS, &srcBits));
        const auto srcData = randomRows();
        std::memcpy(srcBits, srcData.data(), srcData.size());
        Object brush(CreateSolidBrush(brushColor));
        MemoryDc dstDc(dst), srcDc(src);
        Selected selected(dstDc, brush);
        for (int srcX : {1, 2}) {
            // Runs that start and end inside a byte, and one within a single byte.
            for (const auto& [left, width] : {std::pair{3, 12}, std::pair{2, 1}, std::pair{9, 2}}) {
                for (int t = 0; t < 256; ++t) {
                    const auto before = randomRows();
                    std::memcpy(dstBits, before.data(), before.size());
                    // The low word of the code plays no part.
                    ASSERT_TRUE(
                        BitBlt(dstDc, left, 0, width, 2, srcDc, srcX, 1, RopCode(t) | 0x20));
                    for (int y = 0; y < H; ++y) {
                        for (int x = 0; x < W; ++x) {
                            uint32_t want = PixelValue(info, before.data(), x, y);
                            if (x >= left && x < left + width && y < 2)
                                want = valueMask & ReferenceRop(static_cast<uint8_t>(t), pattern,
                                                                PixelValue(info, srcData.data(),
                                                                           x - left + srcX, y + 1),
                                                                want, bits);
                            ASSERT_EQ(PixelValue(info, dstBits, x, y), want)
                                << bits << " bits, table " << t << " at " << x << "," << y;
                        }
                    }
                }
            }
        }
    }
}

TEST(FillRect, CoversLeftTopButNotRightBottom) {
    BITMAPINFO info = MakeInfo(6, 5, 8);
    info.bmiColors[3] = Quad(0, 200, 0);
    info.bmiColors[255] = Quad(255, 255, 255);
    void* bits = nullptr;
    Object bitmap(CreateDIBSection(0, &info, DIB_RGB_COLORS, &bits));
    MemoryDc dc(bitmap);
    Object green(CreateSolidBrush(RGB(0, 190, 10)));  // nearest entry is 3
    const RECT r{1, 1, 4, 3};
    ASSERT_EQ(FillRect(dc, &r, green), 1);
    auto at = [&](int x, int y) { return static_cast<uint8_t*>(bits)[(4 - y) * 8 + x]; };
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(at(x, y), (x >= 1 && x < 4 && y >= 1 && y < 3) ? 3 : 0) << x << "," << y;

    // Clipped at the edges, hollow brushes and empty rectangles paint nothing.
    const RECT all{-10, -10, 100, 100};
    const RECT inverted{4, 4, 2, 2};
    ASSERT_EQ(FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(NULL_BRUSH))), 1);
    ASSERT_EQ(FillRect(dc, &inverted, green), 1);
    EXPECT_EQ(at(3, 3), 0);
    ASSERT_EQ(FillRect(dc, &all, green), 1);
    EXPECT_EQ(at(5, 4), 3);
    EXPECT_EQ(FillRect(dc, &all, 0), 0);
    EXPECT_EQ(FillRect(dc, nullptr, green), 0);
    // PATINVERT: index 3 xor the brush's 3.
    Selected selected(dc, green);
    ASSERT_TRUE(BitBlt(dc, 2, 2, 1, 1, 0, 0, 0, PATINVERT));
    EXPECT_EQ(at(2, 2), 0);
}

TEST(Pixels, GetAndSetPixelInEachFormat) {
    for (int bits : {1, 4, 8, 16, 24, 32}) {
        SCOPED_TRACE(bits);
        BITMAPINFO info = MakeInfo(5, 3, bits);
        if (bits <= 8) {
            info.bmiColors[0] = Quad(0, 0, 0);
            info.bmiColors[1] = Quad(250, 10, 10);
        }
        Object bitmap(CreateDIBSection(0, &info, DIB_RGB_COLORS, nullptr));
        MemoryDc dc(bitmap);
        // The colour actually set comes back: the nearest the table has, or what the channels
        // carry (five bits of 0xC4 widen to 0xC6).
        const COLORREF set = SetPixel(dc, 4, 2, RGB(255, 0, 0xC4));
        if (bits <= 8)
            EXPECT_EQ(set, RGB(250, 10, 10));
        else if (bits == 16)
            EXPECT_EQ(set, RGB(255, 0, 0xC6));
        else
            EXPECT_EQ(set, RGB(255, 0, 0xC4));
        EXPECT_EQ(GetPixel(dc, 4, 2), set);
        EXPECT_EQ(GetPixel(dc, 3, 2), RGB(0, 0, 0));
        EXPECT_EQ(GetPixel(dc, 5, 2), CLR_INVALID);
        EXPECT_EQ(GetPixel(dc, -1, 0), CLR_INVALID);
        EXPECT_EQ(SetPixel(dc, 0, 3, 0), CLR_INVALID);
    }
    EXPECT_EQ(GetPixel(0, 0, 0), CLR_INVALID);
}
