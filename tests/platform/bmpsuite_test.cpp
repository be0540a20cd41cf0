// Real DIBs from the public BMP suite, drawn with StretchDIBits and SetDIBits, must show the
// colours ImageMagick decodes from the same files; read back with GetDIBits in their own format
// and in every true-colour format, they keep their pixels.
#include <algorithm>
#include <cstdlib>
#include <string>

#include "gdi_support.h"
#include "support/oracle.h"
#include "support/picture.h"
#include "support/testdata.h"

using namespace gdi_test;

TEST(BmpSuite, DrawnPixelsMatchImageMagick) {
    REQUIRE_TESTDATA("bmp");
    if (!oracle::ToolAvailable("convert")) GTEST_SKIP() << "ImageMagick not installed";
    // Uncompressed files with 40-byte and longer headers, in every bit count and mask layout
    // (not rgb16-231.bmp: ImageMagick 6 misreads its two- and one-bit channels).
    const char* files[] = {
        "pal1.bmp",          "pal1bg.bmp",      "pal4.bmp",        "pal4gs.bmp",
        "pal8.bmp",          "pal8-0.bmp",      "pal8topdown.bmp", "pal8w126.bmp",
        "pal8w125.bmp",      "pal8v4.bmp",      "pal8v5.bmp",      "pal8gs.bmp",
        "rgb16.bmp",         "rgb16-565.bmp",   "rgb16bfdef.bmp",  "rgb24.bmp",
        "rgb32.bmp",         "rgb32bf.bmp",     "rgb32bfdef.bmp",  "rgb32-111110.bmp",
        "pal8nonsquare.bmp", "rgb32bf-rgba.bmp"};
    int checked = 0;
    for (const std::string name : files) {
        SCOPED_TRACE(name);
        const std::string path = testsupport::TestData("bmp/" + name).string();
        const testsupport::Bytes file = testsupport::ReadBytes(path);
        if (file.empty()) continue;
        ASSERT_GT(file.size(), 54u);
        uint32_t offBits;
        std::memcpy(&offBits, file.data() + 10, 4);
        // Header and table copied to aligned storage of full BITMAPINFO size.
        std::vector<uint32_t> infoStore((sizeof(BITMAPINFO) + 124) / 4 + 1, 0);
        std::memcpy(infoStore.data(), file.data() + 14,
                    std::min<size_t>(offBits - 14, infoStore.size() * 4));
        const auto* info = reinterpret_cast<const BITMAPINFO*>(infoStore.data());
        const BITMAPINFOHEADER& h = info->bmiHeader;
        const int w = h.biWidth, rows = std::abs(h.biHeight);
        ASSERT_LE(offBits + static_cast<size_t>(Stride(w, h.biBitCount)) * rows, file.size());
        const uint8_t* bits = file.data() + offBits;
        const oracle::RgbImage expected = oracle::ImageMagickUpright(path);
        ASSERT_EQ(expected.width, w);
        ASSERT_EQ(expected.height, rows);

        Board drawn(w, rows, kBlack), set(w, rows, kBlack);
        ASSERT_EQ(
            StretchDIBits(drawn, 0, 0, w, rows, 0, 0, w, rows, bits, info, DIB_RGB_COLORS, SRCCOPY),
            rows);
        // SetDIBits into a second section must agree with StretchDIBits exactly.
        const auto board = static_cast<HBITMAP>(GetCurrentObject(set, OBJ_BITMAP));
        ASSERT_EQ(SetDIBits(set, board, 0, rows, bits, info, DIB_RGB_COLORS), rows);
        const int tolerance = h.biBitCount == 16 || name == "rgb32-111110.bmp" ? 1 : 0;
        int mismatches = 0;
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < w; ++x) {
                const COLORREF c = drawn.At(x, y);
                const uint8_t* want = expected.pixel(x, y);
                mismatches += c != set.At(x, y) || std::abs(GetRValue(c) - want[0]) > tolerance ||
                              std::abs(GetGValue(c) - want[1]) > tolerance ||
                              std::abs(GetBValue(c) - want[2]) > tolerance;
            }
        EXPECT_EQ(mismatches, 0);

        // The lower half of a bottom-up file (the upper half of a top-down one) turned half way
        // round, ANDed into a board of one colour: source rectangles count from the first
        // stored row, and the operation applies.
        const int half = rows / 2;
        const COLORREF under = RGB(0xF0, 0x3C, 0xFF);
        Board part(w, half, under);
        ASSERT_EQ(StretchDIBits(part, w, half, -w, -half, 0, 0, w, half, bits, info, DIB_RGB_COLORS,
                                SRCAND),
                  rows);
        int wrongPart = 0;
        for (int y = 0; y < half; ++y)
            for (int x = 0; x < w; ++x) {
                const int sourceRow = h.biHeight < 0 ? half - 1 - y : rows - 1 - y;
                wrongPart += part.At(x, y) != (drawn.At(w - 1 - x, sourceRow) & under);
            }
        EXPECT_EQ(wrongPart, 0);

        // Through a fresh (zeroed) section of the file's own format and back out in that format:
        // the same pixel values and colour table.
        const int stride = Stride(w, h.biBitCount);
        void* fresh = nullptr;
        Object same(CreateDIBSection(0, info, DIB_RGB_COLORS, &fresh));
        BITMAP bm{};
        ASSERT_EQ(GetObject(same, sizeof bm, &bm), static_cast<int>(sizeof bm));
        EXPECT_TRUE(bm.bmWidth == w && bm.bmHeight == rows && bm.bmBitsPixel == h.biBitCount);
        EXPECT_TRUE(bm.bmWidthBytes == stride && bm.bmBits == fresh);
        const auto* freshBytes = static_cast<const uint8_t*>(fresh);
        EXPECT_TRUE(std::all_of(freshBytes, freshBytes + stride * rows, [](int b) { return !b; }));
        ASSERT_EQ(SetDIBits(set, same, 0, rows, bits, info, DIB_RGB_COLORS), rows);
        std::vector<uint32_t> backStore(infoStore.size(), 0);
        std::memcpy(backStore.data(), infoStore.data(), h.biSize);
        auto* back = reinterpret_cast<BITMAPINFO*>(backStore.data());
        std::vector<uint8_t> backBits(static_cast<size_t>(stride) * rows);
        ASSERT_EQ(GetDIBits(set, same, 0, rows, backBits.data(), back, DIB_RGB_COLORS), rows);
        const size_t tableBytes =
            h.biBitCount > 8 ? 0 : 4 * (h.biClrUsed ? h.biClrUsed : 1u << h.biBitCount);
        EXPECT_EQ(std::memcmp(backStore.data() + h.biSize / 4, infoStore.data() + h.biSize / 4,
                              tableBytes),
                  0);
        int changed = 0;
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < w; ++x)
                changed +=
                    PixelValue(*back, backBits.data(), x, y) != PixelValue(*info, bits, x, y);
        // Stretched by two out of that section onto a 32-bit board, then halved into a 5-6-5
        // section (each pixel the source pixel under its centre): colours cross formats while
        // stretching.
        Board doubled(2 * w, 2 * rows);
        BITMAPINFO info565 = MakeInfo(w, rows, 16, BI_BITFIELDS);
        SetMasks(info565, 0xF800, 0x07E0, 0x001F);
        void* bits565 = nullptr;
        Object halved(CreateDIBSection(0, &info565, DIB_RGB_COLORS, &bits565));
        {
            MemoryDc sameDc(same), halvedDc(halved);
            ASSERT_TRUE(StretchBlt(doubled, 0, 0, 2 * w, 2 * rows, sameDc, 0, 0, w, rows, SRCCOPY));
            ASSERT_TRUE(
                StretchBlt(halvedDc, 0, 0, w, rows, doubled, 0, 0, 2 * w, 2 * rows, SRCCOPY));
        }
        const COLORREF kept565 = RGB(0xF8, 0xFC, 0xF8);
        for (int y = 0; y < 2 * rows; ++y)
            for (int x = 0; x < 2 * w; ++x)
                changed += doubled.At(x, y) != drawn.At(x / 2, y / 2) ||
                           (x < w && y < rows &&
                            (DibColor(info565, static_cast<uint8_t*>(bits565), x, y) & kept565) !=
                                (drawn.At(x, y) & kept565));
        // Out of the 32-bit board in each true-colour format: what the format carries of each
        // colour (the top five or six bits of a channel in 16 bits).
        const struct {
            int bits;
            uint32_t compression;
            COLORREF kept;
        } outs[] = {{16, BI_RGB, RGB(0xF8, 0xF8, 0xF8)},
                    {16, BI_BITFIELDS, RGB(0xF8, 0xFC, 0xF8)},
                    {24, BI_RGB, kWhite},
                    {32, BI_RGB, kWhite},
                    {32, BI_BITFIELDS, kWhite}};
        for (const auto& o : outs) {
            BITMAPINFO out = MakeInfo(w, rows, o.bits, o.compression);
            std::vector<uint8_t> outBits(static_cast<size_t>(Stride(w, o.bits)) * rows);
            ASSERT_EQ(GetDIBits(set, board, 0, rows, outBits.data(), &out, DIB_RGB_COLORS), rows);
            for (int y = 0; y < rows; ++y)
                for (int x = 0; x < w; ++x)
                    changed +=
                        (DibColor(out, outBits.data(), x, y) & o.kept) != (set.At(x, y) & o.kept);
        }
        EXPECT_EQ(changed, 0);
        ++checked;
    }
    EXPECT_GT(checked, 15);
}
