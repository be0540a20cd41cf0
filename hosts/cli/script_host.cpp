#include "script_host.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <thread>

#include "control/dispatch.h"
#include "decode/loader.h"
#include "decode/loader_error.h"
#include "decode/readers.h"
#include "image_output.h"
#include "page_statements.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/packed_dib.h"
#include "platform/gdi/page_dc.h"
#include "platform/metafile/metafile.h"
#include "platform/ole/control_error.h"
#include "platform/ole/picture.h"
#include "script_values.h"

namespace cli {

using namespace platform;
using control::FindMember;
using control::InvokeMember;
using control::MemberInfo;
using control::MemberKind;

namespace {

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool Is(std::string_view name, std::string_view host) {
    return Lower(name) == Lower(host);
}

[[noreturn]] void WrongArgumentCount() {
    ThrowError(450, "Wrong number of arguments or invalid property assignment");
}

void CheckCount(const std::vector<Variant>& args, size_t least, size_t most) {
    if (args.size() < least || args.size() > most) WrongArgumentCount();
}

Variant Convert(const Variant& value, VARTYPE vt) {
    if (IsMissing(value)) ThrowError(449, "Argument not optional");
    Variant out;
    const HRESULT hr = ChangeType(value, vt, out);
    if (hr == DISP_E_OVERFLOW) ThrowError(6, "Overflow");
    if (Failed(hr)) ThrowError(13, "Type mismatch");
    return out;
}

// An optional 16-bit argument: the fallback when it is absent or left empty.
int16_t OptionalShort(const std::vector<Variant>& args, size_t i, int16_t fallback) {
    return args.size() > i && !IsMissing(args[i]) ? Convert(args[i], VT_I2).AsI2() : fallback;
}

int32_t IntArgument(const std::vector<Variant>& args, size_t i) {
    return Convert(args[i], VT_I4).AsI4();
}

std::string TextArgument(const std::vector<Variant>& args, size_t i) {
    return Convert(args[i], VT_BSTR).AsBstr();
}

// Ends the bitmap (and palette) a capture made, on every path.
struct CapturedView {
    HBITMAP bitmap = 0;
    HPALETTE palette = 0;
    ~CapturedView() {
        if (bitmap) DeleteObject(bitmap);
        if (palette) DeleteObject(palette);
    }
};

void WriteOrRaise(HBITMAP bitmap, const std::string& path) {
    const std::string error = WriteBitmapFile(bitmap, path);
    if (!error.empty()) ThrowError(75, "Path/File access error: " + error);
}

// A picture object made from the file as the control's own load path makes it: a bitmap
// with its palette, or an icon for icon and cursor files. Nothing for an empty name.
Variant LoadPicture(const std::string& file) {
    if (file.empty()) return Variant::Object(nullptr);
    decode::DecodedImage img;
    HDC dc = GetDC(0);
    HBITMAP bitmap = decode::LoadImageFile(img, file, dc, decode::LoadOptions{});
    ReleaseDC(0, dc);
    if (img.maskBitmap) DeleteObject(img.maskBitmap);
    PictureHolder holder;
    if (img.errorCode == decode::kIconSignal) {
        if (bitmap) DeleteObject(bitmap);
        img.imageWidth = 0;
        img.imageHeight = 0;
        const HICON icon = decode::ReadIcon(img, file);
        if (!icon) ThrowError(CTL_E_INVALIDPICTURE);
        if (!holder.CreateFromIcon(icon, img.imageWidth, img.imageHeight, true)) {
            DestroyIcon(icon);
            ThrowError(CTL_E_INVALIDPICTURE);
        }
        return Variant::Object(holder.GetPictureDispatch());
    }
    if (!bitmap || !holder.CreateFromBitmap(bitmap, img.paletteHandle, true)) {
        if (bitmap) DeleteObject(bitmap);
        if (img.paletteHandle) DeleteObject(img.paletteHandle);
        if (img.errorCode == -20001) ThrowError(53, "File not found");
        ThrowError(CTL_E_INVALIDPICTURE);
    }
    return Variant::Object(holder.GetPictureDispatch());
}

// The array a value holds; 13 for anything else.
const SafeArray& ArrayArgument(const Variant& value) {
    const Variant& v = value.Deref();
    if (!(v.vt() & VT_ARRAY) || !v.AsArray()) ThrowError(13, "Type mismatch");
    return *v.AsArray();
}

struct ScrollName {
    std::string_view name;
    int code;
    bool verticalOnly;
};

constexpr ScrollName kScrollNames[] = {
    {"LineLeft", SB_LINELEFT, false},
    {"LineRight", SB_LINERIGHT, false},
    {"PageLeft", SB_PAGELEFT, false},
    {"PageRight", SB_PAGERIGHT, false},
    {"LineUp", SB_LINEUP, true},
    {"LineDown", SB_LINEDOWN, true},
    {"PageUp", SB_PAGEUP, true},
    {"PageDown", SB_PAGEDOWN, true},
    {"ThumbPosition", SB_THUMBPOSITION, false},
    {"ThumbTrack", SB_THUMBTRACK, false},
    {"Left", SB_TOP, false},
    {"Right", SB_BOTTOM, false},
    {"Top", SB_TOP, true},
    {"Bottom", SB_BOTTOM, true},
    {"EndScroll", SB_ENDSCROLL, false},
};

}  // namespace

void ScriptSite::OnEvent(DISPID dispid, std::string_view name, const std::vector<Variant>& args) {
    HeadlessSite::OnEvent(dispid, name, args);
    if (!echoEvents_) return;
    // The arguments as BASIC prints a list of them.
    std::string line = "Event " + std::string(name);
    for (size_t i = 0; i < args.size(); ++i)
        line += (i == 0 ? " " : ", ") + FormatValue(args[i]);
    std::printf("%s\n", line.c_str());
}

void ScriptSite::OnCursorChanged(std::string_view cursor) {
    HeadlessSite::OnCursorChanged(cursor);
    if (echoEvents_) std::printf("Cursor %.*s\n", static_cast<int>(cursor.size()), cursor.data());
}

ScriptSite::~ScriptSite() {
    for (HDC page : pages_)
        DeletePageDC(page);
}

HDC ScriptSite::Page(int32_t handle) const {
    const HDC page = static_cast<HDC>(handle);
    if (!pages_.contains(page)) ThrowError(CTL_E_ILLEGALFUNCTIONCALL);
    return page;
}

int32_t ScriptSite::NewPage(int width, int height, int dpiX, int dpiY) {
    const HDC page = CreatePageDC(width, height, dpiX, dpiY);
    if (!page) ThrowError(CTL_E_ILLEGALFUNCTIONCALL);
    pages_.insert(page);
    return static_cast<int32_t>(page);
}

void ScriptSite::DeletePage(int32_t handle) {
    const HDC page = Page(handle);
    pages_.erase(page);
    DeletePageDC(page);
}

void ScriptSite::ShowDialog(const DialogContent& dialog) {
    HeadlessSite::ShowDialog(dialog);
    std::printf("Dialog %s: %s\n", dialog.kind.c_str(), dialog.title.c_str());
}

ScriptHost::ScriptHost(int width, int height, bool echoEvents)
    : site_(control_, width, height, echoEvents) {
    control_.InitNew();
}

bool ScriptHost::Run(const std::vector<Statement>& statements) {
    bool ok = true;
    for (const Statement& statement : statements) {
        try {
            Execute(statement);
        } catch (const ControlError& e) {
            std::printf("Error %u: %s\n", static_cast<unsigned>(e.number()),
                        e.description().c_str());
            ok = false;
        } catch (const std::exception& e) {
            std::printf("Error 51: Internal error (%s)\n", e.what());
            ok = false;
        }
        std::fflush(stdout);
    }
    return ok;
}

void ScriptHost::Execute(const Statement& statement) {
    switch (statement.kind) {
        case Statement::Kind::Print: {
            std::string line;
            for (size_t i = 0; i < statement.args.size(); ++i) {
                if (i) line += '\t';
                if (statement.args[i]) line += FormatValue(Evaluate(**statement.args[i]));
            }
            std::printf("%s\n", line.c_str());
            return;
        }
        case Statement::Kind::Assign:
            Assign(statement);
            return;
        case Statement::Kind::Call:
            Call(statement);
            return;
    }
}

void ScriptHost::Assign(const Statement& statement) {
    const std::string key = Lower(statement.name);
    const MemberInfo* member = FindMember(statement.name);
    // Set makes variables; a plain assignment only reaches one that exists, so a misspelt
    // property name fails instead of quietly making a variable.
    if (!member || variables_.contains(key)) {
        if (!statement.args.empty() || (!statement.isSet && !variables_.contains(key)))
            control::MemberNotSupported();
        variables_[key] = Evaluate(*statement.value);
        return;
    }
    std::vector<Variant> args = EvaluateArguments(statement.args);
    args.push_back(Evaluate(*statement.value));
    InvokeMember(control_, member->dispid, control::DISPATCH_PROPERTYPUT, args);
}

void ScriptHost::Call(const Statement& statement) {
    if (HostStatement(statement)) return;
    const MemberInfo* member = FindMember(statement.name);
    if (!member) control::MemberNotSupported();
    const std::vector<Variant> args = EvaluateArguments(statement.args);
    InvokeMember(control_, member->dispid, control::DISPATCH_METHOD, args);
}

std::vector<Variant> ScriptHost::EvaluateArguments(const std::vector<Argument>& args) {
    std::vector<Variant> values;
    values.reserve(args.size());
    for (const Argument& arg : args)
        values.push_back(arg ? Evaluate(**arg) : Variant::Missing());
    return values;
}

Variant ScriptHost::Evaluate(const Expr& expr) {
    switch (expr.kind) {
        case Expr::Kind::Literal:
            return expr.value;
        case Expr::Kind::Negate:
            return Negate(Evaluate(*expr.operand));
        case Expr::Kind::Concat:
            return Variant::Bstr(FormatValue(Evaluate(*expr.operand)) +
                                 FormatValue(Evaluate(*expr.right)));
        case Expr::Kind::Name:
        case Expr::Kind::Call:
            break;
    }
    if (expr.kind == Expr::Kind::Name) {
        const auto found = variables_.find(Lower(expr.name));
        if (found != variables_.end()) return found->second;
    }
    Variant result;
    if (HostValue(expr.name, expr.args, result)) return result;
    const MemberInfo* member = FindMember(expr.name);
    if (!member) control::MemberNotSupported();
    const std::vector<Variant> args = EvaluateArguments(expr.args);
    const uint16_t flags = member->kind == MemberKind::Method ? control::DISPATCH_METHOD
                                                              : control::DISPATCH_PROPERTYGET;
    return InvokeMember(control_, member->dispid, flags, args);
}

bool ScriptHost::HostValue(const std::string& name, const std::vector<Argument>& exprs,
                           Variant& result) {
    const auto args = [&] { return EvaluateArguments(exprs); };
    if (Is(name, "ExtentWidth") || Is(name, "ExtentHeight")) {
        CheckCount(args(), 0, 0);
        int w = 0, h = 0;
        control_.GetControlSize(&w, &h);
        result = Variant::I4(Is(name, "ExtentWidth") ? w : h);
    } else if (Is(name, "ViewPixel")) {
        // The client area as it stands, without painting first.
        const std::vector<Variant> a = args();
        CheckCount(a, 2, 2);
        const COLORREF colour = site_.Pixel(IntArgument(a, 0), IntArgument(a, 1));
        if (colour == CLR_INVALID) ThrowError(CTL_E_ILLEGALFUNCTIONCALL);
        result = Variant::I4(static_cast<int32_t>(colour));
    } else if (Is(name, "PagePixel")) {
        const std::vector<Variant> a = args();
        CheckCount(a, 3, 3);
        const COLORREF colour =
            GetPixel(site_.Page(IntArgument(a, 0)), IntArgument(a, 1), IntArgument(a, 2));
        if (colour == CLR_INVALID) ThrowError(CTL_E_ILLEGALFUNCTIONCALL);
        result = Variant::I4(static_cast<int32_t>(colour));
    } else if (Is(name, "NewPage")) {
        const std::vector<Variant> a = args();
        CheckCount(a, 4, 4);
        result = Variant::I4(site_.NewPage(IntArgument(a, 0), IntArgument(a, 1), IntArgument(a, 2),
                                           IntArgument(a, 3)));
    } else if (Is(name, "UBound") || Is(name, "LBound")) {
        const std::vector<Variant> a = args();
        CheckCount(a, 1, 1);
        int32_t bound = 0;
        const SafeArray& array = ArrayArgument(a[0]);
        if (Is(name, "UBound"))
            SafeArrayGetUBound(&array, 1, &bound);
        else
            SafeArrayGetLBound(&array, 1, &bound);
        result = Variant::I4(bound);
    } else if (Is(name, "Len")) {
        const std::vector<Variant> a = args();
        CheckCount(a, 1, 1);
        result = Variant::I4(static_cast<int32_t>(TextArgument(a, 0).size()));
    } else if (Is(name, "FileLen")) {
        const std::vector<Variant> a = args();
        CheckCount(a, 1, 1);
        std::error_code ec;
        const auto size = std::filesystem::file_size(TextArgument(a, 0), ec);
        if (ec) ThrowError(53, "File not found");
        result = Variant::I4(static_cast<int32_t>(size));
    } else if (Is(name, "CurrentCursor")) {
        CheckCount(args(), 0, 0);
        result = Variant::Bstr(site_.Cursor());
    } else if (Is(name, "LoadPicture")) {
        const std::vector<Variant> a = args();
        CheckCount(a, 0, 1);
        result = LoadPicture(a.empty() || IsMissing(a[0]) ? "" : TextArgument(a, 0));
    } else if (Is(name, "Chr")) {
        const std::vector<Variant> a = args();
        CheckCount(a, 1, 1);
        const int code = IntArgument(a, 0);
        if (code < 0 || code > 255) ThrowError(CTL_E_ILLEGALFUNCTIONCALL);
        result = Variant::Bstr(std::string(1, static_cast<char>(code)));
    } else if (Is(name, "PageValue")) {
        result = PageValue(control_, args());
    } else if (Is(name, "PageText")) {
        result = PageText(control_, args());
    } else if (Is(name, "VarType")) {
        const std::vector<Variant> a = args();
        CheckCount(a, 1, 1);
        result = Variant::I2(static_cast<int16_t>(a[0].Deref().vt()));
    } else {
        return false;
    }
    return true;
}

int ScriptHost::ScrollCode(const Argument& arg, bool vertical) {
    if (!arg) ThrowError(449, "Argument not optional");
    const Expr& e = **arg;
    std::string text;
    if (e.kind == Expr::Kind::Name && !variables_.contains(Lower(e.name)))
        text = e.name;
    else if (e.kind == Expr::Kind::Literal && e.value.vt() == VT_BSTR)
        text = e.value.AsBstr();
    if (text.empty()) return IntArgument({Evaluate(e)}, 0);
    for (const ScrollName& s : kScrollNames)
        if (Is(text, s.name) && (vertical || !s.verticalOnly)) return s.code;
    ThrowError(CTL_E_ILLEGALFUNCTIONCALL);
}

bool ScriptHost::HostStatement(const Statement& st) {
    const std::string& name = st.name;
    if (Is(name, "HScroll") || Is(name, "VScroll")) {
        const bool vertical = Is(name, "VScroll");
        if (st.args.empty() || st.args.size() > 2) WrongArgumentCount();
        const int code = ScrollCode(st.args[0], vertical);
        int pos = 0;
        if (st.args.size() == 2 && st.args[1]) pos = IntArgument({Evaluate(**st.args[1])}, 0);
        if (vertical)
            control_.VScroll(code, pos);
        else
            control_.HScroll(code, pos);
        return true;
    }
    const auto is = [&](std::string_view host) { return Is(name, host); };
    if (!(is("Resize") || is("Paint") || is("SaveView") || is("SaveBitmap") || is("MouseMove") ||
          is("Click") || is("Sleep") || is("DesignMode") || is("OpenFileAnswer") ||
          is("MouseDown") || is("MouseUp") || is("DblClick") || is("KeyDown") || is("KeyUp") ||
          is("KeyPress") || is("SavePage") || is("DeletePage") || is("ApplyPage")))
        return false;
    const std::vector<Variant> a = EvaluateArguments(st.args);
    if (is("Resize")) {
        CheckCount(a, 2, 2);
        site_.Resize(IntArgument(a, 0), IntArgument(a, 1));
    } else if (is("Paint")) {
        CheckCount(a, 0, 0);
        site_.Paint();
    } else if (is("SaveView")) {
        CheckCount(a, 1, 1);
        const std::string path = TextArgument(a, 0);
        // Like a window, the view is painted only when something asked for it, so what was
        // drawn on it since the last paint is in the picture.
        if (control_.IsDirty()) site_.Paint();
        const std::vector<uint8_t> packed = site_.Capture();
        CapturedView view;
        view.bitmap = UnpackBitmap(packed, &view.palette);
        if (!view.bitmap) ThrowError(CTL_E_INVALIDPICTURE);
        WriteOrRaise(view.bitmap, path);
    } else if (is("SaveBitmap")) {
        CheckCount(a, 1, 1);
        const std::string path = TextArgument(a, 0);
        HBITMAP bitmap = control_.Image().bitmap;
        const auto& picture = control_.PictureHolder().Picture();
        if (!bitmap && picture && picture->Type() == PICTYPE_BITMAP) bitmap = picture->Handle();
        if (!bitmap) ThrowError(CTL_E_INVALIDPICTURE);
        WriteOrRaise(bitmap, path);
    } else if (is("MouseMove") || is("Click") || is("MouseDown") || is("MouseUp") ||
               is("DblClick")) {
        // Optional button and shift state follow the position.
        CheckCount(a, 2, is("DblClick") ? 2 : 4);
        const int x = IntArgument(a, 0), y = IntArgument(a, 1);
        const int16_t shift = OptionalShort(a, 3, 0);
        if (is("MouseMove")) {
            control_.MouseMove(OptionalShort(a, 2, 0), shift, x, y);
        } else {
            const int16_t button = OptionalShort(a, 2, 1);
            if (!is("MouseUp")) control_.MouseDown(button, shift, x, y);
            if (!is("MouseDown")) control_.MouseUp(button, shift, x, y);
            if (is("Click")) control_.Click();
            if (is("DblClick")) control_.DblClick();
        }
    } else if (is("KeyDown") || is("KeyUp")) {
        CheckCount(a, 1, 2);
        const int16_t key = Convert(a[0], VT_I2).AsI2();
        if (is("KeyDown"))
            control_.KeyDown(key, OptionalShort(a, 1, 0));
        else
            control_.KeyUp(key, OptionalShort(a, 1, 0));
    } else if (is("KeyPress")) {
        CheckCount(a, 1, 1);
        control_.KeyPress(Convert(a[0], VT_I2).AsI2());
    } else if (is("SavePage")) {
        CheckCount(a, 2, 2);
        const HDC page = site_.Page(IntArgument(a, 0));
        WriteOrRaise(GetCurrentObject(page, OBJ_BITMAP), TextArgument(a, 1));
    } else if (is("DeletePage")) {
        CheckCount(a, 1, 1);
        site_.DeletePage(IntArgument(a, 0));
    } else if (is("Sleep")) {
        CheckCount(a, 1, 1);
        const int32_t ms = IntArgument(a, 0);
        if (ms < 0) ThrowError(CTL_E_ILLEGALFUNCTIONCALL);
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    } else if (is("DesignMode")) {
        CheckCount(a, 1, 1);
        site_.SetAmbientUserMode(!Convert(a[0], VT_BOOL).AsBool());
    } else if (is("ApplyPage")) {
        ApplyPage(control_, a);
    } else if (is("OpenFileAnswer")) {
        CheckCount(a, 0, 1);
        const std::string answer = a.empty() ? "" : TextArgument(a, 0);
        site_.SetOpenFileAnswer(answer.empty() ? std::nullopt : std::optional<std::string>(answer));
    }
    return true;
}

}  // namespace cli
