// Text through FreeType: the bundled face, one-bit glyphs (GDI's default has no anti-aliasing),
// alignment against the reference point and an opaque background cell.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/gdi/draw_internal.h"
#include "platform/gdi/gdi_draw.h"
#include "platform/gdi/gdi_objects.h"
#include "platform/gdi/gdi_text.h"
#include "platform/os/install_dirs.h"

namespace platform {

namespace {

struct Font : gdi::GdiObject {
    LOGFONT lf{};
};

// FreeType faces are not thread-safe: every use goes through this lock.
std::mutex& TextMutex() {
    static std::mutex mutex;
    return mutex;
}

class FaceHolder {
  public:
    FaceHolder() {
        if (FT_Init_FreeType(&library_) != 0) {
            library_ = nullptr;
            return;
        }
        std::string path;
        if (const char* env = std::getenv("LUMORA_FONT_PATH"); env && *env)
            path = env;
        else
            path = FontDirectory() + "/DejaVuSans.ttf";
        if (FT_New_Face(library_, path.c_str(), 0, &face_) != 0) face_ = nullptr;
    }
    ~FaceHolder() {
        if (face_) FT_Done_Face(face_);
        if (library_) FT_Done_FreeType(library_);
    }
    FaceHolder(const FaceHolder&) = delete;
    FaceHolder& operator=(const FaceHolder&) = delete;
    FT_Face Face() const { return face_; }

  private:
    FT_Library library_ = nullptr;
    FT_Face face_ = nullptr;
};

FT_Face SharedFace() {
    static FaceHolder holder;
    return holder.Face();
}

// Device pixels of a logical length along y.
int DeviceHeight(const gdi::Mapping& m, int height) {
    const POINT a = gdi::ToDevice(m, 0, 0);
    const POINT b = gdi::ToDevice(m, 0, height);
    return static_cast<int>(std::min<int64_t>(std::llabs(int64_t{b.y} - a.y), 2000));
}

int DeviceWidth(const gdi::Mapping& m, int width) {
    const POINT a = gdi::ToDevice(m, 0, 0);
    const POINT b = gdi::ToDevice(m, width, 0);
    return static_cast<int>(std::clamp<int64_t>(int64_t{b.x} - a.x, -100000, 100000));
}

int LogicalWidth(const gdi::Mapping& m, int width) {
    const POINT a = gdi::ToLogical(m, 0, 0);
    const POINT b = gdi::ToLogical(m, width, 0);
    return static_cast<int>(std::llabs(int64_t{b.x} - a.x));
}

// A face sized for one font on one DC; valid while TextMutex is held.
struct Sized {
    FT_Face face = nullptr;
    LOGFONT lf{};
    int ascent = 0;
    int descent = 0;
    int em = 0;
    bool bold = false;
};

bool SizeFace(const gdi::Dc& dc, Sized& out) {
    out.face = SharedFace();
    if (!out.face) return false;
    if (auto font = std::static_pointer_cast<Font>(dc.fontObject)) out.lf = font->lf;
    const int height = out.lf.lfHeight;
    const FT_Face face = out.face;
    const int cellUnits = std::max(1, face->ascender - face->descender);
    int em;
    if (height < 0) {
        em = DeviceHeight(dc.mapping, -height);
    } else {
        const int cell = height == 0 ? 16 : DeviceHeight(dc.mapping, height);
        em = static_cast<int>(int64_t{cell} * face->units_per_EM / cellUnits);
    }
    out.em = std::clamp(em, 1, 1024);
    if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(out.em)) != 0) return false;
    out.bold = out.lf.lfWeight >= 600;
    FT_Set_Transform(face, nullptr, nullptr);
    if (out.lf.lfWidth != 0 && FT_Load_Char(face, 'x', FT_LOAD_TARGET_MONO) == 0) {
        // A width asks for the average character (measured on 'x') to be that wide.
        const int64_t natural = std::max<int64_t>(1, (face->glyph->advance.x + 32) >> 6);
        const int wanted = std::clamp(std::abs(DeviceWidth(dc.mapping, out.lf.lfWidth)), 1, 1024);
        const auto emX =
            static_cast<FT_UInt>(std::clamp<int64_t>(out.em * wanted / natural, 1, 1024));
        if (FT_Set_Pixel_Sizes(face, emX, static_cast<FT_UInt>(out.em)) != 0) return false;
    }
    if (out.lf.lfItalic) {
        FT_Matrix shear{0x10000, 0x3800, 0, 0x10000};  // about 12 degrees, like a synthetic oblique
        FT_Set_Transform(face, &shear, nullptr);
    } else {
        FT_Set_Transform(face, nullptr, nullptr);
    }
    out.ascent = static_cast<int>((face->size->metrics.ascender + 63) >> 6);
    out.descent = static_cast<int>((-face->size->metrics.descender + 63) >> 6);
    return true;
}

