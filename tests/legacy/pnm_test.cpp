// The portable anymap reader: header parsing, sample scaling and short data on hand-made files;
// every variant netpbm writes compared with netpbm's and ImageMagick's reading; the public
// samples.
#include <gtest/gtest.h>

#include <string>

#include "decode/loader_error.h"
#include "decode/readers.h"
#include "support/bytes.h"
#include "support/oracle.h"
#include "support/picture.h"
#include "support/testdata.h"

namespace {

using namespace decode;
using namespace testsupport;
using testsupport::ComparePictures;
using testsupport::RunReader;

Bytes Text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

TEST(Pnm, HeaderFaults) {
    for (const char* bad : {"", "P", "P7\n1 1\n255\n", "Q6\n1 1\n255\n", "P0 1 1", "P6\n4\n",
                            "P2\n# only a comment\n", "P3\n x 2 255\n"}) {
        auto run = RunReader(ReadPnm, Text(bad));
        EXPECT_EQ(run->rc, kBadHeader) << '"' << bad << '"';
        EXPECT_EQ(run->img.pixels, nullptr);
    }
    // Binary data with no pixels cannot be read; sizes past the limit are refused before any
    // allocation.
    EXPECT_EQ(RunReader(ReadPnm, Text("P5 0 4 255\n"))->rc, kReadError);
    EXPECT_EQ(RunReader(ReadPnm, Text("P6 -3 4 255\n"))->rc, kReadError);
    EXPECT_EQ(RunReader(ReadPnm, Text("P4 4 -1\n"))->rc, kReadError);
    EXPECT_EQ(RunReader(ReadPnm, Text("P2 0 4 255\n"))->rc, kNoMemory);
    EXPECT_EQ(RunReader(ReadPnm, Text("P5 40000 1 255\n"))->rc, kNoMemory);
    EXPECT_EQ(RunReader(ReadPnm, Text("P6 30000 30000 255\n"))->rc, kNoMemory);
    EXPECT_EQ(RunReader(ReadPnm, Text("P5 99999999999999999999 1 255\n"))->rc, kNoMemory);
}

TEST(Pnm, CommentsAnywhereInTheHeader) {
    const Bytes plain = Text("P2\n3 2\n255\n0 100 255\n7 8 9\n");
    const auto want = RunReader(ReadPnm, plain);
    ASSERT_EQ(want->rc, 0);
    for (const char* text : {"P2\n# after the magic\n3 2\n255\n0 100 255\n7 8 9\n",
                             "P2 # on the magic line\n3 2\n255\n0 100 255\n7 8 9\n",
                             "P2\n3 # between width and height\n2\n255\n0 100 255\n7 8 9\n",
                             "P2\n3 2\n# before maxval\n# twice\n255\n0 100 255\n7 8 9\n",
                             "P2\t3\r\n2 255\n0\n100\n255 7 8 9"}) {
        const auto run = RunReader(ReadPnm, Text(text));
        ASSERT_EQ(run->rc, 0) << text;
        EXPECT_EQ(ComparePictures(run->picture(), want->picture()), "") << text;
    }
    const auto p = want->picture();
    EXPECT_EQ(p.pixel(1, 0)[0], 100);
    EXPECT_EQ(p.pixel(2, 1)[2], 9);
    EXPECT_EQ(want->img.header.biBitCount, 8);
}

TEST(Pnm, BitmapsPlainAndRaw) {
    // Plain bitmaps may pack their digits without spaces; 1 is black.
    const auto spaced =
        RunReader(ReadPnm, Text("P1\n10 2\n1 0 1 1 0 0 0 0 0 1\n0 1 0 0 0 0 0 0 1 0\n"));
    const auto packed = RunReader(ReadPnm, Text("P1 10 2 1011000001 0100000010"));
    const auto raw = RunReader(ReadPnm, Cat(Text("P4\n10 2\n"), {0xB0, 0x40, 0x40, 0x80}));
    for (const auto* run : {spaced.get(), packed.get(), raw.get()}) {
        ASSERT_EQ(run->rc, 0);
        EXPECT_EQ(run->img.header.biBitCount, 1);
        EXPECT_EQ(run->index(0, 0), 1);
        EXPECT_EQ(run->index(1, 0), 0);
        EXPECT_EQ(run->index(9, 0), 1);
        EXPECT_EQ(run->index(1, 1), 1);
        EXPECT_EQ(run->index(8, 1), 1);
        EXPECT_EQ(run->index(9, 1), 0);
        EXPECT_EQ(run->rgb(0, 0), (std::array<uint8_t, 3>{0, 0, 0}));
        EXPECT_EQ(run->rgb(1, 0), (std::array<uint8_t, 3>{255, 255, 255}));
    }
    // Where no digit can be read the previous pixel's value stands, to the end of the picture.
    const auto garbage = RunReader(ReadPnm, Text("P1 12 3 0 0 1 x 0"));
    ASSERT_EQ(garbage->rc, 0);
    EXPECT_EQ(garbage->index(1, 0), 0);
    for (int y = 0; y < 3; ++y)
        for (int x = y == 0 ? 2 : 0; x < 12; ++x)
            ASSERT_EQ(garbage->index(x, y), 1) << x << "," << y;
    const auto ended = RunReader(ReadPnm, Text("P1 9 2 1 1 0"));
    ASSERT_EQ(ended->rc, 0);
    EXPECT_EQ(ended->index(8, 1), 0);
    EXPECT_EQ(ended->index(0, 0), 1);
}

TEST(Pnm, SamplesAndTheSeparatorAfterTheHeader) {
    // One white-space character, whatever it is, ends the header: after a carriage return the
    // line feed is the first data byte.
    const auto crlf = RunReader(ReadPnm, Cat(Text("P5 3 1 255\r\n"), {7, 8}));
    ASSERT_EQ(crlf->rc, 0);
    EXPECT_EQ(crlf->index(0, 0), '\n');
    EXPECT_EQ(crlf->index(1, 0), 7);
    EXPECT_EQ(crlf->index(2, 0), 8);
    const auto space = RunReader(ReadPnm, Cat(Text("P6 1 1 255 "), {10, 20, 30}));
    ASSERT_EQ(space->rc, 0);
    EXPECT_EQ(space->rgb(0, 0), (std::array<uint8_t, 3>{10, 20, 30}));
    EXPECT_EQ(space->img.row(0)[0], 30);  // stored blue, green, red

    // maxval 255: values as they are, plain values above it keep their low byte.
    const auto low = RunReader(ReadPnm, Text("P2 3 1 255 256 511 255"));
    ASSERT_EQ(low->rc, 0);
    EXPECT_EQ(low->index(0, 0), 0);
    EXPECT_EQ(low->index(1, 0), 255);
    // Other maxvals are scaled to 0..255 (rounded); values above maxval count as maxval.
    const auto fifteen = RunReader(ReadPnm, Cat(Text("P5 4 1 15\n"), {0, 8, 15, 200}));
    ASSERT_EQ(fifteen->rc, 0);
    EXPECT_EQ(fifteen->index(0, 0), 0);
    EXPECT_EQ(fifteen->index(1, 0), 136);
    EXPECT_EQ(fifteen->index(2, 0), 255);
    EXPECT_EQ(fifteen->index(3, 0), 255);
    const auto wide = RunReader(
        ReadPnm, Cat(Text("P6 2 1 65535\n"),
                     {0xFF, 0xFF, 0x80, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x7F, 0x12, 0x34}));
    ASSERT_EQ(wide->rc, 0);
    EXPECT_EQ(wide->rgb(0, 0), (std::array<uint8_t, 3>{255, 128, 0}));
    EXPECT_EQ(wide->rgb(1, 0), (std::array<uint8_t, 3>{1, 0, 18}));
    const auto plain16 = RunReader(ReadPnm, Text("P3 1 1 1000 1000 500 0"));
    ASSERT_EQ(plain16->rc, 0);
    EXPECT_EQ(plain16->rgb(0, 0), (std::array<uint8_t, 3>{255, 128, 0}));
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
                ASSERT_EQ(run->rgb(x, y),
                          (std::array<uint8_t, 3>{file[i], file[i + 1], file[i + 2]}))
                    << width << " wide, pixel " << x << "," << y;
            }
    }
}

