// The display device and palette displays: capabilities, realisation into the system palette,
// and colour reduction on display-compatible bitmaps.
#include "gdi_support.h"

using namespace gdi_test;

namespace {

LOGPALETTE Ramp(int n, int offset) {
    LOGPALETTE lp{};
    lp.palVersion = 0x300;
    lp.palNumEntries = static_cast<uint16_t>(n);
    for (int i = 0; i < n; ++i)
        lp.palPalEntry[i] = {static_cast<uint8_t>(offset + 3 * i), static_cast<uint8_t>(100 + i),
                             77, 0};
    return lp;
}

}  // namespace

TEST(Display, CapabilitiesFollowTheDepth) {
    WindowDc window;
    MemoryDc memory;
    struct Case {
        int depth;
        bool palette;
        int sizePalette, reserved, colors;
    };
    for (const Case c :
         {Case{1, true, 2, 2, 2}, Case{4, true, 16, 16, 16}, Case{8, true, 256, 20, 20},
          Case{16, false, 0, 0, -1}, Case{24, false, 0, 0, -1}, Case{32, false, 0, 0, -1}}) {
        SCOPED_TRACE(c.depth);
        DisplayGuard guard(c.depth);
        for (HDC dc : {HDC(window), HDC(memory)}) {
            EXPECT_EQ(GetDeviceCaps(dc, BITSPIXEL), c.depth);
            EXPECT_EQ((GetDeviceCaps(dc, RASTERCAPS) & RC_PALETTE) != 0, c.palette);
            EXPECT_EQ(GetDeviceCaps(dc, SIZEPALETTE), c.sizePalette);
            EXPECT_EQ(GetDeviceCaps(dc, NUMRESERVED), c.reserved);
            EXPECT_EQ(GetDeviceCaps(dc, NUMCOLORS), c.colors);
        }
        Object bitmap(CreateCompatibleBitmap(window, 2, 2));
        BITMAP bm{};
        GetObject(bitmap, sizeof bm, &bm);
        EXPECT_EQ(bm.bmBitsPixel, c.depth);
    }
    EXPECT_EQ(DisplayDepth(), 32);
    EXPECT_FALSE(SetDisplayDepth(7));
    EXPECT_EQ(DisplayDepth(), 32);
    SetDisplayResolution(120, 144);
    EXPECT_EQ(GetDeviceCaps(window, LOGPIXELSX), 120);
    EXPECT_EQ(GetDeviceCaps(window, LOGPIXELSY), 144);
    SetDisplayResolution(96, 96);
    EXPECT_GT(GetDeviceCaps(window, HORZRES), 0);
    EXPECT_EQ(GetDeviceCaps(0, BITSPIXEL), 0);
    EXPECT_EQ(GetDeviceCaps(window, 9999), 0);
}

TEST(Palettes, EntriesNearestIndexAndSize) {
    LOGPALETTE lp = Ramp(5, 10);
    Object palette(CreatePalette(&lp));
    ASSERT_NE(palette.get(), 0u);
    uint16_t count = 0;
    EXPECT_EQ(GetObject(palette, 2, &count), 2);
    EXPECT_EQ(count, 5);
    EXPECT_EQ(GetPaletteEntries(palette, 0, 0, nullptr), 5u);
    PALETTEENTRY e[8] = {};
    EXPECT_EQ(GetPaletteEntries(palette, 3, 8, e), 2u);
    EXPECT_EQ(e[0].peRed, 19);
    const PALETTEENTRY changed = {250, 0, 0, 0};
    EXPECT_EQ(SetPaletteEntries(palette, 4, 3, &changed), 1u);
    EXPECT_EQ(GetNearestPaletteIndex(palette, RGB(240, 10, 10)), 4u);
    EXPECT_EQ(GetNearestPaletteIndex(palette, RGB(13, 101, 77)), 1u);
    EXPECT_EQ(SetPaletteEntries(palette, 5, 1, &changed), 0u);
    EXPECT_EQ(GetPaletteEntries(palette, 9, 1, e), 0u);
    LOGPALETTE empty{};
    empty.palVersion = 0x300;
    EXPECT_EQ(CreatePalette(&empty), 0u);
    EXPECT_EQ(CreatePalette(nullptr), 0u);
    // The stock palette holds the twenty static colours and cannot change.
    const HPALETTE stock = static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE));
    EXPECT_EQ(GetPaletteEntries(stock, 0, 0, nullptr), 20u);
    EXPECT_EQ(SetPaletteEntries(stock, 0, 1, &changed), 0u);
    EXPECT_FALSE(DeleteObject(stock));
}

