// Quarter turns: the pixel walk against a plain per-pixel mapping on every depth and on sizes
// that cross the walk's tiles, and Rotate on the control (colours, palette rule, errors).
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
    switch (bits) {
        case 1:
            return (row[x >> 3] >> (7 - (x & 7))) & 1;
        case 4:
            return (x & 1) ? row[x >> 1] & 15 : row[x >> 1] >> 4;
        default: {
            uint32_t v = 0;
            for (int i = 0; i < bits / 8; ++i)
                v |= uint32_t{row[x * (bits / 8) + i]} << (8 * i);
            return v;
        }
    }
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
    std::vector<uint8_t> four = src.rows;
    for (int i = 0; i < 4; ++i)
        four = Turn(four, i % 2 ? h : w, i % 2 ? w : h, bits, true);
    EXPECT_EQ(four, src.rows) << "four clockwise turns";
    EXPECT_EQ(Turn(Turn(src.rows, w, h, bits, true), h, w, bits, false), src.rows)
        << "clockwise, then counter-clockwise";
}

INSTANTIATE_TEST_SUITE_P(DepthsAndSizes, TurnBitsTest,
                         testing::Combine(testing::Values(1, 4, 8, 16, 24, 32),
                                          testing::Values(1, 3, 9, 130),
                                          testing::Values(2, 7, 67, 260)));

TEST(Rotate, ThreeByTwoTurnsBothWays) {
    // A B C on top, D E F below; each letter its own colour.
    const uint8_t letters[2][3] = {{'A', 'B', 'C'}, {'D', 'E', 'F'}};
    oracle::RgbImage picture{3, 2, std::vector<uint8_t>(18), {}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            for (int c = 0; c < 3; ++c)
                picture.rgb[(y * 3 + x) * 3 + c] = letters[y][x] + c;
    const struct {
        int16_t direction;
        const char* rows;
    } cases[] = {{1, "DAEBFC"}, {0, "CFBEAD"}, {-5, "DAEBFC"}};
    testsupport::TempDir dir;
    for (const auto& c : cases) {
        Sited s;
        Load(s, dir, DibFrom(picture));
        s.ctrl.Rotate(c.direction);
        EXPECT_EQ(s.Short("bmpw"), 2);
        EXPECT_EQ(s.Short("bmph"), 3);
        const oracle::RgbImage got = ReadPicture(s.ctrl);
        ASSERT_EQ(got.width, 2);
        std::string rows;
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 2; ++x)
                rows += static_cast<char>(got.pixel(x, y)[0]);
        EXPECT_EQ(rows, c.rows) << "direction " << c.direction;
    }
}

TEST(Rotate, KeepsDepthColoursAndComesBackAfterFourTurns) {
    testsupport::TempDir dir;
    for (const int bits : {4, 8, 24, 32}) {
        SCOPED_TRACE(bits);
        Sited s;
        const Dib original = NoisyPicture(7, 5, bits, 9);
        Load(s, dir, original);
        s.ctrl.CallMethod("Rotate", std::vector{Variant::I2(1)});
        const Dib turned = ReadBitmap(s.ctrl, bits);
        EXPECT_TRUE(SameColors(turned.colors, original.colors));
        EXPECT_EQ(turned.rows, Turn(original.rows, 7, 5, bits, true));
        for (int i = 0; i < 3; ++i)
            s.ctrl.Rotate(1);
        EXPECT_EQ(ReadBitmap(s.ctrl, bits).rows, original.rows);
        EXPECT_EQ(s.Short("bmpw"), 7);
    }
}

TEST(Rotate, OneBitPictureWithLightFirstColourLooksTheSame) {
    testsupport::TempDir dir;
    Sited s;
    Dib dib = NoisyPicture(11, 5, 1, 3);
    dib.colors = {RGBQUAD{255, 255, 255, 0}, RGBQUAD{0, 0, 0, 0}};
    Load(s, dir, dib);
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
}

TEST(Rotate, WithoutPictureRaisesInvalidPicture) {
    Sited s;
    EXPECT_EQ(ErrorOf([&] { s.ctrl.Rotate(1); }),
              std::make_pair(481, std::string("Invalid picture")));
}

}  // namespace
