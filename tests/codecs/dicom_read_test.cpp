// "ReadDCM" of LMDCM32.DLL: against DCMTK's command-line renderers on the public samples,
// against the source pictures of files made with img2dcm and recompressed with dcmtk's tools,
// against the DICOM linear window function on hand-made 8, 12 and 16-bit files, and on
// damaged, truncated and oversized files.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <tuple>

#include "codecs/codec_support.h"
#include "decode/loader.h"
#include "decode/loader_error.h"
#include "platform/gdi/gdi.h"
#include "platform/os/handles.h"
#include "support/oracle.h"
#include "support/picture.h"
#include "support/testdata.h"

namespace codecs_test {
namespace {

// A DICOM Part 10 file in explicit VR little endian, element by element in tag order.
class DicomBuilder {
  public:
    explicit DicomBuilder(const std::string& transferSyntax = "1.2.840.10008.1.2.1") {
        std::string meta;
        AppendElement(meta, 0x0002, 0x0001, "OB", std::string("\0\1", 2));
        AppendElement(meta, 0x0002, 0x0002, "UI", Uid("1.2.840.10008.5.1.4.1.1.7"));
        AppendElement(meta, 0x0002, 0x0003, "UI", Uid("1.2.3.4.5.6.7"));
        AppendElement(meta, 0x0002, 0x0010, "UI", Uid(transferSyntax));
        bytes_.assign(128, '\0');
        bytes_ += "DICM";
        std::string length(4, '\0');
        for (int i = 0; i < 4; ++i)
            length[i] = static_cast<char>(meta.size() >> (8 * i));
        AppendElement(bytes_, 0x0002, 0x0000, "UL", length);
        bytes_ += meta;
        datasetStart_ = bytes_.size();
        Text(0x0008, 0x0016, "UI", Uid("1.2.840.10008.5.1.4.1.1.7"));
        Text(0x0008, 0x0018, "UI", Uid("1.2.3.4.5.6.7"));
    }

    DicomBuilder& Text(uint16_t group, uint16_t element, const char* vr, std::string value) {
        if (value.size() % 2) value += ' ';
        AppendElement(bytes_, group, element, vr, value);
        return *this;
    }
    DicomBuilder& Us(uint16_t group, uint16_t element, uint16_t value) {
        return Text(group, element, "US",
                    std::string{static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)});
    }
    DicomBuilder& Pixels(const std::string& data, const char* vr = "OW") {
        std::string even = data;
        if (even.size() % 2) even += '\0';
        AppendElement(bytes_, 0x7FE0, 0x0010, vr, even);
        return *this;
    }
    // The image pixel module: samples, interpretation, frames, size and bits.
    DicomBuilder& Image(int samples, const std::string& photometric, int frames, int rows,
                        int columns, int allocated, int stored, bool isSigned) {
        Us(0x0028, 0x0002, static_cast<uint16_t>(samples));
        Text(0x0028, 0x0004, "CS", photometric);
        if (samples > 1) Us(0x0028, 0x0006, 0);
        if (frames > 0) Text(0x0028, 0x0008, "IS", std::to_string(frames));
        Us(0x0028, 0x0010, static_cast<uint16_t>(rows));
        Us(0x0028, 0x0011, static_cast<uint16_t>(columns));
        Us(0x0028, 0x0100, static_cast<uint16_t>(allocated));
        Us(0x0028, 0x0101, static_cast<uint16_t>(stored));
        Us(0x0028, 0x0102, static_cast<uint16_t>(stored - 1));
        return Us(0x0028, 0x0103, isSigned ? 1 : 0);
    }
    // Bytes as they stand, for structures the element helpers do not make.
    DicomBuilder& Raw(const std::string& bytes) {
        bytes_ += bytes;
        return *this;
    }
    const std::string& bytes() const { return bytes_; }
    size_t datasetStart() const { return datasetStart_; }

  private:
    static std::string Uid(std::string uid) {
        if (uid.size() % 2) uid += '\0';
        return uid;
    }
    static void AppendElement(std::string& out, uint16_t group, uint16_t element, const char* vr,
                              const std::string& value) {
        auto put16 = [&](uint32_t v) {
            out += static_cast<char>(v & 0xFF);
            out += static_cast<char>((v >> 8) & 0xFF);
        };
        put16(group);
        put16(element);
        out += vr;
        const std::string_view v(vr);
        if (v == "OB" || v == "OW" || v == "SQ" || v == "UN" || v == "UT") {
            put16(0);
            put16(static_cast<uint32_t>(value.size()));
            put16(static_cast<uint32_t>(value.size() >> 16));
        } else {
            put16(static_cast<uint32_t>(value.size()));
        }
        out += value;
    }

    std::string bytes_;
    size_t datasetStart_ = 0;
};

std::string Le16(const std::vector<int>& values) {
    std::string out;
    for (int v : values) {
        out += static_cast<char>(v & 0xFF);
        out += static_cast<char>((v >> 8) & 0xFF);
    }
    return out;
}

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
            const auto c = d.Rgb(x, y);
            const double want = expected[static_cast<size_t>(y) * d.width + x];
            worst = std::max(worst, static_cast<int>(std::ceil(std::abs(c[0] - want))));
        }
    }
    return worst;
}

