#include "page_statements.h"

#include <string>

#include "control/property_pages.h"
#include "platform/ole/control_error.h"

namespace cli {

using namespace platform;

namespace {

Variant Converted(const Variant& value, VARTYPE vt) {
    Variant out;
    const HRESULT hr = ChangeType(value, vt, out);
    if (hr == DISP_E_OVERFLOW) ThrowError(6, "Overflow");
    if (Failed(hr)) ThrowError(13, "Type mismatch");
    return out;
}

// The page named by the first argument, opened on the control; the field name follows.
struct OpenPage {
    control::PropertyPage page;
    std::string field;

    OpenPage(control::CLumoraCtrl& control, std::span<const Variant> args, size_t count)
        : page(control, Find(args, count)), field(Converted(args[1], VT_BSTR).AsBstr()) {
        if (!control::FindPageField(page.Info(), field)) ThrowError(CTL_E_ILLEGALFUNCTIONCALL);
        page.Open();
    }

    static const control::PageInfo& Find(std::span<const Variant> args, size_t count) {
        if (args.size() != count)
            ThrowError(450, "Wrong number of arguments or invalid property assignment");
        const control::PageInfo* info =
            control::FindPropertyPage(Converted(args[0], VT_BSTR).AsBstr());
        if (!info) ThrowError(CTL_E_ILLEGALFUNCTIONCALL);
        return *info;
    }
};

}  // namespace

Variant PageValue(control::CLumoraCtrl& control, std::span<const Variant> args) {
    OpenPage open(control, args, 2);
    const double value = open.page.Value(open.field);
    switch (control::FindPageField(open.page.Info(), open.field)->kind) {
        case control::FieldKind::Check:
            return Variant::Bool(value != 0);
        case control::FieldKind::FloatEdit:
            return Variant::R4(static_cast<float>(value));
        case control::FieldKind::Combo:
        case control::FieldKind::IntEdit:
            break;
    }
    return Variant::I4(static_cast<int32_t>(value));
}

Variant PageText(control::CLumoraCtrl& control, std::span<const Variant> args) {
    OpenPage open(control, args, 2);
    return Variant::Bstr(open.page.Text(open.field));
}

void ApplyPage(control::CLumoraCtrl& control, std::span<const Variant> args) {
    OpenPage open(control, args, 3);
    open.page.SetValue(open.field, Converted(args[2], VT_R8).AsR8());
    open.page.Apply();
}

}  // namespace cli
