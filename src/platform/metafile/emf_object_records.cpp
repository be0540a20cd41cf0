// Object records: pens, brushes, fonts and palettes made into the table's slots, selected and
// deleted. Pens and fonts are made for the device only when selected, at that moment's scale.
#include "platform/metafile/emf_player.h"

#include "platform/os/handles.h"

namespace platform::emf {

void EnhancedPlayer::ObjectRecord(uint32_t type, const meta::Reader& r) {
    switch (type) {
        case 38: {  // CreatePen
            const uint32_t slot = r.U32(8);
            if (slot >= recorded_.size() || r.Size() < 28) break;
            Recorded rec;
            rec.kind = Recorded::kPen;
            rec.penStyle = static_cast<int>(r.U32(12) & 0x0F);
            if (rec.penStyle > PS_INSIDEFRAME) rec.penStyle = PS_SOLID;
            rec.penWidth = std::abs(r.I32(16));
            rec.penColor = r.U32(24);
            objects_.Delete(slot);
            recorded_[slot] = rec;
            break;
        }
        case 95: {  // ExtCreatePen: brush patterns are drawn solid
            const uint32_t slot = r.U32(8);
            if (slot >= recorded_.size() || r.Size() < 52) break;
            const uint32_t style = r.U32(28);
            Recorded rec;
            rec.kind = Recorded::kPen;
            rec.penStyle = static_cast<int>(style & 0x0F);
            if (rec.penStyle > PS_INSIDEFRAME) rec.penStyle = PS_SOLID;
            if (r.U32(36) == BS_NULL) rec.penStyle = PS_NULL;
            rec.penWidth = (style & 0x00010000) ? r.U32(32) : 0;  // cosmetic pens stay thin
            rec.penColor = r.U32(40);
            objects_.Delete(slot);
            recorded_[slot] = rec;
            break;
        }
        case 39: {  // CreateBrushIndirect
            const uint32_t slot = r.U32(8);
            if (slot >= recorded_.size()) break;
            LOGBRUSH b{r.U32(12), r.U32(16), r.U32(20)};
            if (b.lbStyle != BS_SOLID && b.lbStyle != BS_NULL && b.lbStyle != BS_HATCHED)
                b.lbStyle = BS_SOLID;
            if (b.lbStyle == BS_HATCHED && b.lbHatch > HS_DIAGCROSS) b.lbHatch = HS_CROSS;
            recorded_[slot] = Recorded{};
            objects_.Put(slot, CreateBrushIndirect(&b));
            break;
        }
        case 93:    // CreateMonoBrush
        case 94: {  // CreateDIBPatternBrushPt: the raster engine has no pattern brushes
            const uint32_t slot = r.U32(8);
            if (slot >= recorded_.size()) break;
            meta::CheckedDib dib;
            const uint32_t usage = r.U32(12) == DIB_PAL_COLORS ? DIB_PAL_COLORS : DIB_RGB_COLORS;
            const auto header = r.Sub(r.U32(16), r.U32(20));
            const auto pixels = r.Sub(r.U32(24), r.U32(28));
            const COLORREF color = !header.empty() && meta::CheckDib(header, pixels, usage, dib) &&
                                           usage == DIB_RGB_COLORS
                                       ? meta::AverageColor(dib)
                                       : RGB(128, 128, 128);
            recorded_[slot] = Recorded{};
            objects_.Put(slot, CreateSolidBrush(color));
            break;
        }
        case 82: {  // ExtCreateFontIndirectW
            const uint32_t slot = r.U32(8);
            if (slot >= recorded_.size() || r.Size() < 44) break;
            Recorded rec;
            rec.kind = Recorded::kFont;
            rec.font.lfHeight = r.I32(12);
            rec.font.lfWidth = r.I32(16);
            rec.font.lfEscapement = r.I32(20);
            rec.font.lfWeight = r.I32(28);
            rec.font.lfItalic = r.U8(32);
            rec.font.lfUnderline = r.U8(33);
            rec.font.lfStrikeOut = r.U8(34);
            objects_.Delete(slot);
            recorded_[slot] = rec;
            break;
        }
        case 49: {  // CreatePalette
            const uint32_t slot = r.U32(8);
            if (slot >= recorded_.size()) break;
            LOGPALETTE pal{};
            pal.palVersion = 0x300;
            const uint16_t count = std::min<uint16_t>(r.U16(14), 256);
            if (count == 0 || !r.Has(16, size_t{count} * 4)) break;
            pal.palNumEntries = count;
            std::memcpy(pal.palPalEntry, r.Sub(16, size_t{count} * 4).data(), size_t{count} * 4);
            recorded_[slot] = Recorded{};
            objects_.Put(slot, CreatePalette(&pal));
            break;
        }
        case 37:
        case 48:
            Select(r.U32(8));
            break;
        case 52:
            RealizePalette(dc_);
            break;
        case 40: {
            const uint32_t slot = r.U32(8);
            if (slot < recorded_.size()) recorded_[slot] = Recorded{};
            objects_.Delete(slot);
            break;
        }
        default:
            break;
    }
}

void EnhancedPlayer::Select(uint32_t index) {
    if (index & 0x80000000u) {
        const int stock = static_cast<int>(index & 0x7FFFFFFF);
        if (stock <= NULL_PEN || stock == DEFAULT_PALETTE) {
            const HGDIOBJ object = GetStockObject(stock);
            if (stock == DEFAULT_PALETTE)
                SelectPalette(dc_, object, false);
            else if (object)
                SelectObject(dc_, object);
        } else if (stock >= 10 && stock <= 17) {
            // Stock fonts: the default face at its default size.
            const LOGFONT plain{};
            const HFONT font = CreateFontIndirect(&plain);
            if (font) {
                SelectObject(dc_, font);
                made_.push_back(font);
            }
        }
        return;
    }
    if (index >= recorded_.size()) return;
    const Recorded& rec = recorded_[index];
    if (rec.kind == Recorded::kPen) {
        // Cosmetic pens stay one pixel; geometric ones scale with the transform.
        const double scaled = Scale() * rec.penWidth;
        const int width = scaled < 1.5 ? 1 : ClampCoord(scaled);
        const HPEN pen = CreatePen(rec.penStyle, width, rec.penColor);
        if (pen) {
            SelectObject(dc_, pen);
            made_.push_back(pen);
        }
    } else if (rec.kind == Recorded::kFont) {
        LOGFONT font = rec.font;
        const double height = std::fabs(font.lfHeight * total_.d);
        font.lfHeight = font.lfHeight == 0  ? 0
                        : font.lfHeight < 0 ? -std::max(1, ClampCoord(height))
                                            : std::max(1, ClampCoord(height));
        const double sx = std::fabs(total_.a), sy = std::fabs(total_.d);
        if (font.lfWidth != 0) {
            font.lfWidth = std::max(1, ClampCoord(std::fabs(font.lfWidth * sx)));
        } else if (sy > 0 && std::fabs(sx / sy - 1) > 0.05) {
            // Unequal scales: glyphs are squeezed or stretched with the picture.
            const HFONT probe = CreateFontIndirect(&font);
            const HGDIOBJ previous = SelectObject(dc_, probe);
            TEXTMETRIC tm{};
            if (GetTextMetrics(dc_, &tm))
                font.lfWidth = std::max(1, ClampCoord(tm.tmAveCharWidth * sx / sy));
            if (previous) SelectObject(dc_, previous);
            if (!previous || !DeleteObject(probe)) made_.push_back(probe);
        }
        const HFONT made = CreateFontIndirect(&font);
        if (made) {
            SelectObject(dc_, made);
            made_.push_back(made);
        }
    } else if (const HGDIOBJ object = objects_.Get(index)) {
        if (HandleKindOf(object) == HandleKind::Palette)
            SelectPalette(dc_, object, false);
        else
            SelectObject(dc_, object);
    }
}

}  // namespace platform::emf
