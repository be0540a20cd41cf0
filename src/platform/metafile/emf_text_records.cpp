// Text records: ExtTextOut in 8-bit or UTF-16 characters, with optional advances.
#include "platform/metafile/emf_player.h"

namespace platform::emf {

void EnhancedPlayer::TextRecord(uint32_t type, const meta::Reader& r) {
    const bool wide = type == 84;  // ExtTextOutW; 83 is ExtTextOutA
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

}  // namespace platform::emf
