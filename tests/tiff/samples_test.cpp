// Every public TIFF sample loads or fails with a loader code; where ImageMagick reads the file
// too, the pictures agree except for the differences listed with their reasons.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "decode/loader_error.h"
#include "support/testdata.h"
#include "tiff/tiff_files.h"

namespace tiff_test {
namespace {

namespace fs = std::filesystem;

// Files on which the control and ImageMagick knowingly disagree, by reason.
const std::vector<std::pair<const char*, std::set<std::string>>> kAccepted = {
    {"signed samples (SampleFormat 2) are read as unsigned; ImageMagick shifts them by half "
     "the range",
     {"16bit.s.tif", "int16.tif", "int16_zstd.tif", "minisblack-1c-i16b.tiff",
      "seq-1c-i16-63af2488.tiff", "seq-3c-i16-f7fcf423.tiff", "seq-3c-i8-d7550ce4.tiff"}},
    {"CMYK by the reader's rule 255 - ink - black (clamped); ImageMagick multiplies (255 - "
     "ink) and (255 - black)",
     {"cmyk-4c-8b.tiff", "seq-4c-8b-cmyk-352ac1da.tiff", "seq-4c-16b-cmyk-c6e52592.tiff",
      "tiled-cmyk-i8.tif", "tiff_strip_cmyk_jpeg.tif", "tiff_strip_cmyk_16l_jpeg.tif",
      "tiff_tiled_cmyk_jpeg.tif"}},
    {"three-ink separated data (24 bits) is shown as stored, without a CMYK conversion",
     {"cmyk-3c-8b.tiff", "cmyk-3c-16b.tiff"}},
    {"floating-point samples: -20015, libtiff's RGBA interface that the module falls back on "
     "does not read them",
     {"cmyk-3c-32b-float.tiff", "gradient-1c-32b-float.tiff", "gradient-1c-64b-float.tiff",
      "gradient-3c-32b-float.tiff", "predictor-3-gray-f32.tif", "predictor-3-rgb-f32.tif",
      "random-fp16.tiff", "random-fp16-pred2.tiff", "random-fp16-pred3.tiff",
      "seq-1c-32f-390fe673.tiff", "seq-1c-32f-deflate-fpredict-390fe673.tiff",
      "seq-1c-64f-afa8560e.tiff", "seq-1c-64f-deflate-fpredict-afa8560e.tiff",
      "seq-3c-32f-9a471c2b.tiff", "seq-3c-64f-9fff098a.tiff", "single-black-fp16.tiff",
      "white-fp16.tiff", "white-fp16-pred2.tiff", "white-fp16-pred3.tiff"}},
    {"ImageMagick 6 applies MinIsWhite only at 1 and 8 bits; libtiff's tiff2rgba agrees with "
     "this reader at 2 and 4 bits",
     {"hopper2I.tif", "miniswhite-1c-3b.tiff", "miniswhite-1c-6b.tiff", "miniswhite-1c-12b.tiff",
      "seq-1c-3b-miniswhite-ef237c07.tiff", "seq-1c-4b-miniswhite-fb92dcae.tiff",
      "seq-1c-5b-miniswhite-73098d17.tiff", "seq-1c-6b-miniswhite-79cafbb6.tiff",
      "seq-1c-7b-miniswhite-9c61ba70.tiff", "seq-1c-10b-miniswhite-6d739fa2.tiff",
      "seq-1c-12b-miniswhite-47c39b31.tiff", "seq-1c-14b-miniswhite-e883657f.tiff",
      "seq-1c-24b-miniswhite-072a9dc9.tiff"}},
    {"associated alpha: colours are shown as stored, ImageMagick divides them by alpha",
     {"minisblack-2c-8b-alpha.tiff", "pil136.tiff", "seq-4c-8b-rgba-50969cda.tiff",
      "seq-4c-16b-rgba-5181991f.tiff", "tiff_16bit_RGBa.tiff"}},
    {"separate planes at a depth libtiff's RGBA interface does not read: -20015",
     {"seq-3c-10b-planar-c82e8ab6.tiff", "seq-3c-12b-planar-e29e8e25.tiff",
      "seq-3c-14b-planar-4dde706b.tiff", "seq-3c-24b-planar-6296c0c9.tiff"}},
    {"24-bit samples of a little-endian file written high byte first; the reader follows the "
     "file's byte order, as libtiff does",
     {"seq-1c-24b-072a9dc9.tiff", "seq-3c-24b-contig-27b9f8ce.tiff"}},
    {"CIE L*a*b*, through the module: libtiff's conversion differs from ImageMagick's",
     {"hopper.Lab.tif", "lab.tif"}},
    {"4-bit grey with 4-bit alpha: the whole byte indexes the 8-bit ramp, as for every 8-bit "
     "pixel",
     {"im_input_gray_4bit_matte.tiff"}},
    {"old-style JPEG: ImageMagick's colours differ; libtiff's tiff2rgba gives this reader's",
     {"old-style-jpeg-compression.tif"}},
    {"a ColorMap with no value above 255 is taken as 8-bit values (the reader's rule for maps "
     "written with 8-bit values); ImageMagick scales every entry from 16 bits",
     {"palette-1c-8b.tiff"}},
};

bool Accepted(const std::string& name) {
    for (const auto& [reason, files] : kAccepted)
        if (files.count(name)) return true;
    return false;
}

TEST(TiffSamples, EveryFileLoadsOrFailsWithALoaderCode) {
    const fs::path dir = testsupport::TestData() / "tif";
    if (!fs::is_directory(dir)) GTEST_SKIP() << dir << " is absent";
    const bool magick = oracle::ToolAvailable("convert");
    int failed = 0, compared = 0;
    for (const fs::path& file : testsupport::SampleFiles("tif", "")) {
        const std::string name = file.filename().string();
        SCOPED_TRACE(name);
        const auto got = testsupport::LoadFile(file.string());
        EXPECT_TRUE(got.rc == 0 ? got.picture.width > 0 : testsupport::IsLoaderCode(got.rc))
            << got.rc;
        failed += got.rc != 0;
        if (!magick) continue;
        const oracle::RgbImage magick = MagickSrgb(file.string());
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
        EXPECT_TRUE(outcome.empty() || Accepted(name)) << outcome;
    }
    std::printf("%d failed with a loader code, %d compared with ImageMagick\n", failed, compared);
}

}  // namespace
}  // namespace tiff_test