// Every code the module gives for a file it cannot show.
bool IsLoaderFailure(int32_t code) {
    static const std::set<int32_t> codes = {decode::kCouldNotOpen, decode::kNoMemory,
                                            decode::kReadError,    decode::kBadHeader,
                                            decode::kNoBitmap,     decode::kUnsupported};
    return codes.count(code) != 0;
}

class DicomRead : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(codec_.loaded()) << platform::ModulePath("LMDCM32.DLL");
        read_ = codec_.Entry<ReadDCMProc>("ReadDCM");
        ASSERT_NE(read_, nullptr);
    }
    static void RequireDcmtkTools() {
        for (const char* tool : {"img2dcm", "dcmj2pnm", "dcml2pnm", "dcmconv", "dcmcrle",
                                 "dcmcjpeg", "dcmcjpls", "dcmdump"}) {
            if (!oracle::ToolAvailable(tool)) GTEST_SKIP() << tool << " (dcmtk) not installed";
        }
    }
    ReadResult Read(const fs::path& file, int32_t wanted = 0) {
        int32_t number = wanted;
        ReadResult got = CallReadDcm(read_, file, number);
        imageCount_ = number;
        return got;
    }
    ReadResult ReadBytes(const std::string& bytes, int32_t wanted = 0) {
        const fs::path file = dir_.path("built.dcm");
        WriteBytes(file, bytes);
        return Read(file, wanted);
    }

    Codec codec_{"LMDCM32.DLL"};
    ReadDCMProc read_ = nullptr;
    TempDir dir_;
    int32_t imageCount_ = 0;  // what the module left in the image number
};

// 8, 12 and 16-bit monochrome, unsigned and signed, with and without a rescale: the file's
// first window when it has one, else its full value range, through the linear window function;
// MONOCHROME1 the same with black and white exchanged. Output is 8-bit over a grey ramp.
TEST_F(DicomRead, MonochromeDepthsFollowTheWindowFunction) {
    struct Case {
        const char* name;
        int allocated, stored;
        bool isSigned;
        int lowest, highest;  // stored values, spread over the picture
        double slope, intercept;
        double centre, width;  // width 0: no window in the file
    };
    const Case cases[] = {
        {"8-bit", 8, 8, false, 10, 200, 1, 0, 0, 0},
        {"8-bit windowed", 8, 8, false, 0, 255, 1, 0, 100, 50},
        {"12-bit", 16, 12, false, 0, 4095, 1, 0, 0, 0},
        {"12-bit CT window", 16, 12, false, 0, 4095, 1, -1024, 40, 400},
        {"16-bit", 16, 16, false, 1000, 60000, 1, 0, 0, 0},
        {"16-bit windowed", 16, 16, false, 0, 65535, 1, 0, 30000, 20000},
        {"16-bit signed", 16, 16, true, -2000, 3000, 1, 0, 0, 0},
        {"16-bit signed windowed", 16, 16, true, -2000, 3000, 2, 0, 0, 4000},
    };
    const int width = 40, height = 9;
    for (const Case& c : cases) {
        for (const char* photometric : {"MONOCHROME2", "MONOCHROME1"}) {
            SCOPED_TRACE(std::string(c.name) + " " + photometric);
            std::vector<int> stored(width * height);
            std::vector<double> expected(stored.size());
            for (size_t i = 0; i < stored.size(); ++i) {
                stored[i] =
                    c.lowest + static_cast<int>((static_cast<int64_t>(c.highest) - c.lowest) *
                                                static_cast<int64_t>(i) / (stored.size() - 1));
            }
            const double lo = c.slope * c.lowest + c.intercept;
            const double hi = c.slope * c.highest + c.intercept;
            for (size_t i = 0; i < stored.size(); ++i) {
                const double value = c.slope * stored[i] + c.intercept;
                const double grey = c.width > 0 ? LinearWindow(value, c.centre, c.width)
                                                : (value - lo) / (hi - lo) * 255;
                expected[i] = photometric[10] == '1' ? 255 - grey : grey;
            }
            DicomBuilder b;
            b.Image(1, photometric, 0, height, width, c.allocated, c.stored, c.isSigned);
            if (c.width > 0) {
                b.Text(0x0028, 0x1050, "DS", std::to_string(c.centre));
                b.Text(0x0028, 0x1051, "DS", std::to_string(c.width));
            }
            if (c.slope != 1 || c.intercept != 0) {
                b.Text(0x0028, 0x1052, "DS", std::to_string(c.intercept));
                b.Text(0x0028, 0x1053, "DS", std::to_string(c.slope));
            }
            std::string data;
            if (c.allocated == 8) {
                for (int v : stored)
                    data += static_cast<char>(v);
            } else {
                data = Le16(stored);
            }
            b.Pixels(data, c.allocated == 8 ? "OB" : "OW");
            const ReadResult got = ReadBytes(b.bytes());
            ASSERT_GT(got.code, 0);
            EXPECT_EQ(imageCount_, 1);
            EXPECT_EQ(got.picture.width, width);
            EXPECT_EQ(got.picture.height, height);
            ASSERT_EQ(got.picture.bitCount, 8);
            for (int i = 0; i < 256; ++i)
                ASSERT_EQ(got.picture.palette[3 * i + 1], i);
            EXPECT_LE(WorstGreyError(got.picture, expected), 1);
            // The ends of the range: black and white where the window reaches them.
            if (c.width == 0) {
                const int first = got.picture.Index(0, 0);
                const int last = got.picture.Index(width - 1, height - 1);
                EXPECT_LE(photometric[10] == '1' ? 255 - first : first, 1);
                EXPECT_GE(photometric[10] == '1' ? 255 - last : last, 254);
            }
        }
    }
}

