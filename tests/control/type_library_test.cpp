// The generated type library text names every member, event and enumeration with its values.
#include <gtest/gtest.h>

#include <string>

#include "control/dispatch.h"
#include "control/type_library.h"

using namespace control;

namespace {

// The text between the opening line of a block and its closing "};".
std::string Block(const std::string& text, const std::string& opening) {
    const size_t start = text.find(opening);
    if (start == std::string::npos) return {};
    const size_t end = text.find("};", start);
    return text.substr(start, end - start);
}

}  // namespace

TEST(TypeLibrary, ListsEveryDispatchMemberWithItsDispid) {
    const std::string text = TypeLibraryText();
    EXPECT_NE(text.find("library LumoraLib"), std::string::npos);
    EXPECT_NE(text.find("version(2.0)"), std::string::npos);
    const std::string iface = Block(text, "dispinterface _DLumora {");
    for (const MemberInfo& m : DispatchMembers()) {
        const std::string head = "[id(" + std::to_string(m.dispid);
        const std::string name =
            " " + std::string(m.name) + (m.kind == MemberKind::Property ? ";" : "(");
        const size_t at = iface.find(name);
        ASSERT_NE(at, std::string::npos) << m.name;
        const size_t lineStart = iface.rfind('\n', at) + 1;
        EXPECT_NE(iface.substr(lineStart, at - lineStart).find(head), std::string::npos) << m.name;
    }
    EXPECT_NE(iface.find("[id(14), readonly] short bmpw;"), std::string::npos);
    EXPECT_NE(iface.find("[id(24), writeonly] long PrintHDC;"), std::string::npos);
    EXPECT_NE(iface.find("[id(7)] enumAutoSize AutoSize;"), std::string::npos);
    EXPECT_NE(iface.find("[id(0)] IPictureDisp* _Picture;"), std::string::npos);
    EXPECT_NE(iface.find("[id(-520)] enumAppearance Appearance;"), std::string::npos);
    EXPECT_NE(iface.find("[id(72)] void DisplayGIFFrame(BSTR FileName, long Offset);"),
              std::string::npos);
    EXPECT_NE(iface.find("[id(79), propput] void TabStops(short nIndex, short rhs);"),
              std::string::npos);
    EXPECT_NE(iface.find("float ScaleX(float Width, [optional] VARIANT fromscale, [optional] "
                         "VARIANT toscale);"),
              std::string::npos);
}

TEST(TypeLibrary, ListsTheEvents) {
    const std::string events = Block(TypeLibraryText(), "dispinterface _DLumoraEvents {");
    EXPECT_NE(events.find("[id(1)] void Paint();"), std::string::npos);
    EXPECT_NE(events.find("[id(2)] void Resize();"), std::string::npos);
    EXPECT_NE(events.find("[id(-600)] void Click();"), std::string::npos);
    EXPECT_NE(events.find("[id(-601)] void DblClick();"), std::string::npos);
    EXPECT_NE(events.find("[id(-602)] void KeyDown(short* KeyCode, short Shift);"),
              std::string::npos);
    EXPECT_NE(events.find("[id(-603)] void KeyPress(short* KeyAscii);"), std::string::npos);
    EXPECT_NE(events.find("[id(-604)] void KeyUp(short* KeyCode, short Shift);"),
              std::string::npos);
    for (const char* mouse :
         {"[id(-605)] void MouseDown(", "[id(-606)] void MouseMove(", "[id(-607)] void MouseUp("})
        EXPECT_NE(events.find(mouse), std::string::npos) << mouse;
    EXPECT_EQ(EventMembers().size(), 10u);
}

TEST(TypeLibrary, ListsTheFourteenEnumerations) {
    ASSERT_EQ(TypeLibraryEnums().size(), 14u);
    const std::string text = TypeLibraryText();
    for (const EnumInfo& e : TypeLibraryEnums()) {
        const size_t close = text.find("} " + std::string(e.name) + ";");
        ASSERT_NE(close, std::string::npos) << e.name;
        const size_t open = text.rfind("typedef enum {", close);
        const std::string body = text.substr(open, close - open);
        for (const EnumMember& m : e.members)
            EXPECT_NE(body.find(" " + std::string(m.name) + " = " + std::to_string(m.value) + ","),
                      std::string::npos)
                << e.name << "." << m.name;
    }
    // Spot checks of values against the interface's definitions.
    const auto value = [](const char* en, const char* member) {
        for (const EnumMember& m : FindEnum(en)->members)
            if (m.name == member) return m.value;
        return -1;
    };
    EXPECT_EQ(value("enumDrawMode", "Blk"), 1);
    EXPECT_EQ(value("enumDrawMode", "CP"), 13);
    EXPECT_EQ(value("enumDrawMode", "Wht"), 16);
    EXPECT_EQ(value("enumPosition", "C"), 8);
    EXPECT_EQ(value("enumPosition", "RC"), 3);
    EXPECT_EQ(value("enumScaleMode", "Hm"), 8);
    EXPECT_EQ(value("enumMousePointer", "Sizeall"), 15);
    EXPECT_EQ(value("enumPCDSize", "Dflt"), 2);
    EXPECT_EQ(value("enumImgSrc", "AsShn"), 1);
    EXPECT_EQ(value("enumJPEGDither", "FloydSj"), 2);
    EXPECT_EQ(FindEnum("enumFillStyle")->members.size(), 8u);
    EXPECT_EQ(FindEnum("enumDrawStyle")->members.size(), 7u);
    EXPECT_NE(text.find("[helpstring(\"Dither Extra Colors\")] Ditha = 1,"), std::string::npos);
    EXPECT_NE(text.find("[helpstring(\"Huge - 2048 x 3072\")] Hge = 4,"), std::string::npos);
}

TEST(TypeLibrary, EveryEnumeratedPropertyNamesAKnownEnumeration) {
    for (const MemberInfo& m : DispatchMembers())
        if (m.type.name.starts_with("enum")) {
            EXPECT_NE(FindEnum(m.type.name), nullptr) << m.name;
        }
}
