// Scale modes: the unit table, snapping and rounding, Scale, ScaleX/ScaleY and the drawing
// position across scale changes.
#include <cmath>
#include <limits>

#include "draw/draw_fixture.h"
#include "draw/scale.h"

namespace draw_test {
namespace {

TEST(Scale, UnitConversionsFollowTheUnitTable) {
    struct Row {
        bool vertical;
        double value;
        int from, to;
        float want;
    };
    const Row rows[] = {
        {false, 1440, 1, 5, 1},  {false, 1, 5, 3, 96}, {false, 1, 6, 8, 100},
        {false, 100, 8, 6, 1},   {true, 1, 4, 1, 240}, {true, 1, 5, 4, 6},
        {false, 1, 4, 1, 120},   {false, 1, 5, 4, 12}, {false, 3, 2, 1, 60},
        {false, 2.54f, 7, 5, 1}, {false, 96, 3, 5, 1}, {true, 1, 9, 6, 0.01f},
    };
    Surface s;
    for (const Row& r : rows) {
        const char* name = r.vertical ? "ScaleY" : "ScaleX";
        EXPECT_FLOAT_EQ(s.Call(name, {F(r.value), I(r.from), I(r.to)}).AsR4(), r.want)
            << name << "(" << r.value << ", " << r.from << ", " << r.to << ")";
    }
    // Both units omitted: HiMetric to the current scale (pixels here).
    EXPECT_FLOAT_EQ(s.Call("ScaleX", {F(2540)}).AsR4(), 96.0f);
}

TEST(Scale, PixelsSnapOnlyFromAHalfAndRoundToIntSendsHalvesDown) {
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
    const struct {
        double in, snapped;  // user units of one pixel each, to pixels
        int32_t rounded;
    } rows[] = {{2.3, 2.3, 2},
                {2.5, 3, 2},
                {2.51, 3, 3},
                {-2.5, -3, -3},
                {-2.3, -2.3, -2},
                {-2.49, -2.49, -2},
                {0.49, 0.49, 0},
                {0.5, 1, 0},
                {-0.5, -1, -1},
                {1e12, 1e12, kMax},
                {-1e12, -1e12, -kMax - 1}};
    for (const auto& r : rows) {
        EXPECT_DOUBLE_EQ(control::ConvertUnitsX(r.in, 0, 3, 0, 100, 100), r.snapped) << r.in;
        EXPECT_EQ(control::RoundToInt(r.in), r.rounded) << r.in;
    }
    EXPECT_EQ(control::RoundToInt(std::nan("")), 0);
    // A user scale without extent converts to 0, never to infinity.
    EXPECT_EQ(control::ConvertUnitsX(5, 0, 3, 0, 100, 0), 0.0);
}

TEST(Scale, ScaleXChecksItsUnitsAndTarget) {
    Surface s(200, 50);
    EXPECT_FLOAT_EQ(s.Call("ScaleX", {F(5), I(3), I(3)}).AsR4(), 5.0f);
    ExpectError([&] { s.Call("ScaleX", {F(5), I(0), I(3)}); }, 5);
    s.Call("Scale", {Miss(), F(0), F(0), F(100), F(100)});
    EXPECT_FLOAT_EQ(s.Call("ScaleX", {F(5), I(0), I(3)}).AsR4(), 10.0f);
    EXPECT_FLOAT_EQ(s.Call("ScaleY", {F(5), I(0), I(3)}).AsR4(), 3.0f);  // 2.5 snaps up
    s.Set("DrawTo", I(1));
    ExpectError([&] { s.Call("ScaleX", {F(1)}); }, 481);
    ExpectError([&] { s.Call("Scale", {Miss(), F(1), F(0), F(1), F(5)}); }, 380);
}

TEST(Scale, ModesMeasureTheTargetAndScaleResetsToTwips) {
    Surface s(320, 240);
    EXPECT_EQ(s.Float("ScaleWidth"), 320.0f);
    s.Set("ScaleMode", I(0));
    EXPECT_EQ(s.Float("ScaleHeight"), 240.0f);
    s.Call("Scale", {Miss(), F(-5), F(-5), F(5), F(5)});
    s.Call("Scale", {});
    EXPECT_EQ(s.Get("ScaleMode").AsI2(), 1);
    EXPECT_EQ(s.Float("ScaleLeft"), 0.0f);
    EXPECT_EQ(s.Float("ScaleWidth"), 320.0f * 15);
    EXPECT_EQ(s.Float("ScaleHeight"), 240.0f * 15);
    // A resize measures the physical scale again; a user scale keeps its unit's pixel size.
    s.site.Resize(160, 120);
    EXPECT_EQ(s.Float("ScaleWidth"), 160.0f * 15);
    s.Call("Scale", {Miss(), F(0), F(0), F(16), F(12)});
    s.site.Resize(320, 240);
    EXPECT_EQ(s.Float("ScaleWidth"), 32.0f);
    EXPECT_EQ(s.Float("ScaleHeight"), 24.0f);
}

TEST(Scale, UserScalesPlacePixels) {
    const struct {
        float x1, y1, x2, y2;  // Scale corners
        float px, py;          // a point
        int wantX, wantY;
    } rows[] = {
        {0, 0, 100, 100, 50, 50, 100, 25},
        {0, 100, 100, 0, 50, 80, 100, 10},  // y grows upwards
        {-10, -10, 10, 10, 0, 0, 100, 25},
    };
    for (const auto& r : rows) {
        Surface s(200, 50);
        s.Call("Scale", {Miss(), F(r.x1), F(r.y1), F(r.x2), F(r.y2)});
        s.Call("PSet", {I(0), F(r.px), F(r.py), Colour(0)});
        EXPECT_EQ(s.Bounds(0xFFFFFF, 200, 50), (std::array{r.wantX, r.wantY, r.wantX, r.wantY}))
            << r.px << "," << r.py;
    }
}

TEST(Scale, TheDrawingPositionKeepsItsPixelWhenTheScaleChanges) {
    Surface s(200, 100);
    s.Set("CurrentX", F(30));
    s.Set("CurrentY", F(20));
    s.Set("ScaleLeft", F(10));  // pixel 30 is now coordinate 40
    EXPECT_FLOAT_EQ(s.Float("CurrentX"), 40.0f);
    s.Set("ScaleWidth", F(100));  // half a unit per pixel
    EXPECT_FLOAT_EQ(s.Float("CurrentX"), 10.0f + 15.0f);
    s.Call("Scale", {Miss(), F(0), F(0), F(2), F(1)});
    EXPECT_FLOAT_EQ(s.Float("CurrentX"), 0.3f);
    EXPECT_FLOAT_EQ(s.Float("CurrentY"), 0.2f);
    s.Set("ScaleMode", I(1));
    EXPECT_FLOAT_EQ(s.Float("CurrentX"), 450.0f);
    // TextOut of nothing leaves a position with an origin where it was.
    s.Call("Scale", {Miss(), F(10), F(10), F(30), F(20)});
    s.Set("CurrentX", F(15));
    s.Call("TextOut", {Variant::Bstr("")});
    EXPECT_FLOAT_EQ(s.Float("CurrentX"), 15.0f);
}

TEST(Scale, AUserScaleRestoredBeforeTheFirstSizingStaysFinite) {
    control::CLumoraCtrl ctrl;
    ctrl.InitNew();
    ctrl.SetProperty("ScaleWidth", F(100));
    ctrl.SetProperty("ScaleHeight", F(50));
    platform::HeadlessSite site(ctrl, 120, 80);
    site.Resize(240, 160);
    EXPECT_TRUE(std::isfinite(ctrl.GetProperty("ScaleWidth").AsR4()));
    EXPECT_EQ(ctrl.GetProperty("ScaleMode").AsI2(), 0);
}

}  // namespace
}  // namespace draw_test
