// "ReadPNG" of LMPNG32.DLL against ImageMagick on the whole PngSuite, transparency flattened
// onto white on both sides.

#include <gtest/gtest.h>

#include <cstring>

#include "codecs/codec_support.h"
#include "decode/loader_error.h"
#include "platform/os/handles.h"
#include "support/testdata.h"

namespace codecs_test {
namespace {

class PngRead : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(codec_.loaded()) << platform::ModulePath("LMPNG32.DLL");
        read_ = codec_.Entry<ReadPNGProc>("ReadPNG");
        ASSERT_NE(read_, nullptr);
    }

    Codec codec_{"LMPNG32.DLL"};
    ReadPNGProc read_ = nullptr;
};

void PutBe32(std::string& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<char>(v >> (24 - 8 * i));
}

// IHDR fields of a PNG file: bit depth and colour type.
struct Ihdr {
    int depth = 0;
    int colourType = 0;
};
Ihdr ReadIhdr(const std::string& b) {
    if (b.size() < 29) return {};
    return {static_cast<uint8_t>(b[24]), static_cast<uint8_t>(b[25])};
}

// Counts samples of `ours` (RGB, top row first) further than `tolerance` from `theirs`.
::testing::AssertionResult Close(const std::vector<uint8_t>& ours,
                                 const std::vector<uint8_t>& theirs, int tolerance,
                                 const char* oracle) {
    if (ours.size() != theirs.size())
        return ::testing::AssertionFailure()
               << oracle << ": " << theirs.size() << " samples, not " << ours.size();
    size_t mismatches = 0, first = 0;
    for (size_t i = 0; i < ours.size(); ++i) {
        if (std::abs(int(ours[i]) - int(theirs[i])) > tolerance && mismatches++ == 0) first = i;
    }
    if (mismatches == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << oracle << ": " << mismatches << " samples differ, first at pixel " << first / 3
           << " channel " << first % 3 << ": " << int(ours[first]) << " vs " << int(theirs[first]);
}

// Every PngSuite picture matches ImageMagick's decoding flattened onto white, with the file's
// gamma applied for an sRGB display where it has one (one level of rounding apart): 8-bit files at 8 bits, 16-bit files in the high byte of its 16-bit result.
// ImageMagick rounds the blend of partly transparent pixels in 16-bit steps and can land one
// level off, so files with an alpha channel are held to one level there and to exact equality
// with netpbm's blend. The corrupt x* files fail with a loader code. Grey files come out as
// 8-bit indices over a grey ramp, palette files as 8-bit indices, colour files as 24 bits.
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
        const Ihdr ihdr = ReadIhdr(ReadBytes(file));
        const bool colour = ihdr.colourType == 2 || ihdr.colourType == 6;
        const bool alphaChannel = ihdr.colourType == 4 || ihdr.colourType == 6;
        EXPECT_EQ(got.picture.bitCount, colour ? 24 : 8);
        if (ihdr.colourType == 0 || ihdr.colourType == 4) {
            for (int i = 0; i < 256; ++i)
                ASSERT_EQ(got.picture.palette[3 * i + 2], i);
        }

        const bool wide = ihdr.depth == 16;
        const double gamma = PngViewingGamma(ReadBytes(file));
        const auto magick =
            RunTool("convert " + Quote(file) + " -set colorspace sRGB" +
                    (gamma ? " -gamma " + std::to_string(gamma) : std::string()) +
                    " -background white -alpha remove -alpha off"
                    " -endian MSB -depth " +
                    (wide ? "16" : "8") + " rgb:-");
        std::vector<uint8_t> reference;
        for (size_t i = 0; i < magick.out.size(); i += wide ? 2 : 1)
            reference.push_back(static_cast<uint8_t>(magick.out[i]));  // high byte first
        const auto ours = got.picture.ToRgb();
        EXPECT_TRUE(Close(ours, reference, alphaChannel || gamma ? 1 : 0, "ImageMagick"));
        if (alphaChannel && !gamma) {
            const auto netpbm =
                ParsePnm(RunTool("pngtopnm -mix -background white " + Quote(file)).out);
            ASSERT_TRUE(netpbm.has_value());
            std::vector<uint8_t> rgb;
            for (uint8_t v : netpbm->samples)
                rgb.insert(rgb.end(), netpbm->channels == 1 ? 3 : 1, v);
            if (netpbm->channels == 3) rgb = netpbm->samples;
            EXPECT_TRUE(Close(ours, rgb, 0, "pngtopnm"));
        }
        ++matched;
    }
    EXPECT_GT(matched, 150);
    EXPECT_GT(refused, 10);
}

