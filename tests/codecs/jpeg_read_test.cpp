// "ReadJPG" of LMJPEG32.DLL against djpeg (the reference decoder of the same library, which
// must agree exactly when given the same settings) and ImageMagick (within a tolerance).

#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "codecs/codec_support.h"
#include "decode/loader_error.h"
#include "platform/gdi/gdi.h"
#include "platform/os/handles.h"
#include "support/testdata.h"

namespace codecs_test {
namespace {

class JpegRead : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(codec_.loaded()) << platform::ModulePath("LMJPEG32.DLL");
        read_ = codec_.Entry<ReadJPGProc>("ReadJPG");
        ASSERT_NE(read_, nullptr);
    }
    static void RequireDjpeg() {
        if (!oracle::ToolAvailable("djpeg"))
            GTEST_SKIP() << "djpeg (libjpeg-turbo-progs) not installed";
    }
    static bool IsJpeg(const fs::path& p) {
        return p.extension() == ".jpg" || p.extension() == ".jpeg";
    }

    Codec codec_{"LMJPEG32.DLL"};
    ReadJPGProc read_ = nullptr;
    DisplayDepthScope trueColour_{32};
};

std::string DjpegFlags(const JpegOptions& o) {
    std::string flags = o.dctMethod == DCT_FAST_INTEGER     ? " -dct fast"
                        : o.dctMethod == DCT_FLOATING_POINT ? " -dct float"
                                                            : " -dct int";
    if (!o.fancyUpsampling) flags += " -nosmooth";
    return flags;
}

// Compares a module picture with a reference decoder's output, pixel for pixel.
::testing::AssertionResult SamePixels(const Decoded& d, const Reference& r) {
    if (d.width != r.width || d.height != r.height)
        return ::testing::AssertionFailure()
               << "size " << d.width << "x" << d.height << " vs " << r.width << "x" << r.height;
    for (int y = 0; y < d.height; ++y) {
        for (int x = 0; x < d.width; ++x) {
            const auto got = d.Rgb(x, y);
            const uint8_t* want = &r.samples[(static_cast<size_t>(y) * r.width + x) * r.channels];
            for (int c = 0; c < 3; ++c) {
                const uint8_t w = want[r.channels == 1 ? 0 : c];
                if (got[c] != w)
                    return ::testing::AssertionFailure()
                           << "pixel (" << x << "," << y << ") channel " << c << ": " << int(got[c])
                           << " vs " << int(w);
            }
        }
    }
    return ::testing::AssertionSuccess();
}

// Every file djpeg can decode decodes to exactly djpeg's pixels in every DCT and upsampling
// setting; files djpeg rejects give a loader code or a picture of the header's size, never a
// crash; blocks are always large enough for the stride the loader computes.
TEST_F(JpegRead, MatchesDjpegOnEveryPublicFile) {
    REQUIRE_TESTDATA("jpg");
    RequireDjpeg();
    if (IsSkipped()) return;
    int compared = 0, refused = 0;
    for (const auto& file : testsupport::SampleFiles("jpg")) {
        if (!IsJpeg(file)) continue;
        SCOPED_TRACE(file.filename().string());
        for (const JpegOptions& o : {JpegOptions{}, JpegOptions{false, false, 2, DCT_FAST_INTEGER},
                                     JpegOptions{true, false, 2, DCT_FLOATING_POINT}}) {
            const auto tool = RunTool("djpeg" + DjpegFlags(o) + " -ppm " + Quote(file));
            const auto reference = ParsePnm(tool.out);
            const ReadResult got = CallReadJpg(read_, file, o);
            EXPECT_TRUE(got.blockLargeEnough);
            if (tool.status == 0 || tool.status == 2) {
                ASSERT_TRUE(reference.has_value());
                ASSERT_GT(got.code, 0);
                EXPECT_EQ(got.picture.bitCount, reference->channels == 1 ? 8 : 24);
                EXPECT_TRUE(SamePixels(got.picture, *reference)) << DjpegFlags(o);
                if (reference->channels == 1) {
                    for (int i = 0; i < 256; ++i)
                        ASSERT_EQ(got.picture.palette[3 * i + 1], i);
                }
                ++compared;
            } else {
                if (got.code > 0) {
                    EXPECT_GT(got.picture.width, 0);
                } else {
                    EXPECT_TRUE(got.code <= decode::kCouldNotOpen && got.code >= decode::kBadHeader)
                        << got.code;
                }
                ++refused;
            }
        }
    }
    EXPECT_GT(compared, 150);  // the set holds about 60 decodable files, three settings each
    EXPECT_GT(refused, 0);
}

