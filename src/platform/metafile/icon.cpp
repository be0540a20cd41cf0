// Icons: the XOR colour image and the AND mask of one icon-file image, drawn through the mask
// the way the display driver does (AND the mask in, then XOR the image).
#include <algorithm>
#include <memory>
#include <vector>

#include "platform/os/handles.h"
#include "platform/metafile/metafile_internal.h"

namespace platform {

namespace {

constexpr int kMaxIconSide = 1024;

struct Icon {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> xorImage;  // 0x00RRGGBB, top row first
    std::vector<uint8_t> andMask;    // 1 keeps the destination, top row first
    std::vector<uint8_t> alpha;      // 32-bit images with an alpha channel: blended, not masked
};

std::shared_ptr<Icon> LookupIcon(HICON handle) {
    return Lookup<Icon>(handle, HandleKind::Icon);
}

uint32_t Bits(const uint8_t* row, int bitCount, int x) {
    switch (bitCount) {
        case 1:
            return (row[x >> 3] >> (7 - (x & 7))) & 1;
        case 4:
            return (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F;
        case 8:
            return row[x];
        case 16:
            return static_cast<uint32_t>(row[2 * x] | row[2 * x + 1] << 8);
        case 24:
            return static_cast<uint32_t>(row[3 * x] | row[3 * x + 1] << 8 | row[3 * x + 2] << 16);
        default:
            return static_cast<uint32_t>(row[4 * x] | row[4 * x + 1] << 8 | row[4 * x + 2] << 16 |
                                         static_cast<uint32_t>(row[4 * x + 3]) << 24);
    }
}

std::shared_ptr<Icon> Parse(std::span<const uint8_t> data) {
    const meta::Reader r(data);
    const uint32_t headerSize = r.U32(0);
    if (r.Failed() || headerSize < 40 || headerSize > 124) return nullptr;  // PNG images too
    const int32_t width = r.I32(4);
    const int32_t doubled = r.I32(8);
    const int bits = r.U16(14);
    const uint32_t compression = r.U32(16);
    const uint32_t used = r.U32(32);
    if (width <= 0 || width > kMaxIconSide || doubled <= 1 || doubled > 2 * kMaxIconSide ||
        compression != BI_RGB)
        return nullptr;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return nullptr;
    const int height = doubled / 2;
    size_t offset = headerSize;
    std::vector<uint32_t> table;
    if (bits <= 8) {
        const uint32_t full = 1u << bits;
        const uint32_t count = used != 0 && used < full ? used : full;
        if (!r.Has(offset, size_t{count} * 4)) return nullptr;
        table.assign(full, 0);
        for (uint32_t i = 0; i < count; ++i)
            table[i] = r.U32(offset + 4 * i) & 0x00FFFFFF;
        offset += size_t{count} * 4;
    }
    const size_t xorStride = static_cast<size_t>(gdi::DibStride(width, bits));
    const size_t andStride = static_cast<size_t>(gdi::DibStride(width, 1));
    if (!r.Has(offset, xorStride * height)) return nullptr;
    const size_t andOffset = offset + xorStride * height;
    // Some 32-bit images leave the mask out and rely on their alpha channel alone.
    const bool hasMask = r.Has(andOffset, andStride * height);
    if (!hasMask && bits != 32) return nullptr;

    auto icon = std::make_shared<Icon>();
    icon->width = width;
    icon->height = height;
    icon->xorImage.resize(static_cast<size_t>(width) * height);
    icon->andMask.assign(static_cast<size_t>(width) * height, 0);
    bool anyAlpha = false;
    std::vector<uint8_t> alpha(static_cast<size_t>(width) * height, 0);
    for (int y = 0; y < height; ++y) {
        // Rows are stored bottom-up.
        const uint8_t* row = data.data() + offset + xorStride * (height - 1 - y);
        const uint8_t* maskRow =
            hasMask ? data.data() + andOffset + andStride * (height - 1 - y) : nullptr;
        for (int x = 0; x < width; ++x) {
            const size_t i = static_cast<size_t>(y) * width + x;
            const uint32_t v = Bits(row, bits, x);
            uint32_t color;
            if (bits <= 8) {
                color = table[v];
            } else if (bits == 16) {
                color = ((v >> 10 & 31) * 255 / 31) << 16 | ((v >> 5 & 31) * 255 / 31) << 8 |
                        (v & 31) * 255 / 31;
            } else {
                color = v & 0x00FFFFFF;
            }
            icon->xorImage[i] = color;
            if (bits == 32) {
                alpha[i] = static_cast<uint8_t>(v >> 24);
                anyAlpha = anyAlpha || alpha[i] != 0;
            }
            if (maskRow) icon->andMask[i] = static_cast<uint8_t>(Bits(maskRow, 1, x));
        }
    }
    if (anyAlpha) {
        for (size_t i = 0; i < alpha.size(); ++i) {
            icon->andMask[i] = alpha[i] == 0 ? 1 : 0;
            if (alpha[i] == 0) icon->xorImage[i] = 0;
        }
        icon->alpha = std::move(alpha);
    }
    return icon;
}

std::shared_ptr<Icon> Resized(const Icon& source, int width, int height) {
    auto icon = std::make_shared<Icon>();
    icon->width = width;
    icon->height = height;
    icon->xorImage.resize(static_cast<size_t>(width) * height);
    icon->andMask.resize(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        const int sy = static_cast<int>(int64_t{y} * source.height / height);
        for (int x = 0; x < width; ++x) {
            const int sx = static_cast<int>(int64_t{x} * source.width / width);
            const size_t from = static_cast<size_t>(sy) * source.width + sx;
            const size_t to = static_cast<size_t>(y) * width + x;
            icon->xorImage[to] = source.xorImage[from];
            icon->andMask[to] = source.andMask[from];
            if (!source.alpha.empty()) {
                icon->alpha.resize(icon->xorImage.size());
                icon->alpha[to] = source.alpha[from];
            }
        }
    }
    return icon;
}

// Alpha images over the destination, pixel by pixel in device space.
void Blend(HDC dc, const Icon& icon, int x, int y, int width, int height) {
    POINT corners[2] = {{x, y}, {x + width, y + height}};
    LPtoDP(dc, corners, 2);
    auto target = gdi::LookupDc(dc);
    auto surface = target ? gdi::DcSurface(*target) : nullptr;
    if (!surface) return;
    ++surface->changes;
    const int64_t dw = int64_t{corners[1].x} - corners[0].x;
    const int64_t dh = int64_t{corners[1].y} - corners[0].y;
    if (dw == 0 || dh == 0) return;
    const int level = SaveDC(dc);
    SetMapMode(dc, MM_TEXT);
    SetWindowOrgEx(dc, 0, 0, nullptr);
    SetViewportOrgEx(dc, 0, 0, nullptr);
    const int64_t left = std::max<int64_t>(std::min<int64_t>(corners[0].x, corners[1].x), 0);
    const int64_t right =
        std::min<int64_t>(std::max<int64_t>(corners[0].x, corners[1].x), surface->width);
    const int64_t top = std::max<int64_t>(std::min<int64_t>(corners[0].y, corners[1].y), 0);
    const int64_t bottom =
        std::min<int64_t>(std::max<int64_t>(corners[0].y, corners[1].y), surface->height);
    for (int64_t py = top; py < bottom; ++py) {
        // Negative extents mirror, as they do for blits.
        const int64_t sy = (py - corners[0].y) * icon.height / dh;
        for (int64_t px = left; px < right; ++px) {
            const int64_t sx = (px - corners[0].x) * icon.width / dw;
            if (sx < 0 || sy < 0 || sx >= icon.width || sy >= icon.height) continue;
            const size_t i = static_cast<size_t>(sy) * icon.width + static_cast<size_t>(sx);
            const uint32_t a = icon.alpha[i];
            if (a == 0) continue;
            const uint32_t c = icon.xorImage[i];
            COLORREF out = RGB(c >> 16 & 0xFF, c >> 8 & 0xFF, c & 0xFF);
            if (a < 255) {
                const COLORREF d = GetPixel(dc, static_cast<int>(px), static_cast<int>(py));
                if (d == CLR_INVALID) continue;
                auto mix = [a](uint32_t s, uint32_t t) {
                    return (s * a + t * (255 - a) + 127) / 255;
                };
                out = RGB(mix(c >> 16 & 0xFF, GetRValue(d)), mix(c >> 8 & 0xFF, GetGValue(d)),
                          mix(c & 0xFF, GetBValue(d)));
            }
            SetPixel(dc, static_cast<int>(px), static_cast<int>(py), out);
        }
    }
    RestoreDC(dc, level);
}

}  // namespace

HICON CreateIconFromResourceEx(const uint8_t* data, uint32_t size, bool /*icon*/,
                               uint32_t /*version*/, int width, int height, uint32_t /*flags*/) {
    if (!data || width < 0 || height < 0 || width > kMaxIconSide || height > kMaxIconSide) return 0;
    auto parsed = Parse(std::span<const uint8_t>(data, size));
    if (!parsed) return 0;
    const int w = width ? width : parsed->width;
    const int h = height ? height : parsed->height;
    if (w != parsed->width || h != parsed->height) parsed = Resized(*parsed, w, h);
    return InsertHandle(HandleKind::Icon, parsed);
}

HICON CreateIconFromResource(const uint8_t* data, uint32_t size, bool icon, uint32_t version) {
    return CreateIconFromResourceEx(data, size, icon, version, 0, 0, 0);
}

HICON CopyIcon(HICON icon) {
    auto source = LookupIcon(icon);
    if (!source) return 0;
    return InsertHandle(HandleKind::Icon, std::make_shared<Icon>(*source));
}

bool DestroyIcon(HICON icon) {
    return RemoveHandle(icon, HandleKind::Icon);
}

bool GetIconSize(HICON icon, int* width, int* height) {
    auto source = LookupIcon(icon);
    if (!source) return false;
    if (width) *width = source->width;
    if (height) *height = source->height;
    return true;
}

bool DrawIconEx(HDC dc, int x, int y, HICON icon, int width, int height, uint32_t /*step*/,
                HBRUSH /*flickerFree*/, uint32_t flags) {
    auto source = LookupIcon(icon);
    if (!source || !gdi::LookupDc(dc) || (flags & DI_NORMAL) == 0) return false;
    const int w = width ? width : source->width;
    const int h = height ? height : source->height;
    const int iw = source->width, ih = source->height;

    BITMAPINFO maskInfo = DibHeader(iw, -ih, 1);  // top-down
    maskInfo.bmiColors[1] = RGBQUAD{255, 255, 255, 0};
    const size_t maskStride = static_cast<size_t>(gdi::DibStride(iw, 1));
    std::vector<uint8_t> mask(maskStride * ih, 0);
    for (int row = 0; row < ih; ++row)
        for (int col = 0; col < iw; ++col)
            if (source->andMask[static_cast<size_t>(row) * iw + col])
                mask[maskStride * row + (col >> 3)] |= static_cast<uint8_t>(0x80 >> (col & 7));
    const BITMAPINFO colorInfo = DibHeader(iw, -ih, 32);

    const bool both = (flags & DI_NORMAL) == DI_NORMAL;
    if (both && !source->alpha.empty()) {
        Blend(dc, *source, x, y, w, h);
        return true;
    }
    if (flags & DI_MASK)
        StretchDIBits(dc, x, y, w, h, 0, 0, iw, ih, mask.data(), &maskInfo, DIB_RGB_COLORS,
                      both ? SRCAND : SRCCOPY);
    if (flags & DI_IMAGE)
        StretchDIBits(dc, x, y, w, h, 0, 0, iw, ih, source->xorImage.data(), &colorInfo,
                      DIB_RGB_COLORS, both ? SRCINVERT : SRCCOPY);
    return true;
}

}  // namespace platform
