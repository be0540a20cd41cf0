// The public PCX, TGA and Sun raster samples: each loads or fails with a loader code, and where
// ImageMagick reads one, the pictures agree.
#include "raster_support.h"
#include "support/testdata.h"

namespace raster_test {
namespace {

// sunraster.im1 has an extension the dispatch does not know: Sun raster files are read
// directly.
FileLoad Load(const std::string& folder, const std::string& path) {
    if (folder != "ras") return LoadFile(path);
    const auto run = RunReader(ReadRas, ReadBytes(path));
    return {run->rc, "ras", 0, run->rc ? oracle::RgbImage{} : run->picture()};
}

// One-bit PCX files are compared in their drawing only (ImageMagick colours them from the header
// map, which one-bit pictures do not use); 5-bit TGA channels are multiplied by 8 here and scaled
// to 255 there; ImageMagick 6 misreads the grey byte of grey-with-alpha TGA files.
std::string Differences(const std::string& folder, const std::string& path, const FileLoad& got,
                        const oracle::RgbImage& want) {
    if (folder == "pcx" && got.pixelBits == 1)
        return SamePattern(got.picture, want) ? "" : "another drawing";
    if (folder != "tga") return ComparePictures(got.picture, want);
    const std::string name = std::filesystem::path(path).filename().string();
    if (name.find("la") == 0 || name.find("_la_") != std::string::npos) return "";
    const Bytes b = ReadBytes(path);
    const bool fiveBit = b[16] == 16 || b[16] == 15 || (b[1] && (b[7] == 15 || b[7] == 16));
    return ComparePictures(got.picture, want, fiveBit ? 7 : 0);
}

TEST(RasterSamples, AgreeWithImageMagick) {
    const bool magick = oracle::ToolAvailable("convert");
    if (SampleFiles("pcx").empty()) GTEST_SKIP() << "no public test pictures";
    for (const auto& [folder, least] :
         {std::pair<std::string, int>{"pcx", 50}, {"tga", 60}, {"ras", 5}}) {
        int compared = 0;
        for (const auto& file : SampleFiles(folder)) {
            if (file.extension() == ".txt") continue;
            SCOPED_TRACE(file.string());
            const FileLoad got = Load(folder, file.string());
            EXPECT_TRUE(IsLoaderCode(got.rc)) << got.rc;
            EXPECT_EQ(got.picture.rgb.empty(), got.rc != 0);
            if (got.rc != 0 || !magick) continue;
            const auto want =
                oracle::ImageMagickUpright(file.string(), folder == "ras" ? "sun:" : "");
            if (want.rgb.empty()) continue;
            ++compared;
            EXPECT_EQ(Differences(folder, file.string(), got, want), "");
        }
        EXPECT_TRUE(!magick || compared >= least) << folder << ": " << compared;
    }
}

}  // namespace
}  // namespace raster_test
