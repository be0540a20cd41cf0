// Saving and loading the control's property set through the property bag's text form.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "control_fixture.h"
#include "platform/ole/property_bag.h"

using namespace platform;
using control::CLumoraCtrl;
using control_test::Get;
using control_test::Set;
using control_test::SitedControl;

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

std::string RemoveLine(const std::string& text, const std::string& name) {
    std::string out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        if (line.rfind(name + "=", 0) != 0) out += line + "\n";
        start = end + 1;
    }
    return out;
}

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
    const std::vector<std::pair<const char*, Variant>> values = {
        {"AutoSize", Variant::I2(2)},
        {"DCTMethod", Variant::I2(2)},
        {"Dither", Variant::I2(1)},
        {"FancyUpsampling", Variant::Bool(true)},
        {"JPEGDither", Variant::I2(0)},
        {"PrintX", Variant::I2(-30)},
        {"PrintY", Variant::I2(300)},
        {"Thumbnail", Variant::I2(50)},
        {"Zoom", Variant::R4(0.1f)},
        {"PrintZoom", Variant::R4(6.0f)},
        {"TwoPassQuantize", Variant::Bool(true)},
        {"JPGSmoothing", Variant::I2(9)},
        {"JPGQuality", Variant::I2(88)},
        {"JPGOptimize", Variant::Bool(false)},
        {"DrawMode", Variant::I2(7)},
        {"DrawWidth", Variant::I2(4)},
        {"DrawStyle", Variant::I2(3)},
        {"FillColor", Variant::I4(0x00ABCDEF)},
        {"FillStyle", Variant::I2(6)},
        {"ScaleLeft", Variant::R4(-1.25f)},
        {"ScaleTop", Variant::R4(3.5f)},
        {"ScaleHeight", Variant::R4(-100.0f)},
        {"ScaleWidth", Variant::R4(1.0f / 3.0f)},
        {"ScaleMode", Variant::I2(0)},  // a physical mode would measure the four above again
        {"FontTransparent", Variant::Bool(false)},
        {"ImageSource", Variant::I2(0)},
        {"DrawTo", Variant::I2(1)},
        {"AutoRefresh", Variant::Bool(false)},
        {"MousePointer", Variant::I2(99)},
        {"Aspect", Variant::R4(1.1f)},
        {"AutoBackground", Variant::Bool(true)},
        {"Position", Variant::I2(8)},
        {"PCDSize", Variant::I2(4)},
        {"EPSPreview", Variant::Bool(true)},
        {"FileName", Variant::Bstr("/no/such dir/pic=1.gif")},
        {"BackColor", Variant::I4(0x00102030)},
        {"BorderStyle", Variant::I2(0)},
        {"Appearance", Variant::I2(0)}};
    for (const auto& [name, value] : values) {
        // Naming a missing file raises, yet the name is kept and persisted.
        if (std::string_view(name) == "FileName")
            EXPECT_THROW(Set(c, name, value), ControlError);
        else
            Set(c, name, value);
    }
    // Not persisted: these come back at their defaults.
    Set(c, "HourglassOn", Variant::Bool(false));
    Set(c, "NumTabs", Variant::I2(5));
    Set(c, "CurrentX", Variant::R4(9.0f));
    Set(c, "TransDC", Variant::I4(5));
    const std::string text = c.Save().ToText();

    SitedControl loaded;
    loaded.ctrl.Load(PropertyBag::Parse(text));
    for (const auto& [name, value] : values)
        EXPECT_EQ(Get(loaded.ctrl, name), value) << name;
    EXPECT_EQ(Get(loaded.ctrl, "HourglassOn"), Variant::Bool(true));
    EXPECT_EQ(Get(loaded.ctrl, "NumTabs"), Variant::I2(0));
    EXPECT_EQ(Get(loaded.ctrl, "CurrentX"), Variant::R4(0.0f));
    EXPECT_EQ(Get(loaded.ctrl, "TransDC"), Variant::I4(0));
    // Loading sets members only: the named file is not read and nothing is laid out.
    EXPECT_EQ(Get(loaded.ctrl, "bmpw"), Variant::I2(0));
    EXPECT_EQ(loaded.ctrl.Player().zoom, 0.1f);
    EXPECT_EQ(loaded.ctrl.Player().thumbnail, 50);
    EXPECT_FALSE(loaded.ctrl.IsModified());
    // Saving again gives the same text.
    EXPECT_EQ(loaded.ctrl.Save().ToText(), text);
}

TEST(ControlPersistence, MissingNamesKeepTheirDefaults) {
    SitedControl s;
    Set(s.ctrl, "Zoom", Variant::R4(3.0f));
    Set(s.ctrl, "DrawMode", Variant::I2(2));
    std::string text = s.ctrl.Save().ToText();
    text = RemoveLine(RemoveLine(text, "Zoom"), "DrawMode");
    ASSERT_EQ(text.find("\nZoom="), std::string::npos);
    ASSERT_NE(text.find("\nPrintZoom="), std::string::npos);

    SitedControl loaded;
    loaded.ctrl.Load(PropertyBag::Parse(text));
    EXPECT_EQ(Get(loaded.ctrl, "Zoom"), Variant::R4(1.0f));
    EXPECT_EQ(Get(loaded.ctrl, "DrawMode"), Variant::I2(13));

    // A bare set with only one property leaves every other member at its default.
    SitedControl sparse;
    sparse.ctrl.Load(PropertyBag::Parse("JPGQuality=60\n"));
    EXPECT_EQ(Get(sparse.ctrl, "JPGQuality"), Variant::I2(60));
    EXPECT_EQ(Get(sparse.ctrl, "PCDSize"), Variant::I2(2));
    EXPECT_EQ(Get(sparse.ctrl, "JPGOptimize"), Variant::Bool(true));
    EXPECT_EQ(Get(sparse.ctrl, "Appearance"), Variant::I2(1));
}

TEST(ControlPersistence, FontTransparentAndJPGOptimizeAreIndependent) {
    for (const bool font : {false, true}) {
        for (const bool optimize : {false, true}) {
            SitedControl s;
            Set(s.ctrl, "FontTransparent", Variant::Bool(font));
            Set(s.ctrl, "JPGOptimize", Variant::Bool(optimize));
            SitedControl loaded;
            loaded.ctrl.Load(PropertyBag::Parse(s.ctrl.Save().ToText()));
            EXPECT_EQ(Get(loaded.ctrl, "FontTransparent"), Variant::Bool(font));
            EXPECT_EQ(Get(loaded.ctrl, "JPGOptimize"), Variant::Bool(optimize));
        }
    }
}
