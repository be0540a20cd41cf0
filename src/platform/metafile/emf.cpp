// Enhanced metafiles: the checked header, 32-bit records, and a player that carries every
// coordinate through the world transform, the recorded page mapping and the fit into the
// destination rectangle itself, so the device context draws in device pixels.
#include <algorithm>
#include <cmath>
#include <fstream>
#include <memory>

#include "platform/gdi/draw_internal.h"
#include "platform/gdi/gdi_text.h"
#include "platform/os/handles.h"
#include "platform/metafile/metafile_internal.h"

namespace platform {

namespace {

constexpr uint32_t kSignature = 0x464D4520;  // " EMF"
constexpr size_t kMinHeader = 88;
constexpr size_t kMaxFileBytes = size_t{1} << 30;

struct EnhancedMetaFile {
    std::vector<uint8_t> bits;
    ENHMETAHEADER header{};
    // A wrapper of Windows metafile bits: played through the Windows player.
    bool wrapped = false;
    std::vector<uint8_t> windows;
    POINT windowOrg{};
    SIZE windowExt{};
};

std::shared_ptr<EnhancedMetaFile> LookupEnh(HENHMETAFILE handle) {
    return Lookup<EnhancedMetaFile>(handle, HandleKind::EnhMetaFile);
}

bool ParseHeader(std::span<const uint8_t> bits, ENHMETAHEADER& h) {
    const meta::Reader r(bits);
    h.iType = r.U32(0);
    h.nSize = r.U32(4);
    h.rclBounds = RECT{r.I32(8), r.I32(12), r.I32(16), r.I32(20)};
    h.rclFrame = RECT{r.I32(24), r.I32(28), r.I32(32), r.I32(36)};
    h.dSignature = r.U32(40);
    h.nVersion = r.U32(44);
    h.nBytes = r.U32(48);
    h.nRecords = r.U32(52);
    h.nHandles = r.U16(56);
    h.sReserved = r.U16(58);
    h.nDescription = r.U32(60);
    h.offDescription = r.U32(64);
    h.nPalEntries = r.U32(68);
    h.szlDevice = SIZE{r.I32(72), r.I32(76)};
    h.szlMillimeters = SIZE{r.I32(80), r.I32(84)};
    if (r.Failed() || h.iType != 1 || h.dSignature != kSignature) return false;
    if (h.nSize < kMinHeader || h.nSize % 4 != 0 || h.nSize > bits.size()) return false;
    // Reference devices without a size fall back to 96 dpi.
    if (h.szlDevice.cx <= 0 || h.szlDevice.cy <= 0 || h.szlMillimeters.cx <= 0 ||
        h.szlMillimeters.cy <= 0) {
        h.szlDevice = SIZE{1024, 768};
        h.szlMillimeters = SIZE{271, 203};
    }
    return true;
}

HENHMETAFILE Register(std::vector<uint8_t> bits) {
    auto object = std::make_shared<EnhancedMetaFile>();
    if (!ParseHeader(bits, object->header)) return 0;
    object->bits = std::move(bits);
    return InsertHandle(HandleKind::EnhMetaFile, object);
}

struct Affine {
    double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;  // x' = a x + c y + e; y' = b x + d y + f
    Affine Then(const Affine& n) const {
        return Affine{a * n.a + b * n.c, a * n.b + b * n.d,       c * n.a + d * n.c,
                      c * n.b + d * n.d, e * n.a + f * n.c + n.e, e * n.b + f * n.d + n.f};
    }
};

int32_t ClampCoord(double v) {
    if (!(v == v)) return 0;
    return static_cast<int32_t>(std::lround(std::clamp(v, -1.0e8, 1.0e8)));
}

// The recorded page state that SaveDC and RestoreDC records keep.
struct PageState {
    int mapMode = MM_TEXT;
    double wox = 0, woy = 0, wex = 1, wey = 1, vox = 0, voy = 0, vex = 1, vey = 1;
    Affine world;
};

// A pen or font as recorded: made for the device when selected, at the scale of that moment.
struct Recorded {
    enum Kind { kNone, kPen, kFont } kind = kNone;
    int penStyle = 0;
    double penWidth = 0;
    COLORREF penColor = 0;
    LOGFONT font{};
};

class EnhancedPlayer {
  public:
    EnhancedPlayer(HDC dc, const ENHMETAHEADER& h, const RECT& device)
        : dc_(dc), header_(h), objects_(h.nHandles), recorded_(h.nHandles) {
        // Frame (0.01 mm) in reference device pixels.
        const double px = static_cast<double>(h.szlDevice.cx) / (h.szlMillimeters.cx * 100.0);
        const double py = static_cast<double>(h.szlDevice.cy) / (h.szlMillimeters.cy * 100.0);
        pxPerMm_ = px * 100;
        pyPerMm_ = py * 100;
        const double fl = h.rclFrame.left * px, ft = h.rclFrame.top * py;
        double fw = (h.rclFrame.right - h.rclFrame.left) * px;
        double fh = (h.rclFrame.bottom - h.rclFrame.top) * py;
        if (std::fabs(fw) < 1e-9) fw = 1;
        if (std::fabs(fh) < 1e-9) fh = 1;
        fit_.a = (device.right - device.left) / fw;
        fit_.d = (device.bottom - device.top) / fh;
        fit_.e = device.left - fl * fit_.a;
        fit_.f = device.top - ft * fit_.d;
        Update();
        if (auto target = gdi::LookupDc(dc)) {
            std::lock_guard lock(gdi::ObjectMutex());
            startHasClip_ = target->hasClip;
            startClip_ = target->clip;
        }
    }
    ~EnhancedPlayer() {
        for (const HGDIOBJ object : made_)
            DeleteObject(object);
    }
    EnhancedPlayer(const EnhancedPlayer&) = delete;
    EnhancedPlayer& operator=(const EnhancedPlayer&) = delete;

