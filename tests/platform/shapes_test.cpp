// Filled figures: extents, arc direction, polygon fill modes and hatch brushes.
#include "gdi_support.h"

namespace {

using namespace gdi_test;

TEST(Figures, RectangleLeavesOutRightAndBottom) {
    Board board(8, 6);
    Object brush(CreateSolidBrush(kRed));
    Selected selectBrush(board, brush);
    ASSERT_TRUE(Rectangle(board, 1, 1, 6, 5));
    const std::vector<std::string> outlined = {
        "........", ".#####..", ".#rrr#..", ".#rrr#..", ".#####..", "........",
    };
    EXPECT_EQ(board.Art(), outlined);

    // Without a pen the fill stops one pixel short on the right and at the bottom.
    board.Clear(kWhite);
    Selected selectPen(board, GetStockObject(NULL_PEN));
    ASSERT_TRUE(Rectangle(board, 6, 5, 1, 1));  // corners in either order
    const std::vector<std::string> filled = {
        "........", ".rrrr...", ".rrrr...", ".rrrr...", "........", "........",
    };
    EXPECT_EQ(board.Art(), filled);
}

TEST(Figures, EllipseExtentsAndRing) {
    Board board(7, 7);
    Object brush(CreateSolidBrush(kRed));
    Selected selectBrush(board, brush);
    ASSERT_TRUE(Ellipse(board, 0, 0, 5, 5));
    const std::vector<std::string> five = {
        ".###...", "#rrr#..", "#rrr#..", "#rrr#..", ".###...", ".......", ".......",
    };
    EXPECT_EQ(board.Art(), five);

    for (const RECT r : {RECT{2, 3, 12, 9}, RECT{1, 1, 3, 9}, RECT{0, 4, 14, 6}}) {
        Board wide(16, 12);
        Ellipse(wide, r.left, r.top, r.right, r.bottom);
        EXPECT_TRUE(SameRect(wide.Changed(), r)) << r.left << "," << r.top;
    }
}

TEST(Figures, InsideFrameKeepsAWidePenInTheBox) {
    Board solid(20, 20), inside(20, 20);
    Object wide(CreatePen(PS_SOLID, 4, kBlack));
    Object framed(CreatePen(PS_INSIDEFRAME, 4, kBlack));
    Selected a(solid, wide);
    Selected b(inside, framed);
    Rectangle(solid, 5, 5, 15, 15);
    Rectangle(inside, 5, 5, 15, 15);
    // A width-4 pen straddles the path (5 to 14) from 2 before to 1 after it.
    EXPECT_TRUE(SameRect(solid.Changed(), RECT{3, 3, 16, 16}));
    EXPECT_TRUE(SameRect(inside.Changed(), RECT{5, 5, 15, 15}));
    EXPECT_EQ(inside.At(5, 10), kBlack);
    EXPECT_EQ(inside.At(8, 10), kBlack);
    EXPECT_EQ(inside.At(9, 10), kWhite);  // interior, white brush
    Ellipse(inside, 0, 0, 4, 4);
    EXPECT_EQ(inside.At(4, 2), kWhite);
}

// Figures on the circle in (0,0)-(21,21), centre (10,10), from the right (angle 0) to the top.
TEST(Figures, ArcsRunCounterClockwise) {
    Object brush(CreateSolidBrush(kRed));
    {
        Board board(21, 21);
        Selected s(board, brush);
        Pie(board, 0, 0, 21, 21, 20, 10, 10, 0);
        EXPECT_EQ(board.At(14, 6), kRed);  // upper right quarter
        EXPECT_EQ(board.At(6, 6), kWhite);
        EXPECT_EQ(board.At(14, 14), kWhite);
        EXPECT_EQ(board.At(15, 10), kBlack);  // radius to the start
        EXPECT_EQ(board.At(10, 5), kBlack);   // radius to the end
        // The other three quarters.
        board.Clear(kWhite);
        Pie(board, 0, 0, 21, 21, 10, 0, 20, 10);
        EXPECT_EQ(board.At(14, 6), kWhite);
        EXPECT_EQ(board.At(6, 6), kRed);
        EXPECT_EQ(board.At(14, 14), kRed);
    }
    {
        Board board(21, 21);
        Arc(board, 0, 0, 21, 21, 20, 10, 10, 0);
        EXPECT_EQ(board.At(20, 10), kBlack);
        EXPECT_EQ(board.At(10, 0), kBlack);
        EXPECT_TRUE(SameRect(board.Changed(), RECT{10, 0, 21, 11}));
    }
    {
        Board board(21, 21);
        Selected s(board, brush);
        Chord(board, 0, 0, 21, 21, 20, 10, 10, 0);
        EXPECT_EQ(board.At(17, 4), kRed);    // beyond the chord x - y = 10
        EXPECT_EQ(board.At(15, 5), kBlack);  // on it
        EXPECT_EQ(board.At(12, 6), kWhite);  // the centre's side
        EXPECT_EQ(board.At(6, 14), kWhite);
    }
    for (auto draw : {Pie, Chord, Arc}) {
        // Coinciding radial points: the complete ellipse.
        Board board(21, 21);
        Selected s(board, brush);
        draw(board, 0, 0, 21, 21, 20, 10, 20, 10);
        EXPECT_EQ(board.At(0, 10), kBlack);
        EXPECT_EQ(board.At(10, 20), kBlack);
        EXPECT_TRUE(SameRect(board.Changed(), RECT{0, 0, 21, 21}));
        EXPECT_EQ(board.At(6, 14), draw == Arc ? kWhite : kRed);
    }
}

TEST(Figures, PolygonFillModesOnAStar) {
    const POINT star[] = {{25, 5}, {37, 41}, {6, 19}, {44, 19}, {13, 41}};
    Object brush(CreateSolidBrush(kRed));
    for (int mode : {ALTERNATE, WINDING}) {
        Board board(50, 50);
        Selected b(board, brush);
        Selected p(board, GetStockObject(NULL_PEN));
        SetPolyFillMode(board, mode);
        ASSERT_TRUE(Polygon(board, star, 5));
        EXPECT_EQ(board.At(25, 10), kRed);                             // a point
        EXPECT_EQ(board.At(25, 25), mode == WINDING ? kRed : kWhite);  // the middle
        EXPECT_EQ(board.At(25, 38), kWhite);                           // between two points
    }
    // A small triangle, outline and fill exactly.
    Board board(6, 6);
    Selected b(board, brush);
    const POINT triangle[] = {{1, 1}, {4, 1}, {1, 4}};
    Polygon(board, triangle, 3);
    const std::vector<std::string> expected = {
        "......", ".####.", ".#r#..", ".##...", ".#....", "......",
    };
    EXPECT_EQ(board.Art(), expected);
}

TEST(Brushes, HatchPatternsAlignToTheDeviceOrigin) {
    // One byte per row of the 8 x 8 cell, the leftmost pixel in the top bit.
    const uint8_t patterns[][8] = {
        {0, 0, 0, 0, 0, 0, 0, 0xFF},          {1, 1, 1, 1, 1, 1, 1, 1},
        {0x80, 0x40, 0x20, 0x10, 8, 4, 2, 1}, {1, 2, 4, 8, 0x10, 0x20, 0x40, 0x80},
        {1, 1, 1, 1, 1, 1, 1, 0xFF},          {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81},
    };
    for (int hatch = HS_HORIZONTAL; hatch <= HS_DIAGCROSS; ++hatch) {
        Board board(19, 13);
        Object brush(CreateHatchBrush(hatch, kRed));
        SetBkMode(board, TRANSPARENT);
        const RECT rect{3, 2, 19, 13};
        ASSERT_EQ(FillRect(board, &rect, brush), 1);
        for (int y = 0; y < 13; ++y)
            for (int x = 0; x < 19; ++x) {
                const bool on = x >= 3 && y >= 2 && (patterns[hatch][y % 8] << (x % 8) & 0x80);
                ASSERT_EQ(board.At(x, y), on ? kRed : kWhite)
                    << "hatch " << hatch << " at " << x << "," << y;
            }
    }
    // Opaque: the gaps take the background colour; the same through Rectangle.
    Board board(8, 8);
    LOGBRUSH logical{BS_HATCHED, kRed, HS_CROSS};
    Object brush(CreateBrushIndirect(&logical));
    Selected b(board, brush);
    Selected p(board, GetStockObject(NULL_PEN));
    SetBkColor(board, kBlue);
    Rectangle(board, 0, 0, 9, 9);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(board.At(x, y), x == 7 || y == 7 ? kRed : kBlue) << x << "," << y;
}

TEST(Brushes, HollowBrushLeavesTheInterior) {
    Board board(6, 6);
    LOGBRUSH logical{BS_NULL, kRed, 0};
    Object brush(CreateBrushIndirect(&logical));
    Selected b(board, brush);
    board.Clear(kBlue);
    Rectangle(board, 0, 0, 6, 6);
    Ellipse(board, 0, 0, 6, 6);
    EXPECT_EQ(board.At(0, 0), kBlack);
    EXPECT_EQ(board.At(3, 3), kBlue);
}

}  // namespace
