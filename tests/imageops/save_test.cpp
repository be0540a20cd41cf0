// JPGSaveName and JPGtoArray: what is written (whole, region, as shown), checked with
// ImageMagick's decode, the error results, and the temporary file of the byte export.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "imageops_fixture.h"

using namespace imageops_test;

namespace {

const Variant kMissing = Variant::Missing();

// Mean and largest difference of two pictures of the same size, over all channels.
std::pair<double, int> Difference(const oracle::RgbImage& a, const oracle::RgbImage& b) {
    long total = 0;
    int worst = 0;
    for (size_t i = 0; i < a.rgb.size(); ++i) {
        const int d = std::abs(a.rgb[i] - b.rgb[i]);
        total += d;
        worst = std::max(worst, d);
    }
    return {a.rgb.empty() ? 0.0 : double(total) / a.rgb.size(), worst};
}

oracle::RgbImage Decoded(const std::string& path) {
    const auto frames = oracle::ImageMagickFrames(path);
    return frames.empty() ? oracle::RgbImage{} : frames[0];
}

void Save(Sited& s, const std::string& path, const Variant& x = kMissing,
          const Variant& width = kMissing) {
    s.ctrl.JPGSaveName(path, x, kMissing, width, kMissing);
}

class SaveTest : public testing::Test {
  protected:
    void SetUp() override {
        if (!oracle::ToolAvailable("convert")) GTEST_SKIP() << "ImageMagick's convert is missing";
    }
    testsupport::TempDir dir;
};

TEST_F(SaveTest, EmptyNameDoesNothingAndNoPictureIsReported) {
    Sited s;
    const std::string cursor = s.site.Cursor();
    EXPECT_EQ(ErrorOf([&] { Save(s, ""); }).first, 0);
    const std::string path = dir.path("none.jpg");
    EXPECT_EQ(ErrorOf([&] { Save(s, path); }),
              std::make_pair(20011, std::string("No bitmap found")));
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(s.site.Cursor(), cursor) << "the wait cursor is taken back";
}

TEST_F(SaveTest, WholePictureDecodesToThePicture) {
    Sited s;
    const oracle::RgbImage picture = testsupport::TestPattern(64, 48);
    Load(s, dir, DibFrom(picture));
    s.Set("ImageSource", Variant::I2(0));
    s.Set("JPGQuality", Variant::I2(95));
    const std::string path = dir.path("whole.jpg");
    Save(s, path);
    const oracle::RgbImage got = Decoded(path);
    ASSERT_EQ(got.width, 64);
    ASSERT_EQ(got.height, 48);
    const auto [mean, worst] = Difference(got, picture);
    EXPECT_LT(mean, 4.0);
    EXPECT_LT(worst, 64);
}

TEST_F(SaveTest, RegionStripsInPixelScale) {
    const oracle::RgbImage picture = testsupport::TestPattern(100, 80, 2);
    const struct {
        Variant x, width;
        int wantWidth, firstColumn;
    } rows[] = {
        {Variant::I2(90), Variant::I2(50), 10, 90}, {Variant::R8(-5), Variant::I2(50), 50, 0},
        {Variant::I4(150), Variant::R4(50), 50, 0}, {kMissing, Variant::I2(30), 30, 0},
        {Variant::I2(20), kMissing, 80, 20},  // whole width from x: clipped at the right edge
    };
    for (const auto& r : rows) {
        Sited s;
        Load(s, dir, DibFrom(picture));
        s.Set("ScaleMode", Variant::I2(3));
        s.Set("ImageSource", Variant::I2(0));
        s.Set("DrawTo", Variant::I2(1));
        s.Set("JPGQuality", Variant::I2(100));
        const std::string path = dir.path("strip.jpg");
        Save(s, path, r.x, r.width);
        const oracle::RgbImage got = Decoded(path);
        ASSERT_EQ(got.width, r.wantWidth) << r.firstColumn;
        ASSERT_EQ(got.height, 80);
        oracle::RgbImage want{r.wantWidth, 80, {}, {}};
        for (int y = 0; y < 80; ++y)
            for (int x = 0; x < r.wantWidth; ++x) {
                const uint8_t* p = picture.pixel(r.firstColumn + x, y);
                want.rgb.insert(want.rgb.end(), p, p + 3);
            }
        EXPECT_LT(Difference(got, want).first, 4.0) << "strip from column " << r.firstColumn;
    }
}

TEST_F(SaveTest, AsShownHasTheInnerSizeAndTheBackgroundAround) {
    Sited s(200, 150);
    s.Set("BackColor", Variant::I4(RGB(0, 200, 0)));
    oracle::RgbImage red{20, 10, std::vector<uint8_t>(600, 0), {}};
    for (size_t i = 0; i < red.rgb.size(); i += 3)
        red.rgb[i] = 220;
    Load(s, dir, DibFrom(red));
    s.Set("Zoom", Variant::R4(2.0f));
    const std::string path = dir.path("shown.jpg");
    Save(s, path);
    const oracle::RgbImage got = Decoded(path);
    ASSERT_EQ(got.width, 200 - 6);  // border and 3-D appearance
    ASSERT_EQ(got.height, 150 - 6);
    EXPECT_GT(got.pixel(35, 15)[0], 180) << "the picture, zoomed";
    EXPECT_LT(got.pixel(35, 15)[1], 60);
    EXPECT_GT(got.pixel(100, 100)[1], 160) << "the background";
    EXPECT_LT(got.pixel(100, 100)[0], 60);
}

TEST_F(SaveTest, ArrayHoldsTheFileBytesAndNoTemporaryFileStays) {
    const std::string tmp = dir.path("tmp");
    std::filesystem::create_directory(tmp);
    const char* previous = std::getenv("TMPDIR");
    const std::string restore = previous ? previous : "";
    setenv("TMPDIR", tmp.c_str(), 1);
    Sited s;
    EXPECT_EQ(ErrorOf([&] { s.ctrl.JPGtoArray(kMissing, kMissing, kMissing, kMissing); }).first,
              20011);
    Load(s, dir, DibFrom(testsupport::TestPattern(40, 30)));
    s.Set("ImageSource", Variant::I2(0));
    const Variant bytes = s.ctrl.CallMethod("JPGtoArray");
    const std::string path = dir.path("same.jpg");
    Save(s, path);
    const testsupport::Bytes file = testsupport::ReadBytes(path);
    ASSERT_EQ(bytes.vt(), platform::VT_ARRAY | platform::VT_UI1);
    EXPECT_EQ(bytes.AsArray()->LowerBound(), 0);
    ASSERT_EQ(bytes.AsArray()->Count(), file.size());
    EXPECT_TRUE(std::equal(file.begin(), file.end(), bytes.AsArray()->Bytes()));
    EXPECT_TRUE(std::filesystem::is_empty(tmp)) << "the temporary files are removed";
    if (previous)
        setenv("TMPDIR", restore.c_str(), 1);
    else
        unsetenv("TMPDIR");
}

TEST_F(SaveTest, WithoutTheModuleSavingIsReportedUnsupported) {
    const char* previous = std::getenv("LUMORA_CODEC_PATH");
    const std::string restore = previous ? previous : "";
    setenv("LUMORA_CODEC_PATH", dir.dir.c_str(), 1);
    Sited s;
    Load(s, dir, DibFrom(testsupport::TestPattern(8, 8)));
    EXPECT_EQ(ErrorOf([&] { Save(s, dir.path("x.jpg")); }),
              std::make_pair(20017, std::string("JPG saving not supported")));
    if (previous)
        setenv("LUMORA_CODEC_PATH", restore.c_str(), 1);
    else
        unsetenv("LUMORA_CODEC_PATH");
}

}  // namespace
