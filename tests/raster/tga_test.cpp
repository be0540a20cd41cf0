// The TGA reader: hand-made files for each pixel depth, colour map and row order, the
// run-length edge cases, files written by netpbm and ImageMagick compared with their source and
// the tools' decodes, and the public samples.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decode/loader_error.h"
#include "decode/readers.h"
#include "support/bytes.h"
#include "support/oracle.h"
#include "support/picture.h"
#include "support/testdata.h"

namespace {

using namespace decode;
using namespace testsupport;
using testsupport::RunReader;

constexpr uint8_t kTopDown = 0x20;
constexpr uint8_t kRightToLeft = 0x10;

// A TGA file, built field by field; `data` is the pixel data as it stands in the file.
struct Tga {
    Bytes id;
    uint8_t mapType = 0;
    uint8_t type = 2;
    uint16_t mapFirst = 0, mapLength = 0;
    uint8_t mapBits = 0;
    uint16_t width = 0, height = 0;
    uint8_t depth = 24;
    uint8_t descriptor = 0;
    Bytes map;
    Bytes data;

    Tga(uint8_t t, uint8_t d, uint16_t w, uint16_t h) : type(t), width(w), height(h), depth(d) {}
    Tga& colourMap(uint16_t first, uint16_t length, uint8_t bits, Bytes entries) {
        mapType = 1;
        mapFirst = first;
        mapLength = length;
        mapBits = bits;
        map = std::move(entries);
        return *this;
    }

    Bytes bytes() const {
        Bytes out = {static_cast<uint8_t>(id.size()), mapType, type};
        PutLe16(out, mapFirst);
        PutLe16(out, mapLength);
        out.push_back(mapBits);
        PutLe16(out, 0);
        PutLe16(out, 0);
        PutLe16(out, width);
        PutLe16(out, height);
        out.push_back(depth);
        out.push_back(descriptor);
        Append(out, id);
        Append(out, map);
        Append(out, data);
        return out;
    }
};

Bytes Bgr(std::initializer_list<Rgb> pixels) {
    Bytes out;
    for (const Rgb& c : pixels)
        out.insert(out.end(), {c[2], c[1], c[0]});
    return out;
}

TEST(Tga, RejectsWhatIsNotAPicture) {
    Tga good(2, 24, 1, 1);
    good.data = Bgr({{1, 2, 3}});
    EXPECT_EQ(RunReader(ReadTga, good.bytes())->rc, 0);

    Bytes shortHeader = good.bytes();
    shortHeader.resize(17);
    EXPECT_EQ(RunReader(ReadTga, shortHeader)->rc, kBadHeader);

    for (uint8_t type : {0, 4, 8, 12, 32, 33}) {
        Tga odd = good;
        odd.type = type;
        EXPECT_EQ(RunReader(ReadTga, odd.bytes())->rc, kBadHeader) << int(type);
    }
    for (uint8_t depth : {0, 2, 4, 7, 12, 48, 64}) {
        Tga odd = good;
        odd.depth = depth;
        EXPECT_EQ(RunReader(ReadTga, odd.bytes())->rc, kBadHeader) << int(depth);
    }
    Tga empty = good;
    empty.width = 0;
    EXPECT_EQ(RunReader(ReadTga, empty.bytes())->rc, kBadHeader);

    Tga wide(2, 24, 40000, 1);
    const auto run = RunReader(ReadTga, wide.bytes());
    EXPECT_EQ(run->rc, kNoMemory);
    EXPECT_EQ(run->img.pixelHandle, 0u);

    // Pixels missing: a read error, whether raw or run-length.
    Tga cut(2, 24, 2, 2);
    cut.data = Bgr({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}});
    EXPECT_EQ(RunReader(ReadTga, cut.bytes())->rc, kReadError);
    Tga cutRle(10, 24, 2, 2);
    cutRle.data = {0x82, 1, 2, 3};  // a run of three where four pixels are needed
    EXPECT_EQ(RunReader(ReadTga, cutRle.bytes())->rc, kReadError);
    cutRle.data = {0x03, 1, 2, 3, 4, 5, 6};  // four raw pixels announced, two there
    EXPECT_EQ(RunReader(ReadTga, cutRle.bytes())->rc, kReadError);
    // A file that cannot hold its rows is refused before the pixel block is allocated.
    Tga hollow(2, 24, 18000, 18000);
    hollow.data = Bgr({{1, 2, 3}});
    auto refused = RunReader(ReadTga, hollow.bytes());
    EXPECT_EQ(refused->rc, kReadError);
    EXPECT_EQ(refused->img.pixelHandle, 0u);
    hollow.type = 10;
    hollow.data = {0xFF, 1, 2, 3};  // 128 pixels of 324 million
    refused = RunReader(ReadTga, hollow.bytes());
    EXPECT_EQ(refused->rc, kReadError);
    EXPECT_EQ(refused->img.pixelHandle, 0u);
}

