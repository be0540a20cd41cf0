// Portable anymaps: bitmaps, greymaps and pixmaps, each as ASCII ("P1" to "P3") or binary
// ("P4" to "P6"). The header is the magic, then width, height and (except for bitmaps) the
// largest sample value, separated by white space and "#" comments, and closed by exactly one
// white-space character before binary data. Samples are scaled from that largest value to
// 0..255; binary samples above 255 take two bytes, most significant first.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "decode/loader_error.h"
#include "decode/readers.h"

namespace decode {
namespace {

constexpr int64_t kNumberCap = int64_t{1} << 40;  // beyond any size or sample anyone means
constexpr int64_t kMaxSample = 65535;

bool IsSpace(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

void SkipSpace(ByteReader& in) {
    while (IsSpace(in.peek()))
        in.getc();
}

// White space and comments (a "#" to the end of its line), as they may stand between the
// header's fields.
void SkipSpaceAndComments(ByteReader& in) {
    for (;;) {
        SkipSpace(in);
        if (in.peek() != '#') return;
        for (int c = in.getc(); c != ByteReader::kEof && c != '\n'; c = in.getc()) {
        }
    }
}

// A decimal number with an optional sign, after white space; false (nothing but the white
// space consumed) when no digit follows. Values are capped far beyond anything usable.
bool ReadNumber(ByteReader& in, int64_t& value, bool comments) {
    comments ? SkipSpaceAndComments(in) : SkipSpace(in);
    const size_t start = in.tell();
    bool negative = false;
    if (in.peek() == '-' || in.peek() == '+') negative = in.getc() == '-';
    if (in.peek() < '0' || in.peek() > '9') {
        in.seek(start);
        return false;
    }
    int64_t v = 0;
    while (in.peek() >= '0' && in.peek() <= '9')
        v = std::min(v * 10 + (in.getc() - '0'), kNumberCap);
    value = negative ? -v : v;
    return true;
}

// What a sample becomes: scaled from 0..maxval to 0..255 (values above maxval count as
// maxval), or its low byte when maxval is 255 or unusable.
struct SampleScale {
    int64_t maxval = 255;
    bool scaled = false;
    std::array<uint8_t, 256> byteTable{};
    std::vector<uint8_t> wordTable;  // every two-byte sample, for maxvals from 256 to 65534

    explicit SampleScale(int64_t m) {
        if (m >= 1 && m <= kMaxSample && m != 255) {
            maxval = m;
            scaled = true;
        }
        for (int s = 0; s < 256; ++s)
            byteTable[s] = (*this)(s);
        if (wide() && maxval != 65535) {
            // One division per possible value instead of one per sample.
            wordTable.resize(65536);
            for (int s = 0; s < 65536; ++s)
                wordTable[static_cast<size_t>(s)] = (*this)(s);
        }
    }
    uint8_t operator()(int64_t s) const {
        if (!scaled) return static_cast<uint8_t>(s);
        s = std::clamp<int64_t>(s, 0, maxval);
        return static_cast<uint8_t>((s * 255 + maxval / 2) / maxval);
    }
    bool wide() const { return scaled && maxval > 255; }
};

struct Header {
    int kind = 0;  // 1 to 6
    int64_t width = 0;
    int64_t height = 0;
    int64_t maxval = 255;
};

int32_t ReadHeader(ByteReader& in, Header& h) {
    const auto magic = in.take(2);
    if (magic.empty() || magic[0] != 'P' || magic[1] < '1' || magic[1] > '6') return kBadHeader;
    h.kind = magic[1] - '0';
    // The rest of the magic's line, up to a line feed or a blank.
    for (int c = in.getc(); c != ByteReader::kEof && !IsSpace(c); c = in.getc()) {
    }
    if (!ReadNumber(in, h.width, true) || !ReadNumber(in, h.height, true)) return kBadHeader;
    const bool bitmap = h.kind == 1 || h.kind == 4;
    if (!bitmap && !ReadNumber(in, h.maxval, true)) h.maxval = 255;
    // One white-space character separates the header from binary data.
    if (IsSpace(in.peek())) in.getc();
    return 0;
}

// The bytes of a row past what the data gave. The tail of a row the data ended in keeps what
// the row buffer held: the row before (blank for the first row); a complete row's tail is its
// padding, which is zero. Every byte of the block is written here or by the row itself, so the
// block needs no clearing first.
void FinishRow(DecodedImage& img, int32_t r, size_t from, bool complete) {
    const size_t stride = static_cast<size_t>(img.rowStride);
    if (from >= stride) return;
    if (complete || r == 0)
        std::memset(img.row(r) + from, 0, stride - from);
    else
        std::memcpy(img.row(r) + from, img.row(r - 1) + from, stride - from);
}

// Red, green, blue to blue, green, red, four pixels (12 bytes) at a time, which compilers
// turn into whole-word loads and stores: on large pixmaps this loop is the reader's main cost.
// Returns how many pixels it did; the caller finishes the rest.
size_t SwapRedBlueQuads(const uint8_t* src, uint8_t* dst, size_t pixels) {
    const size_t quads = pixels / 4;
    for (size_t q = 0; q < quads; ++q, src += 12, dst += 12) {
        uint8_t in[12];
        std::memcpy(in, src, 12);
        const uint8_t out[12] = {in[2], in[1], in[0], in[5],  in[4],  in[3],
                                 in[8], in[7], in[6], in[11], in[10], in[9]};
        std::memcpy(dst, out, 12);
    }
    return quads * 4;
}

#if defined(__x86_64__) || defined(__i386__)
// The same with one byte shuffle per five pixels, on processors that have it. Each step reads
// and writes 16 bytes and keeps the 16th as it was, so steps stop while 16 bytes remain in
// the row: nothing past the row's pixels is read or written.
__attribute__((target("ssse3"))) size_t SwapRedBlueShuffle(const uint8_t* src, uint8_t* dst,
                                                           size_t pixels) {
    const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
    size_t x = 0;
    for (; 3 * x + 16 <= 3 * pixels; x += 5) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 3 * x));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 3 * x), _mm_shuffle_epi8(v, order));
    }
    return x;
}
#endif