    void Play(std::span<const uint8_t> bits);
    void ReleaseObjects() { objects_.Clear(); }

  private:
    void Record(uint32_t type, const meta::Reader& r);
    void Update();
    POINT Map(double x, double y) const {
        return POINT{ClampCoord(total_.a * x + total_.c * y + total_.e),
                     ClampCoord(total_.b * x + total_.d * y + total_.f)};
    }
    double Scale() const { return std::sqrt(std::fabs(total_.a * total_.d - total_.b * total_.c)); }
    RECT MapRect(int32_t l, int32_t t, int32_t r, int32_t b) const {
        const POINT p = Map(l, t), q = Map(r, b);
        return RECT{std::min(p.x, q.x), std::min(p.y, q.y), std::max(p.x, q.x), std::max(p.y, q.y)};
    }
    std::vector<POINT> Points(const meta::Reader& r, size_t offset, size_t count, bool small) const;
    void Lines(std::vector<POINT> pts, bool polygon);
    void LinesTo(const std::vector<POINT>& pts);
    void Beziers(std::vector<POINT> pts, bool fromCurrent);
    void PolyPoly(const meta::Reader& r, bool small, bool polygon);
    void Select(uint32_t index);
    void Blit(uint32_t type, const meta::Reader& r);
    void Text(const meta::Reader& r, bool wide);
    void FillFigures(bool fill, bool stroke);
    void AddFigure(std::vector<POINT> pts, bool closed);
    void SelectClipRegion(const meta::Reader& r);

