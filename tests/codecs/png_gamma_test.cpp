// "ReadPNG" and the file gamma where the public PngSuite files have none of the kind: pictures
// written by netpbm, given a gAMA chunk (and an sRGB chunk) by hand. A gamma that differs from
// sRGB's is corrected as ImageMagick's -gamma does it; sRGB beside gAMA leaves the pixels as
// stored.

#include <gtest/gtest.h>

#include <cmath>

#include "codecs/codec_support.h"
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
    {"colour_linear_with_srgb_chunk", "pnmtopng s.ppm", 1.0, true, 24},
    {"grey16_gamma_0_7", "ppmtopgm s.ppm | pamdepth 65535 | pnmtopng", 0.7, false, 8},
    {"alpha_linear", "pnmtopng -alpha m.pgm s.ppm", 1.0, false, 24},
};

class PngGamma : public ModuleTest<ReadPNGProc>, public ::testing::WithParamInterface<GammaCase> {
  protected:
    PngGamma() : ModuleTest("LMPNG32.DLL", "ReadPNG") {}
};

TEST_P(PngGamma, CorrectedForTheDisplay) {
    const GammaCase& c = GetParam();
    if (!oracle::ToolAvailable("pnmtopng") || !oracle::ToolAvailable("convert"))
        GTEST_SKIP() << "netpbm or ImageMagick not installed";
    TempDir dir;
    ASSERT_TRUE(testsupport::WritePpm(dir.path("s.ppm"), testsupport::TestPattern(40, 12)));
    ASSERT_TRUE(Succeeds("cd " + Quote(dir.dir) + " && pgmramp -lr 40 12 > m.pgm && " + c.writer +
                         " > plain.png"));
    std::string png = ReadBytes(dir.path("plain.png"));
    ASSERT_EQ(png.find("gAMA"), std::string::npos);
    if (c.srgb) png = InsertChunk(png, "sRGB", std::string(1, '\0'));
    if (c.gamma) png = InsertChunk(png, "gAMA", GammaChunk(c.gamma));
    const fs::path file = dir.path("t.png");
    WriteBytes(file, FixPngCrcs(png));

    const ReadResult plain = CallReadPng(read_, dir.path("plain.png"));
    const ReadResult got = CallReadPng(read_, file);
    ASSERT_GT(got.code, 0);
    EXPECT_EQ(got.picture.bitCount, c.bitCount);
    const double viewing = PngViewingGamma(ReadBytes(file));
    if (viewing == 0) {
        EXPECT_EQ(got.picture.rows, plain.picture.rows);
        EXPECT_EQ(got.picture.palette, plain.picture.palette);
        return;
    }
    EXPECT_NE(got.picture.Picture().rgb, plain.picture.Picture().rgb);
    const auto magick = oracle::RunPnmCommand(
        "convert " + Quote(file) + " -set colorspace sRGB -gamma " + std::to_string(viewing) +
        " -background white -alpha remove -depth 8 ppm:-");
    ASSERT_EQ(magick.size(), 1u);
    EXPECT_EQ(testsupport::ComparePictures(got.picture.Picture(), magick[0], 1), "");
}

INSTANTIATE_TEST_SUITE_P(Files, PngGamma, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace codecs_test
