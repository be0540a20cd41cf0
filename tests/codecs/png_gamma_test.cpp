// "ReadPNG" and the file gamma: pictures written by netpbm and ImageMagick, given a gAMA chunk
// (and an sRGB chunk) by hand. A gamma that differs from sRGB's is corrected as ImageMagick's
// -gamma does it; no gAMA, a gamma of 1/2.2, or sRGB beside gAMA leave the pixels as stored.

#include <gtest/gtest.h>

#include <cmath>

#include "codecs/codec_support.h"
#include "platform/os/handles.h"
#include "support/picture.h"

namespace codecs_test {
namespace {

// Inserts a chunk after IHDR; the CRC is left for FixPngCrcs.
std::string InsertChunk(std::string png, const std::string& type, const std::string& data) {
    std::string chunk(4, '\0');
    for (int i = 0; i < 4; ++i)
        chunk[i] = static_cast<char>(data.size() >> (24 - 8 * i));
    chunk += type + data + std::string(4, '\0');
    return png.insert(8 + 25, chunk);
}

std::string GammaChunk(double gamma) {
    const auto v = static_cast<uint32_t>(std::lround(gamma * 100000));
    std::string data(4, '\0');
    for (int i = 0; i < 4; ++i)
        data[i] = static_cast<char>(v >> (24 - 8 * i));
    return data;
}

struct GammaCase {
    const char* name;
    const char* writer;  // makes t.png from s.ppm (colour) and m.pgm (a ramp) in the folder
    double gamma;        // of the gAMA chunk; 0 for none
    bool srgb;           // an sRGB chunk too
    int bitCount;
};

const GammaCase kCases[] = {
    {"colour_linear", "pnmtopng s.ppm", 1.0, false, 24},
    {"colour_srgb_gamma", "pnmtopng s.ppm", 0.45455, false, 24},
    {"colour_linear_with_srgb_chunk", "pnmtopng s.ppm", 1.0, true, 24},
    {"grey16_gamma_0_7", "ppmtopgm s.ppm | pamdepth 65535 | pnmtopng", 0.7, false, 8},
    {"palette_linear", "convert s.ppm -colors 16 -strip PNG8:-", 1.0, false, 8},
    {"palette_gamma_2_5", "convert s.ppm -colors 200 -strip PNG8:-", 2.5, false, 8},
    {"alpha_linear", "pnmtopng -alpha m.pgm s.ppm", 1.0, false, 24},
};

class PngGamma : public ::testing::TestWithParam<GammaCase> {};

TEST_P(PngGamma, CorrectedForTheDisplay) {
    const GammaCase& c = GetParam();
    const Codec codec("LMPNG32.DLL");
    const auto read = codec.Entry<ReadPNGProc>("ReadPNG");
    ASSERT_NE(read, nullptr) << platform::ModulePath("LMPNG32.DLL");
    if (!oracle::ToolAvailable("pnmtopng") || !oracle::ToolAvailable("convert")) GTEST_SKIP() << "netpbm or ImageMagick";
    TempDir dir;
    const std::string d = Quote(dir.dir);
    ASSERT_TRUE(
        testsupport::WritePpm(fs::path(dir.path("s.ppm")).string(), testsupport::TestPattern(40, 12)));
    ASSERT_EQ(
        RunTool("cd " + d + " && pgmramp -lr 40 12 > m.pgm && " + c.writer + " > plain.png").status,
        0);
    std::string png = ReadBytes(fs::path(dir.path("plain.png")));
    ASSERT_EQ(png.find("gAMA"), std::string::npos);
    if (c.srgb) png = InsertChunk(png, "sRGB", std::string(1, '\0'));
    if (c.gamma) png = InsertChunk(png, "gAMA", GammaChunk(c.gamma));
    WriteBytes(fs::path(dir.path("t.png")), FixPngCrcs(png));

    const ReadResult plain = CallReadPng(read, fs::path(dir.path("plain.png")));
    const ReadResult got = CallReadPng(read, fs::path(dir.path("t.png")));
    ASSERT_GT(got.code, 0);
    EXPECT_EQ(got.picture.bitCount, c.bitCount);
    const double viewing = PngViewingGamma(ReadBytes(fs::path(dir.path("t.png"))));
    if (viewing == 0) {
        EXPECT_EQ(got.picture.rows, plain.picture.rows);
        EXPECT_EQ(got.picture.palette, plain.picture.palette);
        return;
    }
    EXPECT_NE(got.picture.ToRgb(), plain.picture.ToRgb());
    const auto magick = RunTool("convert " + Quote(fs::path(dir.path("t.png"))) +
                                " -set colorspace sRGB -gamma " + std::to_string(viewing) +
                                " -background white -alpha remove -alpha off -depth 8 rgb:-");
    ASSERT_EQ(magick.status, 0);
    const auto ours = got.picture.ToRgb();
    ASSERT_EQ(ours.size(), magick.out.size());
    int worst = 0;
    for (size_t i = 0; i < ours.size(); ++i)
        worst = std::max(worst, std::abs(ours[i] - static_cast<uint8_t>(magick.out[i])));
    EXPECT_LE(worst, 1);
}

INSTANTIATE_TEST_SUITE_P(Files, PngGamma, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace codecs_test
