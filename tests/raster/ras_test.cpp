// The Sun raster reader: hand-made files for each depth, colour map and encoding, files
// written by netpbm and ImageMagick compared with their source and the tools' decodes, and the
// public samples.
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

// A Sun raster file, built field by field; `data` is the pixel data as it stands in the file.
struct Ras {
    uint32_t magic = 0x59A66A95;
    uint32_t width, height, depth;
    uint32_t type = 1;
    uint32_t mapType = 0;
    Bytes map;
    Bytes data;

    Ras(uint32_t d, uint32_t w, uint32_t h) : width(w), height(h), depth(d) {}

    Bytes bytes() const {
        Bytes out;
        for (uint32_t v : {magic, width, height, depth, static_cast<uint32_t>(data.size()), type,
                           mapType, static_cast<uint32_t>(map.size())})
            PutBe32(out, v);
        Append(out, map);
        Append(out, data);
        return out;
    }
};

TEST(Ras, RejectsWhatIsNotAPicture) {
    Ras good(8, 2, 1);
    good.data = {1, 2};
    EXPECT_EQ(RunReader(ReadRas, good.bytes())->rc, 0);

    Bytes shortHeader = good.bytes();
    shortHeader.resize(31);
    EXPECT_EQ(RunReader(ReadRas, shortHeader)->rc, kBadHeader);

    Ras magic = good;
    magic.magic = 0x956AA659;  // the magic of a file written in the other byte order
    EXPECT_EQ(RunReader(ReadRas, magic.bytes())->rc, kBadHeader);
    Ras experimental = good;
    experimental.type = 0xFFFF;
    EXPECT_EQ(RunReader(ReadRas, experimental.bytes())->rc, kBadHeader);
    Ras rawMap = good;
    rawMap.mapType = 2;
    EXPECT_EQ(RunReader(ReadRas, rawMap.bytes())->rc, kBadHeader);
    for (uint32_t depth : {0u, 4u, 16u, 33u}) {
        Ras odd = good;
        odd.depth = depth;
        EXPECT_EQ(RunReader(ReadRas, odd.bytes())->rc, kBadHeader) << depth;
    }
    Ras empty = good;
    empty.height = 0;
    EXPECT_EQ(RunReader(ReadRas, empty.bytes())->rc, kBadHeader);
    Ras negative = good;
    negative.width = 0x80000000u;
    EXPECT_EQ(RunReader(ReadRas, negative.bytes())->rc, kBadHeader);

    Ras huge(24, 30000, 30000);
    const auto run = RunReader(ReadRas, huge.bytes());
    EXPECT_EQ(run->rc, kNoMemory);
    EXPECT_EQ(run->img.pixelHandle, 0u);

    // Rows missing, raw or encoded: a read error. So is a colour map longer than the file.
    Ras cut(8, 2, 2);
    cut.data = {1, 2, 3};
    EXPECT_EQ(RunReader(ReadRas, cut.bytes())->rc, kReadError);
    cut.type = 2;
    cut.data = {0x80, 3, 9};  // two rows of the three
    cut.height = 3;
    EXPECT_EQ(RunReader(ReadRas, cut.bytes())->rc, kReadError);
    // A file that cannot hold its rows is refused before the pixel block is allocated.
    Ras hollow(8, 20000, 20000);
    hollow.data = {1, 2, 3, 4};
    auto refused = RunReader(ReadRas, hollow.bytes());
    EXPECT_EQ(refused->rc, kReadError);
    EXPECT_EQ(refused->img.pixelHandle, 0u);
    hollow.type = 2;
    hollow.data = {0x80, 0xFF, 7, 0x80, 0xFF, 7};  // 512 bytes of 400 million
    refused = RunReader(ReadRas, hollow.bytes());
    EXPECT_EQ(refused->rc, kReadError);
    EXPECT_EQ(refused->img.pixelHandle, 0u);
    Bytes longMap = good.bytes();
    longMap[31] = 200;
    EXPECT_EQ(RunReader(ReadRas, longMap)->rc, kReadError);
}

TEST(Ras, RowsArePaddedToEvenLengths) {
    // Width 3 at 8 bits: four bytes a row. Every row is delivered, the first on top.
    Ras ras(8, 3, 3);
    ras.data = {1, 2, 3, 0xEE, 4, 5, 6, 0xEE, 7, 8, 9, 0xEE};
    auto run = RunReader(ReadRas, ras.bytes());
    ASSERT_EQ(run->rc, 0);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(run->index(x, y), 1 + 3 * y + x);
    // Without a colour map the levels are grey.
    EXPECT_EQ(run->rgb(2, 2), (Rgb{9, 9, 9}));

    Ras single(8, 5, 1);
    single.data = {10, 20, 30, 40, 50, 0};
    run = RunReader(ReadRas, single.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->index(4, 0), 50);

    // 24 bits: blue, green, red; width 1 gives three bytes and a pad byte.
    Ras tc(24, 1, 2);
    tc.data = {1, 2, 3, 0, 4, 5, 6, 0};
    run = RunReader(ReadRas, tc.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->rgb(0, 0), (Rgb{3, 2, 1}));
    EXPECT_EQ(run->rgb(0, 1), (Rgb{6, 5, 4}));
    // The RGB format type stores red first.
    tc.type = 3;
    run = RunReader(ReadRas, tc.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->rgb(0, 0), (Rgb{1, 2, 3}));
}

