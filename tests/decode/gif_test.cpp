// The GIF reader against files built here with an independent LZW encoder, and against
// ImageMagick on the public GIF suite.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "decode/loader_error.h"
#include "decode/readers.h"
#include "support/oracle.h"
#include "support/picture.h"
#include "support/testdata.h"

// Designated initializers below leave the other fields at their defaults on purpose.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

using decode::ByteReader;
using decode::DecodedImage;
using decode::GifFrameInfo;
using Bytes = std::vector<uint8_t>;

// ---------------------------------------------------------------------------------------------
// Building GIF files

class BitWriter {
  public:
    void put(int code, int size) {
        acc_ |= static_cast<uint32_t>(code) << count_;
        count_ += size;
        while (count_ >= 8) {
            out_.push_back(static_cast<uint8_t>(acc_));
            acc_ >>= 8;
            count_ -= 8;
        }
    }
    Bytes finish() {
        if (count_ > 0) out_.push_back(static_cast<uint8_t>(acc_));
        count_ = 0;
        acc_ = 0;
        return out_;
    }

  private:
    Bytes out_;
    uint32_t acc_ = 0;
    int count_ = 0;
};

// A plain dictionary encoder. It tracks the code width the way a decoder sees it (the decoder
// defines each entry one code later than the encoder), so it never depends on the reader.
Bytes LzwEncode(const Bytes& pixels, int minCodeSize) {
    const int clear = 1 << minCodeSize;
    const int end = clear + 1;
    BitWriter bits;
    int width = 0, limit = 0, defined = 0;
    bool haveOld = false;
    auto resetWidth = [&] {
        defined = clear + 2;
        width = minCodeSize + 1;
        limit = 1 << width;
        haveOld = false;
    };
    auto emit = [&](int code) {
        bits.put(code, width);
        if (code == clear) {
            resetWidth();
            return;
        }
        if (haveOld && defined < 4096 && ++defined == limit && width < 12) {
            ++width;
            limit <<= 1;
        }
        haveOld = true;
    };
    std::map<std::pair<int, int>, int> dict;
    int free = clear + 2;
    resetWidth();
    emit(clear);
    int current = -1;
    for (uint8_t p : pixels) {
        if (current < 0) {
            current = p;
            continue;
        }
        auto it = dict.find({current, p});
        if (it != dict.end()) {
            current = it->second;
            continue;
        }
        emit(current);
        if (free < 4096) {
            dict[{current, p}] = free++;
        } else {
            emit(clear);
            dict.clear();
            free = clear + 2;
        }
        current = p;
    }
    if (current >= 0) emit(current);
    emit(end);
    return bits.finish();
}

// Raw codes at given widths, for streams no encoder would write.
Bytes PackCodes(const std::vector<std::pair<int, int>>& codes) {
    BitWriter bits;
    for (auto [code, size] : codes)
        bits.put(code, size);
    return bits.finish();
}

struct Rgb {
    uint8_t r, g, b;
};

std::vector<Rgb> TestPalette(int entries) {
    std::vector<Rgb> p;
    for (int i = 0; i < entries; ++i)
        p.push_back({static_cast<uint8_t>(i * 7 + 1), static_cast<uint8_t>(200 - i),
                     static_cast<uint8_t>(i ^ 0x5A)});
    return p;
}

class GifBuilder {
  public:
    explicit GifBuilder(int screenWidth, int screenHeight, const std::vector<Rgb>& global = {},
                        const char* signature = "GIF89a") {
        bytes_.assign(signature, signature + 6);
        word(screenWidth);
        word(screenHeight);
        bytes_.push_back(global.empty() ? 0 : static_cast<uint8_t>(0x80 | tableBits(global)));
        bytes_.push_back(0);  // background
        bytes_.push_back(0);  // pixel ratio
        table(global);
    }

    GifBuilder& gce(int disposal, int delay, bool transparent, int index) {
        const uint8_t flags = static_cast<uint8_t>((disposal & 7) << 2 | (transparent ? 1 : 0));
        raw({0x21, 0xF9, 4, flags, static_cast<uint8_t>(delay), static_cast<uint8_t>(delay >> 8),
             static_cast<uint8_t>(index), 0});
        return *this;
    }