    HDC dc_;
    ENHMETAHEADER header_;
    meta::ObjectTable objects_;
    std::vector<Recorded> recorded_;
    std::vector<HGDIOBJ> made_;  // device pens and fonts made at selection
    double pxPerMm_ = 1, pyPerMm_ = 1;
    Affine fit_;
    Affine total_;
    PageState page_;
    std::vector<PageState> pageStack_;
    POINT position_{};  // device
    bool inPath_ = false;
    std::vector<std::vector<POINT>> figures_;
    std::vector<bool> closed_;
    bool startHasClip_ = false;
    std::vector<RECT> startClip_;  // device; what the region records combine with
};

void EnhancedPlayer::Update() {
    Affine mapping;
    const PageState& s = page_;
    double sx = 1, sy = 1;
    switch (s.mapMode) {
        case MM_LOMETRIC:
            sx = pxPerMm_ / 10, sy = -pyPerMm_ / 10;
            break;
        case MM_HIMETRIC:
            sx = pxPerMm_ / 100, sy = -pyPerMm_ / 100;
            break;
        case MM_LOENGLISH:
            sx = pxPerMm_ * 0.254, sy = -pyPerMm_ * 0.254;
            break;
        case MM_HIENGLISH:
            sx = pxPerMm_ * 0.0254, sy = -pyPerMm_ * 0.0254;
            break;
        case MM_TWIPS:
            sx = pxPerMm_ * 25.4 / 1440, sy = -pyPerMm_ * 25.4 / 1440;
            break;
        case MM_ISOTROPIC:
        case MM_ANISOTROPIC: {
            sx = s.wex != 0 ? s.vex / s.wex : 1;
            sy = s.wey != 0 ? s.vey / s.wey : 1;
            if (s.mapMode == MM_ISOTROPIC) {
                const double m = std::min(std::fabs(sx), std::fabs(sy));
                sx = std::copysign(m, sx);
                sy = std::copysign(m, sy);
            }
            break;
        }
        default:
            break;
    }
    mapping.a = sx;
    mapping.d = sy;
    mapping.e = s.vox - s.wox * sx;
    mapping.f = s.voy - s.woy * sy;
    total_ = s.world.Then(mapping).Then(fit_);
}

std::vector<POINT> EnhancedPlayer::Points(const meta::Reader& r, size_t offset, size_t count,
                                          bool small) const {
    std::vector<POINT> pts;
    const size_t each = small ? 4 : 8;
    if (count > r.Size() / each || !r.Has(offset, count * each)) return pts;
    pts.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const size_t o = offset + i * each;
        pts.push_back(small ? Map(r.I16(o), r.I16(o + 2)) : Map(r.I32(o), r.I32(o + 4)));
    }
    return pts;
}

void EnhancedPlayer::AddFigure(std::vector<POINT> pts, bool closed) {
    if (pts.empty()) return;
    figures_.push_back(std::move(pts));
    closed_.push_back(closed);
}

void EnhancedPlayer::Lines(std::vector<POINT> pts, bool polygon) {
    if (pts.empty()) return;
    if (inPath_) return AddFigure(std::move(pts), polygon);
    if (polygon)
        Polygon(dc_, pts.data(), static_cast<int>(pts.size()));
    else
        Polyline(dc_, pts.data(), static_cast<int>(pts.size()));
}

void EnhancedPlayer::LinesTo(const std::vector<POINT>& pts) {
    if (pts.empty()) return;
    if (inPath_) {
        if (figures_.empty()) AddFigure({position_}, false);
        figures_.back().insert(figures_.back().end(), pts.begin(), pts.end());
    } else {
        std::vector<POINT> run{position_};
        run.insert(run.end(), pts.begin(), pts.end());
        Polyline(dc_, run.data(), static_cast<int>(run.size()));
    }
    position_ = pts.back();
    MoveToEx(dc_, position_.x, position_.y, nullptr);
}

void EnhancedPlayer::Beziers(std::vector<POINT> pts, bool fromCurrent) {
    if (fromCurrent) pts.insert(pts.begin(), position_);
    if (pts.size() < 4) return;
    std::vector<POINT> flat{pts[0]};
    for (size_t i = 0; i + 3 < pts.size(); i += 3) {
        const POINT p0 = pts[i], p1 = pts[i + 1], p2 = pts[i + 2], p3 = pts[i + 3];
        const double length = std::hypot(p1.x - p0.x, p1.y - p0.y) +
                              std::hypot(p2.x - p1.x, p2.y - p1.y) +
                              std::hypot(p3.x - p2.x, p3.y - p2.y);
        const int steps = std::clamp(static_cast<int>(length / 4), 2, 64);
        for (int s = 1; s <= steps; ++s) {
            const double t = static_cast<double>(s) / steps, u = 1 - t;
            const double x =
                u * u * u * p0.x + 3 * u * u * t * p1.x + 3 * u * t * t * p2.x + t * t * t * p3.x;
            const double y =
                u * u * u * p0.y + 3 * u * u * t * p1.y + 3 * u * t * t * p2.y + t * t * t * p3.y;
            flat.push_back(POINT{ClampCoord(x), ClampCoord(y)});
        }
    }
    if (fromCurrent) {
        flat.erase(flat.begin());
        LinesTo(flat);
    } else {
        Lines(std::move(flat), false);
    }
}

void EnhancedPlayer::PolyPoly(const meta::Reader& r, bool small, bool polygon) {
    const uint32_t count = r.U32(24);
    const uint32_t total = r.U32(28);
    if (r.Failed() || count > r.Size() / 4 || !r.Has(32, size_t{count} * 4)) return;
    size_t offset = 32 + size_t{count} * 4;
    uint64_t sum = 0;
    std::vector<std::vector<POINT>> polys;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t n = r.U32(32 + size_t{i} * 4);
        sum += n;
        if (sum > total) return;
        auto pts = Points(r, offset, n, small);
        if (pts.size() != n) return;
        offset += size_t{n} * (small ? 4 : 8);
        polys.push_back(std::move(pts));
    }
    if (inPath_) {
        for (auto& p : polys)
            AddFigure(std::move(p), polygon);
    } else if (polygon) {
        meta::DrawPolyPolygon(dc_, polys);
    } else {
        for (const auto& p : polys)
            Polyline(dc_, p.data(), static_cast<int>(p.size()));
    }
}

