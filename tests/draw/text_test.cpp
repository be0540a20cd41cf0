// TextOut, TextWidth and TextHeight: line counting, tab stops from column 0, the position.
#include "draw/draw_fixture.h"

namespace draw_test {
namespace {

float Measure(Surface& s, const char* method, const std::string& text) {
    return s.Call(method, {Variant::Bstr(text)}).AsR4();
}

TEST(Text, LinesAreCountedByTheirEnds) {
    Surface s;
    const float line = Measure(s, "TextHeight", "gM");
    ASSERT_GT(line, 0.0f);
    // An LF before the first CR is no line end of its own.
    const struct {
        const char* text;
        int lines;
    } rows[] = {{"", 0},       {"a", 1},      {"a\r\n", 1}, {"a\n", 1},    {"a\r", 1},
                {"a\r\nb", 2}, {"a\n\nb", 3}, {"\n", 1},    {"a\nb\rc", 2}};
    for (const auto& r : rows)
        EXPECT_EQ(Measure(s, "TextHeight", r.text), line * r.lines) << r.text;
    EXPECT_EQ(Measure(s, "TextWidth", "abc\r\na"), Measure(s, "TextWidth", "abc"));
    s.Set("ScaleMode", I(1));
    EXPECT_FLOAT_EQ(Measure(s, "TextHeight", "a"), line * 15);
}

TEST(Text, TabsStopAtColumnsCountedFromTheTargetsLeftEdge) {
    Surface s(200, 48);
    const float x = Measure(s, "TextWidth", "x"), c = Measure(s, "TextWidth", "c");
    // NumTabs 0: a tab every eight average character widths, set into TabStops(0).
    const float every = s.ctrl.GetTabStops(0);
    EXPECT_GT(every, 0.0f);
    EXPECT_EQ(Measure(s, "TextWidth", "\tx"), every + x);
    s.Set("NumTabs", I(1));
    s.ctrl.SetTabStops(0, 50);
    EXPECT_EQ(Measure(s, "TextWidth", "\t\tx"), 100 + x);
    s.Set("NumTabs", I(2));
    s.ctrl.SetTabStops(1, 70);
    EXPECT_EQ(Measure(s, "TextWidth", "a\tb\tc"), 70 + c);
    // Drawn from column 20, the first tab still goes to column 50, not 70.
    s.Set("CurrentX", F(20));
    s.Call("TextOut", {Variant::Bstr("\tx")});
    EXPECT_EQ(s.Float("CurrentX"), 50 + x);
}

TEST(Text, TextOutMovesThePosition) {
    Surface s(200, 48);
    const float abc = Measure(s, "TextWidth", "abc"), line = Measure(s, "TextHeight", "a");
    s.Set("CurrentX", F(5));
    s.Set("CurrentY", F(3));
    s.Call("TextOut", {Variant::Bstr("abc")});
    EXPECT_EQ(s.Float("CurrentX"), 5 + abc);
    EXPECT_EQ(s.Float("CurrentY"), 3.0f);
    s.Call("TextOut", {Variant::Bstr("abc\r\n")});
    EXPECT_EQ(s.Float("CurrentX"), 0.0f);
    EXPECT_EQ(s.Float("CurrentY"), 3 + line);
    // Something was drawn in the foreground colour, within the lines written.
    const auto ink = s.Bounds(0xFFFFFF, 200, 48);
    EXPECT_GE(ink[0], 5);
    EXPECT_LE(ink[3], 3 + static_cast<int>(line));
}

TEST(Text, AnOpaqueCellTakesTheBackgroundColour) {
    for (const bool transparent : {true, false}) {
        Surface s;
        s.UseBitmap(24, 0x00);
        s.Set("FontTransparent", Variant::Bool(transparent));
        s.Call("TextOut", {Variant::Bstr("   ")});
        EXPECT_EQ(s.Pixel(2, 2), transparent ? 0u : 0xFFFFFFu);
    }
}

}  // namespace
}  // namespace draw_test
