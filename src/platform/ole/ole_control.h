// The base every control derives from: stock properties, errors, events, repaint requests,
// the modified flag, the control's extent, its window (a memory surface with its own DC that
// stays valid until the window is recreated), scroll bars, cursors and property exchange.
// The host is reached only through the ControlSite it attaches.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ole/control_error.h"
#include "platform/ole/control_site.h"
#include "platform/ole/font_holder.h"
#include "platform/ole/prop_exchange.h"
#include "platform/ole/variant.h"
#include "platform/os/wintypes.h"

namespace platform {

// Stock DISPIDs of properties, methods and events.
enum : DISPID {
    DISPID_BACKCOLOR = -501,
    DISPID_BORDERSTYLE = -504,
    DISPID_FONT = -512,
    DISPID_FORECOLOR = -513,
    DISPID_ENABLED = -514,
    DISPID_HWND = -515,
    DISPID_APPEARANCE = -520,
    DISPID_REFRESH = -550,
    DISPID_ABOUTBOX = -552,
    DISPID_CLICK = -600,
    DISPID_DBLCLICK = -601,
    DISPID_KEYDOWN = -602,
    DISPID_KEYPRESS = -603,
    DISPID_KEYUP = -604,
    DISPID_MOUSEDOWN = -605,
    DISPID_MOUSEMOVE = -606,
    DISPID_MOUSEUP = -607,
};

// Cursor names a control can ask its site for.
namespace cursor {
inline constexpr std::string_view kArrow = "arrow";
inline constexpr std::string_view kCross = "cross";
inline constexpr std::string_view kIBeam = "ibeam";
inline constexpr std::string_view kSizeAll = "sizeall";
inline constexpr std::string_view kSizeNESW = "sizenesw";
inline constexpr std::string_view kSizeNS = "sizens";
inline constexpr std::string_view kSizeNWSE = "sizenwse";
inline constexpr std::string_view kSizeWE = "sizewe";
inline constexpr std::string_view kUpArrow = "uparrow";
inline constexpr std::string_view kWait = "wait";
inline constexpr std::string_view kNo = "no";
inline constexpr std::string_view kAppStarting = "appstarting";
inline constexpr std::string_view kHelp = "help";
inline constexpr std::string_view kCustom = "custom";
inline constexpr std::string_view kNone = "none";
}  // namespace cursor

constexpr OLE_COLOR kDefaultBackColor = 0x80000004;  // system menu colour
constexpr OLE_COLOR kDefaultForeColor = 0x80000012;  // system button text colour

class OleControl {
  public:
    OleControl();
    virtual ~OleControl();
    OleControl(const OleControl&) = delete;
    OleControl& operator=(const OleControl&) = delete;

    // ---- Host side ----------------------------------------------------------------------------
    // The site outlives the control's attachment; null detaches.
    void SetClientSite(ControlSite* site) { site_ = site; }
    ControlSite* ClientSite() const { return site_; }
    // A new control: OnResetState. Loading: the exchange in the loading direction, then the
    // control is unmodified. Saving writes the exchange and clears the modified flag.
    void InitNew();
    void Load(const PropertyBag& bag);
    PropertyBag Save();
    // Creates the window at the current extent (OnCreate follows); false when it cannot.
    bool CreateControlWindow();
    void DestroyControlWindow();  // OnDestroy first
    // The host resizes the control: OnSizeRequest may amend the extent before it applies.
    void RequestExtent(int width, int height);
    // Paints the whole client area through OnDraw and clears the pending repaint.
    void PaintWindow();
    // Pixels of frame on each side of the client area: 1 for BorderStyle 1 and a 2-pixel
    // sunken edge for Appearance 1. The window surface and its DC cover the client area only.
    int NonClientWidth() const;
    void GetClientSize(int* width, int* height) const;
    // Held by every host-side use of the window surface and by a worker thread that draws on
    // it, so the two never touch its pixels at once. Recursive: a paint may load.
    using WindowMutex = std::recursive_mutex;
    WindowMutex& WindowLock() const { return windowMutex_; }
    // Renders into a DC the host owns.
    void DrawInto(HDC dc, const RECT& bounds);
    bool IsDirty() const { return dirty_; }
    // Input as the host's window would deliver it.
    void HScroll(int code, int pos) { OnHScroll(code, pos); }
    void VScroll(int code, int pos) { OnVScroll(code, pos); }
    void MouseMove(int16_t button, int16_t shift, int x, int y) {
        OnMouseMove(button, shift, x, y);
    }
    void MouseDown(int16_t button, int16_t shift, int x, int y);
    void MouseUp(int16_t button, int16_t shift, int x, int y);
    void Click() { FireEvent(DISPID_CLICK, {}); }
    void DblClick() { FireEvent(DISPID_DBLCLICK, {}); }
    void KeyDown(int16_t keyCode, int16_t shift);
    void KeyUp(int16_t keyCode, int16_t shift);
    void KeyPress(int16_t keyAscii);

