// Windows metafiles: the 18-byte header, records measured in 16-bit words, and a player that
// turns each drawing record into the matching call on a device context.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>

#include "platform/gdi/gdi_text.h"
#include "platform/metafile/metafile_internal.h"
#include "platform/os/handles.h"

namespace platform {

namespace {

constexpr size_t kHeaderBytes = 18;
constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr size_t kPlaceableBytes = 22;
constexpr size_t kMaxFileBytes = size_t{1} << 30;

struct WindowsMetaFile {
    std::vector<uint8_t> bits;
};

std::shared_ptr<WindowsMetaFile> LookupMeta(HMETAFILE handle) {
    return Lookup<WindowsMetaFile>(handle, HandleKind::MetaFile);
}

HMETAFILE Register(std::vector<uint8_t> bits) {
    if (!meta::ValidWindowsMetafile(bits)) return 0;
    auto object = std::make_shared<WindowsMetaFile>();
    object->bits = std::move(bits);
    return InsertHandle(HandleKind::MetaFile, object);
}

bool ReadWholeFile(const char* path, std::vector<uint8_t>& out) {
    if (!path) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0 || static_cast<uint64_t>(size) > kMaxFileBytes) return false;
    in.seekg(0, std::ios::beg);
    out.resize(static_cast<size_t>(size));
    return static_cast<bool>(in.read(reinterpret_cast<char*>(out.data()), size)) || size == 0;
}

bool WriteWholeFile(const char* path, const std::vector<uint8_t>& bits) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(reinterpret_cast<const char*>(bits.data()),
              static_cast<std::streamsize>(bits.size()));
    return static_cast<bool>(out);
}

// One record's parameters, read as 16-bit words.
struct Params {
    meta::Reader r;
    int16_t W(size_t i) const { return r.I16(2 * i); }
    uint16_t U(size_t i) const { return r.U16(2 * i); }
    uint32_t D(size_t i) const { return r.U32(2 * i); }
    size_t Words() const { return r.Size() / 2; }
};

std::vector<POINT> ReadPoints(const Params& p, size_t firstWord, size_t count) {
    std::vector<POINT> points;
    if (!p.r.Has(2 * firstWord, count * 4)) return points;
    points.reserve(count);
    for (size_t i = 0; i < count; ++i)
        points.push_back(POINT{p.W(firstWord + 2 * i), p.W(firstWord + 2 * i + 1)});
    return points;
}

class WindowsPlayer {
  public:
    WindowsPlayer(HDC dc, size_t objects) : dc_(dc), objects_(objects) {}

    void Play(std::span<const uint8_t> bits) {
        base_ = SaveDC(dc_);
        if (base_ == 0) return;
        const meta::Reader r(bits);
        size_t offset = static_cast<size_t>(r.U16(2)) * 2;
        while (r.Has(offset, 6)) {
            const uint32_t words = r.U32(offset);
            const uint16_t function = r.U16(offset + 4);
            if (words < 3 || words > (r.Size() - offset) / 2) break;
            if (function == 0) break;  // end of file
            Record(function, words, Params{meta::Reader(r.Sub(offset + 6, size_t{words} * 2 - 6))});
            offset += size_t{words} * 2;
        }
        RestoreDC(dc_, base_);
        objects_.Clear();
    }

  private:
    // One handler per family of records; each takes the function number, the record's length
    // in words and its parameters.
    using Handler = void (WindowsPlayer::*)(uint16_t function, uint32_t words, const Params& p);
    static Handler FamilyOf(uint16_t function);
    void Record(uint16_t function, uint32_t words, const Params& p);
    void StateRecord(uint16_t function, uint32_t words, const Params& p);
    void ObjectRecord(uint16_t function, uint32_t words, const Params& p);
    void DrawingRecord(uint16_t function, uint32_t words, const Params& p);
    void ClipRecord(uint16_t function, uint32_t words, const Params& p);
    void BitmapRecord(uint16_t function, uint32_t words, const Params& p);
    void TextRecord(uint16_t function, uint32_t words, const Params& p);

    HDC dc_;
    meta::ObjectTable objects_;
    int base_ = 0;
    int depth_ = 0;  // levels the records themselves saved
};

