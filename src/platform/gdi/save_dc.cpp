// The stack of saved drawing states behind SaveDC and RestoreDC.
#include "platform/gdi/gdi_draw.h"
#include "platform/gdi/gdi_objects.h"

namespace platform {

int SaveDC(HDC dc) {
    auto target = gdi::LookupDc(dc);
    if (!target) return 0;
    std::lock_guard lock(gdi::ObjectMutex());
    gdi::DcState state;
    state.bitmap = target->bitmap;
    state.brush = target->brush;
    state.pen = target->pen;
    state.palette = target->palette;
    state.paletteBackground = target->paletteBackground;
    state.bkColor = target->bkColor;
    state.textColor = target->textColor;
    state.stretchMode = target->stretchMode;
    state.rop2 = target->rop2;
    state.bkMode = target->bkMode;
    state.polyFillMode = target->polyFillMode;
    state.mapping = target->mapping;
    state.position = target->position;
    state.hasClip = target->hasClip;
    state.clip = target->clip;
    state.font = target->font;
    state.textAlign = target->textAlign;
    target->saved.push_back(std::move(state));
    return static_cast<int>(target->saved.size());
}

bool RestoreDC(HDC dc, int level) {
    auto target = gdi::LookupDc(dc);
    if (!target) return false;
    std::lock_guard lock(gdi::ObjectMutex());
    const int count = static_cast<int>(target->saved.size());
    const int index = level < 0 ? count + level + 1 : level;
    if (level == 0 || index < 1 || index > count) return false;
    gdi::DcState state = std::move(target->saved[static_cast<size_t>(index - 1)]);
    target->saved.resize(static_cast<size_t>(index - 1));
    // Objects go back through selection so their selection counts stay right; one deleted
    // meanwhile stays replaced.
    if (state.bitmap && state.bitmap != target->bitmap) SelectObject(dc, state.bitmap);
    if (state.brush) SelectObject(dc, state.brush);
    if (state.pen) SelectObject(dc, state.pen);
    if (state.font) {
        SelectObject(dc, state.font);
    } else if (target->fontObject) {
        --target->fontObject->selections;
        target->font = 0;
        target->fontObject.reset();
    }
    target->textAlign = state.textAlign;
    if (state.palette && state.palette != target->palette)
        SelectPalette(dc, state.palette, state.paletteBackground);
    target->bkColor = state.bkColor;
    target->textColor = state.textColor;
    target->stretchMode = state.stretchMode;
    target->rop2 = state.rop2;
    target->bkMode = state.bkMode;
    target->polyFillMode = state.polyFillMode;
    target->mapping = state.mapping;
    target->position = state.position;
    target->hasClip = state.hasClip;
    target->clip = std::move(state.clip);
    return true;
}

}  // namespace platform
