// Logical coordinates, saved DC states and clip regions.
#include <functional>

#include "gdi_support.h"

namespace {

using namespace gdi_test;

TEST(Mapping, AnisotropicScalingOfARectangle) {
    Board board(20, 12);
    ASSERT_EQ(SetMapMode(board, MM_ANISOTROPIC), MM_TEXT);
    SetWindowExtEx(board, 10, 10, nullptr);
    SetViewportExtEx(board, 30, 20, nullptr);
    SetViewportOrgEx(board, 2, 1, nullptr);
    POINT p[2] = {{0, 0}, {2, 2}};
    ASSERT_TRUE(LPtoDP(board, p, 2));
    EXPECT_TRUE(p[0].x == 2 && p[0].y == 1 && p[1].x == 8 && p[1].y == 5);
    ASSERT_TRUE(DPtoLP(board, p, 2));
    EXPECT_TRUE(p[1].x == 2 && p[1].y == 2);
    Rectangle(board, 0, 0, 2, 2);
    EXPECT_TRUE(SameRect(board.Changed(), RECT{2, 1, 8, 5}));
    // Lines and pixels go through the same transform.
    board.Clear(kWhite);
    MoveToEx(board, 0, 3, nullptr);
    LineTo(board, 3, 3);  // device (2,7) to (11,7)
    EXPECT_TRUE(SameRect(board.Changed(), RECT{2, 7, 11, 8}));
    SetPixel(board, 4, 4, kRed);
    EXPECT_EQ(board.At(14, 9), kRed);
    EXPECT_EQ(GetPixel(board, 4, 4), kRed);
}

TEST(Mapping, IsotropicKeepsOneScaleAndTextIgnoresExtents) {
    Board board(8, 8);
    SetMapMode(board, MM_ISOTROPIC);
    SetWindowExtEx(board, 10, 10, nullptr);
    SetViewportExtEx(board, 30, -20, nullptr);
    SIZE extent{};
    GetViewportExtEx(board, &extent);
    EXPECT_TRUE(extent.cx == 20 && extent.cy == -20);
    SetMapMode(board, MM_TEXT);
    EXPECT_TRUE(SetWindowExtEx(board, 5, 5, nullptr));
    GetWindowExtEx(board, &extent);
    EXPECT_EQ(extent.cx, 1);
    SetWindowOrgEx(board, 3, 2, nullptr);
    POINT p{3, 2};
    LPtoDP(board, &p, 1);
    EXPECT_TRUE(p.x == 0 && p.y == 0);
    SetMapMode(board, MM_LOMETRIC);  // 96 dpi: 254 units to 96 pixels, y upwards
    SetWindowOrgEx(board, 0, 0, nullptr);
    POINT q{254, 254};
    LPtoDP(board, &q, 1);
    EXPECT_TRUE(q.x == 96 && q.y == -96);
}

TEST(SavedState, RestoreByRelativeAndAbsoluteLevel) {
    Board board(8, 8);
    Object pen(CreatePen(PS_SOLID, 1, kRed));
    EXPECT_EQ(SaveDC(board), 1);
    SelectObject(board, pen);
    SetROP2(board, R2_XORPEN);
    SetBkMode(board, TRANSPARENT);
    SetBkColor(board, kRed);
    SetTextColor(board, kRed);
    SetPolyFillMode(board, WINDING);
    SetStretchBltMode(board, HALFTONE);
    SetMapMode(board, MM_ANISOTROPIC);
    SetViewportOrgEx(board, 1, 1, nullptr);
    IntersectClipRect(board, 0, 0, 2, 2);
    MoveToEx(board, 5, 6, nullptr);
    EXPECT_EQ(SaveDC(board), 2);
    SetROP2(board, R2_BLACK);
    ASSERT_TRUE(RestoreDC(board, -1));
    EXPECT_EQ(GetROP2(board), R2_XORPEN);
    EXPECT_EQ(GetCurrentObject(board, OBJ_PEN), pen.get());
    POINT position{};
    GetCurrentPositionEx(board, &position);
    EXPECT_EQ(position.x, 5);
    RECT box{};
    EXPECT_EQ(GetClipBox(board, &box), SIMPLEREGION);
    EXPECT_TRUE(SameRect(box, RECT{0, 0, 2, 2}));
    EXPECT_FALSE(RestoreDC(board, 2));  // popped already
    EXPECT_FALSE(RestoreDC(board, 0));
    ASSERT_TRUE(RestoreDC(board, 1));
    EXPECT_TRUE(GetROP2(board) == R2_COPYPEN && GetBkMode(board) == OPAQUE);
    EXPECT_TRUE(GetBkColor(board) == kWhite && GetTextColor(board) == kBlack);
    EXPECT_TRUE(GetPolyFillMode(board) == ALTERNATE && GetStretchBltMode(board) == BLACKONWHITE);
    EXPECT_EQ(GetMapMode(board), MM_TEXT);
    EXPECT_EQ(GetCurrentObject(board, OBJ_PEN), GetStockObject(BLACK_PEN));
    EXPECT_EQ(GetClipBox(board, &box), SIMPLEREGION);
    EXPECT_TRUE(SameRect(box, RECT{0, 0, 8, 8}));
    EXPECT_FALSE(RestoreDC(board, -1));
}

TEST(Clipping, RegionsIntersectExcludeAndReport) {
    Board board(16, 16);
    Object region(CreateRectRgn(4, 4, 12, 12));
    RECT box{};
    EXPECT_EQ(GetRgnBox(region, &box), SIMPLEREGION);
    EXPECT_EQ(SelectClipRgn(board, region), SIMPLEREGION);
    EXPECT_EQ(ExcludeClipRect(board, 6, 6, 8, 8), COMPLEXREGION);
    EXPECT_EQ(GetClipBox(board, &box), COMPLEXREGION);
    EXPECT_TRUE(SameRect(box, RECT{4, 4, 12, 12}));
    const RECT all{0, 0, 16, 16};
    Object brush(CreateSolidBrush(kRed));
    FillRect(board, &all, brush);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const bool in =
                x >= 4 && x < 12 && y >= 4 && y < 12 && !(x >= 6 && x < 8 && y >= 6 && y < 8);
            ASSERT_EQ(board.At(x, y), in ? kRed : kWhite) << x << "," << y;
        }
    EXPECT_EQ(IntersectClipRect(board, 0, 0, 5, 5), SIMPLEREGION);
    EXPECT_EQ(IntersectClipRect(board, 10, 10, 12, 12), NULLREGION);
    EXPECT_EQ(SelectClipRgn(board, 0), SIMPLEREGION);
    EXPECT_EQ(GetClipBox(board, &box), SIMPLEREGION);
    EXPECT_TRUE(SameRect(box, all));
}

