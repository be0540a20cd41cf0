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
using namespace control_test;

namespace {

// Short names for the tables below.
const auto I2 = Variant::I2;
const auto I4 = Variant::I4;
const auto R4 = Variant::R4;
const auto Bool = Variant::Bool;

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
    const std::pair<const char*, Variant> cases[] = {
        {"AutoSize", I2(5)},       {"AutoSize", I2(-1)},     {"Dither", I2(3)},
        {"Dither", I2(-1)},        {"PrintZoom", R4(0.0f)},  {"PrintZoom", R4(-2.0f)},
        {"Thumbnail", I2(-1)},     {"DCTMethod", I2(3)},     {"JPEGDither", I2(3)},
        {"JPGQuality", I2(101)},   {"JPGQuality", I2(-1)},   {"JPGSmoothing", I2(101)},
        {"Zoom", R4(0.0f)},        {"Zoom", R4(-1.0f)},      {"MousePointer", I2(16)},
        {"MousePointer", I2(-1)},  {"MousePointer", I2(98)}, {"Position", I2(9)},
        {"Position", I2(-1)},      {"DCMImage", I2(0)},      {"DCMImage", I2(1)},
        {"PCDSize", I2(5)},        {"PCDSize", I2(-1)},      {"DrawWidth", I2(0)},
        {"FillStyle", I2(8)},      {"DrawMode", I2(0)},      {"DrawMode", I2(17)},
        {"DrawStyle", I2(7)},      {"ScaleMode", I2(9)},     {"ScaleWidth", R4(0.0f)},
        {"ScaleHeight", R4(0.0f)}, {"ImageSource", I2(2)},   {"DrawTo", I2(2)},
        {"NumTabs", I2(101)},      {"NumTabs", I2(-1)},      {"HorzPos", I4(1)},
        {"HorzPos", I4(-1)},       {"VertPos", I4(1)},
    };
    for (const auto& [name, bad] : cases) {
        SitedControl s;
        const Variant before = Get(s.ctrl, name);
        ExpectInvalidValue([&] { Set(s.ctrl, name, bad); }, name);
        EXPECT_EQ(Get(s.ctrl, name), before) << name;
        EXPECT_FALSE(s.ctrl.IsModified()) << name;
    }
}

// Values at the ends of each range are taken; setting marks the control modified or not.
TEST(ControlProperties, AcceptedValuesAndTheModifiedFlag) {
    constexpr int kEither = -1;  // not part of the check
    const struct {
        const char* name;
        Variant value;
        int marks;
    } cases[] = {
        {"FancyUpsampling", Bool(true), 0},
        {"TwoPassQuantize", Bool(true), 0},
        {"AutoRefresh", Bool(false), 1},
        {"Aspect", R4(2.0f), 1},
        {"AutoBackground", Bool(true), 1},
        {"EPSPreview", Bool(true), 1},
        {"Dither", I2(2), 0},
        {"PrintZoom", R4(3.0f), 0},
        {"DCTMethod", I2(0), 0},
        {"JPEGDither", I2(2), 0},
        {"PrintX", I2(5), 1},
        {"PrintY", I2(5), 1},
        {"JPGOptimize", Bool(false), 1},
        {"JPGQuality", I2(100), 1},
        {"JPGSmoothing", I2(100), 1},
        {"TransDC", I4(3), 1},
        {"MousePointer", I2(15), 1},
        {"MousePointer", I2(99), 1},
        {"HourglassOn", Bool(false), 1},
        {"Position", I2(8), 1},
        {"PCDSize", I2(4), 1},
        {"PCDSize", I2(0), 1},
        {"FontTransparent", Bool(false), 1},
        {"DrawWidth", I2(32767), 1},
        {"FillColor", I4(0xFF), 1},
        {"FillStyle", I2(7), 1},
        {"DrawMode", I2(16), 1},
        {"DrawMode", I2(1), 1},
        {"DrawStyle", I2(6), 1},
        {"ImageSource", I2(0), 1},
        {"DrawTo", I2(1), 1},
        {"CurrentX", R4(1.0f), 1},
        {"NumTabs", I2(100), 0},
        {"AutoSize", I2(4), kEither},
        {"Zoom", R4(0.01f), kEither},
        {"HorzPos", I4(0), kEither},
        {"Thumbnail", I2(0), kEither},
        {"VertPos", I4(0), 1},
    };
    for (const auto& k : cases) {
        SitedControl s;
        const int invalidations = s.site.Invalidations();
        Set(s.ctrl, k.name, k.value);
        EXPECT_EQ(Get(s.ctrl, k.name), k.value) << k.name;
        EXPECT_TRUE(k.marks == kEither || s.ctrl.IsModified() == (k.marks == 1)) << k.name;
        // Placement repaints at once.
        EXPECT_TRUE(std::string_view(k.name) != "Position" ||
                    s.site.Invalidations() > invalidations);
    }
}

