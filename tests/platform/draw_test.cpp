// Pens, lines and binary raster operations.
#include <algorithm>
#include <random>

#include "gdi_support.h"

namespace {

using namespace gdi_test;

TEST(Lines, EveryOctantLeavesOutTheEndPixel) {
    // From (0,0) to (5,2) the ideal line passes y = 0.4, 0.8, 1.2, 1.6 at x = 1..4.
    const int base[5][2] = {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 2}};
    struct Octant {
        int sx, sy;
        bool swap;
    };
    const Octant octants[] = {{1, 1, false},   {1, 1, true},   {-1, 1, true}, {-1, 1, false},
                              {-1, -1, false}, {-1, -1, true}, {1, -1, true}, {1, -1, false}};
    for (const Octant& o : octants) {
        Board board(17, 17);
        const auto place = [&](int a, int b) {
            return o.swap ? POINT{8 + o.sx * b, 8 + o.sy * a} : POINT{8 + o.sx * a, 8 + o.sy * b};
        };
        const POINT end = place(5, 2);
        ASSERT_TRUE(MoveToEx(board, 8, 8, nullptr));
        ASSERT_TRUE(LineTo(board, end.x, end.y));
        ASSERT_EQ(board.Count(kBlack), 5) << "octant " << o.sx << o.sy << o.swap;
        for (const auto& [a, b] : base)
            EXPECT_EQ(board.At(place(a, b).x, place(a, b).y), kBlack) << a << "," << b;
        POINT previous{};
        ASSERT_TRUE(MoveToEx(board, 0, 0, &previous));
        EXPECT_TRUE(previous.x == end.x && previous.y == end.y);
    }
}

TEST(Lines, PolylineDrawsEachVertexOnceAndLeavesPositionAlone) {
    Board board(8, 6);
    Object pen(CreatePen(PS_SOLID, 1, kRed));
    Selected select(board, pen);
    ASSERT_EQ(SetROP2(board, R2_NOTXORPEN), R2_COPYPEN);  // white ^ ~red: drawing twice shows
    MoveToEx(board, 7, 5, nullptr);
    const POINT path[] = {{1, 1}, {5, 1}, {5, 4}, {1, 4}};
    ASSERT_TRUE(Polyline(board, path, 4));
    const std::vector<std::string> expected = {
        "........", ".rrrrr..", ".....r..", ".....r..", "..rrrr..", "........",
    };
    EXPECT_EQ(board.Art(), expected);
    POINT position{};
    GetCurrentPositionEx(board, &position);
    EXPECT_TRUE(position.x == 7 && position.y == 5);
}

TEST(Pens, CosmeticDashPatterns) {
    // On and off run lengths of one period, repeated along 60 pixels.
    const std::pair<int, std::vector<int>> cases[] = {{PS_DASH, {18, 6}},
                                                      {PS_DOT, {3, 3}},
                                                      {PS_DASHDOT, {9, 6, 3, 6}},
                                                      {PS_DASHDOTDOT, {9, 3, 3, 3, 3, 3}}};
    for (const auto& [style, period] : cases) {
        std::string expected;
        for (size_t i = 0; expected.size() < 60; ++i)
            expected.append(static_cast<size_t>(period[i % period.size()]), i % 2 ? '.' : '#');
        expected.resize(60);
        Board board(70, 1);
        Object pen(CreatePen(style, 1, kBlack));
        Selected select(board, pen);
        SetBkMode(board, TRANSPARENT);
        MoveToEx(board, 0, 0, nullptr);
        LineTo(board, 60, 0);
        EXPECT_EQ(board.Art()[0], expected + "..........") << "style " << style;

        // Opaque: the gaps take the background colour.
        board.Clear(kWhite);
        SetBkMode(board, OPAQUE);
        SetBkColor(board, kRed);
        MoveToEx(board, 0, 0, nullptr);
        LineTo(board, 60, 0);
        std::replace(expected.begin(), expected.end(), '.', 'r');
        EXPECT_EQ(board.Art()[0], expected + "..........") << "style " << style;
    }
}