    // ---- Stock properties ---------------------------------------------------------------------
    OLE_COLOR GetBackColor() const { return backColor_; }
    void SetBackColor(OLE_COLOR color);  // 380 for a colour OleTranslateColor refuses
    OLE_COLOR GetForeColor() const { return foreColor_; }
    void SetForeColor(OLE_COLOR color);
    int16_t GetBorderStyle() const { return borderStyle_; }
    void SetBorderStyle(int16_t style);  // 0 or 1, else 380
    int16_t GetAppearance() const { return appearance_; }
    void SetAppearance(int16_t appearance);  // 0 or 1, else 380
    bool GetEnabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    std::shared_ptr<Dispatch> GetFont() const { return font_.GetFontDispatch(); }
    void SetFont(const std::shared_ptr<Dispatch>& font);
    const FontHolder& InternalGetFont() const { return font_; }
    uint32_t GetHwnd() const;  // 0 without a window
    void ResetStockProps();

    // ---- Services for the derived control -----------------------------------------------------
    // The COLORREF for an OLE colour (optionally relative to a palette); 380 when invalid.
    COLORREF TranslateColor(OLE_COLOR color, HPALETTE palette = 0) const;
    [[noreturn]] void ThrowError(SCODE scodeOrNumber, std::string_view description = {}) const {
        platform::ThrowError(scodeOrNumber, description);
    }
    void FireEvent(DISPID dispid, const std::vector<Variant>& args);
    void InvalidateControl(const RECT* rect = nullptr, bool erase = true);
    void SetModifiedFlag(bool modified = true) { modified_ = modified; }
    bool IsModified() const { return modified_; }
    void GetControlSize(int* width, int* height) const;
    // Applies an extent: the window surface follows (same DC), the site hears of it, OnSize runs.
    bool SetControlSize(int width, int height);
    // True without a site, as a control at run time.
    bool AmbientUserMode() const;
    // The window's own DC; 0 without a window. It stays the same until the window is recreated.
    HDC GetDC() const;
    // A new window, surface and DC at the current extent; the old DC and window handles die.
    void RecreateControlWindow();
    bool HasWindow() const;

    int SetScrollRange(int bar, int min, int max, bool redraw);  // min == max hides the bar
    bool GetScrollRange(int bar, int* min, int* max) const;
    int SetScrollPos(int bar, int pos, bool redraw);  // clamped; returns the previous position
    int GetScrollPos(int bar) const;
    bool ShowScrollBar(int bar, bool show);
    const ScrollBarState& ScrollBar(int bar) const;

    // Sets the cursor shown over the control; returns the previous one.
    std::string SetCursor(std::string_view name);
    const std::string& Cursor() const { return cursor_; }

    std::optional<std::string> ShowOpenFileDialog(std::string_view filter, std::string_view title);

    // Name of an event for the site; stock events are known here, the control adds its own.
    virtual std::string EventName(DISPID dispid) const;

  protected:
    // ---- Hooks --------------------------------------------------------------------------------
    virtual void OnDraw(HDC dc, const RECT& bounds, const RECT& invalid);
    virtual void OnResetState() { ResetStockProps(); }
    // Exchanges the extent and the stock properties.
    virtual void DoPropExchange(PropExchange& px);
    virtual void OnCreate() {}
    virtual void OnDestroy() {}
    // May change the requested extent; the default applies it as given.
    virtual void OnSizeRequest(int& width, int& height) { SetControlSize(width, height); }
    virtual void OnSize(int /*width*/, int /*height*/) {}
    virtual void OnHScroll(int /*code*/, int /*pos*/) {}
    virtual void OnVScroll(int /*code*/, int /*pos*/) {}
    virtual void OnMouseMove(int16_t button, int16_t shift, int x, int y);
    virtual void OnBackColorChanged() { InvalidateControl(); }
    virtual void OnForeColorChanged() { InvalidateControl(); }
    virtual void OnBorderStyleChanged() { InvalidateControl(); }
    virtual void OnAppearanceChanged() { InvalidateControl(); }
    virtual void OnEnabledChanged() {}
    virtual void OnFontChanged() { InvalidateControl(); }

    void ExchangeStockProps(PropExchange& px);

  private:
    struct Window;
    ScrollBarState& Bar(int bar);
    void NotifyScrollBar(int bar);
    bool ResizeSurface(int width, int height);
    // After a frame change: the surface follows the new client size.
    void FitSurfaceToFrame();

    ControlSite* site_ = nullptr;
    int width_ = 100;
    int height_ = 50;
    bool modified_ = false;
    bool dirty_ = false;
    OLE_COLOR backColor_ = kDefaultBackColor;
    OLE_COLOR foreColor_ = kDefaultForeColor;
    int16_t borderStyle_ = 0;
    int16_t appearance_ = 0;
    bool enabled_ = true;
    FontHolder font_;
    std::array<ScrollBarState, 2> bars_{};
    std::string cursor_{cursor::kArrow};
    std::shared_ptr<Window> window_;
    uint32_t hwnd_ = 0;
    mutable WindowMutex windowMutex_;
};

}  // namespace platform
