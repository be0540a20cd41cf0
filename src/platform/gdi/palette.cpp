// Logical palettes: creation, selection into DCs, realisation into the system palette.
#include <algorithm>

#include "platform/gdi/gdi.h"
#include "platform/gdi/gdi_objects.h"
#include "platform/gdi/pixel_format.h"

namespace platform {

using gdi::ObjectMutex;

HPALETTE CreatePalette(const LOGPALETTE* palette) {
    if (!palette || palette->palNumEntries == 0 || palette->palNumEntries > 256) return 0;
    auto object = std::make_shared<gdi::Palette>();
    object->entries.assign(palette->palPalEntry, palette->palPalEntry + palette->palNumEntries);
    return gdi::RegisterObject(HandleKind::Palette, object);
}

HPALETTE SelectPalette(HDC dc, HPALETTE palette, bool forceBackground) {
    auto target = gdi::LookupDc(dc);
    auto object = gdi::LookupPalette(palette);
    if (!target || !object) return 0;
    std::lock_guard lock(ObjectMutex());
    const HPALETTE previous = target->palette;
    if (target->paletteObject) --target->paletteObject->selections;
    target->palette = palette;
    target->paletteObject = object;
    target->paletteBackground = forceBackground;
    ++object->selections;
    return previous;
}

uint32_t RealizePalette(HDC dc) {
    auto target = gdi::LookupDc(dc);
    if (!target) return 0;
    std::vector<PALETTEENTRY> entries;
    bool background;
    {
        std::lock_guard lock(ObjectMutex());
        // The default palette holds the static colours only: nothing to map.
        if (!target->paletteObject || target->paletteObject->stock) return 0;
        entries = target->paletteObject->entries;
        background = target->paletteBackground;
    }
    return gdi::RealizeInSystemPalette(entries, background);
}

uint32_t GetPaletteEntries(HPALETTE palette, uint32_t start, uint32_t count,
                           PALETTEENTRY* entries) {
    auto object = gdi::LookupPalette(palette);
    if (!object) return 0;
    std::lock_guard lock(ObjectMutex());
    const auto size = static_cast<uint32_t>(object->entries.size());
    if (!entries) return size;
    if (start >= size) return 0;
    const uint32_t n = std::min(count, size - start);
    std::copy_n(object->entries.begin() + start, n, entries);
    return n;
}

uint32_t SetPaletteEntries(HPALETTE palette, uint32_t start, uint32_t count,
                           const PALETTEENTRY* entries) {
    auto object = gdi::LookupPalette(palette);
    if (!object || !entries || object->stock) return 0;
    std::lock_guard lock(ObjectMutex());
    const auto size = static_cast<uint32_t>(object->entries.size());
    if (start >= size) return 0;
    const uint32_t n = std::min(count, size - start);
    std::copy_n(entries, n, object->entries.begin() + start);
    return n;
}

uint32_t GetNearestPaletteIndex(HPALETTE palette, COLORREF color) {
    auto object = gdi::LookupPalette(palette);
    if (!object) return CLR_INVALID;
    std::lock_guard lock(ObjectMutex());
    std::vector<RGBQUAD> table;
    table.reserve(object->entries.size());
    for (const PALETTEENTRY& e : object->entries)
        table.push_back(RGBQUAD{e.peBlue, e.peGreen, e.peRed, 0});
    return gdi::NearestIndex(table.data(), table.size(), nullptr, GetRValue(color),
                             GetGValue(color), GetBValue(color));
}

}  // namespace platform
