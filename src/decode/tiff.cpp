// TIFF reader. Uncompressed and PackBits strips are decoded here; every other compression and
// every tiled file goes to the TIFF codec module after the directory has been parsed and the
// header and palette prepared. A first load also records the offsets of all directories (the
// page table) so the control can offer the pages.
//
// A TIFF file starts with "II" (little-endian) or "MM" (big-endian), a version word and the
// offset of the first image file directory (IFD). A directory is a 16-bit entry count, entries
// of 12 bytes (tag, type, count, value or offset of the values) and the offset of the next
// directory (0 at the end of the chain). Every offset is relative to the TIFF header, which sits
// at a base offset inside a bigger file for the preview of a DOS EPS file.

#include <algorithm>
#include <cstring>
#include <set>
#include <vector>

#include "decode/codec_contract.h"
#include "decode/loader_error.h"
#include "decode/readers.h"
#include "platform/os/global_memory.h"
#include "platform/os/module.h"

namespace decode {
namespace {

enum Tag : int32_t {
    kImageWidth = 256,
    kImageLength = 257,
    kBitsPerSample = 258,
    kCompression = 259,
    kPhotometric = 262,
    kFillOrder = 266,
    kStripOffsets = 273,
    kSamplesPerPixel = 277,
    kRowsPerStrip = 278,
    kXResolution = 282,
    kYResolution = 283,
    kColorMap = 320,
    kTileWidth = 322,
    kTileLength = 323,
    kSampleFormat = 339,
    kPlanarConfiguration = 284,
};

enum FieldType : int32_t { kShort = 3, kLong = 4, kRational = 5 };

constexpr int32_t kUncompressed = 1;
constexpr int32_t kPackBits = 32773;
constexpr int32_t kWhiteIsZero = 0;
constexpr int32_t kBlackIsZero = 1;
constexpr int32_t kSeparated = 5;  // CMYK

// The values of one directory that the reader uses, with the format's defaults.
struct Directory {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t bitsPerSample = 1;
    uint32_t compression = kUncompressed;
    uint32_t photometric = 0;
    uint32_t samplesPerPixel = 1;
    uint32_t rowsPerStrip = 0;  // 0: the whole picture is one strip
    bool haveStrips = false;
    uint32_t stripOffsets = 0;  // the one strip's offset, or where the offsets array is
    uint32_t stripCount = 1;
    bool stripOffsetsShort = false;
    float xResolution = 1.0f;
    float yResolution = 1.0f;
    bool haveColorMap = false;
    bool tiled = false;
    bool bitsReversed = false;    // FillOrder 2: the low bit of each byte comes first
    bool planesSeparate = false;  // PlanarConfiguration 2: one plane per sample
    bool floatSamples = false;    // SampleFormat 3
};

// Reads values in the file's byte order at offsets relative to the TIFF header.
class TiffStream {
  public:
    TiffStream(ByteReader& in, bool bigEndian, uint64_t base)
        : in_(in), big_(bigEndian ? 1 : 0), base_(base) {}

    bool bigEndian() const { return big_ != 0; }
    uint64_t base() const { return base_; }
    ByteReader& in() { return in_; }
    // False when the position lies outside the file (the reader is then at its end).
    bool Seek(uint64_t offset) {
        return in_.seek(static_cast<size_t>(std::min<uint64_t>(base_ + offset, SIZE_MAX))) &&
               base_ + offset < in_.size();
    }
    int32_t Word() { return ReadWord(in_, big_); }
    uint32_t Long() { return static_cast<uint32_t>(ReadLong(in_, big_)); }
    // True when n bytes from the position are inside the file.
    bool Has(uint64_t offset, uint64_t n) const {
        return base_ + offset <= in_.size() && n <= in_.size() - (base_ + offset);
    }