TEST(Tga, RowOrderFollowsTheDescriptor) {
    const Rgb a{10, 20, 30}, b{40, 50, 60}, c{70, 80, 90}, d{100, 110, 120};
    Tga tga(2, 24, 2, 2);
    tga.id = {'h', 'e', 'l', 'l', 'o'};  // skipped
    tga.data = Bgr({a, b, c, d});

    // Bottom-up (bit 5 clear): the first row of the file is the bottom row.
    auto run = RunReader(ReadTga, tga.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->rgb(0, 1), a);
    EXPECT_EQ(run->rgb(1, 1), b);
    EXPECT_EQ(run->rgb(0, 0), c);
    EXPECT_EQ(run->img.row(1)[2], 10);  // stored blue, green, red

    tga.descriptor = kTopDown;
    run = RunReader(ReadTga, tga.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->rgb(0, 0), a);
    EXPECT_EQ(run->rgb(1, 1), d);

    // Right to left: pixels reversed, each keeping its colour.
    tga.descriptor = kTopDown | kRightToLeft;
    run = RunReader(ReadTga, tga.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->rgb(0, 0), b);
    EXPECT_EQ(run->rgb(1, 0), a);
    EXPECT_EQ(run->rgb(0, 1), d);

    Tga wide(3, 8, 5, 1);
    wide.descriptor = kRightToLeft;
    wide.data = {1, 2, 3, 4, 5};
    run = RunReader(ReadTga, wide.bytes());
    ASSERT_EQ(run->rc, 0);
    for (int x = 0; x < 5; ++x)
        EXPECT_EQ(run->index(x, 0), 5 - x);

    Tga bits(3, 1, 10, 1);
    bits.descriptor = kRightToLeft;
    bits.data = {0b11000000, 0b01000000};  // pixels 0, 1 and 9 set
    run = RunReader(ReadTga, bits.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->img.header.biBitCount, 1);
    const int want[10] = {1, 0, 0, 0, 0, 0, 0, 0, 1, 1};
    for (int x = 0; x < 10; ++x)
        EXPECT_EQ(run->index(x, 0), want[x]) << x;
    EXPECT_EQ(run->rgb(0, 0), (Rgb{255, 255, 255}));
}

TEST(Tga, SixteenAndThirtyTwoBitPixels) {
    // x, 5 bits red, 5 green, 5 blue, little-endian; each channel times 8.
    Tga tga(2, 16, 3, 1);
    for (uint16_t w : {0x7C00, 0x03E0, 0x8421})
        PutLe16(tga.data, w);
    auto run = RunReader(ReadTga, tga.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->img.header.biBitCount, 24);
    EXPECT_EQ(run->rgb(0, 0), (Rgb{248, 0, 0}));
    EXPECT_EQ(run->rgb(1, 0), (Rgb{0, 248, 0}));
    EXPECT_EQ(run->rgb(2, 0), (Rgb{8, 8, 8}));
    tga.depth = 15;
    run = RunReader(ReadTga, tga.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->rgb(0, 0), (Rgb{248, 0, 0}));

    // The fourth byte (alpha) is dropped.
    Tga wide(2, 32, 2, 1);
    wide.data = {1, 2, 3, 0, 4, 5, 6, 255};
    run = RunReader(ReadTga, wide.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->rgb(0, 0), (Rgb{3, 2, 1}));
    EXPECT_EQ(run->rgb(1, 0), (Rgb{6, 5, 4}));
}

