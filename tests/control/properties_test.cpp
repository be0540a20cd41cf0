// The property table through _DLumora by name: defaults, range checks, read-only and write-only
// members, design-time refusal of run-time-only getters, the modified flag and reset.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "control/dispatch.h"
#include "control_fixture.h"

using namespace platform;
using control::CLumoraCtrl;
using control_test::ExpectControlError;
using control_test::Get;
using control_test::Set;
using control_test::SitedControl;

namespace {

const std::string kInvalidValue = "Invalid property value";

// Everything a new control reports that can be read at run time, grouped by value.
const std::pair<Variant, std::vector<const char*>> kDefaults[] = {
    {Variant::R4(1.0f), {"Zoom", "Aspect", "PrintZoom"}},
    {Variant::I2(13), {"DrawMode"}},
    {Variant::I2(2), {"PCDSize"}},
    {Variant::I2(1),
     {"DrawWidth", "FillStyle", "ScaleMode", "ImageSource", "DCTMethod", "JPEGDither",
      "BorderStyle", "Appearance"}},
    {Variant::Bool(true), {"AutoRefresh", "HourglassOn", "FontTransparent", "JPGOptimize"}},
    {Variant::Bool(false), {"FancyUpsampling", "TwoPassQuantize", "AutoBackground", "EPSPreview"}},
    {Variant::I2(0),
     {"AutoSize", "Dither", "Thumbnail", "bmpw", "bmph", "bmpc", "PrintX", "PrintY", "JPGQuality",
      "JPGSmoothing", "DrawStyle", "DrawTo", "NumTabs", "LMOpenPicture", "MousePointer", "Position",
      "DCMImage", "DCMImages"}},
    {Variant::I4(0), {"TransDC", "HorzPos", "VertPos", "HorzRange", "VertRange", "FillColor"}},
    {Variant::R4(0.0f),
     {"CurrentX", "CurrentY", "ScaleHeight", "ScaleWidth", "ScaleTop", "ScaleLeft"}},
    {Variant::Bstr(""), {"FileName"}},
    {Variant::I4(static_cast<int32_t>(0x80000004u)), {"BackColor"}}};

void ExpectDefaults(CLumoraCtrl& c) {
    for (const auto& [value, names] : kDefaults)
        for (const char* name : names)
            EXPECT_EQ(Get(c, name), value) << name;
    for (int16_t i = 0; i < 100; i += 33)
        EXPECT_EQ(c.Invoke(79, control::DISPATCH_PROPERTYGET, std::vector{Variant::I2(i)}),
                  Variant::I2(0));
    const Variant offsets = Get(c, "Offsets");
    ASSERT_EQ(offsets.vt(), VT_ARRAY | VT_I4);
    EXPECT_EQ(offsets.AsArray()->Count(), 0u);
    EXPECT_EQ(Get(c, "MouseIcon").vt(), VT_DISPATCH);
    EXPECT_EQ(Get(c, "MouseIcon").AsDispatch(), nullptr);
}

}  // namespace

TEST(ControlProperties, NewControlReportsItsDefaults) {
    SitedControl s;
    ExpectDefaults(s.ctrl);
    EXPECT_FALSE(s.ctrl.IsModified());
    // Construction alone gives the members their defaults too.
    CLumoraCtrl bare;
    EXPECT_EQ(bare.GetProperty("Zoom"), Variant::R4(1.0f));
    EXPECT_EQ(bare.GetProperty("PCDSize"), Variant::I2(2));
    EXPECT_EQ(bare.GetProperty("JPGOptimize"), Variant::Bool(true));
}

