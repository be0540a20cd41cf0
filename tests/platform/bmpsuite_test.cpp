// Real DIBs from the public BMP suite, drawn with StretchDIBits and SetDIBits, must show the
// colours ImageMagick decodes from the same files.
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
        "pal1.bmp",         "pal1bg.bmp",      "pal4.bmp",     "pal4gs.bmp",     "pal8.bmp",
        "pal8-0.bmp",       "pal8topdown.bmp", "pal8w126.bmp", "pal8w125.bmp",   "pal8v4.bmp",
        "pal8v5.bmp",       "pal8gs.bmp",      "rgb16.bmp",    "rgb16-565.bmp",  "rgb16bfdef.bmp",
        "rgb24.bmp",        "rgb32.bmp",       "rgb32bf.bmp",  "rgb32bfdef.bmp", "rgb32-111110.bmp",
        "pal8nonsquare.bmp"};
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
        ASSERT_EQ(SetDIBits(set, static_cast<HBITMAP>(GetCurrentObject(set, OBJ_BITMAP)), 0, rows,
                            bits, info, DIB_RGB_COLORS),
                  rows);
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
        ++checked;
    }
    EXPECT_GT(checked, 15);
}
