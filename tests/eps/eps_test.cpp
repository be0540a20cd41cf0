// EPS and PostScript files: every scan rule and data form on hand-made files, the error codes,
// the DOS EPS previews, files written by netpbm and ImageMagick, and the public samples, with
// Ghostscript rendering the same files as the oracle where it can (at the resolution that maps
// one image sample onto one device pixel).
#include <gtest/gtest.h>

#include <algorithm>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "control/control_fixture.h"
#include "decode/loader_error.h"
#include "decode/readers.h"
#include "platform/ole/picture.h"
#include "support/oracle.h"
#include "support/picture.h"
#include "support/testdata.h"

namespace {

namespace fs = std::filesystem;
using decode::LoadOptions;
using testsupport::Bytes;
using testsupport::ReaderRun;

Bytes Text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

std::string Hex(const std::vector<int>& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (int b : bytes) {
        out.push_back(digits[(b >> 4) & 15]);
        out.push_back(digits[b & 15]);
    }
    return out;
}

std::unique_ptr<ReaderRun> Eps(const Bytes& bytes, bool preview = false) {
    LoadOptions options;
    options.epsPreview = preview;
    return testsupport::RunReader(decode::ReadEps, bytes, options);
}
std::unique_ptr<ReaderRun> Eps(const std::string& text, bool preview = false) {
    return Eps(Text(text), preview);
}

// Indices of a row of an indexed picture (y = 0 top).
std::vector<int> Indices(const ReaderRun& r, int y) {
    std::vector<int> out;
    for (int x = 0; x < r.width(); ++x)
        out.push_back(r.index(x, y));
    return out;
}
std::vector<int> Rgb(const ReaderRun& r, int x, int y) {
    const auto c = r.rgb(x, y);
    return {c[0], c[1], c[2]};
}

// A file Ghostscript can render: the picture's own size as bounding box and scale, so at 72
// dpi one sample is one pixel. The image line is the one the scan rules read.
std::string GsImageFile(int w, int h, int bits, const std::string& hexRows) {
    std::ostringstream s;
    const int rowBytes = bits == 1 ? (w + 7) / 8 : w;
    s << "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 " << w << " " << h << "\n"
      << "/picstr " << rowBytes << " string def\n"
      << w << " " << h << " scale\n"
      << w << " " << h << " " << bits << " [" << w << " 0 0 -" << h << " 0 " << h
      << "] {currentfile picstr readhexstring pop} image\n"
      << hexRows << "\nshowpage\n";
    return s.str();
}

std::vector<oracle::RgbImage> Ghostscript(const std::string& path, double dpi) {
    char resolution[32];
    std::snprintf(resolution, sizeof resolution, "%g", dpi);
    return oracle::RunPnmCommand("gs -q -dSAFER -dBATCH -dNOPAUSE -dEPSCrop -r" +
                                 std::string(resolution) + " -sDEVICE=ppmraw -sOutputFile=- " +
                                 oracle::ShellQuote(path));
}

// ---- Scan rules ------------------------------------------------------------------------------

TEST(EpsScan, ImageLinesAfterAScaleMatchGhostscript) {
    // 8-bit grey, an odd width (stored rows padded), and 1-bit with a partial last byte: a row
    // holds (width + 7) / 8 bytes of data.
    std::vector<int> grey;
    for (int i = 0; i < 5 * 3; ++i)
        grey.push_back((i * 37) & 0xFF);
    const std::string greyFile = GsImageFile(5, 3, 8, Hex(grey));
    const std::string monoFile = GsImageFile(10, 3, 1, Hex({0xA5, 0x40, 0x0F, 0xC0, 0xFF, 0x00}));

    auto g = Eps(greyFile);
    ASSERT_EQ(g->rc, 0);
    EXPECT_EQ(g->width(), 5);
    EXPECT_EQ(g->height(), 3);
    EXPECT_EQ(g->img.header.biBitCount, 8);
    EXPECT_EQ(Indices(*g, 0), std::vector<int>({0, 37, 74, 111, 148}));
    EXPECT_EQ(Indices(*g, 2), std::vector<int>({114, 151, 188, 225, 6}));
    EXPECT_EQ(Rgb(*g, 1, 0), std::vector<int>({37, 37, 37}));  // grey ramp

    auto m = Eps(monoFile);
    ASSERT_EQ(m->rc, 0);
    EXPECT_EQ(m->img.header.biBitCount, 1);
    EXPECT_EQ(Indices(*m, 0), std::vector<int>({1, 0, 1, 0, 0, 1, 0, 1, 0, 1}));
    EXPECT_EQ(Indices(*m, 1), std::vector<int>({0, 0, 0, 0, 1, 1, 1, 1, 1, 1}));
    EXPECT_EQ(Rgb(*m, 0, 0), std::vector<int>({255, 255, 255}));  // 1 is white
    EXPECT_EQ(Rgb(*m, 1, 0), std::vector<int>({0, 0, 0}));

    if (!oracle::ToolAvailable("gs")) GTEST_SKIP() << "Ghostscript absent";
    testsupport::TempDir dir;
    for (const auto& [name, text] : {std::pair{"grey.eps", greyFile}, {"mono.eps", monoFile}}) {
        SCOPED_TRACE(name);
        const std::string path = dir.path(name);
        testsupport::WriteBytes(path, Text(text));
        const auto want = Ghostscript(path, 72);
        ASSERT_EQ(want.size(), 1u);
        const testsupport::FileLoad got = testsupport::LoadFile(path);
        ASSERT_EQ(got.rc, 0);
        EXPECT_EQ(got.format, "eps");
        EXPECT_EQ(testsupport::ComparePictures(got.picture, want[0]), "");
    }
}

TEST(EpsScan, PixelSizeKeywordsAndTheirErrors) {
    // Keywords match in any case; "%i" reads hexadecimal and octal; psppic starts 8-bit data.
    auto r = Eps("%!PS\n/PixWidth 0x3 def\n/pixheight 02 def\npsppic\n010203\n040506\n");
    ASSERT_EQ(r->rc, 0);
    EXPECT_EQ(r->width(), 3);
    EXPECT_EQ(r->height(), 2);
    EXPECT_EQ(Indices(*r, 1), std::vector<int>({4, 5, 6}));
    // psppic needs the size first, and must be the first token.
    EXPECT_EQ(Eps("%!PS\npsppic\n/pixwidth 3\n/pixheight 2\n")->rc, decode::kNoBitmap);
    EXPECT_EQ(Eps("%!PS\n/pixwidth 1\n/pixheight 1\nx psppic\n00\n")->rc, decode::kNoBitmap);

    EXPECT_EQ(Eps("%!PS\n/pixwidth ? def\n/pixheight 2\npsppic\n00\n")->rc, decode::kNoBitmap);
    EXPECT_EQ(Eps("%!PS\n/pixwidth 4\n/pixheight 1?\npsppic\n00\n")->rc, decode::kNoBitmap);
    // The keyword's trailing space matches at the end of the line, where the token is missing.
    EXPECT_EQ(Eps("%!PS\n/pixwidth\n3 /pixheight 2\npsppic\n000000000000\n")->rc,
              decode::kNoBitmap);
    EXPECT_EQ(Eps("%!PS\n/pixwidth abc\n")->rc, decode::kNoBitmap);
}

TEST(EpsScan, ImageOperatorLinesAndDimensionsComment) {
    // "% dimensions of data" gives the size; an "image" line starts the data, unless it also
    // holds "grestore" or "image" is not its first token.
    const std::string file =
        "%!PS-Adobe-2.0\n2 2 8 % dimensions of data\nx image\nimage grestore\n"
        "image\n0a0b\n0c0d\n";
    auto r = Eps(file);
    ASSERT_EQ(r->rc, 0);
    EXPECT_EQ(Indices(*r, 0), std::vector<int>({10, 11}));
    EXPECT_EQ(Indices(*r, 1), std::vector<int>({12, 13}));
    EXPECT_EQ(Eps("%!PS\n2 ? 8 % dimensions of data\nimage\n0a0b0c0d\n")->rc, decode::kNoBitmap);
    // The image line before any size is passed over; the data then never starts.
    EXPECT_EQ(Eps("%!PS\nimage\n2 2 8 % dimensions of data\n0a0b0c0d\n")->rc, decode::kNoBitmap);
    // "readhexstring pop} image" with a bad token.
    EXPECT_EQ(Eps("%!PS\n4 x 8 {currentfile s readhexstring pop} image\n00\n")->rc,
              decode::kNoBitmap);
    // Hex data: CR, LF, spaces and "%" are skipped, in either case of digit.
    auto h = Eps("%!PS\n3 1 8 {currentfile s readhexstring pop} image\r\n% A\r\n b %\nC0 D\n0\n");
    ASSERT_EQ(h->rc, 0);
    EXPECT_EQ(Indices(*h, 0), std::vector<int>({0xAB, 0xC0, 0xD0}));
}

TEST(EpsScan, ScaleLineFollowedBySizeOrIllustratorRaster) {
    // Width, height, bits on the line after the scale (bad tokens passed over, as pnmtops
    // files have them), then the image operator.
    auto r = Eps("%!PS\n72 72 scale\n2 1 ? \nimage\n7f80\n");
    EXPECT_EQ(r->rc, decode::kNoBitmap);  // bits never known
    r = Eps("%!PS\n72 72 scale\n2 1 8\n[2 0 0 -1 0 1]\n{picstr readstring}\nimage\n7f80\n");
    ASSERT_EQ(r->rc, 0);
    EXPECT_EQ(Indices(*r, 0), std::vector<int>({0x7F, 0x80}));
    // Only while the size is unknown.
    r = Eps("%!PS\n/pixwidth 1\n/pixheight 1\n72 72 scale\n9 9 8\npsppic\n42\n");
    ASSERT_EQ(r->rc, 0);
    EXPECT_EQ(r->width(), 1);

    // " ai": tokens 3 and 4 are the size of a 24-bit picture of interleaved red, green, blue.
    r = Eps("%!PS\n1 1 scale\n0 0 2 1 ai\n102030405060\n");
    ASSERT_EQ(r->rc, 0);
    EXPECT_EQ(r->img.header.biBitCount, 24);
    EXPECT_EQ(Rgb(*r, 0, 0), std::vector<int>({0x10, 0x20, 0x30}));
    EXPECT_EQ(Rgb(*r, 1, 0), std::vector<int>({0x40, 0x50, 0x60}));
    EXPECT_EQ(r->img.row(0)[0], 0x30);  // stored blue, green, red
    EXPECT_EQ(Eps("%!PS\n1 1 scale\n0 0 ? 1 ai\n")->rc, decode::kNoBitmap);
}

TEST(EpsScan, RunLengthRows) {
    // 8 bits: 130 = three literal bytes; 1 = one byte twice; the run that overflows the row is
    // cut, and the next row starts with a fresh control byte.
    const std::string file = "%!PS\n/pixwidth 5\n/pixheight 2\nreadrlestring\npsppic\n" +
                             Hex({130, 1, 2, 3, 1, 9}) + "\n" + Hex({5, 7}) + "\n";
    auto r = Eps(file);
    ASSERT_EQ(r->rc, 0);
    EXPECT_EQ(Indices(*r, 0), std::vector<int>({1, 2, 3, 9, 9}));
    EXPECT_EQ(Indices(*r, 1), std::vector<int>({7, 7, 7, 7, 7}));

    // 1 bit, PackBits style: 1 = two literal bytes, 128 nothing, 254 = one byte twice.
    const std::string mono = "%!PS\n72 72 scale\n32 2 1\nimage readrlestring\n" +
                             Hex({1, 0xF0, 0x0F, 128, 254, 0xAA}) + Hex({252, 0x81}) + "\n";
    auto m = Eps(mono);
    ASSERT_EQ(m->rc, 0);
    EXPECT_EQ(m->index(0, 0), 1);
    EXPECT_EQ(m->index(4, 0), 0);
    EXPECT_EQ(m->index(12, 0), 1);
    EXPECT_EQ(m->index(16, 0), 1);
    EXPECT_EQ(m->index(17, 0), 0);
    EXPECT_EQ(m->index(31, 0), 0);
    EXPECT_EQ(m->index(0, 1), 1);
    EXPECT_EQ(m->index(6, 1), 0);
    EXPECT_EQ(m->index(31, 1), 1);

    // rlecmapimage starts run-length data with the palette the file gave.
    const std::string mapped =
        "%!PS\n3 1 8 % dimensions of data\n/cmap 6 string def\n"
        "currentfile cmap readhexstring\n" +
        Hex({255, 0, 0, 0, 0, 255}) + "\n% rest of the line\n" + "rlecmapimage\n" +
        Hex({1, 1, 0, 0}) + "\n";
    auto p = Eps(mapped);
    ASSERT_EQ(p->rc, 0);
    EXPECT_EQ(Indices(*p, 0), std::vector<int>({1, 1, 0}));
    EXPECT_EQ(Rgb(*p, 0, 0), std::vector<int>({0, 0, 255}));
    EXPECT_EQ(Rgb(*p, 2, 0), std::vector<int>({255, 0, 0}));
    // A palette size whose data never comes leaves the palette as it was (here: empty).
    auto q = Eps("%!PS\n/pixwidth 2\n/pixheight 1\n/cmap 6\npsppic\n0105\n");
    ASSERT_EQ(q->rc, 0);
    EXPECT_EQ(Rgb(*q, 1, 0), std::vector<int>({0, 0, 0}));
    EXPECT_EQ(Eps("%!PS\n/cmap x\n")->rc, decode::kNoBitmap);
}

TEST(EpsScan, IllustratorRasterWithCmyk) {
    // After %AI5_BeginRaster: an "Xg" line, an "Xh" line, then the line whose tokens 13 to 16
    // are width, height, bits, channels; lines holding "XI" are passed over, and the first line
    // after them is consumed too.
    const std::string cmyk =
        "%!PS-Adobe-3.0\n%AI5_BeginRaster\n() 1 Xg\n[1 0 0 1 0 0] Xh\n"
        "[ 1 0 0 1 0 0 ] 0 0 2 1 2 1 8 4 0 0 0 0\nXI\n%%BeginData\n" +
        Hex({0x10, 0x20, 0x30, 0x40, 200, 0, 100, 60}) + "\n";
    auto r = Eps(cmyk);
    ASSERT_EQ(r->rc, 0);
    EXPECT_EQ(r->width(), 2);
    EXPECT_EQ(r->img.header.biBitCount, 24);
    EXPECT_EQ(Rgb(*r, 0, 0),
              std::vector<int>({255 - 0x10 - 0x40, 255 - 0x20 - 0x40, 255 - 0x30 - 0x40}));
    EXPECT_EQ(Rgb(*r, 1, 0), std::vector<int>({0, 195, 95}));  // 200 + 60 passes 255: 0

    // Three channels: an 8-bit picture read as grey samples.
    auto g =
        Eps("%!PS\n%AI5_BeginRaster\n"
            "[ 1 0 0 1 0 0 ] 0 0 3 1 3 1 8 1 0 0 0 0\n%%BeginData\n102030\n");
    ASSERT_EQ(g->rc, 0);
    EXPECT_EQ(Indices(*g, 0), std::vector<int>({0x10, 0x20, 0x30}));
    EXPECT_EQ(Eps("%!PS\n%AI5_BeginRaster\n[ 1 0 0 1 ] 0 0 3 1\n")->rc, decode::kNoBitmap);
}

TEST(EpsScan, PhotoshopImageDataAndPlanes) {
    // RGB with one pad channel, binary, a block of one row: three planes, then the pad plane.
    std::string planar = "%!PS\n%ImageData: 2 1 8 3 1 2 1 \"beginimage\"\nbeginimage\n";
    for (int b : {1, 2, 3, 4, 5, 6, 7, 8})
        planar.push_back(static_cast<char>(b));
    auto r = Eps(planar);
    ASSERT_EQ(r->rc, 0);
    const uint8_t* row = r->img.row(0);
    EXPECT_EQ(std::vector<int>(row, row + 6), std::vector<int>({5, 3, 1, 6, 4, 2}));

    // Four channels: the first plane is skipped, the next three are blue, green, red.
    std::string four = "%!PS\n%ImageData: 2 1 8 4 0 2 1 \"beginimage\"\nbeginimage\n";
    for (int b : {9, 9, 1, 2, 3, 4, 5, 6})
        four.push_back(static_cast<char>(b));
    auto f = Eps(four);
    ASSERT_EQ(f->rc, 0);
    EXPECT_EQ(Rgb(*f, 0, 0), std::vector<int>({5, 3, 1}));
    EXPECT_EQ(Rgb(*f, 1, 0), std::vector<int>({6, 4, 2}));

    // Hex encoding (2): planes as hex, the fourth skipped. A 1-bit picture stays 1 bit.
    auto h =
        Eps("%!PS\n%ImageData: 2 1 8 3 0 2 2 \"beginimage\"\nbeginimage\n0102 0304 0506 0000\n");
    ASSERT_EQ(h->rc, 0);
    EXPECT_EQ(Rgb(*h, 1, 0), std::vector<int>({2, 4, 6}));
    auto one = Eps("%!PS\n%ImageData: 9 1 1 1 0 2 2 \"beginimage\"\nbeginimage\nff80\n");
    ASSERT_EQ(one->rc, 0);
    EXPECT_EQ(one->img.header.biBitCount, 1);
    EXPECT_EQ(one->index(8, 0), 1);
    // "/beginimage" (the procedure's definition) neither reads a size nor starts the data.
    EXPECT_EQ(Eps("%!PS\n/beginimage { } def\n")->rc, decode::kNoBitmap);
    EXPECT_EQ(Eps("%!PS\n%ImageData: 2 1 8 3 ?\n")->rc, decode::kNoBitmap);

    // 24-bit binary, not planar (the " ai" form with binary encoding set before it).
    std::string interleaved =
        "%!PS\n%ImageData: 0 0 8 3 0 1 1 \"beginimage\"\n1 1 scale\n0 0 1 1 ai\n";
    for (int b : {7, 8, 9})
        interleaved.push_back(static_cast<char>(b));
    auto i = Eps(interleaved);
    ASSERT_EQ(i->rc, 0);
    EXPECT_EQ(Rgb(*i, 0, 0), std::vector<int>({7, 8, 9}));
}

TEST(EpsScan, EpsiPreviewWithThePreviewOption) {
    // 80 x 60, 1 bit: 0 bits white, 1 bits black. Without the option the comment is not a
    // picture description and this file has none.
    std::ostringstream s;
    s << "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 80 60\n%%BeginPreview: 80 60 1 60\n";
    for (int y = 0; y < 60; ++y) {
        s << "% ";
        for (int b = 0; b < 10; ++b)
            s << (y == 0 && b == 0 ? "80" : y == 59 && b == 9 ? "01" : "00");
        s << "\n";
    }
    s << "%%EndPreview\n%%EndComments\nshowpage\n";
    auto r = Eps(s.str(), true);
    ASSERT_EQ(r->rc, 0);
    EXPECT_EQ(r->width(), 80);
    EXPECT_EQ(r->height(), 60);
    EXPECT_EQ(r->img.header.biBitCount, 1);
    EXPECT_EQ(Rgb(*r, 0, 0), std::vector<int>({0, 0, 0}));
    EXPECT_EQ(Rgb(*r, 1, 0), std::vector<int>({255, 255, 255}));
    EXPECT_EQ(Rgb(*r, 79, 59), std::vector<int>({0, 0, 0}));
    EXPECT_EQ(Rgb(*r, 78, 59), std::vector<int>({255, 255, 255}));
    EXPECT_EQ(Eps(s.str(), false)->rc, decode::kNoBitmap);
}

TEST(EpsScan, Errors) {
    EXPECT_EQ(Eps("")->rc, decode::kBadHeader);
    EXPECT_EQ(Eps("%!P")->rc, decode::kBadHeader);
    EXPECT_EQ(Eps("%PS-Adobe\n")->rc, decode::kBadHeader);
    EXPECT_EQ(Eps("%!PS")->rc, decode::kNoBitmap);
    EXPECT_EQ(Eps("%!PS\nnothing here\n")->rc, decode::kNoBitmap);
    // Depths without a row layout, and sizes that are missing or negative.
    for (const char* bits : {"2", "4", "16", "32", "9", "-8"}) {
        SCOPED_TRACE(bits);
        EXPECT_EQ(
            Eps(std::string("%!PS\n1 1 ") + bits + " {currentfile s readhexstring pop} image\n00\n")
                ->rc,
            decode::kNoBitmap);
    }
    EXPECT_EQ(Eps("%!PS\n0 1 8 {currentfile s readhexstring pop} image\n00\n")->rc,
              decode::kNoBitmap);
    EXPECT_EQ(Eps("%!PS\n2 -1 8 {currentfile s readhexstring pop} image\n00\n")->rc,
              decode::kNoBitmap);
    // 5 to 8 bits are read as 8.
    auto five = Eps("%!PS\n2 1 5 {currentfile s readhexstring pop} image\n1f03\n");
    ASSERT_EQ(five->rc, 0);
    EXPECT_EQ(five->img.header.biBitCount, 8);
    EXPECT_EQ(Indices(*five, 0), std::vector<int>({0x1F, 3}));
    // Too large to allocate: the memory code, before any data is read.
    EXPECT_EQ(Eps("%!PS\n40000 1 8 {currentfile s readhexstring pop} image\n")->rc,
              decode::kNoMemory);
    EXPECT_EQ(Eps("%!PS\n1 1 scale\n0 0 30000 30000 ai\n")->rc, decode::kNoMemory);
    // Sizes beyond any integer, in every rule that reads one.
    EXPECT_EQ(Eps("%!PS\n72 72 scale\n99999999999999999999 2 1\nimage\n00\n")->rc,
              decode::kNoMemory);
    EXPECT_EQ(Eps("%!PS\n1 -99999999999999999999 8 % dimensions of data\nimage\n00\n")->rc,
              decode::kNoBitmap);
    // A picture its data cannot fill: a read error, without the picture being allocated.
    auto big = Eps("%!PS\n20000 20000 8 {currentfile s readhexstring pop} image\n00\n");
    EXPECT_EQ(big->rc, decode::kReadError);
    EXPECT_EQ(big->img.pixelHandle, 0u);
    // Just enough data for the smallest encoding of every row still loads.
    auto runs = Eps("%!PS\n/pixwidth 256\n/pixheight 2\nreadrlestring\npsppic\n" +
                    std::string("7f017f02") + "7f037f04");
    ASSERT_EQ(runs->rc, 0);
    EXPECT_EQ(runs->index(255, 0), 2);
    EXPECT_EQ(runs->index(0, 1), 3);
    // The data ends early, in every data form; a character that is not hex ends it too.
    for (const char* data : {"0a0b0", "0a0b", "0a0bzz"}) {
        SCOPED_TRACE(data);
        EXPECT_EQ(
            Eps(std::string("%!PS\n3 1 8 {currentfile s readhexstring pop} image\n") + data)->rc,
            decode::kReadError);
    }
    EXPECT_EQ(Eps("%!PS\n/pixwidth 4\n/pixheight 1\nreadrlestring\npsppic\n8101\n")->rc,
              decode::kReadError);
    EXPECT_EQ(Eps("%!PS\n%ImageData: 2 1 8 3 1 2 1 \"beginimage\"\nbeginimage\n\x01\x02")->rc,
              decode::kReadError);
    EXPECT_EQ(Eps("%!PS\n1 1 scale\n0 0 2 1 ai\n1020304050")->rc, decode::kReadError);
}

// ---- DOS EPS previews -------------------------------------------------------------------------

void Put32(Bytes& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// A DOS EPS file: header, PostScript section, then the previews given.
Bytes DosEps(const std::string& postScript, const Bytes& metafile, const Bytes& tiff) {
    Bytes out(30, 0);
    out[0] = 0xC5;
    out[1] = 0xD0;
    out[2] = 0xD3;
    out[3] = 0xC6;
    Put32(out, 4, 30);
    Put32(out, 8, static_cast<uint32_t>(postScript.size()));
    for (char c : postScript)
        out.push_back(static_cast<uint8_t>(c));
    if (!metafile.empty()) {
        Put32(out, 12, static_cast<uint32_t>(out.size()));
        Put32(out, 16, static_cast<uint32_t>(metafile.size()));
        out.insert(out.end(), metafile.begin(), metafile.end());
    }
    if (!tiff.empty()) {
        Put32(out, 20, static_cast<uint32_t>(out.size()));
        Put32(out, 24, static_cast<uint32_t>(tiff.size()));
        out.insert(out.end(), tiff.begin(), tiff.end());
    }
    out[28] = out[29] = 0xFF;  // no checksum
    return out;
}

// A placeable metafile of 1440 x 720 units at 1440 units per inch holding one rectangle.
Bytes PlaceableMetafile() {
    Bytes out;
    auto put16 = [&](uint32_t v) {
        out.push_back(static_cast<uint8_t>(v));
        out.push_back(static_cast<uint8_t>(v >> 8));
    };
    auto put32 = [&](uint32_t v) {
        put16(v & 0xFFFF);
        put16(v >> 16);
    };
    put32(0x9AC6CDD7);
    put16(0);
    for (uint32_t v : {0u, 0u, 1440u, 720u, 1440u})
        put16(v);
    put32(0);
    uint16_t sum = 0;
    for (size_t i = 0; i < 20; i += 2)
        sum ^= static_cast<uint16_t>(out[i] | out[i + 1] << 8);
    put16(sum);
    // Header: type 1, 9 words, version 0x300, size in words, no objects, largest record 7.
    for (uint32_t v : {1u, 9u, 0x300u})
        put16(v);
    put32(9 + 5 + 5 + 7 + 3);
    put16(0);
    put32(7);
    put16(0);
    for (uint32_t v : {5u, 0u, 0x20Bu, 0u, 0u})  // SetWindowOrg 0, 0
        put16(v);
    for (uint32_t v : {5u, 0u, 0x20Cu, 720u, 1440u})  // SetWindowExt 720 high, 1440 wide
        put16(v);
    for (uint32_t v : {7u, 0u, 0x41Bu, 700u, 1400u, 20u, 40u})  // Rectangle
        put16(v);
    for (uint32_t v : {3u, 0u, 0u})
        put16(v);
    return out;
}

TEST(EpsDos, MetafilePreviewIsHandedBack) {
    const std::string ps = GsImageFile(2, 1, 8, "4080");
    const Bytes metafile = PlaceableMetafile();
    const Bytes file = DosEps(ps, metafile, {});
    // Without the option the PostScript section is read.
    auto r = Eps(file, false);
    ASSERT_EQ(r->rc, 0);
    EXPECT_EQ(Indices(*r, 0), std::vector<int>({0x40, 0x80}));
    // With it, the metafile's position and length are left for the control.
    auto p = Eps(file, true);
    EXPECT_EQ(p->rc, decode::kMetafileSignal);
    EXPECT_EQ(p->img.epsMetafile.offset, static_cast<int32_t>(30 + ps.size()));
    EXPECT_EQ(p->img.epsMetafile.length, static_cast<int32_t>(metafile.size()));
    // A PostScript offset past the end, and a header without "%!PS" behind it.
    Bytes far = file;
    Put32(far, 4, 0x7FFFFFF0);
    EXPECT_EQ(Eps(far, false)->rc, decode::kBadHeader);
    Bytes cut(file.begin(), file.begin() + 29);
    EXPECT_EQ(Eps(cut, false)->rc, decode::kBadHeader);

    // Through the control: the placeable metafile is shown at its own size.
    testsupport::TempDir dir;
    const std::string path = dir.path("preview.eps");
    testsupport::WriteBytes(path, file);
    control_test::SitedControl s;
    control_test::Set(s.ctrl, "EPSPreview", platform::Variant::Bool(true));
    control_test::Set(s.ctrl, "FileName", platform::Variant::Bstr(path));
    EXPECT_EQ(control_test::Get(s.ctrl, "bmpw").AsI2(), 96);
    EXPECT_EQ(control_test::Get(s.ctrl, "bmph").AsI2(), 48);
    EXPECT_EQ(control_test::Get(s.ctrl, "bmpc").AsI2(), 0);
    // Without the option, the raster picture.
    control_test::Set(s.ctrl, "EPSPreview", platform::Variant::Bool(false));
    control_test::Set(s.ctrl, "FileName", platform::Variant::Bstr(path));
    EXPECT_EQ(control_test::Get(s.ctrl, "bmpw").AsI2(), 2);
    EXPECT_EQ(control_test::Get(s.ctrl, "bmph").AsI2(), 1);
}

TEST(EpsDos, TiffPreviewIsReadByTheTiffReader) {
    if (!oracle::ToolAvailable("convert")) GTEST_SKIP() << "ImageMagick absent";
    testsupport::TempDir dir;
    const std::string ps = GsImageFile(2, 1, 8, "4080");
    // Uncompressed (read in-house) and LZW (through the TIFF module), each behind the
    // PostScript section, so every offset inside the TIFF is relative to its own start.
    for (const char* compression : {"none", "lzw"}) {
        SCOPED_TRACE(compression);
        const std::string tiff = dir.path(std::string("p-") + compression + ".tif");
        ASSERT_TRUE(oracle::RunCommand("convert -size 7x5 gradient:red-blue -depth 8 -compress " +
                                       std::string(compression) + " " + oracle::ShellQuote(tiff)));
        const Bytes file = DosEps(ps, {}, testsupport::ReadBytes(tiff));
        const std::string path = dir.path(std::string("p-") + compression + ".eps");
        testsupport::WriteBytes(path, file);

        const testsupport::FileLoad postScript = testsupport::LoadFile(path);
        ASSERT_EQ(postScript.rc, 0);
        EXPECT_EQ(postScript.picture.width, 2);
        LoadOptions options;
        options.epsPreview = true;
        const testsupport::FileLoad preview = testsupport::LoadFile(path, options);
        ASSERT_EQ(preview.rc, 0);
        const auto want = oracle::ImageMagickFrames(tiff);
        ASSERT_EQ(want.size(), 1u);
        EXPECT_EQ(testsupport::ComparePictures(preview.picture, want[0]), "");

        // The dither option reaches the preview as it reaches any TIFF file (eight pure
        // colours); the PostScript picture itself is never dithered.
        options.dither = 1;
        const testsupport::FileLoad dithered = testsupport::LoadFile(path, options);
        ASSERT_EQ(dithered.rc, 0);
        EXPECT_NE(testsupport::ComparePictures(dithered.picture, want[0]), "");
        EXPECT_TRUE(std::all_of(dithered.picture.rgb.begin(), dithered.picture.rgb.end(),
                                [](uint8_t v) { return v == 0 || v == 255; }));
        options.epsPreview = false;
        EXPECT_EQ(testsupport::ComparePictures(testsupport::LoadFile(path, options).picture,
                                               postScript.picture),
                  "");
    }
    // A TIFF offset past the end of the file: no picture, a loader code.
    Bytes broken = DosEps(ps, {}, Bytes(16, 'I'));
    Put32(broken, 20, 0x7FFFFF00);
    auto r = Eps(broken, true);
    EXPECT_LT(r->rc, 0);
    EXPECT_NE(decode::FindLoaderError(r->rc), nullptr);
}

// ---- Files written by other programs -----------------------------------------------------------

TEST(EpsWriters, NetpbmFilesMatchTheirSource) {
    if (!oracle::ToolAvailable("pnmtops") || !oracle::ToolAvailable("convert"))
        GTEST_SKIP() << "netpbm or ImageMagick absent";
    testsupport::TempDir dir;
    const std::string q = oracle::ShellQuote(dir.dir);
    ASSERT_TRUE(
        oracle::RunCommand("convert -size 13x7 gradient:white-black -colorspace gray "
                           "-depth 8 " +
                           q + "/g.pgm"));
    ASSERT_TRUE(
        oracle::RunCommand("convert -size 19x6 pattern:gray50 -monochrome " + q + "/m.pbm"));
    struct Case {
        const char* source;
        const char* command;
        bool preview;
    };
    for (const Case& c :
         {Case{"g.pgm", "pnmtops -noturn -nocenter", false},
          Case{"m.pbm", "pnmtops -noturn -nocenter", false}, Case{"m.pbm", "pbmtoepsi", true}}) {
        SCOPED_TRACE(std::string(c.command) + " " + c.source);
        const std::string source = dir.path(c.source);
        const std::string eps = dir.path("out.eps");
        ASSERT_TRUE(oracle::RunCommand(std::string(c.command) + " " + oracle::ShellQuote(source) +
                                       " > " + oracle::ShellQuote(eps)));
        LoadOptions options;
        options.epsPreview = c.preview;
        const testsupport::FileLoad got = testsupport::LoadFile(eps, options);
        ASSERT_EQ(got.rc, 0);
        const auto want = oracle::ImageMagickFrames(source);
        ASSERT_EQ(want.size(), 1u);
        EXPECT_EQ(testsupport::ComparePictures(got.picture, want[0]), "");
    }
}

TEST(EpsWriters, ImageMagickWriters) {
    if (!oracle::ToolAvailable("convert")) GTEST_SKIP() << "ImageMagick absent";
    testsupport::TempDir dir;
    const std::string source = dir.path("s.png");
    ASSERT_TRUE(
        oracle::RunCommand("convert -size 12x5 gradient:red-blue " + oracle::ShellQuote(source)));
    // EPSI: a 1-bit preview in the comments, which the preview option shows at full size.
    const std::string epsi = dir.path("s.epsi");
    ASSERT_TRUE(oracle::RunCommand("convert " + oracle::ShellQuote(source) +
                                   " epsi:" + oracle::ShellQuote(epsi)));
    LoadOptions preview;
    preview.epsPreview = true;
    const testsupport::FileLoad shown = testsupport::LoadFile(epsi, preview);
    ASSERT_EQ(shown.rc, 0);
    EXPECT_EQ(shown.picture.width, 12);
    EXPECT_EQ(shown.picture.height, 5);
    EXPECT_EQ(shown.pixelBits, 1);
    // Level 2 and 3 files carry their raster through procedures defined in the prolog, which
    // no scan rule describes: no bitmap, whatever the option.
    for (const char* writer : {"eps2", "eps3"}) {
        SCOPED_TRACE(writer);
        const std::string path = dir.path(std::string("s.") + writer + ".eps");
        ASSERT_TRUE(oracle::RunCommand("convert " + oracle::ShellQuote(source) + " " + writer +
                                       ":" + oracle::ShellQuote(path)));
        EXPECT_EQ(testsupport::LoadFile(path).rc, decode::kNoBitmap);
        EXPECT_EQ(testsupport::LoadFile(path, preview).rc, decode::kNoBitmap);
    }
}

// ---- Public samples ----------------------------------------------------------------------------

// The pixel size of an image line "W H B [...] ... image" after a "SX SY scale" line, or 0
// when the file does not have that simple form.
double OneToOneResolution(const std::string& path, int* width) {
    std::ifstream in(path, std::ios::binary);
    std::string line;
    double sx = 0, sy = 0;
    for (int n = 0; n < 400 && std::getline(in, line); ++n) {
        if (line.size() > 200 ||
            (line.find("scale") == std::string::npos && line.find("image") == std::string::npos))
            continue;
        std::smatch m;
        if (std::regex_search(line, m, std::regex(R"(^\s*([0-9.]+)\s+([0-9.]+)\s+scale)"))) {
            sx = std::stod(m[1]);
            sy = std::stod(m[2]);
        } else if (sx > 0 &&
                   std::regex_search(
                       line, m, std::regex(R"(^(\d+) (\d+) 8 \[.*readhexstring pop\} image)"))) {
            const double w = std::stod(m[1]), h = std::stod(m[2]);
            if (std::abs(w / sx - h / sy) > 1e-9) return 0;
            *width = static_cast<int>(w);
            return w / sx * 72;
        }
    }
    return 0;
}

TEST(EpsSamples, EveryFileLoadsOrFailsWithACode) {
    std::vector<fs::path> files;
    for (const char* folder : {"eps", "ps"}) {
        const fs::path d = testsupport::TestData() / folder;
        std::error_code ec;
        if (!fs::is_directory(d, ec)) continue;
        for (const auto& e : fs::directory_iterator(d))
            files.push_back(e.path());
    }
    if (files.empty()) GTEST_SKIP() << "public samples absent (../shared/testdata/eps, ps)";
    const bool gs = oracle::ToolAvailable("gs");
    int loaded = 0, compared = 0;
    for (const fs::path& path : files) {
        SCOPED_TRACE(path.string());
        for (bool preview : {false, true}) {
            LoadOptions options;
            options.epsPreview = preview;
            const testsupport::FileLoad got = testsupport::LoadFile(path.string(), options);
            if (got.rc == 0) {
                ++loaded;
                EXPECT_GT(got.picture.width, 0);
            } else {
                EXPECT_TRUE(decode::FindLoaderError(got.rc) != nullptr ||
                            got.rc == decode::kMetafileSignal)
                    << got.rc;
            }
            int width = 0;
            const double dpi = OneToOneResolution(path.string(), &width);
            if (preview || !gs || dpi <= 0) continue;
            const auto want = Ghostscript(path.string(), dpi);
            ASSERT_EQ(want.size(), 1u);
            ASSERT_EQ(got.rc, 0);
            EXPECT_EQ(got.picture.width, width);
            EXPECT_EQ(testsupport::ComparePictures(got.picture, want[0]), "");
            ++compared;
        }
    }
    EXPECT_GT(loaded, 10);
    if (gs) {
        EXPECT_GE(compared, 8);
    }
    // The TIFF previews of the DOS EPS samples against ImageMagick's decode of the TIFF bytes.
    int previews = 0;
    testsupport::TempDir dir;
    for (const fs::path& path : files) {
        const Bytes bytes = testsupport::ReadBytes(path.string());
        if (bytes.size() < 30 || bytes[0] != 0xC5 || bytes[1] != 0xD0 || bytes[2] != 0xD3 ||
            bytes[3] != 0xC6)
            continue;
        auto u32 = [&](size_t at) {
            return static_cast<uint32_t>(bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
                                         static_cast<uint32_t>(bytes[at + 3]) << 24);
        };
        const uint32_t offset = u32(20), length = u32(24);
        if (offset == 0 || offset > bytes.size() || length > bytes.size() - offset) continue;
        SCOPED_TRACE(path.string());
        const std::string tiff = dir.path("preview.tif");
        testsupport::WriteBytes(tiff,
                                Bytes(bytes.begin() + offset, bytes.begin() + offset + length));
        const auto want = oracle::ImageMagickFrames(tiff, 0);
        if (want.empty()) continue;
        LoadOptions options;
        options.epsPreview = true;
        const testsupport::FileLoad got = testsupport::LoadFile(path.string(), options);
        ASSERT_EQ(got.rc, 0);
        EXPECT_EQ(testsupport::ComparePictures(got.picture, want[0]), "");
        ++previews;
    }
    EXPECT_GT(previews, 3);

    // Photoshop's planar RGB with a pad channel, binary, against Ghostscript at 72 dpi.
    const fs::path photoshop = testsupport::TestData() / "eps" / "binary_preview_map.eps";
    if (gs && fs::exists(photoshop)) {
        const testsupport::FileLoad got = testsupport::LoadFile(photoshop.string());
        ASSERT_EQ(got.rc, 0);
        const auto want = Ghostscript(photoshop.string(), 72);
        ASSERT_EQ(want.size(), 1u);
        EXPECT_EQ(testsupport::ComparePictures(got.picture, want[0]), "");
    }
}

TEST(EpsSamples, ExtensionsThatReachTheReader) {
    testsupport::TempDir dir;
    const std::string text = GsImageFile(2, 1, 8, "1020");
    for (const char* name : {"a.eps", "b.PS", "c.psd", "d.epsf", "e.ps2"}) {
        SCOPED_TRACE(name);
        testsupport::WriteBytes(dir.path(name), Text(text));
        const testsupport::FileLoad got = testsupport::LoadFile(dir.path(name));
        EXPECT_EQ(got.rc, 0);
        EXPECT_EQ(got.format, "eps");
        EXPECT_EQ(got.picture.width, 2);
    }
    // Through the control: an 8-bit picture, and the error a file without "%!PS" raises.
    control_test::SitedControl s;
    control_test::Set(s.ctrl, "FileName", platform::Variant::Bstr(dir.path("a.eps")));
    EXPECT_EQ(control_test::Get(s.ctrl, "bmpw").AsI2(), 2);
    EXPECT_EQ(control_test::Get(s.ctrl, "bmpc").AsI2(), 8);
    testsupport::WriteBytes(dir.path("bad.eps"), Text("%PS\n"));
    control_test::ExpectControlError(
        [&] {
            control_test::Set(s.ctrl, "FileName", platform::Variant::Bstr(dir.path("bad.eps")));
        },
        20010, "Bad header in file", "no %!PS");
}

}  // namespace
