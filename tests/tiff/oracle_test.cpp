// TIFF files written by ImageMagick and libtiff's tiffcp, loaded through the loader (in-house
// route and codec module) and compared with ImageMagick's and libtiff's own decodes.
#include <gtest/gtest.h>

#include <functional>

#include "decode/loader.h"
#include "decode/loader_error.h"
#include "platform/gdi/gdi.h"
#include "tiff/tiff_files.h"

namespace tiff_test {
namespace {

using oracle::RgbImage;
using testsupport::ComparePictures;
using testsupport::LoadFile;
using testsupport::TempDir;

bool HaveTools() {
    return oracle::ToolAvailable("convert") && oracle::ToolAvailable("tiffcp") &&
           oracle::ToolAvailable("tiff2rgba");
}

bool Shell(const std::string& command) {
    return oracle::RunCommand(command + " >/dev/null").has_value();
}

std::string Q(const std::string& s) {
    return oracle::ShellQuote(s);
}

// libtiff's own RGBA decode (alpha dropped), read back through a plain RGBA TIFF.
RgbImage Tiff2Rgba(const std::string& path, const std::string& scratch) {
    if (!Shell("tiff2rgba -c none " + Q(path) + " " + Q(scratch))) return {};
    const auto frames = oracle::RunPnmCommand("convert " + Q(scratch) + " -alpha off ppm:-");
    return frames.empty() ? RgbImage{} : frames[0];
}

RgbImage ImageMagick(const std::string& path, int frame = 0) {
    return MagickSrgb(path, frame);
}

struct Variant {
    const char* name;
    const char* make;  // shell command; {src} is the source picture, {out} the TIFF
    int tolerance;
    bool inHouse;  // uncompressed or PackBits strips
};

std::string Expand(std::string command, const std::string& src, const std::string& out) {
    for (const auto& [key, value] : {std::pair{"{src}", src}, std::pair{"{out}", out}}) {
        for (size_t at; (at = command.find(key)) != std::string::npos;)
            command.replace(at, std::string(key).size(), Q(value));
    }
    return command;
}

// Every variant is compared with ImageMagick and with libtiff's tiff2rgba; a variant whose
// in-house/module route differs from the expectation fails too (the route is the format name
// the loader reports and, for the module, the absence of the module making it fail).
TEST(TiffOracle, CompressionsLayoutsAndByteOrdersMatchImageMagickAndLibtiff) {
    if (!HaveTools()) GTEST_SKIP() << "ImageMagick or libtiff tools missing";
    TempDir dir;
    const std::string colour = dir.path("colour.ppm");
    ASSERT_TRUE(testsupport::WritePpm(colour, testsupport::TestPattern(61, 47, 7)));
    const Variant variants[] = {
        {"none", "convert {src} -compress none {out}", 0, true},
        {"none-msb", "convert {src} -compress none {out}.tmp.tif && tiffcp -B {out}.tmp.tif {out}",
         0, true},
        {"packbits",
         "convert {src} -compress none {out}.t.tif && tiffcp -c packbits {out}.t.tif {out}", 0,
         true},
        {"packbits-msb-strips",
         "convert {src} -compress none {out}.t.tif && tiffcp -B -r 5 -c packbits {out}.t.tif {out}",
         0, true},
        {"lzw", "convert {src} -compress lzw {out}", 0, false},
        {"lzw-lsb-predictor",
         "convert {src} -compress none {out}.t.tif && tiffcp -L -c lzw:2 {out}.t.tif {out}", 0,
         false},
        {"lzw-msb",
         "convert {src} -compress none {out}.t.tif && tiffcp -B -c lzw {out}.t.tif {out}", 0,
         false},
        {"deflate", "convert {src} -compress zip {out}", 0, false},
        {"jpeg-ycbcr", "convert {src} -compress jpeg -quality 90 {out}", 3, false},
        {"jpeg-rgb",
         "convert {src} -compress none {out}.t.tif && tiffcp -r 16 -c jpeg:r {out}.t.tif {out}", 3,
         false},
        {"tiled",
         "convert {src} -compress none {out}.t.tif && tiffcp -t -w 16 -l 16 {out}.t.tif {out}", 0,
         false},
        {"tiled-uncompressed-msb",
         "convert {src} -compress none {out}.t.tif && tiffcp -B -c none -t -w 32 -l 16 {out}.t.tif "
         "{out}",
         0, false},
        {"planar-separate",
         "convert {src} -compress none {out}.t.tif && tiffcp -p separate -c lzw {out}.t.tif {out}",
         0, false},
        {"g4", "convert {src} -monochrome -compress group4 {out}", 0, false},
        {"g3", "convert {src} -monochrome -compress fax {out}", 0, false},
        {"bilevel-min-is-black", "convert {src} -monochrome -compress none {out}", 0, true},
        {"bilevel-min-is-white-lzw",
         "convert {src} -monochrome -define quantum:polarity=min-is-white -compress lzw {out}", 0,
         false},
        {"bilevel-min-is-black-lzw", "convert {src} -monochrome -compress lzw {out}", 0, false},
        {"grey-min-is-black", "convert {src} -colorspace gray -compress none {out}", 0, true},
        {"grey-min-is-white",
         "convert {src} -colorspace gray -define quantum:polarity=min-is-white -compress none "
         "{out}",
         0, true},
        {"grey-min-is-white-lzw",
         "convert {src} -colorspace gray -define quantum:polarity=min-is-white -compress lzw {out}",
         0, false},
        {"grey4", "convert {src} -colorspace gray -depth 4 -compress none {out}", 0, true},
        {"grey2-lzw", "convert {src} -colorspace gray -depth 2 -compress lzw {out}", 0, false},
        {"grey16", "convert {src} -colorspace gray -depth 16 -compress none {out}", 1, true},
        {"grey16-msb-deflate",
         "convert {src} -colorspace gray -depth 16 -endian MSB -compress zip {out}", 1, false},
        {"rgb16", "convert {src} -depth 16 -compress none {out}", 1, true},
        {"rgb16-msb-lzw", "convert {src} -depth 16 -endian MSB -compress lzw {out}", 1, false},
        {"rgba", "convert {src} -alpha set -compress none {out}", 0, true},
        {"zstd", "convert {src} -compress none {out}.t.tif && tiffcp -c zstd {out}.t.tif {out}", 0,
         false},
        {"lzma", "convert {src} -compress none {out}.t.tif && tiffcp -c lzma {out}.t.tif {out}", 0,
         false},
    };
    const decode::LoadOptions defaults;
    for (const Variant& v : variants) {
        SCOPED_TRACE(v.name);
        const std::string out = dir.path(std::string(v.name) + ".tif");
        ASSERT_TRUE(Shell(Expand(v.make, colour, out))) << Expand(v.make, colour, out);
        const auto got = LoadFile(out);
        ASSERT_EQ(got.rc, 0);
        EXPECT_EQ(got.format, "tif");
        const RgbImage magick = ImageMagick(out);
        ASSERT_GT(magick.width, 0);
        EXPECT_EQ(ComparePictures(got.picture, magick, v.tolerance), "") << "ImageMagick";
        const RgbImage libtiff = Tiff2Rgba(out, dir.path("scratch-rgba.tif"));
        ASSERT_GT(libtiff.width, 0);
        EXPECT_EQ(ComparePictures(got.picture, libtiff, v.tolerance), "") << "tiff2rgba";

        // Without the module, only the in-house route still loads.
        EnvOverride noModules("LUMORA_CODEC_PATH", dir.dir);
        EXPECT_EQ(LoadFile(out).rc, v.inHouse ? 0 : decode::kTiffCompression);
    }
}

// Palette files: libtiff's decode is the reference (ImageMagick rescales 16-bit map entries
// differently, by up to a few levels); ImageMagick within that tolerance.
TEST(TiffOracle, PaletteFilesMatchLibtiff) {
    if (!HaveTools()) GTEST_SKIP() << "ImageMagick or libtiff tools missing";
    TempDir dir;
    const std::string colour = dir.path("colour.ppm");
    ASSERT_TRUE(testsupport::WritePpm(colour, testsupport::TestPattern(61, 47, 3)));
    for (const char* make :
         {"-colors 200 -type palette -compress none", "-colors 200 -type palette -compress lzw",
          "-colors 12 -type palette -compress none", "-colors 12 -type palette -compress zip"}) {
        SCOPED_TRACE(make);
        const std::string out = dir.path("palette.tif");
        ASSERT_TRUE(Shell("convert " + Q(colour) + " " + make + " " + Q(out)));
        const auto got = LoadFile(out);
        ASSERT_EQ(got.rc, 0);
        EXPECT_LE(got.pixelBits, 8);
        EXPECT_EQ(ComparePictures(got.picture, Tiff2Rgba(out, dir.path("scratch-rgba.tif")), 0),
                  "");
        EXPECT_EQ(ComparePictures(got.picture, ImageMagick(out), 16), "");
    }
}

// CMYK: pixels of ink alone or black alone, where every CMYK-to-RGB rule agrees.
TEST(TiffOracle, CmykFilesMatchImageMagick) {
    if (!HaveTools()) GTEST_SKIP() << "ImageMagick or libtiff tools missing";
    TempDir dir;
    Picture p;
    p.width = 23;
    p.height = 17;
    p.samples = 4;
    p.photometric = 5;
    for (uint32_t y = 0; y < p.height; ++y)
        for (uint32_t x = 0; x < p.width; ++x) {
            const uint8_t a = static_cast<uint8_t>(x * 11), b = static_cast<uint8_t>(y * 15);
            if ((x + y) % 3 == 0)
                p.strip.insert(p.strip.end(), {0, 0, 0, static_cast<uint8_t>(a ^ b)});
            else
                p.strip.insert(p.strip.end(), {a, b, static_cast<uint8_t>(a + b), 0});
        }
    const std::string plain = dir.path("cmyk.tif");
    testsupport::WriteBytes(plain, MakeTiff(p));
    for (const char* compression : {"none", "packbits", "lzw"}) {
        SCOPED_TRACE(compression);
        const std::string out = dir.path(std::string("cmyk-") + compression + ".tif");
        ASSERT_TRUE(Shell("tiffcp -c " + std::string(compression) + " " + Q(plain) + " " + Q(out)));
        const auto got = LoadFile(out);
        ASSERT_EQ(got.rc, 0);
        EXPECT_EQ(ComparePictures(got.picture, ImageMagick(out), 1), "");
    }
}

// A three-page file: the first load records every page; each page, loaded by its offset, is
// ImageMagick's frame of the same number, in-house and through the module.
TEST(TiffOracle, ThreePagesLoadByTheirOffsets) {
    if (!HaveTools()) GTEST_SKIP() << "ImageMagick or libtiff tools missing";
    TempDir dir;
    const std::string a = dir.path("a.ppm"), b = dir.path("b.ppm");
    ASSERT_TRUE(testsupport::WritePpm(a, testsupport::TestPattern(40, 30, 1)));
    ASSERT_TRUE(Shell("convert -size 21x33 gradient:red-blue -depth 8 " + Q(b)));
    for (const char* compression : {"none", "lzw"}) {
        SCOPED_TRACE(compression);
        const std::string out = dir.path(std::string("pages-") + compression + ".tif");
        ASSERT_TRUE(Shell("convert " + Q(a) + " " + Q(b) + " \\( " + Q(a) +
                          " -colorspace gray \\) -compress " + compression + " " + Q(out)));
        decode::DecodedImage img;
        HDC dc = platform::GetDC(0);
        HBITMAP bitmap = decode::LoadImageFile(img, out, dc, {});
        ASSERT_NE(bitmap, 0u);
        platform::DeleteObject(bitmap);
        if (img.paletteHandle) platform::DeleteObject(img.paletteHandle);
        platform::ReleaseDC(0, dc);
        ASSERT_EQ(img.tiffPageOffsets.size(), 3u);
        EXPECT_LT(img.tiffPageOffsets[0], img.tiffPageOffsets[1]);
        for (int page = 0; page < 3; ++page) {
            SCOPED_TRACE(page);
            decode::LoadOptions options;
            options.startOffset = page ? img.tiffPageOffsets[page] : 0;
            const auto got = LoadFile(out, options);
            ASSERT_EQ(got.rc, 0);
            EXPECT_EQ(got.pixelBits, page == 2 ? 8 : 24);
            EXPECT_EQ(ComparePictures(got.picture, ImageMagick(out, page), 0), "");
        }
    }
}

// A file whose directory the reader cannot parse comes back from the module at 24 bits.
TEST(TiffModule, BigTiffComesBackAt24Bits) {
    if (!HaveTools()) GTEST_SKIP() << "ImageMagick or libtiff tools missing";
    TempDir dir;
    const std::string colour = dir.path("colour.ppm");
    ASSERT_TRUE(testsupport::WritePpm(colour, testsupport::TestPattern(33, 20, 9)));
    // BigTIFF: the reader leaves it to the module, which gives it its size and 24 bits.
    ASSERT_TRUE(Shell("convert " + Q(colour) + " -compress none " + Q(dir.path("t.tif"))));
    const std::string big = dir.path("big.tif"), bigLzw = dir.path("big-lzw.tif");
    ASSERT_TRUE(Shell("tiffcp -8 " + Q(dir.path("t.tif")) + " " + Q(big)));
    ASSERT_TRUE(Shell("tiffcp -8 -c lzw " + Q(dir.path("t.tif")) + " " + Q(bigLzw)));
    for (const std::string& path : {big, bigLzw}) {
        SCOPED_TRACE(path);
        const auto got = LoadFile(path);
        ASSERT_EQ(got.rc, 0);
        EXPECT_EQ(got.pixelBits, 24);
        EXPECT_EQ(ComparePictures(got.picture, Tiff2Rgba(path, dir.path("scratch-rgba.tif")), 0),
                  "");
    }
}

}  // namespace
}  // namespace tiff_test