void CopySwapped(const uint8_t* src, uint8_t* dst, size_t pixels) {
    size_t done = 0;
#if defined(__x86_64__) || defined(__i386__)
    static const bool shuffle = __builtin_cpu_supports("ssse3");
    if (shuffle) done = SwapRedBlueShuffle(src, dst, pixels);
#endif
    if (!done) done = SwapRedBlueQuads(src, dst, pixels);
    for (size_t x = done; x < pixels; ++x) {
        dst[3 * x] = src[3 * x + 2];
        dst[3 * x + 1] = src[3 * x + 1];
        dst[3 * x + 2] = src[3 * x];
    }
}

// n two-byte samples to bytes. The usual largest value, 65535, scales as round(s / 257), which
// is (v - (v >> 8)) >> 8 with v = s + 128: eight samples a step, no table.
void NarrowWords(const uint8_t* src, size_t n, uint8_t* out, const SampleScale& scale) {
    size_t i = 0;
    if (scale.maxval == 65535) {
#if defined(__SSE2__)
        // Saturating the addition keeps samples from 65408 up at 255, as they should be.
        const __m128i half = _mm_set1_epi16(128);
        const auto narrow = [&](const uint8_t* p) {
            const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            const __m128i v =
                _mm_adds_epu16(_mm_or_si128(_mm_slli_epi16(w, 8), _mm_srli_epi16(w, 8)), half);
            return _mm_srli_epi16(_mm_sub_epi16(v, _mm_srli_epi16(v, 8)), 8);
        };
        for (; i + 16 <= n; i += 16)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                             _mm_packus_epi16(narrow(src + 2 * i), narrow(src + 2 * i + 16)));
#endif
        for (; i < n; ++i) {
            const uint32_t v = (uint32_t{src[2 * i]} << 8 | src[2 * i + 1]) + 128;
            out[i] = static_cast<uint8_t>((v - (v >> 8)) >> 8);
        }
        return;
    }
    for (; i < n; ++i)
        out[i] = scale.wordTable[static_cast<size_t>(src[2 * i] << 8 | src[2 * i + 1])];
}

void ReadBinaryRows(DecodedImage& img, ByteReader& in, const Header& h, const SampleScale& scale) {
    const size_t width = static_cast<size_t>(h.width);
    const int32_t height = static_cast<int32_t>(h.height);
    const size_t sampleBytes = scale.wide() ? 2 : 1;
    const size_t channels = h.kind == 6 ? 3 : 1;
    const size_t rowBytes = h.kind == 4 ? (width + 7) / 8 : width * channels * sampleBytes;
    // Two-byte pixmap rows are narrowed in file order here, then put in blue, green, red order.
    std::vector<uint8_t> narrowed(sampleBytes == 2 && channels == 3 ? width * 3 : 0);
    for (int32_t r = 0; r < height; ++r) {
        const auto src = in.take(std::min(rowBytes, in.remaining()));
        uint8_t* dst = img.row(r);
        size_t written = 0;  // output bytes complete
        if (h.kind == 4 || (h.kind == 5 && !scale.scaled)) {
            std::memcpy(dst, src.data(), src.size());
            written = src.size();
        } else if (sampleBytes == 2) {
            const size_t samples = src.size() / (2 * channels) * channels;
            NarrowWords(src.data(), samples, channels == 3 ? narrowed.data() : dst, scale);
            if (channels == 3) CopySwapped(narrowed.data(), dst, samples / 3);
            written = samples;
        } else if (h.kind == 5) {
            for (size_t x = 0; x < src.size(); ++x)
                dst[x] = scale.byteTable[src[x]];
            written = src.size();
        } else {
            const size_t pixels = src.size() / 3;
            const uint8_t* p = src.data();
            if (scale.scaled) {
                for (size_t x = 0; x < pixels; ++x, p += 3, dst += 3) {
                    dst[0] = scale.byteTable[p[2]];
                    dst[1] = scale.byteTable[p[1]];
                    dst[2] = scale.byteTable[p[0]];
                }
            } else {
                CopySwapped(p, dst, pixels);
            }
            written = pixels * 3;
        }
        FinishRow(img, r, written, src.size() == rowBytes);
    }
}

