#include "platform/ole/ole_control.h"

#include <algorithm>

#include "platform/gdi/gdi.h"
#include "platform/os/handles.h"
#include "platform/ole/picture.h"
#include "platform/ole/system_colors.h"

namespace platform {

namespace {

int DisplayDpi(int axis) {
    const HDC screen = platform::GetDC(0);
    const int dpi = screen ? GetDeviceCaps(screen, axis) : 96;
    if (screen) ReleaseDC(0, screen);
    return dpi > 0 ? dpi : 96;
}

}  // namespace

// The window: a memory DC over a display-compatible surface of the control's extent. The DC
// keeps its handle across resizes, as a class-owned window DC does.
struct OleControl::Window {
    HDC dc = 0;
    HBITMAP surface = 0;
    HGDIOBJ original = 0;  // the DC's initial bitmap, selected back before the DC goes

    Window() = default;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    ~Window() {
        if (dc && original) SelectObject(dc, original);
        if (dc) DeleteDC(dc);
        if (surface) DeleteObject(surface);
    }
};

OleControl::OleControl() = default;

OleControl::~OleControl() {
    if (hwnd_) RemoveHandle(hwnd_, HandleKind::Window);
}

// ---- Host side ------------------------------------------------------------------------------

void OleControl::InitNew() {
    OnResetState();
    modified_ = false;
}

void OleControl::Load(const PropertyBag& bag) {
    PropertyBag copy = bag;
    PropExchange px(copy, true);
    DoPropExchange(px);
    modified_ = false;
    InvalidateControl();
}

PropertyBag OleControl::Save() {
    PropertyBag bag;
    PropExchange px(bag, false);
    DoPropExchange(px);
    modified_ = false;
    return bag;
}

bool OleControl::CreateControlWindow() {
    if (window_) return true;
    auto window = std::make_shared<Window>();
    window->dc = CreateCompatibleDC(0);
    if (!window->dc) return false;
    window->original = GetCurrentObject(window->dc, OBJ_BITMAP);
    const uint32_t hwnd = InsertHandle(HandleKind::Window, window);
    if (!hwnd) return false;
    window_ = std::move(window);
    hwnd_ = hwnd;
    if (!ResizeSurface(width_, height_)) {
        DestroyControlWindow();
        return false;
    }
    OnCreate();
    return true;
}

void OleControl::DestroyControlWindow() {
    if (!window_) return;
    OnDestroy();
    RemoveHandle(hwnd_, HandleKind::Window);
    hwnd_ = 0;
    window_.reset();
}

void OleControl::RecreateControlWindow() {
    DestroyControlWindow();
    CreateControlWindow();
}

bool OleControl::HasWindow() const {
    return window_ != nullptr;
}

uint32_t OleControl::GetHwnd() const {
    return hwnd_;
}

HDC OleControl::GetDC() const {
    return window_ ? window_->dc : 0;
}

int OleControl::NonClientWidth() const {
    return (borderStyle_ != 0 ? 1 : 0) + (appearance_ != 0 ? 2 : 0);
}

void OleControl::GetClientSize(int* width, int* height) const {
    const int frame = 2 * NonClientWidth();
    if (width) *width = std::max(width_ - frame, 0);
    if (height) *height = std::max(height_ - frame, 0);
}

void OleControl::FitSurfaceToFrame() {
    if (window_) ResizeSurface(width_, height_);
}

// The extent is the whole control; the surface gets what the frame leaves.
bool OleControl::ResizeSurface(int extentWidth, int extentHeight) {
    if (!window_) return true;
    std::lock_guard lock(windowMutex_);
    const int frame = 2 * NonClientWidth();
    const int width = std::max(extentWidth - frame, 0);
    const int height = std::max(extentHeight - frame, 0);
    HBITMAP fresh = 0;
    if (width > 0 && height > 0) {
        fresh = CreateCompatibleBitmap(0, width, height);
        if (!fresh) return false;
    }
    SelectObject(window_->dc, fresh ? fresh : window_->original);
    if (window_->surface) DeleteObject(window_->surface);
    window_->surface = fresh;
    if (fresh) {
        // A new window area shows the window class's background until painted.
        const HBRUSH brush = CreateSolidBrush(GetSysColor(COLOR_WINDOW));
        const RECT all{0, 0, width, height};
        FillRect(window_->dc, &all, brush);
        DeleteObject(brush);
    }
    return true;
}

void OleControl::RequestExtent(int width, int height) {
    OnSizeRequest(width, height);
}

void OleControl::PaintWindow() {
    if (!window_) return;
    std::lock_guard lock(windowMutex_);
    int width = 0, height = 0;
    GetClientSize(&width, &height);
    const RECT bounds{0, 0, width, height};
    dirty_ = false;
    OnDraw(window_->dc, bounds, bounds);
}

void OleControl::DrawInto(HDC dc, const RECT& bounds) {
    std::lock_guard lock(windowMutex_);
    OnDraw(dc, bounds, bounds);
}

void OleControl::MouseDown(int16_t button, int16_t shift, int x, int y) {
    FireEvent(DISPID_MOUSEDOWN,
              {Variant::I2(button), Variant::I2(shift), Variant::R4(static_cast<float>(x)),
               Variant::R4(static_cast<float>(y))});
}

void OleControl::MouseUp(int16_t button, int16_t shift, int x, int y) {
    FireEvent(DISPID_MOUSEUP,
              {Variant::I2(button), Variant::I2(shift), Variant::R4(static_cast<float>(x)),
               Variant::R4(static_cast<float>(y))});
}

void OleControl::KeyDown(int16_t keyCode, int16_t shift) {
    FireEvent(DISPID_KEYDOWN, {Variant::I2(keyCode), Variant::I2(shift)});
}

void OleControl::KeyUp(int16_t keyCode, int16_t shift) {
    FireEvent(DISPID_KEYUP, {Variant::I2(keyCode), Variant::I2(shift)});
}

void OleControl::KeyPress(int16_t keyAscii) {
    FireEvent(DISPID_KEYPRESS, {Variant::I2(keyAscii)});
}

void OleControl::OnMouseMove(int16_t button, int16_t shift, int x, int y) {
    FireEvent(DISPID_MOUSEMOVE,
              {Variant::I2(button), Variant::I2(shift), Variant::R4(static_cast<float>(x)),
               Variant::R4(static_cast<float>(y))});
}

// ---- Stock properties -----------------------------------------------------------------------

void OleControl::SetBackColor(OLE_COLOR color) {
    if (Failed(OleTranslateColor(color, 0, nullptr))) ThrowError(CTL_E_INVALIDPROPERTYVALUE);
    backColor_ = color;
    SetModifiedFlag();
    OnBackColorChanged();
}

void OleControl::SetForeColor(OLE_COLOR color) {
    if (Failed(OleTranslateColor(color, 0, nullptr))) ThrowError(CTL_E_INVALIDPROPERTYVALUE);
    foreColor_ = color;
    SetModifiedFlag();
    OnForeColorChanged();
}

void OleControl::SetBorderStyle(int16_t style) {
    if (style != 0 && style != 1) ThrowError(CTL_E_INVALIDPROPERTYVALUE);
    borderStyle_ = style;
    FitSurfaceToFrame();
    SetModifiedFlag();
    OnBorderStyleChanged();
}

void OleControl::SetAppearance(int16_t appearance) {
    if (appearance != 0 && appearance != 1) ThrowError(CTL_E_INVALIDPROPERTYVALUE);
    appearance_ = appearance;
    FitSurfaceToFrame();
    SetModifiedFlag();
    OnAppearanceChanged();
}

void OleControl::SetEnabled(bool enabled) {
    enabled_ = enabled;
    SetModifiedFlag();
    OnEnabledChanged();
}

void OleControl::SetFont(const std::shared_ptr<Dispatch>& font) {
    if (font && !std::dynamic_pointer_cast<FontObject>(font))
        ThrowError(CTL_E_INVALIDPROPERTYVALUE);
    font_.InitializeFont(FontDesc{}, font);
    SetModifiedFlag();
    OnFontChanged();
}

void OleControl::ResetStockProps() {
    backColor_ = kDefaultBackColor;
    foreColor_ = kDefaultForeColor;
    borderStyle_ = 0;
    appearance_ = 0;
    enabled_ = true;
    font_.InitializeFont(FontDesc{});
    FitSurfaceToFrame();
}

void OleControl::ExchangeStockProps(PropExchange& px) {
    OLE_COLOR back = backColor_, fore = foreColor_;
    int16_t border = borderStyle_, appearance = appearance_;
    bool enabled = enabled_;
    PX_Color(px, "BackColor", back);
    PX_Color(px, "ForeColor", fore);
    PX_Short(px, "BorderStyle", border);
    PX_Short(px, "Appearance", appearance);
    PX_Bool(px, "Enabled", enabled);
    PX_Font(px, "Font", font_);
    if (!px.IsLoading()) return;
    // A loaded value the setter would refuse leaves the property as it was.
    if (!Failed(OleTranslateColor(back, 0, nullptr))) backColor_ = back;
    if (!Failed(OleTranslateColor(fore, 0, nullptr))) foreColor_ = fore;
    if (border == 0 || border == 1) borderStyle_ = border;
    if (appearance == 0 || appearance == 1) appearance_ = appearance;
    enabled_ = enabled;
    FitSurfaceToFrame();
}

void OleControl::DoPropExchange(PropExchange& px) {
    // The extent travels in HiMetric so it means the same size at any resolution.
    int32_t cx = PixelsToHimetric(width_, DisplayDpi(LOGPIXELSX));
    int32_t cy = PixelsToHimetric(height_, DisplayDpi(LOGPIXELSY));
    const bool haveX = PX_Long(px, "_ExtentX", cx);
    const bool haveY = PX_Long(px, "_ExtentY", cy);
    if (px.IsLoading() && haveX && haveY && cx > 0 && cy > 0) {
        // An extent under one pixel would be saved as 0, which no later load accepts: it is
        // refused now, so what is saved loads back the same.
        const int width = HimetricToPixels(cx, DisplayDpi(LOGPIXELSX));
        const int height = HimetricToPixels(cy, DisplayDpi(LOGPIXELSY));
        if (width > 0 && height > 0) SetControlSize(width, height);
    }
    ExchangeStockProps(px);
}

// ---- Services -------------------------------------------------------------------------------

COLORREF OleControl::TranslateColor(OLE_COLOR color, HPALETTE palette) const {
    COLORREF result = 0;
    if (Failed(OleTranslateColor(color, palette, &result))) ThrowError(CTL_E_INVALIDPROPERTYVALUE);
    return result;
}

std::string OleControl::EventName(DISPID dispid) const {
    switch (dispid) {
        case DISPID_CLICK:
            return "Click";
        case DISPID_DBLCLICK:
            return "DblClick";
        case DISPID_KEYDOWN:
            return "KeyDown";
        case DISPID_KEYPRESS:
            return "KeyPress";
        case DISPID_KEYUP:
            return "KeyUp";
        case DISPID_MOUSEDOWN:
            return "MouseDown";
        case DISPID_MOUSEMOVE:
            return "MouseMove";
        case DISPID_MOUSEUP:
            return "MouseUp";
        default:
            return "Event" + std::to_string(dispid);
    }
}

void OleControl::FireEvent(DISPID dispid, const std::vector<Variant>& args) {
    if (site_) site_->OnEvent(dispid, EventName(dispid), args);
}

void OleControl::InvalidateControl(const RECT* rect, bool erase) {
    dirty_ = true;
    if (site_) site_->OnInvalidate(rect, erase);
}

void OleControl::GetControlSize(int* width, int* height) const {
    if (width) *width = width_;
    if (height) *height = height_;
}

bool OleControl::SetControlSize(int width, int height) {
    if (width < 0 || height < 0) return false;
    if (!ResizeSurface(width, height)) return false;
    width_ = width;
    height_ = height;
    if (site_) site_->OnExtentChanged(width, height);
    OnSize(width, height);
    return true;
}

bool OleControl::AmbientUserMode() const {
    return site_ ? site_->AmbientUserMode() : true;
}

void OleControl::OnDraw(HDC dc, const RECT& bounds, const RECT& /*invalid*/) {
    const HBRUSH brush = CreateSolidBrush(TranslateColor(backColor_));
    FillRect(dc, &bounds, brush);
    DeleteObject(brush);
}

// ---- Scroll bars ----------------------------------------------------------------------------

ScrollBarState& OleControl::Bar(int bar) {
    if (bar != SB_HORZ && bar != SB_VERT) ThrowError(CTL_E_ILLEGALFUNCTIONCALL);
    return bars_[static_cast<size_t>(bar)];
}

const ScrollBarState& OleControl::ScrollBar(int bar) const {
    return const_cast<OleControl*>(this)->Bar(bar);
}

void OleControl::NotifyScrollBar(int bar) {
    if (site_) site_->OnScrollBarChanged(bar, bars_[static_cast<size_t>(bar)]);
}

int OleControl::SetScrollRange(int bar, int min, int max, bool /*redraw*/) {
    ScrollBarState& state = Bar(bar);
    state.min = min;
    state.max = max;
    // A window's own scroll bar disappears when its range is empty.
    state.visible = min != max;
    state.pos = std::clamp(state.pos, std::min(min, max), std::max(min, max));
    NotifyScrollBar(bar);
    return 1;
}

bool OleControl::GetScrollRange(int bar, int* min, int* max) const {
    const ScrollBarState& state = ScrollBar(bar);
    if (min) *min = state.min;
    if (max) *max = state.max;
    return true;
}

int OleControl::SetScrollPos(int bar, int pos, bool /*redraw*/) {
    ScrollBarState& state = Bar(bar);
    const int previous = state.pos;
    state.pos = std::clamp(pos, std::min(state.min, state.max), std::max(state.min, state.max));
    NotifyScrollBar(bar);
    return previous;
}

int OleControl::GetScrollPos(int bar) const {
    return ScrollBar(bar).pos;
}

bool OleControl::ShowScrollBar(int bar, bool show) {
    if (bar == SB_BOTH) {
        ShowScrollBar(SB_HORZ, show);
        return ShowScrollBar(SB_VERT, show);
    }
    Bar(bar).visible = show;
    NotifyScrollBar(bar);
    return true;
}

// ---- Cursor and dialogs ---------------------------------------------------------------------

std::string OleControl::SetCursor(std::string_view name) {
    std::string previous = std::move(cursor_);
    cursor_ = std::string(name);
    if (site_) site_->OnCursorChanged(cursor_);
    return previous;
}

std::optional<std::string> OleControl::ShowOpenFileDialog(std::string_view filter,
                                                          std::string_view title) {
    if (!site_) return std::nullopt;
    return site_->GetOpenFileName(filter, title);
}

}  // namespace platform