// ImageMagick decodes independently of this module's row handling and CMYK conversion.
TEST_F(JpegRead, AgreesWithImageMagick) {
    REQUIRE_TESTDATA("jpg");
    if (!oracle::ToolAvailable("convert")) GTEST_SKIP() << "ImageMagick not installed";
    int compared = 0;
    for (const auto& file : testsupport::SampleFiles("jpg")) {
        if (!IsJpeg(file)) continue;
        SCOPED_TRACE(file.filename().string());
        const auto size = RunTool("identify -format '%w %h' " + Quote(file) + "'[0]'");
        const ReadResult got = CallReadJpg(read_, file);
        if (size.status != 0 || got.code <= 0) continue;
        int w = 0, h = 0;
        if (std::sscanf(size.out.c_str(), "%d %d", &w, &h) != 2 || w != got.picture.width ||
            h != got.picture.height)
            continue;
        const auto magick = RunTool("convert " + Quote(file) +
                                    "'[0]' -define jpeg:dct-method=islow -define "
                                    "jpeg:fancy-upsampling=true -colorspace sRGB -depth 8 rgb:-");
        if (magick.out.size() != size_t(w) * h * 3) continue;
        const auto ours = got.picture.ToRgb();
        // Same IDCT and upsampling; CMYK is converted in 16-bit arithmetic there and rounded
        // once more, so a difference of one level is the most either conversion can explain.
        int maxDiff = 0;
        double sum = 0;
        for (size_t i = 0; i < ours.size(); ++i) {
            const int d = std::abs(int(ours[i]) - int(static_cast<uint8_t>(magick.out[i])));
            maxDiff = std::max(maxDiff, d);
            sum += d;
        }
        EXPECT_LE(maxDiff, 2);
        EXPECT_LT(sum / ours.size(), 0.5);
        ++compared;
    }
    EXPECT_GT(compared, 40);
}

// The options reach libjpeg: each setting changes the pixels of a subsampled baseline picture.
TEST_F(JpegRead, DctMethodAndUpsamplingChangeTheResult) {
    REQUIRE_TESTDATA("jpg");
    const fs::path file = testsupport::TestData("jpg") / "testorig.jpg";
    const auto slow = CallReadJpg(read_, file, {true, false, 2, DCT_SLOW_INTEGER});
    const auto fast = CallReadJpg(read_, file, {true, false, 2, DCT_FAST_INTEGER});
    const auto real = CallReadJpg(read_, file, {true, false, 2, DCT_FLOATING_POINT});
    const auto plain = CallReadJpg(read_, file, {false, false, 2, DCT_SLOW_INTEGER});
    const auto unknown = CallReadJpg(read_, file, {true, false, 2, 7});
    for (const auto* r : {&slow, &fast, &real, &plain, &unknown})
        ASSERT_GT(r->code, 0);
    EXPECT_NE(slow.picture.rows, fast.picture.rows);
    EXPECT_NE(slow.picture.rows, real.picture.rows);
    EXPECT_NE(slow.picture.rows, plain.picture.rows);
    EXPECT_EQ(slow.picture.rows, unknown.picture.rows);  // out of range: the slow integer default
}

std::string DitherName(uint16_t mode) {
    return mode == JPEG_DITHER_NONE ? "none" : mode == JPEG_DITHER_ORDERED ? "ordered" : "fs";
}

