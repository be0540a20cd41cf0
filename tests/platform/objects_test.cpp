// Object lifetime: selection, deletion rules, stale and foreign handles, and no leaks.
#include "gdi_support.h"

using namespace gdi_test;

TEST(Objects, SelectionRulesAndDeletion) {
    BITMAPINFO info = MakeInfo(2, 2, 24);
    const HBITMAP bitmap = CreateDIBSection(0, &info, DIB_RGB_COLORS, nullptr);
    const HDC a = CreateCompatibleDC(0);
    const HDC b = CreateCompatibleDC(a);
    const HGDIOBJ initial = SelectObject(a, bitmap);
    ASSERT_NE(initial, 0u);
    EXPECT_EQ(GetCurrentObject(a, OBJ_BITMAP), bitmap);
    // A bitmap sits in one DC at a time, and cannot be deleted while it does.
    EXPECT_EQ(SelectObject(b, bitmap), 0u);
    EXPECT_FALSE(DeleteObject(bitmap));
    // Both DCs can hold the shared initial bitmap.
    EXPECT_EQ(GetCurrentObject(b, OBJ_BITMAP), initial);
    EXPECT_FALSE(DeleteObject(initial));
    // Deleting the DC releases its bitmap.
    EXPECT_TRUE(DeleteDC(a));
    EXPECT_NE(SelectObject(b, bitmap), 0u);
    EXPECT_EQ(SelectObject(b, initial), bitmap);
    EXPECT_TRUE(DeleteObject(bitmap));

    // Brushes and palettes likewise, and stock objects never go.
    const HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    const HGDIOBJ oldBrush = SelectObject(b, brush);
    EXPECT_EQ(oldBrush, GetStockObject(WHITE_BRUSH));
    EXPECT_FALSE(DeleteObject(brush));
    SelectObject(b, oldBrush);
    EXPECT_TRUE(DeleteObject(brush));
    LOGPALETTE lp{};
    lp.palVersion = 0x300;
    lp.palNumEntries = 1;
    const HPALETTE palette = CreatePalette(&lp);
    const HPALETTE oldPalette = SelectPalette(b, palette, false);
    EXPECT_FALSE(DeleteObject(palette));
    EXPECT_EQ(SelectObject(b, palette), 0u);  // palettes go through SelectPalette
    SelectPalette(b, oldPalette, false);
    EXPECT_TRUE(DeleteObject(palette));
    for (int stock : {WHITE_BRUSH, GRAY_BRUSH, NULL_BRUSH})
        EXPECT_FALSE(DeleteObject(GetStockObject(stock)));
    EXPECT_EQ(GetStockObject(42), 0u);
    EXPECT_TRUE(DeleteDC(b));

    // The display DC takes no bitmap and is given back with ReleaseDC.
    const HDC window = GetDC(0);
    BITMAPINFO small = MakeInfo(1, 1, 8);
    Object other(CreateDIBSection(0, &small, DIB_RGB_COLORS, nullptr));
    EXPECT_EQ(SelectObject(window, other), 0u);
    EXPECT_EQ(GetCurrentObject(window, OBJ_BITMAP), 0u);
    const HDC memory = CreateCompatibleDC(window);
    EXPECT_EQ(ReleaseDC(0, memory), 0);  // not a display DC
    EXPECT_TRUE(DeleteDC(memory));
    EXPECT_EQ(ReleaseDC(0, window), 1);
}

