// The bitmap reader: edge cases from files built byte by byte here, and every bitmap of the
// public test set compared with ImageMagick's decode.
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "decode/loader_error.h"
#include "decode/readers.h"
#include "support/oracle.h"
#include "support/picture.h"
#include "support/testdata.h"

namespace {

using namespace decode;
namespace fs = std::filesystem;
using testsupport::Bytes;
using testsupport::Rgb;

void Put16(Bytes& v, uint32_t x) {
    testsupport::PutLe(v, x, 2);
}
void Put32(Bytes& v, uint32_t x) {
    testsupport::PutLe(v, x, 4);
}
// Little-endian pixel words, rows padded to four bytes.
Bytes Words16(std::initializer_list<uint16_t> values) {
    Bytes v;
    for (uint16_t p : values)
        Put16(v, p);
    v.resize((v.size() + 3) / 4 * 4);
    return v;
}
Bytes Words32(std::initializer_list<uint32_t> values) {
    Bytes v;
    for (uint32_t p : values)
        Put32(v, p);
    return v;
}

// A bitmap file, built field by field.
class Bmp {
  public:
    Bmp(uint16_t bits, int32_t width, int32_t height) : bits_(bits), w_(width), h_(height) {}
    Bmp& header(uint32_t size) { return headerSize_ = size, *this; }
    Bmp& compression(uint32_t c, std::vector<uint32_t> masks = {}) {
        compression_ = c;
        masks_ = std::move(masks);
        return *this;
    }
    Bmp& used(uint32_t n) { return clrUsed_ = n, *this; }
    Bmp& table(std::vector<Rgb> t) { return table_ = std::move(t), *this; }
    Bmp& gap(Bytes g) { return gap_ = std::move(g), *this; }
    Bmp& data(Bytes d) { return data_ = std::move(d), *this; }
    Bmp& offBits(uint32_t o) { return offBits_ = o, *this; }

    Bytes bytes() const {
        Bytes out = {'B', 'M'};
        for (int i = 0; i < 3; ++i)
            Put32(out, 0);  // size, reserved, offset (patched)
        if (headerSize_ == 12) {
            for (uint32_t v : {12u, uint32_t(w_) | uint32_t(h_) << 16, 1u | bits_ << 16u})
                Put32(out, v);
        } else {
            Bytes h;
            for (uint32_t v : {headerSize_, uint32_t(w_), uint32_t(h_), 1u | bits_ << 16u,
                               compression_, 0u, 0u, 0u, clrUsed_, 0u})
                Put32(h, v);
            if (headerSize_ > 40)
                for (uint32_t m : masks_)
                    Put32(h, m);
            h.resize(headerSize_, 0);
            out.insert(out.end(), h.begin(), h.end());
            if (headerSize_ == 40)
                for (uint32_t m : masks_)
                    Put32(out, m);
        }
        for (const Rgb& c : table_) {
            out.insert(out.end(), {c[2], c[1], c[0]});
            if (headerSize_ != 12) out.push_back(0);
        }
        out.insert(out.end(), gap_.begin(), gap_.end());
        const uint32_t off = offBits_.value_or(static_cast<uint32_t>(out.size()));
        for (int i = 0; i < 4; ++i)
            out[10 + i] = (off >> (8 * i)) & 0xFF;
        out.insert(out.end(), data_.begin(), data_.end());
        return out;
    }

  private:
    uint16_t bits_;
    int32_t w_, h_;
    uint32_t headerSize_ = 40, compression_ = BI_RGB, clrUsed_ = 0;
    std::vector<uint32_t> masks_;
    std::vector<Rgb> table_;
    Bytes gap_, data_;
    std::optional<uint32_t> offBits_;
};

// The reader's result; the pixel block is released with it.
struct Loaded {
    DecodedImage img;
    int32_t rc = 0;
    ~Loaded() { ReleasePixels(img); }

