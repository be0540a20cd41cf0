// Every public TIFF sample loads or fails with a loader code; where ImageMagick reads the file
// too, the pictures agree except for the differences listed with their reasons.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "decode/loader_error.h"
#include "tiff/tiff_files.h"

namespace tiff_test {
namespace {

namespace fs = std::filesystem;

// Files on which the control and ImageMagick knowingly disagree.
const std::map<std::string, std::string>& AcceptedDifferences() {
    static const std::map<std::string, std::string> accepted = {};
    return accepted;
}

bool IsLoaderCode(int32_t rc) {
    return decode::FindLoaderError(rc) != nullptr;
}

TEST(TiffSamples, EveryFileLoadsOrFailsWithALoaderCode) {
    const fs::path dir = fs::path(LUMORA_TESTDATA) / "tif";
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
