// "ReadDCM" of LMDCM32.DLL: against DCMTK's command-line renderers on the public samples and on
// samples relabelled with dcmtk's tools, on hand-made multi-frame, damaged, truncated and
// oversized files; JPEG 2000 data sets against OpenJPEG's tools and GDCM.

#include <gtest/gtest.h>

#include <tuple>

#include "codecs/codec_support.h"
#include "codecs/dicom_builder.h"
#include "decode/loader.h"
#include "decode/loader_error.h"
#include "platform/gdi/gdi.h"
#include "platform/os/handles.h"

namespace codecs_test {
namespace {

bool HaveDcmtk() {
    for (const char* tool : {"dcmj2pnm", "dcml2pnm", "dcmdump"}) {
        if (!oracle::ToolAvailable(tool)) return false;
    }
    return true;
}

class DicomRead : public ModuleTest<ReadDCMProc> {
  protected:
    DicomRead() : ModuleTest("LMDCM32.DLL", "ReadDCM") {}
    ReadResult Read(const fs::path& file, int32_t wanted = 0) {
        imageCount_ = wanted;
        return CallReadDcm(read_, file, imageCount_);
    }
    ReadResult ReadBytes(const std::string& bytes, int32_t wanted = 0) {
        WriteBytes(dir_.path("built.dcm"), bytes);
        return Read(dir_.path("built.dcm"), wanted);
    }
    static fs::path Sample(const char* name) { return testsupport::TestData("dcm") / name; }

