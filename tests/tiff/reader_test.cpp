// The TIFF reader on hand-made files: directory rules in both byte orders, palettes, strips,
// PackBits, sample conversions, the page table, the pixel aspect and hostile files.
#include <gtest/gtest.h>

#include <cmath>

#include "decode/loader_error.h"
#include "tiff/tiff_files.h"

namespace tiff_test {
namespace {

using testsupport::RunReader;

std::array<uint8_t, 3> PaletteEntry(const decode::DecodedImage& img, int i) {
    return {img.rgbPalette[3 * i], img.rgbPalette[3 * i + 1], img.rgbPalette[3 * i + 2]};
}

std::array<uint8_t, 3> Grey(uint8_t v) {
    return {v, v, v};
}

TEST(TiffHeader, RejectsWhatIsNoTiffAndDegenerateDirectories) {
    EXPECT_EQ(RunReader(decode::ReadTiff, {'I', 'M', 42, 0, 8, 0, 0, 0})->rc, decode::kBadHeader);
    EXPECT_EQ(RunReader(decode::ReadTiff, {'I'})->rc, decode::kBadHeader);
    EXPECT_EQ(RunReader(decode::ReadTiff, {})->rc, decode::kBadHeader);

    // First directory outside the file.
    EXPECT_EQ(RunReader(decode::ReadTiff, {'I', 'I', 42, 0, 0xF0, 0, 0, 0})->rc,
              decode::kBadHeader);

    Picture p;
    p.width = 4;
    p.height = 2;
    p.strip = Bytes(8, 1);
    // A bit count of 0, from either factor.
    p.bitsPerSample = 0;
    EXPECT_EQ(RunReader(decode::ReadTiff, MakeTiff(p))->rc, decode::kBadHeader);
    p.bitsPerSample = 8;
    p.samples = 0;
    EXPECT_EQ(RunReader(decode::ReadTiff, MakeTiff(p))->rc, decode::kBadHeader);
    p.samples = 1;
    // No width, and a width beyond the largest picture.
    p.width = 0;
    EXPECT_EQ(RunReader(decode::ReadTiff, MakeTiff(p))->rc, decode::kBadHeader);
    p.width = 40000;
    EXPECT_EQ(RunReader(decode::ReadTiff, MakeTiff(p))->rc, decode::kNoMemory);
    p.width = 4;
    EXPECT_EQ(RunReader(decode::ReadTiff, MakeTiff(p))->rc, 0);

    // An uncompressed picture without StripOffsets has no data to show.
    TiffBuilder b;
    b.Directory({Long(256, 4), Long(257, 2), Short(258, 8), Short(262, 1)});
    EXPECT_EQ(RunReader(decode::ReadTiff, b.bytes())->rc, decode::kBadHeader);
}

TEST(TiffPalette, GreyRampsFollowThePhotometricInterpretation) {
    for (bool big : {false, true}) {
        SCOPED_TRACE(big ? "MM" : "II");
        Picture p;
        p.width = 3;
        p.height = 1;
        p.strip = {0, 128, 255};
        p.photometric = 0;  // WhiteIsZero: the reversed ramp
        auto run = RunReader(decode::ReadTiff, MakeTiff(p, big));
        ASSERT_EQ(run->rc, 0);
        EXPECT_EQ(run->img.header.biBitCount, 8);
        EXPECT_EQ(PaletteEntry(run->img, 0), Grey(255));
        EXPECT_EQ(PaletteEntry(run->img, 255), Grey(0));
        EXPECT_EQ(run->rgb(0, 0), Grey(255));
        EXPECT_EQ(run->rgb(2, 0), Grey(0));

        p.photometric = 1;
        run = RunReader(decode::ReadTiff, MakeTiff(p, big));
        ASSERT_EQ(run->rc, 0);
        EXPECT_EQ(run->rgb(0, 0), Grey(0));
        EXPECT_EQ(run->rgb(1, 0), Grey(128));
    }

    // 4 bits: sixteen steps of 17.
    Picture p;
    p.width = 2;
    p.height = 1;
    p.bitsPerSample = 4;
    p.strip = {0x1F};
    auto run = RunReader(decode::ReadTiff, MakeTiff(p));
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->img.header.biBitCount, 4);
    EXPECT_EQ(run->rgb(0, 0), Grey(17));
    EXPECT_EQ(run->rgb(1, 0), Grey(255));