// On a palette display the library's quantiser runs with the display's colour count and the
// chosen dither and pass mode; the result is djpeg's colour-mapped output exactly.
TEST_F(JpegRead, PaletteDisplayQuantisesThroughLibjpeg) {
    REQUIRE_TESTDATA("jpg");
    RequireDjpeg();
    if (IsSkipped()) return;
    const fs::path file = testsupport::TestData("jpg") / "testorig.jpg";
    for (int depth : {8, 4}) {
        DisplayDepthScope display(depth);
        const int colours = 1 << depth;
        std::set<std::vector<uint8_t>> distinct;
        for (bool twoPass : {false, true}) {
            for (uint16_t dither :
                 {JPEG_DITHER_NONE, JPEG_DITHER_ORDERED, JPEG_DITHER_FLOYD_STEINBERG}) {
                SCOPED_TRACE(testing::Message() << "depth " << depth << " two-pass " << twoPass
                                                << " dither " << dither);
                const auto got =
                    CallReadJpg(read_, file, {true, twoPass, dither, DCT_SLOW_INTEGER});
                ASSERT_GT(got.code, 0);
                EXPECT_EQ(got.picture.bitCount, 8);
                const auto tool = RunTool("djpeg -dct int -colors " + std::to_string(colours) +
                                          " -dither " + DitherName(dither) +
                                          (twoPass ? "" : " -onepass") + " -bmp " + Quote(file));
                const auto reference = ParseBmp(tool.out);
                ASSERT_TRUE(reference.has_value());
                ASSERT_EQ(reference->channels, 1);
                int highest = 0;
                for (int y = 0; y < got.picture.height; ++y) {
                    for (int x = 0; x < got.picture.width; ++x) {
                        const uint8_t index = got.picture.Index(x, y);
                        highest = std::max<int>(highest, index);
                        ASSERT_EQ(index, reference->samples[size_t(y) * reference->width + x])
                            << x << "," << y;
                    }
                }
                EXPECT_LT(highest, colours);
                for (int i = 0; i <= highest; ++i) {
                    for (int c = 0; c < 3; ++c)
                        ASSERT_EQ(got.picture.palette[3 * i + c], reference->palette[3 * i + c]);
                }
                distinct.insert(got.picture.rows);
            }
        }
        // Two-pass quantisation cannot dither in order, so at least five of the six differ.
        EXPECT_GE(distinct.size(), 5u);
    }
}

// The display depth comes from the device context when one is given; grey pictures are
// quantised to grey levels; CMYK pictures stay 24-bit for the loader's own colour reduction.
TEST_F(JpegRead, DisplayDepthFromDeviceContextAndSpecialColourSpaces) {
    REQUIRE_TESTDATA("jpg");
    const fs::path colour = testsupport::TestData("jpg") / "testorig.jpg";
    const fs::path grey = testsupport::TestData("jpg") / "hopper_gray.jpg";
    const fs::path cmyk = testsupport::TestData("jpg") / "pil_sample_cmyk.jpg";
    {
        DisplayDepthScope display(4);
        const HDC dc = platform::CreateCompatibleDC(0);
        ASSERT_NE(dc, 0u);
        const auto viaDc = CallReadJpg(read_, colour, {true, false, 2, 0, dc});
        const auto viaDisplay = CallReadJpg(read_, colour);
        platform::DeleteDC(dc);
        ASSERT_GT(viaDc.code, 0);
        EXPECT_EQ(viaDc.picture.bitCount, 8);
        EXPECT_EQ(viaDc.picture.rows, viaDisplay.picture.rows);

        const auto g = CallReadJpg(read_, grey);
        ASSERT_GT(g.code, 0);
        EXPECT_EQ(g.picture.bitCount, 8);
        std::set<int> used;
        for (int y = 0; y < g.picture.height; ++y)
            for (int x = 0; x < g.picture.width; ++x)
                used.insert(g.picture.Index(x, y));
        EXPECT_LE(used.size(), 16u);
        EXPECT_GT(used.size(), 8u);
        for (int i : used) {
            EXPECT_EQ(g.picture.palette[3 * i], g.picture.palette[3 * i + 1]);
            EXPECT_EQ(g.picture.palette[3 * i], g.picture.palette[3 * i + 2]);
        }

        const auto c = CallReadJpg(read_, cmyk);
        ASSERT_GT(c.code, 0);
        EXPECT_EQ(c.picture.bitCount, 24);
    }
    {
        // libjpeg's quantisers need eight colours for colour pictures; grey gets two levels.
        DisplayDepthScope display(1);
        for (const auto& [file, most] : {std::pair{colour, 8u}, std::pair{grey, 2u}}) {
            const auto got = CallReadJpg(read_, file);
            ASSERT_GT(got.code, 0);
            EXPECT_EQ(got.picture.bitCount, 8);
            std::set<int> used;
            for (int y = 0; y < got.picture.height; ++y)
                for (int x = 0; x < got.picture.width; ++x)
                    used.insert(got.picture.Index(x, y));
            EXPECT_EQ(used.size(), most) << file;
        }
    }
    const auto full = CallReadJpg(read_, colour);
    ASSERT_GT(full.code, 0);
    EXPECT_EQ(full.picture.bitCount, 24);
    const auto g = CallReadJpg(read_, grey);
    ASSERT_GT(g.code, 0);
    EXPECT_EQ(g.picture.bitCount, 8);
}