// A window whose width is not positive is no usable window: the full value range is shown.
TEST_F(DicomRead, UnusableWindowFallsBackToFullRange) {
    DicomBuilder b;
    b.Image(1, "MONOCHROME2", 0, 2, 2, 16, 16, false);
    b.Text(0x0028, 0x1050, "DS", "100").Text(0x0028, 0x1051, "DS", "0");
    b.Pixels(Le16({500, 1000, 1500, 2500}));
    const ReadResult got = ReadBytes(b.bytes());
    ASSERT_GT(got.code, 0);
    EXPECT_EQ(got.picture.Index(0, 0), 0);
    EXPECT_EQ(got.picture.Index(1, 1), 255);
    EXPECT_NEAR(got.picture.Index(1, 0), 255.0 * 500 / 2000, 1);
}

// The public samples against DCMTK's own renderers (dcmj2pnm, dcml2pnm for JPEG-LS) with the
// same window choice, frame by frame: equal, or both refuse the file. The refusals are a
// truncated file, a file whose first element is damaged and a JPEG-LS stream that DCMTK's codec
// rejects. DCMTK has no JPEG 2000 decoder: those files are compared through GDCM elsewhere.
TEST_F(DicomRead, PublicSamplesMatchDcmtkRenderers) {
    REQUIRE_TESTDATA("dcm");
    RequireDcmtkTools();
    if (IsSkipped()) return;
    int matched = 0, refused = 0;
    for (const fs::path& file : testsupport::SampleFiles("dcm")) {
        if (file.extension() != ".dcm") continue;
        SCOPED_TRACE(file.filename().string());
        const ReadResult first = Read(file, 1);
        const bool windowed = !RunTool("dcmdump -q +P 0028,1050 " + Quote(file)).out.empty();
        auto reference = [&](int frame) {
            const std::string options =
                std::string(windowed ? " +Wi 1" : " +Wm") + " +op +F " + std::to_string(frame);
            auto frames = oracle::RunPnmCommand("dcmj2pnm" + options + " " + Quote(file));
            if (frames.empty())
                frames = oracle::RunPnmCommand("dcml2pnm" + options + " " + Quote(file));
            return frames;
        };
        const auto want = reference(1);
        if (want.empty() && first.code > 0 &&
            RunTool("dcmdump -q +P 0002,0010 " + Quote(file)).out.find("JPEG2000") !=
                std::string::npos)
            continue;
        if (want.empty()) {
            EXPECT_TRUE(IsLoaderFailure(first.code)) << first.code;
            ++refused;
            continue;
        }
        ASSERT_GT(first.code, 0) << "DCMTK's renderer reads it";
        const int count = imageCount_;
        EXPECT_GE(count, 1);
        for (int frame = 1; frame <= std::min(count, 3); ++frame) {
            SCOPED_TRACE(frame);
            const ReadResult got = frame == 1 ? first : Read(file, frame);
            ASSERT_GT(got.code, 0);
            EXPECT_EQ(imageCount_, count);
            const auto theirs = frame == 1 ? want : reference(frame);
            ASSERT_EQ(theirs.size(), 1u);
            oracle::RgbImage ours{got.picture.width, got.picture.height, got.picture.ToRgb(), {}};
            EXPECT_EQ(testsupport::ComparePictures(ours, theirs[0]), "");
        }
        ++matched;
    }
    EXPECT_GE(matched, 30);
    EXPECT_GE(refused, 3);
}

// The frame counts of the public multi-frame samples, and pictures for every colour model.
TEST_F(DicomRead, PublicSampleCountsAndColourModels) {
    REQUIRE_TESTDATA("dcm");
    const struct {
        const char* name;
        int count;
        int bits;
    } expected[] = {
        {"emri_small.dcm", 10, 8},
        {"emri_small_RLE.dcm", 10, 8},
        {"SC_rgb_2frame.dcm", 2, 24},
        {"SC_rgb_rle_16bit_2frame.dcm", 2, 24},
        {"examples_ybr_color.dcm", 30, 24},
        {"OT-PAL-8-face.dcm", 1, 24},
        {"liver.dcm", 3, 8},
        {"rtdose.dcm", 15, 8},
        {"CT_small.dcm", 1, 8},
        {"SC_ybr_full_422_uncompressed.dcm", 1, 24},
        {"JPEG2000.dcm", 1, 8},
        {"US1_J2KI.dcm", 1, 24},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.name);
        const ReadResult got = Read(testsupport::TestData("dcm") / e.name, 0);
        ASSERT_GT(got.code, 0);
        EXPECT_EQ(imageCount_, e.count);
        EXPECT_EQ(got.picture.bitCount, e.bits);
    }
    EXPECT_EQ(Read(testsupport::TestData("dcm") / "MR_truncated.dcm").code, decode::kReadError);
}