// Sets every bitmap pixel from (x, r) on, to the end of the picture, to bit.
void FillBitmapFrom(DecodedImage& img, int32_t r, int64_t x, int bit) {
    const int64_t width = img.header.biWidth;
    uint8_t* dst = img.row(r);
    for (; x < width && (x & 7); ++x)
        dst[x >> 3] |= static_cast<uint8_t>(bit << (7 - (x & 7)));
    const uint8_t fill = bit ? 0xFF : 0x00;
    const size_t rowBytes = static_cast<size_t>((width + 7) / 8);
    if (x < width) std::memset(dst + (x >> 3), fill, rowBytes - static_cast<size_t>(x >> 3));
    for (int32_t y = r + 1; y < img.header.biHeight; ++y)
        std::memset(img.row(y), fill, rowBytes);
}

int32_t ReadAsciiRows(DecodedImage& img, ByteReader& in, const Header& h,
                      const SampleScale& scale) {
    const int64_t width = h.width;
    const int32_t height = static_cast<int32_t>(h.height);
    int previousBit = 0;
    for (int32_t r = 0; r < height; ++r) {
        uint8_t* dst = img.row(r);
        for (int64_t x = 0; x < width; ++x) {
            if (h.kind == 1) {
                // One character a pixel, white space between them optional; where none can be
                // read the previous pixel's value stands, and as nothing further is consumed,
                // it stands for the rest of the picture.
                SkipSpace(in);
                const int c = in.peek();
                if (c < '0' || c > '9') {
                    FillBitmapFrom(img, r, x, previousBit);
                    return 0;
                }
                previousBit = in.getc() != '0';
                dst[x >> 3] |= static_cast<uint8_t>(previousBit << (7 - (x & 7)));
            } else if (h.kind == 2) {
                int64_t v;
                if (!ReadNumber(in, v, false)) return kReadError;
                dst[x] = scale(v);
            } else {
                int64_t rgb[3];
                for (int64_t& v : rgb)
                    if (!ReadNumber(in, v, false)) return kReadError;
                dst[3 * x] = scale(rgb[2]);
                dst[3 * x + 1] = scale(rgb[1]);
                dst[3 * x + 2] = scale(rgb[0]);
            }
        }
    }
    return 0;
}

}  // namespace

int32_t ReadPnm(DecodedImage& img, ByteReader& in, const LoadOptions& /*options*/) {
    Header h;
    if (int32_t rc = ReadHeader(in, h)) return rc;
    const bool binary = h.kind >= 4;
    if (binary && (h.width < 1 || h.height < 1)) return kReadError;

    const bool bitmap = h.kind == 1 || h.kind == 4;
    const bool colour = h.kind == 3 || h.kind == 6;
    const int64_t sourceRow = bitmap ? (h.width + 7) / 8 : colour ? 3 * h.width : h.width;
    if (int32_t rc = CheckImageSize(h.width, h.height, sourceRow)) return rc;
    img.header.biWidth = static_cast<int32_t>(h.width);
    img.header.biHeight = static_cast<int32_t>(h.height);
    img.header.biBitCount = bitmap ? 1 : colour ? 24 : 8;
    img.rowStride = InitDibHeader(img);
    img.rgbPalette.fill(0);
    if (bitmap) {
        std::fill(img.rgbPalette.begin(), img.rgbPalette.begin() + 3, 255);  // 0 white, 1 black
    } else if (!colour) {
        for (int i = 0; i < 256; ++i)
            std::fill_n(img.rgbPalette.begin() + 3 * i, 3, static_cast<uint8_t>(i));
    }
    // Binary rows write every byte of the block themselves (FinishRow); plain-text rows are
    // set pixel by pixel into a cleared block.
    if (int32_t rc = AllocatePixels(img, !binary)) return rc;

    const SampleScale scale(bitmap ? 255 : h.maxval);
    if (binary) {
        ReadBinaryRows(img, in, h, scale);
        return 0;
    }
    return ReadAsciiRows(img, in, h, scale);
}

}  // namespace decode