    struct Image {
        int left = 0, top = 0, width = 0, height = 0;
        Bytes pixels;  // top row first
        int minCodeSize = 8;
        bool interlaced = false;
        std::vector<Rgb> local;
        size_t blockSize = 255;
        Bytes data;  // when set, used as the coded data instead of encoding pixels
    };

    GifBuilder& image(const Image& im) {
        descriptorOffsets.push_back(bytes_.size());
        bytes_.push_back(',');
        word(im.left);
        word(im.top);
        word(im.width);
        word(im.height);
        uint8_t flags = im.interlaced ? 0x40 : 0;
        if (!im.local.empty()) flags |= static_cast<uint8_t>(0x80 | tableBits(im.local));
        bytes_.push_back(flags);
        table(im.local);
        bytes_.push_back(static_cast<uint8_t>(im.minCodeSize));
        Bytes coded = im.data;
        if (coded.empty()) {
            Bytes ordered = im.interlaced ? Interlace(im.pixels, im.width, im.height) : im.pixels;
            coded = LzwEncode(ordered, im.minCodeSize);
        }
        subBlocks(coded, im.blockSize);
        terminatorOffsets.push_back(bytes_.size());
        bytes_.push_back(0);
        return *this;
    }

    GifBuilder& subBlocks(const Bytes& data, size_t blockSize = 255) {
        for (size_t i = 0; i < data.size(); i += blockSize) {
            const size_t n = std::min(blockSize, data.size() - i);
            bytes_.push_back(static_cast<uint8_t>(n));
            bytes_.insert(bytes_.end(), data.begin() + i, data.begin() + i + n);
        }
        return *this;
    }

    GifBuilder& raw(const Bytes& b) {
        bytes_.insert(bytes_.end(), b.begin(), b.end());
        return *this;
    }
    GifBuilder& trailer() { return raw({';'}); }
    size_t size() const { return bytes_.size(); }
    const Bytes& bytes() const { return bytes_; }

    // Rows in the order of the four interlace passes.
    static Bytes Interlace(const Bytes& pixels, int width, int height) {
        Bytes out;
        const int first[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; ++pass)
            for (int y = first[pass]; y < height; y += step[pass])
                out.insert(out.end(), pixels.begin() + y * width, pixels.begin() + (y + 1) * width);
        return out;
    }

    std::vector<size_t> descriptorOffsets;
    std::vector<size_t> terminatorOffsets;

  private:
    static int tableBits(const std::vector<Rgb>& t) {
        int bits = 0;
        while ((2 << bits) < static_cast<int>(t.size()))
            ++bits;
        return bits;
    }
    void table(const std::vector<Rgb>& t) {
        if (t.empty()) return;
        const size_t entries = size_t{2} << tableBits(t);
        for (size_t i = 0; i < entries; ++i) {
            const Rgb c = i < t.size() ? t[i] : Rgb{0, 0, 0};
            raw({c.r, c.g, c.b});
        }
    }
    void word(int v) {
        bytes_.push_back(static_cast<uint8_t>(v));
        bytes_.push_back(static_cast<uint8_t>(v >> 8));
    }

    Bytes bytes_;
};

