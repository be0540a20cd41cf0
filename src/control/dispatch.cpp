#include "control/dispatch.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "control/lumora_ctrl.h"
#include "platform/ole/control_error.h"

namespace control {

using namespace platform;

namespace {

// ---- Declared types ---------------------------------------------------------------------------

constexpr TypeRef kVoid{};
constexpr TypeRef kShort{VT_I2};
constexpr TypeRef kLong{VT_I4};
constexpr TypeRef kFloat{VT_R4};
constexpr TypeRef kBool{VT_BOOL};
constexpr TypeRef kString{VT_BSTR};
constexpr TypeRef kVariant{VT_VARIANT};
constexpr TypeRef kColor{VT_I4, "OLE_COLOR"};
constexpr TypeRef kHandle{VT_I4, "OLE_HANDLE"};
constexpr TypeRef kPicture{VT_DISPATCH, "IPictureDisp*"};
constexpr TypeRef kFont{VT_DISPATCH, "IFontDisp*"};

constexpr TypeRef Enum(std::string_view name) {
    return TypeRef{VT_I2, name};
}

// ---- Conversions between members and variants -------------------------------------------------

Variant Wrap(int16_t v) {
    return Variant::I2(v);
}
Variant Wrap(int32_t v) {
    return Variant::I4(v);
}
Variant Wrap(uint32_t v) {  // colours and handles travel as signed 32-bit values
    return Variant::I4(std::bit_cast<int32_t>(v));
}
Variant Wrap(float v) {
    return Variant::R4(v);
}
Variant Wrap(bool v) {
    return Variant::Bool(v);
}
Variant Wrap(std::string v) {
    return Variant::Bstr(std::move(v));
}
Variant Wrap(std::shared_ptr<Dispatch> v) {
    return Variant::Object(std::move(v));
}
Variant Wrap(Variant v) {
    return v;
}

template <typename T>
T Unwrap(const Variant& v);
template <>
int16_t Unwrap(const Variant& v) {
    return v.AsI2();
}
template <>
int32_t Unwrap(const Variant& v) {
    return v.AsI4();
}
template <>
uint32_t Unwrap(const Variant& v) {
    return std::bit_cast<uint32_t>(v.AsI4());
}
template <>
float Unwrap(const Variant& v) {
    return v.AsR4();
}
template <>
bool Unwrap(const Variant& v) {
    return v.AsBool() != VARIANT_FALSE;
}
template <>
std::string Unwrap(const Variant& v) {
    return v.AsBstr();
}
template <>
std::shared_ptr<Dispatch> Unwrap(const Variant& v) {
    return v.vt() == VT_DISPATCH ? v.AsDispatch() : nullptr;
}

template <typename>
struct SetterTraits;
template <typename C, typename T>
struct SetterTraits<void (C::*)(T)> {
    using Arg = std::remove_cvref_t<T>;
};

template <auto Getter>
Variant Get(CLumoraCtrl& c, std::span<const Variant>) {
    return Wrap((c.*Getter)());
}

template <auto Setter>
Variant Put(CLumoraCtrl& c, std::span<const Variant> args) {
    (c.*Setter)(Unwrap<typename SetterTraits<decltype(Setter)>::Arg>(args.back()));
    return {};
}

Variant GetTabStops(CLumoraCtrl& c, std::span<const Variant> args) {
    return Variant::I2(c.GetTabStops(args[0].AsI2()));
}

Variant PutTabStops(CLumoraCtrl& c, std::span<const Variant> args) {
    c.SetTabStops(args[0].AsI2(), args[1].AsI2());
    return {};
}

Variant CallRefresh(CLumoraCtrl& c, std::span<const Variant>) {
    c.Refresh();
    return {};
}

Variant CallDisplayGIFFrame(CLumoraCtrl& c, std::span<const Variant> args) {
    c.DisplayGIFFrame(args[0].AsBstr(), args[1].AsI4());
    return {};
}

Variant CallTIFFPage(CLumoraCtrl& c, std::span<const Variant> args) {
    c.TIFFPage(args[0].AsBstr(), args[1].AsI4());
    return {};
}

Variant CallReadBinary(CLumoraCtrl& c, std::span<const Variant> args) {
    return Variant::I4(c.ReadBinary(args[0]));
}

Variant CallJPGSaveName(CLumoraCtrl& c, std::span<const Variant> args) {
    c.JPGSaveName(args[0].AsBstr(), args[1], args[2], args[3], args[4]);
    return {};
}

Variant CallJPGtoArray(CLumoraCtrl& c, std::span<const Variant> args) {
    return c.JPGtoArray(args[0], args[1], args[2], args[3]);
}

Variant CallCreateBitmap(CLumoraCtrl& c, std::span<const Variant> args) {
    c.CreateBitmap(args[0], args[1]);
    return {};
}

Variant CallRotate(CLumoraCtrl& c, std::span<const Variant> args) {
    c.Rotate(args[0].AsI2());
    return {};
}

Variant CallBrightness(CLumoraCtrl& c, std::span<const Variant> args) {
    c.Brightness(args[0].AsI2());
    return {};
}

Variant CallContrast(CLumoraCtrl& c, std::span<const Variant> args) {
    c.Contrast(args[0].AsI2());
    return {};
}

Variant CallColorBalance(CLumoraCtrl& c, std::span<const Variant> args) {
    c.ColorBalance(args[0].AsI2(), args[1].AsI2(), args[2].AsI2());
    return {};
}

Variant CallResetStock(CLumoraCtrl& c, std::span<const Variant>) {
    c.ResetStock();
    return {};
}

// ---- The drawing surface ----------------------------------------------------------------------

Variant CallLine(CLumoraCtrl& c, std::span<const Variant> a) {
    c.Line(a[0], a[1].AsR4(), a[2].AsR4(), a[3].AsR4(), a[4].AsR4(), a[5]);
    return {};
}

Variant CallCircle(CLumoraCtrl& c, std::span<const Variant> a) {
    c.Circle(a[0], a[1].AsR4(), a[2].AsR4(), a[3].AsR4(), a[4], a[5], a[6], a[7]);
    return {};
}

Variant CallPSet(CLumoraCtrl& c, std::span<const Variant> a) {
    c.PSet(a[0], a[1].AsR4(), a[2].AsR4(), a[3]);
    return {};
}

Variant CallPoint(CLumoraCtrl& c, std::span<const Variant> a) {
    return Wrap(c.Point(a[0].AsR4(), a[1].AsR4()));
}

Variant CallTextHeight(CLumoraCtrl& c, std::span<const Variant> a) {
    return Wrap(c.TextHeight(a[0].AsBstr()));
}

Variant CallTextWidth(CLumoraCtrl& c, std::span<const Variant> a) {
    return Wrap(c.TextWidth(a[0].AsBstr()));
}

Variant CallTextOut(CLumoraCtrl& c, std::span<const Variant> a) {
    c.TextOut(a[0].AsBstr());
    return {};
}

Variant CallScaleX(CLumoraCtrl& c, std::span<const Variant> a) {
    return Wrap(c.ScaleX(a[0].AsR4(), a[1], a[2]));
}

Variant CallScaleY(CLumoraCtrl& c, std::span<const Variant> a) {
    return Wrap(c.ScaleY(a[0].AsR4(), a[1], a[2]));
}

Variant CallCls(CLumoraCtrl& c, std::span<const Variant>) {
    c.Cls();
    return {};
}

Variant CallPaintPicture(CLumoraCtrl& c, std::span<const Variant> a) {
    c.PaintPicture(Unwrap<std::shared_ptr<Dispatch>>(a[0]), a[1].AsR4(), a[2].AsR4(), a.subspan(3));
    return {};
}

Variant CallScale(CLumoraCtrl& c, std::span<const Variant> a) {
    c.Scale(a[0], a[1], a[2], a[3], a[4]);
    return {};
}

Variant CallAboutBox(CLumoraCtrl& c, std::span<const Variant>) {
    c.AboutBox();
    return {};
}

// ---- Arguments --------------------------------------------------------------------------------

constexpr ParamInfo kLineParams[] = {{"Flag", kVariant}, {"X1", kFloat}, {"Y1", kFloat},
                                     {"X2", kFloat},     {"Y2", kFloat}, {"Color", kVariant, true}};
constexpr ParamInfo kCircleParams[] = {{"Flag", kVariant},
                                       {"X", kFloat},
                                       {"Y", kFloat},
                                       {"Radius", kFloat},
                                       {"Color", kVariant, true},
                                       {"Start", kVariant, true},
                                       {"End", kVariant, true},
                                       {"Aspect", kVariant, true}};
constexpr ParamInfo kPSetParams[] = {
    {"Flag", kVariant}, {"X", kFloat}, {"Y", kFloat}, {"Color", kVariant, true}};
constexpr ParamInfo kPointParams[] = {{"X", kFloat}, {"Y", kFloat}};
constexpr ParamInfo kTextValueParams[] = {{"lpszValue", kString}};
constexpr ParamInfo kTextOutParams[] = {{"lpszstr", kString}};
constexpr ParamInfo kScaleXParams[] = {
    {"Width", kFloat}, {"fromscale", kVariant, true}, {"toscale", kVariant, true}};
constexpr ParamInfo kScaleYParams[] = {
    {"Height", kFloat}, {"fromscale", kVariant, true}, {"toscale", kVariant, true}};
constexpr ParamInfo kPaintPictureParams[] = {{"Picture", kPicture},
                                             {"X1", kFloat},
                                             {"Y1", kFloat},
                                             {"width1", kVariant, true},
                                             {"height1", kVariant, true},
                                             {"X2", kVariant, true},
                                             {"Y2", kVariant, true},
                                             {"width2", kVariant, true},
                                             {"height2", kVariant, true},
                                             {"opcode", kVariant, true}};
// Flg is ignored, and a bare Scale resets to twips, so every argument may be left out.
constexpr ParamInfo kScaleParams[] = {{"Flg", kVariant, true},
                                      {"X1", kVariant, true},
                                      {"Y1", kVariant, true},
                                      {"X2", kVariant, true},
                                      {"Y2", kVariant, true}};
constexpr ParamInfo kJPGSaveNameParams[] = {{"lpszNewValue", kString},
                                            {"X", kVariant, true},
                                            {"Y", kVariant, true},
                                            {"Width", kVariant, true},
                                            {"Height", kVariant, true}};
constexpr ParamInfo kCreateBitmapParams[] = {{"Width", kVariant, true}, {"Height", kVariant, true}};
constexpr ParamInfo kRotateParams[] = {{"direction", kShort}};
constexpr ParamInfo kJPGtoArrayParams[] = {{"X", kVariant, true},
                                           {"Y", kVariant, true},
                                           {"Width", kVariant, true},
                                           {"Height", kVariant, true}};
constexpr ParamInfo kFileOffsetParams[] = {{"FileName", kString}, {"Offset", kLong}};
constexpr ParamInfo kLevelParams[] = {{"Level", kShort}};
constexpr ParamInfo kColorBalanceParams[] = {{"Red", kShort}, {"Green", kShort}, {"Blue", kShort}};
constexpr ParamInfo kReadBinaryParams[] = {{"DBArray", kVariant}};
constexpr ParamInfo kTabStopsParams[] = {{"nIndex", kShort}};

// ---- The table --------------------------------------------------------------------------------

constexpr MemberInfo Prop(std::string_view name, DISPID id, TypeRef type, MemberHandler get,
                          MemberHandler put) {
    return MemberInfo{name, id, MemberKind::Property, type, {}, get, put, nullptr};
}

constexpr MemberInfo Method(std::string_view name, DISPID id, TypeRef result,
                            std::span<const ParamInfo> params, MemberHandler invoke) {
    return MemberInfo{name, id, MemberKind::Method, result, params, nullptr, nullptr, invoke};
}

using C = CLumoraCtrl;

const MemberInfo kMembers[] = {
    Prop("FancyUpsampling", 1, kBool, Get<&C::GetFancyUpsampling>, Put<&C::SetFancyUpsampling>),
    Prop("TwoPassQuantize", 2, kBool, Get<&C::GetTwoPassQuantize>, Put<&C::SetTwoPassQuantize>),
    Prop("AutoRefresh", 3, kBool, Get<&C::GetAutoRefresh>, Put<&C::SetAutoRefresh>),
    Prop("Aspect", 4, kFloat, Get<&C::GetAspect>, Put<&C::SetAspect>),
    Prop("AutoBackground", 5, kBool, Get<&C::GetAutoBackground>, Put<&C::SetAutoBackground>),
    Prop("EPSPreview", 6, kBool, Get<&C::GetEPSPreview>, Put<&C::SetEPSPreview>),
    Prop("AutoSize", 7, Enum("enumAutoSize"), Get<&C::GetAutoSize>, Put<&C::SetAutoSize>),
    Prop("Dither", 8, Enum("enumDither"), Get<&C::GetDither>, Put<&C::SetDither>),
    Prop("FileName", 9, kString, Get<&C::GetFileName>, Put<&C::SetFileName>),
    Prop("PrintZoom", 10, kFloat, Get<&C::GetPrintZoom>, Put<&C::SetPrintZoom>),
    Prop("Thumbnail", 11, kShort, Get<&C::GetThumbnail>, Put<&C::SetThumbnail>),
    Prop("DCTMethod", 12, Enum("enumDCTMethod"), Get<&C::GetDCTMethod>, Put<&C::SetDCTMethod>),
    Prop("JPEGDither", 13, Enum("enumJPEGDither"), Get<&C::GetJPEGDither>, Put<&C::SetJPEGDither>),
    Prop("bmpw", 14, kShort, Get<&C::GetBmpw>, nullptr),
    Prop("bmph", 15, kShort, Get<&C::GetBmph>, nullptr),
    Prop("PrintX", 16, kShort, Get<&C::GetPrintX>, Put<&C::SetPrintX>),
    Prop("PrintY", 17, kShort, Get<&C::GetPrintY>, Put<&C::SetPrintY>),
    Prop("hDC", 18, kLong, Get<&C::GetHDC>, nullptr),
    Prop("JPGOptimize", 19, kBool, Get<&C::GetJPGOptimize>, Put<&C::SetJPGOptimize>),
    Prop("JPGQuality", 20, kShort, Get<&C::GetJPGQuality>, Put<&C::SetJPGQuality>),
    Prop("JPGSmoothing", 21, kShort, Get<&C::GetJPGSmoothing>, Put<&C::SetJPGSmoothing>),
    Prop("bmpc", 22, kShort, Get<&C::GetBmpc>, nullptr),
    Prop("TransDC", 23, kLong, Get<&C::GetTransDC>, Put<&C::SetTransDC>),
    Prop("PrintHDC", 24, kLong, nullptr, Put<&C::SetPrintHDC>),
    Prop("HorzPos", 25, kLong, Get<&C::GetHorzPos>, Put<&C::SetHorzPos>),
    Prop("VertPos", 26, kLong, Get<&C::GetVertPos>, Put<&C::SetVertPos>),
    Prop("HorzRange", 27, kLong, Get<&C::GetHorzRange>, nullptr),
    Prop("VertRange", 28, kLong, Get<&C::GetVertRange>, nullptr),
    Prop("CurrentX", 29, kFloat, Get<&C::GetCurrentX>, Put<&C::SetCurrentX>),
    Prop("CurrentY", 30, kFloat, Get<&C::GetCurrentY>, Put<&C::SetCurrentY>),
    Prop("DrawWidth", 31, kShort, Get<&C::GetDrawWidth>, Put<&C::SetDrawWidth>),
    Prop("FillColor", 32, kColor, Get<&C::GetFillColor>, Put<&C::SetFillColor>),
    Prop("FillStyle", 33, Enum("enumFillStyle"), Get<&C::GetFillStyle>, Put<&C::SetFillStyle>),
    Prop("DrawMode", 34, Enum("enumDrawMode"), Get<&C::GetDrawMode>, Put<&C::SetDrawMode>),
    Prop("DrawStyle", 35, Enum("enumDrawStyle"), Get<&C::GetDrawStyle>, Put<&C::SetDrawStyle>),
    Prop("ScaleMode", 36, Enum("enumScaleMode"), Get<&C::GetScaleMode>, Put<&C::SetScaleMode>),
    Prop("ScaleHeight", 37, kFloat, Get<&C::GetScaleHeight>, Put<&C::SetScaleHeight>),
    Prop("ScaleWidth", 38, kFloat, Get<&C::GetScaleWidth>, Put<&C::SetScaleWidth>),
    Prop("ScaleTop", 39, kFloat, Get<&C::GetScaleTop>, Put<&C::SetScaleTop>),
    Prop("ScaleLeft", 40, kFloat, Get<&C::GetScaleLeft>, Put<&C::SetScaleLeft>),
    Prop("FontTransparent", 41, kBool, Get<&C::GetFontTransparent>, Put<&C::SetFontTransparent>),
    Prop("ImageSource", 42, Enum("enumImgSrc"), Get<&C::GetImageSource>, Put<&C::SetImageSource>),
    Prop("DrawTo", 43, Enum("enumDrawTo"), Get<&C::GetDrawTo>, Put<&C::SetDrawTo>),
    Prop("NumTabs", 44, kShort, Get<&C::GetNumTabs>, Put<&C::SetNumTabs>),
    Prop("Picture", 45, kPicture, Get<&C::GetPicture>, Put<&C::SetPicture>),
    Prop("Zoom", 46, kFloat, Get<&C::GetZoom>, Put<&C::SetZoom>),
    Prop("LMOpenPicture", 47, kShort, Get<&C::GetLMOpenPicture>, Put<&C::SetLMOpenPicture>),
    Prop("MousePointer", 48, Enum("enumMousePointer"), Get<&C::GetMousePointer>,
         Put<&C::SetMousePointer>),
    Prop("MouseIcon", 49, kPicture, Get<&C::GetMouseIcon>, Put<&C::SetMouseIcon>),
    Prop("_Picture", DISPID_VALUE, kPicture, Get<&C::GetPicture>, Put<&C::SetPicture>),
    Prop("HourglassOn", 50, kBool, Get<&C::GetHourglassOn>, Put<&C::SetHourglassOn>),
    Prop("Offsets", 51, kVariant, Get<&C::GetOffsets>, nullptr),
    Prop("Position", 52, Enum("enumPosition"), Get<&C::GetPosition>, Put<&C::SetPosition>),
    Prop("DCMImage", 53, kShort, Get<&C::GetDCMImage>, Put<&C::SetDCMImage>),
    Prop("DCMImages", 54, kShort, Get<&C::GetDCMImages>, nullptr),
    Prop("PCDSize", 55, Enum("enumPCDSize"), Get<&C::GetPCDSize>, Put<&C::SetPCDSize>),
    Method("Line", 56, kVoid, kLineParams, CallLine),
    Method("Circle", 57, kVoid, kCircleParams, CallCircle),
    Method("PSet", 58, kVoid, kPSetParams, CallPSet),
    Method("Point", 59, kColor, kPointParams, CallPoint),
    Method("TextHeight", 60, kFloat, kTextValueParams, CallTextHeight),
    Method("TextWidth", 61, kFloat, kTextValueParams, CallTextWidth),
    Method("TextOut", 62, kVoid, kTextOutParams, CallTextOut),
    Method("ScaleX", 63, kFloat, kScaleXParams, CallScaleX),
    Method("ScaleY", 64, kFloat, kScaleYParams, CallScaleY),
    Method("Cls", 65, kVoid, {}, CallCls),
    Method("PaintPicture", 66, kVoid, kPaintPictureParams, CallPaintPicture),
    Method("Scale", 67, kVoid, kScaleParams, CallScale),
    Method("JPGSaveName", 68, kVoid, kJPGSaveNameParams, CallJPGSaveName),
    Method("CreateBitmap", 69, kVoid, kCreateBitmapParams, CallCreateBitmap),
    Method("Rotate", 70, kVoid, kRotateParams, CallRotate),
    Method("JPGtoArray", 71, kVariant, kJPGtoArrayParams, CallJPGtoArray),
    Method("DisplayGIFFrame", 72, kVoid, kFileOffsetParams, CallDisplayGIFFrame),
    Method("ResetStock", 73, kVoid, {}, CallResetStock),
    Method("Brightness", 74, kVoid, kLevelParams, CallBrightness),
    Method("Contrast", 75, kVoid, kLevelParams, CallContrast),
    Method("ColorBalance", 76, kVoid, kColorBalanceParams, CallColorBalance),
    Method("ReadBinary", 77, kLong, kReadBinaryParams, CallReadBinary),
    Method("TIFFPage", 78, kVoid, kFileOffsetParams, CallTIFFPage),
    MemberInfo{"TabStops", 79, MemberKind::IndexedProperty, kShort, kTabStopsParams, GetTabStops,
               PutTabStops, nullptr},
    // Stock members.
    Method("Refresh", DISPID_REFRESH, kVoid, {}, CallRefresh),
    Prop("BackColor", DISPID_BACKCOLOR, kColor, Get<&C::GetBackColor>, Put<&C::SetBackColor>),
    Prop("BorderStyle", DISPID_BORDERSTYLE, kShort, Get<&C::GetBorderStyle>,
         Put<&C::SetBorderStyle>),
    Prop("Enabled", DISPID_ENABLED, kBool, Get<&C::GetEnabled>, Put<&C::SetEnabled>),
    Prop("ForeColor", DISPID_FORECOLOR, kColor, Get<&C::GetForeColor>, Put<&C::SetForeColor>),
    Prop("hWnd", DISPID_HWND, kHandle, Get<&C::GetHwnd>, nullptr),
    Prop("Font", DISPID_FONT, kFont, Get<&C::GetFont>, Put<&C::SetFont>),
    Prop("Appearance", DISPID_APPEARANCE, Enum("enumAppearance"), Get<&C::GetAppearance>,
         Put<&C::SetAppearance>),
    Method("AboutBox", DISPID_ABOUTBOX, kVoid, {}, CallAboutBox),
};

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

[[noreturn]] void ThrowDispatchError(HRESULT hr) {
    if (hr == DISP_E_OVERFLOW) ThrowError(6, "Overflow");
    ThrowError(13, "Type mismatch");
}

[[noreturn]] void WrongArgumentCount() {
    ThrowError(450, "Wrong number of arguments or invalid property assignment");
}

Variant Coerce(const Variant& arg, const TypeRef& type) {
    if (type.vt == VT_VARIANT) return arg;
    const Variant& value = arg.Deref();
    if (type.vt == VT_DISPATCH) {
        if (value.vt() == VT_DISPATCH) return value;
        if (value.vt() == VT_EMPTY) return Variant::Object(nullptr);  // Nothing
        ThrowDispatchError(DISP_E_TYPEMISMATCH);
    }
    Variant out;
    const HRESULT hr = ChangeType(value, type.vt, out);
    if (Failed(hr)) ThrowDispatchError(hr);
    return out;
}

std::vector<Variant> CoerceAll(std::span<const ParamInfo> params, std::span<const Variant> args) {
    std::vector<Variant> out;
    out.reserve(params.size());
    for (size_t i = 0; i < params.size(); ++i) {
        if (i >= args.size()) {
            out.push_back(Variant::Missing());
        } else if (params[i].optional && IsMissing(args[i])) {
            out.push_back(args[i]);
        } else {
            out.push_back(Coerce(args[i], params[i].type));
        }
    }
    return out;
}

size_t RequiredCount(std::span<const ParamInfo> params) {
    return static_cast<size_t>(std::count_if(params.begin(), params.end(),
                                             [](const ParamInfo& p) { return !p.optional; }));
}

}  // namespace

std::span<const MemberInfo> DispatchMembers() {
    return kMembers;
}

const MemberInfo* FindMember(std::string_view name) {
    for (const MemberInfo& member : kMembers)
        if (EqualsIgnoreCase(member.name, name)) return &member;
    return nullptr;
}

const MemberInfo* FindMember(DISPID dispid) {
    for (const MemberInfo& member : kMembers)
        if (member.dispid == dispid) return &member;
    return nullptr;
}

void MemberNotSupported() {
    ThrowError(438, "Object doesn't support this property or method");
}

Variant InvokeMember(CLumoraCtrl& control, DISPID dispid, uint16_t flags,
                     std::span<const Variant> args) {
    // Calls from the host keep the animation player off the window while they run.
    std::lock_guard window(control.WindowLock());
    const MemberInfo* member = FindMember(dispid);
    if (!member) MemberNotSupported();

    if (member->kind == MemberKind::Method) {
        if (!(flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET))) MemberNotSupported();
        if (args.size() < RequiredCount(member->params) || args.size() > member->params.size())
            WrongArgumentCount();
        const std::vector<Variant> converted = CoerceAll(member->params, args);
        return member->invoke(control, converted);
    }