TEST(Pens, PatternRunsOnAcrossPolylineCorners) {
    Board board(10, 10);
    Object pen(CreatePen(PS_DOT, 1, kBlack));
    Selected select(board, pen);
    SetBkMode(board, TRANSPARENT);
    const POINT path[] = {{0, 0}, {4, 0}, {4, 6}};
    Polyline(board, path, 3);
    // Positions 0-2 on, 3-5 off, 6-8 on: (0..2,0) then (4,2),(4,3),(4,4) after the corner.
    EXPECT_EQ(board.Art()[0], "###.......");
    for (int y = 1; y < 6; ++y)
        EXPECT_EQ(board.At(4, y), y >= 2 && y <= 4 ? kBlack : kWhite) << y;
}

TEST(Pens, WidePensDrawSolidRoundStrokes) {
    Board board(12, 9);
    Object pen(CreatePen(PS_DASH, 3, kBlack));
    Selected select(board, pen);
    MoveToEx(board, 2, 4, nullptr);
    LineTo(board, 8, 4);
    // A 3-pixel disc on every pixel from 2 to 8, the end included: a solid 9 x 3 band.
    EXPECT_TRUE(SameRect(board.Changed(), RECT{1, 3, 10, 6}));
    EXPECT_EQ(board.Count(kBlack), 27);

    Board round(12, 12);
    Object five(CreatePen(PS_SOLID, 5, kBlack));
    Selected selectFive(round, five);
    MoveToEx(round, 5, 5, nullptr);
    LineTo(round, 5, 5);
    // One disc of diameter 5: a 5 x 5 square without its corners.
    const std::vector<std::string> disc = {".###.", "#####", "#####", "#####", ".###."};
    for (int y = 0; y < 5; ++y)
        EXPECT_EQ(round.Art()[3 + y].substr(3, 5), disc[y]) << y;
    EXPECT_TRUE(SameRect(round.Changed(), RECT{3, 3, 8, 8}));
}

TEST(Pens, APenWiderThanTheSurfaceCoversItAll) {
    // A hostile width must neither take quadratic time nor leave gaps: the whole surface turns
    // the pen's colour, as any pen wider than twice the surface would paint it.
    Board board(40, 30);
    Object pen(CreatePen(PS_SOLID, 30000, kRed));
    Selected select(board, pen);
    MoveToEx(board, 5, 5, nullptr);
    LineTo(board, 35, 25);
    EXPECT_EQ(board.Count(kRed), 40 * 30);
}

TEST(Pens, StockPensSelectionAndDeletion) {
    Board board(4, 4);
    const HGDIOBJ black = GetStockObject(BLACK_PEN);
    EXPECT_NE(GetStockObject(WHITE_PEN), black);
    EXPECT_EQ(GetCurrentObject(board, OBJ_PEN), black);
    EXPECT_FALSE(DeleteObject(black));

    const HPEN pen = CreatePen(PS_SOLID, 1, kRed);
    ASSERT_NE(pen, 0u);
    EXPECT_EQ(SelectObject(board, pen), black);
    EXPECT_FALSE(DeleteObject(pen));  // selected
    MoveToEx(board, 0, 1, nullptr);
    LineTo(board, 3, 1);
    EXPECT_EQ(board.Art()[1], "rrr.");
    EXPECT_EQ(SelectObject(board, GetStockObject(NULL_PEN)), pen);
    LineTo(board, 0, 2);
    EXPECT_TRUE(SameRect(board.Changed(), RECT{0, 1, 3, 2}));
    EXPECT_TRUE(DeleteObject(pen));
    EXPECT_EQ(CreatePen(9, 1, 0), 0u);
    EXPECT_EQ(SelectObject(board, pen), 0u);  // stale
}

TEST(DcState, SettersReturnThePreviousValueAndRefuseOutOfRange) {
    const struct {
        int (*set)(HDC, int);
        int (*get)(HDC);
        int initial, other, tooLow, tooHigh;
    } modes[] = {
        {SetROP2, GetROP2, R2_COPYPEN, R2_XORPEN, 0, R2_WHITE + 1},
        {SetBkMode, GetBkMode, OPAQUE, TRANSPARENT, 0, OPAQUE + 1},
        {SetPolyFillMode, GetPolyFillMode, ALTERNATE, WINDING, 0, WINDING + 1},
        {SetStretchBltMode, GetStretchBltMode, BLACKONWHITE, COLORONCOLOR, 0, HALFTONE + 1}};
    for (const auto& m : modes) {
        MemoryDc dc;
        EXPECT_EQ(m.get(dc), m.initial);
        EXPECT_EQ(m.set(dc, m.other), m.initial);
        EXPECT_EQ(m.set(dc, m.tooLow), 0);
        EXPECT_EQ(m.set(dc, m.tooHigh), 0);
        EXPECT_EQ(m.get(dc), m.other);
    }
    MemoryDc dc;
    EXPECT_EQ(SetBkColor(dc, RGB(1, 2, 3)), kWhite);
    EXPECT_EQ(SetTextColor(dc, RGB(4, 5, 6)), kBlack);
}