WindowsPlayer::Handler WindowsPlayer::FamilyOf(uint16_t function) {
    // The low byte names a record; records no family lists are skipped, having no visible
    // effect here. Each family still checks the whole function number.
    static const auto table = [] {
        std::array<Handler, 256> t{};
        const auto add = [&t](Handler handler, std::initializer_list<uint16_t> functions) {
            for (const uint16_t function : functions)
                t[function & 0xFF] = handler;
        };
        add(&WindowsPlayer::StateRecord,
            {0x0201, 0x0102, 0x0103, 0x0104, 0x0106, 0x0107, 0x0209, 0x012E, 0x020B, 0x020C, 0x020D,
             0x020E, 0x020F, 0x0211, 0x0410, 0x0412, 0x001E, 0x0127});
        add(&WindowsPlayer::ObjectRecord, {0x02FA, 0x02FC, 0x0142, 0x01F9, 0x02FB, 0x00F7, 0x06FF,
                                           0x012D, 0x0234, 0x0035, 0x01F0});
        add(&WindowsPlayer::DrawingRecord, {0x0214, 0x0213, 0x0325, 0x0324, 0x0538, 0x041B, 0x061C,
                                            0x0418, 0x0817, 0x081A, 0x0830, 0x041F});
        add(&WindowsPlayer::ClipRecord, {0x0416, 0x0415});
        add(&WindowsPlayer::BitmapRecord, {0x061D, 0x0922, 0x0B23, 0x0940, 0x0B41, 0x0F43, 0x0D33});
        add(&WindowsPlayer::TextRecord, {0x0521, 0x0A32});
        return t;
    }();
    return table[function & 0xFF];
}

void WindowsPlayer::Record(uint16_t function, uint32_t words, const Params& p) {
    if (const Handler handler = FamilyOf(function)) (this->*handler)(function, words, p);
}

void WindowsPlayer::StateRecord(uint16_t function, uint32_t, const Params& p) {
    switch (function) {
        case 0x0201:
            SetBkColor(dc_, p.D(0));
            break;
        case 0x0102:
            SetBkMode(dc_, p.U(0));
            break;
        case 0x0103:
            SetMapMode(dc_, p.U(0));
            break;
        case 0x0104:
            SetROP2(dc_, p.U(0));
            break;
        case 0x0106:
            SetPolyFillMode(dc_, p.U(0));
            break;
        case 0x0107:
            SetStretchBltMode(dc_, p.U(0));
            break;
        case 0x0209:
            SetTextColor(dc_, p.D(0));
            break;
        case 0x012E:
            SetTextAlign(dc_, p.U(0));
            break;
        case 0x020B:
            SetWindowOrgEx(dc_, p.W(1), p.W(0), nullptr);
            break;
        case 0x020C:
            SetWindowExtEx(dc_, p.W(1), p.W(0), nullptr);
            break;
        case 0x020D:
            SetViewportOrgEx(dc_, p.W(1), p.W(0), nullptr);
            break;
        case 0x020E:
            SetViewportExtEx(dc_, p.W(1), p.W(0), nullptr);
            break;
        case 0x020F: {  // OffsetWindowOrg
            POINT o{};
            GetWindowOrgEx(dc_, &o);
            SetWindowOrgEx(dc_, o.x + p.W(1), o.y + p.W(0), nullptr);
            break;
        }
        case 0x0211: {  // OffsetViewportOrg
            POINT o{};
            GetViewportOrgEx(dc_, &o);
            SetViewportOrgEx(dc_, o.x + p.W(1), o.y + p.W(0), nullptr);
            break;
        }
        case 0x0410:    // ScaleWindowExt
        case 0x0412: {  // ScaleViewportExt
            const int yDen = p.W(0), yNum = p.W(1), xDen = p.W(2), xNum = p.W(3);
            if (xDen == 0 || yDen == 0) break;
            SIZE e{};
            const bool window = function == 0x0410;
            window ? GetWindowExtEx(dc_, &e) : GetViewportExtEx(dc_, &e);
            const int x = static_cast<int>(int64_t{e.cx} * xNum / xDen);
            const int y = static_cast<int>(int64_t{e.cy} * yNum / yDen);
            window ? SetWindowExtEx(dc_, x, y, nullptr) : SetViewportExtEx(dc_, x, y, nullptr);
            break;
        }
        case 0x001E:
            if (SaveDC(dc_)) ++depth_;
            break;
        case 0x0127: {
            // Never back past the level the player itself saved.
            const int level = p.W(0);
            if (level < 0 && -level <= depth_) {
                if (RestoreDC(dc_, level)) depth_ += level;
            } else if (level > 0 && level <= depth_) {
                if (RestoreDC(dc_, base_ + level)) depth_ = level - 1;
            }
            break;
        }
        default:
            break;
    }
}