TEST(Ras, ThirtyTwoBitPixelsDropTheirFirstByte) {
    Ras ras(32, 3, 1);
    ras.data = {0xAA, 1, 2, 3, 0xAA, 4, 5, 6, 0xAA, 7, 8, 9};
    auto run = RunReader(ReadRas, ras.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->img.header.biBitCount, 24);
    EXPECT_EQ(run->rgb(0, 0), (Rgb{3, 2, 1}));
    EXPECT_EQ(run->rgb(2, 0), (Rgb{9, 8, 7}));  // the last pixel too
    ras.type = 3;
    run = RunReader(ReadRas, ras.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->rgb(2, 0), (Rgb{7, 8, 9}));
}

TEST(Ras, OneBitPictures) {
    // Without a map 1 bits are black and 0 bits white; width 10 gives two bytes a row.
    Ras ras(1, 10, 2);
    ras.data = {0b10100000, 0b01000000, 0xFF, 0xC0};
    auto run = RunReader(ReadRas, ras.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->img.header.biBitCount, 1);
    EXPECT_EQ(run->rgb(0, 0), (Rgb{0, 0, 0}));
    EXPECT_EQ(run->rgb(1, 0), (Rgb{255, 255, 255}));
    EXPECT_EQ(run->rgb(9, 0), (Rgb{0, 0, 0}));
    EXPECT_EQ(run->rgb(8, 0), (Rgb{255, 255, 255}));
    EXPECT_EQ(run->rgb(5, 1), (Rgb{0, 0, 0}));

    // With a map its two entries are used.
    ras.mapType = 1;
    ras.map = {10, 20, 30, 40, 50, 60};
    run = RunReader(ReadRas, ras.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->rgb(0, 0), (Rgb{20, 40, 60}));
    EXPECT_EQ(run->rgb(1, 0), (Rgb{10, 30, 50}));
}

TEST(Ras, ColourMapsHoldRedsThenGreensThenBlues) {
    Ras ras(8, 2, 1);
    ras.mapType = 1;
    ras.map = {1, 2, 3, 4, 5, 6, 7, 8, 9};  // three entries
    ras.data = {0, 2};
    auto run = RunReader(ReadRas, ras.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->rgb(0, 0), (Rgb{1, 4, 7}));
    EXPECT_EQ(run->rgb(1, 0), (Rgb{3, 6, 9}));

    // A map of 300 entries: the first 256 are kept, each from its own third of the map.
    Ras big(8, 2, 1);
    big.mapType = 1;
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < 300; ++i)
            big.map.push_back(static_cast<uint8_t>(c * 80 + i % 50));
    big.data = {255, 7};
    run = RunReader(ReadRas, big.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->rgb(0, 0), (Rgb{5, 85, 165}));
    EXPECT_EQ(run->rgb(1, 0), (Rgb{7, 87, 167}));
}

TEST(Ras, ByteEncodedRows) {
    // Width 3 at 8 bits: four bytes a row in the decoded stream (pad included).
    Ras ras(8, 3, 3);
    ras.type = 2;
    ras.data = {
        0x80, 0x00,        // a literal 0x80
        0x11, 0x12,        // two literals, then the pad byte by a run that goes on into row 1:
        0x80, 0x04, 0x33,  // five 0x33: pad of row 0, then three pixels and the pad of row 1
        0x80, 0x02, 0x44,  // three 0x44
        0x55,              // pad of row 2
    };
    auto run = RunReader(ReadRas, ras.bytes());
    ASSERT_EQ(run->rc, 0);
    const int want[3][3] = {{0x80, 0x11, 0x12}, {0x33, 0x33, 0x33}, {0x44, 0x44, 0x44}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(run->index(x, y), want[y][x]) << x << "," << y;
}

TEST(Ras, PublicSamples) {
    const auto files = SampleFiles("ras");
    if (files.empty()) GTEST_SKIP() << "no public test pictures at " << TestData("ras");
    const bool magick = oracle::ToolAvailable("convert");
    int compared = 0;
    for (const auto& file : files) {
        SCOPED_TRACE(file.filename().string());
        // sunraster.im1 has an extension the dispatch does not know: read it directly.
        const auto run = RunReader(ReadRas, testsupport::ReadBytes(file.string()));
        if (run->rc != 0) {
            EXPECT_LE(run->rc, -20001);
            EXPECT_GE(run->rc, -20022);
            continue;
        }
        if (!magick) continue;
        const auto want = oracle::ImageMagickUpright(file.string(), "sun:");
        if (want.rgb.empty()) continue;
        ++compared;
        EXPECT_EQ(testsupport::ComparePictures(run->picture(), want), "");
    }
    if (magick) {
        EXPECT_EQ(compared, static_cast<int>(files.size()));
    }
}

}  // namespace