    // 2 bits widen to nibbles over a four-step ramp, so white stays white.
    p.width = 4;
    p.bitsPerSample = 2;
    p.strip = {0x1B};  // 0, 1, 2, 3
    run = RunReader(decode::ReadTiff, MakeTiff(p, true));
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->img.header.biBitCount, 4);
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(run->rgb(x, 0), Grey(static_cast<uint8_t>(85 * x))) << x;
}

TEST(TiffPalette, BilevelPicturesShowAsTheirInterpretationSays) {
    Picture p;
    p.width = 9;
    p.height = 1;
    p.bitsPerSample = 1;
    p.strip = {0x80, 0x00};  // first pixel 1, the rest 0
    for (uint32_t photometric : {0u, 1u}) {
        SCOPED_TRACE(photometric);
        p.photometric = photometric;
        const auto run = RunReader(decode::ReadTiff, MakeTiff(p));
        ASSERT_EQ(run->rc, 0);
        EXPECT_EQ(run->img.header.biBitCount, 1);
        const uint8_t one = photometric == 1 ? 255 : 0;
        EXPECT_EQ(run->rgb(0, 0), Grey(one));
        EXPECT_EQ(run->rgb(8, 0), Grey(static_cast<uint8_t>(255 - one)));
    }
}

TEST(TiffPalette, ColorMapTakesTheHighByteAndStopsAtTheEndOfTheFile) {
    TiffBuilder b(true);
    const uint32_t strip = b.Append({0, 1, 2, 3});
    std::vector<uint32_t> map(3 * 256, 0);
    map[0] = 0xFF00;            // red of entry 0: a 16-bit intensity
    map[256 + 1] = 200;         // green of entry 1: a dark 16-bit intensity, not 8-bit 200
    map[2 * 256 + 3] = 0x8000;  // blue of entry 3
    const uint32_t colours = b.AppendShorts(map);
    const auto fields = [&](uint32_t mapOffset) {
        return std::vector<Field>{Long(256, 4),
                                  Long(257, 1),
                                  Short(258, 8),
                                  Short(262, 3),
                                  Long(273, strip),
                                  Short(277, 1),
                                  At(320, kShort, 768, mapOffset)};
    };
    TiffBuilder whole = b;
    whole.Directory(fields(colours));
    auto run = RunReader(decode::ReadTiff, whole.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->rgb(0, 0), (std::array<uint8_t, 3>{255, 0, 0}));
    EXPECT_EQ(run->rgb(1, 0), (std::array<uint8_t, 3>{0, 0, 0}));
    EXPECT_EQ(run->rgb(3, 0), (std::array<uint8_t, 3>{0, 0, 128}));

    // A map whose values all fit in 8 bits was written with 8-bit values: taken as they are.
    {
        TiffBuilder narrow(true);
        const uint32_t pixels = narrow.Append({0, 1, 2, 3});
        std::vector<uint32_t> small(3 * 256, 0);
        small[256 + 1] = 200;
        small[2 * 256 + 3] = 255;
        const uint32_t table = narrow.AppendShorts(small);
        narrow.Directory({Long(256, 4), Long(257, 1), Short(258, 8), Short(262, 3),
                          Long(273, pixels), Short(277, 1), At(320, kShort, 768, table)});
        auto eight = RunReader(decode::ReadTiff, narrow.bytes());
        ASSERT_EQ(eight->rc, 0);
        EXPECT_EQ(eight->rgb(1, 0), (std::array<uint8_t, 3>{0, 200, 0}));
        EXPECT_EQ(eight->rgb(3, 0), (std::array<uint8_t, 3>{0, 0, 255}));
    }

    // A map that starts near the end of the file: what is there is read, the rest stays black,
    // nothing outside the file is touched.
    TiffBuilder cut = b;
    const uint32_t directoryBytes = 2 + 7 * 12 + 4;
    cut.Directory(fields(cut.size() + directoryBytes - 4));  // the map's last 4 bytes: the link
    run = RunReader(decode::ReadTiff, cut.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->rgb(2, 0), (std::array<uint8_t, 3>{0, 0, 0}));
    TiffBuilder outside = b;
    outside.Directory(fields(0xFFFFFFF0u));
    EXPECT_EQ(RunReader(decode::ReadTiff, outside.bytes())->rc, 0);
}

