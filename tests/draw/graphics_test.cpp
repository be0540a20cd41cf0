// Line, Circle, PSet and Point, checked on the pixels they leave.
#include <cmath>

#include "draw/draw_fixture.h"

namespace draw_test {
namespace {

constexpr COLORREF kWhite = 0xFFFFFF;

Variant Line(Surface& s, int flag, float x1, float y1, float x2, float y2,
             Variant colour = Miss()) {
    return s.Call("Line", {I(flag), F(x1), F(y1), F(x2), F(y2), colour});
}

TEST(Graphics, LinesLeaveOutTheirEndAndMoveThePosition) {
    Surface s;
    Line(s, 0, 0, 0, 10, 0, Colour(0));
    EXPECT_EQ(s.Bounds(kWhite, 64, 48), (std::array{0, 0, 9, 0}));
    EXPECT_EQ(s.Float("CurrentX"), 10.0f);
    // 0x09: the first point from the position, the second from the first.
    Surface r;
    r.Set("CurrentX", F(1));
    r.Set("CurrentY", F(2));
    Line(r, 0x09, 5, 5, 10, 0, Colour(0xFF));
    EXPECT_EQ(r.Bounds(kWhite, 64, 48), (std::array{6, 7, 15, 7}));
    EXPECT_EQ(r.Float("CurrentX"), 16.0f);
}

TEST(Graphics, BoxesTakeTheirColoursFromTheFlags) {
    const COLORREF fore = 0x0000FF, fill = 0xFF0000, given = 0x00FF00;
    const struct {
        int flag;
        Variant colour;
        COLORREF outline, inside;
    } rows[] = {
        {0x10, Miss(), fore, kWhite},         // default FillStyle 1: hollow
        {0x20, Miss(), fore, fill},           // filled with FillColor, outlined in ForeColor
        {0x20, Colour(given), given, given},  // Color for both
        {0x10, I(0x00FF), fore, kWhite},      // a 16-bit colour is not a colour
    };
    for (const auto& r : rows) {
        Surface s;
        s.ctrl.SetForeColor(fore);
        s.Set("FillColor", Colour(fill));
        Line(s, r.flag, 2, 2, 12, 10, r.colour);
        EXPECT_EQ(s.Pixel(2, 2), r.outline) << r.flag;
        EXPECT_EQ(s.Pixel(11, 9), r.outline) << r.flag;
        EXPECT_EQ(s.Pixel(6, 6), r.inside) << r.flag;
        EXPECT_EQ(s.Bounds(kWhite, 64, 48), (std::array{2, 2, 11, 9})) << r.flag;
    }
}

TEST(Graphics, CirclesEllipsesPiesAndArcs) {
    const struct {
        Variant start, end, aspect;
        std::array<int, 4> bounds;
    } rows[] = {
        {F(0), F(0), Miss(), {20, 14, 39, 33}},
        {F(0), F(0), F(2), {25, 14, 34, 33}},    // narrower than high: x +-5, y +-10
        {F(0), F(0), F(0.5), {20, 19, 39, 28}},  // wider than high: x +-10, y +-5
        {Miss(), Miss(), Miss(), {20, 14, 39, 33}},
    };
    for (const auto& r : rows) {
        Surface s;
        s.Call("Circle", {I(0), F(30), F(24), F(10), Colour(0), r.start, r.end, r.aspect});
        EXPECT_EQ(s.Bounds(kWhite, 64, 48), r.bounds);
        EXPECT_EQ(s.Pixel(30, 24), kWhite) << "not filled with the default FillStyle";
    }
    Surface s;
    s.Set("FillStyle", I(0));
    s.Set("FillColor", Colour(0xFF0000));
    // A pie: both radii marked; filled between them (upwards here) and nowhere else.
    s.Call("Circle", {I(0), F(30), F(24), F(10), Colour(0), F(-0.5), F(-2), Miss()});
    EXPECT_EQ(s.Pixel(30, 19), 0xFF0000u);
    EXPECT_EQ(s.Pixel(30, 29), kWhite);
    // An arc plus the radius to its marked end only.
    Surface a;
    a.Call("Circle", {I(0), F(30), F(24), F(10), Colour(0), F(0.5), F(-2), Miss()});
    const int ex = 30 + static_cast<int>(std::lround(5 * std::cos(2.0)));
    const int ey = 24 - static_cast<int>(std::lround(5 * std::sin(2.0)));
    EXPECT_EQ(a.Pixel(ex, ey), 0u) << "end radius";
    EXPECT_EQ(a.Pixel(35, 21), kWhite) << "no start radius";
    EXPECT_EQ(a.Float("CurrentX"), 30.0f);
    ExpectError([&] { a.Call("Circle", {I(0), F(0), F(0), F(1e9), Miss()}); }, 380);
}

TEST(Graphics, PSetWidthsAndPoint) {
    Surface s;
    s.Set("DrawMode", I(6));  // Inv: ignored by a one-pixel PSet
    s.Call("PSet", {I(0), F(5), F(5), Colour(0x123456)});
    EXPECT_EQ(s.Pixel(5, 5), 0x123456u);
    s.Set("DrawMode", I(13));
    s.Set("DrawWidth", I(5));
    s.Call("PSet", {I(0), F(20), F(20), Colour(0)});
    // The ellipse (18, 18)-(22, 22), right and bottom excluded.
    EXPECT_EQ(s.Bounds(kWhite, 64, 48), (std::array{5, 5, 21, 21}));
    // Point reads the window as shown, or the bitmap; -1 off the surface or without one.
    EXPECT_EQ(s.Call("Point", {F(5), F(5)}).AsI4(), 0x123456);
    EXPECT_EQ(s.Call("Point", {F(500), F(5)}).AsI4(), -1);
    s.Set("ImageSource", I(0));
    EXPECT_EQ(s.Call("Point", {F(5), F(5)}).AsI4(), -1);
    s.UseBitmap(24, 0x80);
    EXPECT_EQ(s.Call("Point", {F(1), F(1)}).AsI4(), 0x808080);
    EXPECT_EQ(s.Call("Point", {F(32), F(1)}).AsI4(), -1);
}

// DrawMode reaches the raster engine as its binary raster operation (each operation on each
// depth is the engine's own concern), and FillStyle 2 to 7 picks the six hatches, told apart by
// how their pattern repeats along rows, columns and diagonals.
TEST(Graphics, DrawModesAndHatches) {
    const uint8_t dst = 0xC3, pen = 0x5A;
    const struct {
        int mode;
        uint8_t want;
    } modes[] = {{1, 0}, {6, 0x3C}, {7, pen ^ dst}, {9, pen & dst}, {13, pen}, {15, pen | dst}};
    for (const auto& m : modes) {
        Surface s;
        s.UseBitmap(24, dst);
        s.Set("DrawMode", I(m.mode));
        Line(s, 0, 0, 3, 10, 3, Colour(RGB(pen, pen, pen)));
        EXPECT_EQ(s.Pixel(4, 3), RGB(m.want, m.want, m.want)) << "mode " << m.mode;
        EXPECT_EQ(s.Pixel(4, 4), RGB(dst, dst, dst));
    }
    for (int style = 2; style <= 7; ++style) {
        Surface s;
        s.UseBitmap(8, 0xFF, 32, 32);
        s.Set("FillStyle", I(style));
        Line(s, 0x10, 0, 0, 32, 32, Colour(0));
        const auto on = [&](int x, int y) { return s.Pixel(x, y) == 0; };
        bool rowsUniform = true, colsUniform = true, down = true, up = true, any = false;
        for (int y = 4; y < 27; ++y)
            for (int x = 4; x < 27; ++x) {
                any |= on(x, y);
                rowsUniform &= on(x, y) == on(x + 1, y);
                colsUniform &= on(x, y) == on(x, y + 1);
                down &= on(x, y) == on(x + 1, y + 1);
                up &= on(x, y) == on(x + 1, y - 1);
            }
        SCOPED_TRACE("FillStyle " + std::to_string(style));
        EXPECT_TRUE(any);
        EXPECT_EQ(rowsUniform, style == 2);
        EXPECT_EQ(colsUniform, style == 3);
        EXPECT_EQ(down, style == 4);  // top left to bottom right
        EXPECT_EQ(up, style == 5);
    }
}

TEST(Graphics, DrawingIntoTheBitmapRepaintsAsAutoRefreshSays) {
    for (const bool autoRefresh : {true, false}) {
        Surface s;
        s.UseBitmap(24, 0xFF);
        s.Set("AutoRefresh", Variant::Bool(autoRefresh));
        s.site.Paint();
        const int before = s.site.Invalidations();
        Line(s, 0, 0, 0, 5, 0, Colour(0));
        EXPECT_EQ(s.Pixel(0, 0), 0u);
        EXPECT_EQ(s.site.Invalidations() > before, autoRefresh);
        EXPECT_EQ(s.ctrl.IsDirty(), autoRefresh);
        s.site.Paint();
        EXPECT_EQ(s.site.Pixel(0, 0), 0u) << "the next paint shows the changed bitmap";
    }
}

TEST(Graphics, DrawingIntoNoBitmapRaises481AndKeepsThePosition) {
    Surface s;
    s.Set("DrawTo", I(1));
    s.Set("CurrentX", F(7));
    ExpectError([&] { Line(s, 0, 0, 0, 5, 5); }, 481);
    ExpectError([&] { s.Call("Circle", {I(0), F(1), F(1), F(1)}); }, 481);
    ExpectError([&] { s.Call("PSet", {I(0), F(1), F(1)}); }, 481);
    ExpectError([&] { s.Call("TextOut", {Variant::Bstr("a")}); }, 481);
    EXPECT_EQ(s.Float("CurrentX"), 7.0f);
}

}  // namespace
}  // namespace draw_test
