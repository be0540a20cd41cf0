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

TEST(ControlPersistence, MissingNamesKeepTheirDefaults) {
    // A bare set with only one property leaves every other member at its default.
    SitedControl sparse;
    sparse.ctrl.Load(PropertyBag::Parse("JPGQuality=60\n"));
    EXPECT_EQ(Get(sparse.ctrl, "JPGQuality"), Variant::I2(60));
    const std::pair<const char*, Variant> defaults[] = {
        {"Zoom", Variant::R4(1.0f)},
        {"DrawMode", Variant::I2(13)},
        {"PCDSize", Variant::I2(2)},
        {"JPGOptimize", Variant::Bool(true)},
        {"FontTransparent", Variant::Bool(true)},
        {"Appearance", Variant::I2(1)},
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
