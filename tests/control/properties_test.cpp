// The property table through _DLumora by name: defaults, range checks, read-only and write-only
// members, design-time refusal of run-time-only getters, the modified flag, saving and reset.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "control/dispatch.h"
#include "control_fixture.h"
#include "platform/ole/property_bag.h"

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

const std::vector<std::string> kOwnOrder = {
    "AutoSize",     "DCTMethod",       "Dither",         "FancyUpsampling", "FileName",
    "JPEGDither",   "PrintX",          "PrintY",         "Thumbnail",       "Zoom",
    "PrintZoom",    "TwoPassQuantize", "JPGSmoothing",   "JPGQuality",      "JPGOptimize",
    "Picture",      "DrawMode",        "DrawWidth",      "DrawStyle",       "FillColor",
    "FillStyle",    "ScaleLeft",       "ScaleTop",       "ScaleHeight",     "ScaleWidth",
    "ScaleMode",    "FontTransparent", "ImageSource",    "DrawTo",          "AutoRefresh",
    "MousePointer", "Aspect",          "AutoBackground", "Position",        "PCDSize",
    "EPSPreview"};

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
    // A load from a set that names none of the members leaves them at their defaults.
    SitedControl sparse;
    sparse.ctrl.Load(PropertyBag::Parse("_Version=2.0\n"));
    ExpectDefaults(sparse.ctrl);
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

