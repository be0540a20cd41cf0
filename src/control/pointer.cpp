// The mouse pointer shown over the control: the cursor table behind MousePointer, the custom
// cursor from MouseIcon, and the cursor set again on every mouse move before MouseMove fires.
#include <string_view>

#include "control/lumora_ctrl.h"
#include "control/picture_property.h"
#include "platform/metafile/metafile.h"

namespace control {

namespace {

namespace cursor = platform::cursor;

// MousePointer 0..15 in order.
constexpr std::string_view kCursorTable[] = {
    cursor::kArrow,    cursor::kArrow,       cursor::kCross,    cursor::kIBeam,
    cursor::kArrow,    cursor::kSizeAll,     cursor::kSizeNESW, cursor::kSizeNS,
    cursor::kSizeNWSE, cursor::kSizeWE,      cursor::kUpArrow,  cursor::kWait,
    cursor::kNo,       cursor::kAppStarting, cursor::kHelp,     cursor::kSizeAll,
};

constexpr int16_t kPictureTypeIcon = 3;

}  // namespace

// The cursor for the current MousePointer; 99 without a custom cursor hides it.
void CLumoraCtrl::ShowPointer() {
    const int16_t value = pointer_.mousePointer;
    if (value == kCustomPointer)
        SetCursor(pointer_.customCursor ? cursor::kCustom : cursor::kNone);
    else if (value >= 0 && value < static_cast<int16_t>(std::size(kCursorTable)))
        SetCursor(kCursorTable[static_cast<size_t>(value)]);
}

void CLumoraCtrl::SetMousePointer(int16_t value) {
    if (value != kCustomPointer && (value < 0 || value > 15))
        ThrowError(platform::CTL_E_INVALIDPROPERTYVALUE);
    pointer_.mousePointer = value;
    // The custom cursor waits for the next mouse move.
    if (value != kCustomPointer) ShowPointer();
    SetModifiedFlag();
}

void CLumoraCtrl::SetMouseIcon(const std::shared_ptr<platform::Dispatch>& picture) {
    SetModifiedFlag();
    if (!picture || GetPictureProperty(*picture, platform::DISPID_PICT_TYPE) != kPictureTypeIcon)
        return;
    const auto icon =
        static_cast<platform::HICON>(GetPictureProperty(*picture, platform::DISPID_PICT_HANDLE));
    const platform::HICON copy = icon ? platform::CopyIcon(icon) : 0;
    if (!copy) return;
    ReleaseCustomCursor();
    pointer_.customCursor = copy;
    SetCursor(cursor::kCustom);
}

void CLumoraCtrl::ReleaseCustomCursor() {
    if (pointer_.customCursor) platform::DestroyIcon(pointer_.customCursor);
    pointer_.customCursor = 0;
}

void CLumoraCtrl::SetHourglassOn(bool value) {
    pointer_.hourglassOn = value;
    SetModifiedFlag();
}

void CLumoraCtrl::OnMouseMove(int16_t button, int16_t shift, int x, int y) {
    // Set on every move, so the platform's own cursor resets never stick.
    ShowPointer();
    OleControl::OnMouseMove(button, shift, x, y);
}

}  // namespace control
