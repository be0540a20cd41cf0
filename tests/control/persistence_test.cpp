// Saving and loading the control's property set through the property bag's text form.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

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

const std::vector<std::string> kOwnOrder = {
    "AutoSize",     "DCTMethod",       "Dither",         "FancyUpsampling", "FileName",
    "JPEGDither",   "PrintX",          "PrintY",         "Thumbnail",       "Zoom",
    "PrintZoom",    "TwoPassQuantize", "JPGSmoothing",   "JPGQuality",      "JPGOptimize",
    "Picture",      "DrawMode",        "DrawWidth",      "DrawStyle",       "FillColor",
    "FillStyle",    "ScaleLeft",       "ScaleTop",       "ScaleHeight",     "ScaleWidth",
    "ScaleMode",    "FontTransparent", "ImageSource",    "DrawTo",          "AutoRefresh",
    "MousePointer", "Aspect",          "AutoBackground", "Position",        "PCDSize",
    "EPSPreview"};

}  // namespace

TEST(ControlPersistence, SavesVersionStockThenOwnPropertiesInOrder) {
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

TEST(ControlPersistence, RoundTripThroughTextKeepsEveryPersistedValue) {
    SitedControl s;
    CLumoraCtrl& c = s.ctrl;
    // ScaleMode 0: a physical mode would measure the four scale values again.
    const std::pair<const char*, Variant> values[] = {
        {"AutoSize", I2(2)},
        {"DCTMethod", I2(2)},
        {"Dither", I2(1)},
        {"FancyUpsampling", Bool(true)},
        {"JPEGDither", I2(0)},
        {"PrintX", I2(-30)},
        {"PrintY", I2(300)},
        {"Thumbnail", I2(50)},
        {"Zoom", R4(0.1f)},
        {"PrintZoom", R4(6.0f)},
        {"TwoPassQuantize", Bool(true)},
        {"JPGSmoothing", I2(9)},
        {"JPGQuality", I2(88)},
        {"JPGOptimize", Bool(false)},
        {"DrawMode", I2(7)},
        {"DrawWidth", I2(4)},
        {"DrawStyle", I2(3)},
        {"FillColor", I4(0x00ABCDEF)},
        {"FillStyle", I2(6)},
        {"ScaleLeft", R4(-1.25f)},
        {"ScaleTop", R4(3.5f)},
        {"ScaleHeight", R4(-100.0f)},
        {"ScaleWidth", R4(0.3f)},
        {"ScaleMode", I2(0)},
        {"FontTransparent", Bool(false)},
        {"ImageSource", I2(0)},
        {"DrawTo", I2(1)},
        {"AutoRefresh", Bool(false)},
        {"MousePointer", I2(99)},
        {"Aspect", R4(1.1f)},
        {"AutoBackground", Bool(true)},
        {"Position", I2(8)},
        {"PCDSize", I2(4)},
        {"EPSPreview", Bool(true)},
        {"BackColor", I4(0x00102030)},
        {"BorderStyle", I2(0)},
        {"Appearance", I2(0)},
    };
    for (const auto& [name, value] : values)
        Set(c, name, value);
    // Naming a missing file raises, yet the name is kept and persisted.
    EXPECT_THROW(Set(c, "FileName", Variant::Bstr("/no/such dir/pic=1.gif")), ControlError);
    // Not persisted: these come back at their defaults.
    const std::pair<const char*, Variant> transient[] = {
        {"HourglassOn", Bool(true)},
        {"NumTabs", I2(0)},
        {"CurrentX", R4(0.0f)},
        {"TransDC", I4(0)},
    };
    Set(c, "HourglassOn", Variant::Bool(false));
    Set(c, "NumTabs", Variant::I2(5));
    Set(c, "CurrentX", Variant::R4(9.0f));
    Set(c, "TransDC", Variant::I4(5));
    const std::string text = c.Save().ToText();

    SitedControl loaded;
    loaded.ctrl.Load(PropertyBag::Parse(text));
    for (const auto& [name, value] : values)
        EXPECT_EQ(Get(loaded.ctrl, name), value) << name;
    for (const auto& [name, value] : transient)
        EXPECT_EQ(Get(loaded.ctrl, name), value) << name;
    EXPECT_EQ(Get(loaded.ctrl, "FileName"), Variant::Bstr("/no/such dir/pic=1.gif"));
    // Loading sets members only: the named file is not read and nothing is laid out.
    EXPECT_EQ(Get(loaded.ctrl, "bmpw"), Variant::I2(0));
    EXPECT_EQ(loaded.ctrl.Player().zoom, 0.1f);
    EXPECT_EQ(loaded.ctrl.Player().thumbnail, 50);
    EXPECT_FALSE(loaded.ctrl.IsModified());
    // Saving again gives the same text.
    EXPECT_EQ(loaded.ctrl.Save().ToText(), text);
}

TEST(ControlPersistence, MissingNamesKeepTheirDefaults) {
    // A bare set with only one property leaves every other member at its default.
    SitedControl sparse;
    sparse.ctrl.Load(PropertyBag::Parse("JPGQuality=60\n"));
    EXPECT_EQ(Get(sparse.ctrl, "JPGQuality"), Variant::I2(60));
    const std::pair<const char*, Variant> defaults[] = {
        {"Zoom", R4(1.0f)},
        {"DrawMode", I2(13)},
        {"PCDSize", I2(2)},
        {"JPGOptimize", Bool(true)},
        {"FontTransparent", Bool(true)},
        {"Appearance", I2(1)},
    };
    for (const auto& [name, value] : defaults)
        EXPECT_EQ(Get(sparse.ctrl, name), value) << name;
}

TEST(ControlPersistence, FontTransparentAndJPGOptimizeAreIndependent) {
    for (const bool font : {false, true}) {
        SitedControl s;
        Set(s.ctrl, "FontTransparent", Variant::Bool(font));
        Set(s.ctrl, "JPGOptimize", Variant::Bool(!font));
        SitedControl loaded;
        loaded.ctrl.Load(PropertyBag::Parse(s.ctrl.Save().ToText()));
        EXPECT_EQ(Get(loaded.ctrl, "FontTransparent"), Variant::Bool(font));
        EXPECT_EQ(Get(loaded.ctrl, "JPGOptimize"), Variant::Bool(!font));
    }
}