TEST(ControlProperties, RangeChecksRaise380AndKeepTheValue) {
    struct Case {
        const char* name;
        Variant bad;
    };
    const std::vector<Case> cases = {
        {"AutoSize", Variant::I2(5)},       {"AutoSize", Variant::I2(-1)},
        {"Dither", Variant::I2(3)},         {"Dither", Variant::I2(-1)},
        {"PrintZoom", Variant::R4(0.0f)},   {"PrintZoom", Variant::R4(-2.0f)},
        {"Thumbnail", Variant::I2(-1)},     {"DCTMethod", Variant::I2(3)},
        {"JPEGDither", Variant::I2(3)},     {"JPGQuality", Variant::I2(101)},
        {"JPGQuality", Variant::I2(-1)},    {"JPGSmoothing", Variant::I2(101)},
        {"Zoom", Variant::R4(0.0f)},        {"Zoom", Variant::R4(-1.0f)},
        {"MousePointer", Variant::I2(16)},  {"MousePointer", Variant::I2(-1)},
        {"MousePointer", Variant::I2(98)},  {"Position", Variant::I2(9)},
        {"Position", Variant::I2(-1)},      {"DCMImage", Variant::I2(0)},
        {"DCMImage", Variant::I2(1)},       {"PCDSize", Variant::I2(5)},
        {"PCDSize", Variant::I2(-1)},       {"DrawWidth", Variant::I2(0)},
        {"FillStyle", Variant::I2(8)},      {"DrawMode", Variant::I2(0)},
        {"DrawMode", Variant::I2(17)},      {"DrawStyle", Variant::I2(7)},
        {"ScaleMode", Variant::I2(9)},      {"ScaleWidth", Variant::R4(0.0f)},
        {"ScaleHeight", Variant::R4(0.0f)}, {"ImageSource", Variant::I2(2)},
        {"DrawTo", Variant::I2(2)},         {"NumTabs", Variant::I2(101)},
        {"NumTabs", Variant::I2(-1)},       {"HorzPos", Variant::I4(1)},
        {"HorzPos", Variant::I4(-1)},       {"VertPos", Variant::I4(1)},
    };
    for (const Case& c : cases) {
        SitedControl s;
        const Variant before = Get(s.ctrl, c.name);
        ExpectControlError([&] { Set(s.ctrl, c.name, c.bad); }, 380, kInvalidValue, c.name);
        EXPECT_EQ(Get(s.ctrl, c.name), before) << c.name;
        EXPECT_FALSE(s.ctrl.IsModified()) << c.name;
    }
}

TEST(ControlProperties, BoundaryValuesAreAccepted) {
    SitedControl s;
    const std::pair<const char*, Variant> cases[] = {
        {"AutoSize", Variant::I2(0)},      {"AutoSize", Variant::I2(4)},
        {"JPGQuality", Variant::I2(100)},  {"MousePointer", Variant::I2(15)},
        {"MousePointer", Variant::I2(99)}, {"Zoom", Variant::R4(0.01f)},
        {"Position", Variant::I2(8)},      {"PCDSize", Variant::I2(4)},
        {"DrawMode", Variant::I2(16)},     {"DrawMode", Variant::I2(1)},
        {"DrawStyle", Variant::I2(6)},     {"FillStyle", Variant::I2(7)},
        {"DrawWidth", Variant::I2(32767)}, {"NumTabs", Variant::I2(100)},
        {"HorzPos", Variant::I4(0)},       {"Thumbnail", Variant::I2(0)}};
    for (const auto& [name, value] : cases) {
        Set(s.ctrl, name, value);
        EXPECT_EQ(Get(s.ctrl, name), value) << name;
    }
}

TEST(ControlProperties, ReadOnlyMembersRaise383) {
    SitedControl s;
    for (const char* name : {"bmpw", "bmph", "bmpc", "hDC", "HorzRange", "VertRange", "Offsets",
                             "DCMImages", "hWnd"}) {
        const Variant before = Get(s.ctrl, name);
        ExpectControlError([&] { Set(s.ctrl, name, Variant::I2(7)); }, 383, "Property is read-only",
                           name);
        EXPECT_EQ(Get(s.ctrl, name), before) << name;
    }
}

TEST(ControlProperties, WriteOnlyAndDesignTimeGettersRaise394) {
    SitedControl s;
    ExpectControlError([&] { Get(s.ctrl, "PrintHDC"); }, 394, "Property is write-only",
                       "PrintHDC at run time");

    const std::vector<const char*> runTimeOnly = {"hDC",       "TransDC",   "HorzPos",  "VertPos",
                                                  "HorzRange", "VertRange", "CurrentX", "CurrentY"};
    s.site.SetAmbientUserMode(false);
    for (const char* name : runTimeOnly)
        ExpectControlError([&] { Get(s.ctrl, name); }, 394, "Property is write-only", name);
    // Everything else still reads at design time; setters of these work too.
    EXPECT_EQ(Get(s.ctrl, "Zoom"), Variant::R4(1.0f));
    Set(s.ctrl, "CurrentX", Variant::R4(12.5f));
    Set(s.ctrl, "TransDC", Variant::I4(77));

    s.site.SetAmbientUserMode(true);
    EXPECT_EQ(Get(s.ctrl, "CurrentX"), Variant::R4(12.5f));
    EXPECT_EQ(Get(s.ctrl, "TransDC"), Variant::I4(77));
    EXPECT_EQ(s.ctrl.Player().transDC.load(), 77);
    // hDC is the window's own DC.
    EXPECT_EQ(Get(s.ctrl, "hDC"), Variant::I4(static_cast<int32_t>(s.ctrl.GetDC())));
    EXPECT_NE(s.ctrl.GetDC(), 0u);
}

