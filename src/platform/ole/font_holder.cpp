#include "platform/ole/font_holder.h"

#include <cmath>

namespace platform {

HRESULT FontObject::GetProperty(DISPID id, Variant& out) const {
    switch (id) {
        case DISPID_FONT_NAME:
            out = Variant::Bstr(desc_.name);
            return S_OK;
        case DISPID_FONT_SIZE:
            out = Variant::R8(desc_.SizePoints());
            return S_OK;
        case DISPID_FONT_BOLD:
            out = Variant::Bool(desc_.Bold());
            return S_OK;
        case DISPID_FONT_ITALIC:
            out = Variant::Bool(desc_.italic);
            return S_OK;
        case DISPID_FONT_UNDER:
            out = Variant::Bool(desc_.underline);
            return S_OK;
        case DISPID_FONT_STRIKE:
            out = Variant::Bool(desc_.strikethrough);
            return S_OK;
        case DISPID_FONT_WEIGHT:
            out = Variant::I2(desc_.weight);
            return S_OK;
        case DISPID_FONT_CHARSET:
            out = Variant::I2(desc_.charset);
            return S_OK;
        default:
            return DISP_E_MEMBERNOTFOUND;
    }
}

HRESULT FontObject::SetProperty(DISPID id, const Variant& value) {
    VARTYPE type = VT_BOOL;
    if (id == DISPID_FONT_NAME) type = VT_BSTR;
    if (id == DISPID_FONT_SIZE) type = VT_R8;
    if (id == DISPID_FONT_WEIGHT || id == DISPID_FONT_CHARSET) type = VT_I2;
    Variant v;
    const HRESULT hr = ChangeType(value, type, v);
    if (Failed(hr)) return hr;
    switch (id) {
        case DISPID_FONT_NAME:
            if (v.AsBstr().empty()) return E_INVALIDARG;
            desc_.name = v.AsBstr();
            return S_OK;
        case DISPID_FONT_SIZE: {
            const double cy = std::round(v.AsR8() * 10000.0);
            if (!(cy > 0) || cy > 1e12) return E_INVALIDARG;
            desc_.sizeCy = static_cast<int64_t>(cy);
            return S_OK;
        }
        case DISPID_FONT_BOLD:
            desc_.SetBold(v.AsBool() != 0);
            return S_OK;
        case DISPID_FONT_ITALIC:
            desc_.italic = v.AsBool() != 0;
            return S_OK;
        case DISPID_FONT_UNDER:
            desc_.underline = v.AsBool() != 0;
            return S_OK;
        case DISPID_FONT_STRIKE:
            desc_.strikethrough = v.AsBool() != 0;
            return S_OK;
        case DISPID_FONT_WEIGHT:
            if (v.AsI2() < 0 || v.AsI2() > 1000) return E_INVALIDARG;
            desc_.weight = v.AsI2();
            return S_OK;
        case DISPID_FONT_CHARSET:
            if (v.AsI2() < 0 || v.AsI2() > 255) return E_INVALIDARG;
            desc_.charset = v.AsI2();
            return S_OK;
        default:
            return DISP_E_MEMBERNOTFOUND;
    }
}

void FontHolder::InitializeFont(const FontDesc& desc, const std::shared_ptr<Dispatch>& font) {
    // A copy, not a share: the host's font object may change without telling the control.
    if (auto object = std::dynamic_pointer_cast<FontObject>(font)) {
        font_ = std::make_shared<FontObject>(object->Desc());
    } else {
        font_ = std::make_shared<FontObject>(desc);
    }
}

}  // namespace platform