TEST(ControlProperties, ReadOnlyWriteOnlyAndDesignTimeMembersRaise) {
    SitedControl s;
    for (const char* name : {"bmpw", "bmph", "bmpc", "hDC", "HorzRange", "VertRange", "Offsets",
                             "DCMImages", "hWnd"}) {
        const Variant before = Get(s.ctrl, name);
        ExpectControlError([&] { Set(s.ctrl, name, Variant::I2(7)); }, 383, "Property is read-only",
                           name);
        EXPECT_EQ(Get(s.ctrl, name), before) << name;
    }
    ExpectControlError([&] { Get(s.ctrl, "PrintHDC"); }, 394, "Property is write-only",
                       "PrintHDC at run time");

    s.site.SetAmbientUserMode(false);
    for (const char* name :
         {"hDC", "TransDC", "HorzPos", "VertPos", "HorzRange", "VertRange", "CurrentX", "CurrentY"})
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
    EXPECT_NE(s.ctrl.GetDC(), 0u);
    EXPECT_EQ(Get(s.ctrl, "hDC"), Variant::I4(static_cast<int32_t>(s.ctrl.GetDC())));
}

TEST(ControlProperties, UserScaleSettersSwitchToUserMode) {
    for (const char* name : {"ScaleWidth", "ScaleLeft", "ScaleTop", "ScaleHeight"}) {
        SitedControl s;
        Set(s.ctrl, "ScaleMode", Variant::I2(3));
        Set(s.ctrl, name, Variant::R4(-5.0f));
        EXPECT_EQ(Get(s.ctrl, "ScaleMode"), Variant::I2(0)) << name;
        EXPECT_EQ(Get(s.ctrl, name), Variant::R4(-5.0f)) << name;
    }
}

TEST(ControlProperties, TabStopsAreIndexedAndChecked) {
    SitedControl s;
    const auto put = [&](int16_t index, int16_t value) {
        s.ctrl.Invoke(79, control::DISPATCH_PROPERTYPUT,
                      std::vector{Variant::I2(index), Variant::I2(value)});
    };
    const auto get = [&](int16_t index) {
        return s.ctrl.Invoke(79, control::DISPATCH_PROPERTYGET, std::vector{Variant::I2(index)});
    };
    put(0, 40);
    put(99, -3);
    EXPECT_EQ(get(0), Variant::I2(40));
    EXPECT_EQ(get(99), Variant::I2(-3));
    EXPECT_EQ(s.ctrl.Drawing().tabStops[99], -3);  // sign-extended into the 32-bit slot
    EXPECT_FALSE(s.ctrl.IsModified());
    ExpectInvalidValue([&] { get(100); }, "get 100");
    ExpectInvalidValue([&] { put(100, 1); }, "put 100");
    ExpectInvalidValue([&] { get(-1); }, "get -1");
}

TEST(ControlProperties, ResetStateRestoresEveryDefault) {
    SitedControl s;
    CLumoraCtrl& c = s.ctrl;
    const std::pair<const char*, Variant> changes[] = {{"AutoSize", I2(3)},
                                                       {"Zoom", R4(2.5f)},
                                                       {"Aspect", R4(0.5f)},
                                                       {"JPGOptimize", Bool(false)},
                                                       {"FontTransparent", Bool(false)},
                                                       {"DrawMode", I2(6)},
                                                       {"ScaleWidth", R4(10.0f)},
                                                       {"CurrentY", R4(8.0f)},
                                                       {"NumTabs", I2(3)},
                                                       {"HourglassOn", Bool(false)},
                                                       {"MousePointer", I2(99)},
                                                       {"BackColor", I4(0x123456)},
                                                       {"BorderStyle", I2(0)},
                                                       {"Appearance", I2(0)},
                                                       {"ForeColor", I4(0xFF)}};
    for (const auto& [name, value] : changes)
        Set(c, name, value);
    EXPECT_THROW(Set(c, "FileName", Variant::Bstr("/nowhere/x.bmp")), ControlError);
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
