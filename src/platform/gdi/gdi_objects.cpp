#include "platform/gdi/gdi_objects.h"

#include <cstdlib>

#include <new>

namespace platform::gdi {

std::recursive_mutex& ObjectMutex() {
    static std::recursive_mutex mutex;
    return mutex;
}

Dc::~Dc() {
    std::lock_guard lock(ObjectMutex());
    if (bitmapObject) {
        --bitmapObject->selections;
        if (bitmapObject->selectedInto == self) bitmapObject->selectedInto = 0;
    }
    if (brushObject) --brushObject->selections;
    if (penObject) --penObject->selections;
    if (paletteObject) --paletteObject->selections;
    if (fontObject) --fontObject->selections;
}

HANDLE32 RegisterObject(HandleKind kind, std::shared_ptr<GdiObject> object) {
    return InsertHandle(kind, std::static_pointer_cast<void>(std::move(object)));
}

std::shared_ptr<GdiObject> LookupObject(HANDLE32 handle, HandleKind kind) {
    return Lookup<GdiObject>(handle, kind);
}

std::shared_ptr<Bitmap> LookupBitmap(HBITMAP handle) {
    return std::static_pointer_cast<Bitmap>(LookupObject(handle, HandleKind::Bitmap));
}

std::shared_ptr<Palette> LookupPalette(HPALETTE handle) {
    return std::static_pointer_cast<Palette>(LookupObject(handle, HandleKind::Palette));
}

std::shared_ptr<Brush> LookupBrush(HBRUSH handle) {
    return std::static_pointer_cast<Brush>(LookupObject(handle, HandleKind::Brush));
}

std::shared_ptr<Dc> LookupDc(HDC handle) {
    return Lookup<Dc>(handle, HandleKind::Dc);
}

std::shared_ptr<Pen> LookupPen(HPEN handle) {
    return std::static_pointer_cast<Pen>(LookupObject(handle, HandleKind::Pen));
}

std::shared_ptr<Region> LookupRegion(HRGN handle) {
    return std::static_pointer_cast<Region>(LookupObject(handle, HandleKind::Region));
}

std::shared_ptr<Bitmap> AllocateBitmap(int width, int height, int bitCount, bool topDown) {
    if (width <= 0 || height <= 0) return nullptr;
    const int64_t stride = ((static_cast<int64_t>(width) * bitCount + 31) / 32) * 4;
    const int64_t size = stride * height;
    if (stride > INT32_MAX || size > INT32_MAX) return nullptr;
    auto bitmap = std::make_shared<Bitmap>();
    bitmap->pixels.reset(static_cast<uint8_t*>(AllocatePictureMemory(static_cast<size_t>(size), true)));
    if (!bitmap->pixels) return nullptr;
    bitmap->width = width;
    bitmap->height = height;
    bitmap->bitCount = bitCount;
    bitmap->stride = static_cast<int>(stride);
    bitmap->topDown = topDown;
    bitmap->sizeBytes = static_cast<size_t>(size);
    return bitmap;
}

namespace {

struct StockTable {
    HGDIOBJ brushes[6] = {};
    HPEN pens[3] = {};  // white, black, null
    HPALETTE palette = 0;
    HBITMAP bitmap = 0;
};

HBRUSH MakeStockBrush(COLORREF color, bool hollow) {
    auto brush = std::make_shared<Brush>();
    brush->stock = true;
    brush->color = color;
    brush->hollow = hollow;
    return RegisterObject(HandleKind::Brush, brush);
}

HPEN MakeStockPen(COLORREF color, int style) {
    auto pen = std::make_shared<Pen>();
    pen->stock = true;
    pen->color = color;
    pen->style = style;
    return RegisterObject(HandleKind::Pen, pen);
}

const StockTable& Stock() {
    static const StockTable table = [] {
        StockTable t;
        t.brushes[0] = MakeStockBrush(RGB(255, 255, 255), false);
        t.brushes[1] = MakeStockBrush(RGB(192, 192, 192), false);
        t.brushes[2] = MakeStockBrush(RGB(128, 128, 128), false);
        t.brushes[3] = MakeStockBrush(RGB(64, 64, 64), false);
        t.brushes[4] = MakeStockBrush(RGB(0, 0, 0), false);
        t.brushes[5] = MakeStockBrush(RGB(0, 0, 0), true);
        t.pens[0] = MakeStockPen(RGB(255, 255, 255), 0);
        t.pens[1] = MakeStockPen(RGB(0, 0, 0), 0);
        t.pens[2] = MakeStockPen(RGB(0, 0, 0), 5);  // PS_NULL
        auto palette = std::make_shared<Palette>();
        palette->stock = true;
        for (const RGBQUAD& q : StaticColors())
            palette->entries.push_back(PALETTEENTRY{q.rgbRed, q.rgbGreen, q.rgbBlue, 0});
        t.palette = RegisterObject(HandleKind::Palette, palette);
        auto bitmap = CreateMonochromeBitmap(1, 1);
        bitmap->stock = true;
        t.bitmap = RegisterObject(HandleKind::Bitmap, bitmap);
        return t;
    }();
    return table;
}

}  // namespace

HGDIOBJ StockObject(int index) {
    const StockTable& t = Stock();
    if (index >= 0 && index <= 5) return t.brushes[index];
    if (index >= 6 && index <= 8) return t.pens[index - 6];
    if (index == 15) return t.palette;
    return 0;
}

HBITMAP StockBitmap() {
    return Stock().bitmap;
}
HPEN StockPen(int index) {
    return index >= 6 && index <= 8 ? Stock().pens[index - 6] : 0;
}

HPALETTE StockPalette() {
    return Stock().palette;
}

std::shared_ptr<Bitmap> DcSurface(const Dc& dc) {
    if (!dc.memory) return ScreenSurface();
    return dc.bitmapObject;
}

}  // namespace platform::gdi