TEST(TiffStrips, RowsGoBottomUpFromEveryStripAndDropRowsPastTheHeight) {
    for (bool big : {false, true}) {
        for (uint16_t type : {kShort, kLong}) {
            SCOPED_TRACE(std::string(big ? "MM" : "II") + (type == kShort ? " SHORT" : " LONG"));
            TiffBuilder b(big);
            // Strips of two rows in reverse file order; the last strip has a row too many.
            const uint32_t s2 = b.Append({50, 51, 52, 53});
            const uint32_t s1 = b.Append({30, 31, 40, 41});
            const uint32_t s0 = b.Append({10, 11, 20, 21});
            const uint32_t table =
                type == kShort ? b.AppendShorts({s0, s1, s2}) : b.AppendLongs({s0, s1, s2});
            b.Directory({Long(256, 2), Long(257, 5), Short(258, 8), Short(262, 1),
                         At(273, type, 3, table), Short(277, 1), Short(278, 2)});
            const auto run = RunReader(decode::ReadTiff, b.bytes());
            ASSERT_EQ(run->rc, 0);
            const int want[5][2] = {{10, 11}, {20, 21}, {30, 31}, {40, 41}, {50, 51}};
            for (int y = 0; y < 5; ++y)
                for (int x = 0; x < 2; ++x)
                    EXPECT_EQ(run->index(x, y), want[y][x]) << x << "," << y;
            // Row 0 of the picture is the last row of the block.
            EXPECT_EQ(run->img.pixels[4 * run->img.rowStride], 10);
        }
    }
}

TEST(TiffStrips, HostileStripTablesGiveAPictureOfWhatWasThere) {
    // An enormous strip count whose table runs off the file ends with the picture's height.
    TiffBuilder b;
    const uint32_t s0 = b.Append({7, 7});
    const uint32_t table = b.AppendLongs({s0, 0xFFFFFF00u});
    b.Directory({Long(256, 2), Long(257, 3), Short(258, 8), Short(262, 1),
                 At(273, kLong, 0xFFFFFFFFu, table), Short(277, 1), Short(278, 1)});
    auto run = RunReader(decode::ReadTiff, b.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->index(1, 0), 7);
    EXPECT_EQ(run->index(0, 1), 0);  // strip outside the file: blank
    EXPECT_EQ(run->index(0, 2), 0);

    // A single strip that starts outside the file, and one cut short by the end of the file.
    Picture p;
    p.width = 3;
    p.height = 2;
    p.extra = {};
    TiffBuilder far;
    far.Directory({Long(256, 3), Long(257, 2), Short(258, 8), Short(262, 1), Long(273, 0x7FFFFFF0u),
                   Short(277, 1)});
    run = RunReader(decode::ReadTiff, far.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->index(2, 1), 0);

    TiffBuilder cut;
    cut.Directory(
        {Long(256, 3), Long(257, 2), Short(258, 8), Short(262, 1), Long(273, 0), Short(277, 1)});
    Bytes bytes = cut.bytes();
    const uint32_t at = static_cast<uint32_t>(bytes.size());
    cut.Patch32(8 + 2 + 4 * 12 + 8, at);  // StripOffsets' value field
    bytes = cut.bytes();
    bytes.insert(bytes.end(), {1, 2, 3, 4});
    run = RunReader(decode::ReadTiff, bytes);
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->index(0, 0), 1);
    EXPECT_EQ(run->index(0, 1), 4);
    EXPECT_EQ(run->index(1, 1), 0);
}

