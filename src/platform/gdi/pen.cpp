// Pens and the DC modes that decide how they combine with what is already drawn.
#include "platform/gdi/gdi_draw.h"
#include "platform/gdi/gdi_objects.h"

namespace platform {

HPEN CreatePen(int style, int width, COLORREF color) {
    if (style < PS_SOLID || style > PS_INSIDEFRAME) return 0;
    auto pen = std::make_shared<gdi::Pen>();
    pen->style = style;
    pen->width = width < 0 ? 0 : width;
    pen->color = color & 0x00FFFFFF;
    return gdi::RegisterObject(HandleKind::Pen, pen);
}

namespace {

// Replaces an integer mode of the DC when it lies in [low, high]; the previous value, 0 on
// failure.
int ExchangeMode(HDC dc, int gdi::Dc::*field, int value, int low, int high) {
    auto target = gdi::LookupDc(dc);
    if (!target || value < low || value > high) return 0;
    const int previous = (*target).*field;
    (*target).*field = value;
    return previous;
}

int ReadMode(HDC dc, int gdi::Dc::*field) {
    auto target = gdi::LookupDc(dc);
    return target ? (*target).*field : 0;
}

}  // namespace

int SetROP2(HDC dc, int mode) {
    return ExchangeMode(dc, &gdi::Dc::rop2, mode, R2_BLACK, R2_WHITE);
}
int GetROP2(HDC dc) {
    return ReadMode(dc, &gdi::Dc::rop2);
}
int SetBkMode(HDC dc, int mode) {
    return ExchangeMode(dc, &gdi::Dc::bkMode, mode, TRANSPARENT, OPAQUE);
}
int GetBkMode(HDC dc) {
    return ReadMode(dc, &gdi::Dc::bkMode);
}
int SetPolyFillMode(HDC dc, int mode) {
    return ExchangeMode(dc, &gdi::Dc::polyFillMode, mode, ALTERNATE, WINDING);
}
int GetPolyFillMode(HDC dc) {
    return ReadMode(dc, &gdi::Dc::polyFillMode);
}

}  // namespace platform