Bytes Pattern(int width, int height, int colours, uint32_t salt = 1) {
    Bytes p(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            p[static_cast<size_t>(y) * width + x] =
                static_cast<uint8_t>(((x * 3 + y * 5 + (x * y) / 7) ^ salt) % colours);
    return p;
}

// ---------------------------------------------------------------------------------------------
// Running the reader

struct Frame {
    int32_t rc = 0;
    int width = 0, height = 0;
    Bytes pixels;   // top row first, width bytes a row
    Bytes padding;  // the bytes of every row past the picture's width
};

Frame Read(DecodedImage& img, const Bytes& file, int32_t startOffset = 0) {
    ByteReader in(file);
    decode::LoadOptions options;
    options.startOffset = startOffset;
    Frame f;
    f.rc = decode::ReadGif(img, in, options);
    if (f.rc != 0) {
        EXPECT_EQ(img.pixelHandle, 0u) << "the reader keeps nothing on failure";
        return f;
    }
    f.width = img.header.biWidth;
    f.height = img.header.biHeight;
    EXPECT_NE(img.pixels, nullptr);
    for (int r = 0; r < f.height; ++r) {
        const uint8_t* row = img.row(r);
        f.pixels.insert(f.pixels.end(), row, row + f.width);
        f.padding.insert(f.padding.end(), row + f.width, row + img.rowStride);
    }
    decode::ReleasePixels(img);
    return f;
}

Frame Read(const Bytes& file, int32_t startOffset = 0) {
    DecodedImage img;
    return Read(img, file, startOffset);
}

Bytes Row(const Bytes& pixels, int width, int y) {
    return Bytes(pixels.begin() + y * width, pixels.begin() + (y + 1) * width);
}

// ---------------------------------------------------------------------------------------------

Bytes WithData(const Bytes& data, int minCodeSize = 2, int width = 4, int height = 1,
               bool interlaced = false) {
    GifBuilder b(4, 1, TestPalette(4));
    b.image({.width = width,
             .height = height,
             .minCodeSize = minCodeSize,
             .interlaced = interlaced,
             .data = data});
    return b.trailer().bytes();
}
Bytes Headed(const Bytes& blocks, const std::vector<Rgb>& global = {}) {
    return GifBuilder(2, 2, global).raw(blocks).bytes();
}
Bytes GoodFile() {
    GifBuilder good(2, 2, TestPalette(2));
    return good.image({.width = 2, .height = 2, .pixels = {0, 1, 1, 0}, .minCodeSize = 2})
        .trailer()
        .bytes();
}
Bytes Edit(Bytes b, size_t size, std::vector<std::pair<size_t, uint8_t>> changes = {}) {
    b.resize(std::min(size, b.size()));
    for (auto [at, value] : changes)
        b[at] = value;
    return b;
}

// Code streams no encoder here writes, and damaged files: the code each gives and, where it
// loads and pixels are listed, the rows it fills.
TEST(GifErrors, EachLoaderCodeAndTheRowsOddStreamsFill) {
    const Bytes endOnly = PackCodes({{4, 3}, {5, 3}});
    const struct {
        const char* name;
        Bytes file;
        int32_t rc;
        Bytes pixels;
    } kCases[] = {
        // min 2: clear 4, end 5. 1, 6 (= next: "1 1"), 7 (= next: "1 1 1"), clear, 2, 6 (= next
        // after a clear with an old code: "2 2"), end.
        {"KwKwK and a clear in the middle",
         WithData(PackCodes({{4, 3}, {1, 3}, {6, 3}, {7, 3}, {4, 4}, {2, 3}, {6, 3}, {5, 3}}), 2,
                  9),
         0,
         {1, 1, 1, 1, 1, 1, 2, 2, 2}},
        // After the first row the passes run out of the picture: the second row of data is
        // written as the bottom row.
        {"interlaced, one row",
         WithData(LzwEncode({1, 1, 1, 2, 3, 2}, 2), 2, 3, 1, true),
         0,
         {2, 3, 2}},
        // Three rows: the passes that start below the picture are all passed over.
        {"interlaced, three rows",
         WithData(LzwEncode({1, 1, 3, 3, 2, 2}, 2), 2, 2, 3, true),
         0,
         {1, 1, 2, 2, 3, 3}},
        // An extra complete row replaces the bottom row; an extra partial row never shows.
        {"extra row",
         WithData(LzwEncode({1, 1, 2, 2, 3, 3, 0, 3}, 2), 2, 2, 3),
         0,
         {1, 1, 2, 2, 0, 3}},
        {"extra part row",
         WithData(LzwEncode({1, 1, 2, 2, 3, 3, 0}, 2), 2, 2, 3),
         0,
         {1, 1, 2, 2, 3, 3}},
        // Codes above the next free code (clear 4, end 5, next 6).
        {"code 7 at the start", WithData(PackCodes({{4, 3}, {7, 3}})), decode::kGifBadCode},
        {"next has grown to 7", WithData(PackCodes({{1, 3}, {2, 3}, {7, 3}, {5, 4}})), 0},
        {"code 10 after growth", WithData(PackCodes({{1, 3}, {2, 3}, {0, 3}, {0, 4}, {10, 4}})),
         decode::kGifBadCode},
        // The next free code with no old code, at the start and after a clear.
        {"first code 6", WithData(PackCodes({{6, 3}})), decode::kGifBadFirstCode},
        {"6 after a clear", WithData(PackCodes({{1, 3}, {4, 3}, {6, 3}})),
         decode::kGifBadFirstCode},
        {"min code size 0", WithData(endOnly, 0), decode::kGifBadBit},
        {"min code size 1", WithData(endOnly, 1), decode::kGifBadBit},
        {"min code size 9", WithData(endOnly, 9), decode::kGifBadBit},
        {"min code size 12", WithData(endOnly, 12), decode::kGifBadBit},
        {"min code size 255", WithData(endOnly, 255), decode::kGifBadBit},
        {"no min code size", Headed({',', 0, 0, 0, 0, 4, 0, 1, 0, 0}, TestPalette(4)),
         decode::kGifBadBit},
        // The signature is checked, the version is not.
        {"short header", Edit(GoodFile(), 12), decode::kBadHeader},
        {"empty", {}, decode::kBadHeader},
        {"not GIF", Edit(GoodFile(), 99, {{2, 'X'}}), decode::kBadHeader},
        {"odd version", Edit(GoodFile(), 99, {{3, '0'}, {5, 'z'}}), 0},
        {"short global table", Edit(GoodFile(), 18), decode::kReadError},
        {"short graphic control", Headed({0x21, 0xF9, 4, 1, 0}), decode::kReadError},
        {"short descriptor", Headed({',', 0, 0, 0, 0, 2, 0}), decode::kReadError},
        {"short local table", Headed({',', 0, 0, 0, 0, 2, 0, 2, 0, 0x81, 1, 2, 3}),
         decode::kReadError},
        // Sides of 0 or above 32767 are refused before anything is allocated.
        {"0x5", WithData(endOnly, 2, 0, 5), decode::kNoMemory},
        {"5x0", WithData(endOnly, 2, 5, 0), decode::kNoMemory},
        {"32768x1", WithData(endOnly, 2, 32768, 1), decode::kNoMemory},
        {"1x65535", WithData(endOnly, 2, 1, 65535), decode::kNoMemory},
        {"no image", GifBuilder(2, 2, TestPalette(2)).gce(0, 10, false, 0).trailer().bytes(),
         decode::kNoBitmap},
    };
    for (const auto& c : kCases) {
        const Frame f = Read(c.file);
        EXPECT_EQ(f.rc, c.rc) << c.name;
        if (!c.pixels.empty()) {
            EXPECT_EQ(f.pixels, c.pixels) << c.name;
        }
    }

    // No image from the start offset to the end, or an offset past the end.
    const Bytes good = GoodFile();
    DecodedImage img;
    img.gif.nextFrameOffset = 99;
    EXPECT_EQ(Read(img, good, static_cast<int32_t>(good.size() - 1)).rc, decode::kNoBitmap);
    EXPECT_EQ(img.gif.nextFrameOffset, 0);
    EXPECT_EQ(Read(img, good, 1 << 30).rc, decode::kNoBitmap);
}

TEST(GifFrames, WalkStopsAtTheNextFrameAndEndsWithZero) {
    const Bytes a = Pattern(6, 4, 16, 1), bpx = Pattern(3, 5, 16, 2), c = Pattern(8, 2, 16, 3);
    GifBuilder b(10, 11, TestPalette(16));
    b.raw({0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1, 0, 0, 0});
    b.gce(1, 5, false, 0).image({.width = 6, .height = 4, .pixels = a, .minCodeSize = 4});
    b.gce(2, 6554, false, 0);  // 65540 ms wraps to 4
    b.image({.left = 7, .top = 5, .width = 3, .height = 5, .pixels = bpx, .minCodeSize = 4});
    b.raw({0x21, 0xFE, 3, 'a', 'b', 'c', 0});  // a comment between frames
    b.image({.left = 1, .top = 2, .width = 8, .height = 2, .pixels = c, .minCodeSize = 4});
    b.trailer();
    const std::vector<size_t>&at = b.descriptorOffsets, &end = b.terminatorOffsets;
    // The end code sits in the last sub-block, so a frame's data ends just before its terminator,
    // where the walk goes on; the last frame runs into the end of the file. Without a graphic
    // control extension: disposal 4, the delay of the frame before.
    const struct {
        Bytes pixels;
        std::vector<size_t> delayDisposalLeftTopDescriptorNext;
    } kWalk[] = {{a, {50, 1, 0, 0, at[0], end[0]}},
                 {bpx, {4, 2, 7, 5, at[1], end[1]}},
                 {c, {4, 4, 1, 2, at[2], 0}}};
    DecodedImage img;
    for (const auto& w : kWalk) {
        Frame f = Read(img, b.bytes(), img.gif.nextFrameOffset);
        ASSERT_EQ(f.rc, 0);
        EXPECT_EQ(f.pixels, w.pixels);
        const GifFrameInfo& g = img.gif;
        EXPECT_EQ(std::vector<size_t>({g.frameDelay, g.frameDisposal, g.frameLeft, g.frameTop,
                                       size_t(g.frameDescriptorOffset), size_t(g.nextFrameOffset)}),
                  w.delayDisposalLeftTopDescriptorNext);
    }
    EXPECT_EQ(std::vector<int>({img.gif.screenWidth, img.gif.screenHeight, img.transparentIndex}),
              std::vector<int>({10, 11, -1}));
    EXPECT_EQ(Read(img, b.bytes(), static_cast<int32_t>(end[2])).rc, decode::kNoBitmap);

    // Straight at a descriptor: its graphic control extension is not read.
    DecodedImage again;
    again.gif.frameDelay = 1234;
    Frame f = Read(again, b.bytes(), static_cast<int32_t>(at[1]));
    ASSERT_EQ(f.rc, 0);
    EXPECT_EQ(f.pixels, bpx);
    EXPECT_EQ(again.gif.frameDisposal, 4);
    EXPECT_EQ(again.gif.frameDelay, 1234);
    EXPECT_EQ(again.gif.nextFrameOffset, static_cast<int32_t>(end[1]));
}

TEST(GifTransparency, WhiteEntryCarriedOverAndResetOnlyAtTheStart) {
    const auto palette = TestPalette(4);
    const Bytes px = {0, 1, 2, 3};
    GifBuilder b(2, 2, palette);
    b.gce(0, 0, true, 2).image({.width = 2, .height = 2, .pixels = px, .minCodeSize = 2});
    b.image({.width = 2, .height = 2, .pixels = px, .minCodeSize = 2});  // no extension
    const auto local = TestPalette(8);
    b.gce(0, 0, true, 5)
        .image({.width = 2, .height = 2, .pixels = px, .minCodeSize = 3, .local = local});
    b.gce(0, 0, false, 1).image({.width = 2, .height = 2, .pixels = px, .minCodeSize = 2});
    b.trailer();

    using C = std::array<uint8_t, 3>;
    auto entry = [](const DecodedImage& img, int i) {
        return C{img.rgbPalette[i * 3], img.rgbPalette[i * 3 + 1], img.rgbPalette[i * 3 + 2]};
    };
    auto rgb = [](Rgb c) { return C{c.r, c.g, c.b}; };
    const C white = {255, 255, 255};
    // The second frame has no extension: it keeps the transparency of the frame before, and the
    // global table read again has the same entry turned white. The third frame's local table gets
    // the rule too (its entry 2 plain). The fourth frame's extension without the flag changes
    // nothing about the index already set, and its global table clears the local entries
    // past its own.
    const struct {
        int index;
        std::optional<C> colour;
        std::vector<std::pair<int, C>> entries;
    } kWalk[] = {{2, rgb(palette[2]), {{2, white}, {1, rgb(palette[1])}}},
                 {2, rgb(palette[2]), {{2, white}}},
                 {5, rgb(local[5]), {{5, white}, {2, rgb(local[2])}}},
                 {5, std::nullopt, {{1, rgb(palette[1])}, {6, C{}}}}};
    DecodedImage img;
    for (const auto& w : kWalk) {
        ASSERT_EQ(Read(img, b.bytes(), img.gif.nextFrameOffset).rc, 0);
        EXPECT_EQ(img.transparentIndex, w.index);
        EXPECT_EQ(img.gif.transparentColor, w.colour.value_or(img.gif.transparentColor));
        for (const auto& [i, c] : w.entries)
            EXPECT_EQ(entry(img, i), c) << i;
    }

    // Offset 0 starts over; a non-zero offset does not.
    GifBuilder plain(2, 2, palette);
    plain.image({.width = 2, .height = 2, .pixels = px, .minCodeSize = 2}).trailer();
    DecodedImage carried;
    ASSERT_EQ(Read(carried, b.bytes()).rc, 0);
    ASSERT_EQ(Read(carried, plain.bytes(), static_cast<int32_t>(plain.descriptorOffsets[0])).rc, 0);
    EXPECT_EQ(carried.transparentIndex, 2);
    EXPECT_EQ(entry(carried, 2), white);
    ASSERT_EQ(Read(carried, plain.bytes()).rc, 0);
    EXPECT_EQ(carried.transparentIndex, -1);
    EXPECT_EQ(entry(carried, 2), rgb(palette[2]));
}

TEST(GifTruncated, RowsDecodedSoFarStayAndTheRestIsZero) {
    const int width = 16, height = 12;
    Bytes px = Pattern(width, height, 15, 9);
    for (auto& v : px)
        ++v;  // never 0, so rows never reached are told apart
    for (bool interlaced : {false, true}) {
        SCOPED_TRACE(interlaced);
        GifBuilder b(width, height, TestPalette(16));
        b.image({.width = width,
                 .height = height,
                 .pixels = px,
                 .minCodeSize = 4,
                 .interlaced = interlaced,
                 .blockSize = 8});
        const size_t dataStart = b.descriptorOffsets[0] + 10 + 1;
        int lastRows = -1;
        for (size_t cut = dataStart; cut <= b.size(); ++cut) {
            SCOPED_TRACE(cut);
            Frame f = Read(Bytes(b.bytes().begin(), b.bytes().begin() + cut));
            ASSERT_EQ(f.rc, 0);
            int rows = 0;
            for (int y = 0; y < height; ++y) {
                const Bytes got = Row(f.pixels, width, y);
                if (got == Row(px, width, y)) {
                    ++rows;
                } else {
                    EXPECT_EQ(got, Bytes(width, 0)) << "row " << y << " partly written";
                }
            }
            EXPECT_GE(rows, lastRows);
            lastRows = rows;
            if (!interlaced) {
                for (int y = 0; y < rows; ++y)
                    EXPECT_EQ(Row(f.pixels, width, y), Row(px, width, y));
            }
        }
        EXPECT_EQ(lastRows, height);
    }

    // A sub-block cut short is not used at all: all the data in one block, cut anywhere.
    GifBuilder one(width, height, TestPalette(16));
    one.image({.width = width, .height = height, .pixels = px, .minCodeSize = 4});
    ASSERT_EQ(one.terminatorOffsets[0], one.size() - 1);
    ASSERT_LT(LzwEncode(px, 4).size(), 255u) << "one sub-block";
    Frame f = Read(Bytes(one.bytes().begin(), one.bytes().end() - 2));
    ASSERT_EQ(f.rc, 0);
    EXPECT_EQ(f.pixels, Bytes(px.size(), 0));
    f = Read(Bytes(one.bytes().begin(), one.bytes().end() - 1));
    ASSERT_EQ(f.rc, 0);
    EXPECT_EQ(f.pixels, px);

    // A 0 length byte in the middle of the data ends the image quietly too.
    GifBuilder early(width, height, TestPalette(16));
    Bytes coded = LzwEncode(px, 4);
    early.raw({',', 0, 0, 0, 0, width, 0, height, 0, 0, 4});
    early.subBlocks(Bytes(coded.begin(), coded.begin() + 40), 40);
    early.raw({0});
    early.subBlocks(Bytes(coded.begin() + 40, coded.end()));
    early.raw({0, ';'});
    f = Read(early.bytes());
    ASSERT_EQ(f.rc, 0);
    EXPECT_EQ(Row(f.pixels, width, 0), Row(px, width, 0));
    EXPECT_EQ(Row(f.pixels, width, height - 1), Bytes(width, 0));
}

TEST(GifBlocks, ExtensionsAndStrayBytesArePassedOver) {
    const Bytes px = Pattern(4, 3, 4);
    auto fileWith = [&](const Bytes& before) {
        GifBuilder b(4, 3, TestPalette(4));
        b.raw(before).image({.width = 4, .height = 3, .pixels = px, .minCodeSize = 2}).trailer();
        return b.bytes();
    };
    const std::vector<std::pair<const char*, Bytes>> cases = {
        // Loop count 0: data bytes of 0 are data, not the end of the blocks.
        {"loop 0",
         {0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1, 0, 0, 0}},
        {"loop 256",
         {0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1, 0, 1, 0}},
        {"plain text", {0x21, 0x01, 12, 0, 0, 0, 0, 8, 0, 8, 0, 4, 4, 1, 2, 3, 'h', 'i', 'x', 0}},
        {"comment", {0x21, 0xFE, 5, 'h', 'e', 'l', 'l', 'o', 2, 'a', 'b', 0}},
        {"unknown label", {0x21, 0x99, 2, 7, 7, 1, 9, 0}},
        {"label 0", {0x21, 0x00, 2, 7, 7, 0}},
        {"zero bytes", {0, 0, 0}},
        {"stray byte", {0x42, 3, 1, 2, 3, 0}},
        {"empty comment", {0x21, 0xFE, 0}},
        // Identifier and header bytes are skipped by count, so a 0 among them does not end
        // anything, and a sub-block whose length byte is ',' is not taken for an image.
        {"application id ending in 0",
         {0x21, 0xFF, 11, 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 1, 2, 0, ',', 'x'}},
        {"plain text header ending in 0",
         {0x21, 0x01, 12, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0, ',', 'x'}},
    };
    for (auto [name, before] : cases) {
        SCOPED_TRACE(name);
        if (before.back() == 'x') {
            before.insert(before.end(), 43, 'x');
            before.push_back(0);
        }
        Frame f = Read(fileWith(before));
        ASSERT_EQ(f.rc, 0);
        EXPECT_EQ(f.pixels, px);
    }
    // A graphic control extension's six bytes are taken as they stand, whatever its size byte.
    DecodedImage img;
    ASSERT_EQ(Read(img, fileWith({0x21, 0xF9, 9, 0x0D, 3, 0, 1, 0})).rc, 0);
    EXPECT_EQ(img.gif.lastGraphicControl, (std::array<uint8_t, 6>{9, 0x0D, 3, 0, 1, 0}));
    EXPECT_EQ(img.gif.frameDisposal, 3);
    EXPECT_EQ(img.gif.frameDelay, 30);
    EXPECT_EQ(img.transparentIndex, 1);

    // Sub-blocks are skipped by their lengths: an image descriptor inside a comment's data,
    // after a 0 data byte, is passed over with the rest of the comment.
    GifBuilder hidden(4, 3, TestPalette(4));
    hidden.image({.width = 2, .height = 1, .pixels = {3, 1}, .minCodeSize = 2});
    const Bytes hiddenImage(hidden.bytes().begin() + hidden.descriptorOffsets[0],
                            hidden.bytes().end());
    Bytes comment = {0x21, 0xFE, static_cast<uint8_t>(hiddenImage.size() + 2), 'A', 0};
    comment.insert(comment.end(), hiddenImage.begin(), hiddenImage.end());
    comment.push_back(0);
    Frame f = Read(fileWith(comment));
    ASSERT_EQ(f.rc, 0);
    EXPECT_EQ(f.pixels, px);

    // A sub-block skip that meets the end of the file leaves no image.
    GifBuilder cut(4, 3, TestPalette(4));
    cut.raw({0x21, 0xFE, 200, 'x'});
    EXPECT_EQ(Read(cut.bytes()).rc, decode::kNoBitmap);
}

// ---------------------------------------------------------------------------------------------
// The public GIF suite against ImageMagick

// Files where a difference from ImageMagick is what this reader is meant to do.
const std::map<std::string, std::string> kKnownDifferences = {
    {"adf6f850b13dff73ebb22862c6ab028b.gif",
     "the last frame has a code above the next free code: -20007 ends the walk a frame early"},
    {"issue_2811.gif", "minimum code size 11: -20009"},
    {"test_extents_transparency.gif",
     "two GIF files joined end to end: the second header is not a block, its bytes are skipped "
     "as sub-blocks by their lengths, and the walk ends after the first file's frame"},
    {"max-codes.gif", "minimum code size 11: -20009"},
    {"set_hsts.gif", "minimum code size 1: -20009"},
};

struct Mismatch {
    int frame, x, y;
};

// Our frame (palette indices through rgbPalette) against ImageMagick's; pixels ImageMagick
// holds transparent are compared only for where the transparency falls.
std::string Compare(const Frame& f, const DecodedImage& img, const oracle::RgbImage& ref,
                    bool checkTransparency) {
    if (f.width != ref.width || f.height != ref.height)
        return "size " + std::to_string(f.width) + "x" + std::to_string(f.height) + " vs " +
               std::to_string(ref.width) + "x" + std::to_string(ref.height);
    int bad = 0;
    std::string first;
    for (int y = 0; y < f.height; ++y) {
        for (int x = 0; x < f.width; ++x) {
            const int index = f.pixels[static_cast<size_t>(y) * f.width + x];
            const bool clear = index == img.transparentIndex;
            const bool ok = !ref.opaque(x, y)
                                ? !checkTransparency || clear
                                : std::equal(&img.rgbPalette[index * 3],
                                             &img.rgbPalette[index * 3 + 3], ref.pixel(x, y)) &&
                                      (!checkTransparency || !clear || ref.alpha.empty());
            if (!ok && bad++ == 0)
                first = std::to_string(x) + "," + std::to_string(y) + " index " +
                        std::to_string(index) + (ref.opaque(x, y) ? "" : " (transparent)");
        }
    }
    return bad ? std::to_string(bad) + " pixels differ, first " + first : "";
}

TEST(GifSuite, FramesMatchImageMagick) {
    const auto folder = testsupport::TestData() / "gif";
    if (!std::filesystem::is_directory(folder))
        GTEST_SKIP() << "no public test pictures at " << folder;
    if (!oracle::ToolAvailable("convert")) GTEST_SKIP() << "ImageMagick's convert is not installed";
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().extension() == ".gif") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    int compared = 0, framesCompared = 0;
    for (const auto& path : files) {
        const std::string name = path.filename().string();
        const Bytes file = testsupport::ReadBytes(path.string());
        const auto ref = oracle::ImageMagickFrames(path.string());
        // The walk as the control does it; each frame then once more straight from its
        // descriptor with a fresh decode area, which leaves out transparency altogether.
        DecodedImage walk;
        int32_t offset = 0;
        std::vector<std::string> problems;
        int frames = 0;
        for (int n = 0; n < 1000; ++n) {
            Frame f = Read(walk, file, offset);
            if (f.rc != 0) {
                if (n < static_cast<int>(ref.size()))
                    problems.push_back("frame " + std::to_string(n) + " rc " +
                                       std::to_string(f.rc));
                break;
            }
            ++frames;
            if (n < static_cast<int>(ref.size())) {
                if (n == 0) {
                    const std::string d = Compare(f, walk, ref[0], true);
                    if (!d.empty()) problems.push_back("first frame: " + d);
                }
                DecodedImage fresh;
                Frame g = Read(fresh, file, walk.gif.frameDescriptorOffset);
                const std::string d =
                    g.rc ? "rc " + std::to_string(g.rc) : Compare(g, fresh, ref[n], false);
                if (!d.empty()) problems.push_back("frame " + std::to_string(n) + ": " + d);
                ++framesCompared;
            }
            if (walk.gif.nextFrameOffset == 0) break;
            offset = walk.gif.nextFrameOffset;
        }
        // More frames than ImageMagick is fine: it gives up on damaged files where the walk
        // still finds images.
        if (frames < static_cast<int>(ref.size()))
            problems.push_back(std::to_string(frames) + " frames, ImageMagick " +
                               std::to_string(ref.size()));
        if (!ref.empty()) ++compared;
        const auto known = kKnownDifferences.find(name);
        if (known != kKnownDifferences.end()) {
            EXPECT_FALSE(problems.empty()) << name << " now matches ImageMagick: " << known->second;
            continue;
        }
        for (const auto& p : problems)
            ADD_FAILURE() << name << ": " << p;
    }
    std::printf("%d files, %d frames compared with ImageMagick\n", compared, framesCompared);
}

}  // namespace