    TempDir dir_;
    int32_t imageCount_ = 0;  // what the module left in the image number
};

// The public samples against DCMTK's own renderers (dcmj2pnm, dcml2pnm for JPEG-LS), frame by
// frame: equal, or both refuse the file (a truncated file, a damaged first element and a
// JPEG-LS stream DCMTK's codec rejects). DCMTK cannot decode JPEG 2000: those are compared
// through GDCM elsewhere.
TEST_F(DicomRead, PublicSamplesMatchDcmtkRenderers) {
    REQUIRE_TESTDATA("dcm");
    if (!HaveDcmtk()) GTEST_SKIP() << "dcmtk not installed";
    int matched = 0, refused = 0;
    for (const fs::path& file : testsupport::SampleFiles("dcm", ".dcm")) {
        SCOPED_TRACE(file.filename().string());
        const ReadResult first = Read(file, 1);
        const auto want = Dcmtk(file);
        if (want.empty()) {
            const auto syntax = oracle::RunCommand("dcmdump -q +P 0002,0010 " + Quote(file));
            if (first.code > 0 && syntax->find("JPEG2000") != std::string::npos) continue;
            EXPECT_TRUE(IsReadFailure(first.code)) << first.code;
            ++refused;
            continue;
        }
        ASSERT_GT(first.code, 0) << "DCMTK's renderer reads it";
        const int count = imageCount_;
        for (int frame = 1; frame <= std::min(count, 3); ++frame) {
            SCOPED_TRACE(frame);
            const ReadResult got = frame == 1 ? first : Read(file, frame);
            ASSERT_GT(got.code, 0);
            EXPECT_EQ(imageCount_, count);
            const auto theirs = frame == 1 ? want : Dcmtk(file, frame);
            ASSERT_EQ(theirs.size(), 1u);
            EXPECT_EQ(testsupport::ComparePictures(got.picture.Picture(), theirs[0]), "");
        }
        ++matched;
    }
    EXPECT_GE(matched, 30);
    EXPECT_GE(refused, 3);
}

// What the public set lacks, made from its samples by dcmodify, against DCMTK's rendering:
// MONOCHROME1, windowed and not; a window of width 0, which is unusable, gives the full value
// range as without a window.
TEST_F(DicomRead, RelabelledSamplesMatchDcmtk) {
    REQUIRE_TESTDATA("dcm");
    if (!HaveDcmtk() || !oracle::ToolAvailable("dcmodify")) GTEST_SKIP() << "dcmtk not installed";
    const struct {
        const char* sample;
        const char* edit;        // of the file read
        const char* oracleEdit;  // further, of the copy DCMTK renders
    } rows[] = {
        {"MR_small.dcm", "-m '(0028,0004)=MONOCHROME1'", ""},
        {"emri_small_RLE.dcm", "-m '(0028,0004)=MONOCHROME1'", ""},
        {"rtdose_1frame.dcm", "-m '(0028,0004)=MONOCHROME1'", ""},
        {"MR_small.dcm", "-m '(0028,1051)=0'", "-e '(0028,1050)' -e '(0028,1051)'"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.sample) + " " + row.edit);
        const fs::path file = dir_.path("edited.dcm"), oracle = dir_.path("oracle.dcm");
        fs::copy_file(Sample(row.sample), file, fs::copy_options::overwrite_existing);
        ASSERT_TRUE(Succeeds("dcmodify -nb " + std::string(row.edit) + " " + Quote(file)));
        fs::copy_file(file, oracle, fs::copy_options::overwrite_existing);
        ASSERT_TRUE(!*row.oracleEdit ||
                    Succeeds("dcmodify -nb " + std::string(row.oracleEdit) + " " + Quote(oracle)));
        const ReadResult got = Read(file);
        ASSERT_GT(got.code, 0);
        EXPECT_EQ(testsupport::ComparePictures(got.picture.Picture(), Dcmtk(oracle).at(0)), "");
    }
}

// Images are numbered from 1; 0, and numbers outside 1..count, give the first; the count comes
// back in the number, for uncompressed and RLE files alike. A NumberOfFrames beyond what the
// pixel data holds counts only the frames present.
TEST_F(DicomRead, MultiFrameNumbersImagesFromOne) {
    if (!oracle::ToolAvailable("dcmcrle")) GTEST_SKIP() << "dcmtk not installed";
    const int frames = 3, width = 5, height = 4;
    auto build = [&](int statedFrames) {
        std::string data;
        for (int f = 0; f < frames; ++f) {
            for (int i = 0; i < width * height; ++i)
                data += {static_cast<char>(40 + 80 * f), static_cast<char>(250 - 60 * f),
                         static_cast<char>(i * 10)};
        }
        return DicomBuilder().Image(3, "RGB", statedFrames, height, width, 8, 8).Pixels(data, "OB");
    };
    const fs::path plain = dir_.path("frames.dcm"), rle = dir_.path("frames-rle.dcm");
    WriteBytes(plain, build(frames).bytes());
    ASSERT_TRUE(Succeeds("dcmcrle " + Quote(plain) + " " + Quote(rle)));
    for (const fs::path& file : {plain, rle}) {
        for (int32_t wanted : {0, 1, 2, 3, 4, -1, 1000}) {
            SCOPED_TRACE(testing::Message() << file.filename() << " image " << wanted);
            const ReadResult got = Read(file, wanted);
            ASSERT_GT(got.code, 0);
            EXPECT_EQ(imageCount_, frames);
            const int f = wanted >= 1 && wanted <= frames ? wanted - 1 : 0;
            const auto want =
                std::array<uint8_t, 3>{uint8_t(40 + 80 * f), uint8_t(250 - 60 * f), 70};
            EXPECT_EQ(got.picture.Rgb(2, 1), want);
        }
    }
    const ReadResult overstated = ReadBytes(build(1000000).bytes(), 3);
    ASSERT_GT(overstated.code, 0);
    EXPECT_EQ(imageCount_, frames);
    EXPECT_EQ(overstated.picture.Rgb(0, 0)[0], 200);
}

// The loader's road: the decode area's image cell goes in as the image wanted and comes back
// as the count; every public sample either loads as 8 or 24 bits, as the module reads it, or
// fails with a loader code.
TEST_F(DicomRead, LoaderCarriesTheImageNumberAndSurvivesEverySample) {
    REQUIRE_TESTDATA("dcm");
    decode::DecodedImage img;
    img.dicomImage = 4;
    const HDC dc = platform::GetDC(0);
    const HBITMAP bitmap = decode::LoadImageFile(img, Sample("emri_small.dcm").string(), dc, {});
    EXPECT_NE(bitmap, 0u);
    EXPECT_EQ(img.dicomImage, 10);
    EXPECT_EQ(img.format, "dicom");
    if (bitmap) platform::DeleteObject(bitmap);
    if (img.paletteHandle) platform::DeleteObject(img.paletteHandle);
    platform::ReleaseDC(0, dc);

    int loaded = 0;
    for (const fs::path& sample : testsupport::SampleFiles("dcm", ".dcm")) {
        SCOPED_TRACE(sample.filename().string());
        const testsupport::FileLoad load = testsupport::LoadFile(sample.string());
        EXPECT_EQ(load.format, "dicom");
        if (load.rc != 0) {
            EXPECT_TRUE(IsReadFailure(load.rc)) << load.rc;
            continue;
        }
        EXPECT_TRUE(load.pixelBits == 8 || load.pixelBits == 24) << load.pixelBits;
        EXPECT_EQ(testsupport::ComparePictures(load.picture, Read(sample).picture.Picture()), "");
        ++loaded;
    }
    EXPECT_GE(loaded, 30);
}

// Missing, foreign, empty, pixel-less and oversized files fail with the loader's codes,
// before anything is allocated for the picture, and leak nothing.
TEST_F(DicomRead, FailuresGiveLoaderCodesAndLeakNothing) {
    auto mono = [](int rows, int columns, int allocated, const std::string& pixels) {
        return DicomBuilder()
            .Image(1, "MONOCHROME2", 0, rows, columns, allocated, allocated)
            .Pixels(pixels, "OB")
            .bytes();
    };
    auto colour = [](int rows, int columns) {
        return DicomBuilder()
            .Image(3, "RGB", 0, rows, columns, 8, 8)
            .Pixels(std::string(64, '\x7f'), "OB")
            .bytes();
    };
    const struct {
        const char* name;
        std::string bytes;
        int32_t code;
    } rows[] = {
        {"empty", "", decode::kBadHeader},
        {"text", "This is a text file, not a picture.\n", decode::kBadHeader},
        {"ends at the magic", std::string(128, '\0') + "DICM", decode::kReadError},
        {"no pixel data", DicomBuilder().Image(1, "MONOCHROME2", 0, 4, 4, 8, 8).bytes(),
         decode::kNoBitmap},
        {"no rows", mono(0, 4, 8, std::string(16, 'x')), decode::kBadHeader},
        // Sizes are refused from the header, whatever pixel data follows.
        {"40000 rows", mono(40000, 4, 8, std::string(64, 'x')), decode::kNoMemory},
        {"32768 columns", mono(4, 32768, 8, std::string(64, 'x')), decode::kNoMemory},
        {"65535 squared", mono(65535, 65535, 8, std::string(64, 'x')), decode::kNoMemory},
        {"30000 squared RGB", colour(30000, 30000), decode::kNoMemory},  // 2.7 GB at 24 bits
        // Within the limits, pixel data short of one whole image is a file cut short.
        {"20000 squared", mono(20000, 20000, 8, std::string(64, 'x')), decode::kReadError},
        {"one byte short", mono(3, 3, 16, std::string(16, '\1')), decode::kReadError},
        {"RLE offset table only",
         DicomBuilder("1.2.840.10008.1.2.5")
             .Image(1, "MONOCHROME2", 0, 3, 3, 8, 8)
             .Encapsulated({""})
             .bytes(),
         decode::kReadError},
    };
    const size_t memoryBefore = platform::CountHandles(platform::HandleKind::Memory);
    for (const auto& row : rows)
        EXPECT_EQ(ReadBytes(row.bytes).code, row.code) << row.name;
    int32_t number = 7;
    BITMAPINFOHEADER header{};
    std::array<uint8_t, 768> palette{};
    EXPECT_EQ(read_(nullptr, palette.data(), &header, &number), decode::kCouldNotOpen);
    EXPECT_EQ(CallReadDcm(read_, dir_.path("missing.dcm"), number).code, decode::kCouldNotOpen);
    EXPECT_EQ(number, 7) << "a failure leaves the image number alone";
    EXPECT_EQ(platform::CountHandles(platform::HandleKind::Memory), memoryBefore);
}

// Sequences nested inside each other, `depth` deep, each of undefined length; closed when
// `closed`, else left open to the end of the file.
std::string NestedSequences(int depth, bool closed) {
    const std::string open("\x08\x00\x40\x11SQ\0\0\xff\xff\xff\xff\xfe\xff\x00\xe0\xff\xff\xff\xff",
                           20);
    const std::string close("\xfe\xff\x0d\xe0\0\0\0\0\xfe\xff\xdd\xe0\0\0\0\0", 16);
    std::string out;
    for (int i = 0; i < depth; ++i)
        out += open;
    for (int i = 0; closed && i < depth; ++i)
        out += close;
    return out;
}

// DCMTK parses nested sequences recursively: files nested tens of thousands of levels deep,
// plain, deflated or under an implicit VR label they do not parse in, fail with a code instead
// of exhausting the stack; those nested beyond what a 1 GiB parsing stack covers are refused as
// too large. Ordinary nesting loads.
TEST_F(DicomRead, DeeplyNestedSequencesFailWithACode) {
    const bool gzip = oracle::ToolAvailable("gzip");
    const std::string explicitVr = "1.2.840.10008.1.2.1", deflated = "1.2.840.10008.1.2.1.99";
    for (const auto& [depth, closed, syntax, want] :
         {std::tuple{40, true, explicitVr, 0}, std::tuple{40, true, deflated, 0},
          std::tuple{30000, false, explicitVr, int{decode::kReadError}},
          std::tuple{30000, false, deflated, int{decode::kReadError}},
          std::tuple{30000, true, std::string("1.2.840.10008.1.2"), int{decode::kReadError}},
          std::tuple{200000, false, explicitVr, int{decode::kNoMemory}},
          std::tuple{1000000, false, deflated, int{decode::kNoMemory}}}) {
        SCOPED_TRACE(testing::Message() << depth << " deep, " << syntax);
        if (syntax == deflated && !gzip) continue;
        DicomBuilder b(syntax);
        b.Raw(NestedSequences(depth, closed));
        b.Image(1, "MONOCHROME2", 0, 2, 2, 8, 8).Pixels(std::string("\0\x40\x80\xff", 4), "OB");
        std::string bytes = b.bytes();
        if (syntax == deflated) {
            // Raw deflate: gzip's stream without its 10-byte header and 8-byte trailer.
            WriteBytes(dir_.path("plain.bin"), bytes.substr(b.datasetStart()));
            const auto gz = oracle::RunCommand("gzip -n -c < " + Quote(dir_.path("plain.bin")));
            ASSERT_TRUE(gz && gz->size() > 18);
            bytes = bytes.substr(0, b.datasetStart()) + gz->substr(10, gz->size() - 18);
        }
        const ReadResult got = ReadBytes(bytes);
        if (want != 0) {
            EXPECT_EQ(got.code, want);
            continue;
        }
        ASSERT_GT(got.code, 0);
        EXPECT_EQ(got.picture.Index(0, 1), 0x80);
        EXPECT_EQ(got.picture.Index(1, 1), 0xff);
    }
}

// RLE segment offsets are checked against their fragment before DCMTK's decoder, which trusts
// them, reads anything: offsets past the fragment's end, out of order, too many segments (also
// with offsets that would pass) and fragments too short for their header fail with the read code.
TEST_F(DicomRead, RleSegmentOffsetsStayInsideTheirFragment) {
    const std::string run("\x03\x00\x40\x80\xff\x00", 6);  // literal run of four values, pad
    // The fragment's 64-byte header: the segment count, then each segment's offset.
    auto fragment = [&](const std::vector<uint32_t>& header) {
        std::string out;
        for (uint32_t v : header)
            out += Le32(v);
        return out + std::string(64 - out.size(), '\0') + run;
    };
    auto picture = [&](const std::string& item) {
        DicomBuilder b("1.2.840.10008.1.2.5");
        return ReadBytes(b.Image(1, "MONOCHROME2", 0, 2, 2, 8, 8).Encapsulated({"", item}).bytes());
    };
    const ReadResult good = picture(fragment({1, 64}));
    ASSERT_GT(good.code, 0);
    EXPECT_EQ(good.picture.Index(1, 0), 0x40);
    EXPECT_EQ(good.picture.Index(1, 1), 0xff);
    for (const std::string& bad :
         {fragment({1, 0x7FFFFF00}), fragment({1, 71}), fragment({2, 68, 64}), fragment({16, 64}),
          fragment({16, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64}),
          std::string(32, '\1')})
        EXPECT_EQ(picture(bad).code, decode::kReadError);
}

// Damaged copies of the samples (cut short, bytes overwritten, bytes inserted) give a loader
// code or a complete picture, never a crash, and leak nothing.
TEST_F(DicomRead, SurvivesDamagedFiles) {
    REQUIRE_TESTDATA("dcm");
    std::vector<fs::path> files;
    for (const char* name :
         {"MR_small.dcm", "MR_small_RLE.dcm", "MR_small_implicit.dcm", "MR_small_bigendian.dcm",
          "SC_rgb_rle_2frame.dcm", "SC_rgb_jpeg_dcmtk.dcm", "JPEGLSNearLossless_08.dcm",
          "MR_small_jpeg_ls_lossless.dcm", "JPGExtended.dcm", "OT-PAL-8-face.dcm",
          "SC_ybr_full_422_uncompressed.dcm", "image_dfl.dcm", "liver.dcm", "rtdose.dcm"})
        files.push_back(Sample(name));
    ExpectSurvivesDamage(files, 60, [&](const std::string& bytes, size_t i) {
        ReadResult got = ReadBytes(bytes, static_cast<int32_t>(i % 3));
        EXPECT_TRUE(got.code <= 0 || imageCount_ >= 1);
        return got;
    });
}

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

class DicomJpeg2000 : public DicomRead, public ::testing::WithParamInterface<Jpeg2000Case> {};

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
TEST_F(DicomRead, DamagedJpeg2000) {
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
TEST_F(DicomRead, PublicJpeg2000MatchesGdcmAndDcmtk) {
    REQUIRE_TESTDATA("dcm");
    if (!oracle::ToolAvailable("gdcmconv") || !oracle::ToolAvailable("dcmj2pnm"))
        GTEST_SKIP() << "GDCM or DCMTK missing";
    for (const char* name : {"JPEG2000.dcm", "MR_small_jp2klossless.dcm", "US1_J2KI.dcm"}) {
        SCOPED_TRACE(name);
        const fs::path file = testsupport::TestData("dcm") / name, raw = dir_.path(name);
        ASSERT_TRUE(Succeeds("gdcmconv --raw " + Quote(file) + " " + Quote(raw)));
        const ReadResult got = Read(file);
        ASSERT_GT(got.code, 0);
        EXPECT_EQ(testsupport::ComparePictures(got.picture.Picture(), Dcmtk(raw).at(0)), "");
    }
}

}  // namespace
}  // namespace codecs_test
