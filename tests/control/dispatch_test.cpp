// The member table and Invoke: names, DISPIDs, kinds, argument conversion and its errors, the
// path of members still without an implementation, and the numeric argument helpers.
#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>
#include <vector>

#include "control/dispatch.h"
#include "control/numeric_args.h"
#include "control_fixture.h"

using namespace platform;
using namespace control;
using control_test::ExpectControlError;
using control_test::SitedControl;

namespace {
const std::string kNotSupported = "Object doesn't support this property or method";
const std::string kWrongCount = "Wrong number of arguments or invalid property assignment";
}  // namespace

TEST(DispatchTable, CustomMembersAreNumberedInTableOrder) {
    std::vector<DISPID> custom;
    int valueProperties = 0, properties = 0, methods = 0, indexed = 0;
    for (const MemberInfo& m : DispatchMembers()) {
        if (m.dispid > 0) custom.push_back(m.dispid);
        if (m.dispid == 0) {
            ++valueProperties;
            EXPECT_EQ(m.name, "_Picture");
        }
        if (m.kind == MemberKind::Property) ++properties;
        if (m.kind == MemberKind::Method) ++methods;
        if (m.kind == MemberKind::IndexedProperty) ++indexed;
    }
    ASSERT_EQ(custom.size(), 79u);
    for (size_t i = 0; i < custom.size(); ++i)
        EXPECT_EQ(custom[i], static_cast<DISPID>(i + 1));
    EXPECT_EQ(valueProperties, 1);
    EXPECT_EQ(properties, 63);
    EXPECT_EQ(methods, 25);
    EXPECT_EQ(indexed, 1);
    EXPECT_EQ(FindMember(1)->name, "FancyUpsampling");
    EXPECT_EQ(FindMember(55)->name, "PCDSize");
    EXPECT_EQ(FindMember(56)->name, "Line");
    EXPECT_EQ(FindMember(79)->name, "TabStops");
}

TEST(DispatchTable, StockMembersCarryTheStandardDispids) {
    CLumoraCtrl c;
    const std::vector<std::pair<const char*, DISPID>> stock = {
        {"Refresh", -550}, {"BackColor", -501},  {"BorderStyle", -504},
        {"Enabled", -514}, {"ForeColor", -513},  {"hWnd", -515},
        {"Font", -512},    {"Appearance", -520}, {"AboutBox", -552}};
    for (const auto& [name, id] : stock)
        EXPECT_EQ(c.GetIDsOfNames(name), id) << name;
    EXPECT_EQ(FindMember(-550)->kind, MemberKind::Method);
    EXPECT_EQ(FindMember(-552)->kind, MemberKind::Method);
}

TEST(DispatchTable, NamesAreFoundWhateverTheirCase) {
    CLumoraCtrl c;
    EXPECT_EQ(c.GetIDsOfNames("bmpw"), 14);
    EXPECT_EQ(c.GetIDsOfNames("BMPW"), 14);
    EXPECT_EQ(c.GetIDsOfNames("hdc"), 18);
    EXPECT_EQ(c.GetIDsOfNames("jpgquality"), 20);
    EXPECT_EQ(c.GetIDsOfNames("_picture"), 0);
    EXPECT_EQ(c.GetIDsOfNames("HWND"), -515);
    EXPECT_EQ(c.GetIDsOfNames("NoSuchMember"), DISPID_UNKNOWN);
    EXPECT_EQ(c.GetIDsOfNames("bmp"), DISPID_UNKNOWN);
    // The table keeps the spelling the type library uses.
    EXPECT_EQ(FindMember("BMPC")->name, "bmpc");
    EXPECT_EQ(FindMember("hdc")->name, "hDC");
    EXPECT_EQ(FindMember("jpegdither")->name, "JPEGDither");
    std::set<std::string> lower;
    for (const MemberInfo& m : DispatchMembers()) {
        std::string name(m.name);
        for (char& ch : name)
            ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        EXPECT_TRUE(lower.insert(name).second) << "duplicate name " << m.name;
    }
}