TEST(Pnm, ShortData) {
    // Binary data that ends early leaves the rest of a row as the row before it had it.
    const auto raw = RunReader(ReadPnm, Cat(Text("P5 3 3 255\n"), {1, 2, 3, 4}));
    ASSERT_EQ(raw->rc, 0);
    EXPECT_EQ(raw->index(0, 1), 4);
    EXPECT_EQ(raw->index(1, 1), 2);
    EXPECT_EQ(raw->index(2, 2), 3);
    const auto rgb = RunReader(ReadPnm, Cat(Text("P6 2 2 255\n"), {1, 2, 3, 4, 5, 6, 7, 8}));
    ASSERT_EQ(rgb->rc, 0);
    EXPECT_EQ(rgb->rgb(1, 1), (std::array<uint8_t, 3>{4, 5, 6}));
    EXPECT_EQ(RunReader(ReadPnm, Cat(Text("P5 3 3 255\n"), {}))->rc, 0);

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
    const auto first = RunReader(ReadPnm, Cat(Text("P5 3 2 255\n"), {9}));
    EXPECT_EQ(first->index(0, 0), 9);
    EXPECT_EQ(first->index(1, 0), 0);
    EXPECT_EQ(first->index(2, 1), 0);

    // Plain grey and colour values that run out fail.
    EXPECT_EQ(RunReader(ReadPnm, Text("P2 2 2 255 1 2 3"))->rc, kReadError);
    EXPECT_EQ(RunReader(ReadPnm, Text("P3 1 1 255 1 2"))->rc, kReadError);
}

// ---------------------------------------------------------------------------------------------
// Oracles.

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
