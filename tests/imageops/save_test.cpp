// JPGSaveName and JPGtoArray: what is written (whole, region, as shown), checked with
// ImageMagick's decode, the error results, and the temporary file of the byte export.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "imageops_fixture.h"
#include "support/env_override.h"

using namespace imageops_test;

namespace {

const Variant kMissing = Variant::Missing();

// Mean difference of two pictures of the same size over all channels; 255 when the sizes differ.
double MeanDifference(const oracle::RgbImage& a, const oracle::RgbImage& b) {
    if (a.width != b.width || a.height != b.height || a.rgb.empty()) return 255;
    long total = 0;
    for (size_t i = 0; i < a.rgb.size(); ++i)
        total += std::abs(a.rgb[i] - b.rgb[i]);
    return double(total) / a.rgb.size();
}

// What the control saves with these arguments, as ImageMagick decodes it.
oracle::RgbImage Saved(Sited& s, const Variant& x = kMissing, const Variant& width = kMissing) {
    const std::string path = s.dir.path("saved.jpg");
    std::filesystem::remove(path);
    s.ctrl.JPGSaveName(path, x, kMissing, width, kMissing);
    const auto frames = oracle::ImageMagickFrames(path);
    return frames.empty() ? oracle::RgbImage{} : frames[0];
}

class SaveTest : public testing::Test {
  protected:
    void SetUp() override {
        if (!oracle::ToolAvailable("convert")) GTEST_SKIP() << "ImageMagick's convert is missing";
    }
};

TEST_F(SaveTest, EmptyNameDoesNothingAndNoPictureIsReported) {
    Sited s;
    const std::string cursor = s.site.Cursor();
    EXPECT_EQ(ErrorOf([&] { s.ctrl.JPGSaveName("", kMissing, kMissing, kMissing, kMissing); }),
              std::make_pair(0, std::string()));
    EXPECT_EQ(ErrorOf([&] { Saved(s); }), std::make_pair(20011, std::string("No bitmap found")));
    EXPECT_FALSE(std::filesystem::exists(s.dir.path("saved.jpg")));
    EXPECT_EQ(s.site.Cursor(), cursor) << "the wait cursor is taken back";
}

TEST_F(SaveTest, WholePictureAndRegionStripsInPixelScale) {
    const oracle::RgbImage picture = testsupport::TestPattern(100, 80, 2);
    const struct {
        Variant x, width;
        int wantWidth, firstColumn;
    } rows[] = {
        {kMissing, kMissing, 100, 0},  // the whole picture
        {Variant::I2(90), Variant::I2(50), 10, 90},
        {Variant::R8(-5), Variant::I2(50), 50, 0},
        {Variant::I4(150), Variant::R4(50), 50, 0},
        {kMissing, Variant::I2(30), 30, 0},
        {Variant::I2(20), kMissing, 80, 20},  // whole width from x: clipped at the right edge
    };
    for (const auto& r : rows) {
        Sited s;
        Load(s, picture);
        s.Set("ScaleMode", Variant::I2(3));
        s.Set("ImageSource", Variant::I2(0));
        s.Set("DrawTo", Variant::I2(1));
        s.Set("JPGQuality", Variant::I2(100));
        oracle::RgbImage want{r.wantWidth, 80, {}, {}};
        for (int y = 0; y < 80; ++y)
            want.rgb.insert(want.rgb.end(), picture.pixel(r.firstColumn, y),
                            picture.pixel(r.firstColumn + r.wantWidth - 1, y) + 3);
        EXPECT_LT(MeanDifference(Saved(s, r.x, r.width), want), 4.0)
            << "strip from column " << r.firstColumn;
    }
}

TEST_F(SaveTest, AsShownHasTheInnerSizeAndTheBackgroundAround) {
    Sited s(200, 150);
    s.Set("BackColor", Variant::I4(RGB(0, 200, 0)));
    oracle::RgbImage red{20, 10, std::vector<uint8_t>(600, 0), {}};
    for (size_t i = 0; i < red.rgb.size(); i += 3)
        red.rgb[i] = 220;
    Load(s, red);
    s.Set("Zoom", Variant::R4(2.0f));
    const oracle::RgbImage got = Saved(s);
    ASSERT_EQ(got.width, 200 - 6);  // border and 3-D appearance
    ASSERT_EQ(got.height, 150 - 6);
    EXPECT_GT(got.pixel(35, 15)[0], 180) << "the picture, zoomed";
    EXPECT_LT(got.pixel(35, 15)[1], 60);
    EXPECT_GT(got.pixel(100, 100)[1], 160) << "the background";
    EXPECT_LT(got.pixel(100, 100)[0], 60);
}

TEST_F(SaveTest, ArrayHoldsTheFileBytesAndNoTemporaryFileStays) {
    Sited s;
    const std::string tmp = s.dir.path("tmp");
    std::filesystem::create_directory(tmp);
    const testsupport::EnvOverride env("TMPDIR", tmp);
    EXPECT_EQ(ErrorOf([&] { s.ctrl.JPGtoArray(kMissing, kMissing, kMissing, kMissing); }).first,
              20011);
    Load(s, testsupport::TestPattern(40, 30));
    s.Set("ImageSource", Variant::I2(0));
    const Variant bytes = s.ctrl.CallMethod("JPGtoArray");
    Saved(s);
    const testsupport::Bytes file = testsupport::ReadBytes(s.dir.path("saved.jpg"));
    ASSERT_EQ(bytes.vt(), platform::VT_ARRAY | platform::VT_UI1);
    EXPECT_EQ(bytes.AsArray()->LowerBound(), 0);
    ASSERT_EQ(bytes.AsArray()->Count(), file.size());
    EXPECT_TRUE(std::equal(file.begin(), file.end(), bytes.AsArray()->Bytes()));
    EXPECT_TRUE(std::filesystem::is_empty(tmp)) << "the temporary files are removed";
}

TEST_F(SaveTest, WithoutTheModuleSavingIsReportedUnsupported) {
    Sited s;
    const testsupport::EnvOverride env("LUMORA_CODEC_PATH", s.dir.dir);
    Load(s, testsupport::TestPattern(8, 8));
    EXPECT_EQ(ErrorOf([&] { Saved(s); }),
              std::make_pair(20017, std::string("JPG saving not supported")));
}

}  // namespace