TEST(TiffPackBits, RunsFillRowsAndOverrunsAreDropped) {
    Picture p;
    p.width = 4;
    p.height = 3;
    p.compression = 32773;
    p.strip = {
        0x02, 1, 2, 3, 0xFF, 9,     // literal 3 and a repeat of 2: row 0 = 1 2 3 9 (one 9 dropped)
        0x80,                       // no-op
        0x05, 5, 6, 7, 8,    0, 0,  // literal 6 overruns row 1: two bytes dropped
        0xFD, 4,                    // repeat 4 times: row 2
    };
    const auto run = RunReader(decode::ReadTiff, MakeTiff(p));
    ASSERT_EQ(run->rc, 0);
    const int want[3][4] = {{1, 2, 3, 9}, {5, 6, 7, 8}, {4, 4, 4, 4}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(run->index(x, y), want[y][x]) << x << "," << y;

    // Data that ends early: the end of the file reads as 255, a repeat of 255s.
    p.strip = {0x01, 3, 4};
    const auto shortRun = RunReader(decode::ReadTiff, MakeTiffStripLast(p));
    ASSERT_EQ(shortRun->rc, 0);
    EXPECT_EQ(shortRun->index(1, 0), 4);
    EXPECT_EQ(shortRun->index(2, 0), 255);
    EXPECT_EQ(shortRun->index(3, 2), 255);

    // Uncompressed data that ends early: the missing bytes are blank.
    p.compression = 1;
    p.strip = {1, 2, 3, 4, 5};
    const auto cut = RunReader(decode::ReadTiff, MakeTiffStripLast(p, true));
    ASSERT_EQ(cut->rc, 0);
    EXPECT_EQ(cut->index(0, 1), 5);
    EXPECT_EQ(cut->index(1, 1), 0);
    EXPECT_EQ(cut->index(3, 2), 0);
}

TEST(TiffSamples, ColourLayoutsBecomeBlueGreenRed) {
    // RGB, RGBA (alpha dropped), CMYK and RGB with 16-bit samples in both byte orders.
    Picture p;
    p.width = 2;
    p.height = 1;
    p.photometric = 2;
    p.samples = 3;
    p.strip = {10, 20, 30, 40, 50, 60};
    auto run = RunReader(decode::ReadTiff, MakeTiff(p));
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->img.header.biBitCount, 24);
    EXPECT_EQ(run->rgb(0, 0), (std::array<uint8_t, 3>{10, 20, 30}));
    EXPECT_EQ(run->rgb(1, 0), (std::array<uint8_t, 3>{40, 50, 60}));

    p.samples = 4;
    p.strip = {10, 20, 30, 99, 40, 50, 60, 99};
    run = RunReader(decode::ReadTiff, MakeTiff(p));
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->rgb(1, 0), (std::array<uint8_t, 3>{40, 50, 60}));

    p.photometric = 5;
    p.strip = {10, 20, 30, 40, 200, 100, 0, 60};
    run = RunReader(decode::ReadTiff, MakeTiff(p));
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->rgb(0, 0), (std::array<uint8_t, 3>{205, 195, 185}));  // 255 - ink - black
    EXPECT_EQ(run->rgb(1, 0), (std::array<uint8_t, 3>{0, 95, 195}));     // clamped at 0

    for (bool big : {false, true}) {
        SCOPED_TRACE(big ? "MM" : "II");
        p.photometric = 2;
        p.samples = 3;
        p.bitsPerSample = 16;
        p.strip.clear();
        for (uint16_t v : {0x1234, 0xAB01, 0xFFFE, 0x0102, 0x8000, 0x7FFF}) {
            const uint8_t hi = static_cast<uint8_t>(v >> 8), lo = static_cast<uint8_t>(v);
            p.strip.push_back(big ? hi : lo);
            p.strip.push_back(big ? lo : hi);
        }
        run = RunReader(decode::ReadTiff, MakeTiff(p, big));
        ASSERT_EQ(run->rc, 0);
        EXPECT_EQ(run->img.header.biBitCount, 24);
        EXPECT_EQ(run->rgb(0, 0), (std::array<uint8_t, 3>{0x12, 0xAB, 0xFF}));
        EXPECT_EQ(run->rgb(1, 0), (std::array<uint8_t, 3>{0x01, 0x80, 0x7F}));

        // 16-bit grey: 8 bits in the header, the high byte as the index.
        p.photometric = 1;
        p.samples = 1;
        p.strip = big ? Bytes{0xC0, 0x01, 0x00, 0xFF} : Bytes{0x01, 0xC0, 0xFF, 0x00};
        run = RunReader(decode::ReadTiff, MakeTiff(p, big));
        ASSERT_EQ(run->rc, 0);
        EXPECT_EQ(run->img.header.biBitCount, 8);
        EXPECT_EQ(run->rgb(0, 0), Grey(0xC0));
        EXPECT_EQ(run->rgb(1, 0), Grey(0x00));
        p.bitsPerSample = 8;
    }

    // Grey with alpha: the grey sample.
    p.photometric = 1;
    p.samples = 2;
    p.strip = {70, 255, 90, 0};
    run = RunReader(decode::ReadTiff, MakeTiff(p));
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->img.header.biBitCount, 8);
    EXPECT_EQ(run->rgb(0, 0), Grey(70));
    EXPECT_EQ(run->rgb(1, 0), Grey(90));
}