void EnhancedPlayer::FillFigures(bool fill, bool stroke) {
    if (fill) {
        std::vector<std::vector<POINT>> polys = figures_;
        const HGDIOBJ oldPen = SelectObject(dc_, GetStockObject(NULL_PEN));
        meta::DrawPolyPolygon(dc_, polys);
        if (oldPen) SelectObject(dc_, oldPen);
    }
    if (stroke) {
        for (size_t i = 0; i < figures_.size(); ++i) {
            std::vector<POINT> pts = figures_[i];
            if (closed_[i] && pts.size() > 1) pts.push_back(pts.front());
            Polyline(dc_, pts.data(), static_cast<int>(pts.size()));
        }
    }
    figures_.clear();
    closed_.clear();
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

void EnhancedPlayer::SelectClipRegion(const meta::Reader& r) {
    // Region rectangles are in reference device pixels: only the fit applies to them.
    const uint32_t bytes = r.U32(8);
    const uint32_t mode = r.U32(12);
    std::vector<RECT> region;
    if (bytes >= 32) {
        const uint32_t count = r.U32(16 + 8);
        if (count > (bytes - 32) / 16 || !r.Has(16 + 32, size_t{count} * 16)) return;
        for (uint32_t i = 0; i < count; ++i) {
            const size_t o = 16 + 32 + size_t{i} * 16;
            const double l = r.I32(o), t = r.I32(o + 4), rr = r.I32(o + 8), b = r.I32(o + 12);
            RECT d{ClampCoord(fit_.a * l + fit_.e), ClampCoord(fit_.d * t + fit_.f),
                   ClampCoord(fit_.a * rr + fit_.e), ClampCoord(fit_.d * b + fit_.f)};
            if (d.left > d.right) std::swap(d.left, d.right);
            if (d.top > d.bottom) std::swap(d.top, d.bottom);
            if (!gdi::IsEmpty(d)) region.push_back(d);
        }
    } else if (mode != 5) {
        return;  // only a copy may come without a region: it resets the clip
    }
    auto target = gdi::LookupDc(dc_);
    if (!target) return;
    std::lock_guard lock(gdi::ObjectMutex());
    auto intersect = [](const std::vector<RECT>& a, const std::vector<RECT>& b) {
        std::vector<RECT> out;
        for (const RECT& x : a)
            for (const RECT& y : b) {
                RECT z;
                if (gdi::Intersect(x, y, z)) out.push_back(z);
            }
        return out;
    };
    if (mode == 5) {  // RGN_COPY, within the clip the caller gave
        if (bytes < 32) {
            target->hasClip = startHasClip_;
            target->clip = startClip_;
        } else {
            target->clip = startHasClip_ ? intersect(startClip_, region) : region;
            target->hasClip = true;
        }
    } else if (mode == 1) {  // RGN_AND
        target->clip = target->hasClip ? intersect(target->clip, region) : region;
        target->hasClip = true;
    }
    // Other combinations are not kept.
}

void EnhancedPlayer::Blit(uint32_t type, const meta::Reader& r) {
    meta::CheckedDib dib;
    auto dibAt = [&](size_t offBmi, size_t cbBmi, size_t offBits, size_t cbBits, uint32_t usage) {
        const auto header = r.Sub(offBmi, cbBmi);
        const auto pixels = r.Sub(offBits, cbBits);
        return !header.empty() && !pixels.empty() && meta::CheckDib(header, pixels, usage, dib);
    };
    auto usageOf = [](uint32_t u) { return u == DIB_PAL_COLORS ? DIB_PAL_COLORS : DIB_RGB_COLORS; };
    switch (type) {
        case 81: {  // StretchDIBits
            if (r.Size() < 80) return;
            const int32_t x = r.I32(24), y = r.I32(28);
            const POINT p = Map(x, y);
            const POINT q = Map(int64_t{x} + r.I32(72), int64_t{y} + r.I32(76));
            const uint32_t usage = usageOf(r.U32(64));
            if (!dibAt(r.U32(48), r.U32(52), r.U32(56), r.U32(60), usage)) {
                if (r.U32(52) == 0) BitBlt(dc_, p.x, p.y, q.x - p.x, q.y - p.y, 0, 0, 0, r.U32(68));
                return;
            }
            StretchDIBits(dc_, p.x, p.y, q.x - p.x, q.y - p.y, r.I32(32), r.I32(36), r.I32(40),
                          r.I32(44), dib.bits, &dib.info, usage, r.U32(68));
            return;
        }
        case 76:    // BitBlt
        case 77: {  // StretchBlt
            if (r.Size() < (type == 76 ? 100u : 108u)) return;
            const int32_t x = r.I32(24), y = r.I32(28), cx = r.I32(32), cy = r.I32(36);
            const POINT p = Map(x, y);
            const POINT q = Map(int64_t{x} + cx, int64_t{y} + cy);
            const uint32_t rop = r.U32(40);
            const uint32_t usage = usageOf(r.U32(80));
            if (r.U32(88) == 0 || !dibAt(r.U32(84), r.U32(88), r.U32(92), r.U32(96), usage)) {
                if (r.U32(88) == 0) BitBlt(dc_, p.x, p.y, q.x - p.x, q.y - p.y, 0, 0, 0, rop);
                return;
            }
            const int sw = type == 77 ? r.I32(100) : cx, sh = type == 77 ? r.I32(104) : cy;
            StretchDIBits(dc_, p.x, p.y, q.x - p.x, q.y - p.y, r.I32(44), r.I32(48), sw, sh,
                          dib.bits, &dib.info, usage, rop);
            return;
        }
        case 80: {  // SetDIBitsToDevice: bands are drawn as whole pictures
            if (r.Size() < 76) return;
            const int32_t x = r.I32(24), y = r.I32(28), cx = r.I32(40), cy = r.I32(44);
            const POINT p = Map(x, y);
            const POINT q = Map(int64_t{x} + cx, int64_t{y} + cy);
            const uint32_t usage = usageOf(r.U32(64));
            if (!dibAt(r.U32(48), r.U32(52), r.U32(56), r.U32(60), usage)) return;
            StretchDIBits(dc_, p.x, p.y, q.x - p.x, q.y - p.y, r.I32(32), r.I32(36), cx, cy,
                          dib.bits, &dib.info, usage, SRCCOPY);
            return;
        }
        default:
            return;
    }
}

void EnhancedPlayer::Text(const meta::Reader& r, bool wide) {
    if (r.Size() < 76) return;
    const int32_t x = r.I32(36), y = r.I32(40);
    const uint32_t count = r.U32(44);
    const uint32_t offString = r.U32(48);
    const uint32_t options = r.U32(52);
    const uint32_t offDx = r.U32(72);
    if (count == 0 || count > 65536) return;
    const auto bytes = r.Sub(offString, size_t{count} * (wide ? 2 : 1));
    if (bytes.empty()) return;
    std::vector<char16_t> text(count);
    for (uint32_t i = 0; i < count; ++i)
        text[i] = wide ? static_cast<char16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8)
                       : static_cast<char16_t>(bytes[i]);
    std::vector<int> dx;
    if (offDx != 0 && r.Has(offDx, size_t{count} * 4)) {
        const size_t step = (options & 0x2000) ? 8 : 4;  // ETO_PDY: x and y advances
        if (r.Has(offDx, size_t{count} * step)) {
            for (uint32_t i = 0; i < count; ++i)
                dx.push_back(ClampCoord(r.I32(offDx + i * step) * total_.a));
        }
    }
    const POINT p = Map(x, y);
    const RECT box = MapRect(r.I32(56), r.I32(60), r.I32(64), r.I32(68));
    ExtTextOutW(dc_, p.x, p.y, options & (ETO_OPAQUE | ETO_CLIPPED), &box, text.data(),
                static_cast<int>(count), dx.size() == count ? dx.data() : nullptr);
}

