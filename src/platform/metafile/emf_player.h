// The enhanced-metafile player: every coordinate goes through the world transform, the
// recorded page mapping and the fit into the destination rectangle, so the device context
// draws in device pixels. Records are handled by family, one source file each.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/gdi/gdi_text.h"
#include "platform/metafile/metafile_internal.h"

namespace platform::emf {

struct Affine {
    double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;  // x' = a x + c y + e; y' = b x + d y + f
    Affine Then(const Affine& n) const {
        return Affine{a * n.a + b * n.c, a * n.b + b * n.d,       c * n.a + d * n.c,
                      c * n.b + d * n.d, e * n.a + f * n.c + n.e, e * n.b + f * n.d + n.f};
    }
};

inline int32_t ClampCoord(double v) {
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
    EnhancedPlayer(HDC dc, const ENHMETAHEADER& h, const RECT& device);
    ~EnhancedPlayer();
    EnhancedPlayer(const EnhancedPlayer&) = delete;
    EnhancedPlayer& operator=(const EnhancedPlayer&) = delete;

    void Play(std::span<const uint8_t> bits);
    void ReleaseObjects() { objects_.Clear(); }

  private:
    // One handler per family of records; each takes the record's type and its bytes.
    using Handler = void (EnhancedPlayer::*)(uint32_t type, const meta::Reader& r);
    static Handler FamilyOf(uint32_t type);
    void Record(uint32_t type, const meta::Reader& r);
    void StateRecord(uint32_t type, const meta::Reader& r);
    void ObjectRecord(uint32_t type, const meta::Reader& r);
    void DrawingRecord(uint32_t type, const meta::Reader& r);
    void PathRecord(uint32_t type, const meta::Reader& r);
    void BitmapRecord(uint32_t type, const meta::Reader& r);
    void TextRecord(uint32_t type, const meta::Reader& r);
    void ClipRecord(uint32_t type, const meta::Reader& r);

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

}  // namespace platform::emf