bool LoadGlyph(const Sized& s, uint32_t code, bool render) {
    FT_Int32 flags = FT_LOAD_TARGET_MONO;
    if (FT_Load_Char(s.face, code, flags) != 0) return false;
    if (s.bold) FT_GlyphSlot_Embolden(s.face->glyph);
    if (render && s.face->glyph->format != FT_GLYPH_FORMAT_BITMAP)
        return FT_Render_Glyph(s.face->glyph, FT_RENDER_MODE_MONO) == 0;
    return true;
}

// One-bit glyph images of one call: repeated characters are rendered once.
struct Glyph {
    bool valid = false;
    int left = 0, top = 0;
    unsigned width = 0, rows = 0;
    size_t pitch = 0;
    std::vector<uint8_t> bits;
};
using GlyphCache = std::unordered_map<uint32_t, Glyph>;

const Glyph* Rendered(GlyphCache& cache, const Sized& s, uint32_t code) {
    auto [it, added] = cache.try_emplace(code);
    Glyph& g = it->second;
    if (added && LoadGlyph(s, code, true)) {
        const FT_GlyphSlot slot = s.face->glyph;
        const FT_Bitmap& bm = slot->bitmap;
        if (bm.pixel_mode == FT_PIXEL_MODE_MONO && bm.pitch >= 0) {
            g.valid = true;
            g.left = slot->bitmap_left;
            g.top = slot->bitmap_top;
            g.width = bm.width;
            g.rows = bm.rows;
            g.pitch = static_cast<size_t>(bm.pitch);
            g.bits.assign(bm.buffer, bm.buffer + g.pitch * bm.rows);
        }
    }
    return g.valid ? &g : nullptr;
}

int Advance(const Sized& s, uint32_t code) {
    if (!LoadGlyph(s, code, false)) return 0;
    return static_cast<int>((s.face->glyph->advance.x + 32) >> 6);
}