TEST(DispatchTable, TypesAndArgumentsAreDeclared) {
    EXPECT_EQ(FindMember("AutoSize")->type.vt, VT_I2);
    EXPECT_EQ(FindMember("AutoSize")->type.name, "enumAutoSize");
    EXPECT_EQ(FindMember("MousePointer")->type.name, "enumMousePointer");
    EXPECT_EQ(FindMember("ImageSource")->type.name, "enumImgSrc");
    EXPECT_EQ(FindMember("Appearance")->type.name, "enumAppearance");
    EXPECT_EQ(FindMember("FillColor")->type.name, "OLE_COLOR");
    EXPECT_EQ(FindMember("Zoom")->type.vt, VT_R4);
    EXPECT_EQ(FindMember("FileName")->type.vt, VT_BSTR);
    EXPECT_EQ(FindMember("Offsets")->type.vt, VT_VARIANT);
    const MemberInfo& circle = *FindMember("Circle");
    ASSERT_EQ(circle.params.size(), 8u);
    EXPECT_EQ(circle.params[3].name, "Radius");
    EXPECT_EQ(circle.params[3].type.vt, VT_R4);
    EXPECT_FALSE(circle.params[3].optional);
    EXPECT_TRUE(circle.params[7].optional);
    const MemberInfo& balance = *FindMember("ColorBalance");
    ASSERT_EQ(balance.params.size(), 3u);
    EXPECT_EQ(balance.params[2].name, "Blue");
    EXPECT_EQ(FindMember("ReadBinary")->type.vt, VT_I4);
    EXPECT_EQ(FindMember("Point")->type.name, "OLE_COLOR");
}

TEST(DispatchInvoke, ArgumentsAreCoercedWithOleRules) {
    SitedControl s;
    CLumoraCtrl& c = s.ctrl;
    c.SetProperty("JPGQuality", Variant::Bstr("42"));
    EXPECT_EQ(c.GetProperty("JPGQuality"), Variant::I2(42));
    c.SetProperty("Zoom", Variant::I4(3));
    EXPECT_EQ(c.GetProperty("Zoom"), Variant::R4(3.0f));
    c.SetProperty("DrawWidth", Variant::R8(2.5));  // half to even
    EXPECT_EQ(c.GetProperty("DrawWidth"), Variant::I2(2));
    c.SetProperty("FontTransparent", Variant::I2(0));
    EXPECT_EQ(c.GetProperty("FontTransparent"), Variant::Bool(false));
    // The file does not exist, so the load raises; the converted name is kept all the same.
    EXPECT_THROW(c.SetProperty("FileName", Variant::I4(12)), ControlError);
    EXPECT_EQ(c.GetProperty("FileName"), Variant::Bstr("12"));
    Variant referenced = Variant::I2(3);
    c.SetProperty("Position", Variant::ByRef(referenced));
    EXPECT_EQ(c.GetProperty("Position"), Variant::I2(3));
    c.SetProperty("FillColor", Variant::I4(static_cast<int32_t>(0x80000005u)));
    EXPECT_EQ(c.Drawing().fillColor, 0x80000005u);

    ExpectControlError([&] { c.SetProperty("JPGQuality", Variant::Bstr("lots")); }, 13,
                       "Type mismatch", "text into a short");
    ExpectControlError([&] { c.SetProperty("AutoSize", Variant::I4(70000)); }, 6, "Overflow",
                       "long into a short");
    ExpectControlError([&] { c.SetProperty("Zoom", Variant::Null()); }, 13, "Type mismatch",
                       "null into a float");
    ExpectControlError([&] { c.Invoke(79, DISPATCH_PROPERTYGET, std::vector{Variant::Bstr("x")}); },
                       13, "Type mismatch", "text index");
    EXPECT_EQ(c.GetProperty("JPGQuality"), Variant::I2(42));
    EXPECT_EQ(c.GetProperty("AutoSize"), Variant::I2(0));
}

