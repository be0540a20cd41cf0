// What a host provides to a control it embeds: ambient properties, and receivers for what the
// control tells it (repaints, events, cursor, scroll bars, size), plus the open-file dialog.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ole/variant.h"
#include "platform/os/wintypes.h"

namespace platform {

enum { SB_HORZ = 0, SB_VERT = 1, SB_BOTH = 3 };
enum {
    SB_LINEUP = 0,
    SB_LINELEFT = 0,
    SB_LINEDOWN = 1,
    SB_LINERIGHT = 1,
    SB_PAGEUP = 2,
    SB_PAGELEFT = 2,
    SB_PAGEDOWN = 3,
    SB_PAGERIGHT = 3,
    SB_THUMBPOSITION = 4,
    SB_THUMBTRACK = 5,
    SB_TOP = 6,
    SB_BOTTOM = 7,
    SB_ENDSCROLL = 8,
};

struct ScrollBarState {
    int min = 0;
    int max = 0;
    int pos = 0;
    bool visible = false;
    bool operator==(const ScrollBarState&) const = default;
};

// A modal dialog the control asks its host to show (the About box): title, the icon's resource
// name and the lines of text, shown above an OK button.
struct DialogContent {
    std::string kind;  // "About"
    std::string title;
    std::string icon;
    std::vector<std::string> lines;
};

class ControlSite {
  public:
    virtual ~ControlSite() = default;

    // False while the host is designing the form.
    virtual bool AmbientUserMode() const = 0;
    // The control wants (part of) its window repainted; rect null means all of it.
    virtual void OnInvalidate(const RECT* rect, bool erase) = 0;
    virtual void OnEvent(DISPID dispid, std::string_view name,
                         const std::vector<Variant>& args) = 0;
    virtual void OnCursorChanged(std::string_view cursor) = 0;
    virtual void OnScrollBarChanged(int bar, const ScrollBarState& state) = 0;
    // The control's extent changed (pixels).
    virtual void OnExtentChanged(int width, int height) = 0;
    // The open-file dialog: the chosen path, or nothing when the user cancels.
    virtual std::optional<std::string> GetOpenFileName(std::string_view filter,
                                                       std::string_view title) = 0;
    // Shows the dialog and returns when it is closed. A host without dialogs shows nothing.
    virtual void ShowDialog(const DialogContent& /*dialog*/) {}
};

}  // namespace platform
