// TIFF files the oracle table cannot describe (CMYK, several pages, a stream inside a bigger
// file), compared with ImageMagick's decodes.
#include <gtest/gtest.h>

#include "decode/readers.h"
#include "tiff/tiff_files.h"

namespace tiff_test {
namespace {

using oracle::RgbImage;
using testsupport::ComparePictures;
using testsupport::LoadFile;
using testsupport::TempDir;

bool HaveTools() {
    return oracle::ToolAvailable("convert") && oracle::ToolAvailable("tiffcp");
}

bool Shell(const std::string& command) {
    return oracle::RunCommand(command + " >/dev/null").has_value();
}

using oracle::ShellQuote;

// CMYK: pixels of ink alone or black alone, where every CMYK-to-RGB rule agrees.
TEST(TiffOracle, CmykFilesMatchImageMagick) {
    if (!HaveTools()) GTEST_SKIP() << "ImageMagick or libtiff tools missing";
    TempDir dir;
    Picture p{23, 17, 8, 4, 5, 1, {}};
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
        ASSERT_TRUE(Shell("tiffcp -c " + std::string(compression) + " " + ShellQuote(plain) + " " +
                          ShellQuote(out)));
        const auto got = LoadFile(out);
        ASSERT_EQ(got.rc, 0);
        EXPECT_EQ(ComparePictures(got.picture, MagickSrgb(out), 1), "");
    }
}

// A three-page file: the first read records every page; each page, loaded by its offset, is
// ImageMagick's frame of the same number, in-house and through the module.
TEST(TiffOracle, ThreePagesLoadByTheirOffsets) {
    if (!HaveTools()) GTEST_SKIP() << "ImageMagick or libtiff tools missing";
    TempDir dir;
    const std::string a = dir.path("a.ppm"), b = dir.path("b.ppm");
    ASSERT_TRUE(testsupport::WritePpm(a, testsupport::TestPattern(40, 30, 1)));
    ASSERT_TRUE(Shell("convert -size 21x33 gradient:red-blue -depth 8 " + ShellQuote(b)));
    for (const char* compression : {"none", "lzw"}) {
        SCOPED_TRACE(compression);
        const std::string out = dir.path(std::string("pages-") + compression + ".tif");
        ASSERT_TRUE(Shell("convert " + ShellQuote(a) + " " + ShellQuote(b) + " \\( " +
                          ShellQuote(a) + " -colorspace gray \\) -compress " + compression + " " +
                          ShellQuote(out)));
        const Bytes bytes = testsupport::ReadBytes(out);
        const auto pages = testsupport::RunReader(decode::ReadTiff, bytes)->img.tiffPageOffsets;
        ASSERT_EQ(pages.size(), 3u);
        for (int page = 0; page < 3; ++page) {
            SCOPED_TRACE(page);
            decode::LoadOptions options;
            options.startOffset = page ? pages[page] : 0;
            const auto got = LoadFile(out, options);
            ASSERT_EQ(got.rc, 0);
            EXPECT_EQ(got.pixelBits, page == 2 ? 8 : 24);
            EXPECT_EQ(ComparePictures(got.picture, MagickSrgb(out, page), 0), "");
        }
    }
}

// The preview of a DOS EPS file: a TIFF stream inside a bigger file. The in-house route and the
// module both count its offsets from its header; its pages are file offsets.
TEST(TiffModule, EmbeddedStreamsLoadFromTheirBaseOffset) {
    if (!HaveTools()) GTEST_SKIP() << "ImageMagick or libtiff tools missing";
    TempDir dir;
    const std::string colour = dir.path("colour.ppm"), path = dir.path("embedded.bin");
    ASSERT_TRUE(testsupport::WritePpm(colour, testsupport::TestPattern(29, 17, 5)));
    for (const char* compression : {"none", "lzw", "group4"}) {
        SCOPED_TRACE(compression);
        const std::string tiff = dir.path(std::string("preview-") + compression + ".tif");
        const std::string mono = std::string(compression) == "group4" ? " -monochrome" : "";
        ASSERT_TRUE(Shell("convert " + ShellQuote(colour) + mono + " -compress " + compression +
                          " " + ShellQuote(tiff)));
        const Bytes stream = testsupport::ReadBytes(tiff);
        Bytes file(1234, 0x25);  // stands for the PostScript part
        file.insert(file.end(), stream.begin(), stream.end());
        file.insert(file.end(), 99, 0x0A);
        testsupport::WriteBytes(path, file);

        testsupport::ReaderRun run;
        run.img.sourcePath = path;
        decode::ByteReader in(file);
        ASSERT_EQ(decode::ReadTiffAt(run.img, in, {}, 1234), 0);
        ASSERT_EQ(run.img.tiffPageOffsets.size(), 1u);
        EXPECT_GT(run.img.tiffPageOffsets[0], 1234);
        EXPECT_EQ(ComparePictures(run.picture(), MagickSrgb(tiff), 0), "");
    }
}

}  // namespace
}  // namespace tiff_test
