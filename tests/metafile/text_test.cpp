// Text with the bundled face: measurement, metrics, one-bit rendering and alignment.
#include <cstring>

#include "metafile_support.h"
#include "platform/gdi/gdi_text.h"

namespace meta_test {
namespace {

HFONT Font(int height, int weight = 400, int width = 0) {
    LOGFONT lf{};
    lf.lfHeight = height;
    lf.lfWeight = weight;
    lf.lfWidth = width;
    return CreateFontIndirect(&lf);
}

SIZE Extent(HDC dc, const char* text) {
    SIZE size{};
    EXPECT_TRUE(GetTextExtentPoint32(dc, text, static_cast<int>(strlen(text)), &size));
    return size;
}

TEXTMETRIC Metrics(HDC dc) {
    TEXTMETRIC tm{};
    EXPECT_TRUE(GetTextMetrics(dc, &tm));
    return tm;
}

TEST(Text, ExtentsAndMetrics) {
    const Object font(Font(-20)), cell(Font(30)), bold(Font(-20, 700));
    Board s(200, 60);
    EXPECT_EQ(SelectObject(s, font), 0u);  // none selected before: the default face
    const SIZE hello = Extent(s, "Hello");
    const TEXTMETRIC base = Metrics(s);
    EXPECT_GT(hello.cx, 20);
    EXPECT_GT(Extent(s, "Hello, world").cx, hello.cx);
    EXPECT_EQ(Extent(s, "").cx, 0);
    EXPECT_EQ(base.tmHeight, base.tmAscent + base.tmDescent);
    EXPECT_NEAR(base.tmHeight - base.tmInternalLeading, 20, 1);  // a negative height: the em
    EXPECT_EQ(hello.cy, base.tmHeight);
    EXPECT_GT(base.tmMaxCharWidth, base.tmAveCharWidth);
    EXPECT_GT(base.tmAveCharWidth, 0);

    // A positive height is the cell; a mapping scales the logical height, and the extent in
    // logical units stays about the same.
    SelectObject(s, cell);
    EXPECT_NEAR(Metrics(s).tmHeight, 30, 1);
    const SIZE plain = Extent(s, "Hello");
    SetMapMode(s, MM_ANISOTROPIC);
    SetWindowExtEx(s, 2, 2, nullptr);
    SetViewportExtEx(s, 1, 1, nullptr);
    EXPECT_NEAR(Metrics(s).tmHeight, 15, 1);
    EXPECT_NEAR(Extent(s, "Hello").cx, plain.cx, 4);
    SetMapMode(s, MM_TEXT);

    // A bold face is wider; a width twice the face's average stretches the text to about twice
    // the extent at the same height. A selected font cannot be deleted.
    SelectObject(s, bold);
    EXPECT_GT(Extent(s, "Hello").cx, hello.cx);
    EXPECT_FALSE(DeleteObject(bold));
    const Object stretched(Font(-20, 400, 2 * base.tmAveCharWidth));
    SelectObject(s, stretched);
    EXPECT_NEAR(Extent(s, "Hello").cx, 2 * hello.cx, hello.cx / 5);
    EXPECT_EQ(Metrics(s).tmHeight, base.tmHeight);
    SelectObject(s, cell);
}

TEST(Text, GlyphsAreOneColourWithoutSmoothing) {
    const Object font(Font(-24));
    Board s(200, 60), o(200, 60);
    for (Board* b : {&s, &o}) {
        SelectObject(*b, font);
        SetTextColor(*b, kRed);
    }
    SetBkMode(s, TRANSPARENT);
    ASSERT_TRUE(TextOut(s, 10, 10, "Hello", 5));
    const int red = s.Count(kRed);
    const SIZE ext = Extent(s, "Hello");
    const RECT ink = s.Changed();
    EXPECT_GT(red, 50);
    EXPECT_EQ(red + s.Count(kWhite), 200 * 60);
    EXPECT_GE(ink.left, 10);
    EXPECT_LE(ink.right, 10 + ext.cx + 1);
    EXPECT_GE(ink.top, 10);
    EXPECT_LE(ink.bottom, 10 + ext.cy);

    // Opaque: the cell is filled with the background colour under the same glyphs.
    SetBkColor(o, kBlue);
    SetBkMode(o, OPAQUE);
    TextOut(o, 10, 10, "Hello", 5);
    EXPECT_EQ(o.Count(kRed) + o.Count(kBlue), ext.cx * ext.cy);
    EXPECT_EQ(o.Count(kRed), red);
    ExpectPixels(o, {{10, 10, kBlue}, {9, 10, kWhite}});
}

// Each alignment draws what the default one (left, top) draws at the reference point moved by
// the extent, the ascent or the descent; with TA_UPDATECP the current position is the reference
// and moves on by the extent.
TEST(Text, AlignmentAndCurrentPosition) {
    const Object font(Font(-20));
    Board probe(10, 10);
    SelectObject(probe, font);
    const SIZE ext = Extent(probe, "Hello");
    const TEXTMETRIC tm = Metrics(probe);
    struct Row {
        uint32_t align;
        int dx, dy;
    };
    for (const Row& r :
         {Row{TA_RIGHT | TA_BASELINE, -ext.cx, -tm.tmAscent},
          Row{TA_CENTER | TA_BOTTOM, -ext.cx / 2, -tm.tmHeight}, Row{TA_UPDATECP, 0, 0}}) {
        SCOPED_TRACE(r.align);
        Board got(200, 80), want(200, 80);
        for (Board* b : {&got, &want}) {
            SelectObject(*b, font);
            SetBkMode(*b, TRANSPARENT);
        }
        SetTextAlign(got, r.align);
        EXPECT_EQ(GetTextAlign(got), r.align);
        MoveToEx(got, 60, 30, nullptr);
        const int x = r.align == TA_UPDATECP ? 0 : 100, y = r.align == TA_UPDATECP ? 0 : 50;
        TextOut(got, x, y, "Hello", 5);
        TextOut(want, (x ? x : 60) + r.dx, (y ? y : 30) + r.dy, "Hello", 5);
        EXPECT_EQ(got.Art(), want.Art());
        POINT p{};
        GetCurrentPositionEx(got, &p);
        EXPECT_EQ(p.x, r.align == TA_UPDATECP ? 60 + ext.cx : 60);
        EXPECT_EQ(p.y, 30);
    }
    // Save and restore bring back the font and the alignment.
    Board s(20, 20);
    const int level = SaveDC(s);
    SelectObject(s, font);
    SetTextAlign(s, TA_BASELINE);
    RestoreDC(s, level);
    EXPECT_EQ(GetTextAlign(s), 0u);
    EXPECT_EQ(GetCurrentObject(s, OBJ_FONT), 0u);
}

}  // namespace
}  // namespace meta_test
