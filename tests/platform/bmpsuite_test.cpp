// Real DIBs from the public BMP suite, drawn with StretchDIBits and SetDIBits, must show the
// colours ImageMagick decodes from the same files.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "gdi_support.h"
#include "support/testdata.h"

using namespace gdi_test;

namespace {

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// ImageMagick's reading of a file as rows of RGB, top row first; empty on failure.
std::vector<uint8_t> Oracle(const std::string& path, int& w, int& h) {
    const std::string ppm =
        (std::filesystem::temp_directory_path() / "lumora_gdi_suite.ppm").string();
    if (std::system(("convert '" + path + "' -depth 8 ppm:'" + ppm + "' 2>/dev/null").c_str()) != 0)
        return {};
    std::ifstream in(ppm, std::ios::binary);
    std::string magic;
    int maxval = 0;
    in >> magic >> w >> h >> maxval;
    in.get();
    std::vector<uint8_t> rgb(static_cast<size_t>(3) * w * h);
    in.read(reinterpret_cast<char*>(rgb.data()), static_cast<std::streamsize>(rgb.size()));
    std::filesystem::remove(ppm);
    return rgb;
}

}  // namespace

TEST(BmpSuite, DrawnPixelsMatchImageMagick) {
    const std::string dir = testsupport::TestData().string() + "/bmp/";
    if (!std::filesystem::is_directory(dir))
        GTEST_SKIP() << "public test pictures not present: " << dir;
    if (std::system("convert -version > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "ImageMagick not installed";
    // Uncompressed files with 40-byte and longer headers, in every bit count and mask layout
    // (not rgb16-231.bmp: ImageMagick 6 misreads its two- and one-bit channels).
    const char* files[] = {
        "pal1.bmp",         "pal1bg.bmp",      "pal4.bmp",     "pal4gs.bmp",     "pal8.bmp",
        "pal8-0.bmp",       "pal8topdown.bmp", "pal8w126.bmp", "pal8w125.bmp",   "pal8v4.bmp",
        "pal8v5.bmp",       "pal8gs.bmp",      "rgb16.bmp",    "rgb16-565.bmp",  "rgb16bfdef.bmp",
        "rgb24.bmp",        "rgb32.bmp",       "rgb32bf.bmp",  "rgb32bfdef.bmp", "rgb32-111110.bmp",
        "pal8nonsquare.bmp"};
    int checked = 0;
    for (const char* name : files) {
        SCOPED_TRACE(name);
        const std::string path = dir + name;
        if (!std::filesystem::exists(path)) continue;
        const std::vector<uint8_t> file = ReadFile(path);
        ASSERT_GT(file.size(), 54u);
        uint32_t offBits;
        std::memcpy(&offBits, file.data() + 10, 4);
        // Header and table copied to aligned storage of full BITMAPINFO size.
        std::vector<uint32_t> infoStore((sizeof(BITMAPINFO) + 124) / 4 + 1, 0);
        const size_t infoBytes = std::min<size_t>(offBits - 14, infoStore.size() * 4);
        std::memcpy(infoStore.data(), file.data() + 14, infoBytes);
        const auto* info = reinterpret_cast<const BITMAPINFO*>(infoStore.data());
        const BITMAPINFOHEADER& h = info->bmiHeader;
        const int w = h.biWidth, rows = std::abs(h.biHeight);
        ASSERT_LE(offBits + static_cast<size_t>(Stride(w, h.biBitCount)) * rows, file.size());
        const uint8_t* bits = file.data() + offBits;

        int ow = 0, oh = 0;
        const std::vector<uint8_t> expected = Oracle(path, ow, oh);
        ASSERT_FALSE(expected.empty());
        ASSERT_EQ(ow, w);
        ASSERT_EQ(oh, rows);

        BITMAPINFO target = MakeInfo(w, -rows, 32);
        void* pixels = nullptr;
        Object canvas(CreateDIBSection(0, &target, DIB_RGB_COLORS, &pixels));
        MemoryDc dc(canvas);
        ASSERT_EQ(
            StretchDIBits(dc, 0, 0, w, rows, 0, 0, w, rows, bits, info, DIB_RGB_COLORS, SRCCOPY),
            rows);
        // SetDIBits into a second section must agree with StretchDIBits exactly.
        void* second = nullptr;
        Object other(CreateDIBSection(0, &target, DIB_RGB_COLORS, &second));
        ASSERT_EQ(SetDIBits(dc, other, 0, rows, bits, info, DIB_RGB_COLORS), rows);
        ASSERT_EQ(std::memcmp(pixels, second, static_cast<size_t>(4) * w * rows), 0);

        const int tolerance = h.biBitCount == 16 || std::string(name) == "rgb32-111110.bmp" ? 1 : 0;
        int mismatches = 0;
        for (int y = 0; y < rows; ++y) {
            for (int x = 0; x < w; ++x) {
                const uint8_t* px =
                    static_cast<uint8_t*>(pixels) + (static_cast<size_t>(y) * w + x) * 4;
                const uint8_t* want = &expected[(static_cast<size_t>(y) * w + x) * 3];
                if (std::abs(px[2] - want[0]) > tolerance ||
                    std::abs(px[1] - want[1]) > tolerance || std::abs(px[0] - want[2]) > tolerance)
                    ++mismatches;
            }
        }
        EXPECT_EQ(mismatches, 0);
        ++checked;
    }
    EXPECT_GT(checked, 15);
}