bool DrawText(HDC handle, int x, int y, uint32_t options, const RECT* rect,
              const std::vector<uint32_t>& codes, const int* dx) {
    auto dc = gdi::LookupDc(handle);
    if (!dc) return false;
    std::lock_guard lock(TextMutex());
    Sized s;
    if (!SizeFace(*dc, s)) return false;

    std::vector<int> advances;
    advances.reserve(codes.size());
    std::unordered_map<uint32_t, int> widths;
    int64_t total = 0;
    for (size_t i = 0; i < codes.size(); ++i) {
        int a;
        if (dx) {
            a = DeviceWidth(dc->mapping, dx[i]);
        } else {
            auto [it, added] = widths.try_emplace(codes[i], 0);
            if (added) it->second = Advance(s, codes[i]);
            a = it->second;
        }
        advances.push_back(a);
        total += a;
    }
    const uint32_t align = dc->textAlign;
    const bool updateCp = (align & TA_UPDATECP) != 0;
    const POINT reference =
        gdi::ToDevice(dc->mapping, updateCp ? dc->position.x : x, updateCp ? dc->position.y : y);
    int64_t left = reference.x;
    if ((align & TA_CENTER) == TA_CENTER)
        left -= total / 2;
    else if (align & TA_RIGHT)
        left -= total;
    int64_t baseline = reference.y;
    if ((align & TA_BASELINE) == TA_BASELINE)
        baseline = reference.y;
    else if (align & TA_BOTTOM)
        baseline = reference.y - s.descent;
    else
        baseline = reference.y + s.ascent;
    if (updateCp) {
        const int logical = LogicalWidth(dc->mapping, static_cast<int>(total));
        if ((align & TA_CENTER) == TA_CENTER) {
        } else if (align & TA_RIGHT) {
            dc->position.x -= logical;
        } else {
            dc->position.x += logical;
        }
    }

    auto surface = gdi::DcSurface(*dc);
    if (!surface) return false;
    ++surface->changes;
    std::vector<RECT> clip = gdi::EffectiveClip(*dc, surface->width, surface->height);
    RECT box{};
    if (rect)
        box = gdi::ToDeviceRect(dc->mapping, rect->left, rect->top, rect->right, rect->bottom);
    if (rect && (options & ETO_CLIPPED)) {
        std::vector<RECT> narrowed;
        for (const RECT& r : clip) {
            RECT out;
            if (gdi::Intersect(r, box, out)) narrowed.push_back(out);
        }
        clip = std::move(narrowed);
    }
    const gdi::PixelFormat format = gdi::FormatOf(*surface);
    auto fill = [&](int64_t l, int64_t t, int64_t r, int64_t b, uint32_t value) {
        for (const RECT& c : clip) {
            const int64_t x0 = std::max<int64_t>(l, c.left), x1 = std::min<int64_t>(r, c.right);
            const int64_t y0 = std::max<int64_t>(t, c.top), y1 = std::min<int64_t>(b, c.bottom);
            for (int64_t yy = y0; yy < y1; ++yy)
                for (int64_t xx = x0; xx < x1; ++xx)
                    gdi::WritePixel(surface->Row(static_cast<int>(yy)), surface->bitCount,
                                    static_cast<int>(xx), value);
        }
    };
    const uint32_t background = gdi::ColorToValue(format, dc->bkColor);
    if (rect && (options & ETO_OPAQUE)) fill(box.left, box.top, box.right, box.bottom, background);
    if (dc->bkMode == OPAQUE)
        fill(left, baseline - s.ascent, left + total, baseline + s.descent, background);

    const uint32_t ink = gdi::ColorToValue(format, dc->textColor);
    auto plot = [&](int64_t px, int64_t py) {
        for (const RECT& c : clip) {
            if (px >= c.left && px < c.right && py >= c.top && py < c.bottom) {
                gdi::WritePixel(surface->Row(static_cast<int>(py)), surface->bitCount,
                                static_cast<int>(px), ink);
                return;
            }
        }
    };
    const RECT reach = gdi::BoundingBox(clip);
    GlyphCache glyphs;
    int64_t penX = left;
    for (size_t i = 0; i < codes.size(); ++i) {
        // Glyphs wholly outside what can be drawn are not rendered.
        const bool visible = penX + advances[i] + s.em >= reach.left && penX - s.em < reach.right &&
                             baseline + s.em >= reach.top && baseline - s.em < reach.bottom;
        const Glyph* g = visible ? Rendered(glyphs, s, codes[i]) : nullptr;
        if (g) {
            for (unsigned row = 0; row < g->rows; ++row) {
                const uint8_t* src = g->bits.data() + static_cast<size_t>(row) * g->pitch;
                for (unsigned col = 0; col < g->width; ++col)
                    if (src[col >> 3] & (0x80 >> (col & 7)))
                        plot(penX + g->left + col, baseline - g->top + row);
            }
        }
        penX += advances[i];
    }
    const int thickness = std::max(1, s.em / 14);
    if (s.lf.lfUnderline) fill(left, baseline + 1, left + total, baseline + 1 + thickness, ink);
    if (s.lf.lfStrikeOut) {
        const int64_t top = baseline - s.ascent / 3;
        fill(left, top, left + total, top + thickness, ink);
    }
    return true;
}