// A file cut short decodes to what the data gives, the rest as libjpeg fills it: exactly what
// djpeg makes of the same bytes, and the top rows of the complete picture.
TEST_F(JpegRead, TruncatedFileKeepsWhatWasDecoded) {
    REQUIRE_TESTDATA("jpg");
    RequireDjpeg();
    if (IsSkipped()) return;
    TempDir dir;
    for (const char* name : {"testorig.jpg", "cat.jpg"}) {  // baseline and progressive
        SCOPED_TRACE(name);
        const std::string bytes = ReadBytes(testsupport::TestData("jpg") / name);
        const fs::path cut = dir.path(std::string("cut-") + name);
        WriteBytes(cut, bytes.substr(0, bytes.size() * 6 / 10));
        const auto whole = CallReadJpg(read_, testsupport::TestData("jpg") / name);
        const auto part = CallReadJpg(read_, cut);
        ASSERT_GT(whole.code, 0);
        ASSERT_GT(part.code, 0);
        ASSERT_EQ(part.picture.width, whole.picture.width);
        ASSERT_EQ(part.picture.height, whole.picture.height);
        EXPECT_NE(part.picture.rows, whole.picture.rows);
        const auto reference = ParsePnm(RunTool("djpeg -dct int -ppm " + Quote(cut)).out);
        ASSERT_TRUE(reference.has_value());
        EXPECT_TRUE(SamePixels(part.picture, *reference));
        if (std::string(name) == "testorig.jpg") {
            // The first eight rows of a baseline file are complete after 60% of its data.
            const size_t topRows = part.picture.stride * 8;
            EXPECT_TRUE(std::equal(part.picture.rows.end() - topRows, part.picture.rows.end(),
                                   whole.picture.rows.end() - topRows));
        }
    }
}

// Files that yield nothing fail with the loader's codes, and free everything they took.
TEST_F(JpegRead, FailuresGiveLoaderCodesAndLeakNothing) {
    REQUIRE_TESTDATA("jpg");
    TempDir dir;
    const std::string original = ReadBytes(testsupport::TestData("jpg") / "testorig.jpg");
    WriteBytes(dir.path("empty.jpg"), "");
    WriteBytes(dir.path("text.jpg"), "this is not a picture at all\n");
    WriteBytes(dir.path("header-only.jpg"), original.substr(0, 300));  // ends inside the tables
    const size_t memoryBefore = platform::CountHandles(platform::HandleKind::Memory);

    EXPECT_EQ(CallReadJpg(read_, dir.path("missing.jpg")).code, decode::kCouldNotOpen);
    EXPECT_EQ(CallReadJpg(read_, dir.path("empty.jpg")).code, decode::kReadError);
    EXPECT_EQ(CallReadJpg(read_, dir.path("text.jpg")).code, decode::kBadHeader);
    EXPECT_EQ(CallReadJpg(read_, dir.path("header-only.jpg")).code, decode::kReadError);
    EXPECT_EQ(CallReadJpg(read_, testsupport::TestData("png") / "basn2c08.png").code,
              decode::kBadHeader);
    // 12-bit samples are beyond the 8-bit library.
    EXPECT_EQ(CallReadJpg(read_, testsupport::TestData("jpg") / "monkey12.jpg").code,
              decode::kBadHeader);
    // Arithmetic coding is supported.
    EXPECT_GT(CallReadJpg(read_, testsupport::TestData("jpg") / "testimgari.jpg").code, 0);

    BITMAPINFOHEADER header{};
    std::array<uint8_t, 768> palette{};
    EXPECT_EQ(read_(nullptr, 0, 0, 1, 0, 2, 0, palette.data(), &header), decode::kCouldNotOpen);
    EXPECT_EQ(platform::CountHandles(platform::HandleKind::Memory), memoryBefore);
}