TEST(ControlProperties, ModifiedFlagFollowsTheTable) {
    struct Case {
        const char* name;
        Variant value;
        bool marks;
    };
    const std::vector<Case> cases = {{"FancyUpsampling", Variant::Bool(true), false},
                                     {"TwoPassQuantize", Variant::Bool(true), false},
                                     {"AutoRefresh", Variant::Bool(false), true},
                                     {"Aspect", Variant::R4(2.0f), true},
                                     {"AutoBackground", Variant::Bool(true), true},
                                     {"EPSPreview", Variant::Bool(true), true},
                                     {"Dither", Variant::I2(2), false},
                                     {"PrintZoom", Variant::R4(3.0f), false},
                                     {"DCTMethod", Variant::I2(0), false},
                                     {"JPEGDither", Variant::I2(2), false},
                                     {"PrintX", Variant::I2(5), true},
                                     {"PrintY", Variant::I2(5), true},
                                     {"JPGOptimize", Variant::Bool(false), true},
                                     {"JPGQuality", Variant::I2(75), true},
                                     {"JPGSmoothing", Variant::I2(10), true},
                                     {"TransDC", Variant::I4(3), true},
                                     {"MousePointer", Variant::I2(2), true},
                                     {"HourglassOn", Variant::Bool(false), true},
                                     {"Position", Variant::I2(4), true},
                                     {"PCDSize", Variant::I2(0), true},
                                     {"FontTransparent", Variant::Bool(false), true},
                                     {"DrawWidth", Variant::I2(3), true},
                                     {"FillColor", Variant::I4(0xFF), true},
                                     {"FillStyle", Variant::I2(0), true},
                                     {"DrawMode", Variant::I2(7), true},
                                     {"DrawStyle", Variant::I2(2), true},
                                     {"ImageSource", Variant::I2(0), true},
                                     {"DrawTo", Variant::I2(1), true},
                                     {"CurrentX", Variant::R4(1.0f), true},
                                     {"NumTabs", Variant::I2(4), false}};
    for (const Case& c : cases) {
        SitedControl s;
        Set(s.ctrl, c.name, c.value);
        EXPECT_EQ(Get(s.ctrl, c.name), c.value) << c.name;
        EXPECT_EQ(s.ctrl.IsModified(), c.marks) << c.name;
    }
}

TEST(ControlProperties, PositionAndScrollSettersRepaint) {
    SitedControl s;
    const int before = s.site.Invalidations();
    Set(s.ctrl, "Position", Variant::I2(8));
    EXPECT_GT(s.site.Invalidations(), before);
    // A picture-less control has range 0, so 0 is the only position; the bar follows.
    Set(s.ctrl, "VertPos", Variant::I4(0));
    EXPECT_EQ(s.site.ScrollBar(SB_VERT).pos, 0);
    EXPECT_TRUE(s.ctrl.IsModified());
}

TEST(ControlProperties, UserScaleSettersSwitchToUserMode) {
    SitedControl s;
    Set(s.ctrl, "ScaleWidth", Variant::R4(100.0f));
    EXPECT_EQ(Get(s.ctrl, "ScaleMode"), Variant::I2(0));
    Set(s.ctrl, "ScaleMode", Variant::I2(3));
    Set(s.ctrl, "ScaleLeft", Variant::R4(-5.0f));
    EXPECT_EQ(Get(s.ctrl, "ScaleMode"), Variant::I2(0));
    EXPECT_EQ(Get(s.ctrl, "ScaleLeft"), Variant::R4(-5.0f));
    Set(s.ctrl, "ScaleMode", Variant::I2(8));
    Set(s.ctrl, "ScaleTop", Variant::R4(7.0f));
    EXPECT_EQ(Get(s.ctrl, "ScaleMode"), Variant::I2(0));
}