std::vector<uint32_t> Latin1(const char* text, int count) {
    std::vector<uint32_t> codes;
    if (!text || count <= 0) return codes;
    codes.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        codes.push_back(static_cast<uint8_t>(text[i]));
    return codes;
}

}  // namespace

HFONT CreateFontIndirect(const LOGFONT* font) {
    if (!font) return 0;
    auto object = std::make_shared<Font>();
    object->lf = *font;
    return gdi::RegisterObject(HandleKind::Font, object);
}

uint32_t SetTextAlign(HDC dc, uint32_t align) {
    auto target = gdi::LookupDc(dc);
    if (!target) return 0xFFFFFFFF;
    const uint32_t previous = target->textAlign;
    target->textAlign = align & (TA_UPDATECP | TA_CENTER | TA_BASELINE);
    return previous;
}

uint32_t GetTextAlign(HDC dc) {
    auto target = gdi::LookupDc(dc);
    return target ? target->textAlign : 0xFFFFFFFF;
}

bool TextOut(HDC dc, int x, int y, const char* text, int count) {
    return DrawText(dc, x, y, 0, nullptr, Latin1(text, count), nullptr);
}

bool ExtTextOutA(HDC dc, int x, int y, uint32_t options, const RECT* rect, const char* text,
                 int count) {
    return DrawText(dc, x, y, options, rect, Latin1(text, count), nullptr);
}

bool ExtTextOutW(HDC dc, int x, int y, uint32_t options, const RECT* rect, const char16_t* text,
                 int count, const int* dx) {
    std::vector<uint32_t> codes;
    if (text && count > 0) {
        codes.reserve(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i)
            codes.push_back(text[i]);
    }
    return DrawText(dc, x, y, options, rect, codes, dx);
}

bool GetTextExtentPoint32(HDC dc, const char* text, int count, SIZE* size) {
    auto target = gdi::LookupDc(dc);
    if (!target || !size || count < 0) return false;
    std::lock_guard lock(TextMutex());
    Sized s;
    if (!SizeFace(*target, s)) return false;
    int64_t total = 0;
    for (uint32_t code : Latin1(text, count))
        total += Advance(s, code);
    size->cx = LogicalWidth(target->mapping, static_cast<int>(std::min<int64_t>(total, INT32_MAX)));
    const POINT a = gdi::ToLogical(target->mapping, 0, 0);
    const POINT b = gdi::ToLogical(target->mapping, 0, s.ascent + s.descent);
    size->cy = static_cast<int32_t>(std::llabs(int64_t{b.y} - a.y));
    return true;
}

bool GetTextMetrics(HDC dc, TEXTMETRIC* metrics) {
    auto target = gdi::LookupDc(dc);
    if (!target || !metrics) return false;
    std::lock_guard lock(TextMutex());
    Sized s;
    if (!SizeFace(*target, s)) return false;
    *metrics = TEXTMETRIC{};
    metrics->tmAscent = s.ascent;
    metrics->tmDescent = s.descent;
    metrics->tmHeight = s.ascent + s.descent;
    metrics->tmInternalLeading = std::max(0, metrics->tmHeight - s.em);
    metrics->tmExternalLeading = 0;
    metrics->tmAveCharWidth = Advance(s, 'x');
    metrics->tmMaxCharWidth = static_cast<int32_t>((s.face->size->metrics.max_advance + 63) >> 6);
    metrics->tmWeight = s.lf.lfWeight == 0 ? 400 : s.lf.lfWeight;
    metrics->tmItalic = s.lf.lfItalic;
    metrics->tmUnderlined = s.lf.lfUnderline;
    metrics->tmStruckOut = s.lf.lfStrikeOut;
    return true;
}

}  // namespace platform