TEST(Objects, StaleAndForeignHandlesAreRefused) {
    BITMAPINFO info = MakeInfo(3, 3, 8);
    const HBITMAP bitmap = CreateDIBSection(0, &info, DIB_RGB_COLORS, nullptr);
    ASSERT_TRUE(DeleteObject(bitmap));
    BITMAP bm{};
    EXPECT_EQ(GetObject(bitmap, sizeof bm, &bm), 0);
    EXPECT_FALSE(DeleteObject(bitmap));
    MemoryDc dc;
    EXPECT_EQ(SelectObject(dc, bitmap), 0u);
    uint8_t bits[16] = {};
    EXPECT_EQ(SetDIBits(dc, bitmap, 0, 3, bits, &info, DIB_RGB_COLORS), 0);
    EXPECT_EQ(GetDIBits(dc, bitmap, 0, 3, bits, &info, DIB_RGB_COLORS), 0);
    EXPECT_EQ(StretchDIBits(dc, 0, 0, 1, 1, 0, 0, 1, 1, nullptr, &info, DIB_RGB_COLORS, SRCCOPY),
              0);

    const HDC gone = CreateCompatibleDC(0);
    ASSERT_TRUE(DeleteDC(gone));
    EXPECT_FALSE(DeleteDC(gone));
    EXPECT_EQ(SetTextColor(gone, 0), CLR_INVALID);
    EXPECT_FALSE(BitBlt(gone, 0, 0, 1, 1, dc, 0, 0, SRCCOPY));
    EXPECT_FALSE(BitBlt(dc, 0, 0, 1, 1, gone, 0, 0, SRCCOPY));
    EXPECT_EQ(CreateCompatibleDC(gone), 0u);

    // A handle of the wrong kind is no handle at all.
    Object brush(CreateSolidBrush(0));
    const HPALETTE palette = static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE));
    EXPECT_EQ(GetDeviceCaps(brush, BITSPIXEL), 0);
    EXPECT_EQ(SelectPalette(dc, brush, false), 0u);
    EXPECT_EQ(GetObject(dc, sizeof bm, &bm), 0);
    EXPECT_FALSE(DeleteObject(dc));
    EXPECT_FALSE(DeleteDC(brush));
    EXPECT_EQ(SetDIBits(dc, palette, 0, 3, bits, &info, DIB_RGB_COLORS), 0);
    EXPECT_EQ(SelectObject(dc, 0x7FFFFFFF), 0u);
    // GetObject sizes.
    EXPECT_EQ(GetObject(palette, 0, nullptr), 2);
    const HBITMAP stock = CreateCompatibleBitmap(0, 0, 0);
    EXPECT_EQ(GetObject(stock, 0, nullptr), static_cast<int>(sizeof(BITMAP)));
    EXPECT_EQ(GetObject(stock, 4, &bm), 0);
}

TEST(Objects, NothingIsLeftBehind) {
    GetStockObject(WHITE_BRUSH);  // stock objects exist from here on
    const HandleKind kinds[] = {HandleKind::Bitmap, HandleKind::Dc, HandleKind::Palette,
                                HandleKind::Brush};
    size_t before[4];
    for (int i = 0; i < 4; ++i)
        before[i] = CountHandles(kinds[i]);
    {
        WindowDc window;
        BITMAPINFO info = MakeInfo(40, 30, 8);
        Object section(CreateDIBSection(window, &info, DIB_RGB_COLORS, nullptr));
        Object device(CreateCompatibleBitmap(window, 40, 30));
        MemoryDc src(section), dst(device);
        LOGPALETTE lp{};
        lp.palVersion = 0x300;
        lp.palNumEntries = 2;
        Object palette(CreatePalette(&lp));
        Object brush(CreateSolidBrush(RGB(9, 9, 9)));
        const HPALETTE old = SelectPalette(dst, palette, false);
        RealizePalette(dst);
        const HGDIOBJ oldBrush = SelectObject(dst, brush);
        ASSERT_TRUE(StretchBlt(dst, 0, 0, 20, 60, src, 0, 0, 40, 30, MERGECOPY));
        const RECT r{0, 0, 5, 5};
        FillRect(dst, &r, brush);
        std::vector<uint8_t> bits(Stride(40, 24) * 30);
        BITMAPINFO out = MakeInfo(40, 30, 24);
        EXPECT_EQ(GetDIBits(dst, device, 0, 30, bits.data(), &out, DIB_RGB_COLORS), 30);
        Object mask(
            CreateDIBitmap(dst, &info.bmiHeader, CBM_INIT, bits.data(), &info, DIB_RGB_COLORS));
        SelectObject(dst, oldBrush);
        SelectPalette(dst, old, false);
        for (int i = 0; i < 4; ++i)
            EXPECT_GT(CountHandles(kinds[i]), before[i]);
    }
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(CountHandles(kinds[i]), before[i]) << i;
}