void EnhancedPlayer::Play(std::span<const uint8_t> bits) {
    const meta::Reader file(bits);
    size_t offset = header_.nSize;
    while (file.Has(offset, 8)) {
        const uint32_t type = file.U32(offset);
        const uint32_t size = file.U32(offset + 4);
        if (size < 8 || size % 4 != 0 || size > file.Size() - offset) break;
        if (type == 14) break;  // end of file
        Record(type, meta::Reader(file.Sub(offset, size)));
        offset += size;
    }
}

void EnhancedPlayer::Record(uint32_t type, const meta::Reader& r) {
    switch (type) {
        case 9:
            page_.wex = r.I32(8), page_.wey = r.I32(12);
            Update();
            break;
        case 10:
            page_.wox = r.I32(8), page_.woy = r.I32(12);
            Update();
            break;
        case 11:
            page_.vex = r.I32(8), page_.vey = r.I32(12);
            Update();
            break;
        case 12:
            page_.vox = r.I32(8), page_.voy = r.I32(12);
            Update();
            break;
        case 17:
            if (r.U32(8) >= MM_TEXT && r.U32(8) <= MM_ANISOTROPIC) {
                page_.mapMode = static_cast<int>(r.U32(8));
                Update();
            }
            break;
        case 31:    // ScaleViewportExtEx
        case 32: {  // ScaleWindowExtEx
            const int32_t xNum = r.I32(8), xDen = r.I32(12), yNum = r.I32(16), yDen = r.I32(20);
            if (xDen == 0 || yDen == 0) break;
            double& ex = type == 31 ? page_.vex : page_.wex;
            double& ey = type == 31 ? page_.vey : page_.wey;
            ex = ex * xNum / xDen;
            ey = ey * yNum / yDen;
            Update();
            break;
        }
        case 35: {  // SetWorldTransform
            page_.world = Affine{r.F32(8), r.F32(12), r.F32(16), r.F32(20), r.F32(24), r.F32(28)};
            Update();
            break;
        }
        case 36: {  // ModifyWorldTransform
            const Affine x{r.F32(8), r.F32(12), r.F32(16), r.F32(20), r.F32(24), r.F32(28)};
            switch (r.U32(32)) {
                case 1:
                    page_.world = Affine{};
                    break;
                case 2:
                    page_.world = x.Then(page_.world);
                    break;
                case 3:
                    page_.world = page_.world.Then(x);
                    break;
                case 4:
                    page_.world = x;
                    break;
                default:
                    break;
            }
            Update();
            break;
        }
        case 33:
            if (SaveDC(dc_)) pageStack_.push_back(page_);
            break;
        case 34: {
            const int32_t level = r.I32(8);
            const int depth = static_cast<int>(pageStack_.size());
            if (level >= 0 || -level > depth) break;
            if (!RestoreDC(dc_, level)) break;
            page_ = pageStack_[static_cast<size_t>(depth + level)];
            pageStack_.resize(static_cast<size_t>(depth + level));
            Update();
            break;
        }
        case 25:
            SetBkColor(dc_, r.U32(8));
            break;
        case 18:
            SetBkMode(dc_, static_cast<int>(r.U32(8)));
            break;
        case 24:
            SetTextColor(dc_, r.U32(8));
            break;
        case 20:
            SetROP2(dc_, static_cast<int>(r.U32(8)));
            break;
        case 19:
            SetPolyFillMode(dc_, static_cast<int>(r.U32(8)));
            break;
        case 21:
            SetStretchBltMode(dc_, static_cast<int>(r.U32(8)));
            break;
        case 22:
            SetTextAlign(dc_, r.U32(8));
            break;
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
        case 27: {
            position_ = Map(r.I32(8), r.I32(12));
            MoveToEx(dc_, position_.x, position_.y, nullptr);
            if (inPath_) AddFigure({position_}, false);
            break;
        }
        case 54:
            LinesTo({Map(r.I32(8), r.I32(12))});
            break;
        case 4:
        case 87:
            Lines(Points(r, 28, r.U32(24), type == 87), false);
            break;
        case 3:
        case 86:
            Lines(Points(r, 28, r.U32(24), type == 86), true);
            break;
        case 6:
        case 89:
            LinesTo(Points(r, 28, r.U32(24), type == 89));
            break;
        case 2:
        case 85:
            Beziers(Points(r, 28, r.U32(24), type == 85), false);
            break;
        case 5:
        case 88:
            Beziers(Points(r, 28, r.U32(24), type == 88), true);
            break;
        case 7:
        case 90:
            PolyPoly(r, type == 90, false);
            break;
        case 8:
        case 91:
            PolyPoly(r, type == 91, true);
            break;
        case 44: {  // RoundRect
            std::vector<POINT> outline;
            for (const auto& q : meta::RoundRectOutline(r.I32(8), r.I32(12), r.I32(16), r.I32(20),
                                                        r.I32(24), r.I32(28)))
                outline.push_back(Map(q.x, q.y));
            Lines(std::move(outline), true);
            break;
        }
        case 43: {
            const RECT b{r.I32(8), r.I32(12), r.I32(16), r.I32(20)};
            if (inPath_ || total_.b != 0 || total_.c != 0) {
                Lines({Map(b.left, b.top), Map(b.right, b.top), Map(b.right, b.bottom),
                       Map(b.left, b.bottom)},
                      true);
                break;
            }
            const RECT d = MapRect(b.left, b.top, b.right, b.bottom);
            Rectangle(dc_, d.left, d.top, d.right, d.bottom);
            break;
        }
        case 42: {
            const RECT d = MapRect(r.I32(8), r.I32(12), r.I32(16), r.I32(20));
            if (inPath_) {
                std::vector<POINT> ring;
                const double cx = (d.left + d.right) / 2.0, cy = (d.top + d.bottom) / 2.0;
                const double rx = (d.right - d.left) / 2.0, ry = (d.bottom - d.top) / 2.0;
                for (int i = 0; i < 64; ++i) {
                    const double t = i * 2 * M_PI / 64;
                    ring.push_back(POINT{ClampCoord(cx + rx * std::cos(t)),
                                         ClampCoord(cy + ry * std::sin(t))});
                }
                AddFigure(std::move(ring), true);
                break;
            }
            Ellipse(dc_, d.left, d.top, d.right, d.bottom);
            break;
        }
        case 45:
        case 46:
        case 47: {
            const RECT d = MapRect(r.I32(8), r.I32(12), r.I32(16), r.I32(20));
            const POINT s = Map(r.I32(24), r.I32(28)), e = Map(r.I32(32), r.I32(36));
            // A mirrored mapping reverses the direction arcs run in.
            const bool mirrored = total_.a * total_.d < 0;
            const POINT a = mirrored ? e : s, b = mirrored ? s : e;
            if (type == 45) Arc(dc_, d.left, d.top, d.right, d.bottom, a.x, a.y, b.x, b.y);
            if (type == 46) Chord(dc_, d.left, d.top, d.right, d.bottom, a.x, a.y, b.x, b.y);
            if (type == 47) Pie(dc_, d.left, d.top, d.right, d.bottom, a.x, a.y, b.x, b.y);
            break;
        }
        case 15: {
            const POINT p = Map(r.I32(8), r.I32(12));
            SetPixel(dc_, p.x, p.y, r.U32(16));
            break;
        }
        case 29:
        case 30: {
            const RECT d = MapRect(r.I32(8), r.I32(12), r.I32(16), r.I32(20));
            if (type == 30)
                IntersectClipRect(dc_, d.left, d.top, d.right, d.bottom);
            else
                ExcludeClipRect(dc_, d.left, d.top, d.right, d.bottom);
            break;
        }
        case 59:
            inPath_ = true;
            figures_.clear();
            closed_.clear();
            break;
        case 60:
            inPath_ = false;
            break;
        case 61:
            if (inPath_ && !closed_.empty()) closed_.back() = true;
            break;
        case 62:
            FillFigures(true, false);
            break;
        case 63:
            FillFigures(true, true);
            break;
        case 64:
            FillFigures(false, true);
            break;
        case 68:
            inPath_ = false;
            figures_.clear();
            closed_.clear();
            break;
        case 76:
        case 77:
        case 80:
        case 81:
            Blit(type, r);
            break;
        case 75:
            SelectClipRegion(r);
            break;
        case 83:
            Text(r, false);
            break;
        case 84:
            Text(r, true);
            break;
        default:
            break;  // comments, clip paths, regions and the rest are skipped
    }
}