TEST(TiffDirectory, BitsPerSampleArraysAndShortValuesInBothOrders) {
    for (bool big : {false, true}) {
        SCOPED_TRACE(big ? "MM" : "II");
        TiffBuilder b(big);
        const uint32_t bps = b.AppendShorts({8, 8, 8});
        const uint32_t strip = b.Append({1, 2, 3});
        // SHORT count 2: the first value; SHORT count 3: an offset.
        b.Directory({Long(256, 1),
                     Long(257, 1),
                     At(258, kShort, 3, bps),
                     Short(262, 2),
                     Long(273, strip),
                     Short(277, 3),
                     {278, kShort, 2, 1}});
        const auto run = RunReader(decode::ReadTiff, b.bytes());
        ASSERT_EQ(run->rc, 0);
        EXPECT_EQ(run->img.header.biBitCount, 24);
        EXPECT_EQ(run->rgb(0, 0), (std::array<uint8_t, 3>{1, 2, 3}));
    }
}

TEST(TiffAspect, ResolutionRatioWithItsLimits) {
    const auto aspect = [](bool big, uint32_t xn, uint32_t xd, uint32_t yn, uint32_t yd,
                           uint32_t padding) {
        TiffBuilder b(big);
        const uint32_t strip = b.Append(Bytes(padding + 1, 0));
        const uint32_t x = b.AppendRational(xn, xd);
        const uint32_t y = b.AppendRational(yn, yd);
        b.Directory({Long(256, 1), Long(257, 1), Short(258, 8), Short(262, 1), Long(273, strip),
                     Short(277, 1), At(282, kRational, 1, x), At(283, kRational, 1, y)});
        const auto run = RunReader(decode::ReadTiff, b.bytes());
        EXPECT_EQ(run->rc, 0);
        return run->img.pixelAspect;
    };
    for (bool big : {false, true}) {
        SCOPED_TRACE(big ? "MM" : "II");
        EXPECT_FLOAT_EQ(aspect(big, 300, 1, 150, 1, 0), 2.0f);
        EXPECT_FLOAT_EQ(aspect(big, 144, 2, 144, 1, 0), 0.5f);
        EXPECT_FLOAT_EQ(aspect(big, 600, 1, 100, 1, 0), 1.0f);        // above 5
        EXPECT_FLOAT_EQ(aspect(big, 72, 1, 0, 1, 0), 1.0f);           // YResolution 0
        EXPECT_FLOAT_EQ(aspect(big, 0, 1, 72, 1, 0), 1.0f);           // XResolution 0
        EXPECT_FLOAT_EQ(aspect(big, 90, 0, 45, 1, 0), 1.0f / 45.0f);  // denominator 0: 1.0 kept
        // Values past the first 64 KiB of the file, where writers that put the directory after
        // the image data keep them.
        EXPECT_FLOAT_EQ(aspect(big, 200, 1, 100, 1, 70000), 2.0f);
    }
}