    int index(int x, int y) const {
        const uint8_t* r = img.row(y);
        if (img.header.biBitCount == 1) return (r[x / 8] >> (7 - x % 8)) & 1;
        if (img.header.biBitCount == 4) return (x & 1) ? r[x / 2] & 0x0F : r[x / 2] >> 4;
        return r[x];
    }
    // Red, green, blue of a pixel, through the palette for indexed pictures.
    Rgb rgb(int x, int y) const {
        const int bits = img.header.biBitCount;
        const uint8_t* p = bits <= 8 ? img.rgbPalette.data() + 3 * index(x, y)
                                     : img.row(y) + static_cast<size_t>(x) * (bits / 8);
        return bits <= 8 ? Rgb{p[0], p[1], p[2]} : Rgb{p[2], p[1], p[0]};
    }
    std::vector<int> indexRow(int y) const {
        std::vector<int> v;
        for (int x = 0; x < img.header.biWidth; ++x)
            v.push_back(index(x, y));
        return v;
    }
    Bytes blockBytes(size_t n) const { return Bytes(img.pixels, img.pixels + n); }
};

std::unique_ptr<Loaded> Load(const Bytes& bytes) {
    auto l = std::make_unique<Loaded>();
    ByteReader in(bytes);
    l->rc = ReadBmp(l->img, in, LoadOptions{});
    return l;
}
std::unique_ptr<Loaded> Load(const Bmp& b) {
    return Load(b.bytes());
}

// -------------------------------------------------------------------------------------------

TEST(BmpHeader, RefusesWhatIsNotABitmapWithBadHeader) {
    EXPECT_EQ(Load(Bytes{'B', 'M', 0, 0})->rc, kBadHeader);
    auto gif = Bmp(24, 1, 1).data({0, 0, 0, 0}).bytes();
    gif[0] = 'G';
    EXPECT_EQ(Load(gif)->rc, kBadHeader);
    auto shortInfo = Bmp(24, 1, 1).bytes();
    shortInfo.resize(14 + 30);
    EXPECT_EQ(Load(shortInfo)->rc, kBadHeader);
    for (uint32_t size : {0u, 8u, 13u, 125u, 0xFFFFFFFFu}) {
        auto bytes = Bmp(24, 1, 1).data({0, 0, 0, 0}).bytes();
        for (int i = 0; i < 4; ++i)
            bytes[14 + i] = (size >> (8 * i)) & 0xFF;
        EXPECT_EQ(Load(bytes)->rc, kBadHeader) << "header size " << size;
    }
}

TEST(BmpHeader, RefusesUnknownBitCountsAndCompressions) {
    for (uint16_t bits : {0, 3, 5, 7, 12, 48, 64})
        EXPECT_EQ(Load(Bmp(bits, 1, 1).data(Bytes(16)))->rc, kBadHeader) << bits << " bits";
    for (uint32_t c : {4u, 5u, 7u, 11u, 0x80000000u})  // JPEG, PNG, unknown
        EXPECT_EQ(Load(Bmp(24, 1, 1).compression(c).data(Bytes(4)))->rc, kBadHeader) << c;
    // Compression and bit count must agree.
    EXPECT_EQ(Load(Bmp(4, 1, 1).compression(BI_RLE8).data({0, 1}))->rc, kBadHeader);
    EXPECT_EQ(Load(Bmp(8, 1, 1).compression(BI_RLE4).data({0, 1}))->rc, kBadHeader);
    EXPECT_EQ(Load(Bmp(24, 1, 1).compression(BI_BITFIELDS, {1, 2, 4}).data(Bytes(4)))->rc,
              kBadHeader);
    // Bit-field masks cut off by the end of the file.
    auto noMasks = Bmp(16, 1, 1).compression(BI_BITFIELDS, {1, 2, 4}).bytes();
    noMasks.resize(14 + 40 + 8);
    EXPECT_EQ(Load(noMasks)->rc, kBadHeader);
    // In an OS/2 2.x header compression 3 is Huffman 1D, not bit fields.
    EXPECT_EQ(
        Load(Bmp(16, 1, 1).header(64).compression(3, {0xF800, 0x7E0, 0x1F}).data(Bytes(4)))->rc,
        kBadHeader);
}

TEST(BmpHeader, HostileSizesFailWithNoMemoryBeforeAllocating) {
    constexpr std::pair<int32_t, int32_t> kSizes[] = {
        {0, 1},     {1, 0},      {-1, 1},        {INT32_MIN, 1},         {32768, 1},
        {1, 32768}, {1, -32768}, {1, INT32_MIN}, {INT32_MAX, INT32_MAX}, {32767, 32767}};
    for (auto [w, h] : kSizes) {
        auto l = Load(Bmp(24, w, h).data(Bytes(8)));
        EXPECT_EQ(l->rc, kNoMemory) << w << "x" << h;
        EXPECT_EQ(l->img.pixelHandle, 0u);
    }
    // The largest sides load.
    EXPECT_EQ(Load(Bmp(8, 32767, 1).data(Bytes(8)))->rc, 0);
    EXPECT_EQ(Load(Bmp(8, 1, -32767).data(Bytes(8)))->rc, 0);
}

TEST(BmpHeader, ShortColourTableOrNoPixelsIsAReadError) {
    auto cut = Bmp(8, 1, 1).table(std::vector<Rgb>(256)).data(Bytes(4)).bytes();
    cut.resize(14 + 40 + 100 * 4);
    EXPECT_EQ(Load(cut)->rc, kReadError);
    EXPECT_EQ(Load(Bmp(24, 1, 1))->rc, kReadError);  // headers only
    EXPECT_EQ(Load(Bmp(24, 1, 1).data(Bytes(4)).offBits(1000))->rc, kReadError);
}

TEST(BmpHeader, OsTwoBitmapArrayUsesItsFirstImage) {
    auto inner = Bmp(24, 1, 1).data({10, 20, 30, 0}).bytes();
    inner[10] += 14;  // offsets count from the start of the whole file
    Bytes array = {'B', 'A', 40, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    array.insert(array.end(), inner.begin(), inner.end());
    auto l = Load(array);
    ASSERT_EQ(l->rc, 0);
    EXPECT_EQ(l->rgb(0, 0), (Rgb{30, 20, 10}));
    array[14] = 'C';  // an array entry that is not a bitmap
    EXPECT_EQ(Load(array)->rc, kBadHeader);
}

// -------------------------------------------------------------------------------------------

TEST(BmpPalette, CoreHeaderReadsThreeByteEntries) {
    std::vector<Rgb> table(16, Rgb{1, 2, 3});
    table[1] = {200, 100, 50};
    table[2] = {7, 8, 9};
    auto l = Load(Bmp(4, 2, 1).header(12).table(table).data({0x12, 0, 0, 0}));
    ASSERT_EQ(l->rc, 0);
    EXPECT_EQ(l->img.header.biBitCount, 4);
    EXPECT_EQ(l->rgb(0, 0), (Rgb{200, 100, 50}));
    EXPECT_EQ(l->rgb(1, 0), (Rgb{7, 8, 9}));
}

TEST(BmpPalette, OneBitTableIsTakenAsWritten) {
    // White first, black second; 9 pixels so the second byte is used.
    auto l = Load(Bmp(1, 9, 1).table({{255, 255, 255}, {0, 0, 0}}).data({0xA0, 0x80, 0, 0}));
    ASSERT_EQ(l->rc, 0);
    EXPECT_EQ(l->img.rowStride, 4);
    EXPECT_EQ(l->rgb(0, 0), (Rgb{0, 0, 0}));
    EXPECT_EQ(l->rgb(1, 0), (Rgb{255, 255, 255}));
    EXPECT_EQ(l->rgb(2, 0), (Rgb{0, 0, 0}));
    EXPECT_EQ(l->rgb(8, 0), (Rgb{0, 0, 0}));
    // Without a table the default is black, white.
    auto d = Load(Bmp(1, 2, 1).data({0x40, 0, 0, 0}));
    ASSERT_EQ(d->rc, 0);
    EXPECT_EQ(d->rgb(0, 0), (Rgb{0, 0, 0}));
    EXPECT_EQ(d->rgb(1, 0), (Rgb{255, 255, 255}));
}

TEST(BmpPalette, ShortTablesFromClrUsedOrOffBits) {
    // biClrUsed 2 of 256: two entries, then the pixels at bfOffBits after a gap.
    auto used = Load(
        Bmp(8, 3, 1).used(2).table({{1, 1, 1}, {9, 8, 7}}).gap({0xEE, 0xEE}).data({1, 0, 5, 0}));
    ASSERT_EQ(used->rc, 0);
    EXPECT_EQ(used->rgb(0, 0), (Rgb{9, 8, 7}));
    EXPECT_EQ(used->rgb(1, 0), (Rgb{1, 1, 1}));
    EXPECT_EQ(used->rgb(2, 0), (Rgb{0, 0, 0}));  // entries past the table are black
    // An OS/2 table cut short by bfOffBits: the pixels are not taken as colours.
    auto cut = Load(Bmp(8, 1, 1).header(12).table({{4, 5, 6}, {7, 8, 9}}).data({1, 255, 255, 0}));
    ASSERT_EQ(cut->rc, 0);
    EXPECT_EQ(cut->rgb(0, 0), (Rgb{7, 8, 9}));
    EXPECT_EQ(cut->img.rgbPalette[2 * 3], 0);
    // bfOffBits pointing into the headers: the pixels follow the table.
    auto bogus =
        Load(Bmp(8, 1, 1).used(2).table({{0, 0, 0}, {3, 3, 3}}).data({1, 0, 0, 0}).offBits(0));
    ASSERT_EQ(bogus->rc, 0);
    EXPECT_EQ(bogus->rgb(0, 0), (Rgb{3, 3, 3}));
}

// -------------------------------------------------------------------------------------------

TEST(BmpUncompressed, RowStridesAndBottomUpOrder) {
    struct Case {
        uint16_t bits;
        int width, stride;
    };
    constexpr Case kCases[] = {{1, 1, 4},  {1, 9, 4},  {4, 3, 4},   {4, 9, 8},   {8, 3, 4},
                               {8, 9, 12}, {24, 1, 4}, {24, 3, 12}, {24, 9, 28}, {32, 3, 12}};
    for (Case c : kCases) {
        // Two rows with every byte numbered: the file's first row is the bottom one.
        Bytes px(2 * c.stride);
        for (size_t i = 0; i < px.size(); ++i)
            px[i] = static_cast<uint8_t>(i + 1);
        auto l =
            Load(Bmp(c.bits, c.width, 2).table(std::vector<Rgb>(c.bits <= 8 ? 2 : 0)).data(px));
        ASSERT_EQ(l->rc, 0) << c.bits;
        EXPECT_EQ(l->img.rowStride, c.stride) << c.bits << " bits, width " << c.width;
        EXPECT_EQ(l->img.header.biBitCount, c.bits);
        EXPECT_EQ(l->img.row(1)[0], 1);
        EXPECT_EQ(l->img.row(0)[0], c.stride + 1);
    }
}

TEST(BmpUncompressed, TopDownRowsAreFlippedIntoTheBlock) {
    auto l = Load(Bmp(24, 1, -3).data({1, 1, 1, 0, 2, 2, 2, 0, 3, 3, 3, 0}));
    ASSERT_EQ(l->rc, 0);
    EXPECT_EQ(l->img.header.biHeight, 3);
    EXPECT_EQ(l->rgb(0, 0), (Rgb{1, 1, 1}));
    EXPECT_EQ(l->rgb(0, 2), (Rgb{3, 3, 3}));
    EXPECT_EQ(l->img.pixels[0], 3);  // the bottom row comes first in the block
}

TEST(BmpUncompressed, TwoBitPixelsBecomeNibbles) {
    auto l = Load(Bmp(2, 5, 1)
                      .table({{0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {3, 3, 3}})
                      .data({0b00011011, 0b10000000, 0, 0}));
    ASSERT_EQ(l->rc, 0);
    EXPECT_EQ(l->img.header.biBitCount, 4);
    EXPECT_EQ(l->indexRow(0), (std::vector{0, 1, 2, 3, 2}));
}

TEST(BmpUncompressed, TruncatedPixelsLeaveUnreadRowsZero) {
    // Three 24-bit rows of 2 pixels (8 bytes); the file stops two bytes into the second.
    auto l = Load(Bmp(24, 2, 3).data({9, 9, 9, 9, 9, 9, 0, 0, 7, 7}));
    ASSERT_EQ(l->rc, 0);
    EXPECT_EQ(l->rgb(1, 2), (Rgb{9, 9, 9}));
    EXPECT_EQ(l->rgb(0, 1), (Rgb{0, 7, 7}));
    EXPECT_EQ(l->rgb(1, 1), (Rgb{0, 0, 0}));
    EXPECT_EQ(l->rgb(0, 0), (Rgb{0, 0, 0}));
    // The same for converted rows, top-down.
    auto c = Load(Bmp(16, 1, -2).data({0xFF, 0x7F}));
    ASSERT_EQ(c->rc, 0);
    EXPECT_EQ(c->rgb(0, 0), (Rgb{255, 255, 255}));
    EXPECT_EQ(c->rgb(0, 1), (Rgb{0, 0, 0}));
}

// -------------------------------------------------------------------------------------------

TEST(BmpBitFields, SixteenBitsBecomeFullRangeTwentyFourBits) {
    // 5-5-5 without masks: 5-bit channels widen by repeating their top bits.
    auto l = Load(Bmp(16, 3, 1).data(Words16({0x7FFF, 31 << 10 | 16 << 5 | 1, 0x8000})));
    ASSERT_EQ(l->rc, 0);
    EXPECT_EQ(l->img.header.biBitCount, 24);
    EXPECT_EQ(l->img.rowStride, 12);
    EXPECT_EQ(l->rgb(0, 0), (Rgb{255, 255, 255}));
    EXPECT_EQ(l->rgb(1, 0), (Rgb{255, 132, 8}));
    EXPECT_EQ(l->rgb(2, 0), (Rgb{0, 0, 0}));  // the unused top bit is ignored
    // 5-6-5 with masks after the header; mask bits above 16 are ignored.
    auto m = Load(Bmp(16, 2, 1)
                      .compression(BI_BITFIELDS, {0x1F800, 0x07E0, 0x001F})
                      .data(Words16({0xFFFF, 1 << 11 | 32 << 5 | 30})));
    ASSERT_EQ(m->rc, 0);
    EXPECT_EQ(m->rgb(0, 0), (Rgb{255, 255, 255}));
    EXPECT_EQ(m->rgb(1, 0), (Rgb{8, 130, 247}));
    // 4-4-4 with alpha, masks inside a 56-byte header.
    auto a = Load(Bmp(16, 1, 1)
                      .header(56)
                      .compression(BI_BITFIELDS, {0xF00, 0xF0, 0xF, 0xF000})
                      .data(Words16({0x5F81})));
    ASSERT_EQ(a->rc, 0);
    EXPECT_EQ(a->rgb(0, 0), (Rgb{0xFF, 0x88, 0x11}));
    // A V5 header's masks mean nothing without BI_BITFIELDS.
    auto v5 = Load(Bmp(16, 1, 1)
                       .header(124)
                       .compression(BI_RGB, {0xF800, 0x7E0, 0x1F})
                       .data(Words16({0x7C00})));
    ASSERT_EQ(v5->rc, 0);
    EXPECT_EQ(v5->rgb(0, 0), (Rgb{255, 0, 0}));
}

TEST(BmpBitFields, ThirtyTwoBitsComeOutAsBgrx) {
    // Plain order without masks: passed through, fourth byte included.
    auto plain = Load(Bmp(32, 1, 1).data(Words32({0xAA112233})));
    ASSERT_EQ(plain->rc, 0);
    EXPECT_EQ(plain->img.header.biBitCount, 32);
    EXPECT_EQ(plain->img.bitInfo.bmiHeader.biBitCount, 32);
    EXPECT_EQ(plain->blockBytes(4), (Bytes{0x33, 0x22, 0x11, 0xAA}));
    // RGBA in the top bytes (V5 header): reordered, alpha in the fourth byte.
    auto rgba = Load(Bmp(32, 2, 1)
                         .header(124)
                         .compression(BI_BITFIELDS, {0xFF000000, 0xFF0000, 0xFF00, 0xFF})
                         .data(Words32({0x11223344, 0xFFFFFF00})));
    ASSERT_EQ(rgba->rc, 0);
    EXPECT_EQ(rgba->blockBytes(8), (Bytes{0x33, 0x22, 0x11, 0x44, 0xFF, 0xFF, 0xFF, 0}));
    // 10-10-10-2 keeps the top eight bits of each channel; no alpha mask gives 0.
    auto wide = Load(Bmp(32, 1, 1)
                         .compression(BI_BITFIELDS, {0x3FF00000, 0x000FFC00, 0x000003FF})
                         .data(Words32({0x3FFu << 20 | 0x201u << 10 | 0x0FF})));
    ASSERT_EQ(wide->rc, 0);
    EXPECT_EQ(wide->blockBytes(4), (Bytes{0x3F, 0x80, 0xFF, 0}));
    // BI_ALPHABITFIELDS: four masks after a 40-byte header.
    auto abf = Load(Bmp(32, 1, 1)
                        .compression(6, {0xFF, 0xFF00, 0xFF0000, 0xFF000000})
                        .data(Words32({0x80C0E0F0})));
    ASSERT_EQ(abf->rc, 0);
    EXPECT_EQ(abf->blockBytes(4), (Bytes{0xC0, 0xE0, 0xF0, 0x80}));
}

// -------------------------------------------------------------------------------------------

Bmp Rle(uint16_t bits, int width, int height, Bytes stream) {
    return Bmp(bits, width, height)
        .compression(bits == 8 ? BI_RLE8 : BI_RLE4)
        .table(std::vector<Rgb>(bits == 8 ? 256 : 16))
        .data(std::move(stream));
}

TEST(BmpRle, Rle8RunsAbsoluteRunsAndEarlyRowEnds) {
    // Bottom row: run of 2, absolute run of 3 (then a pad byte), row ended at 5 of 6.
    // Top row: a run of 9 cut at the row end, then end of picture.
    auto l = Load(Rle(8, 6, 2, {2, 7, 0, 3, 1, 2, 3, 0, 0, 0, 9, 4, 0, 1}));
    ASSERT_EQ(l->rc, 0);
    EXPECT_EQ(l->indexRow(1), (std::vector{7, 7, 1, 2, 3, 0}));
    EXPECT_EQ(l->indexRow(0), (std::vector{4, 4, 4, 4, 4, 4}));
    EXPECT_EQ(l->img.row(0)[6], 0);  // the cut run did not spill into the padding
}

TEST(BmpRle, PadAfterAbsoluteRunFollowsTheFilePosition) {
    // With one gap byte the stream starts at an odd offset: after an absolute run of 3 the
    // position is even, so no pad byte follows.
    auto odd = Load(Rle(8, 5, 1, {0, 3, 1, 2, 3, 2, 9, 0, 1}).gap({0}));
    ASSERT_EQ(odd->rc, 0);
    EXPECT_EQ(odd->indexRow(0), (std::vector{1, 2, 3, 9, 9}));
    // From an even offset the same run is followed by a pad byte.
    auto even = Load(Rle(8, 5, 1, {0, 3, 1, 2, 3, 0, 2, 9, 0, 1}));
    ASSERT_EQ(even->rc, 0);
    EXPECT_EQ(even->indexRow(0), (std::vector{1, 2, 3, 9, 9}));
}

TEST(BmpRle, Rle4OddRunsStayInStep) {
    // Bottom row: absolute run of 3 (the third pixel from the second byte's high nibble, no
    // pad after two bytes), absolute run of 5 (three bytes, then a pad), run of 1.
    // Top row: run of 3 alternating nibbles, an absolute run of 7 cut at the row end, then a
    // run past the end.
    const Bytes bottom = {0, 3, 0x34, 0x50, 0, 5, 0x67, 0x89, 0xA0, 0, 1, 0xB0, 0, 0};
    const Bytes top = {3, 0x12, 0, 7, 0xAB, 0xCD, 0xEF, 0x10, 2, 0x77, 0, 1};
    Bytes stream = bottom;
    stream.insert(stream.end(), top.begin(), top.end());
    auto l = Load(Rle(4, 9, 2, stream));
    ASSERT_EQ(l->rc, 0);
    EXPECT_EQ(l->indexRow(1), (std::vector{3, 4, 5, 6, 7, 8, 9, 10, 11}));
    EXPECT_EQ(l->indexRow(0), (std::vector{1, 2, 1, 10, 11, 12, 13, 14, 15}));
}

TEST(BmpRle, DeltaMovesRightAndDownAndEndOfPictureStops) {
    // Bottom row: run 1, then a delta 2 right and 1 down; run 1; end of row; end of picture,
    // so the run after it is never reached.
    auto l = Load(Rle(8, 5, 4, {1, 5, 0, 2, 2, 1, 1, 6, 0, 0, 0, 1, 5, 8}));
    ASSERT_EQ(l->rc, 0);
    EXPECT_EQ(l->indexRow(3), (std::vector{5, 0, 0, 0, 0}));
    EXPECT_EQ(l->indexRow(2), (std::vector{0, 0, 0, 6, 0}));
    EXPECT_EQ(l->indexRow(1), (std::vector{0, 0, 0, 0, 0}));
    // A delta far past the picture, and a stream that stops inside a run, end decoding.
    EXPECT_EQ(Load(Rle(8, 2, 2, {0, 2, 255, 255, 3, 3}))->rc, 0);
    auto cut = Load(Rle(4, 4, 1, {4, 0x56, 0, 4, 0x12}));
    ASSERT_EQ(cut->rc, 0);
    EXPECT_EQ(cut->indexRow(0), (std::vector{5, 6, 5, 6}));
    // Top-down: rows, deltas included, count from the top.
    auto top = Load(Rle(8, 2, -3, {1, 4, 0, 2, 0, 2, 1, 9, 0, 1}));
    ASSERT_EQ(top->rc, 0);
    EXPECT_EQ(top->indexRow(0), (std::vector{4, 0}));
    EXPECT_EQ(top->indexRow(1), (std::vector{0, 0}));
    EXPECT_EQ(top->indexRow(2), (std::vector{0, 9}));
}

// -------------------------------------------------------------------------------------------

const fs::path kTestData = testsupport::TestData();

Bytes ReadFile(const fs::path& p) {
    return testsupport::ReadBytes(p.string());
}

std::vector<fs::path> PublicBitmaps() {
    std::vector<fs::path> files;
    for (const char* dir : {"bmp", "dib", "rle"})
        if (fs::is_directory(kTestData / dir))
            for (const auto& e : fs::directory_iterator(kTestData / dir))
                if (e.path().extension() != ".txt") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

TEST(BmpPublicFiles, EveryFileLoadsOrFailsCleanlyAndTheGoodSetLoads) {
    if (!fs::is_directory(kTestData / "bmp")) GTEST_SKIP() << "no public test pictures here";
    // The manifest's note for each file: bmpsuite's good set must load.
    std::map<std::string, std::string> notes;
    std::ifstream manifest(kTestData / "MANIFEST.tsv");
    for (std::string line; std::getline(manifest, line);) {
        const size_t file = line.find('\t') + 1, note = line.rfind('\t') + 1;
        notes[line.substr(file, line.find('\t', file) - file)] = line.substr(note);
    }
    int good = 0;
    for (const fs::path& p : PublicBitmaps()) {
        auto l = Load(ReadFile(p));
        EXPECT_LE(l->rc, 0) << p;
        EXPECT_EQ(l->rc == 0, l->img.pixels != nullptr) << p;
        const std::string key = p.parent_path().filename().string() + "/" + p.filename().string();
        if (notes[key].starts_with("bmpsuite 2.8 good")) {
            ++good;
            EXPECT_EQ(l->rc, 0) << p;
        }
    }
    EXPECT_EQ(good, 27);
}

// ImageMagick misreads OS/2 bitmap arrays and OS/2 2.x 64-byte headers (their colours come out
// visibly wrong), so it is shown the same picture as a plain file: the array's first bitmap on
// its own, the header cut to its first 40 bytes, the pixel offset moved to match.
Bytes PlainBitmap(Bytes b) {
    auto moveOffset = [&b](uint32_t by) {
        const uint32_t off = (b[10] | b[11] << 8 | b[12] << 16 | uint32_t{b[13]} << 24) - by;
        for (int i = 0; i < 4; ++i)
            b[10 + i] = (off >> (8 * i)) & 0xFF;
    };
    if (b.size() > 28 && b[0] == 'B' && b[1] == 'A') {
        b.erase(b.begin(), b.begin() + 14);
        moveOffset(14);
    }
    const uint32_t size = b.size() > 18 ? b[14] | b[15] << 8 : 0;
    if (size > 40 && size <= 64 && size != 52 && size != 56 && b.size() > 14 + size) {
        b.erase(b.begin() + 14 + 40, b.begin() + 14 + size);
        b[14] = 40;
        moveOffset(size - 40);
    }
    return b;
}

// ImageMagick's decode of the first picture in a file. It exits non-zero after warnings such
// as a wrong file size field, so only its output counts.
std::optional<oracle::RgbImage> ImageMagickDecode(const fs::path& p) {
    fs::path source = p;
    const Bytes bytes = ReadFile(p), plain = PlainBitmap(bytes);
    if (plain != bytes) {
        source = fs::temp_directory_path() / ("bmp_oracle_" + p.filename().string());
        std::ofstream(source, std::ios::binary)
            .write(reinterpret_cast<const char*>(plain.data()), std::ssize(plain));
    }
    auto frames =
        oracle::RunPnmCommand("convert -quiet " + oracle::ShellQuote(source.string() + "[0]") +
                              " +repage -depth 8 ppm:-; true");
    if (source != p) fs::remove(source);
    if (frames.empty()) return std::nullopt;
    return std::move(frames[0]);
}

// Files where ImageMagick's decode differs for a reason that is not a fault here.
const std::map<std::string, std::string> kOracleExceptions = {
    {"clipboard.dib", "header-less DIB: no BM file header, refused with -20010"},
    {"im_input.dib", "header-less DIB: no BM file header, refused with -20010"},
    {"im_input_utah.rle", "a Utah RLE file, not a bitmap: refused with -20010"},
    {"pal8badindex.bmp", "indices past the colour table are black here, IM gives them a colour"},
    {"badrle.bmp", "malformed RLE: runs and deltas past the row end are cut here, IM wraps them"},
    {"badrlebis.bmp", "malformed RLE: as badrle.bmp"},
    {"badrleter.bmp", "malformed RLE: as badrle.bmp"},
    {"badrle4.bmp", "malformed RLE: as badrle.bmp"},
    {"badrle4bis.bmp", "malformed RLE: as badrle.bmp"},
    {"badrle4ter.bmp", "malformed RLE: as badrle.bmp"},
};

// Bit fields of unusual widths: channels narrower than 8 bits are widened by repeating their
// bits here, while ImageMagick shifts them in 16-bit pictures (15 of 4 bits gives 240) and
// scales them through 16 bits in 32-bit ones; it rounds channels wider than 8 bits where the
// top 8 bits are kept here. The decodes must agree within the channel's precision. Per channel
// (red, green, blue): n > 0 compares the top n bits, n <= 0 allows a difference of up to -n.
using Precision = std::array<int, 3>;
Precision ChannelPrecision(const std::string& name) {
    static const std::map<std::string, Precision> kTable = {
        {"rgb16-231.bmp", {2, 3, 1}},         {"rgb16-3103.bmp", {3, -1, 3}},
        {"rgba16-1924.bmp", {1, -1, 2}},      {"rgba16-4444.bmp", {4, 4, 4}},
        {"V3_A4_R4_G4_B4.bmp", {4, 4, 4}},    {"V3_A4_R4_G4_B4_Top_Down.bmp", {4, 4, 4}},
        {"V3_X4_R4_G4_B4.bmp", {4, 4, 4}},    {"V3_X4_R4_G4_B4_Top_Down.bmp", {4, 4, 4}},
        {"rgb32-111110.bmp", {-1, -1, -1}},   {"rgb32-7187.bmp", {-2, -1, -2}},
        {"rgba32-1010102.bmp", {-1, -1, -1}}, {"rgba32-61754.bmp", {-4, -1, -8}},
        {"rgba32-81284.bmp", {8, -1, 8}}};
    const auto it = kTable.find(name);
    return it == kTable.end() ? Precision{8, 8, 8} : it->second;
}

TEST(BmpPublicFiles, PixelsMatchImageMagick) {
    if (!fs::is_directory(kTestData / "bmp")) GTEST_SKIP() << "no public test pictures here";
    if (!oracle::ToolAvailable("convert")) GTEST_SKIP() << "ImageMagick is not installed";
    int compared = 0;
    for (const fs::path& p : PublicBitmaps()) {
        const std::string name = p.filename().string();
        if (kOracleExceptions.count(name)) continue;
        const auto want = ImageMagickDecode(p);
        if (!want) continue;  // not a picture to ImageMagick
        auto l = Load(ReadFile(p));
        ASSERT_EQ(l->rc, 0) << name << " is read by ImageMagick";
        ASSERT_EQ(l->img.header.biWidth, want->width) << name;
        ASSERT_EQ(l->img.header.biHeight, want->height) << name;
        const Precision precision = ChannelPrecision(name);
        int mismatches = 0;
        for (int y = 0; y < want->height; ++y)
            for (int x = 0; x < want->width; ++x)
                for (int c = 0; c < 3; ++c) {
                    const int a = l->rgb(x, y)[c], b = want->pixel(x, y)[c], n = precision[c];
                    const bool same = n > 0 ? a >> (8 - n) == b >> (8 - n) : std::abs(a - b) <= -n;
                    if (!same && ++mismatches <= 3)
                        ADD_FAILURE() << name << " (" << x << "," << y << ") channel " << c << ": "
                                      << a << " vs " << b;
                }
        ++compared;
    }
    RecordProperty("compared", compared);
    EXPECT_GE(compared, 120);
}

// bmpsuite encodes one picture many ways; every encoding must give the same pixels as the
// plainest one (which the test above holds to ImageMagick's decode).
TEST(BmpPublicFiles, EncodingsOfOnePictureDecodeAlike) {
    if (!fs::is_directory(kTestData / "bmp")) GTEST_SKIP() << "no public test pictures here";
    const std::map<std::string, std::vector<std::string>> kSame = {
        {"pal8.bmp",
         {"ba-bm.bmp", "pal8-0.bmp", "pal8offs.bmp", "pal8os2.bmp", "pal8os2-hs.bmp",
          "pal8os2-sz.bmp", "pal8os2sp.bmp", "pal8os2v2.bmp", "pal8os2v2-16.bmp",
          "pal8os2v2-40sz.bmp", "pal8os2v2-sz.bmp", "pal8oversizepal.bmp", "pal8rle.bmp",
          "pal8topdown.bmp", "pal8v4.bmp", "pal8v5.bmp"}},
        {"rgb24.bmp",
         {"rgb24largepal.bmp", "rgb24lprof.bmp", "rgb24pal.bmp", "rgb24prof.bmp", "rgb32.bmp",
          "rgb32-xbgr.bmp", "rgb32bf.bmp", "rgb32bfdef.bmp", "rgb32fakealpha.bmp", "rgb32h52.bmp"}},
        {"rgb16.bmp", {"rgb16bfdef.bmp", "rgb16faketrns.bmp"}},
        {"rgb16-565.bmp", {"rgb16-565pal.bmp"}},
        {"pal4.bmp", {"pal4rle.bmp"}},
        {"pal1.bmp", {"pal1wb.bmp"}},
        {"rgba32-1.bmp", {"rgba32-2.bmp", "rgba32abf.bmp", "rgba32h56.bmp"}}};
    auto pixels = [](const Loaded& l) {
        std::vector<Rgb> v;
        for (int y = 0; y < l.img.header.biHeight; ++y)
            for (int x = 0; x < l.img.header.biWidth; ++x)
                v.push_back(l.rgb(x, y));
        return v;
    };
    for (const auto& [plain, others] : kSame) {
        auto reference = Load(ReadFile(kTestData / "bmp" / plain));
        ASSERT_EQ(reference->rc, 0) << plain;
        for (const std::string& other : others) {
            auto l = Load(ReadFile(kTestData / "bmp" / other));
            ASSERT_EQ(l->rc, 0) << other;
            EXPECT_TRUE(pixels(*l) == pixels(*reference)) << other << " differs from " << plain;
        }
    }
}

}  // namespace
