// Quarter turns: the pixel walk against a plain per-pixel mapping on every depth and on sizes
// that cross the walk's tiles, and Rotate on the control (directions, colours, palette rule,
// errors).
#include <gtest/gtest.h>

#include <tuple>

#include "imageops/rotate_bits.h"
#include "imageops_fixture.h"

using namespace imageops_test;

namespace {

// One pixel of packed rows (y = 0 is the top picture row).
uint32_t PixelAt(const uint8_t* base, size_t stride, int rows, bool topDown, int x, int y,
                 int bits) {
    const uint8_t* row = base + static_cast<size_t>(topDown ? y : rows - 1 - y) * stride;
    if (bits < 8) return row[x * bits / 8] >> (8 - bits - x * bits % 8) & ((1 << bits) - 1);
    uint32_t v = 0;
    for (int i = 0; i < bits / 8; ++i)
        v |= uint32_t{row[x * (bits / 8) + i]} << (8 * i);
    return v;
}

std::vector<uint8_t> Turn(const std::vector<uint8_t>& src, int w, int h, int bits, bool cw) {
    std::vector<uint8_t> dst(imageops::TurnedRowBytes(h, bits) * w, 0);
    imageops::TurnBits(src.data(), w, h, bits, cw, dst.data());
    return dst;
}

class TurnBitsTest : public testing::TestWithParam<std::tuple<int, int, int>> {};

TEST_P(TurnBitsTest, EveryPixelLandsWhereTheTurnPutsIt) {
    const auto [bits, w, h] = GetParam();
    const Dib src = NoisyPicture(w, h, bits, static_cast<uint32_t>(w * 31 + h));
    const size_t srcStride = imageops::DibRowBytes(w, bits);
    const size_t dstStride = imageops::TurnedRowBytes(h, bits);
    for (const bool cw : {true, false}) {
        const std::vector<uint8_t> dst = Turn(src.rows, w, h, bits, cw);
        int wrong = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const int dx = cw ? h - 1 - y : y;
                const int dy = cw ? x : w - 1 - x;
                wrong += PixelAt(dst.data(), dstStride, w, bits == 1, dx, dy, bits) !=
                         PixelAt(src.rows.data(), srcStride, h, false, x, y, bits);
            }
        EXPECT_EQ(wrong, 0) << (cw ? "clockwise" : "counter-clockwise");
    }
    if (bits == 1) return;  // the turned 1-bit layout is not a DIB and cannot be turned again
    // The row padding is cleared: a turn and its reverse give the very bytes back.
    EXPECT_EQ(Turn(Turn(src.rows, w, h, bits, true), h, w, bits, false), src.rows);
}

INSTANTIATE_TEST_SUITE_P(DepthsAndSizes, TurnBitsTest,
                         testing::Combine(testing::Values(1, 4, 8, 16, 24, 32),
                                          testing::Values(1, 3, 9, 130),
                                          testing::Values(2, 7, 67, 260)));

TEST(Rotate, TurnsEachDepthEitherWayKeepingItsColours) {
    // Direction 0 turns counter-clockwise, any other clockwise.
    for (const auto& [bits, direction] : {std::pair{4, 1}, {8, 0}, {24, -5}, {32, 1}}) {
        SCOPED_TRACE(bits);
        Sited s;
        const Dib original = NoisyPicture(7, 5, bits, 9);
        Load(s, original);
        s.ctrl.CallMethod("Rotate", std::vector{Variant::I2(static_cast<int16_t>(direction))});
        EXPECT_EQ(s.Short("bmpw"), 5);
        EXPECT_EQ(s.Short("bmph"), 7);
        const Dib turned = ReadBitmap(s.ctrl, bits);
        EXPECT_EQ(turned.rows, Turn(original.rows, 7, 5, bits, direction != 0));
        ASSERT_EQ(turned.colors.size(), original.colors.size());
        EXPECT_EQ(0, std::memcmp(turned.colors.data(), original.colors.data(),
                                 turned.colors.size() * sizeof(RGBQUAD)));
    }
}

TEST(Rotate, OneBitPictureWithLightFirstColourLooksTheSame) {
    Sited s;
    Dib dib = NoisyPicture(11, 5, 1, 3);
    dib.colors = {RGBQUAD{255, 255, 255, 0}, RGBQUAD{0, 0, 0, 0}};
    Load(s, dib);
    const oracle::RgbImage before = ReadPicture(s.ctrl);
    s.ctrl.Rotate(0);
    PALETTEENTRY entries[2]{};
    ASSERT_EQ(platform::GetPaletteEntries(s.ctrl.Image().palette, 0, 2, entries), 2u);
    EXPECT_EQ(entries[0].peRed + entries[0].peGreen + entries[0].peBlue, 0);
    EXPECT_EQ(entries[1].peRed + entries[1].peGreen + entries[1].peBlue, 3 * 255);
    const oracle::RgbImage after = ReadPicture(s.ctrl);
    ASSERT_EQ(after.width, 5);
    ASSERT_EQ(after.height, 11);
    int wrong = 0;
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 11; ++x)
            wrong += after.pixel(y, 10 - x)[0] != before.pixel(x, y)[0];
    EXPECT_EQ(wrong, 0);
    Sited none;
    EXPECT_EQ(ErrorOf([&] { none.ctrl.Rotate(1); }),
              std::make_pair(481, std::string("Invalid picture")));
}

}  // namespace
