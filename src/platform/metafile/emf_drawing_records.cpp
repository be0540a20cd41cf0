// Drawing records: lines, curves, polygons and shapes, and the path brackets that gather them
// into figures to fill or stroke.
#include "platform/metafile/emf_player.h"

namespace platform::emf {

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

void EnhancedPlayer::DrawingRecord(uint32_t type, const meta::Reader& r) {
    switch (type) {
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
        default:
            break;
    }
}

void EnhancedPlayer::PathRecord(uint32_t type, const meta::Reader&) {
    switch (type) {
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
        default:
            break;
    }
}

}  // namespace platform::emf
