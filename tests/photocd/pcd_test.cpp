// Photo CD packs at the small resolutions, the doubling and both colour conversions: packs made
// by the test's pack writer, packs that ImageMagick writes, and the public sample.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "decode/loader_error.h"
#include "decode/readers.h"
#include "photocd/pack_writer.h"
#include "photocd/pcd.h"
#include "photocd/reference.h"
#include "support/oracle.h"
#include "support/picture.h"
#include "support/testdata.h"

namespace {

using testsupport::Bytes;
using testsupport::RunReader;

constexpr uint32_t kWidths[] = {192, 384, 768, 1536, 3072};

pcdpack::YccImage RandomImage(uint32_t w, uint32_t h, uint32_t salt) {
    pcdpack::YccImage img(w, h);
    std::mt19937 rng(salt);
    for (auto* v : {&img.y, &img.c1, &img.c2})
        for (uint8_t& b : *v)
            b = static_cast<uint8_t>(rng());
    return img;
}

decode::LoadOptions Size(int size) {
    decode::LoadOptions o;
    o.pcdSize = size;
    return o;
}

// Runs the reader and returns what it printed on standard error.
std::string RunCaptured(const Bytes& pack, int size, std::unique_ptr<testsupport::ReaderRun>& run) {
    testing::internal::CaptureStderr();
    run = RunReader(decode::ReadPhotoCd, pack, Size(size));
    return testing::internal::GetCapturedStderr();
}

// Every pixel of a small-resolution picture against the stored image, rows top first.
void ExpectSmallImage(const oracle::RgbImage& picture, const pcdpack::YccImage& img) {
    ASSERT_EQ(picture.width, int(img.width));
    ASSERT_EQ(picture.height, int(img.height));
    int bad = 0;
    for (uint32_t y = 0; y < img.height; ++y)
        for (uint32_t x = 0; x < img.width; ++x) {
            const size_t c = size_t{y / 2} * (img.width / 2) + x / 2;
            const auto want =
                pcdref::FloatRgb(img.y[size_t{y} * img.width + x], img.c1[c], img.c2[c]);
            const uint8_t* got = picture.pixel(int(x), int(y));
            if (!std::equal(want.begin(), want.end(), got) && ++bad < 5)
                ADD_FAILURE() << "pixel " << x << "," << y;
        }
    EXPECT_EQ(bad, 0);
}

// Blue, green, red of a conversion as red, green, blue.
template <typename Convert>
std::array<uint8_t, 3> Rgb(Convert convert, int y, int c1, int c2) {
    uint8_t bgr[3];
    convert(uint8_t(y), uint8_t(c1), uint8_t(c2), bgr);
    return {bgr[2], bgr[1], bgr[0]};
}

TEST(PhotoCdConversion, BothConversionsMatchTheWorkedExamplesAndTheFormulas) {
    using A = std::array<uint8_t, 3>;
    const auto f = [](int y, int c1, int c2) { return Rgb(photocd::ConvertPixelFloat, y, c1, c2); };
    const auto t = [](int y, int c1, int c2) { return Rgb(photocd::ConvertPixelTable, y, c1, c2); };
    // 100 x 1.407488 = 140.7488 rounds up; 10 x 1.407488 = 14.07 rounds down.
    EXPECT_EQ(f(0, 156, 137), (A{0, 0, 0}));
    EXPECT_EQ(f(255, 156, 137), (A{255, 255, 255}));
    EXPECT_EQ(f(100, 156, 137)[2], 141);
    EXPECT_EQ(f(10, 156, 137)[0], 14);
    // Table sums 482, 504, 492 shift to 1: black; all three sums of Y 100 shift to 545; red and
    // blue sums below zero and above 262143 clamp.
    EXPECT_EQ(t(0, 156, 137), (A{0, 0, 0}));
    EXPECT_EQ(t(100, 156, 137), (A{136, 136, 136}));
    EXPECT_EQ(t(0, 0, 0)[0] | t(0, 0, 0)[2], 0);
    EXPECT_EQ(t(255, 255, 255)[0] & t(255, 255, 255)[2], 255);
    int bad = 0;
    for (int y = 0; y < 256; ++y)
        for (int c1 = 0; c1 < 256; c1 += 3)
            for (int c2 = 0; c2 < 256; c2 += 5)
                if ((f(y, c1, c2) != pcdref::FloatRgb(y, c1, c2) ||
                     t(y, c1, c2) != pcdref::TableRgb(y, c1, c2)) &&
                    ++bad < 5)
                    ADD_FAILURE() << "Y " << y << " C1 " << c1 << " C2 " << c2;
    EXPECT_EQ(bad, 0);
}

// The doubling itself is checked through whole layered packs; here only its refusal.
TEST(PhotoCdPlane, APlaneFullToItsCapacityCannotDouble) {
    photocd::Plane full;
    ASSERT_TRUE(full.Allocate(4, 2));
    full.width = 4;
    full.height = 2;
    EXPECT_FALSE(photocd::DoublePlane(full));
    full.width = 2;
    EXPECT_FALSE(photocd::DoublePlane(full));
}

TEST(PhotoCdSmallSizes, ShortFilesStillGiveAPictureWithoutAnError) {
    const auto tiny = RandomImage(192, 128, 4);
    Bytes pack(8192, 0);
    pcdpack::PutImage(pack, 8192, tiny);
    pack.resize(8192 + 192 * 3 * 10);  // ten row pairs
    std::unique_ptr<testsupport::ReaderRun> run;
    EXPECT_EQ(RunCaptured(pack, 0, run), "");
    ASSERT_EQ(run->rc, 0);
    // Rows of the ten pairs are the image's; the rest is the conversion of zeros.
    pcdpack::YccImage cut = tiny;
    std::fill(cut.y.begin() + 20 * 192, cut.y.end(), 0);
    std::fill(cut.c1.begin() + 10 * 96, cut.c1.end(), 0);
    std::fill(cut.c2.begin() + 10 * 96, cut.c2.end(), 0);
    ExpectSmallImage(run->picture(), cut);
    for (int size = 0; size < 5; ++size) {
        std::unique_ptr<testsupport::ReaderRun> empty;
        EXPECT_EQ(RunCaptured({}, size, empty), size < 3 ? "" : "Read error\nRead error\n");
        EXPECT_EQ(empty->rc, 0) << size;
        EXPECT_EQ(empty->width(), int(kWidths[size]));
    }
    EXPECT_EQ(RunReader(decode::ReadPhotoCd, {}, Size(5))->rc, decode::kUnsupported);
    EXPECT_EQ(RunReader(decode::ReadPhotoCd, {}, Size(-1))->rc, decode::kUnsupported);
}

// ImageMagick keeps the PhotoYCC codes when the picture is relabelled as RGB before writing,
// and selects the resolution by scene: [1] 192 x 128, [2] 384 x 256, [3] 768 x 512. Its luma
// is the stored luma; its chroma is interpolated between samples, and at even columns of even
// rows it is the stored sample itself. So each pixel of our decode must equal the small
// conversion of ImageMagick's luma at that pixel and its chroma at the even-even pixel of the
// 2 x 2 block: an exact comparison of the unpacking (offsets, row pairs, chroma layout, row
// order). The conversion itself is checked against the formula above; ImageMagick's own RGB
// uses other coefficients, so its RGB output is not an exact oracle.
void CompareWithImageMagick(const std::string& path, const Bytes& pack) {
    for (int size = 0; size < 3; ++size) {
        SCOPED_TRACE(path + " size " + std::to_string(size));
        const auto raw = oracle::RunPnmCommand(
            "convert " + oracle::ShellQuote(path + "[" + std::to_string(size + 1) + "]") +
            " -set colorspace sRGB -depth 8 ppm:- 2>/dev/null");
        ASSERT_EQ(raw.size(), 1u);
        const oracle::RgbImage& im = raw[0];
        const auto run = RunReader(decode::ReadPhotoCd, pack, Size(size));
        ASSERT_EQ(run->rc, 0);
        ASSERT_EQ(im.width, run->width());
        ASSERT_EQ(im.height, run->height());
        int bad = 0;
        for (int y = 0; y < im.height; ++y)
            for (int x = 0; x < im.width; ++x) {
                const uint8_t* sample = im.pixel(x & ~1, y & ~1);
                const auto want = pcdref::FloatRgb(im.pixel(x, y)[0], sample[1], sample[2]);
                if (run->rgb(x, y) != want && ++bad < 5) ADD_FAILURE() << "pixel " << x << "," << y;
            }
        EXPECT_EQ(bad, 0);
    }
}

TEST(PhotoCdOracle, ImageMagickPacksAndThePublicSampleMatchImageMagicksDecode) {
    if (!oracle::ToolAvailable("convert")) GTEST_SKIP() << "ImageMagick convert is not installed";
    testsupport::TempDir dir;
    // A picture with smooth areas, hard edges and noise, written as a pack by ImageMagick.
    const std::string source = dir.path("source.ppm"), pack = dir.path("made.pcd");
    ASSERT_TRUE(testsupport::WritePpm(source, testsupport::TestPattern(768, 512, 3)));
    ASSERT_TRUE(oracle::RunCommand("convert " + oracle::ShellQuote(source) + " " +
                                   oracle::ShellQuote("pcd:" + pack))
                    .has_value());
    CompareWithImageMagick(pack, testsupport::ReadBytes(pack));

    const std::string sample = testsupport::TestData().string() + "/pcd/hopper.pcd";
    if (!std::filesystem::exists(sample)) GTEST_SKIP() << "public sample " << sample << " absent";
    CompareWithImageMagick(sample, testsupport::ReadBytes(sample));
}

// The public sample stops after its base image: every size loads through the loader, the
// layered ones as the doubled base with the read error reported.
TEST(PhotoCdSample, ThePublicSampleLoadsAtEverySize) {
    const std::string sample = testsupport::TestData().string() + "/pcd/hopper.pcd";
    if (!std::filesystem::exists(sample)) GTEST_SKIP() << "public sample " << sample << " absent";
    for (int size = 0; size < 5; ++size) {
        testing::internal::CaptureStderr();
        const auto load = testsupport::LoadFile(sample, Size(size));
        const std::string errors = testing::internal::GetCapturedStderr();
        EXPECT_EQ(load.rc, 0) << size;
        EXPECT_EQ(load.picture.width, int(kWidths[size]));
        EXPECT_EQ(load.picture.height, int(kWidths[size] * 2 / 3));
        EXPECT_EQ(errors, size < 3 ? "" : "Read error\nRead error\n") << size;
    }
}

}  // namespace
