// Bitmap records: block transfers, stretches and DIBs set to the device, each checked against
// the record that carries it.
#include "platform/metafile/emf_player.h"

namespace platform::emf {

void EnhancedPlayer::BitmapRecord(uint32_t type, const meta::Reader& r) {
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

}  // namespace platform::emf