TEST(TiffPages, PageTableWalksTheChainAndSurvivesBadLinks) {
    const auto twoPages = [](bool big) {
        TiffBuilder b(big);
        AddPicture(b, {2, 1, 8, 1, 1, 1, {1, 2}, {}});
        AddPicture(b,
                   {3, 2, 8, 3, 2, 1, {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2, 3, 4, 5, 6, 7, 8}, {}});
        return b;
    };
    for (bool big : {false, true}) {
        SCOPED_TRACE(big ? "MM" : "II");
        TiffBuilder b = twoPages(big);
        auto run = RunReader(decode::ReadTiff, b.bytes());
        ASSERT_EQ(run->rc, 0);
        const auto pages = run->img.tiffPageOffsets;
        ASSERT_EQ(pages.size(), 2u);
        EXPECT_EQ(run->width(), 2);

        // The later page is read from its own directory: size, depth and data.
        decode::LoadOptions second;
        second.startOffset = pages[1];
        run = RunReader(decode::ReadTiff, b.bytes(), second);
        ASSERT_EQ(run->rc, 0);
        EXPECT_EQ(run->width(), 3);
        EXPECT_EQ(run->height(), 2);
        EXPECT_EQ(run->img.header.biBitCount, 24);
        EXPECT_EQ(run->rgb(0, 0), (std::array<uint8_t, 3>{9, 8, 7}));
        EXPECT_EQ(run->rgb(2, 1), (std::array<uint8_t, 3>{6, 7, 8}));
        EXPECT_TRUE(run->img.tiffPageOffsets.empty());  // only a first load records pages

        // A page offset outside the file.
        second.startOffset = 0x7FFFFFF0;
        EXPECT_EQ(RunReader(decode::ReadTiff, b.bytes(), second)->rc, decode::kBadHeader);

        // Second directory offset beyond the end: one page.
        b.Patch32(pages[0] + 2 + 12 * 9, b.size() + 100);
        run = RunReader(decode::ReadTiff, b.bytes());
        ASSERT_EQ(run->rc, 0);
        EXPECT_EQ(run->img.tiffPageOffsets, std::vector<int32_t>{pages[0]});

        // A directory that links to itself, and two that link to each other.
        TiffBuilder loop = twoPages(big);
        loop.Patch32(pages[0] + 2 + 12 * 9, pages[0]);
        EXPECT_EQ(RunReader(decode::ReadTiff, loop.bytes())->img.tiffPageOffsets.size(), 1u);
        TiffBuilder pair = twoPages(big);
        pair.Patch32(pair.lastLink(), pages[0]);
        run = RunReader(decode::ReadTiff, pair.bytes());
        EXPECT_EQ(run->rc, 0);
        EXPECT_EQ(run->img.tiffPageOffsets, pages);
    }
}