  private:
    ByteReader& in_;
    int big_;
    uint64_t base_;
};

// A SHORT value kept in a 32-bit field: the first SHORT of the field.
uint32_t FirstShort(uint32_t field, bool bigEndian) {
    if (!bigEndian) return field & 0xFFFF;
    return field > 0xFFFF ? field >> 16 : field;
}

float ReadRational(TiffStream& s, uint32_t offset, float previous) {
    if (!s.Has(offset, 8)) return previous;
    s.Seek(offset);
    const uint32_t numerator = s.Long();
    const uint32_t denominator = s.Long();
    return denominator ? static_cast<float>(numerator) / static_cast<float>(denominator) : previous;
}

// Red, green and blue tables of 2^bits 16-bit values each; the first 256 of each become the
// palette. The values are 16-bit intensities and keep their high byte, unless no value of the
// map exceeds 255: then the writer stored 8-bit values and they are taken as they are. (Deciding
// value by value would turn the dark entries of a proper 16-bit map bright.) Entries the file
// does not hold stay black.
void ReadColorMap(TiffStream& s, uint32_t offset, uint32_t bits, std::array<uint8_t, 768>& out) {
    const uint64_t entries = bits >= 16 ? 65536 : uint64_t{1} << bits;
    const uint64_t used = std::min<uint64_t>(entries, 256);
    std::array<int32_t, 768> values{};
    bool wide = false;
    for (int channel = 0; channel < 3; ++channel) {
        const uint64_t table = offset + channel * entries * 2;
        for (uint64_t i = 0; i < used && s.Has(table + 2 * i, 2); ++i) {
            s.Seek(table + 2 * i);
            values[3 * i + channel] = s.Word();
            wide |= values[3 * i + channel] > 255;
        }
    }
    for (size_t i = 0; i < values.size(); ++i)
        out[i] = static_cast<uint8_t>(wide ? values[i] >> 8 : values[i]);
}

// The first SHORT of a field: the value itself for a count of 1 or 2, else the first value at
// the offset the field holds (0 when that is outside the file).
uint32_t FirstOfArray(TiffStream& s, uint32_t count, uint32_t value) {
    if (count <= 2) return value;
    if (!s.Has(value, 2)) return 0;
    s.Seek(value);
    return static_cast<uint32_t>(s.Word());
}

// Parses the directory at `offset`. False when the directory is not inside the file.
bool ReadDirectory(TiffStream& s, uint32_t offset, Directory& d,
                   std::array<uint8_t, 768>& palette) {
    if (!s.Has(offset, 2)) return false;
    s.Seek(offset);
    const int32_t entries = s.Word();
    for (int32_t e = 0; e < entries; ++e) {
        const uint64_t at = uint64_t{offset} + 2 + 12 * uint64_t(e);
        if (!s.Has(at, 12)) break;  // a cut-off directory keeps what came before
        s.Seek(at);
        const int32_t tag = s.Word();
        const int32_t type = s.Word();
        const uint32_t countField = s.Long();
        const uint32_t valueField = s.Long();
        uint32_t count;
        uint32_t value;
        if (type == kShort || type == kLong) {
            count = countField;
            value =
                type == kShort && count < 3 ? FirstShort(valueField, s.bigEndian()) : valueField;
        } else if (type == kRational) {
            // A rational never fits the field: the field is always the 32-bit offset of the
            // numerator and denominator.
            count = countField;
            value = valueField;
        } else {
            // Types the reader has no use for: their count and value as 16-bit halves.
            count = countField >> 16;
            value = s.bigEndian() || count > 2 ? valueField >> 16 : valueField & 0xFFFF;
        }
        switch (tag) {
            case kImageWidth:
                d.width = value;
                break;
            case kImageLength:
                d.height = value;
                break;
            case kBitsPerSample:
                // Unreadable: rejected as a bit count of 0.
                d.bitsPerSample = FirstOfArray(s, count, value);
                break;
            case kCompression:
                d.compression = value;
                break;
            case kPhotometric:
                d.photometric = value;
                break;
            case kPlanarConfiguration:
                d.planesSeparate = value == 2;
                break;
            case kSampleFormat:
                // One value per sample; they are alike in any file worth reading.
                d.floatSamples = FirstOfArray(s, count, value) == 3;
                break;
            case kFillOrder:
                d.bitsReversed = value == 2;
                break;
            case kStripOffsets:
                d.haveStrips = true;
                d.stripOffsets = value;
                d.stripCount = count;
                d.stripOffsetsShort = type == kShort;
                break;
            case kSamplesPerPixel:
                d.samplesPerPixel = value;
                break;
            case kRowsPerStrip:
                d.rowsPerStrip = value;
                break;
            case kXResolution:
                d.xResolution = ReadRational(s, value, d.xResolution);
                break;
            case kYResolution:
                d.yResolution = ReadRational(s, value, d.yResolution);
                break;
            case kColorMap:
                d.haveColorMap = true;
                ReadColorMap(s, value, d.bitsPerSample, palette);
                break;
            case kTileWidth:
            case kTileLength:
                if (value) d.tiled = true;
                break;
            default:
                break;
        }
    }
    return true;
}

// Longest page table recorded: far beyond real documents (the control offers 100 pages), and
// it keeps a hostile chain of tiny directories from costing memory and time by the file's size.
constexpr size_t kMaxPages = 65536;

// The offsets of every directory in file order. The walk ends at a next offset of 0, one
// outside the file, one already visited (a chain that loops back), or at kMaxPages.
std::vector<int32_t> WalkDirectories(TiffStream& s, uint32_t first) {
    std::vector<int32_t> pages{static_cast<int32_t>(s.base() + first)};
    std::set<uint32_t> seen{first};
    uint32_t offset = first;
    while (pages.size() < kMaxPages) {
        if (!s.Has(offset, 2)) break;
        s.Seek(offset);
        const int32_t entries = s.Word();
        const uint64_t next = uint64_t{offset} + 2 + 12 * uint64_t(entries);
        if (entries < 0 || !s.Has(next, 4)) break;
        s.Seek(next);
        offset = s.Long();
        if (offset == 0 || !s.Has(offset, 2) || !seen.insert(offset).second) break;
        pages.push_back(static_cast<int32_t>(s.base() + offset));
    }
    return pages;
}

// The pixel aspect (vertical stretch) from the resolutions; 1 where they make no sense.
float PixelAspect(const Directory& d) {
    if (d.yResolution == 0.0f) return 1.0f;
    const float ratio = d.xResolution / d.yResolution;
    return ratio > 5.0f || !(ratio > 0.0f) ? 1.0f : ratio;
}

// Palette of a picture without a ColorMap. `sampleBits` is the width of a grey value; the ramp
// has 2^sampleBits steps from black to white (white to black for WhiteIsZero).
void DefaultPalette(DecodedImage& img, const Directory& d, int sampleBits) {
    auto& p = img.rgbPalette;
    const bool blackIsZero = d.photometric == kBlackIsZero;
    if (img.header.biBitCount == 1) {
        // A bilevel picture shows as its PhotometricInterpretation says, whatever the
        // compression.
        const uint8_t zero = blackIsZero ? 0 : 255;
        std::fill_n(p.begin(), 3, zero);
        std::fill_n(p.begin() + 3, 3, static_cast<uint8_t>(255 - zero));
        return;
    }
    if (img.header.biBitCount > 8) return;
    // i x 255 / (levels - 1) rounds down like a step of 255 / (levels - 1) for 1, 2, 4 and 8
    // bits and still ends at white for the depths in between.
    const int levels = 1 << sampleBits;
    for (int i = 0; i < levels; ++i) {
        const int entry = blackIsZero ? i : levels - 1 - i;
        std::fill_n(p.begin() + 3 * entry, 3, static_cast<uint8_t>(i * 255 / (levels - 1)));
    }
}

// Fills one source row from PackBits data: n in 0..127 copies n + 1 bytes, 129..255 repeats the
// next byte 257 - n times, 128 is a no-op. A run that overruns the row is consumed and dropped;
// the end of the file reads as 255.
void UnpackBitsRow(ByteReader& in, uint8_t* row, size_t length) {
    const uint8_t* data = in.data().data();
    const size_t size = in.size();
    size_t pos = in.tell();
    size_t filled = 0;
    while (filled < length) {
        if (pos >= size) {
            // Every control byte and data byte from here on reads as 255: runs of 255.
            std::memset(row + filled, 255, length - filled);
            break;
        }
        const int c = data[pos++];
        if (c < 128) {
            const size_t count = static_cast<size_t>(c) + 1;
            const size_t present = std::min(count, size - pos);
            const size_t copied = std::min(present, length - filled);
            std::memcpy(row + filled, data + pos, copied);
            filled += copied;
            pos += present;
            if (present < count) {  // the literal runs past the end of the file
                const size_t missing = std::min(count - present, length - filled);
                std::memset(row + filled, 255, missing);
                filled += missing;
            }
        } else if (c > 128) {
            const size_t count = static_cast<size_t>(257 - c);
            const uint8_t b = pos < size ? data[pos++] : 255;
            const size_t repeated = std::min(count, length - filled);
            std::memset(row + filled, b, repeated);
            filled += repeated;
        }
    }
    in.seek(pos);
}

// How a source row becomes a pixel row.
struct RowLayout {
    uint32_t width;
    uint32_t bits;  // bits per pixel in the file
    uint32_t bitsPerSample;
    uint32_t samples;
    bool bigEndian;
    bool cmyk;
    bool whiteIsZero;
    int headerBits;  // 1, 4, 8 or 24
    size_t sourceBytes;
    size_t rowStride;
};

uint8_t CmykChannel(int ink, int black) {
    const int sum = ink + black;
    return static_cast<uint8_t>(sum >= 255 ? 0 : 255 - sum);
}

// Samples wider than 8 bits keep their top 8 bits, so colours and greys stay meaningful: the
// high byte of a whole-byte sample (first or last by the byte order), the top bits of a packed
// one (10, 12 or 14 bits, packed high bit first). Returns the bytes of 8-bit samples made.
size_t NarrowSamples(const RowLayout& l, uint8_t* buf) {
    const uint32_t bps = l.bitsPerSample;
    const size_t samples = size_t{l.width} * l.samples;
    if (bps % 8 == 0) {
        const size_t size = bps / 8;
        const size_t high = l.bigEndian ? 0 : size - 1;
        for (size_t i = 0; i < samples; ++i)
            buf[i] = buf[size * i + high];
        return samples;
    }
    for (size_t i = 0; i < samples; ++i) {
        const size_t bit = i * bps;  // buf[i] is behind every byte still to be read
        const uint32_t window = uint32_t{buf[bit / 8]} << 8 | buf[bit / 8 + 1];
        buf[i] = static_cast<uint8_t>(window >> (8 - bit % 8));
    }
    return samples;
}

// Colour samples of fewer than 8 bits scaled to 8 bits, so that their maximum is full intensity.
size_t WidenSamples(const RowLayout& l, uint8_t* buf) {
    const uint32_t bps = l.bitsPerSample;
    const size_t samples = size_t{l.width} * l.samples;
    const std::vector<uint8_t> packed(buf, buf + l.sourceBytes + 1);
    const uint32_t max = (1u << bps) - 1;
    for (size_t i = 0; i < samples; ++i) {
        const size_t bit = i * bps;
        const uint32_t window = uint32_t{packed[bit / 8]} << 8 | packed[bit / 8 + 1];
        const uint32_t v = (window >> (16 - bps - bit % 8)) & max;
        buf[i] = static_cast<uint8_t>(v * 255 / max);
    }
    return samples;
}

// Converts the source row in `buf` (at least max(sourceBytes, rowStride) + 1 bytes) in place
// into the pixel layout and returns how many bytes of it form the pixel row.
size_t ConvertRow(const RowLayout& l, uint8_t* buf) {
    size_t bytes = l.sourceBytes;
    uint32_t bits = l.bits;
    const bool narrowed = l.bitsPerSample > 8;
    if (narrowed) {
        bytes = NarrowSamples(l, buf);
        bits = 8 * l.samples;
    } else if (l.headerBits == 24 && l.bitsPerSample < 8 && l.samples >= 3) {
        bytes = WidenSamples(l, buf);
        bits = 8 * l.samples;
    }
    const size_t w = l.width;
    if (l.headerBits == 24) {
        const size_t group = bits / 8;
        if (l.cmyk && group >= 4) {
            for (size_t x = 0; x < w && (x + 1) * group <= bytes; ++x) {
                const uint8_t* s = buf + x * group;
                const uint8_t c = s[0], m = s[1], y = s[2], k = s[3];
                buf[3 * x] = CmykChannel(y, k);
                buf[3 * x + 1] = CmykChannel(m, k);
                buf[3 * x + 2] = CmykChannel(c, k);
            }
            return std::min(3 * w, bytes);
        }
        if (group > 3) {
            // Extra samples (alpha and the like): the first three are the colour.
            for (size_t x = 0; x < w && (x + 1) * group <= bytes; ++x)
                std::memmove(buf + 3 * x, buf + x * group, 3);
            bytes = std::min(3 * w, bytes);
        } else if (group < 3 && (narrowed || l.bitsPerSample == 8)) {
            // Grey (with alpha) deeper than 8 bits: the grey level, white at 0 for WhiteIsZero.
            for (size_t x = w; x-- > 0;) {
                uint8_t g = x * group < bytes ? buf[x * group] : 0;
                if (l.whiteIsZero) g = static_cast<uint8_t>(255 - g);
                buf[3 * x] = buf[3 * x + 1] = buf[3 * x + 2] = g;
            }
            return 3 * w;
        }
        if (!l.cmyk) {
            for (size_t x = 0; x + 2 < bytes && x / 3 < w; x += 3)
                std::swap(buf[x], buf[x + 2]);
        }
        return bytes;
    }
    if (bits == 16) {
        // Two samples of 8 bits (grey and alpha): the first.
        for (size_t x = 0; x < w; ++x)
            buf[x] = buf[2 * x];
        return w;
    }
    if (bits != static_cast<uint32_t>(l.headerBits) && bits < 8) {
        // 2, 3, 5, 6 or 7 bits a pixel: widened to the header's 4 or 8 bits.
        std::vector<uint8_t> packed(buf, buf + bytes);
        std::memset(buf, 0, l.rowStride);
        const uint32_t mask = (1u << bits) - 1;
        for (size_t x = 0; x < w; ++x) {
            const size_t bit = x * bits;
            const uint32_t pair =
                uint32_t{packed[bit / 8]} << 8 | (bit / 8 + 1 < bytes ? packed[bit / 8 + 1] : 0);
            const uint32_t v = (pair >> (16 - bits - bit % 8)) & mask;
            if (l.headerBits == 8)
                buf[x] = static_cast<uint8_t>(v);
            else
                buf[x / 2] |= static_cast<uint8_t>(x & 1 ? v : v << 4);
        }
        return l.rowStride;
    }
    return bytes;
}

// Offset of strip k: the value itself for a single strip, else entry k of the offsets array.
// Entries are read as 32 bits; SHORT entries keep their first SHORT.
uint32_t StripOffset(TiffStream& s, const Directory& d, uint32_t k) {
    if (d.stripCount <= 1) return d.stripOffsets;
    const uint64_t entry = d.stripOffsets + uint64_t{k} * (d.stripOffsetsShort ? 2 : 4);
    if (!s.Has(entry, 1)) return UINT32_MAX;
    s.Seek(entry);
    const uint32_t v = s.Long();
    return d.stripOffsetsShort ? FirstShort(v, s.bigEndian()) : v;
}

int32_t ReadStrips(DecodedImage& img, TiffStream& s, const Directory& d, const RowLayout& l) {
    // One byte of slack: narrowing packed samples looks one byte ahead.
    std::vector<uint8_t> buf(std::max({l.sourceBytes, l.rowStride, size_t{l.width} * l.samples}) +
                             1);
    const uint32_t rowsPerStrip = d.rowsPerStrip ? d.rowsPerStrip : d.height;
    ByteReader& in = s.in();
    uint32_t row = 0;
    const uint8_t* exhaustedRow = nullptr;
    size_t converted = 0;
    // Rows past the height would be dropped, so the walk stops there whatever the strip count.
    for (uint32_t k = 0; k < d.stripCount && row < d.height; ++k) {
        const uint32_t offset = StripOffset(s, d, k);
        if (!s.Has(offset, 1)) {
            row += std::min(rowsPerStrip, d.height - row);  // nothing to read: rows stay blank
            continue;
        }
        s.Seek(offset);
        exhaustedRow = nullptr;
        for (uint32_t r = 0; r < rowsPerStrip && row < d.height; ++r, ++row) {
            const bool atEnd = in.eof();
            if (atEnd && exhaustedRow) {
                // The file has ended: every further row of the strip is made from end-of-file
                // values alone, the same as the one made before.
                std::memcpy(img.row(static_cast<int32_t>(row)), exhaustedRow,
                            std::min(converted, l.rowStride));
                continue;
            }
            if (d.compression == kPackBits) {
                UnpackBitsRow(in, buf.data(), l.sourceBytes);
            } else {
                const size_t got = in.read(buf.data(), l.sourceBytes);
                std::memset(buf.data() + got, 0, l.sourceBytes - got);
            }
            converted = ConvertRow(l, buf.data());
            std::memcpy(img.row(static_cast<int32_t>(row)), buf.data(),
                        std::min(converted, l.rowStride));
            if (atEnd) exhaustedRow = img.row(static_cast<int32_t>(row));
        }
    }
    return 0;
}

// Hands the file to the codec module, which decodes into the header the reader prepared (or
// changes the header's bit count and size to what it could decode).
int32_t ReadWithModule(DecodedImage& img, int32_t offset) {
    platform::Module module("LMTIFF32.DLL");
    auto read = reinterpret_cast<ReadTIFFProc>(module.GetProcAddress("ReadTIFF"));
    if (!read) return kTiffCompression;
    const int32_t result = read(img.sourcePath.c_str(), img.rowStride, &img.header, offset);
    if (result < 0) return result;
    // Nothing decoded is no success either.
    if (result == 0) return kNoBitmap;
    return AdoptModuleBlock(img, result);
}

}  // namespace

int32_t ReadTiffAt(DecodedImage& img, ByteReader& in, const LoadOptions& options,
                   int32_t baseOffset) {
    const uint64_t base = static_cast<uint32_t>(baseOffset);
    const int32_t pageOffset = options.startOffset;
    if (base >= in.size()) return kBadHeader;
    in.seek(static_cast<size_t>(base));
    const int a = in.getc();
    const int b = in.getc();
    if (a != b || (a != 'I' && a != 'M')) return kBadHeader;
    const bool bigEndian = a == 'M';
    img.rgbPalette.fill(0);
    TiffStream s(in, bigEndian, base);
    const int32_t version = s.Word();
    const uint32_t first = s.Long();

    if (version == 43) {
        // BigTIFF: 64-bit offsets this reader does not parse. The module reads the first page
        // (or the one asked for) and gives it the size and a 24-bit layout.
        img.header.biWidth = 0;
        img.header.biHeight = 0;
        img.header.biBitCount = 24;
        img.rowStride = InitDibHeader(img);
        return ReadWithModule(img, base ? baseOffset : pageOffset);
    }

    if (pageOffset == 0) img.tiffPageOffsets = WalkDirectories(s, first);

    // A later page is read from its own directory; page offsets are file offsets.
    const uint32_t directory = pageOffset ? static_cast<uint32_t>(pageOffset) - base : first;
    if (pageOffset && static_cast<uint32_t>(pageOffset) < base) return kBadHeader;
    Directory d;
    if (!ReadDirectory(s, directory, d, img.rgbPalette)) return kBadHeader;

    // Bits per pixel; a pixel wider than 255 bits is no picture this reader knows.
    const uint64_t pixelBits = uint64_t{d.bitsPerSample} * d.samplesPerPixel;
    if (pixelBits == 0 || pixelBits > 255) return kBadHeader;
    const uint32_t bits = static_cast<uint32_t>(pixelBits);
    if (d.width == 0 || d.height == 0) return kBadHeader;
    if (d.width > static_cast<uint32_t>(kMaxDimension) ||
        d.height > static_cast<uint32_t>(kMaxDimension))
        return kNoMemory;
    img.header.biWidth = static_cast<int32_t>(d.width);
    img.header.biHeight = static_cast<int32_t>(d.height);
    img.header.biBitCount = static_cast<uint16_t>(bits == 16 ? 8 : bits);
    img.rowStride = InitDibHeader(img);
    const int sampleBits =
        bits < 8 && d.samplesPerPixel == 1 ? static_cast<int>(bits) : img.header.biBitCount;
    if (!d.haveColorMap) DefaultPalette(img, d, sampleBits);
    const size_t sourceBytes = (size_t{bits} * d.width + 7) / 8;
    if (int32_t rc = CheckImageSize(d.width, d.height, std::max<int64_t>(img.rowStride, 1)))
        return rc;

    // Bit-reversed data, one plane per sample, floating-point samples and colour spaces other
    // than grey, RGB, palette and CMYK (YCbCr, CIE L*a*b*, LogLuv) are rare enough to leave to
    // libtiff, which knows them; read as plain samples they would give a wrong picture.
    const bool inHouse = (d.compression == kUncompressed || d.compression == kPackBits) &&
                         !d.tiled && !d.bitsReversed &&
                         !(d.planesSeparate && d.samplesPerPixel > 1) && !d.floatSamples &&
                         d.photometric <= kSeparated;
    if (!inHouse) {
        if (int32_t rc = ReadWithModule(img, base ? baseOffset : pageOffset)) return rc;
        img.pixelAspect = PixelAspect(d);
        return 0;
    }
    if (!d.haveStrips || d.stripCount == 0) return kBadHeader;
    if (int32_t rc = AllocatePixels(img)) return rc;
    const RowLayout layout{d.width,
                           bits,
                           d.bitsPerSample,
                           d.samplesPerPixel,
                           bigEndian,
                           d.photometric == kSeparated,
                           d.photometric == kWhiteIsZero,
                           img.header.biBitCount,
                           sourceBytes,
                           static_cast<size_t>(img.rowStride)};
    if (int32_t rc = ReadStrips(img, s, d, layout)) return rc;
    img.pixelAspect = PixelAspect(d);
    return 0;
}

int32_t ReadTiff(DecodedImage& img, ByteReader& in, const LoadOptions& options) {
    return ReadTiffAt(img, in, options, 0);
}

}  // namespace decode