bool PlayWrapped(HDC dc, const EnhancedMetaFile& emf, const RECT& device) {
    const int base = SaveDC(dc);
    if (!base) return false;
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowOrgEx(dc, emf.windowOrg.x, emf.windowOrg.y, nullptr);
    SetWindowExtEx(dc, emf.windowExt.cx, emf.windowExt.cy, nullptr);
    SetViewportOrgEx(dc, device.left, device.top, nullptr);
    SetViewportExtEx(dc, device.right - device.left, device.bottom - device.top, nullptr);
    const bool played = meta::PlayWindowsRecords(dc, emf.windows);
    RestoreDC(dc, base);
    return played;
}

bool ReadWholeFile(const char* path, std::vector<uint8_t>& out) {
    if (!path) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size <= 0 || static_cast<uint64_t>(size) > kMaxFileBytes) return false;
    in.seekg(0, std::ios::beg);
    out.resize(static_cast<size_t>(size));
    return static_cast<bool>(in.read(reinterpret_cast<char*>(out.data()), size));
}

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

}  // namespace

HENHMETAFILE GetEnhMetaFile(const char* path) {
    std::vector<uint8_t> bits;
    if (!ReadWholeFile(path, bits)) return 0;
    return Register(std::move(bits));
}

HENHMETAFILE SetEnhMetaFileBits(uint32_t size, const uint8_t* data) {
    if (!data) return 0;
    return Register(std::vector<uint8_t>(data, data + size));
}