// The binary raster operation worked out bit by bit: bit index (P << 1) | D of mode - 1.
uint32_t Rop2Reference(int mode, uint32_t p, uint32_t d, int bits) {
    uint32_t out = 0;
    for (int i = 0; i < bits; ++i) {
        const unsigned index = (((p >> i) & 1) << 1) | ((d >> i) & 1);
        out |= ((static_cast<unsigned>(mode - 1) >> index) & 1u) << i;
    }
    return out;
}

// A line across row 0 of a random DIB of each depth with each mode: every pixel value against
// the reference, the pen's value as P.
TEST(Rop2, EveryModeOnEveryDepthMatchesTheBitwiseReference) {
    const struct {
        int bits;
        COLORREF pen;
        uint32_t value;
    } cases[] = {{1, kWhite, 1},
                 {1, kBlack, 0},
                 {4, RGB(5, 250, 2), 5},
                 {8, RGB(0x5A, 0xFF - 0x5A, 0x5A / 2), 0x5A},
                 {16, RGB(0x5A, 0xA5, 0x18), 0x2E83},  // exact in 555
                 {24, RGB(0x12, 0xC4, 0x7E), 0x12C47E},
                 {32, RGB(0xF0, 0x0F, 0x99), 0xF00F99}};
    const int width = 37;
    std::mt19937 rng(131);
    for (const auto& c : cases) {
        for (int mode = R2_BLACK; mode <= R2_WHITE; ++mode) {
            BITMAPINFO info = MakeInfo(width, -1, c.bits);
            for (int i = 0; i < 256; ++i) {  // black and white for one bit
                const uint8_t grey = i ? 255 : 0;
                info.bmiColors[i] = c.bits == 1
                                        ? Quad(grey, grey, grey)
                                        : Quad(uint8_t(i), uint8_t(255 - i), uint8_t(i / 2));
            }
            void* row = nullptr;
            Object bitmap(CreateDIBSection(0, &info, DIB_RGB_COLORS, &row));
            std::vector<uint8_t> before = RandomBytes(rng, Stride(width, c.bits));
            for (int x = 0; c.bits >= 16 && c.bits != 24 && x < width; ++x)
                before[(x + 1) * (c.bits / 8) - 1] &= c.bits == 16 ? 0x7F : 0;  // unused bits
            std::memcpy(row, before.data(), before.size());
            Object pen(CreatePen(PS_SOLID, 1, c.pen));
            {
                MemoryDc dc(bitmap);
                Selected select(dc, pen);
                SetROP2(dc, mode);
                MoveToEx(dc, 3, 0, nullptr);
                LineTo(dc, 30, 0);
            }
            for (int x = 0; x < width; ++x) {
                const uint32_t d = PixelValue(info, before.data(), x, 0);
                const uint32_t expected = x >= 3 && x < 30 ? Rop2Reference(mode, c.value, d,
                                                                           c.bits == 32   ? 24
                                                                           : c.bits == 16 ? 15
                                                                                          : c.bits)
                                                           : d;
                ASSERT_EQ(PixelValue(info, row, x, 0), expected)
                    << c.bits << " bits, mode " << mode << ", x " << x;
            }
        }
    }
}

TEST(Lines, HugeCoordinatesOnlyWalkTheVisiblePart) {
    Board board(9, 9);
    MoveToEx(board, -2000000000, -2000000000, nullptr);
    ASSERT_TRUE(LineTo(board, 2000000000, 2000000000));
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(board.At(i, i), kBlack) << i;
    EXPECT_TRUE(SameRect(board.Changed(), RECT{0, 0, 9, 9}));
    Object pen(CreatePen(PS_SOLID, 7, kBlack));
    Selected select(board, pen);
    EXPECT_TRUE(Ellipse(board, -2000000000, -5, 2000000000, 5));
    EXPECT_TRUE(Rectangle(board, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX));
}

}  // namespace
