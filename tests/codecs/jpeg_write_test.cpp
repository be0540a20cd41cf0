// "WriteJPG" of LMJPEG32.DLL: bitmaps of the raster engine written as JPEG and read back.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "codecs/codec_support.h"
#include "decode/loader_error.h"
#include "platform/gdi/gdi.h"
#include "platform/os/handles.h"

namespace codecs_test {
namespace {

using Colour = std::array<uint8_t, 3>;  // red, green, blue

// Owns a bitmap of the raster engine.
class Bitmap {
  public:
    explicit Bitmap(HBITMAP h = 0) : handle_(h) {}
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;
    ~Bitmap() {
        if (handle_) platform::DeleteObject(handle_);
    }
    HBITMAP get() const { return handle_; }

  private:
    HBITMAP handle_;
};

// A 24-bit DIB section filled from a function of (x, y), y = 0 at the top.
HBITMAP MakeDib24(int width, int height, const std::function<Colour(int, int)>& colourAt) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    const HBITMAP bitmap = platform::CreateDIBSection(0, &info, DIB_RGB_COLORS, &bits);
    if (!bitmap || !bits) return 0;
    const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
    for (int y = 0; y < height; ++y) {
        uint8_t* row = static_cast<uint8_t*>(bits) + static_cast<size_t>(height - 1 - y) * stride;
        for (int x = 0; x < width; ++x) {
            const Colour c = colourAt(x, y);
            row[3 * x] = c[2];
            row[3 * x + 1] = c[1];
            row[3 * x + 2] = c[0];
        }
    }
    return bitmap;
}

// Smooth ramps with a hard-edged block: asymmetric, so flips and swapped channels show.
Colour TestPattern(int x, int y) {
    const bool block = x > 20 && x < 45 && y > 10 && y < 30;
    return {static_cast<uint8_t>(x * 255 / 96), static_cast<uint8_t>(y * 255 / 60),
            static_cast<uint8_t>(block ? 230 : 40)};
}
constexpr int kWidth = 97;
constexpr int kHeight = 61;

double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i)
        sum += (double(a[i]) - b[i]) * (double(a[i]) - b[i]);
    const double mse = sum / a.size();
    return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

std::vector<uint8_t> PatternRgb() {
    std::vector<uint8_t> out;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const Colour c = TestPattern(x, y);
            out.insert(out.end(), c.begin(), c.end());
        }
    return out;
}

struct WriteSettings {
    uint16_t dct = DCT_SLOW_INTEGER;
    uint16_t optimize = 0;
    uint16_t smoothing = 0;
    uint16_t quality = 90;
};

class JpegWrite : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(codec_.loaded());
        write_ = codec_.Entry<WriteJPGProc>("WriteJPG");
        read_ = codec_.Entry<ReadJPGProc>("ReadJPG");
        ASSERT_NE(write_, nullptr);
        ASSERT_NE(read_, nullptr);
        ASSERT_NE(pattern_.get(), 0u);
    }
    int32_t Write(const fs::path& file, const WriteSettings& s, HBITMAP bitmap = 0) {
        return write_(file.c_str(), 0, s.dct, s.optimize, s.smoothing,
                      bitmap ? bitmap : pattern_.get(), 0, s.quality);
    }
    // Writes the pattern with the settings and returns the file's bytes.
    std::string Encode(const WriteSettings& s) {
        const fs::path file = dir_.path("out.jpg");
        EXPECT_EQ(Write(file, s), 0);
        return ReadBytes(file);
    }

    Codec codec_{"LMJPEG32.DLL"};
    WriteJPGProc write_ = nullptr;
    ReadJPGProc read_ = nullptr;
    DisplayDepthScope trueColour_{32};
    TempDir dir_;
    Bitmap pattern_{MakeDib24(kWidth, kHeight, TestPattern)};
};