HENHMETAFILE SetWinMetaFileBits(uint32_t size, const uint8_t* data, HDC reference,
                                const METAFILEPICT* picture) {
    if (!data) return 0;
    std::vector<uint8_t> windows(data, data + size);
    if (!meta::ValidWindowsMetafile(windows)) return 0;
    auto object = std::make_shared<EnhancedMetaFile>();
    object->wrapped = true;
    const bool hasWindow = meta::FindWindowExtent(windows, object->windowOrg, object->windowExt);
    const int dpiX = reference ? GetDeviceCaps(reference, LOGPIXELSX) : 0;
    const int dpiY = reference ? GetDeviceCaps(reference, LOGPIXELSY) : 0;
    const double mmX = 25.4 / (dpiX > 0 ? dpiX : 96), mmY = 25.4 / (dpiY > 0 ? dpiY : 96);
    int32_t frameX = 0, frameY = 0;
    if (picture && (picture->mm == MM_ANISOTROPIC || picture->mm == MM_ISOTROPIC) &&
        picture->xExt != 0 && picture->yExt != 0) {
        frameX = static_cast<int32_t>(std::min<int64_t>(std::llabs(picture->xExt), INT32_MAX));
        frameY = static_cast<int32_t>(std::min<int64_t>(std::llabs(picture->yExt), INT32_MAX));
    } else if (hasWindow) {
        frameX = static_cast<int32_t>(std::lround(std::abs(object->windowExt.cx) * mmX * 100));
        frameY = static_cast<int32_t>(std::lround(std::abs(object->windowExt.cy) * mmY * 100));
    }
    if (frameX <= 0 || frameY <= 0) return 0;
    if (!hasWindow || object->windowExt.cx == 0 || object->windowExt.cy == 0) {
        // Without its own window the records are taken as reference device pixels.
        object->windowOrg = POINT{0, 0};
        object->windowExt = SIZE{std::max(1, static_cast<int>(std::lround(frameX / (mmX * 100)))),
                                 std::max(1, static_cast<int>(std::lround(frameY / (mmY * 100))))};
    }
    // A header, the Windows bits kept in a comment record, and the end record.
    std::vector<uint8_t> bits;
    const uint32_t devX = 1024, devY = 768;
    const auto mmW = static_cast<uint32_t>(std::lround(devX * mmX));
    const auto mmH = static_cast<uint32_t>(std::lround(devY * mmY));
    const uint32_t comment = static_cast<uint32_t>(12 + ((windows.size() + 3) & ~size_t{3}));
    const uint32_t total = 88 + comment + 20;
    for (uint32_t v : {1u, 88u})
        PutU32(bits, v);
    const int32_t boundsX = static_cast<int32_t>(std::lround(frameX / (mmX * 100)));
    const int32_t boundsY = static_cast<int32_t>(std::lround(frameY / (mmY * 100)));
    for (int32_t v : {0, 0, boundsX, boundsY, 0, 0, frameX, frameY})
        PutU32(bits, static_cast<uint32_t>(v));
    for (uint32_t v : {kSignature, 0x10000u, total, 3u})
        PutU32(bits, v);
    PutU32(bits, 1);  // one handle (the table's reserved slot), no description
    for (uint32_t v : {0u, 0u, 0u, devX, devY, mmW, mmH})
        PutU32(bits, v);
    PutU32(bits, 70);
    PutU32(bits, comment);
    PutU32(bits, static_cast<uint32_t>(windows.size()));
    bits.insert(bits.end(), windows.begin(), windows.end());
    while (bits.size() % 4)
        bits.push_back(0);
    for (uint32_t v : {14u, 20u, 0u, 16u, 20u})
        PutU32(bits, v);
    if (!ParseHeader(bits, object->header)) return 0;
    object->bits = std::move(bits);
    object->windows = std::move(windows);
    return InsertHandle(HandleKind::EnhMetaFile, object);
}

