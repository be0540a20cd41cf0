// "ReadDCM" on JPEG 2000 data sets and on data sets without a meta header. Hand-built files
// wrap opj_compress codestreams and are compared with opj_decompress's reading of the same
// codestreams; the public JPEG 2000 samples with dcmj2pnm's rendering of GDCM's decompression
// of them; bare data sets written by dcmconv with dcmj2pnm's reading of them.

#include <gtest/gtest.h>

#include "codecs/codec_support.h"
#include "codecs/dicom_builder.h"

namespace codecs_test {
namespace {

// A file holding 8-bit frames as an encapsulated pixel sequence, each frame split into `split`
// fragments, with a basic offset table when `offsetTable`.
std::string Jpeg2000File(const std::string& syntax, int samples, const std::string& photometric,
                         int rows, int columns, const std::vector<std::string>& frames, int split,
                         bool offsetTable) {
    DicomBuilder b(syntax);
    b.Image(samples, photometric, static_cast<int>(frames.size()), rows, columns, 8, 8);
    if (samples == 1) b.Text(0x0028, 0x1050, "DS", "127.5").Text(0x0028, 0x1051, "DS", "256");
    std::vector<std::string> items{""};
    uint32_t offset = 0;
    for (const std::string& frame : frames) {
        if (offsetTable) items[0] += Le32(offset);
        const std::string even = frame + std::string(frame.size() % 2, '\0');
        const size_t piece = (even.size() / split + 1) & ~size_t{1};
        for (size_t at = 0; at < even.size(); at += piece) {
            items.push_back(even.substr(at, piece));
            offset += 8 + static_cast<uint32_t>(items.back().size());
        }
    }
    return b.Encapsulated(items).bytes();
}

// opj_compress's codestream of a test picture (grey through ppmtopgm), and opj_decompress's
// reading of it.
struct Codestream {
    std::string bytes;
    oracle::RgbImage decoded;
};
Codestream Compress(const TempDir& dir, int width, int height, int variant, bool colour,
                    const std::string& options) {
    const fs::path ppm = dir.path("s.ppm"), src = dir.path(colour ? "s.ppm" : "s.pgm");
    const fs::path j2k = dir.path("s.j2k"), back = dir.path(colour ? "b.ppm" : "b.pgm");
    if (!testsupport::WritePpm(ppm, testsupport::TestPattern(width, height, variant)) ||
        (!colour && !Succeeds("ppmtopgm " + Quote(ppm) + " > " + Quote(src))) ||
        !Succeeds("opj_compress -n 3 " + options + " -i " + Quote(src) + " -o " + Quote(j2k)) ||
        !Succeeds("opj_decompress -i " + Quote(j2k) + " -o " + Quote(back)))
        return {};
    return {ReadBytes(j2k), oracle::FirstPicture("cat " + Quote(back))};
}

struct Jpeg2000Case {
    const char* name;
    const char* syntax;
    bool colour;
    const char* compressOptions;  // opj_compress: lossless by default, -r for lossy
    int frames;
    int split;  // fragments per frame
    bool offsetTable;
    int tolerance;  // grey levels: the 8-bit window rounds half a level
};

const Jpeg2000Case kCases[] = {
    {"grey_lossless", "1.2.840.10008.1.2.4.90", false, "", 1, 1, false, 1},
    {"rgb_lossless_rct", "1.2.840.10008.1.2.4.90", true, "", 1, 1, false, 0},
    {"rgb_lossy_ict", "1.2.840.10008.1.2.4.91", true, "-r 20 -I", 1, 3, false, 0},
    {"two_frames_offset_table", "1.2.840.10008.1.2.4.91", true, "", 2, 2, true, 0},
    {"two_frames_split_no_table", "1.2.840.10008.1.2.4.90", false, "", 2, 3, false, 1},
    {"three_frames_one_fragment_each", "1.2.840.10008.1.2.4.90", true, "-r 10", 3, 1, false, 0},
};

class DicomModule : public ModuleTest<ReadDCMProc> {
  protected:
    DicomModule() : ModuleTest("LMDCM32.DLL", "ReadDCM") {}
    ReadResult Read(const fs::path& file, int32_t image = 1) {
        return CallReadDcm(read_, file, image);
    }
    // dcmj2pnm's rendering with the window choice the module makes.
    static oracle::RgbImage Dcmtk(const fs::path& file) {
        const bool windowed = oracle::RunCommand("dcmdump -q +P 0028,1050 " + Quote(file)) != "";
        return oracle::FirstPicture(std::string("dcmj2pnm +op ") + (windowed ? "+Wi 1 " : "+Wm ") +
                                    Quote(file));
    }
    TempDir dir_;
};

class DicomJpeg2000 : public DicomModule, public ::testing::WithParamInterface<Jpeg2000Case> {};

TEST_P(DicomJpeg2000, FramesMatchOpjDecompress) {
    const Jpeg2000Case& c = GetParam();
    if (!oracle::ToolAvailable("opj_compress") || !oracle::ToolAvailable("opj_decompress"))
        GTEST_SKIP() << "OpenJPEG's tools are not installed";
    std::vector<std::string> codestreams;
    std::vector<oracle::RgbImage> wanted;
    for (int f = 0; f < c.frames; ++f) {
        Codestream s = Compress(dir_, 45, 23, f, c.colour, c.compressOptions);
        ASSERT_FALSE(s.bytes.empty());
        codestreams.push_back(std::move(s.bytes));
        wanted.push_back(std::move(s.decoded));
    }
    const char* photometric =
        c.colour ? (c.compressOptions[0] ? "YBR_ICT" : "YBR_RCT") : "MONOCHROME2";
    const fs::path file = dir_.path("t.dcm");
    WriteBytes(file, Jpeg2000File(c.syntax, c.colour ? 3 : 1, photometric, 23, 45, codestreams,
                                  c.split, c.offsetTable));
    for (int f = 0; f < c.frames; ++f) {
        SCOPED_TRACE(f + 1);
        int32_t image = f + 1;
        const ReadResult got = CallReadDcm(read_, file, image);
        ASSERT_GT(got.code, 0);
        EXPECT_EQ(image, c.frames);
        EXPECT_EQ(got.picture.bitCount, c.colour ? 24 : 8);
        EXPECT_EQ(testsupport::ComparePictures(got.picture.Picture(), wanted[f], c.tolerance), "");
    }
}

INSTANTIATE_TEST_SUITE_P(Syntaxes, DicomJpeg2000, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A codestream that disagrees with the data set (size, samples), one that is not a codestream,
// and one cut short: refused with a loader code, or (cut short) shown as far as it goes.
TEST_F(DicomModule, DamagedJpeg2000) {
    if (!oracle::ToolAvailable("opj_compress"))
        GTEST_SKIP() << "OpenJPEG's tools are not installed";
    const std::string stream = Compress(dir_, 32, 16, 0, true, "").bytes;
    ASSERT_FALSE(stream.empty());
    const std::string lossless = "1.2.840.10008.1.2.4.90";
    const struct {
        std::string file;
        int32_t code;  // 0: a picture or the read code
    } rows[] = {
        {Jpeg2000File(lossless, 3, "RGB", 10, 32, {stream}, 1, false), decode::kBadHeader},
        {Jpeg2000File(lossless, 1, "MONOCHROME2", 16, 32, {stream}, 1, false), decode::kBadHeader},
        {Jpeg2000File(lossless, 3, "RGB", 16, 32, {std::string(300, 'x')}, 1, false),
         decode::kReadError},
        {Jpeg2000File(lossless, 3, "RGB", 16, 32, {stream.substr(0, stream.size() / 2)}, 1, false),
         0},
        {Jpeg2000File(lossless, 3, "RGB", 16, 32, {stream.substr(0, 60)}, 1, false), 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(&row - rows);
        WriteBytes(dir_.path("d.dcm"), row.file);
        const ReadResult got = Read(dir_.path("d.dcm"));
        EXPECT_TRUE(got.blockLargeEnough);
        EXPECT_TRUE(row.code != 0 ? got.code == row.code
                                  : got.code > 0 || got.code == decode::kReadError)
            << got.code;
    }
}

// The public JPEG 2000 samples equal dcmj2pnm's rendering of GDCM's decompressed copy.
TEST_F(DicomModule, PublicJpeg2000MatchesGdcmAndDcmtk) {
    REQUIRE_TESTDATA("dcm");
    if (!oracle::ToolAvailable("gdcmconv") || !oracle::ToolAvailable("dcmj2pnm"))
        GTEST_SKIP() << "GDCM or DCMTK missing";
    for (const char* name : {"JPEG2000.dcm", "MR_small_jp2klossless.dcm", "US1_J2KI.dcm"}) {
        SCOPED_TRACE(name);
        const fs::path file = testsupport::TestData("dcm") / name, raw = dir_.path(name);
        ASSERT_TRUE(Succeeds("gdcmconv --raw " + Quote(file) + " " + Quote(raw)));
        const ReadResult got = Read(file);
        ASSERT_GT(got.code, 0);
        EXPECT_EQ(testsupport::ComparePictures(got.picture.Picture(), Dcmtk(raw)), "");
    }
}

// Data sets without preamble and meta header, as dcmconv writes them in each encoding, read
// as dcmj2pnm reads them.
TEST_F(DicomModule, BareDataSetsMatchDcmtk) {
    if (!oracle::ToolAvailable("img2dcm") || !oracle::ToolAvailable("dcmconv") ||
        !oracle::ToolAvailable("convert"))
        GTEST_SKIP() << "DCMTK or ImageMagick missing";
    const fs::path ppm = dir_.path("s.ppm"), bmp = dir_.path("s.bmp");
    std::vector<fs::path> sources = {dir_.path("colour.dcm")};
    ASSERT_TRUE(testsupport::WritePpm(ppm, testsupport::TestPattern(33, 20)));
    ASSERT_TRUE(Succeeds("convert " + Quote(ppm) + " BMP3:" + Quote(bmp)));
    ASSERT_TRUE(Succeeds("img2dcm -i BMP " + Quote(bmp) + " " + Quote(sources[0])));
    for (const char* name : {"CT_small.dcm", "MR_small.dcm"}) {
        if (fs::exists(testsupport::TestData("dcm") / name))
            sources.push_back(testsupport::TestData("dcm") / name);
    }
    for (const fs::path& source : sources) {
        for (const char* encoding : {"+ti", "+te", "+tb"}) {
            SCOPED_TRACE(source.filename().string() + " " + encoding);
            const fs::path bare = dir_.path("bare.dcm");
            ASSERT_TRUE(Succeeds(std::string("dcmconv -F ") + encoding + " " + Quote(source) + " " +
                                 Quote(bare)));
            ASSERT_NE(ReadBytes(bare).substr(128, 4), "DICM");
            const ReadResult got = Read(bare);
            ASSERT_GT(got.code, 0);
            EXPECT_EQ(testsupport::ComparePictures(got.picture.Picture(), Dcmtk(bare)), "");
        }
    }
}

}  // namespace
}  // namespace codecs_test
