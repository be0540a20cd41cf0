// "ReadDCM" of LMDCM32.DLL: against DCMTK's command-line renderers on the public samples and on
// files rewritten with dcmtk's tools, against ImageMagick where it reads the file, against the
// DICOM linear window function on hand-made 8, 12 and 16-bit files, and on damaged, truncated
// and oversized files.

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "codecs/codec_support.h"
#include "codecs/dicom_builder.h"
#include "decode/loader.h"
#include "decode/loader_error.h"
#include "platform/gdi/gdi.h"
#include "platform/os/handles.h"

namespace codecs_test {
namespace {

// The DICOM linear VOI function onto 0..255: values at or below the window's lower edge are
// black, above its upper edge white, linear in between.
double LinearWindow(double value, double centre, double width) {
    const double low = centre - 0.5 - (width - 1) / 2;
    const double high = centre - 0.5 + (width - 1) / 2;
    if (value <= low) return 0;
    if (value > high) return 255;
    return ((value - (centre - 0.5)) / (width - 1) + 0.5) * 255;
}

// Greatest difference between a decoded monochrome picture and the expected grey levels.
int WorstGreyError(const Decoded& d, const std::vector<double>& expected) {
    int worst = 0;
    for (int y = 0; y < d.height; ++y) {
        for (int x = 0; x < d.width; ++x) {
            const double want = expected[static_cast<size_t>(y) * d.width + x];
            worst = std::max(worst, static_cast<int>(std::ceil(std::abs(d.Rgb(x, y)[0] - want))));
        }
    }
    return worst;
}

bool HaveDcmtk() {
    for (const char* tool : {"dcmj2pnm", "dcml2pnm", "dcmconv", "dcmcrle", "dcmcjpeg", "dcmcjpls",
                             "dcmdump", "img2dcm", "convert"}) {
        if (!oracle::ToolAvailable(tool)) return false;
    }
    return true;
}

// DCMTK's rendering of one frame with the window choice the module makes: the file's first
// window, else the full range.
std::vector<oracle::RgbImage> Dcmtk(const fs::path& file, int frame = 1) {
    const bool windowed = oracle::RunCommand("dcmdump -q +P 0028,1050 " + Quote(file)) != "";
    const std::string options =
        std::string(windowed ? " +Wi 1" : " +Wm") + " +op +F " + std::to_string(frame) + " ";
    auto frames = oracle::RunPnmCommand("dcmj2pnm" + options + Quote(file));
    return frames.empty() ? oracle::RunPnmCommand("dcml2pnm" + options + Quote(file)) : frames;
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

// 8, 12 and 16-bit monochrome, unsigned and signed, with and without a rescale: the file's
// first window when it has a usable one, else its full value range, through the linear window
// function; MONOCHROME1 the same with black and white exchanged. Output is 8-bit over a grey
// ramp.
TEST_F(DicomRead, MonochromeDepthsFollowTheWindowFunction) {
    struct Case {
        const char* name;
        int allocated, stored;
        bool isSigned;
        int lowest, highest;  // stored values, spread over the picture
        double slope, intercept;
        double centre, width;  // width 0: no window in the file; negative: a width of 0
    };
    const Case cases[] = {
        {"8-bit", 8, 8, false, 10, 200, 1, 0, 0, 0},
        {"8-bit windowed", 8, 8, false, 0, 255, 1, 0, 100, 50},
        {"12-bit", 16, 12, false, 0, 4095, 1, 0, 0, 0},
        {"12-bit CT window", 16, 12, false, 0, 4095, 1, -1024, 40, 400},
        {"16-bit", 16, 16, false, 1000, 60000, 1, 0, 0, 0},
        {"16-bit windowed", 16, 16, false, 0, 65535, 1, 0, 30000, 20000},
        {"16-bit, unusable window", 16, 16, false, 500, 2500, 1, 0, 100, -1},
        {"16-bit signed", 16, 16, true, -2000, 3000, 1, 0, 0, 0},
        {"16-bit signed windowed", 16, 16, true, -2000, 3000, 2, 0, 0, 4000},
    };
    const int width = 40, height = 9, count = width * height;
    for (const Case& c : cases) {
        for (const char* photometric : {"MONOCHROME2", "MONOCHROME1"}) {
            SCOPED_TRACE(std::string(c.name) + " " + photometric);
            const bool inverse = photometric[10] == '1';
            std::vector<int> stored(count);
            std::vector<double> expected(count);
            const double lo = c.slope * c.lowest + c.intercept;
            const double hi = c.slope * c.highest + c.intercept;
            for (int i = 0; i < count; ++i) {
                stored[i] =
                    c.lowest + static_cast<int>(int64_t{c.highest - c.lowest} * i / (count - 1));
                const double value = c.slope * stored[i] + c.intercept;
                const double grey = c.width > 0 ? LinearWindow(value, c.centre, c.width)
                                                : (value - lo) / (hi - lo) * 255;
                expected[i] = inverse ? 255 - grey : grey;
            }
            DicomBuilder b;
            b.Image(1, photometric, 0, height, width, c.allocated, c.stored, c.isSigned);
            if (c.width != 0) {
                b.Text(0x0028, 0x1050, "DS", std::to_string(c.centre));
                b.Text(0x0028, 0x1051, "DS", std::to_string(std::max(c.width, 0.0)));
            }
            if (c.slope != 1 || c.intercept != 0) {
                b.Text(0x0028, 0x1052, "DS", std::to_string(c.intercept));
                b.Text(0x0028, 0x1053, "DS", std::to_string(c.slope));
            }
            std::string data = Le16(stored);
            if (c.allocated == 8) data = std::string(stored.begin(), stored.end());
            const ReadResult got =
                ReadBytes(b.Pixels(data, c.allocated == 8 ? "OB" : "OW").bytes());
            ASSERT_GT(got.code, 0);
            EXPECT_EQ(imageCount_, 1);
            ASSERT_EQ(got.picture.bitCount, 8);
            EXPECT_TRUE(got.picture.GreyRamp());
            EXPECT_LE(WorstGreyError(got.picture, expected), 1);
        }
    }
}

// The public samples against DCMTK's own renderers (dcmj2pnm, dcml2pnm for JPEG-LS), frame by
// frame: equal, or both refuse the file (a truncated file, a damaged first element and a
// JPEG-LS stream DCMTK's codec rejects). DCMTK cannot decode JPEG 2000: those are compared
// through GDCM elsewhere. The image counts of the multi-frame samples.
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
    for (const auto& [name, count] :
         {std::pair{"emri_small.dcm", 10}, std::pair{"emri_small_RLE.dcm", 10},
          std::pair{"SC_rgb_2frame.dcm", 2}, std::pair{"examples_ybr_color.dcm", 30},
          std::pair{"liver.dcm", 3}, std::pair{"rtdose.dcm", 15}}) {
        EXPECT_GT(Read(Sample(name)).code, 0);
        EXPECT_EQ(imageCount_, count) << name;
    }
}

// A colour picture wrapped by img2dcm and a 12-bit MONOCHROME1 file made here, rewritten in
// every other uncompressed syntax and recompressed with every lossless encoder dcmtk has,
// decode exactly as the original does (the colour one as its source picture); baseline JPEG
// equals dcmj2pnm's rendering and ImageMagick's.
TEST_F(DicomRead, EveryLosslessSyntaxGivesBackTheOriginal) {
    if (!HaveDcmtk()) GTEST_SKIP() << "dcmtk or ImageMagick not installed";
    const fs::path ppm = dir_.path("source.ppm"), bmp = dir_.path("source.bmp");
    const fs::path colour = dir_.path("colour.dcm"), grey = dir_.path("grey.dcm");
    ASSERT_TRUE(testsupport::WritePpm(ppm, testsupport::TestPattern(37, 23, 7)));
    ASSERT_TRUE(Succeeds("convert " + Quote(ppm) + " BMP3:" + Quote(bmp)));
    ASSERT_TRUE(Succeeds("img2dcm -i BMP " + Quote(bmp) + " " + Quote(colour)));
    std::vector<int> values;
    for (int i = 0; i < 33 * 17; ++i)
        values.push_back((i * 7919) % 4096);
    DicomBuilder b;
    b.Image(1, "MONOCHROME1", 0, 17, 33, 16, 12).Text(0x0028, 0x1050, "DS", "2048");
    WriteBytes(grey, b.Text(0x0028, 0x1051, "DS", "1024").Pixels(Le16(values)).bytes());
    const ReadResult greyOriginal = Read(grey);
    const oracle::RgbImage source = oracle::FirstPicture("convert " + Quote(bmp) + " ppm:-");
    ASSERT_EQ(greyOriginal.picture.bitCount, 8);

    for (const char* command : {"dcmconv +tb", "dcmconv +ti", "dcmconv +td", "dcmcrle",
                                "dcmcjpeg +e1", "dcmcjpeg +el", "dcmcjpls +el"}) {
        for (const fs::path& original : {colour, grey}) {
            SCOPED_TRACE(std::string(command) + " " + original.filename().string());
            const fs::path file = dir_.path("variant.dcm");
            ASSERT_TRUE(Succeeds(std::string(command) + " " + Quote(original) + " " + Quote(file)));
            const ReadResult got = Read(file);
            ASSERT_GT(got.code, 0);
            EXPECT_EQ(imageCount_, 1);
            const oracle::RgbImage want =
                original == grey ? greyOriginal.picture.Picture() : source;
            EXPECT_EQ(testsupport::ComparePictures(got.picture.Picture(), want), "");
        }
    }
    // Baseline JPEG: img2dcm wraps a JPEG file as it is (YBR_FULL_422); dcmcjpeg re-encodes.
    const fs::path jpg = dir_.path("source.jpg"), wrapped = dir_.path("wrapped.dcm");
    const fs::path baseline = dir_.path("baseline.dcm");
    ASSERT_TRUE(Succeeds("convert " + Quote(bmp) + " -quality 90 " + Quote(jpg)));
    ASSERT_TRUE(Succeeds("img2dcm " + Quote(jpg) + " " + Quote(wrapped)));
    ASSERT_TRUE(Succeeds("dcmcjpeg +eb " + Quote(colour) + " " + Quote(baseline)));
    for (const fs::path& file : {wrapped, baseline}) {
        SCOPED_TRACE(file.filename().string());
        const ReadResult got = Read(file);
        ASSERT_EQ(got.picture.bitCount, 24);
        const auto dcmtk = Dcmtk(file);
        ASSERT_EQ(dcmtk.size(), 1u);
        EXPECT_EQ(testsupport::ComparePictures(got.picture.Picture(), dcmtk[0]), "");
        const auto magick = oracle::ImageMagickFrames("dcm:" + file.string());
        ASSERT_EQ(magick.size(), 1u);
        EXPECT_EQ(testsupport::ComparePictures(got.picture.Picture(), magick[0], 1), "");
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
    const ReadResult fourth = Read(Sample("emri_small.dcm"), 4);
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
    EXPECT_NE(testsupport::ComparePictures(testsupport::LoadFile(Sample("emri_small.dcm")).picture,
                                           fourth.picture.Picture()),
              "")
        << "the first and the fourth image differ";

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
// them, reads anything: offsets past the fragment's end, out of order, too many segments and
// fragments too short for their header fail with the read code.
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
          std::string(32, '\1')})
        EXPECT_EQ(picture(bad).code, decode::kReadError);
}

// Files cut short anywhere in their pixel data fail with the read code, in their header with the
// header code.
TEST_F(DicomRead, TruncatedFilesFailWithReadError) {
    REQUIRE_TESTDATA("dcm");
    EXPECT_EQ(Read(Sample("MR_truncated.dcm")).code, decode::kReadError);
    for (const char* name : {"MR_small.dcm", "SC_rgb_rle_2frame.dcm", "emri_small.dcm",
                             "SC_rgb_jpeg_dcmtk.dcm", "examples_ybr_color.dcm"}) {
        SCOPED_TRACE(name);
        const std::string whole = codecs_test::ReadBytes(Sample(name));
        for (size_t keep : {whole.size() - 1, whole.size() - 100, whole.size() * 3 / 4})
            EXPECT_EQ(ReadBytes(whole.substr(0, keep)).code, decode::kReadError) << keep;
        EXPECT_EQ(ReadBytes(whole.substr(0, 100)).code, decode::kBadHeader);
    }
}

// Damaged copies of the samples (cut short, bytes overwritten, bytes inserted) give a loader
// code or a complete picture, never a crash, and leak nothing.
TEST_F(DicomRead, SurvivesDamagedFiles) {
    REQUIRE_TESTDATA("dcm");
    const size_t memoryBefore = platform::CountHandles(platform::HandleKind::Memory);
    int pictures = 0, failures = 0;
    for (const char* name :
         {"MR_small.dcm", "MR_small_RLE.dcm", "MR_small_implicit.dcm", "MR_small_bigendian.dcm",
          "SC_rgb_rle_2frame.dcm", "SC_rgb_jpeg_dcmtk.dcm", "JPEGLSNearLossless_08.dcm",
          "MR_small_jpeg_ls_lossless.dcm", "JPGExtended.dcm", "OT-PAL-8-face.dcm",
          "SC_ybr_full_422_uncompressed.dcm", "image_dfl.dcm", "liver.dcm", "rtdose.dcm"}) {
        const auto copies = DamagedCopies(codecs_test::ReadBytes(Sample(name)), 60);
        for (size_t i = 0; i < copies.size(); ++i) {
            SCOPED_TRACE(testing::Message() << name << " copy " << i);
            const ReadResult got = ReadBytes(copies[i], static_cast<int32_t>(i % 3));
            TallyDamagedRead(got, pictures, failures);
            if (got.code > 0) {
                EXPECT_GE(imageCount_, 1);
            }
        }
    }
    EXPECT_GT(pictures, 0);
    EXPECT_GT(failures, 0);
    EXPECT_EQ(platform::CountHandles(platform::HandleKind::Memory), memoryBefore);
}

}  // namespace
}  // namespace codecs_test