    // Properties; an indexed one takes its index arguments first.
    const size_t indexCount = member->params.size();
    if (flags & DISPATCH_PROPERTYPUT) {
        if (args.size() != indexCount + 1) WrongArgumentCount();
        if (!member->put) ThrowError(CTL_E_SETNOTSUPPORTED);
        std::vector<Variant> converted = CoerceAll(member->params, args.first(indexCount));
        converted.push_back(Coerce(args.back(), member->type));
        member->put(control, converted);
        return {};
    }
    if (flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)) {
        if (args.size() != indexCount) WrongArgumentCount();
        if (!member->get) ThrowError(CTL_E_GETNOTSUPPORTED);
        const std::vector<Variant> converted = CoerceAll(member->params, args);
        return member->get(control, converted);
    }
    MemberNotSupported();
}

// ---- The control's dispatch entry points ------------------------------------------------------

DISPID CLumoraCtrl::GetIDsOfNames(std::string_view name) const {
    const MemberInfo* member = FindMember(name);
    return member ? member->dispid : DISPID_UNKNOWN;
}

Variant CLumoraCtrl::Invoke(DISPID dispid, uint16_t flags, std::span<const Variant> args) {
    return InvokeMember(*this, dispid, flags, args);
}

Variant CLumoraCtrl::GetProperty(std::string_view name) {
    const MemberInfo* member = FindMember(name);
    if (!member) MemberNotSupported();
    return InvokeMember(*this, member->dispid, DISPATCH_PROPERTYGET, {});
}

void CLumoraCtrl::SetProperty(std::string_view name, const Variant& value) {
    const MemberInfo* member = FindMember(name);
    if (!member) MemberNotSupported();
    InvokeMember(*this, member->dispid, DISPATCH_PROPERTYPUT, std::span<const Variant>(&value, 1));
}

Variant CLumoraCtrl::CallMethod(std::string_view name, std::span<const Variant> args) {
    const MemberInfo* member = FindMember(name);
    if (!member) MemberNotSupported();
    return InvokeMember(*this, member->dispid, DISPATCH_METHOD, args);
}

}  // namespace control
