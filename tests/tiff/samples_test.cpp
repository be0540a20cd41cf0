// Every public TIFF sample loads or fails with a loader code; where ImageMagick reads the file
// too, the pictures agree except for the differences listed with their reasons.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "decode/loader_error.h"
#include "tiff/tiff_files.h"
#include "support/testdata.h"

namespace tiff_test {
namespace {

namespace fs = std::filesystem;

// Files on which the control and ImageMagick knowingly disagree.
const std::map<std::string, std::string>& AcceptedDifferences() {
    const std::string sign =
        "signed samples (SampleFormat 2) are read as unsigned; ImageMagick shifts them by half the "
        "range";
    const std::string cmyk =
        "CMYK by the reader's rule 255 - ink - black (clamped); ImageMagick multiplies (255 - ink) "
        "and (255 - black)";
    const std::string inks =
        "three-ink separated data (24 bits) is shown as stored, without a CMYK conversion";
    const std::string floats =
        "floating-point samples: -20015, libtiff's RGBA interface that the module falls back on "
        "does not read them";
    const std::string whiteIsZero =
        "ImageMagick 6 applies MinIsWhite only at 1 and 8 bits; libtiff's tiff2rgba agrees with "
        "this reader at 2 and 4 bits";
    const std::string alpha =
        "associated alpha: colours are shown as stored, ImageMagick divides them by alpha";
    const std::string planes =
        "separate planes at a depth libtiff's RGBA interface does not read: -20015";
    const std::string order =
        "24-bit samples of a little-endian file written high byte first; the reader follows the "
        "file's byte order, as libtiff does";
    const std::string lab =
        "CIE L*a*b*, through the module: libtiff's conversion differs from ImageMagick's";
    static const std::map<std::string, std::string> accepted = {
        {"16bit.s.tif", sign},
        {"int16.tif", sign},
        {"int16_zstd.tif", sign},
        {"minisblack-1c-i16b.tiff", sign},
        {"seq-1c-i16-63af2488.tiff", sign},
        {"seq-3c-i16-f7fcf423.tiff", sign},
        {"seq-3c-i8-d7550ce4.tiff", sign},
        {"cmyk-4c-8b.tiff", cmyk},
        {"seq-4c-8b-cmyk-352ac1da.tiff", cmyk},
        {"seq-4c-16b-cmyk-c6e52592.tiff", cmyk},
        {"tiled-cmyk-i8.tif", cmyk},
        {"tiff_strip_cmyk_jpeg.tif", cmyk},
        {"tiff_strip_cmyk_16l_jpeg.tif", cmyk},
        {"tiff_tiled_cmyk_jpeg.tif", cmyk},
        {"cmyk-3c-8b.tiff", inks},
        {"cmyk-3c-16b.tiff", inks},
        {"cmyk-3c-32b-float.tiff", floats},
        {"gradient-1c-32b-float.tiff", floats},
        {"gradient-1c-64b-float.tiff", floats},
        {"gradient-3c-32b-float.tiff", floats},
        {"predictor-3-gray-f32.tif", floats},
        {"predictor-3-rgb-f32.tif", floats},
        {"random-fp16.tiff", floats},
        {"random-fp16-pred2.tiff", floats},
        {"random-fp16-pred3.tiff", floats},
        {"seq-1c-32f-390fe673.tiff", floats},
        {"seq-1c-32f-deflate-fpredict-390fe673.tiff", floats},
        {"seq-1c-64f-afa8560e.tiff", floats},
        {"seq-1c-64f-deflate-fpredict-afa8560e.tiff", floats},
        {"seq-3c-32f-9a471c2b.tiff", floats},
        {"seq-3c-64f-9fff098a.tiff", floats},
        {"single-black-fp16.tiff", floats},
        {"white-fp16.tiff", floats},
        {"white-fp16-pred2.tiff", floats},
        {"white-fp16-pred3.tiff", floats},
        {"hopper2I.tif", whiteIsZero},
        {"miniswhite-1c-3b.tiff", whiteIsZero},
        {"miniswhite-1c-6b.tiff", whiteIsZero},
        {"miniswhite-1c-12b.tiff", whiteIsZero},
        {"seq-1c-3b-miniswhite-ef237c07.tiff", whiteIsZero},
        {"seq-1c-4b-miniswhite-fb92dcae.tiff", whiteIsZero},
        {"seq-1c-5b-miniswhite-73098d17.tiff", whiteIsZero},
        {"seq-1c-6b-miniswhite-79cafbb6.tiff", whiteIsZero},
        {"seq-1c-7b-miniswhite-9c61ba70.tiff", whiteIsZero},
        {"seq-1c-10b-miniswhite-6d739fa2.tiff", whiteIsZero},
        {"seq-1c-12b-miniswhite-47c39b31.tiff", whiteIsZero},
        {"seq-1c-14b-miniswhite-e883657f.tiff", whiteIsZero},
        {"seq-1c-24b-miniswhite-072a9dc9.tiff", whiteIsZero},
        {"minisblack-2c-8b-alpha.tiff", alpha},
        {"pil136.tiff", alpha},
        {"seq-4c-8b-rgba-50969cda.tiff", alpha},
        {"seq-4c-16b-rgba-5181991f.tiff", alpha},
        {"tiff_16bit_RGBa.tiff", alpha},
        {"seq-3c-10b-planar-c82e8ab6.tiff", planes},
        {"seq-3c-12b-planar-e29e8e25.tiff", planes},
        {"seq-3c-14b-planar-4dde706b.tiff", planes},
        {"seq-3c-24b-planar-6296c0c9.tiff", planes},
        {"seq-1c-24b-072a9dc9.tiff", order},
        {"seq-3c-24b-contig-27b9f8ce.tiff", order},
        {"hopper.Lab.tif", lab},
        {"lab.tif", lab},
        {"im_input_gray_4bit_matte.tiff",
         "4-bit grey with 4-bit alpha: the whole byte indexes the 8-bit ramp, as for every 8-bit "
         "pixel"},
        {"old-style-jpeg-compression.tif",
         "old-style JPEG: ImageMagick's colours differ; libtiff's tiff2rgba gives this reader's"},
        {"palette-1c-8b.tiff",
         "a ColorMap with no value above 255 is taken as 8-bit values (the reader's rule for maps "
         "written with 8-bit values); ImageMagick scales every entry from 16 bits"},
    };
    return accepted;
}

bool IsLoaderCode(int32_t rc) {
    return decode::FindLoaderError(rc) != nullptr;
}

TEST(TiffSamples, EveryFileLoadsOrFailsWithALoaderCode) {
    const fs::path dir = testsupport::TestData() / "tif";
    if (!fs::is_directory(dir)) GTEST_SKIP() << dir << " is absent";
    const bool magick = oracle::ToolAvailable("convert");
    int loaded = 0, failed = 0, compared = 0;
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
        const std::string name = file.filename().string();
        SCOPED_TRACE(name);
        const auto got = testsupport::LoadFile(file.string());
        if (got.rc != 0) {
            EXPECT_TRUE(IsLoaderCode(got.rc)) << got.rc;
            ++failed;
        } else {
            EXPECT_GT(got.picture.width, 0);
            ++loaded;
        }
        if (!magick) continue;
        const oracle::RgbImage magick = MagickSrgb(file.string());
        const auto accepted = AcceptedDifferences().find(name);
        std::string outcome;
        if (magick.width == 0) {
            // ImageMagick cannot read it either: nothing to compare.
        } else if (got.rc != 0) {
            outcome = "fails with " + std::to_string(got.rc) + " where ImageMagick reads it";
        } else {
            outcome = testsupport::ComparePictures(got.picture, magick, 2);
            ++compared;
        }
        std::printf("%-55s rc %-7d %s\n", name.c_str(), got.rc,
                    outcome.empty() ? "ok" : outcome.substr(0, 60).c_str());
        if (accepted == AcceptedDifferences().end()) {
            EXPECT_EQ(outcome, "");
        }
    }
    std::printf("%d loaded, %d failed with a loader code, %d compared with ImageMagick\n", loaded,
                failed, compared);
}

}  // namespace
}  // namespace tiff_test
