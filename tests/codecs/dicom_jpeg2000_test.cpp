// "ReadDCM" on JPEG 2000 data sets and on data sets without a meta header. Hand-built files
// wrap opj_compress codestreams and are compared with opj_decompress's reading of the same
// codestreams; the public JPEG 2000 samples with dcmj2pnm's rendering of GDCM's decompression
// of them; bare data sets written by dcmconv with dcmj2pnm's reading of them.

#include <gtest/gtest.h>

#include "codecs/codec_support.h"
#include "decode/loader_error.h"
#include "platform/os/handles.h"
#include "support/oracle.h"
#include "support/picture.h"
#include "support/testdata.h"

namespace codecs_test {
namespace {

void Put16(std::string& out, uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8 & 0xFF);
}
void Put32(std::string& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// An explicit VR little endian element with a short length field.
void Element(std::string& out, uint16_t group, uint16_t element, const char* vr,
             std::string value) {
    if (value.size() % 2) value += std::string(vr) == "UI" ? '\0' : ' ';
    Put16(out, group);
    Put16(out, element);
    out += vr;
    Put16(out, static_cast<uint32_t>(value.size()));
    out += value;
}
std::string Us(uint16_t v) {
    std::string s;
    Put16(s, v);
    return s;
}

// A Part 10 file holding frames as an encapsulated pixel sequence, each frame split into
// `split` fragments, with a basic offset table when `offsetTable`.
std::string Jpeg2000File(const std::string& syntax, int samples, const std::string& photometric,
                         int rows, int columns, const std::vector<std::string>& frames, int split,
                         bool offsetTable) {
    std::string meta;
    Element(meta, 0x0002, 0x0010, "UI", syntax);
    std::string out(128, '\0');
    out += "DICM";
    std::string length;
    Put32(length, static_cast<uint32_t>(meta.size()));
    Element(out, 0x0002, 0x0000, "UL", length);
    out += meta;
    Element(out, 0x0028, 0x0002, "US", Us(static_cast<uint16_t>(samples)));
    Element(out, 0x0028, 0x0004, "CS", photometric);
    if (samples == 3) Element(out, 0x0028, 0x0006, "US", Us(0));
    Element(out, 0x0028, 0x0008, "IS", std::to_string(frames.size()));
    Element(out, 0x0028, 0x0010, "US", Us(static_cast<uint16_t>(rows)));
    Element(out, 0x0028, 0x0011, "US", Us(static_cast<uint16_t>(columns)));
    Element(out, 0x0028, 0x0100, "US", Us(8));
    Element(out, 0x0028, 0x0101, "US", Us(8));
    Element(out, 0x0028, 0x0102, "US", Us(7));
    Element(out, 0x0028, 0x0103, "US", Us(0));
    if (samples == 1) {
        Element(out, 0x0028, 0x1050, "DS", "127.5");
        Element(out, 0x0028, 0x1051, "DS", "256");
    }
    auto item = [](std::string& to, const std::string& value) {
        Put16(to, 0xFFFE);
        Put16(to, 0xE000);
        Put32(to, static_cast<uint32_t>(value.size()));
        to += value;
    };
    std::string table, items;
    for (const std::string& frame : frames) {
        Put32(table, static_cast<uint32_t>(items.size()));
        std::string even = frame + std::string(frame.size() % 2, '\0');
        const size_t piece = (even.size() / split + 1) & ~size_t{1};
        for (size_t at = 0; at < even.size(); at += piece)
            item(items, even.substr(at, piece));
    }
    Put16(out, 0x7FE0);
    Put16(out, 0x0010);
    out += "OB";
    Put16(out, 0);
    Put32(out, 0xFFFFFFFF);
    item(out, offsetTable ? table : std::string());
    out += items;
    Put16(out, 0xFFFE);
    Put16(out, 0xE0DD);
    Put32(out, 0);
    return out;
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

class DicomModule : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(codec_.loaded()) << platform::ModulePath("LMDCM32.DLL");
        read_ = codec_.Entry<ReadDCMProc>("ReadDCM");
        ASSERT_NE(read_, nullptr);
    }
    ReadResult Read(const fs::path& file, int32_t image = 1) {
        return CallReadDcm(read_, file, image);
    }
    // dcmj2pnm's rendering with the window choice the module makes.
    static std::vector<oracle::RgbImage> Dcmtk(const fs::path& file) {
        const bool windowed = !RunTool("dcmdump -q +P 0028,1050 " + Quote(file)).out.empty();
        return oracle::RunPnmCommand(std::string("dcmj2pnm +op ") + (windowed ? "+Wi 1 " : "+Wm ") +
                                     Quote(file));
    }
    static oracle::RgbImage Rgb(const ReadResult& got) {
        return {got.picture.width, got.picture.height, got.picture.ToRgb(), {}};
    }
    Codec codec_{"LMDCM32.DLL"};
    ReadDCMProc read_ = nullptr;
};

class DicomJpeg2000 : public DicomModule, public ::testing::WithParamInterface<Jpeg2000Case> {};

TEST_P(DicomJpeg2000, FramesMatchOpjDecompress) {
    const Jpeg2000Case& c = GetParam();
    if (!oracle::ToolAvailable("opj_compress") || !oracle::ToolAvailable("opj_decompress"))
        GTEST_SKIP() << "OpenJPEG's tools are not installed";
    TempDir dir;
    const int width = 45, height = 23;
    std::vector<std::string> codestreams;
    std::vector<oracle::RgbImage> wanted;
    for (int f = 0; f < c.frames; ++f) {
        const std::string n = std::to_string(f);
        const fs::path ppm = fs::path(dir.path(n + ".ppm")), src = fs::path(dir.path(n + (c.colour ? ".ppm" : ".pgm")));
        ASSERT_TRUE(
            testsupport::WritePpm(ppm.string(), testsupport::TestPattern(width, height, f)));
        if (!c.colour) {
            ASSERT_EQ(RunTool("ppmtopgm " + Quote(ppm) + " > " + Quote(src)).status, 0);
        }
        const fs::path j2k = fs::path(dir.path(n + ".j2k"));
        ASSERT_EQ(RunTool(std::string("opj_compress -n 3 ") + c.compressOptions + " -i " +
                          Quote(src) + " -o " + Quote(j2k))
                      .status,
                  0);
        codestreams.push_back(ReadBytes(j2k));
        const fs::path back = fs::path(dir.path(n + "_back" + (c.colour ? ".ppm" : ".pgm")));
        ASSERT_EQ(RunTool("opj_decompress -i " + Quote(j2k) + " -o " + Quote(back)).status, 0);
        wanted.push_back(oracle::RunPnmCommand("cat " + Quote(back)).at(0));
    }
    const fs::path file = fs::path(dir.path("t.dcm"));
    WriteBytes(file, Jpeg2000File(
                         c.syntax, c.colour ? 3 : 1,
                         c.colour ? (c.compressOptions[0] ? "YBR_ICT" : "YBR_RCT") : "MONOCHROME2",
                         height, width, codestreams, c.split, c.offsetTable));
    for (int f = 0; f < c.frames; ++f) {
        SCOPED_TRACE(f + 1);
        int32_t image = f + 1;
        const ReadResult got = CallReadDcm(read_, file, image);
        ASSERT_GT(got.code, 0);
        EXPECT_EQ(image, c.frames);
        EXPECT_EQ(got.picture.bitCount, c.colour ? 24 : 8);
        EXPECT_EQ(testsupport::ComparePictures(Rgb(got), wanted[f], c.tolerance), "");
    }
}

INSTANTIATE_TEST_SUITE_P(Syntaxes, DicomJpeg2000, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A codestream that disagrees with the data set (size, samples), one that is not a codestream,
// and one cut short: refused with a loader code, or (cut short) shown as far as it goes.
TEST_F(DicomModule, DamagedJpeg2000) {
    if (!oracle::ToolAvailable("opj_compress")) GTEST_SKIP() << "OpenJPEG's tools are not installed";
    TempDir dir;
    ASSERT_TRUE(
        testsupport::WritePpm(fs::path(dir.path("s.ppm")).string(), testsupport::TestPattern(32, 16)));
    ASSERT_EQ(RunTool("opj_compress -n 3 -i " + Quote(fs::path(dir.path("s.ppm"))) + " -o " +
                      Quote(fs::path(dir.path("s.j2k"))))
                  .status,
              0);
    const std::string stream = ReadBytes(fs::path(dir.path("s.j2k")));
    const std::string lossless = "1.2.840.10008.1.2.4.90";
    const struct {
        std::string file;
        int32_t code;  // 0: a picture or any loader code
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
        WriteBytes(fs::path(dir.path("d.dcm")), row.file);
        const ReadResult got = Read(fs::path(dir.path("d.dcm")));
        EXPECT_TRUE(got.blockLargeEnough);
        if (row.code != 0) {
            EXPECT_EQ(got.code, row.code);
        } else {
            EXPECT_TRUE(got.code > 0 || got.code == decode::kReadError) << got.code;
        }
    }
}

// The public JPEG 2000 samples equal dcmj2pnm's rendering of GDCM's decompressed copy.
TEST_F(DicomModule, PublicJpeg2000MatchesGdcmAndDcmtk) {
    REQUIRE_TESTDATA("dcm");
    if (!oracle::ToolAvailable("gdcmconv") || !oracle::ToolAvailable("dcmj2pnm")) GTEST_SKIP() << "GDCM or DCMTK missing";
    TempDir dir;
    for (const char* name : {"JPEG2000.dcm", "MR_small_jp2klossless.dcm", "US1_J2KI.dcm"}) {
        SCOPED_TRACE(name);
        const fs::path file = testsupport::TestData("dcm") / name, raw = fs::path(dir.path(name));
        ASSERT_EQ(RunTool("gdcmconv --raw " + Quote(file) + " " + Quote(raw)).status, 0);
        const ReadResult got = Read(file);
        ASSERT_GT(got.code, 0);
        const auto want = Dcmtk(raw);
        ASSERT_EQ(want.size(), 1u);
        EXPECT_EQ(testsupport::ComparePictures(Rgb(got), want[0]), "");
    }
}

// Data sets without preamble and meta header, as dcmconv writes them in each encoding, read
// as dcmj2pnm reads them.
TEST_F(DicomModule, BareDataSetsMatchDcmtk) {
    if (!oracle::ToolAvailable("img2dcm") || !oracle::ToolAvailable("dcmconv") || !oracle::ToolAvailable("convert"))
        GTEST_SKIP() << "DCMTK or ImageMagick missing";
    TempDir dir;
    ASSERT_TRUE(
        testsupport::WritePpm(fs::path(dir.path("s.ppm")).string(), testsupport::TestPattern(33, 20)));
    ASSERT_EQ(
        RunTool("convert " + Quote(fs::path(dir.path("s.ppm"))) + " BMP3:" + Quote(fs::path(dir.path("s.bmp")))).status,
        0);
    ASSERT_EQ(
        RunTool("img2dcm -i BMP " + Quote(fs::path(dir.path("s.bmp"))) + " " + Quote(fs::path(dir.path("colour.dcm"))))
            .status,
        0);
    std::vector<fs::path> sources = {fs::path(dir.path("colour.dcm"))};
    for (const char* name : {"CT_small.dcm", "MR_small.dcm"})
        if (fs::exists(testsupport::TestData("dcm") / name)) sources.push_back(testsupport::TestData("dcm") / name);
    int compared = 0;
    for (const fs::path& source : sources) {
        for (const char* encoding : {"+ti", "+te", "+tb"}) {
            SCOPED_TRACE(source.filename().string() + " " + encoding);
            const fs::path bare = fs::path(dir.path("bare.dcm"));
            ASSERT_EQ(RunTool(std::string("dcmconv -F ") + encoding + " " + Quote(source) + " " +
                              Quote(bare))
                          .status,
                      0);
            ASSERT_NE(ReadBytes(bare).substr(128, 4), "DICM");
            const ReadResult got = Read(bare);
            ASSERT_GT(got.code, 0);
            const auto want = Dcmtk(bare);
            ASSERT_EQ(want.size(), 1u);
            EXPECT_EQ(testsupport::ComparePictures(Rgb(got), want[0]), "");
            ++compared;
        }
    }
    EXPECT_GE(compared, 3);
}

}  // namespace
}  // namespace codecs_test
