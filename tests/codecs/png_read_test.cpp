// "ReadPNG" of LMPNG32.DLL against ImageMagick on the whole PngSuite, transparency flattened
// onto white on both sides.

#include <gtest/gtest.h>

#include <cstdio>

#include "codecs/codec_support.h"
#include "decode/loader_error.h"
#include "platform/os/handles.h"
#include "support/testdata.h"

namespace codecs_test {
namespace {

class PngRead : public ModuleTest<ReadPNGProc> {
  protected:
    PngRead() : ModuleTest("LMPNG32.DLL", "ReadPNG") {}
};

// netpbm's blend of a PNG with an alpha channel onto white, 16-bit samples by their high byte
// as the module keeps them.
oracle::RgbImage NetpbmOnWhite(const fs::path& file) {
    const auto out = oracle::RunCommand("pngtopnm -mix -background white " + Quote(file));
    oracle::RgbImage p;
    int type = 0, maxValue = 0, at = 0;
    if (!out || std::sscanf(out->c_str(), "P%d %d %d %d%n", &type, &p.width, &p.height, &maxValue,
                            &at) != 4)
        return p;
    const size_t step = maxValue > 255 ? 2 : 1;
    for (size_t i = static_cast<size_t>(at) + 1; i < out->size(); i += step)
        p.rgb.insert(p.rgb.end(), type == 5 ? 3 : 1, static_cast<uint8_t>((*out)[i]));
    return p;
}

// Every PngSuite picture matches ImageMagick's decoding flattened onto white, with the file's
// gamma applied for an sRGB display where it has one (one level of rounding apart): 8-bit files at
// 8 bits, 16-bit files in the high byte of its 16-bit result. ImageMagick rounds the blend of
// partly transparent pixels in 16-bit steps and can land one level off, so files with an alpha
// channel are held to one level there and to exact equality with netpbm's blend. The corrupt x*
// files fail with a loader code. Grey files come out as 8-bit indices over a grey ramp, palette
// files as 8-bit indices, colour files as 24 bits.
TEST_F(PngRead, EveryPublicFileMatchesImageMagick) {
    REQUIRE_TESTDATA("png");
    if (!oracle::ToolAvailable("convert") || !oracle::ToolAvailable("pngtopnm"))
        GTEST_SKIP() << "ImageMagick or netpbm not installed";
    int matched = 0, refused = 0;
    for (const auto& file : testsupport::SampleFiles("png")) {
        if (file.extension() != ".png") continue;
        SCOPED_TRACE(file.filename().string());
        const ReadResult got = CallReadPng(read_, file);
        EXPECT_TRUE(got.blockLargeEnough);
        if (file.filename().string()[0] == 'x') {
            EXPECT_TRUE(got.code == decode::kBadHeader || got.code == decode::kReadError)
                << got.code;
            ++refused;
            continue;
        }
        ASSERT_GT(got.code, 0);
        const std::string bytes = ReadBytes(file);
        const int colourType = bytes[25];  // of IHDR; the bit depth comes before it
        const bool wide = bytes[24] == 16, alphaChannel = colourType & 4;
        EXPECT_EQ(got.picture.bitCount, colourType == 2 || colourType == 6 ? 24 : 8);
        EXPECT_TRUE((colourType & 3) != 0 || got.picture.GreyRamp());
        const double gamma = PngViewingGamma(bytes);
        const auto magick =
            oracle::RunCommand("convert " + Quote(file) + " -set colorspace sRGB" +
                               (gamma ? " -gamma " + std::to_string(gamma) : std::string()) +
                               " -background white -alpha remove -alpha off"
                               " -endian MSB -depth " +
                               (wide ? "16" : "8") + " rgb:-");
        oracle::RgbImage reference{got.picture.width, got.picture.height, {}, {}};
        for (size_t i = 0; magick && i < magick->size(); i += wide ? 2 : 1)
            reference.rgb.push_back(static_cast<uint8_t>((*magick)[i]));  // high byte first
        const oracle::RgbImage ours = got.picture.Picture();
        ASSERT_EQ(reference.rgb.size(), ours.rgb.size());
        EXPECT_EQ(testsupport::ComparePictures(ours, reference, alphaChannel || gamma ? 1 : 0), "");
        if (alphaChannel && !gamma) {
            EXPECT_EQ(testsupport::ComparePictures(ours, NetpbmOnWhite(file)), "") << "pngtopnm";
        }
        ++matched;
    }
    EXPECT_GT(matched, 150);
    EXPECT_GT(refused, 10);
}

void PutBe32(std::string& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<char>(v >> (24 - 8 * i));
}

// Damaged, foreign and missing files fail with the loader's codes and free what they took;
// oversized pictures are refused from the header with the memory code.
TEST_F(PngRead, FailuresGiveLoaderCodesAndLeakNothing) {
    REQUIRE_TESTDATA("png");
    TempDir dir;
    const std::string good = ReadBytes(testsupport::TestData("png") / "basn2c08.png");
    const size_t idat = good.find("IDAT");
    ASSERT_NE(idat, std::string::npos);
    std::string badCrc = good;
    badCrc[idat + 10] ^= 0x55;
    auto withSize = [&](uint32_t width, uint32_t height) {
        std::string b = good;
        PutBe32(b, 16, width);
        PutBe32(b, 20, height);
        return FixPngCrcs(b);
    };
    const struct {
        const char* name;
        std::string bytes;
        int32_t code;
    } rows[] = {
        {"bad CRC", badCrc, decode::kReadError},
        {"cut in the data", good.substr(0, idat + 40), decode::kReadError},
        {"signature only", good.substr(0, 8), decode::kReadError},
        {"five bytes", good.substr(0, 5), decode::kBadHeader},
        {"JPEG", ReadBytes(testsupport::TestData("jpg") / "testorig.jpg"), decode::kBadHeader},
        {"40000 x 4", withSize(40000, 4), decode::kNoMemory},
        {"2000000 x 4", withSize(2000000, 4), decode::kNoMemory},
        {"2^31-1 squared", withSize(0x7FFFFFFF, 0x7FFFFFFF), decode::kNoMemory},
        {"4 x 32768", withSize(4, 32768), decode::kNoMemory},
        {"20000 x 20000", withSize(20000, 20000), decode::kNoMemory},  // 1.2 GB
        // Inside the limits the header passes and the short image data is what fails.
        {"64 x 64", withSize(64, 64), decode::kReadError},
    };
    const size_t memoryBefore = platform::CountHandles(platform::HandleKind::Memory);
    for (const auto& row : rows) {
        WriteBytes(dir.path("t.png"), row.bytes);
        EXPECT_EQ(CallReadPng(read_, dir.path("t.png")).code, row.code) << row.name;
    }
    EXPECT_EQ(CallReadPng(read_, dir.path("missing.png")).code, decode::kCouldNotOpen);
    BITMAPINFOHEADER header{};
    std::array<uint8_t, 768> palette{};
    EXPECT_EQ(read_(nullptr, 0, palette.data(), &header), decode::kCouldNotOpen);
    EXPECT_EQ(platform::CountHandles(platform::HandleKind::Memory), memoryBefore);
}

// Damaged files, with their checksums repaired so the damage reaches the decoder, give a code
// or a complete block, and leak nothing.
TEST_F(PngRead, SurvivesDamagedFiles) {
    REQUIRE_TESTDATA("png");
    TempDir dir;
    std::vector<fs::path> files;
    for (const char* name : {"basn6a08.png", "basi2c16.png", "basn3p04.png", "tbbn3p08.png",
                             "basi0g01.png", "basn4a16.png"})
        files.push_back(testsupport::TestData("png") / name);
    ExpectSurvivesDamage(files, 120, [&](const std::string& bytes, size_t i) {
        WriteBytes(dir.path("damaged.png"), i % 2 ? FixPngCrcs(bytes) : bytes);
        return CallReadPng(read_, dir.path("damaged.png"));
    });
}

}  // namespace
}  // namespace codecs_test
