// The generated type library text names every member, event and enumeration with its values,
// with the types, attributes and arguments the member table declares.
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
    return text.substr(start, text.find("};", start) - start);
}

}  // namespace

TEST(TypeLibrary, ListsEveryMemberAndEventWithItsDispid) {
    const std::string text = TypeLibraryText();
    const std::string iface = Block(text, "dispinterface _DLumora {");
    for (const MemberInfo& m : DispatchMembers()) {
        const std::string name =
            " " + std::string(m.name) + (m.kind == MemberKind::Property ? ";" : "(");
        const size_t at = iface.find(name);
        ASSERT_NE(at, std::string::npos) << m.name;
        const size_t lineStart = iface.rfind('\n', at) + 1;
        EXPECT_NE(iface.substr(lineStart, at - lineStart).find("[id(" + std::to_string(m.dispid)),
                  std::string::npos)
            << m.name;
    }
    for (const char* line : {
             "library LumoraLib",
             "version(2.0)",
             "[id(14), readonly] short bmpw;",
             "[id(18), readonly] long hDC;",
             "[id(13)] enumJPEGDither JPEGDither;",
             "[id(24), writeonly] long PrintHDC;",
             "[id(7)] enumAutoSize AutoSize;",
             "[id(0)] IPictureDisp* _Picture;",
             "[id(-520)] enumAppearance Appearance;",
             "[id(32)] OLE_COLOR FillColor;",
             "[id(46)] float Zoom;",
             "[id(51), readonly] VARIANT Offsets;",
             "[id(72)] void DisplayGIFFrame(BSTR FileName, long Offset);",
             "[id(79), propput] void TabStops(short nIndex, short rhs);",
             "float ScaleX(float Width, [optional] VARIANT fromscale, [optional] VARIANT toscale);",
             "void Circle(VARIANT Flag, float X, float Y, float Radius, [optional] VARIANT Color, "
             "[optional] VARIANT Start, [optional] VARIANT End, [optional] VARIANT Aspect);",
             "[id(59)] OLE_COLOR Point(float X, float Y);",
             "[id(77)] long ReadBinary(VARIANT DBArray);",
             "[helpstring(\"Dither Extra Colors\")] Ditha = 1,",
             "[helpstring(\"Huge - 2048 x 3072\")] Hge = 4,",
             "[id(1)] void Paint();",
             "[id(2)] void Resize();",
             "[id(-600)] void Click();",
             "[id(-601)] void DblClick();",
             "[id(-602)] void KeyDown(short* KeyCode, short Shift);",
             "[id(-603)] void KeyPress(short* KeyAscii);",
             "[id(-604)] void KeyUp(short* KeyCode, short Shift);",
             "[id(-605)] void MouseDown(",
             "[id(-606)] void MouseMove(",
             "[id(-607)] void MouseUp(",
         })
        EXPECT_NE(text.find(line), std::string::npos) << line;
}

TEST(TypeLibrary, ListsTheEnumerationsAndEveryEnumeratedPropertyNamesOne) {
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
    for (const MemberInfo& m : DispatchMembers())
        if (m.type.name.starts_with("enum")) {
            EXPECT_NE(FindEnum(m.type.name), nullptr) << m.name;
        }
}