void WindowsPlayer::ObjectRecord(uint16_t function, uint32_t, const Params& p) {
    switch (function) {
        case 0x02FA: {  // CreatePenIndirect
            int style = p.U(0) & 0x0F;
            if (style > PS_INSIDEFRAME) style = PS_SOLID;
            objects_.Add(CreatePen(style, std::abs(p.W(1)), p.D(3)));
            break;
        }
        case 0x02FC: {  // CreateBrushIndirect
            LOGBRUSH b{p.U(0), p.D(1), p.U(3)};
            if (b.lbStyle != BS_SOLID && b.lbStyle != BS_NULL && b.lbStyle != BS_HATCHED)
                b.lbStyle = BS_SOLID;
            if (b.lbStyle == BS_HATCHED && b.lbHatch > HS_DIAGCROSS) b.lbHatch = HS_CROSS;
            objects_.Add(CreateBrushIndirect(&b));
            break;
        }
        case 0x0142: {  // DIBCreatePatternBrush: the raster engine has no pattern brushes
            meta::CheckedDib dib;
            const COLORREF color =
                meta::CheckPackedDib(p.r.Sub(4, p.r.Size() - 4), DIB_RGB_COLORS, dib)
                    ? meta::AverageColor(dib)
                    : RGB(128, 128, 128);
            objects_.Add(CreateSolidBrush(color));
            break;
        }
        case 0x01F9:
            objects_.Add(CreateSolidBrush(RGB(128, 128, 128)));
            break;
        case 0x02FB: {  // CreateFontIndirect
            LOGFONT font{};
            font.lfHeight = p.W(0);
            font.lfWidth = p.W(1);
            font.lfEscapement = p.W(2);
            font.lfWeight = p.W(4);
            font.lfItalic = p.r.U8(10);
            font.lfUnderline = p.r.U8(11);
            font.lfStrikeOut = p.r.U8(12);
            objects_.Add(CreateFontIndirect(&font));
            break;
        }
        case 0x00F7: {  // CreatePalette
            LOGPALETTE pal{};
            pal.palVersion = 0x300;
            const uint16_t count = std::min<uint16_t>(p.U(1), 256);
            if (!p.r.Has(4, size_t{count} * 4) || count == 0) {
                objects_.Add(0);
                break;
            }
            pal.palNumEntries = count;
            std::memcpy(pal.palPalEntry, p.r.Sub(4, size_t{count} * 4).data(), size_t{count} * 4);
            objects_.Add(CreatePalette(&pal));
            break;
        }
        case 0x06FF:
            objects_.Add(0);
            break;  // regions are not kept
        case 0x012D: {
            const HGDIOBJ object = objects_.Get(p.U(0));
            if (object) SelectObject(dc_, object);
            break;
        }
        case 0x0234: {
            const HGDIOBJ object = objects_.Get(p.U(0));
            if (object) SelectPalette(dc_, object, false);
            break;
        }
        case 0x0035:
            RealizePalette(dc_);
            break;
        case 0x01F0:
            objects_.Delete(p.U(0));
            break;
        default:
            break;
    }
}

void WindowsPlayer::DrawingRecord(uint16_t function, uint32_t, const Params& p) {
    switch (function) {
        case 0x0214:
            MoveToEx(dc_, p.W(1), p.W(0), nullptr);
            break;
        case 0x0213:
            LineTo(dc_, p.W(1), p.W(0));
            break;
        case 0x0325:
        case 0x0324: {
            const auto points = ReadPoints(p, 1, p.U(0));
            if (points.empty()) break;
            if (function == 0x0325)
                Polyline(dc_, points.data(), static_cast<int>(points.size()));
            else
                Polygon(dc_, points.data(), static_cast<int>(points.size()));
            break;
        }
        case 0x0538: {  // PolyPolygon
            const size_t count = p.U(0);
            if (!p.r.Has(2, count * 2)) break;
            std::vector<std::vector<POINT>> polygons;
            size_t word = 1 + count;
            for (size_t i = 0; i < count; ++i) {
                const size_t n = p.U(1 + i);
                auto points = ReadPoints(p, word, n);
                if (points.size() != n) return;
                word += 2 * n;
                polygons.push_back(std::move(points));
            }
            meta::DrawPolyPolygon(dc_, polygons);
            break;
        }
        case 0x041B:
            Rectangle(dc_, p.W(3), p.W(2), p.W(1), p.W(0));
            break;
        case 0x061C: {  // RoundRect
            std::vector<POINT> outline;
            for (const auto& q :
                 meta::RoundRectOutline(p.W(5), p.W(4), p.W(3), p.W(2), p.W(1), p.W(0)))
                outline.push_back(
                    POINT{static_cast<int>(std::lround(q.x)), static_cast<int>(std::lround(q.y))});
            Polygon(dc_, outline.data(), static_cast<int>(outline.size()));
            break;
        }
        case 0x0418:
            Ellipse(dc_, p.W(3), p.W(2), p.W(1), p.W(0));
            break;
        case 0x0817:
            Arc(dc_, p.W(7), p.W(6), p.W(5), p.W(4), p.W(3), p.W(2), p.W(1), p.W(0));
            break;
        case 0x081A:
            Pie(dc_, p.W(7), p.W(6), p.W(5), p.W(4), p.W(3), p.W(2), p.W(1), p.W(0));
            break;
        case 0x0830:
            Chord(dc_, p.W(7), p.W(6), p.W(5), p.W(4), p.W(3), p.W(2), p.W(1), p.W(0));
            break;
        case 0x041F:
            SetPixel(dc_, p.W(3), p.W(2), p.D(0));
            break;
        default:
            break;
    }
}

