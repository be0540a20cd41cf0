// Bitmap creation and the transfer of packed DIB rows into and out of bitmaps.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/gdi/gdi.h"
#include "platform/gdi/gdi_objects.h"
#include "platform/gdi/pixel_format.h"
#include "platform/gdi/raster.h"

namespace platform {

using gdi::Bitmap;
using gdi::PixelFormat;

namespace {

HBITMAP Register(std::shared_ptr<Bitmap> bitmap) {
    if (!bitmap) return 0;
    return gdi::RegisterObject(HandleKind::Bitmap, std::move(bitmap));
}

// A device bitmap of some depth that is not the display's.
std::shared_ptr<Bitmap> CreateDeviceBitmap(int width, int height, int bitCount) {
    if (bitCount == 1) return gdi::CreateMonochromeBitmap(width, height);
    if (bitCount == DisplayDepth()) return gdi::CreateDisplayBitmap(width, height);
    auto bitmap = gdi::AllocateBitmap(width, height, bitCount, false);
    if (!bitmap) return nullptr;
    if (bitCount <= 8)
        bitmap->colors = gdi::DefaultColorTable(bitCount);
    else
        bitmap->masks = bitCount == 16 ? std::array<uint32_t, 3>{0xF800, 0x07E0, 0x001F}
                                       : gdi::DefaultMasks(bitCount);
    return bitmap;
}

// A bitmap of the same kind and format as another.
std::shared_ptr<Bitmap> CreateLike(const Bitmap& model, int width, int height) {
    if (model.monochrome) return gdi::CreateMonochromeBitmap(width, height);
    auto bitmap = gdi::AllocateBitmap(width, height, model.bitCount, false);
    if (!bitmap) return nullptr;
    bitmap->dibSection = model.dibSection;
    bitmap->systemPalette = model.systemPalette;
    bitmap->colors = model.colors;
    bitmap->masks = model.masks;
    return bitmap;
}

// The colour table GetDIBits reports (and maps to) for a request of `bitCount` bits.
std::vector<RGBQUAD> ReportedTable(const Bitmap& bitmap, int bitCount, const gdi::Dc* dc,
                                   bool ownTableAllowed) {
    if (ownTableAllowed && bitmap.bitCount == bitCount && !bitmap.monochrome) {
        if (bitmap.systemPalette) return gdi::FormatOf(bitmap).table;
        std::vector<RGBQUAD> table = bitmap.colors;
        table.resize(size_t{1} << bitCount, RGBQUAD{0, 0, 0, 0});
        return table;
    }
    if (bitCount == 1) return gdi::DefaultColorTable(1);
    std::shared_ptr<gdi::Palette> palette = dc ? dc->paletteObject : nullptr;
    if (!palette || palette->stock) return gdi::DefaultColorTable(bitCount);
    std::vector<RGBQUAD> table(size_t{1} << bitCount, RGBQUAD{0, 0, 0, 0});
    std::lock_guard lock(gdi::ObjectMutex());
    const size_t n = std::min(table.size(), palette->entries.size());
    for (size_t i = 0; i < n; ++i) {
        const PALETTEENTRY& e = palette->entries[i];
        table[i] = RGBQUAD{e.peBlue, e.peGreen, e.peRed, 0};
    }
    return table;
}

}  // namespace

HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, uint32_t usage, void** bits) {
    if (bits) *bits = nullptr;
    auto dcObject = gdi::LookupDc(dc);
    gdi::DibLayout layout;
    if (!gdi::ParseDibInfo(info, usage, dcObject.get(), layout)) return 0;
    auto bitmap =
        gdi::AllocateBitmap(layout.width, layout.height, layout.format.bitCount, layout.topDown);
    if (!bitmap) return 0;
    bitmap->dibSection = true;
    bitmap->colors = layout.format.table;
    bitmap->masks = layout.format.masks;
    void* memory = bitmap->pixels.get();
    const HBITMAP handle = Register(std::move(bitmap));
    if (handle && bits) *bits = memory;
    return handle;
}

HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, uint32_t usage, void** bits,
                         HGLOBAL section, uint32_t offset) {
    if (!section) return CreateDIBSection(dc, info, usage, bits);
    if (bits) *bits = nullptr;
    auto dcObject = gdi::LookupDc(dc);
    gdi::DibLayout layout;
    if (offset != 0 || !gdi::ParseDibInfo(info, usage, dcObject.get(), layout)) return 0;
    const size_t size = static_cast<size_t>(layout.stride) * static_cast<size_t>(layout.height);
    if (GlobalSize(section) < size) return 0;
    auto bitmap = std::make_shared<Bitmap>();
    bitmap->pixels = TakeGlobalStorage(section, nullptr);
    if (!bitmap->pixels) return 0;
    bitmap->width = layout.width;
    bitmap->height = layout.height;
    bitmap->bitCount = layout.format.bitCount;
    bitmap->stride = layout.stride;
    bitmap->topDown = layout.topDown;
    bitmap->sizeBytes = size;
    bitmap->dibSection = true;
    bitmap->colors = layout.format.table;
    bitmap->masks = layout.format.masks;
    void* memory = bitmap->pixels.get();
    const HBITMAP handle = Register(std::move(bitmap));
    if (handle && bits) *bits = memory;
    return handle;
}

uint64_t GetBitmapChangeCount(HBITMAP bitmap) {
    auto object = gdi::LookupBitmap(bitmap);
    return object ? object->changes : 0;
}

void NoteBitmapChanged(HBITMAP bitmap) {
    if (auto object = gdi::LookupBitmap(bitmap)) ++object->changes;
}

int SetDIBits(HDC dc, HBITMAP bitmap, uint32_t start, uint32_t lines, const void* bits,
              const BITMAPINFO* info, uint32_t usage) {
    auto target = gdi::LookupBitmap(bitmap);
    if (!target || !bits) return 0;
    auto dcObject = gdi::LookupDc(dc);
    gdi::DibLayout layout;
    if (!gdi::ParseDibInfo(info, usage, dcObject.get(), layout)) return 0;
    const auto height = static_cast<uint32_t>(layout.height);
    if (start >= height) return 0;
    const auto rows = static_cast<int>(std::min(lines, height - start));
    if (rows == 0) return 0;
    // Scan line s of a bottom-up DIB is row height - 1 - s from the top; the rows given start
    // at scan line `start`.
    const int firstRow =
        layout.topDown ? static_cast<int>(start) : static_cast<int>(height - start) - rows;

    ++target->changes;
    const PixelFormat dstFormat = gdi::FormatOf(*target);
    gdi::Surface dst = gdi::SurfaceOf(*target, dstFormat);
    gdi::Surface src{static_cast<uint8_t*>(const_cast<void*>(bits)),
                     layout.stride,
                     layout.width,
                     rows,
                     layout.topDown,
                     &layout.format};
    gdi::PixelConverter converter(layout.format, dstFormat, gdi::PixelConverter::Rules::Dib, {});
    gdi::BlitRequest request;
    request.dx = 0;
    request.dy = firstRow;
    request.dw = layout.width;
    request.dh = rows;
    request.sw = layout.width;
    request.sh = rows;
    request.rop = 0xCC;
    if (gdi::Blit(dst, &src, &converter, request) < 0) return 0;
    return rows;
}

