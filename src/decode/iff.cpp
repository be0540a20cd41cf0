// IFF pictures: interleaved bit planes ("ILBM") or one byte per pixel (any other form type,
// such as the chunky "PBM " of PC paint programs). Only the header (BMHD), the colour map
// (CMAP), the Amiga viewport mode (CAMG) and the pixel data (BODY) matter; every other chunk is
// skipped. Two viewport modes reinterpret the planes: hold-and-modify builds each pixel from its
// left neighbour and gives a 24-bit picture, extra half-brite adds 32 darker colours.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "decode/loader_error.h"
#include "decode/planar.h"
#include "decode/readers.h"

namespace decode {
namespace {

constexpr int kMaxPlanes = 24;  // one 3-byte pixel holds no more
constexpr int kMaskPlane = 1;   // masking value of a picture with a mask plane after its planes
constexpr uint32_t kHoldAndModify = 0x800;  // CAMG viewport mode bits
constexpr uint32_t kExtraHalfBrite = 0x80;
constexpr int kHalfBritePlanes = 6;

uint32_t Be32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

bool Is(std::span<const uint8_t> id, const char* name) {
    return id.size() == 4 && std::memcmp(id.data(), name, 4) == 0;
}

struct BitmapHeader {
    int64_t width = 0;
    int64_t height = 0;
    int planes = 0;
    int masking = 0;
    bool compressed = false;
};

// Hold-and-modify: the top two of a pixel's planes say whether its low bits pick a colour-map
// entry (0) or replace the high bits of blue (1), red (2) or green (3) of the pixel to its left,
// which keeps its low bits; each row starts from black. Without a colour map the entries are a
// grey ramp. values holds one byte per pixel; dst gets blue, green, red.
void HoldAndModify(const uint8_t* values, size_t width, int planes,
                   const std::array<uint8_t, 768>& palette, size_t paletteEntries, uint8_t* dst) {
    const int bits = planes - 2;
    const int mask = (1 << bits) - 1;
    const int shift = 8 - bits;
    const int keep = (1 << shift) - 1;
    int rgb[3] = {0, 0, 0};
    for (size_t x = 0; x < width; ++x, dst += 3) {
        const int v = values[x];
        const int low = v & mask;
        switch (v >> bits & 3) {
            case 0:
                for (int c = 0; c < 3; ++c)
                    rgb[c] = paletteEntries > 0 ? palette[3 * low + c] : low * 255 / mask;
                break;
            case 1:
                rgb[2] = (rgb[2] & keep) | low << shift;
                break;
            case 2:
                rgb[0] = (rgb[0] & keep) | low << shift;
                break;
            default:
                rgb[1] = (rgb[1] & keep) | low << shift;
                break;
        }
        dst[0] = static_cast<uint8_t>(rgb[2]);
        dst[1] = static_cast<uint8_t>(rgb[1]);
        dst[2] = static_cast<uint8_t>(rgb[0]);
    }
}

// Extra half-brite: values 32 to 63 show entries 0 to 31 at half brightness. Entries the colour
// map itself gives are kept, as paint programs that store all 64 meant them.
void AddHalfBrite(std::array<uint8_t, 768>& palette, size_t paletteEntries) {
    for (size_t i = std::max<size_t>(paletteEntries, 32); i < 64; ++i)
        for (int c = 0; c < 3; ++c)
            palette[3 * i + c] = palette[3 * (i - 32) + c] / 2;
}

// ByteRun1 into one source row: n < 128 copies n + 1 bytes, n > 128 repeats the next byte
// 257 - n times, 128 is a no-op. Runs are cut at the row's end (the rest of a literal stays
// unread for the next code).
void UnpackByteRun1(ByteReader& in, uint8_t* row, size_t size) {
    size_t fill = 0;
    while (fill < size) {
        const int n = in.getc();
        if (n == ByteReader::kEof) return;
        if (n < 128) {
            fill += in.read(row + fill, std::min<size_t>(n + 1, size - fill));
        } else if (n > 128) {
            const int b = in.getc();
            if (b == ByteReader::kEof) return;
            const size_t k = std::min<size_t>(257 - n, size - fill);
            std::memset(row + fill, b, k);
            fill += k;
        }
    }
}

// One row of plane rows (plane 0 first, planeBytes each) to packed pixels of the picture's
// bit count: two pixels a byte (left one high) at 4 bits, one byte at 8, and at 24 bits planes
// 0-7 fill red, 8-15 green and 16-23 blue. values is scratch space of 3 x width bytes.
void PlanesToPixels(const uint8_t* src, uint8_t* dst, size_t width, int planes, size_t planeBytes,
                    int bitCount, uint8_t* values) {
    if (bitCount == 24) {
        for (int group = 0; group < 3; ++group) {
            const int count = std::clamp(planes - 8 * group, 0, 8);
            uint8_t* out = values + group * width;
            if (count == 0) {
                std::memset(out, 0, width);
            } else {
                PlanesToBytes(src + 8 * group * planeBytes, planeBytes, count, width, out);
            }
        }
        for (size_t x = 0; x < width; ++x, dst += 3) {
            dst[2] = values[x];
            dst[1] = values[width + x];
            dst[0] = values[2 * width + x];
        }
    } else if (bitCount == 8) {
        PlanesToBytes(src, planeBytes, planes, width, dst);
    } else {
        PlanesToBytes(src, planeBytes, planes, width, values);
        for (size_t x = 0; x < width; ++x)
            dst[x >> 1] |= (x & 1) ? values[x] : static_cast<uint8_t>(values[x] << 4);
    }
}

}  // namespace

int32_t ReadIff(DecodedImage& img, ByteReader& in, const LoadOptions& /*options*/) {
    const auto group = in.take(4);
    if (!Is(group, "FORM") && !Is(group, "LIST") && !Is(group, "CAT ")) return kBadHeader;
    const auto sizeAndType = in.take(8);
    if (sizeAndType.empty()) return kNoBitmap;
    const bool interleaved = Is(sizeAndType.subspan(4), "ILBM");

    BitmapHeader bmhd;
    bool haveHeader = false;
    size_t paletteEntries = 0;
    uint32_t viewportModes = 0;
    for (;;) {
        const auto id = in.take(4);
        const auto len = in.take(4);
        if (len.empty()) return kNoBitmap;
        const uint64_t length = (uint64_t{Be32(len.data())} + 1) & ~uint64_t{1};
        const size_t start = in.tell();
        if (Is(id, "BMHD")) {
            const auto f = in.take(20);
            if (f.empty()) return kBadHeader;
            bmhd.width = f[0] << 8 | f[1];
            bmhd.height = f[2] << 8 | f[3];
            bmhd.planes = f[8];
            bmhd.masking = f[9];
            bmhd.compressed = f[10] != 0;
            if (bmhd.planes == 0 || bmhd.planes > kMaxPlanes) return kUnsupported;
            haveHeader = true;
        } else if (Is(id, "CMAP")) {
            img.rgbPalette.fill(0);
            const size_t n = static_cast<size_t>(std::min<uint64_t>(length, 768));
            if (in.read(img.rgbPalette.data(), n) < n) return kReadError;
            paletteEntries = n / 3;
        } else if (Is(id, "CAMG") && length >= 4) {
            const auto modes = in.take(4);
            if (!modes.empty()) viewportModes = Be32(modes.data());
        } else if (Is(id, "BODY")) {
            break;
        }
        if (length > in.size() - start) return kNoBitmap;
        in.seek(start + static_cast<size_t>(length));
    }
    if (!haveHeader) return kBadHeader;
    // Hold-and-modify needs at least one bit of colour beside its two control planes, and its
    // control values come from one byte per pixel.
    const bool holdAndModify =
        interleaved && (viewportModes & kHoldAndModify) && bmhd.planes >= 3 && bmhd.planes <= 8;
    if (interleaved && !holdAndModify && (viewportModes & kExtraHalfBrite) &&
        bmhd.planes == kHalfBritePlanes)
        AddHalfBrite(img.rgbPalette, paletteEntries);

    // Plane rows are padded to whole 16-bit words, and chunky rows to an even length; a mask
    // plane, when there is one, follows the colour planes of each row and is skipped.
    const int64_t width = bmhd.width;
    const size_t planeBytes = static_cast<size_t>((width + 15) / 16 * 2);
    const int storedPlanes = bmhd.planes + (bmhd.masking == kMaskPlane ? 1 : 0);
    const int64_t sourceRow =
        interleaved ? static_cast<int64_t>(planeBytes) * storedPlanes : (width + 1) & ~int64_t{1};
    if (int32_t rc = CheckImageSize(width, bmhd.height, sourceRow)) return rc;
    img.header.biWidth = static_cast<int32_t>(width);
    img.header.biHeight = static_cast<int32_t>(bmhd.height);
    img.header.biBitCount = static_cast<uint16_t>(holdAndModify ? 24 : bmhd.planes);
    img.rowStride = InitDibHeader(img);
    if (int32_t rc = AllocatePixels(img)) return rc;

    const size_t stride = static_cast<size_t>(img.rowStride);
    const size_t bufferSize = std::max(stride, static_cast<size_t>(sourceRow));
    std::vector<uint8_t> source(bufferSize);
    std::vector<uint8_t> packed(bufferSize);
    std::vector<uint8_t> values(3 * static_cast<size_t>(width));
    const int bitCount = img.header.biBitCount;
    const bool convert = interleaved && bmhd.planes > 1;
    // Past the end of the data the buffers keep the last row, which repeats to the bottom.
    for (int32_t r = 0; r < bmhd.height; ++r) {
        if (r > 0 && in.eof()) {
            std::memcpy(img.row(r), img.row(r - 1), stride);
            continue;
        }
        if (bmhd.compressed) {
            UnpackByteRun1(in, source.data(), static_cast<size_t>(sourceRow));
        } else {
            in.read(source.data(), static_cast<size_t>(sourceRow));
        }
        if (holdAndModify) {
            PlanesToBytes(source.data(), planeBytes, bmhd.planes, static_cast<size_t>(width),
                          values.data());
            HoldAndModify(values.data(), static_cast<size_t>(width), bmhd.planes, img.rgbPalette,
                          paletteEntries, packed.data());
        } else if (convert) {
            std::fill(packed.begin(), packed.end(), 0);
            PlanesToPixels(source.data(), packed.data(), static_cast<size_t>(width), bmhd.planes,
                           planeBytes, bitCount, values.data());
        }
        std::memcpy(img.row(r), convert ? packed.data() : source.data(), stride);
    }
    return 0;
}

}  // namespace decode