// Every setter keeps its value and marks the control modified or not; the persisted values
// survive a save and load through text, the others come back at their defaults; a reset restores
// every default. Values sit at the ends of their ranges where they have them; names given twice
// check both ends, the last one is saved.
TEST(ControlProperties, ValuesAreKeptSavedAndReset) {
    constexpr int kEither = -1;  // modified flag not part of the check
    const struct {
        const char* name;
        Variant value;
        int marks;
        bool persisted;
    } cases[] = {
        {"AutoSize", I2(0), kEither, true},
        {"AutoSize", I2(4), kEither, true},
        {"DCTMethod", I2(2), 0, true},
        {"Dither", I2(2), 0, true},
        {"FancyUpsampling", Bool(true), 0, true},
        {"JPEGDither", I2(0), 0, true},
        {"PrintX", I2(-30), 1, true},
        {"PrintY", I2(300), 1, true},
        {"Thumbnail", I2(0), kEither, true},
        {"Thumbnail", I2(50), kEither, true},
        {"Zoom", R4(0.01f), kEither, true},
        {"PrintZoom", R4(6.0f), 0, true},
        {"TwoPassQuantize", Bool(true), 0, true},
        {"JPGSmoothing", I2(100), 1, true},
        {"JPGSmoothing", I2(9), 1, true},
        {"JPGQuality", I2(100), 1, true},
        {"JPGOptimize", Bool(false), 1, true},
        {"DrawMode", I2(1), 1, true},
        {"DrawMode", I2(16), 1, true},
        {"DrawWidth", I2(32767), 1, true},
        {"DrawStyle", I2(6), 1, true},
        {"FillColor", I4(0x00ABCDEF), 1, true},
        {"FillStyle", I2(7), 1, true},
        {"ScaleLeft", R4(-1.25f), kEither, true},
        {"ScaleTop", R4(3.5f), kEither, true},
        {"ScaleHeight", R4(-100.0f), kEither, true},
        {"ScaleWidth", R4(0.3f), kEither, true},
        {"ScaleMode", I2(0), kEither, true},  // a physical mode would measure the four again
        {"FontTransparent", Bool(false), 1, true},
        {"ImageSource", I2(0), 1, true},
        {"DrawTo", I2(1), 1, true},
        {"AutoRefresh", Bool(false), 1, true},
        {"MousePointer", I2(15), 1, true},
        {"MousePointer", I2(99), 1, true},
        {"Aspect", R4(1.1f), 1, true},
        {"AutoBackground", Bool(true), 1, true},
        {"Position", I2(8), 1, true},
        {"PCDSize", I2(0), 1, true},
        {"PCDSize", I2(4), 1, true},
        {"EPSPreview", Bool(true), 1, true},
        {"BackColor", I4(0x00102030), kEither, true},
        {"BorderStyle", I2(0), kEither, true},
        {"Appearance", I2(0), kEither, true},
        {"TransDC", I4(3), 1, false},
        {"HourglassOn", Bool(false), 1, false},
        {"CurrentX", R4(1.0f), 1, false},
        {"NumTabs", I2(100), 0, false},
        {"HorzPos", I4(0), kEither, false},
        {"VertPos", I4(0), 1, false},
    };
    SitedControl s, fresh, loaded;
    CLumoraCtrl& c = s.ctrl;
    for (const auto& k : cases) {
        c.SetModifiedFlag(false);
        Set(c, k.name, k.value);
        EXPECT_EQ(Get(c, k.name), k.value) << k.name;
        EXPECT_TRUE(k.marks == kEither || c.IsModified() == (k.marks == 1)) << k.name;
    }
    // Naming a missing file raises, yet the name is kept and persisted.
    EXPECT_THROW(Set(c, "FileName", Variant::Bstr("/no/such dir/pic=1.gif")), ControlError);
    const std::string text = c.Save().ToText();
    loaded.ctrl.Load(PropertyBag::Parse(text));
    for (const auto& k : cases)
        EXPECT_EQ(Get(loaded.ctrl, k.name), Get((k.persisted ? s : fresh).ctrl, k.name)) << k.name;
    EXPECT_EQ(Get(loaded.ctrl, "FileName"), Variant::Bstr("/no/such dir/pic=1.gif"));
    // Loading sets members only: the named file is not read and nothing is laid out.
    EXPECT_EQ(Get(loaded.ctrl, "bmpw"), Variant::I2(0));
    EXPECT_EQ(loaded.ctrl.Player().zoom, 0.01f);
    EXPECT_EQ(loaded.ctrl.Player().thumbnail, 50);
    EXPECT_FALSE(loaded.ctrl.IsModified());
    // Saving again gives the same text.
    EXPECT_EQ(loaded.ctrl.Save().ToText(), text);

    Set(c, "ForeColor", Variant::I4(0xFF));
    c.Invoke(79, control::DISPATCH_PROPERTYPUT, std::vector{Variant::I2(5), Variant::I2(9)});
    c.InitNew();
    ExpectDefaults(c);
    EXPECT_EQ(Get(c, "ForeColor"), Variant::I4(static_cast<int32_t>(kDefaultForeColor)));
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

TEST(ControlProperties, ResetStockResetsOnlyTheStockProperties) {
    SitedControl s;
    Set(s.ctrl, "BackColor", Variant::I4(0x123456));
    Set(s.ctrl, "Zoom", Variant::R4(2.0f));
    s.ctrl.CallMethod("ResetStock");
    EXPECT_EQ(Get(s.ctrl, "BackColor"), Variant::I4(static_cast<int32_t>(kDefaultBackColor)));
    EXPECT_EQ(Get(s.ctrl, "Zoom"), Variant::R4(2.0f));
}

TEST(ControlProperties, SavesVersionStockThenOwnPropertiesInOrder) {
    SitedControl s;
    const PropertyBag bag = s.ctrl.Save();
    std::vector<std::string> names;
    for (const auto& [name, value] : bag.Entries())
        names.push_back(name);
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(names.front(), "_Version");
    EXPECT_EQ(*bag.Read("_Version"), "2.0");
    const auto font = std::find(names.begin(), names.end(), "Font");
    ASSERT_NE(font, names.end());
    EXPECT_NE(std::find(names.begin(), font, "BackColor"), font);
    EXPECT_NE(std::find(names.begin(), font, "Appearance"), font);
    const std::vector<std::string> own(font + 1, names.end());
    EXPECT_EQ(own, kOwnOrder);
}
