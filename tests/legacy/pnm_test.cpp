// The portable anymap reader: header parsing, sample scaling and short data on hand-made files;
// the public samples compared with netpbm's reading.
#include <gtest/gtest.h>

#include <string>

#include "legacy/reader_cases.h"
#include "support/oracle.h"
#include "support/picture.h"
#include "support/testdata.h"

namespace legacy_test {
namespace {

using namespace decode;
using testsupport::Cat;
using testsupport::RunReader;

Bytes Text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

TEST(Pnm, HandMadeFiles) {
    // Plain bitmaps may pack their digits without spaces; 1 is black.
    const std::vector<RowBytes> bits = {{0, {0xB0, 0x40}}, {1, {0x40, 0x80}}};
    const std::vector<Pixel> mono = {{0, 0, kBlack}, {1, 0, kWhite}};
    const Case cases[] = {
        Row("plain bitmap", ReadPnm, Text("P1\n10 2\n1 0 1 1 0 0 0 0 0 1\n0 1 0 0 0 0 0 0 1 0\n"),
            1, bits, mono),
        Row("packed plain bitmap", ReadPnm, Text("P1 10 2 1011000001 0100000010"), 1, bits, mono),
        Row("raw bitmap", ReadPnm, Cat(Text("P4\n10 2\n"), {0xB0, 0x40, 0x40, 0x80}), 1, bits,
            mono),
        // Where no digit can be read the previous pixel's value stands, to the end of the picture.
        Row("bitmap garbage", ReadPnm, Text("P1 12 3 0 0 1 x 0"), 1, {{0, {0x3F}}, {2, {0xFF}}},
            {{11, 2, kBlack}}),
        Row("bitmap ending", ReadPnm, Text("P1 9 2 1 1 0"), 1,
            {{0, {0xC0, 0x00}}, {1, {0x00, 0x00}}}),
        // One white-space character, whatever it is, ends the header: after a carriage return
        // the line feed is the first data byte.
        Row("crlf", ReadPnm, Cat(Text("P5 3 1 255\r\n"), {7, 8}), 8, {{0, {'\n', 7, 8}}}),
        Row("space", ReadPnm, Cat(Text("P6 1 1 255 "), {10, 20, 30}), 24, {{0, {30, 20, 10}}},
            {{0, 0, {10, 20, 30}}}),
        // maxval 255: values as they are, plain values above it keep their low byte. Other
        // maxvals are scaled to 0..255 (rounded); values above maxval count as maxval.
        Row("plain above 255", ReadPnm, Text("P2 3 1 255 256 511 255"), 8, {{0, {0, 255}}}),
        Row("maxval 15", ReadPnm, Cat(Text("P5 4 1 15\n"), {0, 8, 15, 200}), 8,
            {{0, {0, 136, 255, 255}}}),
        Row("maxval 65535", ReadPnm,
            Cat(Text("P6 2 1 65535\n"),
                {0xFF, 0xFF, 0x80, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x7F, 0x12, 0x34}),
            24, {}, {{0, 0, {255, 128, 0}}, {1, 0, {1, 0, 18}}}),
        Row("plain maxval 1000", ReadPnm, Text("P3 1 1 1000 1000 500 0"), 24, {},
            {{0, 0, {255, 128, 0}}}),
        // Binary data that ends early leaves the rest of a row as the row before it had it, and
        // a first row the data ends in blank past the data.
        Row("short grey", ReadPnm, Cat(Text("P5 3 3 255\n"), {1, 2, 3, 4}), 8,
            {{1, {4, 2, 3}}, {2, {4, 2, 3}}}),
        Row("short colour", ReadPnm, Cat(Text("P6 2 2 255\n"), {1, 2, 3, 4, 5, 6, 7, 8}), 24, {},
            {{1, 1, {4, 5, 6}}}),
        Row("short first row", ReadPnm, Cat(Text("P5 3 2 255\n"), {9}), 8,
            {{0, {9, 0, 0}}, {1, {9, 0, 0}}}),
        Row("no data", ReadPnm, Text("P5 3 3 255\n"), 8),
        // Plain grey and colour values that run out fail.
        Row("plain grey runs out", ReadPnm, Text("P2 2 2 255 1 2 3"), kReadError),
        Row("plain colour runs out", ReadPnm, Text("P3 1 1 255 1 2"), kReadError),
        // Binary data with no pixels cannot be read; sizes past the limit are refused before any
        // allocation.
        Row("no width", ReadPnm, Text("P5 0 4 255\n"), kReadError),
        Row("negative width", ReadPnm, Text("P6 -3 4 255\n"), kReadError),
        Row("negative height", ReadPnm, Text("P4 4 -1\n"), kReadError),
        Row("plain, no width", ReadPnm, Text("P2 0 4 255\n"), kNoMemory),
        Row("too wide", ReadPnm, Text("P5 40000 1 255\n"), kNoMemory),
        Row("too large", ReadPnm, Text("P6 30000 30000 255\n"), kNoMemory),
        Row("overflowing width", ReadPnm, Text("P5 99999999999999999999 1 255\n"), kNoMemory),
    };
    for (const Case& c : cases)
        Check(c);
    for (const char* bad : {"", "P", "P7\n1 1\n255\n", "Q6\n1 1\n255\n", "P0 1 1", "P6\n4\n",
                            "P2\n# only a comment\n", "P3\n x 2 255\n"}) {
        auto run = RunReader(ReadPnm, Text(bad));
        EXPECT_EQ(run->rc, kBadHeader) << '"' << bad << '"';
        EXPECT_EQ(run->img.pixels, nullptr);
    }
}

TEST(Pnm, CommentsAnywhereInTheHeader) {
    const auto want = RunReader(ReadPnm, Text("P2\n3 2\n255\n0 100 255\n7 8 9\n"));
    ASSERT_EQ(want->rc, 0);
    EXPECT_EQ(want->index(2, 1), 9);
    for (const char* text : {"P2\n# after the magic\n3 2\n255\n0 100 255\n7 8 9\n",
                             "P2 # on the magic line\n3 2\n255\n0 100 255\n7 8 9\n",
                             "P2\n3 # between width and height\n2\n255\n0 100 255\n7 8 9\n",
                             "P2\n3 2\n# before maxval\n# twice\n255\n0 100 255\n7 8 9\n",
                             "P2\t3\r\n2 255\n0\n100\n255 7 8 9"}) {
        const auto run = RunReader(ReadPnm, Text(text));
        ASSERT_EQ(run->rc, 0) << text;
        EXPECT_EQ(testsupport::ComparePictures(run->picture(), want->picture()), "") << text;
    }
}

TEST(Pnm, EveryPixmapWidthSwapsEveryPixel) {
    // Rows are converted in blocks of several pixels with a tail; rows whose stride has no
    // padding (widths divisible by 4) show a block writing past its row.
    for (int width : {1, 2, 3, 4, 5, 6, 7, 8, 9, 15, 16, 17, 20, 21, 32, 33}) {
        const int height = 3;
        std::string head = "P6 " + std::to_string(width) + " " + std::to_string(height) + " 255\n";
        Bytes file = Text(head);
        for (int i = 0; i < width * height * 3; ++i)
            file.push_back(static_cast<uint8_t>(i * 37 + width));
        const auto run = RunReader(ReadPnm, file);
        ASSERT_EQ(run->rc, 0);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const size_t i = head.size() + (static_cast<size_t>(y) * width + x) * 3;
                ASSERT_EQ(run->rgb(x, y), (Rgb{file[i], file[i + 1], file[i + 2]}))
                    << width << " wide, pixel " << x << "," << y;
            }
    }
}

TEST(Pnm, BinaryRowsWriteEveryByteOfTheBlock) {
    // The block is not cleared before binary rows are read, so every byte must come from the
    // rows: row padding is zero, and a first row the data ends in is blank past the data.
    for (const Bytes& file :
         {Cat(Text("P5 3 3 255\n"), {1, 2, 3, 4, 5, 6, 7, 8, 9}), Cat(Text("P5 3 3 255\n"), {1}),
          Cat(Text("P6 1 2 255\n"), {1, 2, 3, 4}), Cat(Text("P4 9 2\n"), {0xFF, 0x80, 0x7F})}) {
        const auto run = RunReader(ReadPnm, file);
        ASSERT_EQ(run->rc, 0);
        const int bits = run->img.header.biBitCount;
        const size_t used = (static_cast<size_t>(run->width()) * bits + 7) / 8;
        for (int y = 0; y < run->height(); ++y)
            for (size_t i = used; i < static_cast<size_t>(run->img.rowStride); ++i)
                EXPECT_EQ(run->img.row(y)[i], 0) << "row " << y << " byte " << i;
    }
}

// Every public sample loads or fails with a loader code; what netpbm reads, we read alike.
TEST(Pnm, PublicSamples) {
    int loaded = 0, compared = 0;
    for (const char* folder : {"pbm", "pgm", "pnm", "ppm"}) {
        for (const auto& path : SampleFiles(folder, std::string(".") + folder)) {
            SCOPED_TRACE(path.string());
            const auto load = testsupport::LoadFile(path.string());
            EXPECT_TRUE(IsLoaderCode(load.rc)) << load.rc;
            if (load.rc != 0) continue;
            ++loaded;
            if (!oracle::ToolAvailable("pamtopnm")) continue;
            const auto netpbm =
                oracle::FirstPicture("pamtopnm < " + oracle::ShellQuote(path.string()));
            if (netpbm.width == 0) continue;  // netpbm refuses it too
            EXPECT_EQ(ComparePictures(load.picture, netpbm, 1), "");
            ++compared;
        }
    }
    if (loaded == 0) GTEST_SKIP() << "no public test pictures at " << TestData();
    EXPECT_GT(compared, 0);
}

}  // namespace
}  // namespace legacy_test
