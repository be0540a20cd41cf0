// A host without a screen, for tests and the command line: the control's window is a memory
// surface, paints happen when asked, and everything the control tells its host is recorded.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "platform/ole/control_site.h"
#include "platform/ole/ole_control.h"

namespace platform {

class HeadlessSite : public ControlSite {
  public:
    // Attaches to the control, gives it the extent and creates its window.
    HeadlessSite(OleControl& control, int width, int height);
    // Destroys the window and detaches.
    ~HeadlessSite() override;
    HeadlessSite(const HeadlessSite&) = delete;
    HeadlessSite& operator=(const HeadlessSite&) = delete;

    OleControl& Control() { return control_; }
    void Paint() { control_.PaintWindow(); }
    void Resize(int width, int height) { control_.RequestExtent(width, height); }
    // A pixel of the client area as it stands; CLR_INVALID outside it or without a window.
    COLORREF Pixel(int x, int y) const;
    // The whole window, its frame drawn around the client area, as a packed DIB; empty
    // without a window.
    std::vector<uint8_t> Capture() const;

    void SetAmbientUserMode(bool userMode) { userMode_ = userMode; }
    // What the next open-file dialog answers: a path, or nothing for cancel.
    void SetOpenFileAnswer(std::optional<std::string> answer) {
        openFileAnswer_ = std::move(answer);
    }
    const std::vector<std::string>& OpenFileRequests() const { return openFileRequests_; }

    // One line per event: the name, then the arguments as text separated by ", ".
    const std::vector<std::string>& Events() const { return events_; }
    void ClearEvents() { events_.clear(); }
    const std::string& Cursor() const { return cursor_; }
    // Every cursor change in order.
    const std::vector<std::string>& CursorChanges() const { return cursorLog_; }
    const ScrollBarState& ScrollBar(int bar) const { return bars_.at(static_cast<size_t>(bar)); }
    int Invalidations() const { return invalidations_; }
    int ExtentWidth() const { return width_; }
    int ExtentHeight() const { return height_; }

    // Argument text for the event log.
    static std::string FormatArgument(const Variant& value);

    // ControlSite
    bool AmbientUserMode() const override { return userMode_; }
    void OnInvalidate(const RECT* rect, bool erase) override;
    void OnEvent(DISPID dispid, std::string_view name, const std::vector<Variant>& args) override;
    void OnCursorChanged(std::string_view cursor) override;
    void OnScrollBarChanged(int bar, const ScrollBarState& state) override;
    void OnExtentChanged(int width, int height) override;
    std::optional<std::string> GetOpenFileName(std::string_view filter,
                                               std::string_view title) override;
    // Nobody is there to close it: the dialog is recorded and counts as closed at once.
    void ShowDialog(const DialogContent& dialog) override { dialogs_.push_back(dialog); }
    const std::vector<DialogContent>& Dialogs() const { return dialogs_; }

  private:
    OleControl& control_;
    bool userMode_ = true;
    std::optional<std::string> openFileAnswer_;
    std::vector<std::string> openFileRequests_;
    std::vector<std::string> events_;
    std::vector<DialogContent> dialogs_;
    std::string cursor_;
    std::vector<std::string> cursorLog_;
    std::array<ScrollBarState, 2> bars_{};
    int invalidations_ = 0;
    int width_ = 0;
    int height_ = 0;
};

}  // namespace platform