// Interlacing changes the order of the data, not the picture: every interlaced PngSuite file
// equals its non-interlaced twin.
TEST_F(PngRead, InterlacedEqualsNonInterlaced) {
    REQUIRE_TESTDATA("png");
    int pairs = 0;
    for (const auto& file : testsupport::SampleFiles("png")) {
        const std::string name = file.filename().string();
        if (name.size() < 5 || name.compare(0, 4, "basi") != 0) continue;
        const fs::path twin = file.parent_path() / ("basn" + name.substr(4));
        if (!fs::exists(twin)) continue;
        SCOPED_TRACE(name);
        const auto a = CallReadPng(read_, file);
        const auto b = CallReadPng(read_, twin);
        ASSERT_GT(a.code, 0);
        ASSERT_GT(b.code, 0);
        EXPECT_EQ(a.picture.ToRgb(), b.picture.ToRgb());
        ++pairs;
    }
    EXPECT_GE(pairs, 10);
}

// Palette transparency is folded into the palette: a fully transparent entry turns white,
// an opaque one keeps its colour, and the pixels stay indices. (The file's gAMA chunk is renamed
// away so that its colours are shown as stored.)
TEST_F(PngRead, PaletteTransparencyBlendsEntriesWithWhite) {
    REQUIRE_TESTDATA("png");
    std::string bytes = ReadBytes(testsupport::TestData("png") / "tbbn3p08.png");
    ASSERT_NE(bytes.find("gAMA"), std::string::npos);
    bytes.replace(bytes.find("gAMA"), 4, "gAMx");
    TempDir dir;
    const fs::path file = fs::path(dir.path("t.png"));
    WriteBytes(file, FixPngCrcs(bytes));
    const size_t plte = bytes.find("PLTE");
    const size_t trns = bytes.find("tRNS");
    ASSERT_NE(plte, std::string::npos);
    ASSERT_NE(trns, std::string::npos);
    const auto got = CallReadPng(read_, file);
    ASSERT_GT(got.code, 0);
    ASSERT_EQ(got.picture.bitCount, 8);
    const size_t alphas =
        (static_cast<uint8_t>(bytes[trns - 2]) << 8) | static_cast<uint8_t>(bytes[trns - 1]);
    const size_t entries =
        ((static_cast<uint8_t>(bytes[plte - 2]) << 8) | static_cast<uint8_t>(bytes[plte - 1])) / 3;
    int transparent = 0, opaque = 0;
    for (size_t i = 0; i < entries; ++i) {
        const unsigned a = i < alphas ? static_cast<uint8_t>(bytes[trns + 4 + i]) : 255;
        for (int c = 0; c < 3; ++c) {
            const unsigned v = static_cast<uint8_t>(bytes[plte + 4 + 3 * i + c]);
            const unsigned entry = got.picture.palette[3 * i + c];
            if (a == 0) {
                EXPECT_EQ(entry, 255u) << "entry " << i;
            } else if (a == 255) {
                EXPECT_EQ(entry, v) << "entry " << i;
            }
        }
        if (a == 0) ++transparent;
        if (a == 255) ++opaque;
    }
    EXPECT_GT(transparent, 0);
    EXPECT_GT(opaque, 0);
}

