// The member table and Invoke: names, DISPIDs, argument conversion and its errors, argument
// counts, and the numeric argument helpers.
#include <gtest/gtest.h>

#include <cctype>
#include <map>
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

TEST(DispatchTable, MembersAreNumberedInTableOrderAndFoundWhateverTheirCase) {
    std::vector<DISPID> custom;
    std::map<MemberKind, int> kinds;
    std::set<std::string> lower;
    for (const MemberInfo& m : DispatchMembers()) {
        if (m.dispid > 0) custom.push_back(m.dispid);
        ++kinds[m.kind];
        std::string name(m.name);
        for (char& ch : name)
            ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        EXPECT_TRUE(lower.insert(name).second) << "duplicate name " << m.name;
    }
    ASSERT_EQ(custom.size(), 79u);
    for (size_t i = 0; i < custom.size(); ++i)
        EXPECT_EQ(custom[i], static_cast<DISPID>(i + 1));
    EXPECT_EQ(kinds[MemberKind::Property], 63);
    EXPECT_EQ(kinds[MemberKind::Method], 25);
    EXPECT_EQ(kinds[MemberKind::IndexedProperty], 1);

    CLumoraCtrl c;
    const std::pair<const char*, DISPID> ids[] = {
        {"FancyUpsampling", 1}, {"PCDSize", 55},     {"Line", 56},        {"TabStops", 79},
        {"bmpw", 14},           {"BMPW", 14},        {"hdc", 18},         {"jpgquality", 20},
        {"_picture", 0},        {"Refresh", -550},   {"BackColor", -501}, {"BorderStyle", -504},
        {"Enabled", -514},      {"ForeColor", -513}, {"HWND", -515},      {"Font", -512},
        {"Appearance", -520},   {"AboutBox", -552},
    };
    for (const auto& [name, id] : ids)
        EXPECT_EQ(c.GetIDsOfNames(name), id) << name;
    for (const char* name : {"NoSuchMember", "bmp"})
        EXPECT_EQ(c.GetIDsOfNames(name), DISPID_UNKNOWN) << name;
}

TEST(DispatchInvoke, ArgumentsAreCoercedWithOleRules) {
    SitedControl s;
    CLumoraCtrl& c = s.ctrl;
    Variant referenced = Variant::I2(3);
    const struct {
        const char* name;
        Variant given, read;
    } cases[] = {
        {"JPGQuality", Variant::Bstr("42"), Variant::I2(42)},
        {"Zoom", Variant::I4(3), Variant::R4(3.0f)},
        {"DrawWidth", Variant::R8(2.5), Variant::I2(2)},  // half to even
        {"FontTransparent", Variant::I2(0), Variant::Bool(false)},
        {"Position", Variant::ByRef(referenced), Variant::I2(3)},
        {"FillColor", Variant::I4(static_cast<int32_t>(0x80000005u)),
         Variant::I4(static_cast<int32_t>(0x80000005u))},
    };
    for (const auto& k : cases) {
        c.SetProperty(k.name, k.given);
        EXPECT_EQ(c.GetProperty(k.name), k.read) << k.name;
    }
    // The file does not exist, so the load raises; the converted name is kept all the same.
    EXPECT_THROW(c.SetProperty("FileName", Variant::I4(12)), ControlError);
    EXPECT_EQ(c.GetProperty("FileName"), Variant::Bstr("12"));
}

TEST(DispatchInvoke, BadCallsRaiseBeforeTheMemberIsReached) {
    const std::string mismatch = "Type mismatch";
    const std::string notSupported = "Object doesn't support this property or method";
    const std::string wrongCount = "Wrong number of arguments or invalid property assignment";
    const struct {
        const char* what;
        DISPID id;
        uint16_t flags;
        std::vector<Variant> args;
        uint16_t number;
        std::string description;
    } cases[] = {
        {"text into a short", 20, DISPATCH_PROPERTYPUT, {Variant::Bstr("lots")}, 13, mismatch},
        {"long into a short", 7, DISPATCH_PROPERTYPUT, {Variant::I4(70000)}, 6, "Overflow"},
        {"null into a float", 46, DISPATCH_PROPERTYPUT, {Variant::Null()}, 13, mismatch},
        {"text index", 79, DISPATCH_PROPERTYGET, {Variant::Bstr("x")}, 13, mismatch},
        {"Rotate with text", 70, DISPATCH_METHOD, {Variant::Bstr("left")}, 13, mismatch},
        {"get with an argument", 46, DISPATCH_PROPERTYGET, {Variant::I2(1)}, 450, wrongCount},
        {"put without a value", 46, DISPATCH_PROPERTYPUT, {}, 450, wrongCount},
        {"indexed get without index", 79, DISPATCH_PROPERTYGET, {}, 450, wrongCount},
        {"ResetStock with an argument", 73, DISPATCH_METHOD, {Variant::I2(1)}, 450, wrongCount},
        {"Rotate without direction", 70, DISPATCH_METHOD, {}, 450, wrongCount},
        {"unknown DISPID", 80, DISPATCH_PROPERTYGET, {}, 438, notSupported},
        {"put on a method", -550, DISPATCH_PROPERTYPUT, {Variant::I2(1)}, 438, notSupported},
    };
    for (const auto& k : cases) {
        SitedControl s;
        ExpectControlError([&] { s.ctrl.Invoke(k.id, k.flags, k.args); }, k.number, k.description,
                           k.what);
        EXPECT_FALSE(s.ctrl.IsModified()) << k.what;
        EXPECT_EQ(s.ctrl.GetProperty("JPGQuality"), Variant::I2(0)) << k.what;
        EXPECT_EQ(s.ctrl.GetProperty("AutoSize"), Variant::I2(0)) << k.what;
    }
    SitedControl s;
    ExpectControlError([&] { s.ctrl.GetProperty("NoSuchMember"); }, 438, notSupported, "name");
    // Method-style reads of a property work as hosts send them.
    EXPECT_EQ(s.ctrl.Invoke(46, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}), Variant::R4(1.0f));
}

TEST(NumericArgs, VariantToDoubleReadsNumbersOnly) {
    Variant target = Variant::I4(12);
    const std::pair<Variant, double> cases[] = {
        {Variant::I2(-7), -7.0},        {Variant::I4(70000), 70000.0},
        {Variant::R4(1.5f), 1.5},       {Variant::R8(-2.25), -2.25},
        {Variant::UI1(200), 200.0},     {Variant::ByRef(target), 12.0},
        {Variant(), -32767.0},          {Variant::Missing(), -32767.0},
        {Variant::Bstr("5"), -32767.0}, {Variant::Bool(true), -32767.0},
        {Variant::Null(), -32767.0},    {Variant::Error(0), -32767.0}};
    for (const auto& [v, expected] : cases)
        EXPECT_EQ(VariantToDouble(v), expected) << expected;
}

TEST(NumericArgs, RoundToIntSendsHalvesDown) {
    const std::pair<double, int32_t> cases[] = {{2.5, 2},   {2.51, 3},  {-2.5, -3}, {-2.49, -2},
                                                {0.5, 0},   {-0.5, -1}, {43.5, 43}, {1.4999, 1},
                                                {-1.6, -2}, {7.0, 7},   {-7.0, -7}};
    for (const auto& [value, expected] : cases)
        EXPECT_EQ(RoundToInt(value), expected) << value;
}
