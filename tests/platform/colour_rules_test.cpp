// How colours cross between monochrome device bitmaps, colour surfaces and colour tables.
#include "gdi_support.h"

using namespace gdi_test;

namespace {

HBITMAP Section24(int w, int h, void** bits) {
    BITMAPINFO info = MakeInfo(w, h, 24);
    return CreateDIBSection(0, &info, DIB_RGB_COLORS, bits);
}

}  // namespace

// A monochrome bitmap on colour takes the destination's background (1) and text (0) colours;
// the source DC's colours play no part. (One-bit sections keep their own table: the BMP suite
// test stretches its one-bit files.)
TEST(ColourRules, OneBitSourcesOnColour) {
    const uint8_t monoBits[2] = {0x80, 0x00};  // 1 0
    Object mono(CreateBitmap(2, 1, 1, 1, monoBits));
    Object colour(Section24(2, 1, nullptr));
    {
        MemoryDc src(mono), dst(colour);
        SetTextColor(dst, RGB(10, 20, 30));
        SetBkColor(dst, RGB(200, 100, 50));
        SetBkColor(src, RGB(1, 2, 3));
        SetTextColor(src, RGB(4, 5, 6));
        ASSERT_TRUE(BitBlt(dst, 0, 0, 2, 1, src, 0, 0, SRCCOPY));
        EXPECT_EQ(GetPixel(dst, 0, 0), RGB(200, 100, 50));
        EXPECT_EQ(GetPixel(dst, 1, 0), RGB(10, 20, 30));
    }
    // Reading the monochrome bitmap itself gives black and white.
    MemoryDc view(mono);
    EXPECT_EQ(GetPixel(view, 0, 0), kWhite);
    EXPECT_EQ(GetPixel(view, 1, 0), kBlack);
}

TEST(ColourRules, ColourToMonochromeMarksTheSourceBackground) {
    void* bits = nullptr;
    Object colour(Section24(3, 1, &bits));
    const uint8_t row[9] = {3, 2, 1, 255, 255, 255, 0, 0, 0};  // (1,2,3), white, black
    std::memcpy(bits, row, sizeof row);
    MemoryDc src(colour);
    Object mono(CreateBitmap(3, 1, 1, 1, nullptr));
    MemoryDc dst(mono);
    SetBkColor(src, RGB(1, 2, 3));
    ASSERT_TRUE(BitBlt(dst, 0, 0, 3, 1, src, 0, 0, SRCCOPY));
    EXPECT_EQ(GetPixel(dst, 0, 0), kWhite);
    EXPECT_EQ(GetPixel(dst, 1, 0), kBlack);  // white, but not the background colour
    SetBkColor(src, kWhite);
    ASSERT_TRUE(BitBlt(dst, 0, 0, 3, 1, src, 0, 0, SRCCOPY));
    EXPECT_EQ(GetPixel(dst, 0, 0), kBlack);
    EXPECT_EQ(GetPixel(dst, 1, 0), kWhite);
}

TEST(ColourRules, DibTransfersToMonochromeTakeTheNearest) {
    Object mono(CreateBitmap(3, 1, 1, 1, nullptr));
    BITMAPINFO info = MakeInfo(3, 1, 24);
    const uint8_t row[12] = {200, 200, 200, 40, 40, 40, 1, 2, 250};
    MemoryDc dc;
    ASSERT_EQ(SetDIBits(dc, mono, 0, 1, row, &info, DIB_RGB_COLORS), 1);
    MemoryDc view(mono);
    EXPECT_EQ(GetPixel(view, 0, 0), kWhite);
    EXPECT_EQ(GetPixel(view, 1, 0), kBlack);
    EXPECT_EQ(GetPixel(view, 2, 0), kBlack);  // a bright red is still nearer black
    // Brushes on monochrome bitmaps also go to the nearer of black and white.
    Object light(CreateSolidBrush(RGB(180, 180, 180)));
    const RECT r{0, 0, 3, 1};
    FillRect(view, &r, light);
    EXPECT_EQ(GetPixel(view, 1, 0), kWhite);
}