TEST(TiffBase, StreamsInsideABiggerFileCountFromTheirHeader) {
    TiffBuilder b;
    AddPicture(b, {2, 1, 8, 1, 1, 1, {40, 50}, {}});
    AddPicture(b, {1, 1, 8, 1, 1, 1, {60}, {}});
    const Bytes tiff = b.bytes();
    Bytes file(301, 0xEE);
    file.insert(file.end(), tiff.begin(), tiff.end());
    file.insert(file.end(), 50, 0xEE);

    decode::DecodedImage img;
    decode::ByteReader in(file);
    ASSERT_EQ(decode::ReadTiffAt(img, in, {}, 301), 0);
    EXPECT_EQ(img.header.biWidth, 2);
    EXPECT_EQ(img.row(0)[1], 50);
    ASSERT_EQ(img.tiffPageOffsets.size(), 2u);
    EXPECT_EQ(img.tiffPageOffsets[0], 301 + 8 + 2);  // file offsets: the base is added
    decode::ReleasePixels(img);

    // A later page of the embedded stream by its file offset.
    decode::LoadOptions second;
    second.startOffset = img.tiffPageOffsets[1];
    decode::DecodedImage page;
    decode::ByteReader again(file);
    ASSERT_EQ(decode::ReadTiffAt(page, again, second, 301), 0);
    EXPECT_EQ(page.header.biWidth, 1);
    EXPECT_EQ(page.row(0)[0], 60);
    decode::ReleasePixels(page);

    decode::DecodedImage beyond;
    decode::ByteReader past(file);
    EXPECT_EQ(decode::ReadTiffAt(beyond, past, {}, static_cast<int32_t>(file.size())),
              decode::kBadHeader);
}

}  // namespace
}  // namespace tiff_test