HENHMETAFILE CopyEnhMetaFile(HENHMETAFILE metafile, const char* path) {
    auto source = LookupEnh(metafile);
    if (!source) return 0;
    if (path) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(source->bits.data()),
                  static_cast<std::streamsize>(source->bits.size()));
        if (!out) return 0;
    }
    auto copy = std::make_shared<EnhancedMetaFile>(*source);
    return InsertHandle(HandleKind::EnhMetaFile, copy);
}

bool DeleteEnhMetaFile(HENHMETAFILE metafile) {
    return RemoveHandle(metafile, HandleKind::EnhMetaFile);
}

uint32_t GetEnhMetaFileHeader(HENHMETAFILE metafile, uint32_t size, ENHMETAHEADER* header) {
    auto source = LookupEnh(metafile);
    if (!source) return 0;
    if (!header) return sizeof(ENHMETAHEADER);
    if (size < sizeof(ENHMETAHEADER)) return 0;
    *header = source->header;
    return sizeof(ENHMETAHEADER);
}

bool PlayEnhMetaFile(HDC dc, HENHMETAFILE metafile, const RECT* rect) {
    auto source = LookupEnh(metafile);
    if (!source || !rect || !gdi::LookupDc(dc)) return false;
    POINT corners[2] = {{rect->left, rect->top}, {rect->right, rect->bottom}};
    if (!LPtoDP(dc, corners, 2)) return false;
    const RECT device{corners[0].x, corners[0].y, corners[1].x, corners[1].y};
    if (source->wrapped) return PlayWrapped(dc, *source, device);

    const int base = SaveDC(dc);
    if (!base) return false;
    // The records' coordinates are carried to device pixels by the player.
    SetMapMode(dc, MM_TEXT);
    SetWindowOrgEx(dc, 0, 0, nullptr);
    SetViewportOrgEx(dc, 0, 0, nullptr);
    {
        EnhancedPlayer player(dc, source->header, device);
        player.Play(source->bits);
        RestoreDC(dc, base);
        player.ReleaseObjects();
    }
    return true;
}

}  // namespace platform