TEST(DispatchInvoke, ArgumentCountsAreChecked) {
    SitedControl s;
    CLumoraCtrl& c = s.ctrl;
    const DISPID zoom = c.GetIDsOfNames("Zoom");
    ExpectControlError([&] { c.Invoke(zoom, DISPATCH_PROPERTYGET, std::vector{Variant::I2(1)}); },
                       450, kWrongCount, "get with an argument");
    ExpectControlError([&] { c.Invoke(zoom, DISPATCH_PROPERTYPUT, {}); }, 450, kWrongCount,
                       "put without a value");
    ExpectControlError([&] { c.Invoke(79, DISPATCH_PROPERTYGET, {}); }, 450, kWrongCount,
                       "indexed get without index");
    ExpectControlError([&] { c.Invoke(73, DISPATCH_METHOD, std::vector{Variant::I2(1)}); }, 450,
                       kWrongCount, "ResetStock with an argument");
    ExpectControlError([&] { c.Invoke(70, DISPATCH_METHOD, std::vector<Variant>{}); }, 450,
                       kWrongCount, "Rotate without direction");
    // Method-style reads of a property work as hosts send them.
    EXPECT_EQ(c.Invoke(zoom, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}), Variant::R4(1.0f));
}

TEST(DispatchInvoke, UnknownMembersAndWrongCallKindsRaise438) {
    SitedControl s;
    CLumoraCtrl& c = s.ctrl;
    ExpectControlError([&] { c.GetProperty("NoSuchMember"); }, 438, kNotSupported, "unknown name");
    ExpectControlError([&] { c.Invoke(80, DISPATCH_PROPERTYGET, {}); }, 438, kNotSupported,
                       "unknown DISPID");
    ExpectControlError([&] { c.Invoke(-550, DISPATCH_PROPERTYPUT, std::vector{Variant::I2(1)}); },
                       438, kNotSupported, "put on a method");
}

TEST(DispatchInvoke, ArgumentErrorsComeBeforeTheMember) {
    SitedControl s;
    CLumoraCtrl& c = s.ctrl;
    // Argument errors come before the member is reached.
    ExpectControlError([&] { c.CallMethod("Rotate", std::vector{Variant::Bstr("left")}); }, 13,
                       "Type mismatch", "Rotate with text");
    EXPECT_FALSE(c.IsModified());
}

TEST(NumericArgs, VariantToDoubleReadsNumbersOnly) {
    EXPECT_EQ(VariantToDouble(Variant::I2(-7)), -7.0);
    EXPECT_EQ(VariantToDouble(Variant::I4(70000)), 70000.0);
    EXPECT_EQ(VariantToDouble(Variant::R4(1.5f)), 1.5);
    EXPECT_EQ(VariantToDouble(Variant::R8(-2.25)), -2.25);
    EXPECT_EQ(VariantToDouble(Variant::UI1(200)), 200.0);
    Variant target = Variant::I4(12);
    EXPECT_EQ(VariantToDouble(Variant::ByRef(target)), 12.0);
    for (const Variant& other : {Variant(), Variant::Missing(), Variant::Bstr("5"),
                                 Variant::Bool(true), Variant::Null(), Variant::Error(0)})
        EXPECT_EQ(VariantToDouble(other), -32767.0);
}

TEST(NumericArgs, RoundToIntSendsHalvesDown) {
    EXPECT_EQ(RoundToInt(2.5), 2);
    EXPECT_EQ(RoundToInt(2.51), 3);
    EXPECT_EQ(RoundToInt(-2.5), -3);
    EXPECT_EQ(RoundToInt(-2.49), -2);
    EXPECT_EQ(RoundToInt(0.5), 0);
    EXPECT_EQ(RoundToInt(-0.5), -1);
    EXPECT_EQ(RoundToInt(43.5), 43);
    EXPECT_EQ(RoundToInt(1.4999), 1);
    EXPECT_EQ(RoundToInt(-1.6), -2);
    EXPECT_EQ(RoundToInt(7.0), 7);
}
