// "WriteJPG" of LMJPEG32.DLL: bitmaps of the raster engine written as JPEG and read back.

#include <gtest/gtest.h>

#include <cmath>

#include "codecs/codec_support.h"
#include "decode/loader_error.h"
#include "platform/gdi/gdi.h"
#include "platform/os/handles.h"

namespace codecs_test {
namespace {

// Owns a bitmap of the raster engine.
struct Bitmap {
    explicit Bitmap(HBITMAP h) : handle(h) {}
    Bitmap(const Bitmap&) = delete;
    ~Bitmap() { platform::DeleteObject(handle); }
    HBITMAP handle;
};

BITMAPINFO DibInfo(int width, int height, int bitCount) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // bottom-up
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = static_cast<uint16_t>(bitCount);
    return info;
}

// A 24-bit DIB section holding the picture.
HBITMAP MakeDib24(const oracle::RgbImage& picture) {
    const BITMAPINFO info = DibInfo(picture.width, picture.height, 24);
    void* bits = nullptr;
    const HBITMAP bitmap = platform::CreateDIBSection(0, &info, DIB_RGB_COLORS, &bits);
    if (!bitmap || !bits) return 0;
    const size_t stride = (static_cast<size_t>(picture.width) * 3 + 3) & ~size_t{3};
    for (int y = 0; y < picture.height; ++y) {
        uint8_t* row =
            static_cast<uint8_t*>(bits) + static_cast<size_t>(picture.height - 1 - y) * stride;
        for (int x = 0; x < picture.width; ++x, row += 3) {
            const uint8_t* c = picture.pixel(x, y);
            row[0] = c[2];
            row[1] = c[1];
            row[2] = c[0];
        }
    }
    return bitmap;
}

// Peak signal to noise ratio of a decoded picture against the original, in decibels.
double Psnr(const oracle::RgbImage& a, const oracle::RgbImage& b) {
    if (a.rgb.size() != b.rgb.size()) return 0;
    double sum = 0;
    for (size_t i = 0; i < a.rgb.size(); ++i)
        sum += (double(a.rgb[i]) - b.rgb[i]) * (double(a.rgb[i]) - b.rgb[i]);
    const double mse = sum / a.rgb.size();
    return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

struct WriteSettings {
    uint16_t dct = DCT_SLOW_INTEGER;
    uint16_t optimize = 0;
    uint16_t smoothing = 0;
    uint16_t quality = 90;
};

class JpegWrite : public ModuleTest<ReadJPGProc> {
  protected:
    JpegWrite() : ModuleTest("LMJPEG32.DLL", "ReadJPG") {}
    void SetUp() override {
        ModuleTest::SetUp();
        write_ = Entry<WriteJPGProc>(codec_, "WriteJPG");
        ASSERT_NE(write_, nullptr);
        ASSERT_NE(pattern_.handle, 0u);
    }
    int32_t Write(const fs::path& file, const WriteSettings& s, HBITMAP bitmap = 0) {
        return write_(file.c_str(), 0, s.dct, s.optimize, s.smoothing,
                      bitmap ? bitmap : pattern_.handle, 0, s.quality);
    }

    WriteJPGProc write_ = nullptr;
    DisplayDepthScope trueColour_{32};
    TempDir dir_;
    Bitmap pattern_{MakeDib24(testsupport::TestPattern(97, 61))};
};

// The written file is a JPEG of the bitmap's size that decodes close to the bitmap, here and
// in ImageMagick; rows are not flipped and channels not swapped.
TEST_F(JpegWrite, RoundTripKeepsThePicture) {
    const fs::path file = dir_.path("pattern.jpg");
    ASSERT_EQ(Write(file, {}), 0);
    const auto back = CallReadJpg(read_, file);
    ASSERT_GT(back.code, 0);
    EXPECT_EQ(back.picture.bitCount, 24);
    const oracle::RgbImage original = testsupport::TestPattern(97, 61);
    EXPECT_GT(Psnr(back.picture.Picture(), original), 30.0);
    if (oracle::ToolAvailable("convert")) {
        EXPECT_GT(Psnr(oracle::FirstPicture("convert " + Quote(file) + " ppm:-"), original), 30.0);
    }
}

// Quality 0 is the library's default of 75, other values reach jpeg_set_quality capped at 100;
// optimised Huffman tables make the file no larger and leave the pixels alone; smoothing and
// the DCT method change what is written.
TEST_F(JpegWrite, SettingsReachTheEncoder) {
    enum Relation { kSame, kSmaller, kLarger, kDiffers };
    const struct {
        WriteSettings a, b;
        Relation relation;  // of a's file to b's
    } rows[] = {
        {{DCT_SLOW_INTEGER, 0, 0, 0}, {DCT_SLOW_INTEGER, 0, 0, 75}, kSame},
        {{DCT_SLOW_INTEGER, 0, 0, 10}, {DCT_SLOW_INTEGER, 0, 0, 75}, kSmaller},
        {{DCT_SLOW_INTEGER, 0, 0, 100}, {DCT_SLOW_INTEGER, 0, 0, 75}, kLarger},
        {{DCT_SLOW_INTEGER, 0, 0, 250}, {DCT_SLOW_INTEGER, 0, 0, 100}, kSame},
        {{DCT_SLOW_INTEGER, 1, 0, 90}, {}, kSmaller},
        {{DCT_SLOW_INTEGER, 0, 60, 90}, {}, kDiffers},
        {{DCT_FAST_INTEGER, 0, 0, 90}, {}, kDiffers},
        {{DCT_FLOATING_POINT, 0, 0, 90}, {}, kDiffers},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(&row - rows);
        const fs::path a = dir_.path("a.jpg"), b = dir_.path("b.jpg");
        ASSERT_EQ(Write(a, row.a), 0);
        ASSERT_EQ(Write(b, row.b), 0);
        const std::string bytesA = ReadBytes(a), bytesB = ReadBytes(b);
        EXPECT_EQ(bytesA == bytesB, row.relation == kSame);
        if (row.relation == kSmaller) {
            EXPECT_LT(bytesA.size(), bytesB.size());
        }
        if (row.relation == kLarger) {
            EXPECT_GT(bytesA.size(), bytesB.size());
        }
        // Quality 100 and above quantise every coefficient by one.
        if (row.a.quality == 250) {
            const size_t dqt = bytesA.find("\xFF\xDB");
            ASSERT_NE(dqt, std::string::npos);
            EXPECT_EQ(bytesA.substr(dqt + 5, 64), std::string(64, '\1'));
        }
        if (row.a.optimize) {
            EXPECT_EQ(CallReadJpg(read_, a).picture.rows, CallReadJpg(read_, b).picture.rows);
        }
    }
}

// Bitmaps of other kinds are read through GetDIBits at 24 bits: an 8-bit DIB section in four
// coloured quadrants by its colour table.
TEST_F(JpegWrite, IndexedBitmapsAreWrittenInColour) {
    const COLORREF quadrants[4] = {RGB(200, 30, 30), RGB(30, 200, 30), RGB(30, 30, 200),
                                   RGB(240, 240, 0)};
    BITMAPINFO info = DibInfo(64, 64, 8);
    for (int q = 0; q < 4; ++q)
        info.bmiColors[q] = {GetBValue(quadrants[q]), GetGValue(quadrants[q]),
                             GetRValue(quadrants[q]), 0};
    void* bits = nullptr;
    const Bitmap indexed(platform::CreateDIBSection(0, &info, DIB_RGB_COLORS, &bits));
    ASSERT_NE(indexed.handle, 0u);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            static_cast<uint8_t*>(bits)[(63 - y) * 64 + x] =
                static_cast<uint8_t>((y / 32) * 2 + x / 32);

    const fs::path file = dir_.path("quadrants.jpg");
    ASSERT_EQ(Write(file, {}, indexed.handle), 0);
    const auto back = CallReadJpg(read_, file);
    ASSERT_GT(back.code, 0);
    for (int q = 0; q < 4; ++q) {
        const auto got = back.picture.Rgb((q % 2) * 32 + 16, (q / 2) * 32 + 16);
        EXPECT_NEAR(got[0], GetRValue(quadrants[q]), 6) << "quadrant " << q;
        EXPECT_NEAR(got[1], GetGValue(quadrants[q]), 6) << "quadrant " << q;
        EXPECT_NEAR(got[2], GetBValue(quadrants[q]), 6) << "quadrant " << q;
    }
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
    EXPECT_EQ(write_(nullptr, 0, 0, 0, 0, pattern_.handle, 0, 90), decode::kCouldNotOpen);

    if (fs::exists("/dev/full")) {
        // Opens, but every write fails: the error surfaces from libjpeg or from the flush.
        EXPECT_EQ(Write("/dev/full", {}), decode::kWriteError);
    }
    EXPECT_EQ(platform::CountHandles(platform::HandleKind::Memory), memoryBefore);
    EXPECT_EQ(platform::CountHandles(platform::HandleKind::Bitmap), bitmapsBefore);
}

}  // namespace
}  // namespace codecs_test