// The written file is a JPEG of the bitmap's size that decodes close to the bitmap, here and
// in ImageMagick; rows are not flipped and channels not swapped.
TEST_F(JpegWrite, RoundTripKeepsThePicture) {
    const fs::path file = dir_.path("pattern.jpg");
    ASSERT_EQ(Write(file, {}), 0);
    const auto back = CallReadJpg(read_, file);
    ASSERT_GT(back.code, 0);
    EXPECT_EQ(back.picture.width, kWidth);
    EXPECT_EQ(back.picture.height, kHeight);
    EXPECT_EQ(back.picture.bitCount, 24);
    const auto original = PatternRgb();
    EXPECT_GT(Psnr(back.picture.ToRgb(), original), 30.0);
    const Colour inBlock = back.picture.Rgb(32, 20);
    EXPECT_NEAR(inBlock[2], 230, 8);
    EXPECT_NEAR(back.picture.Rgb(90, 5)[0], TestPattern(90, 5)[0], 8);
    EXPECT_NEAR(back.picture.Rgb(5, 55)[1], TestPattern(5, 55)[1], 8);

    if (oracle::ToolAvailable("convert")) {
        const auto magick = RunTool("convert " + Quote(file) + " -depth 8 rgb:-");
        ASSERT_EQ(magick.out.size(), original.size());
        EXPECT_GT(Psnr(std::vector<uint8_t>(magick.out.begin(), magick.out.end()), original), 30.0);
    }
}

// Quality 0 is the library's default of 75; other values reach jpeg_set_quality, capped at 100.
TEST_F(JpegWrite, QualitySetting) {
    const std::string q0 = Encode({DCT_SLOW_INTEGER, 0, 0, 0});
    const std::string q75 = Encode({DCT_SLOW_INTEGER, 0, 0, 75});
    const std::string q10 = Encode({DCT_SLOW_INTEGER, 0, 0, 10});
    const std::string q100 = Encode({DCT_SLOW_INTEGER, 0, 0, 100});
    const std::string q250 = Encode({DCT_SLOW_INTEGER, 0, 0, 250});
    EXPECT_EQ(q0, q75);
    EXPECT_LT(q10.size(), q75.size());
    EXPECT_LT(q75.size(), q100.size());
    EXPECT_EQ(q250, q100);
}

// Optimised Huffman tables make the file no larger and leave the decoded pixels unchanged;
// smoothing and the DCT method change what is written.
TEST_F(JpegWrite, OptimizeSmoothingAndDctMethod) {
    const fs::path plainFile = dir_.path("plain.jpg");
    const fs::path optimisedFile = dir_.path("optimised.jpg");
    ASSERT_EQ(Write(plainFile, {}), 0);
    ASSERT_EQ(Write(optimisedFile, {DCT_SLOW_INTEGER, 1, 0, 90}), 0);
    const std::string plain = ReadBytes(plainFile);
    const std::string optimised = ReadBytes(optimisedFile);
    EXPECT_NE(plain, optimised);
    EXPECT_LE(optimised.size(), plain.size());
    const auto a = CallReadJpg(read_, plainFile);
    const auto b = CallReadJpg(read_, optimisedFile);
    ASSERT_GT(a.code, 0);
    ASSERT_GT(b.code, 0);
    EXPECT_EQ(a.picture.rows, b.picture.rows);

    EXPECT_NE(Encode({DCT_SLOW_INTEGER, 0, 60, 90}), plain);
    EXPECT_EQ(Encode({DCT_SLOW_INTEGER, 0, 0, 90}), plain);
    EXPECT_NE(Encode({DCT_FAST_INTEGER, 0, 0, 90}), plain);
    EXPECT_NE(Encode({DCT_FLOATING_POINT, 0, 0, 90}), plain);
}

