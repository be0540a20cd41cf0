// "ReadJPG" of LMJPEG32.DLL against djpeg (the reference decoder of the same library, which
// must agree exactly when given the same settings) and ImageMagick where djpeg cannot convert.

#include <gtest/gtest.h>

#include <set>

#include "codecs/codec_support.h"
#include "decode/loader_error.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/page_dc.h"
#include "platform/os/handles.h"

namespace codecs_test {
namespace {

class JpegRead : public ModuleTest<ReadJPGProc> {
  protected:
    JpegRead() : ModuleTest("LMJPEG32.DLL", "ReadJPG") {}
    static fs::path Sample(const char* name) { return testsupport::TestData("jpg") / name; }

    DisplayDepthScope trueColour_{32};
};

// djpeg's output for the same settings; djpeg exits with 2 after warnings on damaged data.
std::vector<oracle::RgbImage> Djpeg(const fs::path& file, const JpegOptions& o,
                                    const std::string& more = {}) {
    const std::string dct = o.dctMethod == DCT_FAST_INTEGER     ? " -dct fast"
                            : o.dctMethod == DCT_FLOATING_POINT ? " -dct float"
                                                                : " -dct int";
    return oracle::RunPnmCommand("djpeg" + dct + (o.fancyUpsampling ? "" : " -nosmooth") + more +
                                 " -ppm " + Quote(file) + " || [ $? = 2 ]");
}

// djpeg's names of the dither modes, by JPEG_DITHER_ value.
const char* const kDitherNames[] = {"none", "ordered", "fs"};

int DistinctIndices(const Decoded& d) {
    std::set<int> used;
    for (int y = 0; y < d.height; ++y)
        for (int x = 0; x < d.width; ++x)
            used.insert(d.Index(x, y));
    return static_cast<int>(used.size());
}

// Every file djpeg can decode decodes to exactly djpeg's pixels in every DCT and upsampling
// setting (a DCT method out of range is the slow integer one); grey files come out over a
// grey ramp. What djpeg cannot convert (CMYK) agrees with ImageMagick within the rounding of
// the two conversions (ImageMagick's is in 16 bits); the rest gives a loader code or a picture.
TEST_F(JpegRead, MatchesDjpegOnEveryPublicFile) {
    REQUIRE_TESTDATA("jpg");
    if (!oracle::ToolAvailable("djpeg") || !oracle::ToolAvailable("convert"))
        GTEST_SKIP() << "djpeg or ImageMagick not installed";
    int compared = 0, viaMagick = 0, refused = 0;
    for (const auto& file : testsupport::SampleFiles("jpg")) {
        if (file.extension() != ".jpg" && file.extension() != ".jpeg") continue;
        SCOPED_TRACE(file.filename().string());
        for (const JpegOptions& o :
             {JpegOptions{}, JpegOptions{false, false, 2, DCT_FAST_INTEGER},
              JpegOptions{true, false, 2, DCT_FLOATING_POINT}, JpegOptions{true, false, 2, 7}}) {
            SCOPED_TRACE(o.dctMethod);
            const auto reference = Djpeg(file, o);
            const ReadResult got = CallReadJpg(read_, file, o);
            EXPECT_TRUE(got.blockLargeEnough);
            if (!reference.empty()) {
                ASSERT_GT(got.code, 0);
                EXPECT_EQ(testsupport::ComparePictures(got.picture.Picture(), reference[0]), "");
                if (got.picture.bitCount == 8) {
                    EXPECT_TRUE(got.picture.GreyRamp());
                }
                ++compared;
                continue;
            }
            const auto magick = oracle::FirstPicture("convert " + Quote(file) +
                                                     "'[0]' -colorspace sRGB -depth 8 ppm:-");
            if (o.dctMethod == DCT_SLOW_INTEGER && got.code > 0 &&
                magick.width == got.picture.width && magick.height == got.picture.height) {
                EXPECT_EQ(testsupport::ComparePictures(got.picture.Picture(), magick, 2), "");
                ++viaMagick;
            } else if (got.code <= 0) {
                EXPECT_TRUE(IsReadFailure(got.code)) << got.code;
                ++refused;
            }
        }
    }
    EXPECT_GT(compared, 200);  // the set holds about 60 decodable files, four settings each
    EXPECT_GT(viaMagick, 0);
    EXPECT_GT(refused, 0);
}

// On a palette display the library's quantiser runs with the display's colour count and the
// chosen dither and pass mode; the result is djpeg's colour-mapped output exactly.
TEST_F(JpegRead, PaletteDisplayQuantisesThroughLibjpeg) {
    REQUIRE_TESTDATA("jpg");
    if (!oracle::ToolAvailable("djpeg")) GTEST_SKIP() << "djpeg not installed";
    const fs::path file = Sample("testorig.jpg");
    for (int depth : {8, 4}) {
        DisplayDepthScope display(depth);
        for (bool twoPass : {false, true}) {
            for (uint16_t dither :
                 {JPEG_DITHER_NONE, JPEG_DITHER_ORDERED, JPEG_DITHER_FLOYD_STEINBERG}) {
                SCOPED_TRACE(testing::Message()
                             << depth << " bits, two-pass " << twoPass << ", dither " << dither);
                const JpegOptions o{true, twoPass, dither, DCT_SLOW_INTEGER};
                const auto got = CallReadJpg(read_, file, o);
                ASSERT_GT(got.code, 0);
                ASSERT_EQ(got.picture.bitCount, 8);
                const auto reference =
                    Djpeg(file, o,
                          " -colors " + std::to_string(1 << depth) + " -dither " +
                              kDitherNames[dither] + (twoPass ? "" : " -onepass"));
                ASSERT_EQ(reference.size(), 1u);
                EXPECT_EQ(testsupport::ComparePictures(got.picture.Picture(), reference[0]), "");
            }
        }
    }
}

// The display depth, or the device context's when one is given, decides between 24 bits and
// libjpeg's quantiser (at least eight colours for colour, two grey levels for grey); CMYK stays
// 24-bit for the loader's own colour reduction.
TEST_F(JpegRead, DisplayDepthChoosesTheOutput) {
    REQUIRE_TESTDATA("jpg");
    const struct {
        int depth;
        const char* file;
        bool viaDc;
        int bits;
        int fewest, most;  // distinct indices of an 8-bit result
    } rows[] = {
        {32, "testorig.jpg", false, 24, 0, 0},   {32, "hopper_gray.jpg", false, 8, 100, 256},
        {4, "testorig.jpg", true, 24, 0, 0},     {4, "testorig.jpg", false, 8, 8, 16},
        {4, "hopper_gray.jpg", false, 8, 9, 16}, {4, "pil_sample_cmyk.jpg", false, 24, 0, 0},
        {1, "testorig.jpg", false, 8, 8, 8},     {1, "hopper_gray.jpg", false, 8, 2, 2},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.file << " at " << row.depth << " bits");
        DisplayDepthScope display(row.depth);
        // A printer page reports 24 bits whatever the display has.
        const HDC dc = row.viaDc ? platform::CreatePageDC(64, 64, 96, 96) : 0;
        const auto got = CallReadJpg(read_, Sample(row.file), {true, false, 2, 0, dc});
        if (dc) platform::DeletePageDC(dc);
        ASSERT_GT(got.code, 0);
        EXPECT_EQ(got.picture.bitCount, row.bits);
        if (row.bits == 8) {
            EXPECT_GE(DistinctIndices(got.picture), row.fewest);
            EXPECT_LE(DistinctIndices(got.picture), row.most);
        }
        // Grey pictures are quantised to grey levels.
        for (int i = 0; row.file[0] == 'h' && i < row.most; ++i) {
            EXPECT_EQ(got.picture.palette[3 * i], got.picture.palette[3 * i + 1]);
            EXPECT_EQ(got.picture.palette[3 * i], got.picture.palette[3 * i + 2]);
        }
    }
}

// A file cut short decodes to what the data gives, the rest as libjpeg fills it: exactly what
// djpeg makes of the same bytes.
TEST_F(JpegRead, TruncatedFileKeepsWhatWasDecoded) {
    REQUIRE_TESTDATA("jpg");
    if (!oracle::ToolAvailable("djpeg")) GTEST_SKIP() << "djpeg not installed";
    TempDir dir;
    for (const char* name : {"testorig.jpg", "cat.jpg"}) {  // baseline and progressive
        SCOPED_TRACE(name);
        const std::string bytes = ReadBytes(Sample(name));
        const fs::path cut = dir.path("cut.jpg");
        WriteBytes(cut, bytes.substr(0, bytes.size() * 6 / 10));
        const auto part = CallReadJpg(read_, cut);
        ASSERT_GT(part.code, 0);
        const auto reference = Djpeg(cut, {});
        ASSERT_EQ(reference.size(), 1u);
        EXPECT_EQ(testsupport::ComparePictures(part.picture.Picture(), reference[0]), "");
    }
}

// Files that yield nothing fail with the loader's codes and free everything they took;
// oversized pictures are refused from the header, before any pixel memory is asked for.
TEST_F(JpegRead, FailuresGiveLoaderCodesAndLeakNothing) {
    REQUIRE_TESTDATA("jpg");
    TempDir dir;
    const std::string original = ReadBytes(Sample("testorig.jpg"));
    const size_t sof = original.find("\xFF\xC0");
    ASSERT_NE(sof, std::string::npos);
    auto withSize = [&](int width, int height) {
        std::string b = original;
        b[sof + 5] = static_cast<char>(height >> 8);
        b[sof + 6] = static_cast<char>(height & 0xFF);
        b[sof + 7] = static_cast<char>(width >> 8);
        b[sof + 8] = static_cast<char>(width & 0xFF);
        return b;
    };
    const struct {
        const char* name;
        std::string bytes;
        int32_t code;  // 1: any picture
    } rows[] = {
        {"empty", "", decode::kReadError},
        {"text", "this is not a picture at all\n", decode::kBadHeader},
        {"ends inside the tables", original.substr(0, 300), decode::kReadError},
        {"PNG", ReadBytes(testsupport::TestData("png") / "basn2c08.png"), decode::kBadHeader},
        {"12-bit samples", ReadBytes(Sample("monkey12.jpg")), decode::kBadHeader},
        {"arithmetic coding", ReadBytes(Sample("testimgari.jpg")), 1},
        // A fatal error after the last row (a second frame header) keeps the picture.
        {"second frame header",
         original.substr(0, original.size() - 2) + original.substr(sof, 19) + "\xFF\xD9", 1},
        {"40000 x 16", withSize(40000, 16), decode::kNoMemory},
        {"16 x 32768", withSize(16, 32768), decode::kNoMemory},
        {"30000 x 30000", withSize(30000, 30000), decode::kNoMemory},  // 2.7 GB
        {"32767 x 8, damaged scan", withSize(32767, 8), 1},
    };
    const size_t memoryBefore = platform::CountHandles(platform::HandleKind::Memory);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        WriteBytes(dir.path("t.jpg"), row.bytes);
        const int32_t code = CallReadJpg(read_, dir.path("t.jpg")).code;
        EXPECT_EQ(row.code == 1 ? code > 0 : code == row.code, true) << code;
    }
    EXPECT_EQ(CallReadJpg(read_, dir.path("missing.jpg")).code, decode::kCouldNotOpen);
    BITMAPINFOHEADER header{};
    std::array<uint8_t, 768> palette{};
    EXPECT_EQ(read_(nullptr, 0, 0, 1, 0, 2, 0, palette.data(), &header), decode::kCouldNotOpen);
    EXPECT_EQ(platform::CountHandles(platform::HandleKind::Memory), memoryBefore);
}

// Damaged files of every coding kind give a code or a block of the size they claim, never a
// crash, and leak nothing; on a palette display the colour quantisers run on damaged data.
TEST_F(JpegRead, SurvivesDamagedFiles) {
    REQUIRE_TESTDATA("jpg");
    TempDir dir;
    for (const int depth : {32, 8}) {
        DisplayDepthScope display(depth);
        std::vector<fs::path> files{Sample("testorig.jpg")};
        for (const char* name :
             {"cat.jpg", "testimgari.jpg", "hopper_gray.jpg", "pil_sample_cmyk.jpg"})
            if (depth == 32) files.push_back(Sample(name));
        ExpectSurvivesDamage(files, 100, [&](const std::string& bytes, size_t i) {
            WriteBytes(dir.path("damaged.jpg"), bytes);
            const JpegOptions o{true, i % 2 == 0, uint16_t(i % 3), uint16_t(i % 3)};
            ReadResult got = CallReadJpg(read_, dir.path("damaged.jpg"), o);
            EXPECT_TRUE(got.code <= 0 || depth == 32 || got.picture.bitCount == 8);
            return got;
        });
    }
}

}  // namespace
}  // namespace codecs_test