// ImageMagick's DICOM reader, independent of DCMTK, reads only the JPEG-encapsulated colour
// samples of the set (it refuses the uncompressed ones and renders the monochrome JPEG ones
// without a usable size); on those it agrees exactly, frame by frame.
TEST_F(DicomRead, ImageMagickAgreesOnJpegColourSamples) {
    REQUIRE_TESTDATA("dcm");
    if (!oracle::ToolAvailable("convert")) GTEST_SKIP() << "ImageMagick not installed";
    for (const auto& [name, frames] :
         {std::pair{"SC_rgb_jpeg_dcmtk.dcm", 1}, std::pair{"examples_ybr_color.dcm", 3}}) {
        const fs::path file = testsupport::TestData("dcm") / name;
        for (int frame = 1; frame <= frames; ++frame) {
            SCOPED_TRACE(testing::Message() << name << " image " << frame);
            const ReadResult got = Read(file, frame);
            ASSERT_GT(got.code, 0);
            const auto magick = oracle::RunPnmCommand(
                "convert " +
                oracle::ShellQuote("dcm:" + file.string() + "[" + std::to_string(frame - 1) + "]") +
                " ppm:-");
            ASSERT_EQ(magick.size(), 1u);
            oracle::RgbImage ours{got.picture.width, got.picture.height, got.picture.ToRgb(), {}};
            EXPECT_EQ(testsupport::ComparePictures(ours, magick[0]), "");
        }
    }
}

// Files made with img2dcm from pictures made here, and the same files recompressed with
// dcmtk's tools: every lossless encoding gives back the source picture exactly; baseline JPEG
// stays close to it and equals dcmj2pnm's rendering. ImageMagick, which reads the JPEG
// encapsulated files, agrees too.
TEST_F(DicomRead, Img2dcmFilesGiveBackTheirSourcePictures) {
    RequireDcmtkTools();
    if (IsSkipped()) return;
    if (!oracle::ToolAvailable("convert")) GTEST_SKIP() << "ImageMagick not installed";
    const fs::path bmp = dir_.path("source.bmp"), ppm = dir_.path("source.ppm");
    ASSERT_TRUE(testsupport::WritePpm(ppm.string(), testsupport::TestPattern(37, 23, 7)));
    ASSERT_EQ(RunTool("convert " + Quote(ppm) + " BMP3:" + Quote(bmp)).status, 0);
    const auto source = oracle::RunPnmCommand("convert " + Quote(bmp) + " ppm:-");
    ASSERT_EQ(source.size(), 1u);
    const fs::path plain = dir_.path("rgb.dcm");
    ASSERT_EQ(RunTool("img2dcm -i BMP " + Quote(bmp) + " " + Quote(plain)).status, 0);

    const struct {
        const char* name;
        std::string command;  // makes the variant from rgb.dcm; {in} {out}
    } variants[] = {
        {"uncompressed", ""},
        {"big endian", "dcmconv +tb"},
        {"implicit VR", "dcmconv +ti"},
        {"deflated", "dcmconv +td"},
        {"RLE", "dcmcrle"},
        {"JPEG lossless", "dcmcjpeg +e1"},
        {"JPEG lossless any predictor", "dcmcjpeg +el"},
        {"JPEG-LS lossless", "dcmcjpls +el"},
    };
    for (const auto& v : variants) {
        SCOPED_TRACE(v.name);
        fs::path file = plain;
        if (!v.command.empty()) {
            file = dir_.path("variant.dcm");
            ASSERT_EQ(RunTool(v.command + " " + Quote(plain) + " " + Quote(file)).status, 0);
        }
        const ReadResult got = Read(file);
        ASSERT_GT(got.code, 0);
        EXPECT_EQ(got.picture.bitCount, 24);
        EXPECT_EQ(imageCount_, 1);
        oracle::RgbImage ours{got.picture.width, got.picture.height, got.picture.ToRgb(), {}};
        EXPECT_EQ(testsupport::ComparePictures(ours, source[0]), "");
    }

    // Baseline JPEG: img2dcm wraps a JPEG file as it is (YBR_FULL_422); dcmcjpeg re-encodes.
    const fs::path jpg = dir_.path("source.jpg");
    ASSERT_EQ(RunTool("convert " + Quote(bmp) + " -quality 90 " + Quote(jpg)).status, 0);
    const fs::path wrapped = dir_.path("wrapped.dcm");
    ASSERT_EQ(RunTool("img2dcm " + Quote(jpg) + " " + Quote(wrapped)).status, 0);
    const fs::path baseline = dir_.path("baseline.dcm");
    ASSERT_EQ(RunTool("dcmcjpeg +eb " + Quote(plain) + " " + Quote(baseline)).status, 0);
    for (const fs::path& file : {wrapped, baseline}) {
        SCOPED_TRACE(file.filename().string());
        const ReadResult got = Read(file);
        ASSERT_GT(got.code, 0);
        ASSERT_EQ(got.picture.bitCount, 24);
        oracle::RgbImage ours{got.picture.width, got.picture.height, got.picture.ToRgb(), {}};
        EXPECT_EQ(testsupport::ComparePictures(ours, source[0], 48), "");
        const auto dcmtk = oracle::RunPnmCommand("dcmj2pnm +op " + Quote(file));
        ASSERT_EQ(dcmtk.size(), 1u);
        EXPECT_EQ(testsupport::ComparePictures(ours, dcmtk[0]), "");
        const auto magick = oracle::RunPnmCommand("convert dcm:" + Quote(file) + " ppm:-");
        ASSERT_EQ(magick.size(), 1u);
        EXPECT_EQ(testsupport::ComparePictures(ours, magick[0], 1), "");
    }
    // The JPEG wrapped by img2dcm decodes as libjpeg decodes the JPEG file itself.
    const ReadResult got = Read(wrapped);
    ASSERT_GT(got.code, 0);
    const auto direct = oracle::RunPnmCommand("convert " + Quote(jpg) + " ppm:-");
    ASSERT_EQ(direct.size(), 1u);
    oracle::RgbImage ours{got.picture.width, got.picture.height, got.picture.ToRgb(), {}};
    EXPECT_EQ(testsupport::ComparePictures(ours, direct[0], 1), "");
}

