// Device contexts and object selection, brushes, stock objects and GetObject.
#include <cstring>

#include "platform/gdi/gdi.h"
#include "platform/gdi/gdi_draw.h"
#include "platform/gdi/gdi_objects.h"

namespace platform {

using gdi::Dc;
using gdi::ObjectMutex;

namespace {

HDC RegisterDc(bool memory) {
    auto dc = std::make_shared<Dc>();
    dc->memory = memory;
    {
        std::lock_guard lock(ObjectMutex());
        if (memory) {
            dc->bitmap = gdi::StockBitmap();
            dc->bitmapObject = gdi::LookupBitmap(dc->bitmap);
            if (!dc->bitmapObject) return 0;
            ++dc->bitmapObject->selections;
        }
        dc->brush = gdi::StockObject(WHITE_BRUSH);
        dc->brushObject = gdi::LookupBrush(dc->brush);
        dc->palette = gdi::StockPalette();
        dc->paletteObject = gdi::LookupPalette(dc->palette);
        dc->pen = gdi::StockPen(BLACK_PEN);
        dc->penObject = gdi::LookupPen(dc->pen);
        if (!dc->brushObject || !dc->paletteObject || !dc->penObject) return 0;
        ++dc->brushObject->selections;
        ++dc->paletteObject->selections;
        ++dc->penObject->selections;
    }
    Dc* raw = dc.get();
    const HDC handle = InsertHandle(HandleKind::Dc, dc);
    raw->self = handle;  // before anyone can select into it: the handle is not yet handed out
    return handle;
}

}  // namespace

HDC CreateCompatibleDC(HDC dc) {
    if (dc != 0 && !gdi::LookupDc(dc)) return 0;
    return RegisterDc(true);
}

bool DeleteDC(HDC dc) {
    return RemoveHandle(dc, HandleKind::Dc);
}

HDC GetDC(uint32_t /*window*/) {
    return RegisterDc(false);
}

int ReleaseDC(uint32_t /*window*/, HDC dc) {
    auto object = gdi::LookupDc(dc);
    if (!object || object->memory) return 0;
    return RemoveHandle(dc, HandleKind::Dc) ? 1 : 0;
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
    auto target = gdi::LookupDc(dc);
    if (!target) return 0;
    if (HandleKindOf(object) == HandleKind::Region) {
        const int kind = SelectClipRgn(dc, object);
        return kind == RGN_ERROR ? 0 : static_cast<HGDIOBJ>(kind);
    }
    std::lock_guard lock(ObjectMutex());
    switch (HandleKindOf(object)) {
        case HandleKind::Bitmap: {
            if (!target->memory) return 0;
            auto bitmap = gdi::LookupBitmap(object);
            if (!bitmap) return 0;
            if (bitmap == target->bitmapObject) return object;
            // A bitmap lives in one DC at a time; the stock bitmap may sit in many.
            if (!bitmap->stock && bitmap->selectedInto != 0) return 0;
            const HGDIOBJ previous = target->bitmap;
            if (target->bitmapObject) {
                --target->bitmapObject->selections;
                if (target->bitmapObject->selectedInto == dc)
                    target->bitmapObject->selectedInto = 0;
            }
            target->bitmap = object;
            target->bitmapObject = bitmap;
            ++bitmap->selections;
            if (!bitmap->stock) bitmap->selectedInto = dc;
            return previous;
        }
        case HandleKind::Brush: {
            auto brush = gdi::LookupBrush(object);
            if (!brush) return 0;
            const HGDIOBJ previous = target->brush;
            if (target->brushObject) --target->brushObject->selections;
            target->brush = object;
            target->brushObject = brush;
            ++brush->selections;
            return previous;
        }
        case HandleKind::Pen: {
            auto pen = gdi::LookupPen(object);
            if (!pen) return 0;
            const HGDIOBJ previous = target->pen;
            if (target->penObject) --target->penObject->selections;
            target->pen = object;
            target->penObject = pen;
            ++pen->selections;
            return previous;
        }
        case HandleKind::Font: {
            auto font = gdi::LookupObject(object, HandleKind::Font);
            if (!font) return 0;
            const HGDIOBJ previous = target->font;
            if (target->fontObject) --target->fontObject->selections;
            target->font = object;
            target->fontObject = font;
            ++font->selections;
            return previous;
        }
        default:
            return 0;
    }
}

HGDIOBJ GetCurrentObject(HDC dc, uint32_t objectType) {
    auto target = gdi::LookupDc(dc);
    if (!target) return 0;
    std::lock_guard lock(ObjectMutex());
    switch (objectType) {
        case OBJ_BITMAP:
            return target->bitmap;
        case OBJ_BRUSH:
            return target->brush;
        case OBJ_PEN:
            return target->pen;
        case OBJ_PAL:
            return target->palette;
        case OBJ_FONT:
            return target->font;
        default:
            return 0;
    }
}

bool DeleteObject(HGDIOBJ object) {
    const HandleKind kind = HandleKindOf(object);
    if (kind != HandleKind::Bitmap && kind != HandleKind::Palette && kind != HandleKind::Brush &&
        kind != HandleKind::Pen && kind != HandleKind::Font && kind != HandleKind::Region)
        return false;
    std::lock_guard lock(ObjectMutex());
    auto found = gdi::LookupObject(object, kind);
    if (!found || found->stock || found->selections > 0) return false;
    return RemoveHandle(object, kind);
}

COLORREF SetBkColor(HDC dc, COLORREF color) {
    auto target = gdi::LookupDc(dc);
    if (!target) return CLR_INVALID;
    const COLORREF previous = target->bkColor;
    target->bkColor = color & 0x00FFFFFF;
    return previous;
}

COLORREF GetBkColor(HDC dc) {
    auto target = gdi::LookupDc(dc);
    return target ? target->bkColor : CLR_INVALID;
}

COLORREF SetTextColor(HDC dc, COLORREF color) {
    auto target = gdi::LookupDc(dc);
    if (!target) return CLR_INVALID;
    const COLORREF previous = target->textColor;
    target->textColor = color & 0x00FFFFFF;
    return previous;
}

COLORREF GetTextColor(HDC dc) {
    auto target = gdi::LookupDc(dc);
    return target ? target->textColor : CLR_INVALID;
}

int SetStretchBltMode(HDC dc, int mode) {
    auto target = gdi::LookupDc(dc);
    if (!target || mode < BLACKONWHITE || mode > HALFTONE) return 0;
    const int previous = target->stretchMode;
    target->stretchMode = mode;
    return previous;
}

int GetStretchBltMode(HDC dc) {
    auto target = gdi::LookupDc(dc);
    return target ? target->stretchMode : 0;
}

HGDIOBJ GetStockObject(int object) {
    return gdi::StockObject(object);
}

HBRUSH CreateSolidBrush(COLORREF color) {
    auto brush = std::make_shared<gdi::Brush>();
    brush->color = color & 0x00FFFFFF;
    return gdi::RegisterObject(HandleKind::Brush, brush);
}

extern "C" int GetObject(HGDIOBJ object, int size, void* out) {
    switch (HandleKindOf(object)) {
        case HandleKind::Bitmap: {
            auto bitmap = gdi::LookupBitmap(object);
            if (!bitmap) return 0;
            if (!out) return static_cast<int>(sizeof(BITMAP));
            if (size < static_cast<int>(sizeof(BITMAP))) return 0;
            BITMAP bm{};
            bm.bmType = 0;
            bm.bmWidth = bitmap->width;
            bm.bmHeight = bitmap->height;
            // Device bitmaps report rows padded to 16 bits, as GDI's do.
            bm.bmWidthBytes =
                bitmap->dibSection
                    ? bitmap->stride
                    : static_cast<int32_t>(((int64_t{bitmap->width} * bitmap->bitCount + 15) / 16) *
                                           2);
            bm.bmPlanes = 1;
            bm.bmBitsPixel = static_cast<uint16_t>(bitmap->bitCount);
            bm.bmBits = bitmap->dibSection ? bitmap->pixels.get() : nullptr;
            std::memcpy(out, &bm, sizeof bm);
            return static_cast<int>(sizeof bm);
        }
        case HandleKind::Palette: {
            auto palette = gdi::LookupPalette(object);
            if (!palette) return 0;
            if (!out) return 2;
            if (size < 2) return 0;
            const auto count = static_cast<uint16_t>(palette->entries.size());
            std::memcpy(out, &count, 2);
            return 2;
        }
        default:
            return 0;
    }
}

}  // namespace platform
