// JPEG-compressed YCbCr through the TIFF module: the file's YCbCrCoefficients and
// ReferenceBlackWhite decide the colours. tiffcp compresses flat colour blocks (libjpeg encodes
// them as BT.601, full range, chroma halved both ways), in strips or tiles; tiffset then
// relabels the file, and the codes libjpeg stored must be read with the label's formulas. (The
// unlabelled file is compared with ImageMagick and libtiff in the decode oracle table.)
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

#include "support/oracle.h"
#include "support/picture.h"

namespace {

struct Label {
    const char* name;
    const char* layout;   // tiffcp options besides the compression
    const char* tiffset;  // options
    double kr, kb;        // luma weights of red and blue the label states
    double reference[6];  // ReferenceBlackWhite the label states
};

const Label kLabels[] = {
    {"bt709", "-r 16", "-s 529 0.2126 0.7152 0.0722", 0.2126, 0.0722, {0, 255, 128, 255, 128, 255}},
    {"bt709_tiles",
     "-t -w 32 -l 16",
     "-s 529 0.2126 0.7152 0.0722",
     0.2126,
     0.0722,
     {0, 255, 128, 255, 128, 255}},
    {"headroom", "", "-s 532 16 235 128 240 128 240", 0.299, 0.114, {16, 235, 128, 240, 128, 240}},
};

// What libjpeg stores for a colour (BT.601, full range), read back with the label's formulas.
std::array<double, 3> Expected(const Label& l, const uint8_t* rgb) {
    const double y = 0.299 * rgb[0] + 0.587 * rgb[1] + 0.114 * rgb[2];
    const double codes[3] = {std::round(y), std::round((rgb[2] - y) / 1.772 + 128),
                             std::round((rgb[0] - y) / 1.402 + 128)};
    const double* r = l.reference;
    const double yy = (codes[0] - r[0]) * 255 / (r[1] - r[0]);
    const double cb = (codes[1] - r[2]) * 127 / (r[3] - r[2]);
    const double cr = (codes[2] - r[4]) * 127 / (r[5] - r[4]);
    const double red = yy + cr * (2 - 2 * l.kr), blue = yy + cb * (2 - 2 * l.kb);
    const double green = (yy - l.kr * red - l.kb * blue) / (1 - l.kr - l.kb);
    return {std::clamp(red, 0.0, 255.0), std::clamp(green, 0.0, 255.0),
            std::clamp(blue, 0.0, 255.0)};
}

class TiffYCbCr : public ::testing::TestWithParam<Label> {};

TEST_P(TiffYCbCr, JpegFollowsTheFileLabel) {
    const Label& l = GetParam();
    for (const char* tool : {"tiffcp", "tiffset", "pnmtotiff"})
        if (!oracle::ToolAvailable(tool)) GTEST_SKIP() << tool << " is not installed";
    testsupport::TempDir dir;
    // 16x16 blocks: one colour a JPEG unit, so only the units' edges blend.
    const std::vector<testsupport::Rgb> colours = {{0, 0, 255},     {255, 0, 0},    {0, 255, 0},
                                                   {240, 200, 20},  {128, 64, 200}, {30, 120, 90},
                                                   {200, 200, 200}, {60, 40, 20}};
    oracle::RgbImage source{64, 32, {}, {}};
    for (int i = 0; i < 64 * 32; ++i) {
        const auto& c = colours[i % 64 / 16 + 4 * (i / 64 / 16)];
        source.rgb.insert(source.rgb.end(), c.begin(), c.end());
    }
    ASSERT_TRUE(testsupport::WritePpm(dir.path("s.ppm"), source));
    std::string commands = "cd " + oracle::ShellQuote(dir.dir) +
                           " && pnmtotiff -truecolor s.ppm > rgb.tif 2>/dev/null && tiffcp " +
                           l.layout + " -c jpeg:95 rgb.tif t.tif";
    commands += std::string(" && tiffset ") + l.tiffset + " t.tif";
    ASSERT_TRUE(oracle::RunCommand(commands).has_value());

    const auto load = testsupport::LoadFile(dir.path("t.tif"));
    ASSERT_EQ(load.rc, 0);
    // Inside each block, away from the blended edges.
    int worst = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x) {
            if (x % 16 < 3 || x % 16 > 12 || y % 16 < 3 || y % 16 > 12) continue;
            const auto want = Expected(l, source.pixel(x, y));
            for (int c = 0; c < 3; ++c)
                worst = std::max(worst,
                                 int(std::ceil(std::abs(load.picture.pixel(x, y)[c] - want[c]))));
        }
    EXPECT_LE(worst, 4);
}

INSTANTIATE_TEST_SUITE_P(Labels, TiffYCbCr, ::testing::ValuesIn(kLabels),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
