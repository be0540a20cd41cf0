#include "platform/ole/headless_site.h"

#include "platform/gdi/gdi.h"
#include "platform/gdi/packed_dib.h"

namespace platform {

HeadlessSite::HeadlessSite(OleControl& control, int width, int height)
    : control_(control), cursor_(control.Cursor()) {
    control_.SetClientSite(this);
    control_.SetControlSize(width, height);
    control_.CreateControlWindow();
}

HeadlessSite::~HeadlessSite() {
    control_.DestroyControlWindow();
    control_.SetClientSite(nullptr);
}

COLORREF HeadlessSite::Pixel(int x, int y) const {
    const HDC dc = control_.GetDC();
    return dc ? GetPixel(dc, x, y) : CLR_INVALID;
}

std::vector<uint8_t> HeadlessSite::Capture() const {
    const HDC dc = control_.GetDC();
    if (!dc) return {};
    return PackBitmap(GetCurrentObject(dc, OBJ_BITMAP));
}

std::string HeadlessSite::FormatArgument(const Variant& value) {
    const Variant& v = value.Deref();
    if (IsMissing(v)) return "<missing>";
    if (v.vt() == VT_NULL) return "Null";
    if (v.vt() == VT_DISPATCH) return "<object>";
    if (v.vt() & VT_ARRAY) return "<array>";
    Variant text;
    if (Failed(ChangeType(v, VT_BSTR, text))) return "<?>";
    return text.AsBstr();
}

void HeadlessSite::OnInvalidate(const RECT* /*rect*/, bool /*erase*/) {
    ++invalidations_;
}

void HeadlessSite::OnEvent(DISPID /*dispid*/, std::string_view name,
                           const std::vector<Variant>& args) {
    std::string line(name);
    for (size_t i = 0; i < args.size(); ++i) {
        line += i == 0 ? " " : ", ";
        line += FormatArgument(args[i]);
    }
    events_.push_back(std::move(line));
}

void HeadlessSite::OnScrollBarChanged(int bar, const ScrollBarState& state) {
    if (bar == SB_HORZ || bar == SB_VERT) bars_[static_cast<size_t>(bar)] = state;
}

void HeadlessSite::OnExtentChanged(int width, int height) {
    width_ = width;
    height_ = height;
}

std::optional<std::string> HeadlessSite::GetOpenFileName(std::string_view filter,
                                                         std::string_view /*title*/) {
    openFileRequests_.emplace_back(filter);
    return openFileAnswer_;
}

}  // namespace platform
