// Loading the codec modules by name: entry points present, a missing module fails to load.

#include <gtest/gtest.h>

#include <cstdlib>

#include "codecs/codec_support.h"

namespace codecs_test {
namespace {

TEST(CodecModules, ExportTheirEntryPointsUnderTheControlsNames) {
    const Codec jpeg("LMJPEG32.DLL");
    ASSERT_TRUE(jpeg.loaded()) << platform::ModulePath("LMJPEG32.DLL");
    EXPECT_NE(jpeg.Entry<ReadJPGProc>("ReadJPG"), nullptr);
    EXPECT_NE(jpeg.Entry<WriteJPGProc>("WriteJPG"), nullptr);
    EXPECT_EQ(jpeg.Entry<ReadPNGProc>("ReadPNG"), nullptr);

    const Codec png("lmpng32.dll");  // names are case-insensitive, as on the original platform
    ASSERT_TRUE(png.loaded()) << platform::ModulePath("lmpng32.dll");
    EXPECT_NE(png.Entry<ReadPNGProc>("ReadPNG"), nullptr);
    EXPECT_EQ(png.Entry<WriteJPGProc>("WriteJPG"), nullptr);
}

// With LUMORA_CODEC_PATH naming a directory without modules, none can be loaded.
TEST(CodecModules, MissingModuleFailsToLoad) {
    TempDir empty;
    const char* previous = std::getenv("LUMORA_CODEC_PATH");
    const std::string saved = previous ? previous : "";
    ASSERT_EQ(setenv("LUMORA_CODEC_PATH", empty.dir.c_str(), 1), 0);
    const bool jpegLoaded = Codec("LMJPEG32.DLL").loaded();
    const bool pngLoaded = Codec("LMPNG32.DLL").loaded();
    if (previous)
        setenv("LUMORA_CODEC_PATH", saved.c_str(), 1);
    else
        unsetenv("LUMORA_CODEC_PATH");
    EXPECT_FALSE(jpegLoaded);
    EXPECT_FALSE(pngLoaded);
    EXPECT_TRUE(Codec("LMJPEG32.DLL").loaded());
}

}  // namespace
}  // namespace codecs_test
