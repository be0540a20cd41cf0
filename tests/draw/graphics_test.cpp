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
    for (int x = 0; x < 10; ++x)
        EXPECT_EQ(s.Pixel(x, 0), 0u) << x;
    EXPECT_EQ(s.Pixel(10, 0), kWhite);
    EXPECT_EQ(s.Float("CurrentX"), 10.0f);
    // 0x09: the first point from the position, the second from the first.
    s.Set("CurrentX", F(1));
    s.Set("CurrentY", F(1));
    Line(s, 0x09, 5, 5, 10, 0, Colour(0xFF));
    const RECT r = s.Bounds(kWhite, 64, 48);
    EXPECT_EQ(s.Pixel(6, 6), 0xFFu);
    EXPECT_EQ(s.Pixel(15, 6), 0xFFu);
    EXPECT_EQ(s.Pixel(16, 6), kWhite);
    EXPECT_EQ(r.bottom, 6);
    EXPECT_EQ(s.Float("CurrentX"), 16.0f);
}

TEST(Graphics, BoxesTakeTheirColoursFromTheFlags) {
    struct Row {
        int flag;
        Variant colour;
        COLORREF outline, inside;
    };
    const COLORREF fore = 0x0000FF, fill = 0xFF0000, given = 0x00FF00;
    const Row rows[] = {
        {0x10, Miss(), fore, kWhite},         // default FillStyle 1: hollow
        {0x20, Miss(), fore, fill},           // filled with FillColor, outlined in ForeColor
        {0x20, Colour(given), given, given},  // Color for both
        {0x10, I(0x00FF), fore, kWhite},      // a 16-bit colour is not a colour
    };
    for (const Row& r : rows) {
        Surface s;
        s.ctrl.SetForeColor(fore);
        s.Set("FillColor", Colour(fill));
        Line(s, r.flag, 2, 2, 12, 10, r.colour);
        EXPECT_EQ(s.Pixel(2, 2), r.outline) << r.flag;
        EXPECT_EQ(s.Pixel(11, 9), r.outline) << r.flag;
        EXPECT_EQ(s.Pixel(12, 10), kWhite) << r.flag;  // right and bottom excluded
        EXPECT_EQ(s.Pixel(6, 6), r.inside) << r.flag;
    }
}

TEST(Graphics, CirclesEllipsesPiesAndArcs) {
    struct Row {
        Variant start, end, aspect;
        RECT bounds;  // inclusive
    };
    const Row rows[] = {
        {F(0), F(0), Miss(), {20, 14, 39, 33}},
        {F(0), F(0), F(2), {25, 14, 34, 33}},    // narrower than high: x +-5, y +-10
        {F(0), F(0), F(0.5), {20, 19, 39, 28}},  // wider than high: x +-10, y +-5
        {Miss(), Miss(), Miss(), {20, 14, 39, 33}},
    };
    for (const Row& r : rows) {
        Surface s;
        s.Call("Circle", {I(0), F(30), F(24), F(10), Colour(0), r.start, r.end, r.aspect});
        const RECT b = s.Bounds(kWhite, 64, 48);
        EXPECT_EQ(b.left, r.bounds.left);
        EXPECT_EQ(b.top, r.bounds.top);
        EXPECT_EQ(b.right, r.bounds.right);
        EXPECT_EQ(b.bottom, r.bounds.bottom);
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
    const RECT b = s.Bounds(kWhite, 64, 48);
    EXPECT_EQ(b.left, 5);
    EXPECT_EQ(b.right, 21);  // the ellipse (18, 18)-(22, 22), right and bottom excluded
    EXPECT_EQ(b.bottom, 21);
    // Point reads the window as shown, or the bitmap; -1 off the surface or without one.
    EXPECT_EQ(s.Call("Point", {F(5), F(5)}).AsI4(), 0x123456);
    EXPECT_EQ(s.Call("Point", {F(500), F(5)}).AsI4(), -1);
    s.Set("ImageSource", I(0));
    EXPECT_EQ(s.Call("Point", {F(5), F(5)}).AsI4(), -1);
    s.UseBitmap(24, 0x80);
    EXPECT_EQ(s.Call("Point", {F(1), F(1)}).AsI4(), 0x808080);
    EXPECT_EQ(s.Call("Point", {F(32), F(1)}).AsI4(), -1);
}

// Every binary raster operation on every target depth, on grey so that the result is the
// operation applied to the grey levels (1 bit: black and white).
class DrawModes : public testing::TestWithParam<int> {};

TEST_P(DrawModes, CombinePenAndDestination) {
    const int bits = GetParam();
    const uint8_t dst = bits == 1 ? 0x00 : 0xC3, pen = bits == 1 ? 0xFF : 0x5A;
    const auto op = [](int mode, uint8_t p, uint8_t d) -> uint8_t {
        // The mode's truth table: bit 2p + d of (mode - 1), bit by bit of the values.
        uint8_t out = 0;
        for (int bit = 0; bit < 8; ++bit) {
            const int pb = p >> bit & 1, db = d >> bit & 1;
            const int code = mode - 1;
            const int r = code >> (pb * 2 + db) & 1;
            out = static_cast<uint8_t>(out | r << bit);
        }
        return out;
    };
    for (int mode = 1; mode <= 16; ++mode) {
        Surface s;
        s.UseBitmap(bits, dst);
        s.Set("DrawMode", I(mode));
        Line(s, 0, 0, 3, 10, 3, Colour(RGB(pen, pen, pen)));
        const uint8_t g = op(mode, pen, dst);
        EXPECT_EQ(s.Pixel(4, 3), RGB(g, g, g)) << "mode " << mode << " bits " << bits;
        EXPECT_EQ(s.Pixel(4, 4), RGB(dst, dst, dst));
    }
}

INSTANTIATE_TEST_SUITE_P(Depths, DrawModes, testing::Values(1, 8, 24, 32));

// The six hatches, told apart by how their pattern repeats along rows, columns and diagonals.
class Hatches : public testing::TestWithParam<int> {};

TEST_P(Hatches, FollowTheirDirection) {
    const int bits = GetParam();
    for (int style = 2; style <= 7; ++style) {
        Surface s;
        s.UseBitmap(bits, 0xFF, 32, 32);
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
        SCOPED_TRACE("FillStyle " + std::to_string(style) + " bits " + std::to_string(bits));
        EXPECT_TRUE(any);
        EXPECT_EQ(rowsUniform, style == 2);
        EXPECT_EQ(colsUniform, style == 3);
        EXPECT_EQ(down, style == 4);  // top left to bottom right
        EXPECT_EQ(up, style == 5);
    }
}

INSTANTIATE_TEST_SUITE_P(Depths, Hatches, testing::Values(1, 8, 24, 32));

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