// 12 and 16-bit monochrome files made here, recompressed with every lossless encoder dcmtk
// has and rewritten in the other uncompressed syntaxes, decode exactly as the original does.
TEST_F(DicomRead, DeepMonochromeSurvivesEveryLosslessSyntax) {
    RequireDcmtkTools();
    if (IsSkipped()) return;
    const int width = 33, height = 17;
    for (const auto& [photometric, stored] :
         {std::pair{"MONOCHROME2", 16}, std::pair{"MONOCHROME1", 12}}) {
        SCOPED_TRACE(photometric);
        std::vector<int> values;
        for (int i = 0; i < width * height; ++i)
            values.push_back((i * 7919) % (1 << stored));
        DicomBuilder b;
        b.Image(1, photometric, 0, height, width, 16, stored, false);
        b.Text(0x0028, 0x1050, "DS", std::to_string(1 << (stored - 1)));
        b.Text(0x0028, 0x1051, "DS", std::to_string(1 << (stored - 2)));
        const fs::path plain = dir_.path("deep.dcm");
        WriteBytes(plain, b.Pixels(Le16(values)).bytes());
        const ReadResult original = Read(plain);
        ASSERT_GT(original.code, 0);
        ASSERT_EQ(original.picture.bitCount, 8);
        for (const char* command : {"dcmconv +tb", "dcmconv +ti", "dcmconv +td", "dcmcrle",
                                    "dcmcjpeg +e1", "dcmcjpeg +el", "dcmcjpls +el"}) {
            SCOPED_TRACE(command);
            const fs::path file = dir_.path("variant.dcm");
            ASSERT_EQ(RunTool(std::string(command) + " " + Quote(plain) + " " + Quote(file)).status,
                      0);
            const ReadResult got = Read(file);
            ASSERT_GT(got.code, 0);
            EXPECT_EQ(got.picture.rows, original.picture.rows);
        }
    }
}

// A grey JPEG wrapped by img2dcm is MONOCHROME2: 8 bits over a grey ramp, stretched between its
// darkest and lightest value; with a window added by dcmodify the window rules instead.
TEST_F(DicomRead, Img2dcmGreyPictureIsWindowed) {
    RequireDcmtkTools();
    if (IsSkipped()) return;
    if (!oracle::ToolAvailable("convert") || !oracle::ToolAvailable("dcmodify"))
        GTEST_SKIP() << "tools not installed";
    const fs::path jpg = dir_.path("grey.jpg");
    ASSERT_EQ(RunTool("convert -size 30x64 gradient:'gray(20)'-'gray(220)' -colorspace Gray"
                      " -quality 100 " +
                      Quote(jpg))
                  .status,
              0);
    const fs::path file = dir_.path("grey.dcm");
    ASSERT_EQ(RunTool("img2dcm " + Quote(jpg) + " " + Quote(file)).status, 0);
    ASSERT_NE(RunTool("dcmdump +P 0028,0004 " + Quote(file)).out.find("MONOCHROME2"),
              std::string::npos);
    const auto source = oracle::RunPnmCommand("convert " + Quote(jpg) + " pgm:-");
    ASSERT_EQ(source.size(), 1u);
    int lo = 255, hi = 0;
    for (size_t i = 0; i < source[0].rgb.size(); i += 3) {
        lo = std::min<int>(lo, source[0].rgb[i]);
        hi = std::max<int>(hi, source[0].rgb[i]);
    }
    ASSERT_LT(lo, hi);
    std::vector<double> stretched, windowed;
    for (size_t i = 0; i < source[0].rgb.size(); i += 3) {
        stretched.push_back((source[0].rgb[i] - lo) * 255.0 / (hi - lo));
        windowed.push_back(LinearWindow(source[0].rgb[i], 100, 80));
    }
    ReadResult got = Read(file);
    ASSERT_GT(got.code, 0);
    ASSERT_EQ(got.picture.bitCount, 8);
    EXPECT_LE(WorstGreyError(got.picture, stretched), 1);

    ASSERT_EQ(
        RunTool("dcmodify -nb -i '(0028,1050)=100' -i '(0028,1051)=80' " + Quote(file)).status, 0);
    got = Read(file);
    ASSERT_GT(got.code, 0);
    EXPECT_LE(WorstGreyError(got.picture, windowed), 1);
    const auto dcmtk = oracle::RunPnmCommand("dcmj2pnm +op +Wi 1 " + Quote(file));
    ASSERT_EQ(dcmtk.size(), 1u);
    oracle::RgbImage ours{got.picture.width, got.picture.height, got.picture.ToRgb(), {}};
    EXPECT_EQ(testsupport::ComparePictures(ours, dcmtk[0]), "");
}