// Every primitive, asked to cover the whole board, stays within the clip rectangle.
TEST(Clipping, EveryPrimitiveStaysInside) {
    using Draw = std::function<void(HDC)>;
    Object brush(CreateSolidBrush(kRed));
    Object pen(CreatePen(PS_SOLID, 3, kBlack));
    Board source(16, 16);
    source.Clear(kBlue);
    const std::vector<std::pair<const char*, Draw>> draws = {
        {"LineTo",
         [](HDC dc) {
             MoveToEx(dc, 0, 0, nullptr);
             LineTo(dc, 16, 16);
         }},
        {"Polygon",
         [](HDC dc) {
             const POINT p[] = {{0, 0}, {16, 0}, {0, 16}};
             Polygon(dc, p, 3);
         }},
        {"Ellipse", [](HDC dc) { Ellipse(dc, 0, 0, 16, 16); }},
        {"Pie", [](HDC dc) { Pie(dc, 0, 0, 16, 16, 16, 8, 8, 16); }},
        {"SetPixel",
         [](HDC dc) {
             for (int i = 0; i < 16; ++i)
                 SetPixel(dc, i, i, kBlack);
         }},
        {"FillRect",
         [&](HDC dc) {
             const RECT r{0, 0, 16, 16};
             FillRect(dc, &r, brush);
         }},
        {"BitBlt", [](HDC dc) { BitBlt(dc, 0, 0, 16, 16, 0, 0, 0, PATCOPY); }},
        {"StretchBlt", [&](HDC dc) { StretchBlt(dc, 0, 0, 16, 16, source, 0, 0, 8, 8, SRCCOPY); }},
    };
    for (const auto& [name, draw] : draws) {
        Board board(16, 16);
        Selected b(board, brush);
        Selected p(board, pen);
        IntersectClipRect(board, 5, 6, 11, 10);
        draw(board);
        const RECT changed = board.Changed();
        EXPECT_FALSE(SameRect(changed, RECT{0, 0, 0, 0})) << name;
        EXPECT_TRUE(changed.left >= 5 && changed.top >= 6) << name;
        EXPECT_TRUE(changed.right <= 11 && changed.bottom <= 10) << name;
        EXPECT_EQ(GetPixel(board, 0, 0), CLR_INVALID) << name;
    }
}

}  // namespace
