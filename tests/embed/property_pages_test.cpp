// The property pages as a host renders them: the fields a fresh control shows, apply through
// the setters, only changed fields written, and the About box through the site.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "control/control_fixture.h"
#include "control/dispatch.h"
#include "control/property_pages.h"
#include "lumora/version.h"
#include "platform/ole/property_bag.h"

namespace {

using control::FindPropertyPage;
using control::PropertyPage;
using control_test::SitedControl;
using platform::Variant;

struct ShownField {
    const char* page;
    const char* field;
    double initial;  // before the first read
    double value;    // after reading a new control
    const char* text;
};

const ShownField kShown[] = {
    {"General", "AutoSize", -1, 0, "0 - Off"},
    {"General", "Appearance", 1, 1, "1 - 3D"},
    {"General", "BorderStyle", 1, 1, "1 - Fixed Single"},
    {"General", "DCTMethod", -1, 1, "1 - Fast Integer"},
    {"General", "JPEGDither", -1, 1, "1 - Ordered"},
    {"General", "JPGOptimize", 0, 1, "True"},
    {"General", "Zoom", 0, 1, "1"},
    {"Graphics", "DrawMode", -1, 13, "13 - Copy Pen"},
    {"Graphics", "FillStyle", -1, 1, "1 - Transparent"},
    {"Graphics", "ScaleMode", -1, 1, "1 - Twip"},
    {"Graphics", "DrawWidth", 0, 1, "1"},
    {"Graphics", "FontTransparent", 0, 1, "True"},
};

TEST(PropertyPages, FieldsShowTheControlsValues) {
    SitedControl c;
    for (const ShownField& row : kShown) {
        SCOPED_TRACE(std::string(row.page) + "." + row.field);
        PropertyPage page(c.ctrl, *FindPropertyPage(row.page));
        EXPECT_EQ(page.Value(row.field), row.initial);
        page.Open();
        EXPECT_EQ(page.Value(row.field), row.value);
        EXPECT_EQ(page.Text(row.field), row.text);
    }
    // Loading a saved state checks no range: a value without an entry selects nothing.
    c.ctrl.Load(platform::PropertyBag::Parse("AutoSize=9\n"));
    PropertyPage general(c.ctrl, *FindPropertyPage("General"));
    general.Open();
    EXPECT_EQ(general.Value("AutoSize"), -1);
    EXPECT_EQ(general.Text("AutoSize"), "");
}

TEST(PropertyPages, ExchangeOrderBindsEveryFieldOnce) {
    for (const control::PageInfo& page : control::OwnPropertyPages()) {
        std::set<std::string_view> bound;
        for (const control::PageGroup& group : page.groups)
            for (const control::PageField& field : group.fields) {
                EXPECT_TRUE(bound.insert(field.property).second) << field.property;
                EXPECT_NE(control::FindMember(field.property), nullptr) << field.property;
            }
        const std::set<std::string_view> ordered(page.exchangeOrder.begin(),
                                                 page.exchangeOrder.end());
        EXPECT_EQ(ordered, bound) << page.caption;
        EXPECT_EQ(ordered.size(), page.exchangeOrder.size()) << page.caption;
    }
    const auto list = control::PropertyPageList();
    ASSERT_EQ(list.size(), 5u);
    EXPECT_EQ(list[0], "CSecProp");
    EXPECT_EQ(list[1], "CGraphProp");
}

TEST(PropertyPages, ApplyWritesChangedFieldsThroughTheSetters) {
    SitedControl c;
    PropertyPage general(c.ctrl, *FindPropertyPage("General"));
    general.Open();
    // Changed behind the open page: applying other fields must not write the stale value back.
    c.ctrl.SetProperty("Zoom", Variant::R4(2.5f));
    general.SetValue("AutoSize", 4);
    general.SetValue("PrintZoom", 3);
    general.SetValue("JPGQuality", 101);
    control_test::ExpectControlError([&] { general.Apply(); }, 380, "Invalid property value",
                                     "JPGQuality 101");
    EXPECT_EQ(c.ctrl.GetProperty("AutoSize").AsI2(), 4);
    EXPECT_EQ(c.ctrl.GetProperty("PrintZoom").AsR4(), 3.0f);
    EXPECT_EQ(c.ctrl.GetProperty("JPGQuality").AsI2(), 0);
    EXPECT_EQ(c.ctrl.GetProperty("Zoom").AsR4(), 2.5f);
    EXPECT_FALSE(general.Changed("AutoSize"));
    EXPECT_TRUE(general.Changed("JPGQuality"));
    // Reading the control again forgets the edits.
    general.Open();
    EXPECT_FALSE(general.Changed("JPGQuality"));
    EXPECT_EQ(general.Value("JPGQuality"), 0);

    general.SetValue("JPGQuality", 100);
    general.Apply();
    EXPECT_EQ(c.ctrl.GetProperty("JPGQuality").AsI2(), 100);

    PropertyPage graphics(c.ctrl, *FindPropertyPage("CGraphProp"));
    graphics.Open();
    graphics.SetValue("FontTransparent", 0);
    graphics.Apply();
    EXPECT_EQ(c.ctrl.GetProperty("FontTransparent").AsBool(), 0);
    EXPECT_THROW(graphics.Value("Zoom"), platform::ControlError);
}

TEST(PropertyPages, AboutBoxShowsThroughTheSite) {
    SitedControl c;
    control::InvokeMember(c.ctrl, platform::DISPID_ABOUTBOX, control::DISPATCH_METHOD, {});
    ASSERT_EQ(c.site.Dialogs().size(), 1u);
    const platform::DialogContent& about = c.site.Dialogs()[0];
    EXPECT_EQ(about.kind, "About");
    EXPECT_FALSE(about.icon.empty());
    ASSERT_FALSE(about.lines.empty());
    EXPECT_NE(about.lines[0].find(LUMORA_VERSION_STRING), std::string::npos);
}

}  // namespace
