// Icon (.ico) and cursor (.cur) files: the first image of the file becomes an icon object.
//
// The file starts with a 6-byte header (reserved 0, type 1 icon or 2 cursor, image count) and
// one 16-byte directory entry per image: width, height, colour count, reserved (8 bits each),
// planes and bit count (a cursor's hot spot), the image's size and its offset from the start of
// the file (32 bits each). Only the first entry counts. The image itself is either a DIB (a
// BITMAPINFOHEADER whose height is twice the icon's, the colour table, the colour rows, then the
// 1-bit AND mask) or, in files made for large icons, a complete PNG file. A cursor is shown as an
// icon of its image; its hot spot has no use here.
//
// PNG images are decoded by the PNG codec module, loaded by name like every other codec: the
// control library itself does not link libpng. The decoded BGRA pixels are turned into the DIB
// form of a 32-bit icon image (colour rows with alpha, and an AND mask that is set where the
// alpha is 0), so the icon object treats both kinds the same way. Without the module a PNG
// image gives no icon.
#include <cstring>
#include <vector>

#include "decode/codec_contract.h"
#include "decode/readers.h"
#include "platform/os/file_map.h"
#include "platform/os/global_memory.h"
#include "platform/metafile/metafile.h"
#include "platform/os/module.h"

namespace decode {
namespace {

constexpr uint32_t kIconVersion = 0x00030000;
constexpr size_t kFileHeaderSize = 6;
constexpr size_t kDirectoryEntrySize = 16;
constexpr size_t kInfoHeaderSize = 40;
// The largest side the icon object takes; larger PNG images are refused before decoding.
constexpr int32_t kMaxPngIconSide = 1024;
constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

uint16_t U16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t U32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
void PutU16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void PutU32(uint8_t* p, uint32_t v) {
    PutU16(p, v);
    PutU16(p + 2, v >> 16);
}

// What the icon is made from: the image bytes in DIB form and the icon's size and depth.
struct IconImage {
    std::vector<uint8_t> data;
    int32_t width = 0;
    int32_t height = 0;
    uint32_t colourCount = 0;  // planes x bit count
};

// A PNG image through the codec module, rebuilt as a 32-bit DIB icon image. False when the
// module is missing or cannot decode it.
bool DecodePngImage(std::span<const uint8_t> png, IconImage& out) {
    platform::Module module("LMPNG32.DLL");
    auto read = reinterpret_cast<ReadPNGMemoryProc>(module.GetProcAddress("ReadPNGMemory"));
    if (!read) return false;
    BITMAPINFOHEADER header{};
    const int32_t result =
        read(png.data(), static_cast<uint32_t>(png.size()), kMaxPngIconSide, &header);
    if (result <= 0) return false;
    platform::GlobalBlock block(static_cast<HGLOBAL>(result));
    const int32_t width = header.biWidth;
    const int32_t height = header.biHeight;
    if (header.biBitCount != 32 || width < 1 || height < 1 || width > kMaxPngIconSide ||
        height > kMaxPngIconSide)
        return false;
    const size_t colourStride = static_cast<size_t>(width) * 4;
    const size_t maskStride = (static_cast<size_t>(width) + 31) / 32 * 4;
    const size_t rows = static_cast<size_t>(height);
    if (platform::GlobalSize(block.get()) < colourStride * rows) return false;
    const auto* bgra = static_cast<const uint8_t*>(platform::GlobalLock(block.get()));
    if (!bgra) return false;

    out.width = width;
    out.height = height;
    out.colourCount = 32;
    out.data.assign(kInfoHeaderSize + (colourStride + maskStride) * rows, 0);
    uint8_t* info = out.data.data();
    PutU32(info, kInfoHeaderSize);
    PutU32(info + 4, static_cast<uint32_t>(width));
    PutU32(info + 8, static_cast<uint32_t>(height) * 2);
    PutU16(info + 12, 1);
    PutU16(info + 14, 32);
    uint8_t* colour = info + kInfoHeaderSize;
    uint8_t* mask = colour + colourStride * rows;
    std::memcpy(colour, bgra, colourStride * rows);
    platform::GlobalUnlock(block.get());
    // Both blocks are bottom-up, so row r of one belongs with row r of the other. Fully
    // transparent pixels keep the destination: mask bit set, colour black.
    for (size_t r = 0; r < rows; ++r) {
        uint8_t* pixel = colour + r * colourStride;
        for (int32_t x = 0; x < width; ++x, pixel += 4) {
            if (pixel[3] != 0) continue;
            pixel[0] = pixel[1] = pixel[2] = 0;
            mask[r * maskStride + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        }
    }
    return true;
}

// The first image of the file, or false when the file is not an icon or cursor file or the
// image is not all there.
bool ReadFirstImage(std::span<const uint8_t> file, IconImage& out) {
    if (file.size() < kFileHeaderSize) return false;
    const uint8_t* p = file.data();
    const uint16_t reserved = U16(p);
    const uint16_t type = U16(p + 2);
    const uint16_t count = U16(p + 4);
    if (reserved != 0 || (type != 1 && type != 2)) return false;
    // The whole directory must be there, though only its first entry is used.
    if (file.size() - kFileHeaderSize < size_t{count} * kDirectoryEntrySize || count == 0)
        return false;
    const uint8_t* entry = p + kFileHeaderSize;
    const uint32_t size = U32(entry + 8);
    const uint32_t offset = U32(entry + 12);
    if (size == 0 || offset > file.size() || size > file.size() - offset) return false;
    const std::span<const uint8_t> image = file.subspan(offset, size);

    if (image.size() >= sizeof kPngSignature &&
        std::memcmp(image.data(), kPngSignature, sizeof kPngSignature) == 0)
        return DecodePngImage(image, out);

    // A DIB image must at least hold its header.
    if (image.size() < kInfoHeaderSize) return false;
    const uint8_t* info = image.data();
    out.data.assign(image.begin(), image.end());
    out.width = static_cast<int32_t>(U32(info + 4));
    out.height = static_cast<int32_t>(U32(info + 8)) / 2;
    out.colourCount = uint32_t{U16(info + 12)} * U16(info + 14);
    return true;
}

}  // namespace

HANDLE32 ReadIconBytes(DecodedImage& img, std::span<const uint8_t> file) {
    IconImage image;
    if (!ReadFirstImage(file, image)) return 0;
    const auto size = static_cast<uint32_t>(image.data.size());
    HANDLE32 icon = platform::CreateIconFromResourceEx(image.data.data(), size, true, kIconVersion,
                                                       image.width, image.height, 0);
    if (!icon && image.colourCount != 16)
        icon = platform::CreateIconFromResource(image.data.data(), size, true, kIconVersion);
    img.imageWidth = static_cast<int16_t>(image.width);
    img.imageHeight = static_cast<int16_t>(image.height);
    return icon;
}

HANDLE32 ReadIcon(DecodedImage& img, const std::string& fileName) {
    platform::MappedFile file(fileName);
    if (!file.is_open()) return 0;
    return ReadIconBytes(img, file.bytes());
}

}  // namespace decode