// Images are numbered from 1; 0, and numbers outside 1..count, give the first; the count comes
// back in the number, for uncompressed and RLE files alike. A NumberOfFrames beyond what the
// pixel data holds counts only the frames present.
TEST_F(DicomRead, MultiFrameNumbersImagesFromOne) {
    RequireDcmtkTools();
    if (IsSkipped()) return;
    const int frames = 3, width = 5, height = 4;
    auto build = [&](int statedFrames) {
        DicomBuilder b;
        b.Image(3, "RGB", statedFrames, height, width, 8, 8, false);
        std::string data;
        for (int f = 0; f < frames; ++f) {
            for (int i = 0; i < width * height; ++i) {
                data += static_cast<char>(40 + 80 * f);
                data += static_cast<char>(250 - 60 * f);
                data += static_cast<char>(i * 10);
            }
        }
        return b.Pixels(data, "OB").bytes();
    };
    const fs::path plain = dir_.path("frames.dcm");
    WriteBytes(plain, build(frames));
    const fs::path rle = dir_.path("frames-rle.dcm");
    ASSERT_EQ(RunTool("dcmcrle " + Quote(plain) + " " + Quote(rle)).status, 0);
    for (const fs::path& file : {plain, rle}) {
        SCOPED_TRACE(file.filename().string());
        for (int32_t wanted : {0, 1, 2, 3, 4, -1, 1000}) {
            SCOPED_TRACE(wanted);
            const ReadResult got = Read(file, wanted);
            ASSERT_GT(got.code, 0);
            EXPECT_EQ(imageCount_, frames);
            const int f = wanted >= 1 && wanted <= frames ? wanted - 1 : 0;
            const auto c = got.picture.Rgb(2, 1);
            EXPECT_EQ(c[0], 40 + 80 * f);
            EXPECT_EQ(c[1], 250 - 60 * f);
            EXPECT_EQ(c[2], 70);
        }
    }
    const ReadResult overstated = ReadBytes(build(1000000), 3);
    ASSERT_GT(overstated.code, 0);
    EXPECT_EQ(imageCount_, frames);
    EXPECT_EQ(overstated.picture.Rgb(0, 0)[0], 200);
}

// The loader's road: the decode area's image cell goes in as the image wanted and comes back
// as the count; every public sample either loads as 8 or 24 bits or fails with a loader code.
TEST_F(DicomRead, LoaderCarriesTheImageNumberAndSurvivesEverySample) {
    REQUIRE_TESTDATA("dcm");
    const fs::path file = testsupport::TestData("dcm") / "emri_small.dcm";
    const ReadResult direct = Read(file, 4);
    ASSERT_GT(direct.code, 0);
    decode::DecodedImage img;
    img.dicomImage = 4;
    const HDC dc = platform::GetDC(0);
    const HBITMAP bitmap = decode::LoadImageFile(img, file.string(), dc, {});
    EXPECT_NE(bitmap, 0u);
    EXPECT_EQ(img.errorCode, 0);
    EXPECT_EQ(img.dicomImage, 10);
    EXPECT_EQ(img.format, "dicom");
    EXPECT_EQ(img.imageWidth, 64);
    if (bitmap) platform::DeleteObject(bitmap);
    if (img.paletteHandle) platform::DeleteObject(img.paletteHandle);
    platform::ReleaseDC(0, dc);

    int loaded = 0;
    for (const fs::path& sample : testsupport::SampleFiles("dcm")) {
        if (sample.extension() != ".dcm") continue;
        SCOPED_TRACE(sample.filename().string());
        const testsupport::FileLoad load = testsupport::LoadFile(sample.string());
        EXPECT_EQ(load.format, "dicom");
        if (load.rc == 0) {
            EXPECT_TRUE(load.pixelBits == 8 || load.pixelBits == 24) << load.pixelBits;
            const ReadResult got = Read(sample);
            ASSERT_GT(got.code, 0);
            oracle::RgbImage ours{got.picture.width, got.picture.height, got.picture.ToRgb(), {}};
            EXPECT_EQ(testsupport::ComparePictures(load.picture, ours), "");
            ++loaded;
        } else {
            EXPECT_TRUE(IsLoaderFailure(load.rc)) << load.rc;
        }
    }
    EXPECT_GE(loaded, 30);
    const auto emri = testsupport::LoadFile(file.string());
    oracle::RgbImage frame4{
        direct.picture.width, direct.picture.height, direct.picture.ToRgb(), {}};
    EXPECT_NE(testsupport::ComparePictures(emri.picture, frame4), "")
        << "the first and the fourth image differ";
}

