// Hatched and indirectly described brushes.
#include "platform/gdi/gdi_draw.h"
#include "platform/gdi/gdi_objects.h"

namespace platform {

namespace gdi {

uint8_t HatchRow(int hatch, int y) {
    y &= 7;
    // Bit x (counted from the left, bit 7 first) marks column x.
    const uint8_t horizontal = y == 7 ? 0xFF : 0x00;
    const uint8_t vertical = 0x01;                            // column 7
    const uint8_t falling = static_cast<uint8_t>(0x80 >> y);  // x == y: top left to bottom right
    const uint8_t rising = static_cast<uint8_t>(0x01 << y);   // x == 7 - y
    switch (hatch) {
        case HS_HORIZONTAL:
            return horizontal;
        case HS_VERTICAL:
            return vertical;
        case HS_FDIAGONAL:
            return falling;
        case HS_BDIAGONAL:
            return rising;
        case HS_CROSS:
            return horizontal | vertical;
        case HS_DIAGCROSS:
            return falling | rising;
        default:
            return 0;
    }
}

}  // namespace gdi

HBRUSH CreateHatchBrush(int hatch, COLORREF color) {
    if (hatch < HS_HORIZONTAL || hatch > HS_DIAGCROSS) return 0;
    auto brush = std::make_shared<gdi::Brush>();
    brush->color = color & 0x00FFFFFF;
    brush->hatched = true;
    brush->hatch = hatch;
    return gdi::RegisterObject(HandleKind::Brush, brush);
}

HBRUSH CreateBrushIndirect(const LOGBRUSH* brush) {
    if (!brush) return 0;
    switch (brush->lbStyle) {
        case BS_SOLID:
            return CreateSolidBrush(brush->lbColor);
        case BS_NULL: {
            auto hollow = std::make_shared<gdi::Brush>();
            hollow->hollow = true;
            return gdi::RegisterObject(HandleKind::Brush, hollow);
        }
        case BS_HATCHED:
            return CreateHatchBrush(static_cast<int>(brush->lbHatch), brush->lbColor);
        default:
            return 0;
    }
}

}  // namespace platform