namespace tiff_test {
namespace {

// The preview of a DOS EPS file: a TIFF stream inside a bigger file. The in-house route and the
// module both count its offsets from its header; its pages are file offsets.
TEST(TiffModule, EmbeddedStreamsLoadFromTheirBaseOffset) {
    if (!HaveTools()) GTEST_SKIP() << "ImageMagick or libtiff tools missing";
    TempDir dir;
    const std::string colour = dir.path("colour.ppm");
    ASSERT_TRUE(testsupport::WritePpm(colour, testsupport::TestPattern(29, 17, 5)));
    for (const char* compression : {"none", "lzw", "group4"}) {
        SCOPED_TRACE(compression);
        const std::string tiff = dir.path(std::string("preview-") + compression + ".tif");
        const std::string mono = std::string(compression) == "group4" ? " -monochrome" : "";
        ASSERT_TRUE(
            Shell("convert " + Q(colour) + mono + " -compress " + compression + " " + Q(tiff)));
        const Bytes stream = testsupport::ReadBytes(tiff);
        Bytes file(1234, 0x25);  // stands for the PostScript part
        file.insert(file.end(), stream.begin(), stream.end());
        file.insert(file.end(), 99, 0x0A);
        const std::string path = dir.path("embedded.bin");
        testsupport::WriteBytes(path, file);

        decode::DecodedImage img;
        img.sourcePath = path;
        decode::ByteReader in(file);
        ASSERT_EQ(decode::ReadTiffAt(img, in, {}, 1234), 0);
        ASSERT_EQ(img.tiffPageOffsets.size(), 1u);
        EXPECT_GT(img.tiffPageOffsets[0], 1234);
        testsupport::ReaderRun run;
        run.img = img;
        EXPECT_EQ(ComparePictures(run.picture(), ImageMagick(tiff), 0), "");
    }
}

}  // namespace
}  // namespace tiff_test