TEST(ControlProperties, TabStopsAreIndexedAndChecked) {
    SitedControl s;
    const auto put = [&](Variant index, Variant value) {
        s.ctrl.Invoke(79, control::DISPATCH_PROPERTYPUT, std::vector{index, value});
    };
    const auto get = [&](Variant index) {
        return s.ctrl.Invoke(79, control::DISPATCH_PROPERTYGET, std::vector{index});
    };
    put(Variant::I2(0), Variant::I2(40));
    put(Variant::I2(99), Variant::I2(-3));
    EXPECT_EQ(get(Variant::I2(0)), Variant::I2(40));
    EXPECT_EQ(get(Variant::I2(99)), Variant::I2(-3));
    EXPECT_EQ(s.ctrl.Drawing().tabStops[99], -3);  // sign-extended into the 32-bit slot
    EXPECT_FALSE(s.ctrl.IsModified());
    ExpectControlError([&] { get(Variant::I2(100)); }, 380, kInvalidValue, "get 100");
    ExpectControlError([&] { put(Variant::I2(100), Variant::I2(1)); }, 380, kInvalidValue,
                       "put 100");
    ExpectControlError([&] { get(Variant::I2(-1)); }, 380, kInvalidValue, "get -1");
}

TEST(ControlProperties, ZoomIsIgnoredWhileTheAnimationRuns) {
    // The running flag is all the setter looks at; no thread is needed to see the rule.
    struct Animated : CLumoraCtrl {
        void MarkRunning() { const_cast<control::PlayerBlock&>(Player()).running = 1; }
        void MarkStopped() { const_cast<control::PlayerBlock&>(Player()).running = 0; }
    } c;
    c.InitNew();
    c.MarkRunning();
    c.SetProperty("Zoom", Variant::R4(-1.0f));  // not even checked
    c.SetProperty("Zoom", Variant::R4(4.0f));
    EXPECT_EQ(c.GetProperty("Zoom"), Variant::R4(1.0f));
    c.MarkStopped();
    c.SetProperty("Zoom", Variant::R4(4.0f));
    EXPECT_EQ(c.GetProperty("Zoom"), Variant::R4(4.0f));
    EXPECT_EQ(c.Player().zoom, 4.0f);
}

TEST(ControlProperties, ResetStateRestoresEveryDefault) {
    SitedControl s;
    CLumoraCtrl& c = s.ctrl;
    Set(c, "AutoSize", Variant::I2(3));
    Set(c, "Zoom", Variant::R4(2.5f));
    Set(c, "Aspect", Variant::R4(0.5f));
    EXPECT_THROW(Set(c, "FileName", Variant::Bstr("/nowhere/x.bmp")), ControlError);
    Set(c, "JPGOptimize", Variant::Bool(false));
    Set(c, "FontTransparent", Variant::Bool(false));
    Set(c, "DrawMode", Variant::I2(6));
    Set(c, "ScaleWidth", Variant::R4(10.0f));
    Set(c, "CurrentY", Variant::R4(8.0f));
    Set(c, "NumTabs", Variant::I2(3));
    Set(c, "HourglassOn", Variant::Bool(false));
    Set(c, "MousePointer", Variant::I2(99));
    Set(c, "BackColor", Variant::I4(0x123456));
    Set(c, "BorderStyle", Variant::I2(0));
    Set(c, "Appearance", Variant::I2(0));
    Set(c, "ForeColor", Variant::I4(0xFF));
    c.Invoke(79, control::DISPATCH_PROPERTYPUT, std::vector{Variant::I2(5), Variant::I2(9)});

    c.InitNew();
    ExpectDefaults(c);
    EXPECT_EQ(Get(c, "ForeColor"), Variant::I4(static_cast<int32_t>(kDefaultForeColor)));
}

TEST(ControlProperties, ResetStockResetsOnlyTheStockProperties) {
    SitedControl s;
    Set(s.ctrl, "BackColor", Variant::I4(0x123456));
    Set(s.ctrl, "Zoom", Variant::R4(2.0f));
    s.ctrl.CallMethod("ResetStock");
    EXPECT_EQ(Get(s.ctrl, "BackColor"), Variant::I4(static_cast<int32_t>(kDefaultBackColor)));
    EXPECT_EQ(Get(s.ctrl, "Zoom"), Variant::R4(2.0f));
}

TEST(ControlProperties, RefreshPaintsAtOnce) {
    SitedControl s;
    Set(s.ctrl, "BackColor", Variant::I4(0x0000FF));  // red
    s.ctrl.CallMethod("Refresh");
    EXPECT_EQ(s.site.Pixel(10, 10), 0x0000FFu);
}
