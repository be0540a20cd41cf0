// Stretching, mirroring and clipping: which source pixel lands on which destination pixel.
#include <climits>
#include <cmath>

#include "gdi_support.h"

using namespace gdi_test;

namespace {

// An 8-bit top-down section whose table is the same everywhere, so pixels are plain numbers.
class Canvas {
  public:
    Canvas(int w, int h) : w_(w), h_(h) {
        BITMAPINFO info = MakeInfo(w, -h, 8);
        for (int i = 0; i < 256; ++i)
            info.bmiColors[i] = Quad(uint8_t(i), uint8_t(i), uint8_t(255 - i));
        bitmap_ = std::make_unique<Object>(CreateDIBSection(0, &info, DIB_RGB_COLORS, &bits_));
        dc_ = std::make_unique<MemoryDc>(bitmap_->get());
    }
    uint8_t& at(int x, int y) { return static_cast<uint8_t*>(bits_)[y * Stride(w_, 8) + x]; }
    void Fill(uint8_t v) {
        for (int y = 0; y < h_; ++y)
            for (int x = 0; x < w_; ++x)
                at(x, y) = v;
    }
    // Pixels from (x, y) in steps of (dx, dy) up to the edge: a row or a column.
    std::vector<int> Line(int x, int y, int dx, int dy) {
        std::vector<int> v;
        for (; x < w_ && y < h_; x += dx, y += dy)
            v.push_back(at(x, y));
        return v;
    }
    HDC dc() const { return *dc_; }

  private:
    int w_, h_;
    void* bits_ = nullptr;
    std::unique_ptr<Object> bitmap_;
    std::unique_ptr<MemoryDc> dc_;
};

// Source pixel values 10, 11, 12, ... along x and 10, 20, 30, ... along y.
Canvas Ramp(int w, int h) {
    Canvas c(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            c.at(x, y) = static_cast<uint8_t>(10 * (y + 1) + x);
    return c;
}

}  // namespace

TEST(Stretch, HugeAndZeroExtents) {
    Canvas src = Ramp(4, 3);
    Canvas dst(5, 3);
    // Extents far beyond the bitmaps are clipped, not walked.
    dst.Fill(1);
    ASSERT_TRUE(StretchBlt(dst.dc(), INT_MIN / 2, 0, INT_MAX, 1, src.dc(), 0, 0, 4, 1, SRCCOPY));
    EXPECT_EQ(dst.at(4, 0), 12);  // the middle of the huge extent reads the middle of the source
    ASSERT_TRUE(StretchBlt(dst.dc(), 0, 0, 1, 1, src.dc(), INT_MIN, 0, INT_MAX, 1, SRCCOPY));
    ASSERT_TRUE(StretchBlt(dst.dc(), 0, 0, -INT_MAX, -INT_MAX, src.dc(), INT_MAX, INT_MAX, INT_MIN,
                           INT_MIN, SRCCOPY));
    // Zero extents draw nothing.
    dst.Fill(1);
    ASSERT_TRUE(StretchBlt(dst.dc(), 0, 0, 0, 3, src.dc(), 0, 0, 4, 3, SRCCOPY));
    ASSERT_TRUE(StretchBlt(dst.dc(), 0, 0, 3, 3, src.dc(), 0, 0, 0, 3, SRCCOPY));
    EXPECT_EQ(dst.Line(0, 0, 1, 0), (std::vector<int>{1, 1, 1, 1, 1}));
}

TEST(Stretch, OverlappingCopyWithinOneBitmap) {
    Canvas c = Ramp(6, 3);
    ASSERT_TRUE(BitBlt(c.dc(), 1, 1, 5, 2, c.dc(), 0, 0, SRCCOPY));
    EXPECT_EQ(c.Line(0, 1, 1, 0), (std::vector<int>{20, 10, 11, 12, 13, 14}));
    EXPECT_EQ(c.Line(0, 2, 1, 0), (std::vector<int>{30, 20, 21, 22, 23, 24}));
    ASSERT_TRUE(BitBlt(c.dc(), 0, 0, 5, 3, c.dc(), 1, 0, SRCCOPY));
    EXPECT_EQ(c.Line(0, 0, 1, 0), (std::vector<int>{11, 12, 13, 14, 15, 15}));
}

// Random rectangles, extents of both signs and partly outside both bitmaps, in every stretch mode,
// against a direct per-pixel reading: each destination pixel inside the destination bitmap whose
// centre maps into the source bitmap takes that source pixel (nearest pixel, whatever the mode);
// every other pixel keeps its value.
TEST(Stretch, RandomRectanglesMatchAPerPixelReading) {
    std::mt19937 rng(2024);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int round = 0; round < 300; ++round) {
        const int sw = pick(1, 9), sh = pick(1, 9), dw = pick(1, 12), dh = pick(1, 12);
        Canvas src(sw, sh), dst(dw, dh);
        for (int y = 0; y < sh; ++y)
            for (int x = 0; x < sw; ++x)
                src.at(x, y) = static_cast<uint8_t>(1 + y * sw + x);
        dst.Fill(0);
        SetStretchBltMode(dst.dc(), pick(BLACKONWHITE, HALFTONE));
        int ex = pick(-14, 14), ey = pick(-14, 14), sex = pick(-11, 11), sey = pick(-11, 11);
        if (ex == 0) ex = 1;
        if (ey == 0) ey = -1;
        if (sex == 0) sex = 2;
        if (sey == 0) sey = -2;
        const int x = pick(-6, 12), y = pick(-6, 12), sx = pick(-4, 10), sy = pick(-4, 10);
        ASSERT_TRUE(StretchBlt(dst.dc(), x, y, ex, ey, src.dc(), sx, sy, sex, sey, SRCCOPY));
        for (int py = 0; py < dh; ++py) {
            for (int px = 0; px < dw; ++px) {
                // Position along the extent, counted from where the extent starts.
                const double u = ex > 0 ? px - x + 0.5 : x - px - 0.5;
                const double v = ey > 0 ? py - y + 0.5 : y - py - 0.5;
                int want = 0;
                if (u > 0 && u < std::abs(ex) && v > 0 && v < std::abs(ey)) {
                    const int j = static_cast<int>(std::floor(u * std::abs(sex) / std::abs(ex)));
                    const int i = static_cast<int>(std::floor(v * std::abs(sey) / std::abs(ey)));
                    const int qx = sex > 0 ? sx + j : sx - 1 - j;
                    const int qy = sey > 0 ? sy + i : sy - 1 - i;
                    if (qx >= 0 && qx < sw && qy >= 0 && qy < sh) want = src.at(qx, qy);
                }
                ASSERT_EQ(dst.at(px, py), want) << "round " << round << " at " << px << "," << py;
            }
        }
    }
}