TEST(Tga, ColourMaps) {
    // 24-bit entries from the first-entry index on; indexes below it stay black.
    Tga tga(1, 8, 3, 1);
    tga.colourMap(5, 2, 24, Bgr({{1, 2, 3}, {4, 5, 6}}));
    tga.data = {5, 6, 0};
    auto run = RunReader(ReadTga, tga.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->rgb(0, 0), (Rgb{1, 2, 3}));
    EXPECT_EQ(run->rgb(1, 0), (Rgb{4, 5, 6}));
    EXPECT_EQ(run->rgb(2, 0), (Rgb{0, 0, 0}));

    // 15-, 16- and 32-bit entries are read too.
    for (uint8_t bits : {15, 16}) {
        Bytes map;
        PutLe16(map, 0x001F);
        PutLe16(map, 0x7FFF);
        Tga m(1, 8, 2, 1);
        m.colourMap(0, 2, bits, map);
        m.data = {0, 1};
        run = RunReader(ReadTga, m.bytes());
        ASSERT_EQ(run->rc, 0);
        EXPECT_EQ(run->rgb(0, 0), (Rgb{0, 0, 248}));
        EXPECT_EQ(run->rgb(1, 0), (Rgb{248, 248, 248}));
    }
    Tga m32(1, 8, 1, 1);
    m32.colourMap(0, 1, 32, {9, 8, 7, 0});
    m32.data = {0};
    run = RunReader(ReadTga, m32.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->rgb(0, 0), (Rgb{7, 8, 9}));

    // A map that runs past entry 255 is read over; what lies beyond index 255 is not kept,
    // and the pixels after the map are found.
    Bytes big;
    for (int i = 0; i < 20; ++i)
        Append(big, Bgr({{static_cast<uint8_t>(i), 0, 0}}));
    Tga past(1, 8, 2, 1);
    past.colourMap(250, 20, 24, big);
    past.data = {250, 255};
    run = RunReader(ReadTga, past.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->rgb(0, 0), (Rgb{0, 0, 0}));
    EXPECT_EQ(run->rgb(1, 0), (Rgb{5, 0, 0}));
    Tga far(1, 8, 1, 1);
    far.colourMap(65500, 30, 24, Bytes(90, 0xAA));
    far.data = {7};
    run = RunReader(ReadTga, far.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->index(0, 0), 7);

    // Entries of a size the palette cannot hold are skipped whole.
    Tga odd(1, 8, 1, 1);
    odd.colourMap(0, 3, 8, {1, 2, 3});
    odd.data = {42};
    run = RunReader(ReadTga, odd.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->index(0, 0), 42);

    // A map on a true-colour picture is skipped.
    Tga unused(2, 24, 1, 1);
    unused.colourMap(0, 2, 24, Bgr({{1, 1, 1}, {2, 2, 2}}));
    unused.data = Bgr({{50, 60, 70}});
    run = RunReader(ReadTga, unused.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->rgb(0, 0), (Rgb{50, 60, 70}));
}

TEST(Tga, GreyPictures) {
    Tga grey(3, 8, 3, 1);
    grey.data = {0, 128, 255};
    auto run = RunReader(ReadTga, grey.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->rgb(1, 0), (Rgb{128, 128, 128}));
    EXPECT_EQ(run->rgb(2, 0), (Rgb{255, 255, 255}));

    // Grey with alpha: the grey level is the first byte of each pixel.
    Tga alpha(3, 16, 3, 1);
    alpha.data = {10, 255, 200, 0, 77, 128};
    run = RunReader(ReadTga, alpha.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->img.header.biBitCount, 8);
    EXPECT_EQ(run->rgb(0, 0), (Rgb{10, 10, 10}));
    EXPECT_EQ(run->rgb(1, 0), (Rgb{200, 200, 200}));
    EXPECT_EQ(run->rgb(2, 0), (Rgb{77, 77, 77}));
    alpha.type = 11;
    alpha.data = {0x82, 90, 1};
    run = RunReader(ReadTga, alpha.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->rgb(2, 0), (Rgb{90, 90, 90}));
}

