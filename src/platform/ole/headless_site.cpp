#include "platform/ole/headless_site.h"

#include <mutex>

#include "platform/gdi/gdi.h"
#include "platform/gdi/packed_dib.h"
#include "platform/ole/control_frame.h"

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
    std::lock_guard lock(control_.WindowLock());
    const HDC dc = control_.GetDC();
    return dc ? GetPixel(dc, x, y) : CLR_INVALID;
}

std::vector<uint8_t> HeadlessSite::Capture() const {
    std::lock_guard lock(control_.WindowLock());
    const HDC client = control_.GetDC();
    int width = 0, height = 0;
    control_.GetControlSize(&width, &height);
    if (!client || width <= 0 || height <= 0) return {};
    const HDC dc = CreateCompatibleDC(client);
    const HBITMAP window = CreateCompatibleBitmap(client, width, height);
    std::vector<uint8_t> packed;
    if (dc && window) {
        const HGDIOBJ old = SelectObject(dc, window);
        DrawControlFrame(dc, width, height, control_.GetBorderStyle(), control_.GetAppearance());
        int clientWidth = 0, clientHeight = 0;
        control_.GetClientSize(&clientWidth, &clientHeight);
        const int inset = control_.NonClientWidth();
        BitBlt(dc, inset, inset, clientWidth, clientHeight, client, 0, 0, SRCCOPY);
        SelectObject(dc, old);
        packed = PackBitmap(window);
    }
    if (window) DeleteObject(window);
    if (dc) DeleteDC(dc);
    return packed;
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

void HeadlessSite::OnCursorChanged(std::string_view cursor) {
    cursor_ = std::string(cursor);
    cursorLog_.push_back(cursor_);
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
