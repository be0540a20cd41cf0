// Photo CD image packs at five resolutions: the three small ones read straight from the pack,
// the two large ones built from the 768 x 512 image by doubling and residual layers.
#include "photocd/pcd.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "decode/loader_error.h"
#include "decode/readers.h"
#include "photocd/format.h"

namespace photocd {

void PackFile::SeekSector(int64_t sector) {
    position_ = sector * kSectorSize;
    in_.seek(static_cast<size_t>(std::max<int64_t>(position_, 0)));
}

bool PackFile::Read(uint8_t* dst, size_t n) {
    const size_t got = in_.read(dst, n);
    std::memset(dst + got, 0, n - got);
    position_ += static_cast<int64_t>(n);
    return got == n;
}

std::span<const uint8_t> PackFile::ReadBlock() {
    position_ += kSectorSize;
    return in_.take(kSectorSize);
}

bool Plane::Allocate(uint32_t rowBytes, uint32_t rows) {
    block.reset(static_cast<uint8_t*>(platform::AllocatePictureMemory(size_t{rowBytes} * rows, true)));
    stride = block ? rowBytes : 0;
    capacity = block ? rows : 0;
    width = height = 0;
    return block != nullptr;
}

void ReadBasePlanes(PackFile& file, Plane& luma, Plane& chroma1, Plane& chroma2) {
    luma.width = 768;
    luma.height = 512;
    chroma1.width = chroma2.width = 384;
    chroma1.height = chroma2.height = 256;
    for (uint32_t k = 0; k < 256; ++k) {
        if (!file.Read(luma.row(2 * k), 768) || !file.Read(luma.row(2 * k + 1), 768) ||
            !file.Read(chroma1.row(k), 384) || !file.Read(chroma2.row(k), 384))
            return;
    }
}

bool DoublePlane(Plane& plane) {
    const uint32_t w = plane.width;
    const uint32_t h = plane.height;
    if (w == 0 || h == 0 || plane.stride / 2 < w || plane.capacity / 2 < h) return false;

    // Spread each row to twice its width: from the last row and from the right end of each
    // row, so nothing is overwritten before it has been read.
    for (uint32_t r = h; r-- > 0;) {
        const uint8_t* in = plane.row(r);
        uint8_t* out = plane.row(2 * r);
        out[2 * w - 1] = out[2 * w - 2] = in[w - 1];
        for (uint32_t j = w - 1; j-- > 0;) {
            out[2 * j + 1] = static_cast<uint8_t>((in[j] + in[j + 1] + 1) / 2);
            out[2 * j] = in[j];
        }
    }
    // The rows between: even columns average the rows above and below, odd columns the four
    // surrounding even-column values.
    for (uint32_t r = 0; r + 1 < h; ++r) {
        const uint8_t* a = plane.row(2 * r);
        const uint8_t* b = plane.row(2 * r + 2);
        uint8_t* out = plane.row(2 * r + 1);
        for (uint32_t j = 0; j + 1 < w; ++j) {
            out[2 * j] = static_cast<uint8_t>((a[2 * j] + b[2 * j] + 1) / 2);
            out[2 * j + 1] =
                static_cast<uint8_t>((a[2 * j] + a[2 * j + 2] + b[2 * j] + b[2 * j + 2] + 2) / 4);
        }
        out[2 * w - 2] = static_cast<uint8_t>((a[2 * w - 2] + b[2 * w - 2] + 1) / 2);
        out[2 * w - 1] = static_cast<uint8_t>((a[2 * w - 1] + b[2 * w - 1] + 1) / 2);
    }
    std::memcpy(plane.row(2 * h - 1), plane.row(2 * h - 2), 2 * w);
    plane.width = 2 * w;
    plane.height = 2 * h;
    return true;
}

namespace {

// Single-precision coefficients of the small resolutions, given by their exact bit patterns.
const float kBlueFromC1 = std::bit_cast<float>(0x40024E8Fu);   // 2.0360448
const float kLumaFactor = std::bit_cast<float>(0xBFB42891u);   // -1.407488
const float kGreenFromC1 = std::bit_cast<float>(0xBECA742Du);  // -0.3954176
const float kGreenFromC2 = std::bit_cast<float>(0xBF2C8605u);  // -0.67392
const float kRedFromC2 = std::bit_cast<float>(0x3FA9592Au);    // 1.3230336
constexpr int kChroma1Offset = 156;
constexpr int kChroma2Offset = 137;

// Nearest integer with halves away from zero, then clamped to a byte. The value is first
// rounded to single precision, as the stored result of the conversion was.
uint8_t FloatToByte(double exact) {
    const float value = static_cast<float>(exact);
    int n = static_cast<int>(value);
    const float rest = value - static_cast<float>(n);
    if (rest >= 0.5f)
        ++n;
    else if (rest <= -0.5f)
        --n;
    return static_cast<uint8_t>(std::clamp(n, 0, 255));
}

// The integer conversion of the layered resolutions: 8.8 fixed-point terms whose sum, shifted
// down by 8, is a 10-bit value that ends as a byte by dropping two more bits.
struct YccTables {
    std::array<int32_t, 256> luma{}, redFromC2{}, greenFromC1{}, greenFromC2{}, blueFromC1{};
};
constexpr YccTables MakeYccTables() {
    YccTables t;
    for (int i = 0; i < 256; ++i) {
        t.luma[i] = 1391 * i;
        t.redFromC2[i] = 1865 * i - 255023;
        t.greenFromC1[i] = -441 * i;
        t.greenFromC2[i] = 199313 - 949 * i;
        t.blueFromC1[i] = 2271 * i - 353784;
    }
    return t;
}
constexpr YccTables kYcc = MakeYccTables();

// Arithmetic shift of a possibly negative sum, clamp to 0..1023, then a quarter.
inline uint8_t TableToByte(int32_t sum) {
    return static_cast<uint8_t>(std::clamp(sum >> 8, 0, 1023) >> 2);
}

// The per-pixel conversions, inline here so that the row and plane loops do not call through
// the library's exported entry points.
inline void FloatPixel(int y, int c1, int c2, uint8_t bgr[3]) {
    c1 -= kChroma1Offset;
    c2 -= kChroma2Offset;
    const double lumaTerm = double{kLumaFactor} * y;
    bgr[0] = FloatToByte(c1 * double{kBlueFromC1} - lumaTerm);
    bgr[1] = FloatToByte(c1 * double{kGreenFromC1} + c2 * double{kGreenFromC2} - lumaTerm);
    bgr[2] = FloatToByte(c2 * double{kRedFromC2} - lumaTerm);
}

inline void TablePixel(uint8_t y, uint8_t c1, uint8_t c2, uint8_t bgr[3]) {
    const int32_t l = kYcc.luma[y];
    bgr[0] = TableToByte(l + kYcc.blueFromC1[c1]);
    bgr[1] = TableToByte(l + kYcc.greenFromC1[c1] + kYcc.greenFromC2[c2]);
    bgr[2] = TableToByte(l + kYcc.redFromC2[c2]);
}

}  // namespace

void ConvertPixelFloat(int y, int c1, int c2, uint8_t bgr[3]) {
    FloatPixel(y, c1, c2, bgr);
}

void ConvertRowFloat(const uint8_t* luma, const uint8_t* chroma1, const uint8_t* chroma2,
                     uint32_t width, uint8_t* out) {
    for (uint32_t x = 0; x < width; ++x, out += 3)
        FloatPixel(luma[x], chroma1[x / 2], chroma2[x / 2], out);
}

void ConvertPixelTable(uint8_t y, uint8_t c1, uint8_t c2, uint8_t bgr[3]) {
    TablePixel(y, c1, c2, bgr);
}

void WritePlanes(const Plane& luma, const Plane& chroma1, const Plane& chroma2, uint8_t* block,
                 size_t blockStride) {
    const uint32_t w = luma.width;
    const uint32_t h = luma.height;
    for (uint32_t r = 0; r < h; ++r) {
        const uint8_t* y = luma.row(r);
        const uint8_t* c1 = chroma1.row(r);
        const uint8_t* c2 = chroma2.row(r);
        uint8_t* out = block + size_t{h - 1 - r} * blockStride;
        for (uint32_t x = 0; x < w; ++x, out += 3)
            TablePixel(y[x], c1[x], c2[x], out);
    }
}

namespace {

struct Resolution {
    uint32_t width;
    uint32_t height;
    int64_t sector;  // of the uncompressed image (small sizes)
};
constexpr Resolution kResolutions[] = {
    {192, 128, 4}, {384, 256, 23}, {768, 512, kBaseSector}, {1536, 1024, 0}, {3072, 2048, 0}};

// Sizes 0 to 2: row pairs with their shared chroma, converted as they are read. A short file
// leaves the missing bytes at zero; it is not an error.
void ReadSmall(decode::DecodedImage& img, PackFile& file, const Resolution& res) {
    const uint32_t w = res.width;
    std::vector<uint8_t> record(size_t{w} * 3);
    file.SeekSector(res.sector);
    for (uint32_t k = 0; k < res.height / 2; ++k) {
        file.Read(record.data(), record.size());
        const uint8_t* chroma1 = record.data() + 2 * w;
        const uint8_t* chroma2 = chroma1 + w / 2;
        ConvertRowFloat(record.data(), chroma1, chroma2, w, img.row(2 * k));
        ConvertRowFloat(record.data() + w, chroma1, chroma2, w, img.row(2 * k + 1));
    }
}

// A table sector that cannot be used leaves its layer out; the picture keeps the refinement
// reached so far.
void ReportUnusableTable() {
    std::fputs("Bad Huffman table, ignoring layer\n", stderr);
}

// Sizes 3 and 4: the base image doubled up to the target, refined by the residual layers.
int32_t ReadLayered(decode::DecodedImage& img, PackFile& file, uint32_t width, uint32_t height) {
    Plane luma, chroma1, chroma2;
    if (!luma.Allocate(width, height) || !chroma1.Allocate(width, height) ||
        !chroma2.Allocate(width, height))
        return decode::kNoMemory;
    std::unique_ptr<HuffmanTables> tables(new (std::nothrow) HuffmanTables);
    if (!tables) return decode::kNoMemory;

    file.SeekSector(kBaseSector);
    ReadBasePlanes(file, luma, chroma1, chroma2);
    DoublePlane(luma);
    for (Plane* p : {&chroma1, &chroma1, &chroma2, &chroma2})
        DoublePlane(*p);

    // The 1536 x 1024 luma layer. Its end is where the next layer is found from, so a layer
    // whose table is unusable is still walked through, without adding anything.
    file.SeekSector(kLayer1TableSector);
    const bool lumaTable = ReadHuffmanTables(file, 1, *tables);
    if (!lumaTable) ReportUnusableTable();
    file.SeekSector(kLayer1DataSector);
    DecodeLayer(file, *tables, 1536, 1024, lumaTable ? &luma : nullptr, nullptr, nullptr, false);

    const int64_t reached = file.position() / kSectorSize;
    if (width == 1536) {
        // Only the chroma of the 3072 x 2048 layer, whose lines have the 1536 x 1024 chroma
        // planes' size. Bytes 2 and 3 of sector S + 10 say at which sector, counted from S, that
        // part begins; the search finds its first line inside that sector.
        std::array<uint8_t, kSectorSize> sector{};
        file.SeekSector(reached + 10);
        file.Read(sector.data(), sector.size());
        const int64_t chromaStart = sector[2] << 8 | sector[3];
        file.SeekSector(reached + 12);
        const bool ok = ReadHuffmanTables(file, 3, *tables);
        file.SeekSector(reached + chromaStart);
        if (ok)
            DecodeLayer(file, *tables, 3072, 2048, nullptr, &chroma1, &chroma2, true);
        else
            ReportUnusableTable();
    } else {
        DoublePlane(luma);
        file.SeekSector(reached + 12);
        const bool ok = ReadHuffmanTables(file, 3, *tables);
        file.SeekSector(reached + 14);
        if (ok)
            DecodeLayer(file, *tables, 3072, 2048, &luma, &chroma1, &chroma2, false);
        else
            ReportUnusableTable();
        DoublePlane(chroma1);
        DoublePlane(chroma2);
    }
    WritePlanes(luma, chroma1, chroma2, img.pixels, static_cast<size_t>(img.rowStride));
    return decode::kNoError;
}

}  // namespace
}  // namespace photocd

namespace decode {

int32_t ReadPhotoCd(DecodedImage& img, ByteReader& in, const LoadOptions& options) {
    // The control never passes another size; anything else is refused rather than guessed.
    if (options.pcdSize < 0 || options.pcdSize > 4) return kUnsupported;
    const photocd::Resolution& res = photocd::kResolutions[options.pcdSize];

    img.header.biWidth = static_cast<int32_t>(res.width);
    img.header.biHeight = static_cast<int32_t>(res.height);
    img.header.biBitCount = 24;
    img.rgbPalette.fill(0);
    img.rowStride = InitDibHeader(img);
    if (int32_t rc = CheckImageSize(res.width, res.height, img.rowStride)) return rc;
    if (int32_t rc = AllocatePixels(img)) return rc;

    photocd::PackFile file(in);
    if (options.pcdSize <= 2) {
        photocd::ReadSmall(img, file, res);
        return kNoError;
    }
    return photocd::ReadLayered(img, file, res.width, res.height);
}

}  // namespace decode