namespace tiff_test {
namespace {

TEST(TiffSamples, WideSamplesKeepTheirTopBitsAndNarrowColourIsScaled) {
    // 12-bit grey, packed high bit first: 0xABC and 0x123. The header becomes 24 bits.
    Picture p;
    p.width = 2;
    p.height = 1;
    p.bitsPerSample = 12;
    p.strip = {0xAB, 0xC1, 0x23};
    for (uint32_t photometric : {1u, 0u}) {
        SCOPED_TRACE(photometric);
        p.photometric = photometric;
        const auto run = RunReader(decode::ReadTiff, MakeTiff(p, true));
        ASSERT_EQ(run->rc, 0);
        EXPECT_EQ(run->img.header.biBitCount, 24);
        const uint8_t a = photometric ? 0xAB : 0xFF - 0xAB, b = photometric ? 0x12 : 0xFF - 0x12;
        EXPECT_EQ(run->rgb(0, 0), Grey(a));
        EXPECT_EQ(run->rgb(1, 0), Grey(b));
    }

    // 32-bit RGB samples in either byte order: the most significant byte.
    for (bool big : {false, true}) {
        SCOPED_TRACE(big ? "MM" : "II");
        p = {};
        p.width = 1;
        p.bitsPerSample = 32;
        p.samples = 3;
        p.photometric = 2;
        for (uint32_t v : {0x11223344u, 0xA0000000u, 0x00FFFFFFu})
            for (int i = 0; i < 4; ++i)
                p.strip.push_back(static_cast<uint8_t>(big ? v >> (24 - 8 * i) : v >> (8 * i)));
        const auto run = RunReader(decode::ReadTiff, MakeTiff(p, big));
        ASSERT_EQ(run->rc, 0);
        EXPECT_EQ(run->rgb(0, 0), (std::array<uint8_t, 3>{0x11, 0xA0, 0x00}));
    }

    // 5-bit RGB: 31 is full intensity. Samples 31, 0, 16 packed into two bytes.
    p = {};
    p.width = 1;
    p.bitsPerSample = 5;
    p.samples = 3;
    p.photometric = 2;
    p.strip = {0xF8, 0x20};  // 11111 00000 10000 0
    const auto run = RunReader(decode::ReadTiff, MakeTiff(p));
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->img.header.biBitCount, 24);
    EXPECT_EQ(run->rgb(0, 0), (std::array<uint8_t, 3>{255, 0, 131}));
}

// Layouts that plain strip reading would get wrong go to the module; without the module they
// fail with the module's code instead of showing a wrong picture.
TEST(TiffRoutes, RareLayoutsGoToTheModule) {
    testsupport::TempDir dir;
    EnvOverride noModules("LUMORA_CODEC_PATH", dir.dir);
    Picture p;
    p.width = 2;
    p.height = 2;
    p.samples = 3;
    p.photometric = 2;
    p.strip = Bytes(12, 7);
    const std::vector<std::pair<const char*, Field>> rare = {
        {"separate planes", Short(284, 2)},
        {"floating point", Short(339, 3)},
        {"bit-reversed", Short(266, 2)},
        {"tiled", Long(322, 16)},
    };
    for (const auto& [what, field] : rare) {
        SCOPED_TRACE(what);
        Picture q = p;
        q.extra = {field};
        EXPECT_EQ(RunReader(decode::ReadTiff, MakeTiff(q))->rc, decode::kTiffCompression);
    }
    Picture lab = p;
    lab.photometric = 8;
    EXPECT_EQ(RunReader(decode::ReadTiff, MakeTiff(lab))->rc, decode::kTiffCompression);
    Picture lzw = p;
    lzw.compression = 5;
    EXPECT_EQ(RunReader(decode::ReadTiff, MakeTiff(lzw))->rc, decode::kTiffCompression);
    // The same file with plain strips stays in-house.
    EXPECT_EQ(RunReader(decode::ReadTiff, MakeTiff(p))->rc, 0);
}

// A picture far larger than the data behind it is built from what is there, the rest made of
// end-of-file values, without decoding every missing byte one by one.
TEST(TiffStrips, DataThatEndsEarlyFillsTheRestOfThePicture) {
    Picture p;
    p.width = 3000;
    p.height = 2000;
    p.compression = 32773;
    p.strip = {0x02, 1, 2, 3};
    const auto run = RunReader(decode::ReadTiff, MakeTiffStripLast(p));
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->index(0, 0), 1);
    EXPECT_EQ(run->index(2, 0), 3);
    EXPECT_EQ(run->index(3, 0), 255);
    EXPECT_EQ(run->index(2999, 1999), 255);
}

}  // namespace
}  // namespace tiff_test

namespace tiff_test {
namespace {

// A chain of empty directories, each linking to the next six bytes on: the walk stops at its
// limit instead of growing with the file.
TEST(TiffPages, LongChainsOfDirectoriesAreCut) {
    TiffBuilder b;
    AddPicture(b, {1, 1, 8, 1, 1, 1, {5}, {}});
    Bytes bytes = b.bytes();
    const uint32_t chain = static_cast<uint32_t>(bytes.size());
    b.Patch32(b.lastLink(), chain);
    bytes = b.bytes();
    const uint32_t count = 70000;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t next = i + 1 < count ? chain + 6 * (i + 1) : 0;
        bytes.insert(bytes.end(),
                     {0, 0, static_cast<uint8_t>(next), static_cast<uint8_t>(next >> 8),
                      static_cast<uint8_t>(next >> 16), static_cast<uint8_t>(next >> 24)});
    }
    const auto run = RunReader(decode::ReadTiff, bytes);
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->img.tiffPageOffsets.size(), 65536u);
    EXPECT_EQ(run->img.tiffPageOffsets[1], static_cast<int32_t>(chain));
    EXPECT_EQ(run->img.tiffPageOffsets[2], static_cast<int32_t>(chain + 6));
    EXPECT_EQ(run->index(0, 0), 5);
}

}  // namespace
}  // namespace tiff_test