// Bitmaps of other kinds are read through GetDIBits: an 8-bit DIB section by its colour table
// and a device-compatible bitmap drawn with brushes.
TEST_F(JpegWrite, IndexedAndDeviceBitmaps) {
    const Colour quadrants[4] = {{200, 30, 30}, {30, 200, 30}, {30, 30, 200}, {240, 240, 0}};
    constexpr int kSide = 64;
    auto check = [&](const fs::path& file) {
        const auto back = CallReadJpg(read_, file);
        ASSERT_GT(back.code, 0);
        ASSERT_EQ(back.picture.width, kSide);
        ASSERT_EQ(back.picture.height, kSide);
        for (int q = 0; q < 4; ++q) {
            const Colour got = back.picture.Rgb((q % 2) * 32 + 16, (q / 2) * 32 + 16);
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(got[c], quadrants[q][c], 6) << "quadrant " << q;
        }
    };

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = kSide;
    info.bmiHeader.biHeight = kSide;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 8;
    for (int q = 0; q < 4; ++q)
        info.bmiColors[q] = RGBQUAD{quadrants[q][2], quadrants[q][1], quadrants[q][0], 0};
    void* bits = nullptr;
    Bitmap indexed(platform::CreateDIBSection(0, &info, DIB_RGB_COLORS, &bits));
    ASSERT_NE(indexed.get(), 0u);
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x)
            static_cast<uint8_t*>(bits)[(kSide - 1 - y) * kSide + x] =
                static_cast<uint8_t>((y / 32) * 2 + x / 32);
    const fs::path indexedFile = dir_.path("indexed.jpg");
    ASSERT_EQ(Write(indexedFile, {}, indexed.get()), 0);
    check(indexedFile);

    Bitmap device(platform::CreateCompatibleBitmap(0, kSide, kSide));
    ASSERT_NE(device.get(), 0u);
    const HDC dc = platform::CreateCompatibleDC(0);
    const HGDIOBJ old = platform::SelectObject(dc, device.get());
    for (int q = 0; q < 4; ++q) {
        const HBRUSH brush =
            platform::CreateSolidBrush(RGB(quadrants[q][0], quadrants[q][1], quadrants[q][2]));
        const RECT r{(q % 2) * 32, (q / 2) * 32, (q % 2) * 32 + 32, (q / 2) * 32 + 32};
        platform::FillRect(dc, &r, brush);
        platform::DeleteObject(brush);
    }
    platform::SelectObject(dc, old);
    platform::DeleteDC(dc);
    const fs::path deviceFile = dir_.path("device.jpg");
    ASSERT_EQ(Write(deviceFile, {}, device.get()), 0);
    check(deviceFile);
}

// Failures give the save path's codes, leave no file behind and leak no handle.
TEST_F(JpegWrite, FailuresGiveSaveCodes) {
    const size_t memoryBefore = platform::CountHandles(platform::HandleKind::Memory);
    const size_t bitmapsBefore = platform::CountHandles(platform::HandleKind::Bitmap);
    EXPECT_EQ(Write(dir_.path("no-such-dir/x.jpg"), {}), decode::kCouldNotOpen);

    const fs::path noBitmap = dir_.path("no-bitmap.jpg");
    EXPECT_EQ(write_(noBitmap.c_str(), 0, 0, 0, 0, 0, 0, 90), decode::kNoBitmap);
    EXPECT_EQ(write_(noBitmap.c_str(), 0, 0, 0, 0, 0x7FFFF, 0, 90), decode::kNoBitmap);
    const HBRUSH brush = platform::CreateSolidBrush(RGB(1, 2, 3));
    EXPECT_EQ(write_(noBitmap.c_str(), 0, 0, 0, 0, brush, 0, 90), decode::kNoBitmap);
    platform::DeleteObject(brush);
    EXPECT_FALSE(fs::exists(noBitmap));
    EXPECT_EQ(write_(nullptr, 0, 0, 0, 0, pattern_.get(), 0, 90), decode::kCouldNotOpen);

    if (fs::exists("/dev/full")) {
        // Opens, but every write fails: the error surfaces from libjpeg or from the flush.
        EXPECT_EQ(Write("/dev/full", {}), decode::kWriteError);
    }
    EXPECT_EQ(platform::CountHandles(platform::HandleKind::Memory), memoryBefore);
    EXPECT_EQ(platform::CountHandles(platform::HandleKind::Bitmap), bitmapsBefore);
}

}  // namespace
}  // namespace codecs_test
