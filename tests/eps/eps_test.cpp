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

std::unique_ptr<ReaderRun> Eps(const Bytes& bytes, bool preview = false) {
    LoadOptions options;
    options.epsPreview = preview;
    return testsupport::RunReader(decode::ReadEps, bytes, options);
}
std::unique_ptr<ReaderRun> Eps(const std::string& text, bool preview = false) {
    return Eps(Text(text), preview);
}

// Row y of a picture: one digit a pixel at 1 bit, two hex digits an index at 8 bits, and six
// (red, green, blue) a pixel at 24 bits.
std::string Pixels(const ReaderRun& r, int y) {
    std::string out;
    char digits[8];
    for (int x = 0; x < r.width(); ++x) {
        const auto c = r.rgb(x, y);
        if (r.img.header.biBitCount == 1)
            std::snprintf(digits, sizeof digits, "%d", r.index(x, y));
        else if (r.img.header.biBitCount == 8)
            std::snprintf(digits, sizeof digits, "%02x", r.index(x, y));
        else
            std::snprintf(digits, sizeof digits, "%02x%02x%02x", c[0], c[1], c[2]);
        out += digits;
    }
    return out;
}

int Colour(const ReaderRun& r, int x, int y) {
    const auto c = r.rgb(x, y);
    return c[0] << 16 | c[1] << 8 | c[2];
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

// 8-bit grey of an odd width (stored rows padded), and 1 bit with a partial last byte.
const std::string kGreyFile = GsImageFile(5, 3, 8, "00254a6f94b9de03284d7297bce106");
const std::string kMonoFile = GsImageFile(10, 3, 1, "a5400fc0ff00");
const std::string kHexImage = "%!PS\n3 1 8 {currentfile s readhexstring pop} image\n";

struct ScanCase {
    ScanCase(std::string f, int r = 0, int b = 0, int row = 0, std::string p = {}, int c = -1,
             bool withPreview = false)
        : file(std::move(f)),
          rc(r),
          bits(b),
          y(row),
          pixels(std::move(p)),
          colour(c),
          preview(withPreview) {}
    std::string file;
    int rc, bits, y;
    std::string pixels;  // row y, when given
    int colour;          // 0xRRGGBB of pixel (0, y), when given
    bool preview;
};

const ScanCase kScanCases[] = {
    {kGreyFile, 0, 8, 2, "7297bce106", 0x727272},
    {kMonoFile, 0, 1, 1, "0000111111", 0x000000},
    {kMonoFile, 0, 1, 0, "1010010101", 0xFFFFFF},  // 1 is white
    // Keywords in any case, "%i" numbers (hex, octal); psppic starts 8-bit data, but only as
    // the first token and after the size.
    {"%!PS\n/PixWidth 0x3 def\n/pixheight 02 def\npsppic\n010203\n040506\n", 0, 8, 1, "040506"},
    {"%!PS\npsppic\n/pixwidth 3\n/pixheight 2\n", decode::kNoBitmap},
    {"%!PS\n/pixwidth 1\n/pixheight 1\nx psppic\n00\n", decode::kNoBitmap},
    {"%!PS\n/pixwidth ? def\n/pixheight 2\npsppic\n00\n", decode::kNoBitmap},
    {"%!PS\n/pixwidth 4\n/pixheight 1?\npsppic\n00\n", decode::kNoBitmap},
    {"%!PS\n/pixwidth\n3 /pixheight 2\npsppic\n000000000000\n", decode::kNoBitmap},
    {"%!PS\n/pixwidth abc\n", decode::kNoBitmap},
    // "% dimensions of data"; an image line counts only with "image" first and no "grestore".
    {"%!PS\n2 2 8 % dimensions of data\nx image\nimage grestore\nimage\n0a0b\n0c0d\n", 0, 8, 1,
     "0c0d"},
    {"%!PS\n2 ? 8 % dimensions of data\nimage\n0a0b0c0d\n", decode::kNoBitmap},
    {"%!PS\nimage\n2 2 8 % dimensions of data\n0a0b0c0d\n", decode::kNoBitmap},
    {"%!PS\n4 x 8 {currentfile s readhexstring pop} image\n00\n", decode::kNoBitmap},
    // Hex data: CR, LF, spaces and "%" skipped, digits in either case.
    {kHexImage + "% A\r\n b %\nC0 D\n0\n", 0, 8, 0, "abc0d0"},
    // The line after a scale: width, height, bits (bad tokens passed over), or " ai".
    {"%!PS\n72 72 scale\n2 1 ? \nimage\n7f80\n", decode::kNoBitmap},
    {"%!PS\n72 72 scale\n2 1 8\n[2 0 0 -1 0 1]\n{picstr readstring}\nimage\n7f80\n", 0, 8, 0,
     "7f80"},
    {"%!PS\n/pixwidth 1\n/pixheight 1\n72 72 scale\n9 9 8\npsppic\n42\n", 0, 8, 0, "42"},
    {"%!PS\n1 1 scale\n0 0 2 1 ai\n102030405060\n", 0, 24, 0, "102030405060"},
    {"%!PS\n1 1 scale\n0 0 ? 1 ai\n", decode::kNoBitmap},
    // Run-length rows, 8 bits: 130 = three literal bytes, 1 = one byte twice, cut at the row's
    // end; the next row starts with a fresh control byte.
    {"%!PS\n/pixwidth 5\n/pixheight 2\nreadrlestring\npsppic\n820102030109\n0507\n", 0, 8, 1,
     "0707070707"},
    // 1 bit, PackBits: 1 = two literal bytes, 128 nothing, 254 = one byte twice.
    {"%!PS\n72 72 scale\n32 2 1\nimage readrlestring\n01f00f80feaafc81\n", 0, 1, 0,
     "11110000000011111010101010101010"},
    {"%!PS\n72 72 scale\n32 1 1\nimage readrlestring\nfeaafe55\n", 0, 1, 0,
     "10101010101010100101010101010101"},
    // rlecmapimage with the palette the file gave; a palette whose data never comes.
    {"%!PS\n3 1 8 % dimensions of data\n/cmap 6 string def\ncurrentfile cmap readhexstring\n"
     "ff00000000ff\n% rest of the line\nrlecmapimage\n01010000\n",
     0, 8, 0, "010100", 0x0000FF},
    {"%!PS\n/pixwidth 2\n/pixheight 1\n/cmap 6\npsppic\n0105\n", 0, 8, 0, "0105", 0x000000},
    {"%!PS\n/cmap x\n", decode::kNoBitmap},
    // Illustrator: after an "Xg" and an "Xh" line, tokens 13 to 16 are width, height, bits,
    // channels; "XI" lines and the line after them are passed over. CMYK: 200 + 60 passes 255.
    {"%!PS\n%AI5_BeginRaster\n() 1 Xg\n[1 0 0 1 0 0] Xh\n[ 1 0 0 1 0 0 ] 0 0 2 1 2 1 8 4 0 0 "
     "0 0\nXI\nXI\n%%BeginData\n10203040c800643c\n",
     0, 24, 0, "af9f8f00c35f"},
    {"%!PS\n%AI5_BeginRaster\n[ 1 0 0 1 0 0 ] 0 0 3 1 3 1 8 1 0 0 0 0\n%%BeginData\n102030\n", 0, 8,
     0, "102030"},
    {"%!PS\n%AI5_BeginRaster\n[ 1 0 0 1 ] 0 0 3 1\n", decode::kNoBitmap},
    // Photoshop's %ImageData: binary planes red, green, blue and pad; with four channels the
    // first plane is skipped; hex planes; a 1-bit picture stays 1 bit.
    {"%!PS\n%ImageData: 2 1 8 3 1 2 1 \"beginimage\"\nbeginimage\n\x01\x02\x03\x04\x05\x06\x07\x08",
     0, 24, 0, "010305020406"},
    {"%!PS\n%ImageData: 1 1 8 3 0 1 1 \"beginimage\"\r\nbeginimage\r\n\x07\x08\x09\x01", 0, 24, 0,
     "070809"},
    {"%!PS\n%ImageData: 2 1 8 4 0 2 1 \"beginimage\"\nbeginimage\n\x09\x09\x01\x02\x03\x04\x05\x06",
     0, 24, 0, "050301060402"},
    {"%!PS\n%ImageData: 2 1 8 3 0 2 2 \"beginimage\"\nbeginimage\n0102 0304 0506 0000\n", 0, 24, 0,
     "010305020406"},
    {"%!PS\n%ImageData: 9 1 1 1 0 2 2 \"beginimage\"\nbeginimage\nff80\n", 0, 1, 0, "111111111"},
    {"%!PS\n/beginimage { } def\n", decode::kNoBitmap},
    {"%!PS\n%ImageData: 2 1 8 3 ?\n", decode::kNoBitmap},
    {"%!PS\n%ImageData: 0 0 8 3 0 1 1 \"beginimage\"\n1 1 scale\n0 0 1 1 ai\n\x07\x08\x09", 0, 24,
     0, "070809"},
    // EPSI preview, with the option only: 0 bits white, 1 bits black.
    {"%!PS\n%%BeginPreview: 10 2 1 2\n% 8000\n% 0040\n%%EndPreview\n", 0, 1, 1, "0000000001",
     0xFFFFFF, true},
    {"%!PS\n%%BeginPreview: 10 2 1 2\n% 8000\n% 0040\n%%EndPreview\n", decode::kNoBitmap},
    // Headers, depths and sizes without a picture; 5 to 8 bits read as 8.
    {"", decode::kBadHeader},
    {"%!P", decode::kBadHeader},
    {"%PS-Adobe\n", decode::kBadHeader},
    {"%!PS\nnothing here\n", decode::kNoBitmap},
    {"%!PS\n1 1 2 {currentfile s readhexstring pop} image\n00\n", decode::kNoBitmap},
    {"%!PS\n1 1 9 {currentfile s readhexstring pop} image\n00\n", decode::kNoBitmap},
    {"%!PS\n1 1 16 {currentfile s readhexstring pop} image\n00\n", decode::kNoBitmap},
    {"%!PS\n0 1 8 {currentfile s readhexstring pop} image\n00\n", decode::kNoBitmap},
    {"%!PS\n2 -1 8 {currentfile s readhexstring pop} image\n00\n", decode::kNoBitmap},
    {"%!PS\n2 1 5 {currentfile s readhexstring pop} image\n1f03\n", 0, 8, 0, "1f03"},
    // Too large: the memory code before any data is read, also for sizes beyond any integer.
    {"%!PS\n40000 1 8 {currentfile s readhexstring pop} image\n", decode::kNoMemory},
    {"%!PS\n1 1 scale\n0 0 30000 30000 ai\n", decode::kNoMemory},
    {"%!PS\n72 72 scale\n99999999999999999999 2 1\nimage\n00\n", decode::kNoMemory},
    {"%!PS\n1 -99999999999999999999 8 % dimensions of data\nimage\n00\n", decode::kNoBitmap},
    // Just enough data for the smallest run-length encoding of every row still loads.
    {"%!PS\n/pixwidth 256\n/pixheight 2\nreadrlestring\npsppic\n7f017f027f037f04", 0, 8},
    // The data ends early, in every data form; a character that is not hex ends it too.
    {kHexImage + "0a0b0", decode::kReadError},
    {kHexImage + "0a0bzz", decode::kReadError},
    {"%!PS\n/pixwidth 4\n/pixheight 1\nreadrlestring\npsppic\n8101\n", decode::kReadError},
    {"%!PS\n%ImageData: 2 1 8 3 1 2 1 \"beginimage\"\nbeginimage\n\x01\x02", decode::kReadError},
    {"%!PS\n1 1 scale\n0 0 2 1 ai\n1020304050", decode::kReadError},
};

TEST(EpsScan, RulesDataFormsAndCodes) {
    for (const ScanCase& c : kScanCases) {
        SCOPED_TRACE(c.file);
        auto r = Eps(c.file, c.preview);
        EXPECT_EQ(r->rc, c.rc);
        if (r->rc != 0 || c.rc != 0) continue;
        EXPECT_EQ(r->img.header.biBitCount, c.bits);
        if (!c.pixels.empty()) {
            EXPECT_EQ(Pixels(*r, c.y), c.pixels);
        }
        if (c.colour >= 0) {
            EXPECT_EQ(Colour(*r, 0, c.y), c.colour);
        }
    }
    // A picture its data cannot fill is never allocated.
    EXPECT_EQ(
        Eps("%!PS\n20000 20000 8 {currentfile s readhexstring pop} image\n00\n")->img.pixelHandle,
        0u);
}

// ---- DOS EPS previews -------------------------------------------------------------------------

void Put32(Bytes& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// A DOS EPS file: header (no checksum), PostScript section, then the previews given.
Bytes DosEps(const std::string& postScript, const Bytes& metafile, const Bytes& tiff) {
    Bytes out{0xC5, 0xD0, 0xD3, 0xC6};
    out.resize(30, 0);
    out[28] = out[29] = 0xFF;
    Put32(out, 4, 30);
    Put32(out, 8, static_cast<uint32_t>(postScript.size()));
    out.insert(out.end(), postScript.begin(), postScript.end());
    for (const auto& [at, section] : {std::pair{12, &metafile}, {20, &tiff}}) {
        if (section->empty()) continue;
        Put32(out, at, static_cast<uint32_t>(out.size()));
        Put32(out, at + 4, static_cast<uint32_t>(section->size()));
        out.insert(out.end(), section->begin(), section->end());
    }
    return out;
}

// A placeable metafile of 1440 x 720 units at 1440 units per inch holding one rectangle.
Bytes PlaceableMetafile() {
    Bytes out;
    for (uint32_t v : {0xCDD7u, 0x9AC6u, 0u, 0u, 0u, 1440u, 720u, 1440u, 0u, 0u})
        testsupport::PutLe(out, v);
    uint16_t sum = 0;
    for (size_t i = 0; i < 20; i += 2)
        sum ^= static_cast<uint16_t>(out[i] | out[i + 1] << 8);
    testsupport::PutLe(out, sum);
    // Header (type 1, 9 words, version 0x300, 29 words, largest record 7), SetWindowOrg 0, 0,
    // SetWindowExt 720 high and 1440 wide, Rectangle, end of file.
    for (uint32_t v :
         {1u, 9u,     0x300u, 29u,   0u, 0u, 7u,     0u,   0u,    5u,  0u,  0x20Bu, 0u, 0u, 5u,
          0u, 0x20Cu, 720u,   1440u, 7u, 0u, 0x41Bu, 700u, 1400u, 20u, 40u, 3u,     0u, 0u})
        testsupport::PutLe(out, v);
    return out;
}

TEST(EpsDos, MetafilePreviewIsHandedBack) {
    const std::string ps = GsImageFile(2, 1, 8, "4080");
    const Bytes metafile = PlaceableMetafile();
    const Bytes file = DosEps(ps, metafile, {});
    EXPECT_EQ(Pixels(*Eps(file, false), 0), "4080");  // without the option, the PostScript
    auto p = Eps(file, true);
    EXPECT_EQ(p->rc, decode::kMetafileSignal);
    EXPECT_EQ(p->img.epsMetafile.offset, static_cast<int32_t>(30 + ps.size()));
    EXPECT_EQ(p->img.epsMetafile.length, static_cast<int32_t>(metafile.size()));
    // A PostScript offset past the end, and a header without "%!PS" behind it.
    Bytes far = file;
    Put32(far, 4, 0x7FFFFFF0);
    EXPECT_EQ(Eps(far, false)->rc, decode::kBadHeader);
    EXPECT_EQ(Eps(Bytes(file.begin(), file.begin() + 29), false)->rc, decode::kBadHeader);

    // Through the control: the metafile at its own size, or without the option the raster.
    testsupport::TempDir dir;
    const std::string path = dir.path("preview.eps");
    testsupport::WriteBytes(path, file);
    control_test::SitedControl s;
    for (const auto& [preview, width, height] : {std::tuple{true, 96, 48}, {false, 2, 1}}) {
        control_test::Set(s.ctrl, "EPSPreview", platform::Variant::Bool(preview));
        control_test::Set(s.ctrl, "FileName", platform::Variant::Bstr(path));
        EXPECT_EQ(control_test::Get(s.ctrl, "bmpw").AsI2(), width);
        EXPECT_EQ(control_test::Get(s.ctrl, "bmph").AsI2(), height);
    }
}

TEST(EpsDos, TiffPreviewIsReadByTheTiffReader) {
    // A TIFF offset past the end of the file: no picture, a loader code.
    const std::string ps = GsImageFile(2, 1, 8, "4080");
    Bytes broken = DosEps(ps, {}, Bytes(16, 'I'));
    Put32(broken, 20, 0x7FFFFF00);
    EXPECT_TRUE(testsupport::IsLoaderCode(Eps(broken, true)->rc));

    if (!oracle::ToolAvailable("convert")) GTEST_SKIP() << "ImageMagick absent";
    testsupport::TempDir dir;
    // Uncompressed (read in-house) and LZW (through the TIFF module), behind the PostScript
    // section, so every offset inside the TIFF is relative to its own start.
    for (const std::string compression : {"none", "lzw"}) {
        SCOPED_TRACE(compression);
        const std::string tiff = dir.path("p-" + compression + ".tif");
        ASSERT_TRUE(oracle::RunCommand("convert -size 7x5 gradient:red-blue -depth 8 -compress " +
                                       compression + " " + oracle::ShellQuote(tiff)));
        const std::string path = dir.path("p-" + compression + ".eps");
        testsupport::WriteBytes(path, DosEps(ps, {}, testsupport::ReadBytes(tiff)));
        LoadOptions options;
        options.epsPreview = true;
        const testsupport::FileLoad preview = testsupport::LoadFile(path, options);
        ASSERT_EQ(preview.rc, 0);
        EXPECT_EQ(testsupport::ComparePictures(preview.picture, oracle::ImageMagickFrames(tiff)[0]),
                  "");
        // The dither option reaches the preview as any TIFF file (eight pure colours).
        options.dither = 1;
        const testsupport::FileLoad dithered = testsupport::LoadFile(path, options);
        EXPECT_TRUE(std::all_of(dithered.picture.rgb.begin(), dithered.picture.rgb.end(),
                                [](uint8_t v) { return v == 0 || v == 255; }));
        // The PostScript picture itself is never dithered.
        options.epsPreview = false;
        EXPECT_EQ(testsupport::LoadFile(path, options).picture.rgb,
                  (std::vector<uint8_t>{0x40, 0x40, 0x40, 0x80, 0x80, 0x80}));
    }
}

// ---- Files written by other programs -----------------------------------------------------------

TEST(EpsWriters, EpsiPreviewMatchesItsSourceAndLevelTwoFilesHaveNoBitmap) {
    if (!oracle::ToolAvailable("pbmtoepsi") || !oracle::ToolAvailable("convert"))
        GTEST_SKIP() << "netpbm or ImageMagick absent";
    testsupport::TempDir dir;
    const std::string q = oracle::ShellQuote(dir.dir);
    ASSERT_TRUE(
        oracle::RunCommand("convert -size 13x7 gradient:white-black -colorspace gray "
                           "-depth 8 " +
                           q + "/g.pgm"));
    ASSERT_TRUE(
        oracle::RunCommand("convert -size 19x6 pattern:gray50 -monochrome " + q + "/m.pbm"));
    // An EPSI preview, read with the option.
    ASSERT_TRUE(oracle::RunCommand("pbmtoepsi " + q + "/m.pbm > " + q + "/m.eps"));
    LoadOptions options;
    options.epsPreview = true;
    const testsupport::FileLoad got = testsupport::LoadFile(dir.path("m.eps"), options);
    ASSERT_EQ(got.rc, 0);
    EXPECT_EQ(
        testsupport::ComparePictures(got.picture, oracle::ImageMagickFrames(dir.path("m.pbm"))[0]),
        "");
    // ImageMagick's level 2 and 3 files carry their raster through procedures of the prolog,
    // which no scan rule describes: no bitmap, whatever the option.
    for (const char* writer : {"eps2", "eps3"}) {
        const std::string path = dir.path(std::string("s.") + writer + ".eps");
        ASSERT_TRUE(oracle::RunCommand("convert " + q + "/g.pgm " + writer + ":" +
                                       oracle::ShellQuote(path)));
        EXPECT_EQ(testsupport::LoadFile(path).rc, decode::kNoBitmap) << writer;
        EXPECT_EQ(testsupport::LoadFile(path, options).rc, decode::kNoBitmap) << writer;
    }
}

// ---- Public samples ----------------------------------------------------------------------------

// The pixel size of an image line "W H 8 [...] ... image" after a "SX SY scale" line, or 0
// when the file does not have that simple form.
double OneToOneResolution(const std::string& path, int* width) {
    std::ifstream in(path, std::ios::binary);
    std::string line;
    double sx = 0, sy = 0;
    const std::regex scale(R"(^\s*([0-9.]+)\s+([0-9.]+)\s+scale)");
    const std::regex image(R"(^(\d+) (\d+) 8 \[.*readhexstring pop\} image)");
    for (int n = 0; n < 400 && std::getline(in, line); ++n) {
        std::smatch m;
        if (line.size() > 200) continue;
        if (std::regex_search(line, m, scale)) {
            sx = std::stod(m[1]);
            sy = std::stod(m[2]);
        } else if (sx > 0 && std::regex_search(line, m, image)) {
            const double w = std::stod(m[1]), h = std::stod(m[2]);
            if (std::abs(w / sx - h / sy) > 1e-9) return 0;
            *width = static_cast<int>(w);
            return w / sx * 72;
        }
    }
    return 0;
}

TEST(EpsSamples, EveryFileLoadsOrFailsWithACode) {
    std::vector<fs::path> files = testsupport::SampleFiles("eps");
    for (const fs::path& p : testsupport::SampleFiles("ps"))
        files.push_back(p);
    if (files.empty()) GTEST_SKIP() << "public samples absent (../shared/testdata/eps, ps)";
    const bool gs = oracle::ToolAvailable("gs");
    int loaded = 0, compared = 0, previews = 0;
    testsupport::TempDir dir;
    for (const fs::path& path : files) {
        SCOPED_TRACE(path.string());
        for (bool preview : {false, true}) {
            LoadOptions options;
            options.epsPreview = preview;
            const testsupport::FileLoad got = testsupport::LoadFile(path.string(), options);
            loaded += got.rc == 0;
            EXPECT_TRUE(got.rc == 0 || testsupport::IsLoaderCode(got.rc) ||
                        got.rc == decode::kMetafileSignal)
                << got.rc;
            int width = 0;
            const double dpi = OneToOneResolution(path.string(), &width);
            if (preview || !gs || dpi <= 0) continue;
            const auto want = Ghostscript(path.string(), dpi);
            ASSERT_EQ(want.size(), 1u);
            EXPECT_EQ(testsupport::ComparePictures(got.picture, want[0]), "");
            ++compared;
        }
        // A DOS EPS file's TIFF preview against ImageMagick's decode of the TIFF bytes.
        const Bytes bytes = testsupport::ReadBytes(path.string());
        if (bytes.size() < 30 || bytes[0] != 0xC5 || bytes[1] != 0xD0) continue;
        const auto u32 = [&](size_t at) {
            return uint32_t{bytes[at]} | uint32_t{bytes[at + 1]} << 8 |
                   uint32_t{bytes[at + 2]} << 16 | uint32_t{bytes[at + 3]} << 24;
        };
        const uint32_t offset = u32(20), length = u32(24);
        if (offset == 0 || offset > bytes.size() || length > bytes.size() - offset) continue;
        const std::string tiff = dir.path("preview.tif");
        testsupport::WriteBytes(tiff,
                                Bytes(bytes.begin() + offset, bytes.begin() + offset + length));
        const auto want = oracle::ImageMagickFrames(tiff, 0);
        if (want.empty()) continue;
        LoadOptions options;
        options.epsPreview = true;
        const testsupport::FileLoad got = testsupport::LoadFile(path.string(), options);
        EXPECT_EQ(testsupport::ComparePictures(got.picture, want[0]), "");
        ++previews;
    }
    EXPECT_GT(loaded, 10);
    EXPECT_GT(previews, 3);
    if (gs) {
        EXPECT_GE(compared, 8);
    }
    // Photoshop's planar RGB with a pad channel, binary, against Ghostscript at 72 dpi.
    const fs::path photoshop = testsupport::TestData() / "eps" / "binary_preview_map.eps";
    if (gs && fs::exists(photoshop)) {
        const auto want = Ghostscript(photoshop.string(), 72);
        ASSERT_EQ(want.size(), 1u);
        EXPECT_EQ(testsupport::ComparePictures(testsupport::LoadFile(photoshop.string()).picture,
                                               want[0]),
                  "");
    }
}

TEST(EpsSamples, ExtensionsThatReachTheReader) {
    testsupport::TempDir dir;
    for (const char* name : {"a.eps", "b.PS", "c.psd", "d.epsf", "e.ps2"}) {
        testsupport::WriteBytes(dir.path(name), Text(kGreyFile));
        EXPECT_EQ(testsupport::LoadFile(dir.path(name)).format, "eps") << name;
    }
    // Through the control: an 8-bit picture, and the error a file without "%!PS" raises.
    control_test::SitedControl s;
    control_test::Set(s.ctrl, "FileName", platform::Variant::Bstr(dir.path("a.eps")));
    EXPECT_EQ(control_test::Get(s.ctrl, "bmpc").AsI2(), 8);
    testsupport::WriteBytes(dir.path("bad.eps"), Text("%PS\n"));
    control_test::ExpectControlError(
        [&] {
            control_test::Set(s.ctrl, "FileName", platform::Variant::Bstr(dir.path("bad.eps")));
        },
        20010, "Bad header in file", "no %!PS");
}

}  // namespace
