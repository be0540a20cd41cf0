// Clip records: rectangles intersected or excluded, and regions selected into the clip.
#include "platform/metafile/emf_player.h"

#include "platform/gdi/draw_internal.h"

namespace platform::emf {

void EnhancedPlayer::ClipRecord(uint32_t type, const meta::Reader& r) {
    switch (type) {
        case 29:
        case 30: {
            const RECT d = MapRect(r.I32(8), r.I32(12), r.I32(16), r.I32(20));
            if (type == 30)
                IntersectClipRect(dc_, d.left, d.top, d.right, d.bottom);
            else
                ExcludeClipRect(dc_, d.left, d.top, d.right, d.bottom);
            break;
        }
        case 75:
            SelectClipRegion(r);
            break;
        default:
            break;
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

}  // namespace platform::emf
