// TIFF files the oracle table cannot describe (CMYK, a stream inside a bigger file), compared
// with ImageMagick's decodes.
#include <gtest/gtest.h>

#include "decode/readers.h"
#include "tiff/tiff_files.h"

namespace tiff_test {
namespace {

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

// The preview of a DOS EPS file: a two-page TIFF stream inside a bigger file. The in-house route
// and the module both count its offsets from its header; its pages are file offsets.
TEST(TiffModule, EmbeddedStreamsLoadFromTheirBaseOffset) {
    if (!HaveTools()) GTEST_SKIP() << "ImageMagick or libtiff tools missing";
    TempDir dir;
    const std::string colour = dir.path("colour.ppm"), path = dir.path("embedded.bin");
    ASSERT_TRUE(testsupport::WritePpm(colour, testsupport::TestPattern(29, 17, 5)));
    for (const char* compression : {"none", "lzw", "group4"}) {
        SCOPED_TRACE(compression);
        const std::string tiff = dir.path(std::string("preview-") + compression + ".tif");
        const std::string mono = std::string(compression) == "group4" ? " -monochrome" : "";
        ASSERT_TRUE(Shell("convert " + ShellQuote(colour) + " \\( +clone -flop \\)" + mono +
                          " -compress " + compression + " " + ShellQuote(tiff)));
        const Bytes stream = testsupport::ReadBytes(tiff);
        Bytes file(1234, 0x25);  // stands for the PostScript part
        file.insert(file.end(), stream.begin(), stream.end());
        file.insert(file.end(), 99, 0x0A);
        testsupport::WriteBytes(path, file);

        testsupport::ReaderRun run;
        run.img.sourcePath = path;
        decode::ByteReader in(file);
        ASSERT_EQ(decode::ReadTiffAt(run.img, in, {}, 1234), 0);
        ASSERT_EQ(run.img.tiffPageOffsets.size(), 2u);
        EXPECT_GT(run.img.tiffPageOffsets[0], 1234);
        EXPECT_EQ(ComparePictures(run.picture(), MagickSrgb(tiff), 0), "");
        // The second page by its file offset, in-house: the module is handed the stream's start.
        if (std::string(compression) != "none") continue;
        testsupport::ReaderRun second;
        decode::LoadOptions options;
        options.startOffset = run.img.tiffPageOffsets[1];
        ASSERT_EQ(decode::ReadTiffAt(second.img, in, options, 1234), 0);
        EXPECT_EQ(ComparePictures(second.picture(), MagickSrgb(tiff, 1), 0), "");
    }
}

}  // namespace
}  // namespace tiff_test