TEST(Tga, RunLengthPackets) {
    // 3 x 2, top-down: a run of 2, then a raw packet of 3 that crosses into the second row,
    // then a run of 1.
    const Rgb a{1, 2, 3}, b{4, 5, 6}, c{7, 8, 9}, d{10, 11, 12}, e{13, 14, 15};
    Tga tga(10, 24, 3, 2);
    tga.descriptor = kTopDown;
    tga.data = {0x81};
    Append(tga.data, Bgr({a}));
    tga.data.push_back(0x02);
    Append(tga.data, Bgr({b, c, d}));
    tga.data.push_back(0x80);
    Append(tga.data, Bgr({e}));
    auto run = RunReader(ReadTga, tga.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->rgb(0, 0), a);
    EXPECT_EQ(run->rgb(1, 0), a);
    EXPECT_EQ(run->rgb(2, 0), b);
    EXPECT_EQ(run->rgb(0, 1), c);
    EXPECT_EQ(run->rgb(1, 1), d);
    EXPECT_EQ(run->rgb(2, 1), e);

    // A run that crosses the row end carries on too; 8-bit and 16-bit values.
    Tga grey(11, 8, 2, 2);
    grey.descriptor = kTopDown;
    grey.data = {0x82, 50, 0x00, 60};
    run = RunReader(ReadTga, grey.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->index(1, 0), 50);
    EXPECT_EQ(run->index(0, 1), 50);
    EXPECT_EQ(run->index(1, 1), 60);

    Tga hi(10, 16, 2, 1);
    hi.data = {0x81, 0x00, 0x7C};
    run = RunReader(ReadTga, hi.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->rgb(1, 0), (Rgb{248, 0, 0}));

    Tga wide(10, 32, 2, 1);
    wide.data = {0x01, 1, 2, 3, 4, 5, 6, 7, 8};
    run = RunReader(ReadTga, wide.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->rgb(1, 0), (Rgb{7, 6, 5}));

    // Colour-mapped run-length pictures use the map as raw ones do.
    Tga mapped(9, 8, 4, 1);
    mapped.colourMap(0, 2, 24, Bgr({{9, 9, 9}, {200, 100, 0}}));
    mapped.data = {0x83, 1};
    run = RunReader(ReadTga, mapped.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->rgb(3, 0), (Rgb{200, 100, 0}));
}

// Every public sample loads or fails with a loader code; where ImageMagick reads it, the
// pictures agree, except where ImageMagick's 16-bit decode differs (below).
TEST(Tga, PublicSamples) {
    const auto files = SampleFiles("tga");
    if (files.empty()) GTEST_SKIP() << "no public test pictures at " << TestData("tga");
    const bool magick = oracle::ToolAvailable("convert");
    int compared = 0;
    for (const auto& file : files) {
        const std::string name = file.filename().string();
        if (file.extension() == ".txt") continue;
        SCOPED_TRACE(name);
        const auto load = testsupport::LoadFile(file.string());
        if (load.rc != 0) {
            EXPECT_LE(load.rc, -20001);
            EXPECT_GE(load.rc, -20022);
            continue;
        }
        if (!magick) continue;
        const auto want = oracle::ImageMagickUpright(file.string());
        if (want.rgb.empty()) continue;
        ++compared;
        // Grey with alpha: ImageMagick 6 misreads the grey byte; compared below instead.
        if (name.find("la") == 0 || name.find("_la_") != std::string::npos) continue;
        // 5-bit channels: this reader multiplies by 8, ImageMagick scales to 255.
        const auto bytes = testsupport::ReadBytes(file.string());
        const bool fiveBit =
            bytes.size() >= 18 && (bytes[16] == 16 || bytes[16] == 15 ||
                                   (bytes[1] && (bytes[7] == 15 || bytes[7] == 16)));
        EXPECT_EQ(testsupport::ComparePictures(load.picture, want, fiveBit ? 7 : 0), "");
    }
    if (magick) {
        EXPECT_GT(compared, 60);
    }

    // The grey-with-alpha samples show the same grey levels as their grey-only twins.
    for (const std::string order : {"bl_raw", "bl_rle", "tl_raw", "tl_rle"}) {
        const auto grey =
            testsupport::LoadFile((TestData("tga") / ("pil_200x32_l_" + order + ".tga")).string());
        const auto withAlpha =
            testsupport::LoadFile((TestData("tga") / ("pil_200x32_la_" + order + ".tga")).string());
        ASSERT_EQ(grey.rc, 0);
        ASSERT_EQ(withAlpha.rc, 0);
        EXPECT_EQ(testsupport::ComparePictures(withAlpha.picture, grey.picture), "") << order;
    }
}

}  // namespace
