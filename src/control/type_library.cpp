#include "control/type_library.h"

#include <sstream>

#include "control/lumora_ctrl.h"
#include "platform/ole/ole_control.h"

namespace control {

using namespace platform;

namespace {

constexpr EnumMember kAppearance[] = {{"Flt", 0}, {"Thred", 1}};
constexpr EnumMember kAutoSize[] = {
    {"Off", 0}, {"FBmp", 1}, {"Horz", 2}, {"Vert", 3}, {"FCntrl", 4}};
constexpr EnumMember kDither[] = {
    {"Nodith", 0}, {"Ditha", 1, "Dither Extra Colors"}, {"Dithe", 2, "Dither Always"}};
constexpr EnumMember kDCTMethod[] = {
    {"Sint", 0, "Slow Integer"}, {"Fint", 1, "Fast Integer"}, {"Fpnt", 2, "Floating Point"}};
constexpr EnumMember kJPEGDither[] = {{"Nodithj", 0}, {"Orderedj", 1}, {"FloydSj", 2}};
constexpr EnumMember kDrawMode[] = {
    {"Blk", 1, "1 - Blackness"},     {"NMeP", 2, "2 - Not Merge Pen"},
    {"MaNP", 3, "3 - Mask Not Pen"}, {"NCP", 4, "4 - Not Copy Pen"},
    {"MaPN", 5, "5 - Mask Pen Not"}, {"Inv", 6, "6 - Invert"},
    {"XoP", 7, "7 - Xor Pen"},       {"NMaP", 8, "8 - Not Mask Pen"},
    {"MaP", 9, "9 - Maskr Pen"},     {"NXP", 10, "10 - Not Xor Pen"},
    {"Nop", 11, "11 - Nop"},         {"MeNP", 12, "12 - Merge Not Pen"},
    {"CP", 13, "13 - Copy Pen"},     {"MePN", 14, "14 - Merge Pen Not"},
    {"MeP", 15, "15 - Merge Pen"},   {"Wht", 16, "16 - Whiteness"}};
constexpr EnumMember kDrawStyle[] = {{"Sld", 0},     {"Dsh", 1},  {"Dot", 2}, {"DshDot", 3},
                                     {"DshDtDt", 4}, {"Trns", 5}, {"Iso", 6}};
constexpr EnumMember kFillStyle[] = {{"Solid", 0}, {"Trnsp", 1}, {"HL", 2}, {"VL", 3},
                                     {"UD", 4},    {"DD", 5},    {"Cr", 6}, {"Dcr", 7}};
constexpr EnumMember kScaleMode[] = {{"Usr", 0},  {"Twp", 1}, {"Pt", 2}, {"Pix", 3}, {"Ch", 4},
                                     {"inch", 5}, {"Mm", 6},  {"Cm", 7}, {"Hm", 8}};
constexpr EnumMember kPosition[] = {{"TL", 0}, {"TC", 1}, {"TR", 2}, {"RC", 3}, {"BR", 4},
                                    {"BC", 5}, {"BL", 6}, {"LC", 7}, {"C", 8}};
constexpr EnumMember kPCDSize[] = {{"Tny", 0, "Tiny - 192 x 128"},
                                   {"Sml", 1, "Small - 384 x 256"},
                                   {"Dflt", 2, "Default - 768 x 512"},
                                   {"Lrg", 3, "Large - 1536 x 1024"},
                                   {"Hge", 4, "Huge - 2048 x 3072"}};
constexpr EnumMember kMousePointer[] = {
    {"Default", 0}, {"Arrow", 1},    {"Cross", 2},       {"IBeam", 3},
    {"Icon", 4},    {"Sze", 5},      {"SzeNESW", 6},     {"SzeNS", 7},
    {"SzeNWSE", 8}, {"SzeWE", 9},    {"UpArrow", 10},    {"Hourglass", 11},
    {"NoDrop", 12}, {"ArrowHG", 13}, {"ArrowQuest", 14}, {"Sizeall", 15}};
constexpr EnumMember kDrawTo[] = {{"Cntrl", 0}, {"bmp", 1}};
constexpr EnumMember kImgSrc[] = {{"Orig", 0}, {"AsShn", 1}};

constexpr EnumInfo kEnums[] = {{"enumAppearance", kAppearance}, {"enumAutoSize", kAutoSize},
                               {"enumDither", kDither},         {"enumDCTMethod", kDCTMethod},
                               {"enumJPEGDither", kJPEGDither}, {"enumDrawMode", kDrawMode},
                               {"enumDrawStyle", kDrawStyle},   {"enumFillStyle", kFillStyle},
                               {"enumScaleMode", kScaleMode},   {"enumPosition", kPosition},
                               {"enumPCDSize", kPCDSize},       {"enumMousePointer", kMousePointer},
                               {"enumDrawTo", kDrawTo},         {"enumImgSrc", kImgSrc}};

constexpr TypeRef kShortType{VT_I2};
// The platform reports pointer positions in container units, as floats.
constexpr TypeRef kXPos{VT_R4, "OLE_XPOS_CONTAINER"};
constexpr TypeRef kYPos{VT_R4, "OLE_YPOS_CONTAINER"};

constexpr EventParam kKeyParams[] = {{"KeyCode", kShortType, true}, {"Shift", kShortType}};
constexpr EventParam kKeyPressParams[] = {{"KeyAscii", kShortType, true}};
constexpr EventParam kMouseParams[] = {
    {"Button", kShortType}, {"Shift", kShortType}, {"X", kXPos}, {"Y", kYPos}};

constexpr EventInfo kEvents[] = {
    {"Paint", DISPID_PAINT_EVENT, {}},
    {"Resize", DISPID_RESIZE_EVENT, {}},
    {"Click", DISPID_CLICK, {}},
    {"DblClick", DISPID_DBLCLICK, {}},
    {"KeyDown", DISPID_KEYDOWN, kKeyParams},
    {"KeyUp", DISPID_KEYUP, kKeyParams},
    {"KeyPress", DISPID_KEYPRESS, kKeyPressParams},
    {"MouseDown", DISPID_MOUSEDOWN, kMouseParams},
    {"MouseUp", DISPID_MOUSEUP, kMouseParams},
    {"MouseMove", DISPID_MOUSEMOVE, kMouseParams},
};

std::string TypeName(const TypeRef& type) {
    if (!type.name.empty()) return std::string(type.name);
    switch (type.vt) {
        case VT_EMPTY:
            return "void";
        case VT_I2:
            return "short";
        case VT_I4:
            return "long";
        case VT_R4:
            return "float";
        case VT_R8:
            return "double";
        case VT_BOOL:
            return "VARIANT_BOOL";
        case VT_BSTR:
            return "BSTR";
        case VT_VARIANT:
            return "VARIANT";
        case VT_DISPATCH:
            return "IDispatch*";
        default:
            return "VARIANT";
    }
}

std::string ParamList(std::span<const ParamInfo> params) {
    std::string text;
    for (const ParamInfo& p : params) {
        if (!text.empty()) text += ", ";
        if (p.optional) text += "[optional] ";
        text += TypeName(p.type) + " " + std::string(p.name);
    }
    return text;
}

void WriteEnums(std::ostringstream& out) {
    for (const EnumInfo& info : kEnums) {
        out << "    typedef enum {\n";
        for (const EnumMember& member : info.members) {
            out << "        ";
            if (!member.help.empty()) out << "[helpstring(\"" << member.help << "\")] ";
            out << member.name << " = " << member.value << ",\n";
        }
        out << "    } " << info.name << ";\n\n";
    }
}

void WriteDispatchInterface(std::ostringstream& out) {
    out << "    dispinterface _DLumora {\n";
    out << "    properties:\n";
    for (const MemberInfo& m : DispatchMembers()) {
        if (m.kind != MemberKind::Property) continue;
        out << "        [id(" << m.dispid << ")";
        if (!m.put) out << ", readonly";
        if (!m.get) out << ", writeonly";
        out << "] " << TypeName(m.type) << " " << m.name << ";\n";
    }
    out << "    methods:\n";
    for (const MemberInfo& m : DispatchMembers()) {
        if (m.kind == MemberKind::Method) {
            out << "        [id(" << m.dispid << ")] " << TypeName(m.type) << " " << m.name << "("
                << ParamList(m.params) << ");\n";
        } else if (m.kind == MemberKind::IndexedProperty) {
            out << "        [id(" << m.dispid << "), propget] " << TypeName(m.type) << " " << m.name
                << "(" << ParamList(m.params) << ");\n";
            out << "        [id(" << m.dispid << "), propput] void " << m.name << "("
                << ParamList(m.params) << ", " << TypeName(m.type) << " rhs);\n";
        }
    }
    out << "    };\n\n";
}

void WriteEventInterface(std::ostringstream& out) {
    out << "    dispinterface _DLumoraEvents {\n";
    out << "    properties:\n";
    out << "    methods:\n";
    for (const EventInfo& e : kEvents) {
        out << "        [id(" << e.dispid << ")] void " << e.name << "(";
        bool first = true;
        for (const EventParam& p : e.params) {
            if (!first) out << ", ";
            first = false;
            out << TypeName(p.type) << (p.byRef ? "* " : " ") << p.name;
        }
        out << ");\n";
    }
    out << "    };\n";
}

}  // namespace

std::span<const EnumInfo> TypeLibraryEnums() {
    return kEnums;
}

std::span<const EventInfo> EventMembers() {
    return kEvents;
}

const EnumInfo* FindEnum(std::string_view name) {
    for (const EnumInfo& info : kEnums)
        if (info.name == name) return &info;
    return nullptr;
}

std::string TypeLibraryText() {
    std::ostringstream out;
    out << "[version(2.0)]\n";
    out << "library LumoraLib {\n\n";
    WriteEnums(out);
    WriteDispatchInterface(out);
    WriteEventInterface(out);
    out << "};\n";
    return out.str();
}

}  // namespace control