// Damaged, foreign and missing files fail with the loader's codes and free what they took.
TEST_F(PngRead, FailuresGiveLoaderCodesAndLeakNothing) {
    REQUIRE_TESTDATA("png");
    TempDir dir;
    const std::string good = ReadBytes(testsupport::TestData("png") / "basn2c08.png");
    ASSERT_GT(good.size(), 100u);
    const size_t idat = good.find("IDAT");
    ASSERT_NE(idat, std::string::npos);
    std::string badCrc = good;
    badCrc[idat + 10] ^= 0x55;
    WriteBytes(dir.path("bad-crc.png"), badCrc);
    WriteBytes(dir.path("cut.png"), good.substr(0, idat + 40));
    WriteBytes(dir.path("signature-only.png"), good.substr(0, 8));
    WriteBytes(dir.path("short.png"), good.substr(0, 5));
    const size_t memoryBefore = platform::CountHandles(platform::HandleKind::Memory);

    EXPECT_EQ(CallReadPng(read_, dir.path("missing.png")).code, decode::kCouldNotOpen);
    EXPECT_EQ(CallReadPng(read_, dir.path("bad-crc.png")).code, decode::kReadError);
    EXPECT_EQ(CallReadPng(read_, dir.path("cut.png")).code, decode::kReadError);
    EXPECT_EQ(CallReadPng(read_, dir.path("signature-only.png")).code, decode::kReadError);
    EXPECT_EQ(CallReadPng(read_, dir.path("short.png")).code, decode::kBadHeader);
    EXPECT_EQ(CallReadPng(read_, testsupport::TestData("jpg") / "testorig.jpg").code,
              decode::kBadHeader);
    EXPECT_EQ(CallReadPng(read_, testsupport::TestData("png") / "xhdn0g08.png").code,
              decode::kBadHeader);
    EXPECT_EQ(CallReadPng(read_, testsupport::TestData("png") / "xcsn0g01.png").code,
              decode::kReadError);

    BITMAPINFOHEADER header{};
    std::array<uint8_t, 768> palette{};
    EXPECT_EQ(read_(nullptr, 0, palette.data(), &header), decode::kCouldNotOpen);
    EXPECT_EQ(platform::CountHandles(platform::HandleKind::Memory), memoryBefore);
}

// Oversized pictures are refused from the header with the memory code.
TEST_F(PngRead, OversizedPicturesRefusedWithMemoryCode) {
    REQUIRE_TESTDATA("png");
    TempDir dir;
    const std::string good = ReadBytes(testsupport::TestData("png") / "basn2c08.png");
    auto withSize = [&](uint32_t width, uint32_t height) {
        std::string b = good;
        PutBe32(b, 16, width);
        PutBe32(b, 20, height);
        PutBe32(b, 29, Crc32(b, 12, 29));
        const fs::path p = dir.path(std::to_string(width) + "x" + std::to_string(height) + ".png");
        WriteBytes(p, b);
        return p;
    };
    EXPECT_EQ(CallReadPng(read_, withSize(40000, 4)).code, decode::kNoMemory);
    EXPECT_EQ(CallReadPng(read_, withSize(2000000, 4)).code, decode::kNoMemory);
    EXPECT_EQ(CallReadPng(read_, withSize(0x7FFFFFFF, 0x7FFFFFFF)).code, decode::kNoMemory);
    EXPECT_EQ(CallReadPng(read_, withSize(4, 32768)).code, decode::kNoMemory);
    EXPECT_EQ(CallReadPng(read_, withSize(20000, 20000)).code, decode::kNoMemory);  // 1.2 GB
    // Inside the limits the header passes and the short image data is what fails.
    EXPECT_EQ(CallReadPng(read_, withSize(64, 64)).code, decode::kReadError);
}

// Damaged files, with their checksums repaired so the damage reaches the decoder, give a code
// or a complete block, and leak nothing.
TEST_F(PngRead, SurvivesDamagedFiles) {
    REQUIRE_TESTDATA("png");
    TempDir dir;
    const size_t memoryBefore = platform::CountHandles(platform::HandleKind::Memory);
    int pictures = 0, failures = 0;
    for (const char* name : {"basn6a08.png", "basi2c16.png", "basn3p04.png", "tbbn3p08.png",
                             "basi0g01.png", "basn4a16.png"}) {
        const auto copies = DamagedCopies(ReadBytes(testsupport::TestData("png") / name), 120);
        for (size_t i = 0; i < copies.size(); ++i) {
            SCOPED_TRACE(testing::Message() << name << " copy " << i);
            const fs::path file = dir.path("damaged.png");
            WriteBytes(file, i % 2 ? FixPngCrcs(copies[i]) : copies[i]);
            const ReadResult got = CallReadPng(read_, file);
            TallyDamagedRead(got, pictures, failures);
        }
    }
    EXPECT_GT(pictures, 0);
    EXPECT_GT(failures, 0);
    EXPECT_EQ(platform::CountHandles(platform::HandleKind::Memory), memoryBefore);
}

}  // namespace
}  // namespace codecs_test