// Missing, foreign, empty, pixel-less and oversized files fail with the loader's codes,
// before anything is allocated for the picture, and leak nothing.
TEST_F(DicomRead, FailuresGiveLoaderCodesAndLeakNothing) {
    const size_t memoryBefore = platform::CountHandles(platform::HandleKind::Memory);
    EXPECT_EQ(Read(dir_.path("missing.dcm")).code, decode::kCouldNotOpen);
    EXPECT_EQ(ReadBytes("").code, decode::kBadHeader);
    EXPECT_EQ(ReadBytes("This is a text file, not a picture.\n").code, decode::kBadHeader);
    // A file that ends at its DICOM magic is cut short.
    EXPECT_EQ(ReadBytes(std::string(128, '\0') + "DICM").code, decode::kReadError);

    DicomBuilder noPixels;
    noPixels.Image(1, "MONOCHROME2", 0, 4, 4, 8, 8, false);
    EXPECT_EQ(ReadBytes(noPixels.bytes()).code, decode::kNoBitmap);
    DicomBuilder noRows;
    noRows.Image(1, "MONOCHROME2", 0, 0, 4, 8, 8, false).Pixels(std::string(16, 'x'), "OB");
    EXPECT_EQ(ReadBytes(noRows.bytes()).code, decode::kBadHeader);

    // Sizes are refused from the header, whatever pixel data follows.
    auto oversized = [&](int samples, int rows, int columns) {
        DicomBuilder b;
        b.Image(samples, samples == 1 ? "MONOCHROME2" : "RGB", 0, rows, columns, 8, 8, false);
        return ReadBytes(b.Pixels(std::string(64, '\x7f'), "OB").bytes()).code;
    };
    EXPECT_EQ(oversized(1, 40000, 4), decode::kNoMemory);
    EXPECT_EQ(oversized(1, 4, 32768), decode::kNoMemory);
    EXPECT_EQ(oversized(1, 65535, 65535), decode::kNoMemory);
    EXPECT_EQ(oversized(3, 30000, 30000), decode::kNoMemory);  // 2.7 GB at 24 bits
    // Within the limits, pixel data short of one whole image is a file cut short: no picture
    // is rendered from the little there is.
    EXPECT_EQ(oversized(1, 20000, 20000), decode::kReadError);
    DicomBuilder oneByteShort;
    oneByteShort.Image(1, "MONOCHROME2", 0, 3, 3, 16, 16, false).Pixels(std::string(16, '\1'));
    EXPECT_EQ(ReadBytes(oneByteShort.bytes()).code, decode::kReadError);
    DicomBuilder encapsulatedEmpty("1.2.840.10008.1.2.5");  // RLE, offset table only
    encapsulatedEmpty.Image(1, "MONOCHROME2", 0, 3, 3, 8, 8, false)
        .Raw(std::string("\xe0\x7f\x10\x00OB\0\0\xff\xff\xff\xff"
                         "\xfe\xff\x00\xe0\0\0\0\0\xfe\xff\xdd\xe0\0\0\0\0",
                         28));
    EXPECT_EQ(ReadBytes(encapsulatedEmpty.bytes()).code, decode::kReadError);

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

// Raw deflate, as the deflated transfer syntax carries the data set: gzip's stream without its
// 10-byte header and 8-byte trailer.
std::optional<std::string> RawDeflate(const TempDir& dir, const std::string& bytes) {
    const fs::path plain = dir.path("plain.bin");
    WriteBytes(plain, bytes);
    const ToolOutput gz = RunTool("gzip -n -c < " + Quote(plain));
    if (gz.status != 0 || gz.out.size() < 18) return std::nullopt;
    return gz.out.substr(10, gz.out.size() - 18);
}

// DCMTK parses nested sequences recursively: files nested tens of thousands of levels deep,
// plain or deflated, fail with a code instead of exhausting the stack; those nested beyond
// what a 1 GiB parsing stack covers are refused as too large. Ordinary nesting loads.
TEST_F(DicomRead, DeeplyNestedSequencesFailWithACode) {
    auto picture = [](int depth, bool closed, const std::string& syntax) {
        DicomBuilder b(syntax);
        b.Raw(NestedSequences(depth, closed));
        b.Image(1, "MONOCHROME2", 0, 2, 2, 8, 8, false)
            .Pixels(std::string("\0\x40\x80\xff", 4), "OB");
        return b;
    };
    const ReadResult ordinary = ReadBytes(picture(40, true, "1.2.840.10008.1.2.1").bytes());
    ASSERT_GT(ordinary.code, 0);
    EXPECT_EQ(ordinary.picture.Index(1, 1), 255);
    EXPECT_EQ(ReadBytes(picture(30000, false, "1.2.840.10008.1.2.1").bytes()).code,
              decode::kReadError);
    EXPECT_EQ(ReadBytes(picture(200000, false, "1.2.840.10008.1.2.1").bytes()).code,
              decode::kNoMemory);
    // The same bytes under an implicit VR label do not parse, but fail just as safely.
    EXPECT_TRUE(IsLoaderFailure(ReadBytes(picture(30000, true, "1.2.840.10008.1.2").bytes()).code));

    if (!oracle::ToolAvailable("gzip")) GTEST_SKIP() << "gzip not installed";
    for (const auto& [depth, closed, want] :
         {std::tuple{40, true, 0}, std::tuple{30000, false, int{decode::kReadError}},
          std::tuple{1000000, false, int{decode::kNoMemory}}}) {
        SCOPED_TRACE(depth);
        const DicomBuilder b = picture(depth, closed, "1.2.840.10008.1.2.1.99");
        const auto deflated = RawDeflate(dir_, b.bytes().substr(b.datasetStart()));
        ASSERT_TRUE(deflated.has_value());
        const ReadResult got = ReadBytes(b.bytes().substr(0, b.datasetStart()) + *deflated);
        if (want == 0) {
            ASSERT_GT(got.code, 0);
            EXPECT_EQ(got.picture.Index(0, 1), 0x80);
        } else {
            EXPECT_EQ(got.code, want);
        }
    }
}

// An RLE fragment: the 64-byte header (segment count, then each segment's offset) and the
// segments.
std::string RleFragment(const std::vector<uint32_t>& header, const std::string& segments) {
    std::string fragment(64, '\0');
    for (size_t k = 0; k < header.size() && k < 16; ++k) {
        for (int i = 0; i < 4; ++i)
            fragment[4 * k + i] = static_cast<char>(header[k] >> (8 * i));
    }
    return fragment + segments;
}

// Encapsulated pixel data: an empty offset table, the fragments, the sequence's end.
std::string Encapsulated(const std::vector<std::string>& fragments) {
    auto item = [](uint8_t element, const std::string& value) {
        std::string out("\xfe\xff", 2);
        out += static_cast<char>(element);
        out += '\xe0';
        for (int i = 0; i < 4; ++i)
            out += static_cast<char>(value.size() >> (8 * i));
        return out + value;
    };
    std::string out("\xe0\x7f\x10\x00OB\0\0\xff\xff\xff\xff", 12);
    out += item(0x00, "");
    for (const std::string& f : fragments)
        out += item(0x00, f);
    return out + item(0xdd, "");
}

// RLE segment offsets are checked against their fragment before DCMTK's decoder, which trusts
// them, reads anything: offsets past the fragment's end, out of order, too many segments and
// fragments too short for their header fail with the read code.
TEST_F(DicomRead, RleSegmentOffsetsStayInsideTheirFragment) {
    const std::string run("\x03\x00\x40\x80\xff\x00", 6);  // literal run of four values, pad
    auto picture = [&](const std::string& fragment) {
        DicomBuilder b("1.2.840.10008.1.2.5");
        b.Image(1, "MONOCHROME2", 0, 2, 2, 8, 8, false);
        return ReadBytes(b.Raw(Encapsulated({fragment})).bytes());
    };
    const ReadResult good = picture(RleFragment({1, 64}, run));
    ASSERT_GT(good.code, 0);
    EXPECT_EQ(good.picture.Index(1, 0), 0x40);
    EXPECT_EQ(good.picture.Index(1, 1), 0xff);
    EXPECT_EQ(picture(RleFragment({1, 0x7FFFFF00}, run)).code, decode::kReadError);
    EXPECT_EQ(picture(RleFragment({1, 71}, run)).code, decode::kReadError);
    EXPECT_EQ(picture(RleFragment({2, 68, 64}, run)).code, decode::kReadError);
    EXPECT_EQ(picture(RleFragment({16, 64}, run)).code, decode::kReadError);
    EXPECT_EQ(picture(std::string(32, '\1')).code, decode::kReadError);
}

// Files cut short anywhere in their pixel data fail with the read code.
TEST_F(DicomRead, TruncatedFilesFailWithReadError) {
    REQUIRE_TESTDATA("dcm");
    for (const char* name : {"MR_small.dcm", "SC_rgb_rle_2frame.dcm", "emri_small.dcm",
                             "SC_rgb_jpeg_dcmtk.dcm", "examples_ybr_color.dcm"}) {
        SCOPED_TRACE(name);
        const std::string whole = codecs_test::ReadBytes(testsupport::TestData("dcm") / name);
        ASSERT_GT(whole.size(), 1000u);
        for (size_t keep : {whole.size() - 1, whole.size() - 100, whole.size() * 3 / 4}) {
            SCOPED_TRACE(keep);
            EXPECT_EQ(ReadBytes(whole.substr(0, keep)).code, decode::kReadError);
        }
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
        const auto copies =
            DamagedCopies(codecs_test::ReadBytes(testsupport::TestData("dcm") / name), 60);
        for (size_t i = 0; i < copies.size(); ++i) {
            SCOPED_TRACE(testing::Message() << name << " copy " << i);
            const ReadResult got = ReadBytes(copies[i], static_cast<int32_t>(i % 3));
            if (got.code > 0) {
                EXPECT_TRUE(got.blockLargeEnough);
                EXPECT_TRUE(got.picture.bitCount == 8 || got.picture.bitCount == 24);
                EXPECT_GE(imageCount_, 1);
                ++pictures;
            } else {
                EXPECT_TRUE(IsLoaderFailure(got.code)) << got.code;
                ++failures;
            }
        }
    }
    EXPECT_GT(pictures, 0);
    EXPECT_GT(failures, 0);
    EXPECT_EQ(platform::CountHandles(platform::HandleKind::Memory), memoryBefore);
}

}  // namespace
}  // namespace codecs_test
