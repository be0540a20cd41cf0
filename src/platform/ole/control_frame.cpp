#include "platform/ole/control_frame.h"

#include "platform/gdi/gdi.h"
#include "platform/gdi/gdi_draw.h"
#include "platform/ole/system_colors.h"

namespace platform {

namespace {

constexpr int COLOR_WINDOWFRAME = 6;
constexpr int COLOR_3DDKSHADOW = 21;
constexpr int COLOR_3DLIGHT = 22;

void Fill(HDC dc, int left, int top, int right, int bottom, COLORREF color) {
    if (right <= left || bottom <= top) return;
    const HBRUSH brush = CreateSolidBrush(color);
    const RECT rect{left, top, right, bottom};
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
}

// One ring of the rectangle: the upper and left lines in one colour, the lower and right
// ones (corners included) in the other.
void Ring(HDC dc, const RECT& r, COLORREF upperLeft, COLORREF lowerRight) {
    Fill(dc, r.left, r.top, r.right - 1, r.top + 1, upperLeft);
    Fill(dc, r.left, r.top, r.left + 1, r.bottom - 1, upperLeft);
    Fill(dc, r.left, r.bottom - 1, r.right, r.bottom, lowerRight);
    Fill(dc, r.right - 1, r.top, r.right, r.bottom, lowerRight);
}

}  // namespace

void DrawControlFrame(HDC dc, int width, int height, int16_t borderStyle, int16_t appearance) {
    RECT r{0, 0, width, height};
    auto shrink = [&r] { r = RECT{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1}; };
    if (borderStyle != 0) {
        const COLORREF frame = GetSysColor(COLOR_WINDOWFRAME);
        Ring(dc, r, frame, frame);
        shrink();
    }
    if (appearance != 0) {
        // Sunken: shadow above and left, light below and right, darker on the inner ring.
        Ring(dc, r, GetSysColor(COLOR_BTNSHADOW), GetSysColor(COLOR_BTNHIGHLIGHT));
        shrink();
        Ring(dc, r, GetSysColor(COLOR_3DDKSHADOW), GetSysColor(COLOR_3DLIGHT));
    }
}

}  // namespace platform
