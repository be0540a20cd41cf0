// The player's core: the page mapping, reading points, the record loop and the table that
// finds each record's family.
#include "platform/metafile/emf_player.h"

#include <array>
#include <mutex>

#include "platform/gdi/draw_internal.h"

namespace platform::emf {

EnhancedPlayer::EnhancedPlayer(HDC dc, const ENHMETAHEADER& h, const RECT& device)
    : dc_(dc), header_(h), objects_(h.nHandles), recorded_(h.nHandles) {
    // Frame (0.01 mm) in reference device pixels.
    const double px = static_cast<double>(h.szlDevice.cx) / (h.szlMillimeters.cx * 100.0);
    const double py = static_cast<double>(h.szlDevice.cy) / (h.szlMillimeters.cy * 100.0);
    pxPerMm_ = px * 100;
    pyPerMm_ = py * 100;
    const double fl = h.rclFrame.left * px, ft = h.rclFrame.top * py;
    // In doubles: a hostile frame's edges can be a full 32-bit range apart.
    double fw = (static_cast<double>(h.rclFrame.right) - h.rclFrame.left) * px;
    double fh = (static_cast<double>(h.rclFrame.bottom) - h.rclFrame.top) * py;
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

EnhancedPlayer::~EnhancedPlayer() {
    for (const HGDIOBJ object : made_)
        DeleteObject(object);
}

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

EnhancedPlayer::Handler EnhancedPlayer::FamilyOf(uint32_t type) {
    // Types no family lists (comments, clip paths, regions and the rest) are skipped.
    static const auto table = [] {
        std::array<Handler, 123> t{};
        const auto add = [&t](Handler handler, std::initializer_list<uint32_t> types) {
            for (const uint32_t type : types)
                t[type] = handler;
        };
        add(&EnhancedPlayer::StateRecord,
            {9, 10, 11, 12, 17, 31, 32, 35, 36, 33, 34, 25, 18, 24, 20, 19, 21, 22});
        add(&EnhancedPlayer::ObjectRecord, {38, 95, 39, 93, 94, 82, 49, 37, 48, 52, 40});
        add(&EnhancedPlayer::DrawingRecord,
            {27, 54, 4, 87, 3, 86, 6, 89, 2, 85, 5, 88, 7, 90, 8, 91, 44, 43, 42, 45, 46, 47, 15});
        add(&EnhancedPlayer::PathRecord, {59, 60, 61, 62, 63, 64, 68});
        add(&EnhancedPlayer::BitmapRecord, {76, 77, 80, 81});
        add(&EnhancedPlayer::TextRecord, {83, 84});
        add(&EnhancedPlayer::ClipRecord, {29, 30, 75});
        return t;
    }();
    return type < table.size() ? table[type] : nullptr;
}

void EnhancedPlayer::Record(uint32_t type, const meta::Reader& r) {
    if (const Handler handler = FamilyOf(type)) (this->*handler)(type, r);
}

}  // namespace platform::emf