extern "C" int GetDIBits(HDC dc, HBITMAP bitmap, uint32_t start, uint32_t lines, void* bits,
                         BITMAPINFO* info, uint32_t usage) {
    auto source = gdi::LookupBitmap(bitmap);
    if (!source || !info) return 0;
    if (usage != DIB_RGB_COLORS && usage != DIB_PAL_COLORS) return 0;
    auto dcObject = gdi::LookupDc(dc);
    BITMAPINFOHEADER& h = info->bmiHeader;
    if (h.biSize < 40 || h.biSize > 124) return 0;
    auto* raw = reinterpret_cast<uint8_t*>(info);

    if (h.biBitCount == 0) {
        // Only the bitmap's own format is asked for.
        if (bits) return 0;
        const PixelFormat own = gdi::FormatOf(*source);
        h.biWidth = source->width;
        h.biHeight = source->topDown ? -source->height : source->height;
        h.biPlanes = 1;
        h.biBitCount = static_cast<uint16_t>(source->bitCount);
        h.biCompression = BI_RGB;
        if (source->bitCount == 16 || source->bitCount == 32) {
            if (own.masks != gdi::DefaultMasks(source->bitCount)) {
                h.biCompression = BI_BITFIELDS;
                std::memcpy(raw + 40, own.masks.data(), 12);
            }
        }
        h.biSizeImage = static_cast<uint32_t>(gdi::DibStride(source->width, source->bitCount)) *
                        static_cast<uint32_t>(source->height);
        h.biXPelsPerMeter = h.biYPelsPerMeter = 0;
        h.biClrUsed = h.biClrImportant = 0;
        return source->height;
    }

    const int bitCount = h.biBitCount;
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 &&
        bitCount != 32)
        return 0;
    if (h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN) return 0;
    if (h.biCompression == BI_BITFIELDS ? (bitCount != 16 && bitCount != 32)
                                        : h.biCompression != BI_RGB)
        return 0;
    const int64_t stride64 = ((int64_t{h.biWidth} * bitCount + 31) / 32) * 4;
    const int64_t height = std::abs(int64_t{h.biHeight});
    if (stride64 * height > INT32_MAX) return 0;
    const int stride = static_cast<int>(stride64);

    PixelFormat format;
    format.bitCount = bitCount;
    if (bitCount <= 8) {
        format.table = ReportedTable(*source, bitCount, dcObject.get(), usage == DIB_RGB_COLORS);
        uint8_t* colors = raw + h.biSize;
        for (size_t i = 0; i < format.table.size(); ++i) {
            if (usage == DIB_RGB_COLORS) {
                std::memcpy(colors + 4 * i, &format.table[i], 4);
            } else {
                const auto index = static_cast<uint16_t>(i);
                std::memcpy(colors + 2 * i, &index, 2);
            }
        }
    } else if (h.biCompression == BI_BITFIELDS) {
        if (source->bitCount == bitCount && !source->monochrome)
            format.masks = gdi::FormatOf(*source).masks;
        else
            format.masks = bitCount == 16 ? std::array<uint32_t, 3>{0xF800, 0x07E0, 0x001F}
                                          : gdi::DefaultMasks(32);
        std::memcpy(raw + 40, format.masks.data(), 12);
    } else {
        format.masks = gdi::DefaultMasks(bitCount);
    }
    h.biPlanes = 1;
    h.biSizeImage = static_cast<uint32_t>(stride64 * height);
    h.biClrUsed = h.biClrImportant = 0;
    if (!bits) return static_cast<int>(height);

    if (start >= height) return 0;
    const auto rows = static_cast<int>(std::min<int64_t>(lines, height - start));
    if (rows == 0) return 0;
    const bool topDown = h.biHeight < 0;
    const int firstRow =
        topDown ? static_cast<int>(start) : static_cast<int>(height - start) - rows;

    const PixelFormat srcFormat = gdi::FormatOf(*source);
    gdi::Surface src = gdi::SurfaceOf(*source, srcFormat);
    gdi::Surface dst{static_cast<uint8_t*>(bits), stride, h.biWidth, rows, topDown, &format};
    gdi::PixelConverter converter(srcFormat, format, gdi::PixelConverter::Rules::Dib, {});
    gdi::BlitRequest request;
    request.dw = h.biWidth;
    request.dh = rows;
    request.sx = 0;
    request.sy = firstRow;
    request.sw = h.biWidth;
    request.sh = rows;
    request.rop = 0xCC;
    const int copied = gdi::Blit(dst, &src, &converter, request);
    return copied < 0 ? 0 : copied;
}

HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height) {
    if (width < 0 || height < 0) return 0;
    std::shared_ptr<gdi::Dc> dcObject;
    if (dc != 0) {
        dcObject = gdi::LookupDc(dc);
        if (!dcObject) return 0;
    }
    if (width == 0 || height == 0) return gdi::StockBitmap();
    std::shared_ptr<Bitmap> selected =
        dcObject && dcObject->memory ? dcObject->bitmapObject : nullptr;
    // A memory DC makes bitmaps like the one it holds: monochrome while it has its initial
    // bitmap, a DIB section of the same format while it holds one.
    if (selected && (selected->monochrome || selected->dibSection))
        return Register(CreateLike(*selected, width, height));
    return Register(gdi::CreateDisplayBitmap(width, height));
}

HBITMAP CreateBitmap(int width, int height, uint32_t planes, uint32_t bitsPerPixel,
                     const void* bits) {
    if (width < 0 || height < 0 || planes != 1) return 0;
    if (width == 0 || height == 0) return gdi::StockBitmap();
    const int bpp = static_cast<int>(bitsPerPixel);
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return 0;
    auto bitmap = CreateDeviceBitmap(width, height, bpp);
    if (!bitmap) return 0;
    if (bits) {
        // Rows padded to 16 bits, top row first.
        const size_t rowBytes = (static_cast<size_t>(width) * bpp + 7) / 8;
        const size_t srcStride = ((static_cast<size_t>(width) * bpp + 15) / 16) * 2;
        const auto* src = static_cast<const uint8_t*>(bits);
        for (int y = 0; y < height; ++y)
            std::memcpy(bitmap->Row(y), src + y * srcStride, rowBytes);
    }
    return Register(std::move(bitmap));
}

HBITMAP CreateDIBitmap(HDC dc, const BITMAPINFOHEADER* header, uint32_t init, const void* bits,
                       const BITMAPINFO* info, uint32_t usage) {
    if (!header || header->biWidth <= 0 || header->biHeight == 0 || header->biHeight == INT32_MIN)
        return 0;
    const int width = header->biWidth;
    const int height = std::abs(header->biHeight);
    // A 1-bit DIB whose table is black then white makes a monochrome bitmap.
    bool monochrome = false;
    if (info && usage == DIB_RGB_COLORS && info->bmiHeader.biBitCount == 1 &&
        info->bmiHeader.biSize >= 40 && info->bmiHeader.biSize <= 124) {
        RGBQUAD table[2];
        std::memcpy(table, reinterpret_cast<const uint8_t*>(info) + info->bmiHeader.biSize,
                    sizeof table);
        monochrome = table[0].rgbRed == 0 && table[0].rgbGreen == 0 && table[0].rgbBlue == 0 &&
                     table[1].rgbRed == 255 && table[1].rgbGreen == 255 && table[1].rgbBlue == 255;
    }
    const HBITMAP handle = monochrome ? CreateBitmap(width, height, 1, 1, nullptr)
                                      : CreateCompatibleBitmap(dc, width, height);
    if (!handle) return 0;
    if ((init & CBM_INIT) && bits && info) {
        const auto rows = static_cast<uint32_t>(std::abs(info->bmiHeader.biHeight));
        if (SetDIBits(dc, handle, 0, rows, bits, info, usage) == 0) {
            DeleteObject(handle);
            return 0;
        }
    }
    return handle;
}

uint32_t SetDIBColorTable(HDC dc, uint32_t start, uint32_t count, const RGBQUAD* colors) {
    auto dcObject = gdi::LookupDc(dc);
    if (!dcObject || !colors) return 0;
    const std::shared_ptr<Bitmap> bitmap = dcObject->bitmapObject;
    if (!bitmap || !bitmap->dibSection || bitmap->systemPalette || start >= bitmap->colors.size())
        return 0;
    const auto n = std::min<uint32_t>(count, static_cast<uint32_t>(bitmap->colors.size()) - start);
    std::copy(colors, colors + n, bitmap->colors.begin() + start);
    ++bitmap->changes;
    return n;
}

bool GdiFlush() {
    return true;
}

}  // namespace platform
