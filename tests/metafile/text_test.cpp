// Text with the bundled face: measurement, metrics, one-bit rendering and alignment.
#include "metafile_support.h"
#include "platform/gdi/gdi_text.h"

namespace meta_test {
namespace {

HFONT Font(int height, int weight = 400) {
    LOGFONT lf{};
    lf.lfHeight = height;
    lf.lfWeight = weight;
    return CreateFontIndirect(&lf);
}

TEST(Text, ExtentsAndMetrics) {
    const HFONT font = Font(-20);
    const HFONT cell = Font(30);
    const HFONT bold = Font(-20, 700);
    ASSERT_NE(font, 0u);
    {
        Board s(200, 60);
        EXPECT_EQ(SelectObject(s, font), 0u);  // none selected before: the default face
        SIZE hello{}, longer{};
        ASSERT_TRUE(GetTextExtentPoint32(s, "Hello", 5, &hello));
        ASSERT_TRUE(GetTextExtentPoint32(s, "Hello, world", 12, &longer));
        EXPECT_GT(hello.cx, 20);
        EXPECT_GT(longer.cx, hello.cx);
        SIZE empty{};
        ASSERT_TRUE(GetTextExtentPoint32(s, "", 0, &empty));
        EXPECT_EQ(empty.cx, 0);
        TEXTMETRIC tm{};
        ASSERT_TRUE(GetTextMetrics(s, &tm));
        const TEXTMETRIC base = tm;
        EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent);
        EXPECT_NEAR(tm.tmHeight - tm.tmInternalLeading, 20, 1);
        EXPECT_EQ(hello.cy, tm.tmHeight);
        EXPECT_GT(tm.tmMaxCharWidth, tm.tmAveCharWidth);
        EXPECT_GT(tm.tmAveCharWidth, 0);

        // A positive height is the cell; a mapping scales the logical height.
        SelectObject(s, cell);
        ASSERT_TRUE(GetTextMetrics(s, &tm));
        EXPECT_NEAR(tm.tmHeight, 30, 1);
        SetMapMode(s, MM_ANISOTROPIC);
        SetWindowExtEx(s, 2, 2, nullptr);
        SetViewportExtEx(s, 1, 1, nullptr);
        SIZE mapped{};
        ASSERT_TRUE(GetTextMetrics(s, &tm));
        EXPECT_NEAR(tm.tmHeight, 15, 1);
        ASSERT_TRUE(GetTextExtentPoint32(s, "Hello", 5, &mapped));
        SetMapMode(s, MM_TEXT);
        SIZE plain{};
        GetTextExtentPoint32(s, "Hello", 5, &plain);
        EXPECT_NEAR(mapped.cx, plain.cx, 4);  // half the pixels, twice the units per pixel

        // A bold face is wider.
        SelectObject(s, bold);
        SIZE wide{};
        GetTextExtentPoint32(s, "Hello", 5, &wide);
        EXPECT_GT(wide.cx, hello.cx);
        EXPECT_FALSE(DeleteObject(bold));  // still selected
        // A width twice the face's average stretches the text to about twice the extent.
        LOGFONT lf{};
        lf.lfHeight = -20;
        lf.lfWidth = 2 * base.tmAveCharWidth;
        const HFONT stretched = CreateFontIndirect(&lf);
        SelectObject(s, stretched);
        SIZE twice{};
        GetTextExtentPoint32(s, "Hello", 5, &twice);
        EXPECT_NEAR(twice.cx, 2 * hello.cx, hello.cx / 5);
        TEXTMETRIC same{};
        GetTextMetrics(s, &same);
        EXPECT_EQ(same.tmHeight, base.tmHeight);
        SelectObject(s, cell);
        EXPECT_TRUE(DeleteObject(stretched));
    }
    EXPECT_TRUE(DeleteObject(font));
    EXPECT_TRUE(DeleteObject(cell));
    EXPECT_TRUE(DeleteObject(bold));
}

TEST(Text, GlyphsAreOneColourWithoutSmoothing) {
    const HFONT font = Font(-24);
    {
        Board s(200, 60);
        SelectObject(s, font);
        SetTextColor(s, kRed);
        SetBkMode(s, TRANSPARENT);
        ASSERT_TRUE(TextOut(s, 10, 10, "Hello", 5));
        const int red = s.Count(kRed);
        EXPECT_GT(red, 50);
        EXPECT_EQ(red + s.Count(kWhite), 200 * 60);
        SIZE ext{};
        GetTextExtentPoint32(s, "Hello", 5, &ext);
        const RECT ink = s.Changed();
        EXPECT_GE(ink.left, 10);
        EXPECT_LE(ink.right, 10 + ext.cx + 1);
        EXPECT_GE(ink.top, 10);
        EXPECT_LE(ink.bottom, 10 + ext.cy);

        // Opaque: the cell is filled with the background colour under the glyphs.
        Board o(200, 60);
        SelectObject(o, font);
        SetTextColor(o, kRed);
        SetBkColor(o, kBlue);
        SetBkMode(o, OPAQUE);
        TextOut(o, 10, 10, "Hello", 5);
        EXPECT_EQ(o.Count(kRed) + o.Count(kBlue), ext.cx * ext.cy);
        EXPECT_EQ(o.Count(kRed), red);
        EXPECT_EQ(o.At(10, 10), kBlue);
        EXPECT_EQ(o.At(9, 10), kWhite);
    }
    EXPECT_TRUE(DeleteObject(font));
}

TEST(Text, AlignmentAndCurrentPosition) {
    const HFONT font = Font(-20);
    SIZE ext{};
    TEXTMETRIC tm{};
    {
        Board s(200, 80);
        SelectObject(s, font);
        SetBkMode(s, TRANSPARENT);
        GetTextExtentPoint32(s, "Hello", 5, &ext);
        GetTextMetrics(s, &tm);
        SetTextAlign(s, TA_RIGHT | TA_BASELINE);
        EXPECT_EQ(GetTextAlign(s), static_cast<uint32_t>(TA_RIGHT | TA_BASELINE));
        TextOut(s, 150, 50, "Hello", 5);
        const RECT ink = s.Changed();
        EXPECT_LE(ink.right, 150);
        EXPECT_GE(ink.left, 150 - ext.cx);
        EXPECT_LE(ink.bottom, 51);  // nothing below the baseline in "Hello"
        EXPECT_GE(ink.top, 50 - tm.tmAscent);
    }
    {
        Board s(200, 80);
        SelectObject(s, font);
        SetBkMode(s, TRANSPARENT);
        SetTextAlign(s, TA_CENTER | TA_BOTTOM);
        TextOut(s, 100, 60, "Hello", 5);
        const RECT ink = s.Changed();
        EXPECT_NEAR((ink.left + ink.right) / 2.0, 100, 3);
        EXPECT_LE(ink.bottom, 60 - tm.tmDescent + 1);
    }
    {
        Board s(200, 80);
        SelectObject(s, font);
        SetTextAlign(s, TA_UPDATECP);
        MoveToEx(s, 5, 5, nullptr);
        TextOut(s, 0, 0, "Hello", 5);
        POINT p{};
        GetCurrentPositionEx(s, &p);
        EXPECT_EQ(p.x, 5 + ext.cx);
        EXPECT_EQ(p.y, 5);
        EXPECT_EQ(s.At(5, 5), RGB(255, 255, 255));  // opaque cell in the white background
        EXPECT_EQ(s.Changed().left >= 5, true);
    }
    // Save and restore bring back the font and the alignment.
    Board s(20, 20);
    const int level = SaveDC(s);
    SelectObject(s, font);
    SetTextAlign(s, TA_BASELINE);
    RestoreDC(s, level);
    EXPECT_EQ(GetTextAlign(s), 0u);
    EXPECT_EQ(GetCurrentObject(s, OBJ_FONT), 0u);
    EXPECT_TRUE(DeleteObject(font));
}

}  // namespace
}  // namespace meta_test