// Oversized pictures are refused from the header, before any pixel memory is asked for.
TEST_F(JpegRead, OversizedPicturesRefusedWithMemoryCode) {
    REQUIRE_TESTDATA("jpg");
    TempDir dir;
    const std::string original = ReadBytes(testsupport::TestData("jpg") / "testorig.jpg");
    const size_t sof = original.find("\xFF\xC0");
    ASSERT_NE(sof, std::string::npos);
    auto withSize = [&](int width, int height) {
        std::string b = original;
        b[sof + 5] = static_cast<char>(height >> 8);
        b[sof + 6] = static_cast<char>(height & 0xFF);
        b[sof + 7] = static_cast<char>(width >> 8);
        b[sof + 8] = static_cast<char>(width & 0xFF);
        const fs::path p = dir.path(std::to_string(width) + "x" + std::to_string(height) + ".jpg");
        WriteBytes(p, b);
        return p;
    };
    EXPECT_EQ(CallReadJpg(read_, withSize(40000, 16)).code, decode::kNoMemory);
    EXPECT_EQ(CallReadJpg(read_, withSize(16, 32768)).code, decode::kNoMemory);
    EXPECT_EQ(CallReadJpg(read_, withSize(30000, 30000)).code, decode::kNoMemory);  // 2.7 GB
    // Just inside the limits the header is accepted and the damaged scan still decodes.
    EXPECT_GT(CallReadJpg(read_, withSize(32767, 8)).code, 0);
}

// Damaged files of every coding kind give a code or a block of the size they claim, never a
// crash, and leak nothing.
TEST_F(JpegRead, SurvivesDamagedFiles) {
    REQUIRE_TESTDATA("jpg");
    TempDir dir;
    const size_t memoryBefore = platform::CountHandles(platform::HandleKind::Memory);
    int pictures = 0, failures = 0;
    for (const char* name :
         {"testorig.jpg", "cat.jpg", "testimgari.jpg", "hopper_gray.jpg", "pil_sample_cmyk.jpg"}) {
        const auto copies = DamagedCopies(ReadBytes(testsupport::TestData("jpg") / name), 120);
        for (size_t i = 0; i < copies.size(); ++i) {
            SCOPED_TRACE(testing::Message() << name << " copy " << i);
            const fs::path file = dir.path("damaged.jpg");
            WriteBytes(file, copies[i]);
            const ReadResult got = CallReadJpg(read_, file, {true, i % 3 == 0, 2, uint16_t(i % 3)});
            TallyDamagedRead(got, pictures, failures);
        }
    }
    EXPECT_GT(pictures, 0);
    EXPECT_GT(failures, 0);
    EXPECT_EQ(platform::CountHandles(platform::HandleKind::Memory), memoryBefore);
}

// The same on a palette display, where the colour quantisers run on damaged data.
TEST_F(JpegRead, SurvivesDamagedFilesWhileQuantising) {
    REQUIRE_TESTDATA("jpg");
    DisplayDepthScope display(8);
    TempDir dir;
    const auto copies = DamagedCopies(ReadBytes(testsupport::TestData("jpg") / "testorig.jpg"), 80);
    for (size_t i = 0; i < copies.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "copy " << i);
        const fs::path file = dir.path("damaged.jpg");
        WriteBytes(file, copies[i]);
        const ReadResult got = CallReadJpg(read_, file, {true, i % 2 == 0, uint16_t(i % 3), 0});
        if (got.code > 0) {
            EXPECT_EQ(got.picture.bitCount, 8);
        }
    }
}

}  // namespace
}  // namespace codecs_test