void WindowsPlayer::ClipRecord(uint16_t function, uint32_t, const Params& p) {
    switch (function) {
        case 0x0416:
            IntersectClipRect(dc_, p.W(3), p.W(2), p.W(1), p.W(0));
            break;
        case 0x0415:
            ExcludeClipRect(dc_, p.W(3), p.W(2), p.W(1), p.W(0));
            break;
        default:
            break;
    }
}

void WindowsPlayer::BitmapRecord(uint16_t function, uint32_t words, const Params& p) {
    const bool noSource = words == static_cast<uint32_t>(function >> 8) + 3;
    const uint32_t rop = p.D(0);
    meta::CheckedDib dib;
    auto dibAt = [&](size_t word, uint32_t usage) {
        const size_t offset = 2 * word;
        return offset <= p.r.Size() &&
               meta::CheckPackedDib(p.r.Sub(offset, p.r.Size() - offset), usage, dib);
    };
    switch (function) {
        case 0x061D:
            BitBlt(dc_, p.W(5), p.W(4), p.W(3), p.W(2), 0, 0, 0, p.D(0));
            break;
        case 0x0922:
        case 0x0940:
            // Bitmap-carrying forms of the old BitBlt are not played.
            if (noSource) {
                BitBlt(dc_, p.W(8), p.W(7), p.W(6), p.W(5), 0, 0, 0, rop);
            } else if (function == 0x0940 && dibAt(8, DIB_RGB_COLORS)) {
                StretchDIBits(dc_, p.W(7), p.W(6), p.W(5), p.W(4), p.W(3), p.W(2), p.W(5), p.W(4),
                              dib.bits, &dib.info, DIB_RGB_COLORS, rop);
            }
            break;
        case 0x0B23:
        case 0x0B41:
            if (noSource) {
                BitBlt(dc_, p.W(10), p.W(9), p.W(8), p.W(7), 0, 0, 0, rop);
            } else if (function == 0x0B41 && dibAt(10, DIB_RGB_COLORS)) {
                StretchDIBits(dc_, p.W(9), p.W(8), p.W(7), p.W(6), p.W(5), p.W(4), p.W(3), p.W(2),
                              dib.bits, &dib.info, DIB_RGB_COLORS, rop);
            }
            break;
        case 0x0F43: {
            const uint32_t usage = p.U(2) == DIB_PAL_COLORS ? DIB_PAL_COLORS : DIB_RGB_COLORS;
            if (dibAt(11, usage))
                StretchDIBits(dc_, p.W(10), p.W(9), p.W(8), p.W(7), p.W(6), p.W(5), p.W(4), p.W(3),
                              dib.bits, &dib.info, usage, rop);
            break;
        }
        case 0x0D33: {
            const uint32_t usage = p.U(0) == DIB_PAL_COLORS ? DIB_PAL_COLORS : DIB_RGB_COLORS;
            if (dibAt(9, usage))
                StretchDIBits(dc_, p.W(8), p.W(7), p.W(6), p.W(5), p.W(4), p.W(3), p.W(6), p.W(5),
                              dib.bits, &dib.info, usage, SRCCOPY);
            break;
        }
        default:
            break;
    }
}

void WindowsPlayer::TextRecord(uint16_t function, uint32_t, const Params& p) {
    const bool extended = function == 0x0A32;  // ExtTextOut; 0x0521 is TextOut
    std::string text;
    int x = 0, y = 0;
    uint32_t options = 0;
    RECT rect{};
    if (!extended) {
        const size_t length = p.U(0);
        const auto bytes = p.r.Sub(2, length);
        if (bytes.size() != length) return;
        text.assign(bytes.begin(), bytes.end());
        const size_t after = 1 + (length + 1) / 2;
        y = p.W(after);
        x = p.W(after + 1);
    } else {
        y = p.W(0);
        x = p.W(1);
        const size_t length = p.U(2);
        options = p.U(3);
        size_t offset = 8;
        if (options & (ETO_OPAQUE | ETO_CLIPPED)) {
            rect = RECT{p.W(4), p.W(5), p.W(6), p.W(7)};
            offset += 8;
        }
        const auto bytes = p.r.Sub(offset, length);
        if (bytes.size() != length) return;
        text.assign(bytes.begin(), bytes.end());
    }
    if (p.r.Failed()) return;
    ExtTextOutA(dc_, x, y, options & (ETO_OPAQUE | ETO_CLIPPED), &rect, text.data(),
                static_cast<int>(text.size()));
}

}  // namespace