TEST(PaletteDisplay, RealisingMapsTheLogicalPaletteIntoTheSystemPalette) {
    DisplayGuard guard(8);
    WindowDc window;
    // Thirty colours, two of which are static colours already.
    LOGPALETTE lp = Ramp(30, 20);
    lp.palPalEntry[5] = {255, 255, 255, 0};
    lp.palPalEntry[6] = {128, 0, 0, 0};
    Object palette(CreatePalette(&lp));
    const HPALETTE old = SelectPalette(window, palette, false);
    EXPECT_EQ(old, static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)));
    EXPECT_EQ(RealizePalette(window), 28u);
    EXPECT_EQ(RealizePalette(window), 0u);  // already there

    // A 24-bit picture in those colours drawn on a display-compatible bitmap holds system
    // palette indices of exactly those colours.
    const int n = 30;
    BITMAPINFO info = MakeInfo(n + 1, 1, 24);
    std::vector<uint8_t> row(Stride(n + 1, 24));
    for (int i = 0; i < n; ++i) {
        row[3 * i] = lp.palPalEntry[i].peBlue;
        row[3 * i + 1] = lp.palPalEntry[i].peGreen;
        row[3 * i + 2] = lp.palPalEntry[i].peRed;
    }
    row[3 * n] = 30, row[3 * n + 1] = 140, row[3 * n + 2] = 240;  // not in the palette
    Object screen(CreateCompatibleBitmap(window, n + 1, 1));
    MemoryDc dc(screen);
    ASSERT_GT(StretchDIBits(dc, 0, 0, n + 1, 1, 0, 0, n + 1, 1, row.data(), &info, DIB_RGB_COLORS,
                            SRCCOPY),
              0);
    for (int i = 0; i < n; ++i) {
        const PALETTEENTRY& e = lp.palPalEntry[i];
        EXPECT_EQ(GetPixel(dc, i, 0), RGB(e.peRed, e.peGreen, e.peBlue)) << i;
    }
    // Read back as 8 bits: the system palette and its indices. Realised colours fill the
    // middle from index 10 in order; static ones stay where they are.
    BITMAPINFO out = MakeInfo(n + 1, 1, 8);
    std::vector<uint8_t> idx(Stride(n + 1, 8));
    ASSERT_EQ(GetDIBits(dc, screen, 0, 1, idx.data(), &out, DIB_RGB_COLORS), 1);
    EXPECT_EQ(std::vector<int>(idx.begin(), idx.begin() + 8),
              (std::vector<int>{10, 11, 12, 13, 14, 255, 1, 15}));  // white and dark red static
    EXPECT_EQ(out.bmiColors[15].rgbRed, lp.palPalEntry[7].peRed);
    EXPECT_EQ(out.bmiColors[0].rgbRed, 0);
    EXPECT_EQ(out.bmiColors[249].rgbRed, 255);
    // The colour that is not in the palette became the nearest one the system palette has.
    const auto distance = [](int r, int g, int b) {
        return (r - 240) * (r - 240) + (g - 140) * (g - 140) + (b - 30) * (b - 30);
    };
    const COLORREF reduced = GetPixel(dc, n, 0);
    int best = INT32_MAX;
    for (int i = 0; i < 256; ++i)
        if (i < 38 || i >= 246)  // the static colours and the realised ones
            best = std::min(best, distance(out.bmiColors[i].rgbRed, out.bmiColors[i].rgbGreen,
                                           out.bmiColors[i].rgbBlue));
    EXPECT_EQ(distance(GetRValue(reduced), GetGValue(reduced), GetBValue(reduced)), best);

    // A different foreground palette takes the middle over: the old colours are gone.
    LOGPALETTE other = Ramp(3, 1);
    Object second(CreatePalette(&other));
    MemoryDc otherDc;
    SelectPalette(otherDc, second, false);
    EXPECT_EQ(RealizePalette(otherDc), 28u);         // 3 entries changed, 25 freed
    EXPECT_EQ(GetPixel(dc, 0, 0), RGB(1, 100, 77));  // index 10 shows the new colour
    // A background palette only adds what is missing, in free entries.
    SelectPalette(window, palette, true);
    EXPECT_EQ(RealizePalette(window), 28u);
    EXPECT_EQ(GetPixel(dc, 0, 0), RGB(1, 100, 77));
    SelectPalette(window, old, false);
    SelectPalette(otherDc, static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)), false);
}

// Without a realised palette a display bitmap holds only the fixed colours: the twenty static
// ones at 8 bits, sixteen at 4, black and white at 1; a logical palette realises nothing there.
TEST(PaletteDisplay, WithoutARealisedPaletteOnlyFixedColoursRemain) {
    const struct {
        int depth;
        COLORREF asked, got;
    } rows[] = {{8, RGB(250, 5, 5), RGB(255, 0, 0)},
                {8, RGB(120, 120, 125), RGB(128, 128, 128)},
                {4, RGB(200, 190, 185), RGB(192, 192, 192)},
                {1, RGB(90, 90, 90), kBlack}};
    LOGPALETTE lp = Ramp(4, 0);
    Object palette(CreatePalette(&lp));
    for (const auto& row : rows) {
        DisplayGuard guard(row.depth);
        WindowDc window;
        Object screen(CreateCompatibleBitmap(window, 2, 1));
        MemoryDc dc(screen);
        EXPECT_EQ(SetPixel(dc, 0, 0, row.asked), row.got) << row.depth;
        EXPECT_EQ(RealizePalette(dc), 0u);  // the default palette
        if (row.depth == 4) {
            const HPALETTE old = SelectPalette(dc, palette, false);
            EXPECT_EQ(RealizePalette(dc), 0u);  // the sixteen colours are fixed
            SelectPalette(dc, old, false);
        }
        // Blits between display bitmaps copy indices; whiteness is all ones, white.
        Object other(CreateCompatibleBitmap(window, 2, 1));
        MemoryDc otherDc(other);
        ASSERT_TRUE(BitBlt(otherDc, 0, 0, 2, 1, dc, 0, 0, SRCCOPY));
        EXPECT_EQ(GetPixel(otherDc, 0, 0), row.got);
        ASSERT_TRUE(BitBlt(otherDc, 0, 0, 1, 1, 0, 0, 0, WHITENESS));
        EXPECT_EQ(GetPixel(otherDc, 0, 0), kWhite);
    }
}