namespace meta {

bool ValidWindowsMetafile(std::span<const uint8_t> bits) {
    const Reader r(bits);
    const uint16_t type = r.U16(0);
    const uint16_t headerWords = r.U16(2);
    if (r.Failed() || bits.size() < kHeaderBytes || (type != 1 && type != 2) || headerWords != 9)
        return false;
    // At least one complete record must follow.
    const uint32_t words = r.U32(kHeaderBytes);
    return !r.Failed() && words >= 3 && words <= (bits.size() - kHeaderBytes) / 2;
}

bool PlayWindowsRecords(HDC dc, std::span<const uint8_t> bits) {
    if (!ValidWindowsMetafile(bits)) return false;
    const Reader r(bits);
    WindowsPlayer player(dc, r.U16(10));
    player.Play(bits);
    return true;
}

bool FindWindowExtent(std::span<const uint8_t> bits, POINT& origin, SIZE& extent) {
    if (!ValidWindowsMetafile(bits)) return false;
    const Reader r(bits);
    bool found = false;
    origin = POINT{0, 0};
    size_t offset = kHeaderBytes;
    while (r.Has(offset, 6)) {
        const uint32_t words = r.U32(offset);
        const uint16_t function = r.U16(offset + 4);
        if (words < 3 || words > (r.Size() - offset) / 2 || function == 0) break;
        if (words >= 5 && function == 0x020C) {
            extent = SIZE{r.I16(offset + 8), r.I16(offset + 6)};
            found = true;
        } else if (words >= 5 && function == 0x020B) {
            origin = POINT{r.I16(offset + 8), r.I16(offset + 6)};
        }
        offset += size_t{words} * 2;
    }
    return found;
}

}  // namespace meta

bool ReadPlaceableHeader(const uint8_t* data, size_t size, PlaceableHeader* header) {
    if (!data || !header) return false;
    const meta::Reader r(std::span<const uint8_t>(data, size));
    if (r.U32(0) != kPlaceableKey || size < kPlaceableBytes) return false;
    header->left = r.I16(6);
    header->top = r.I16(8);
    header->right = r.I16(10);
    header->bottom = r.I16(12);
    header->inch = r.U16(14);
    uint16_t sum = 0;
    for (size_t i = 0; i < 10; ++i)
        sum ^= r.U16(2 * i);
    header->checksumValid = sum == r.U16(20);
    return true;
}

HMETAFILE GetMetaFile(const char* path) {
    std::vector<uint8_t> bits;
    if (!ReadWholeFile(path, bits)) return 0;
    PlaceableHeader placeable{};
    if (ReadPlaceableHeader(bits.data(), bits.size(), &placeable))
        bits.erase(bits.begin(), bits.begin() + kPlaceableBytes);
    return Register(std::move(bits));
}

HMETAFILE SetMetaFileBitsEx(uint32_t size, const uint8_t* data) {
    if (!data) return 0;
    return Register(std::vector<uint8_t>(data, data + size));
}

HMETAFILE CopyMetaFile(HMETAFILE metafile, const char* path) {
    auto source = LookupMeta(metafile);
    if (!source) return 0;
    if (path && !WriteWholeFile(path, source->bits)) return 0;
    return Register(source->bits);
}

bool DeleteMetaFile(HMETAFILE metafile) {
    return RemoveHandle(metafile, HandleKind::MetaFile);
}

uint32_t GetMetaFileBitsEx(HMETAFILE metafile, uint32_t size, void* data) {
    auto source = LookupMeta(metafile);
    if (!source) return 0;
    const auto total = static_cast<uint32_t>(source->bits.size());
    if (!data) return total;
    if (size < total) return 0;
    std::memcpy(data, source->bits.data(), total);
    return total;
}

bool PlayMetaFile(HDC dc, HMETAFILE metafile) {
    auto source = LookupMeta(metafile);
    if (!source || !gdi::LookupDc(dc)) return false;
    return meta::PlayWindowsRecords(dc, source->bits);
}

}  // namespace platform
