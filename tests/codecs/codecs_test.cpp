// Loading the codec modules by name: entry points present, a missing module fails to load.

#include <gtest/gtest.h>

#include <cstdlib>

#include "codecs/codec_support.h"
#include "support/env_override.h"

namespace codecs_test {
namespace {

TEST(CodecModules, LoadByCaseInsensitiveNameFromTheCodecPath) {
    const Codec png("lmpng32.dll");  // names are case-insensitive, as on the original platform
    ASSERT_TRUE(png.loaded()) << platform::ModulePath("lmpng32.dll");
    EXPECT_NE(png.Entry<ReadPNGProc>("ReadPNG"), nullptr);
    EXPECT_EQ(png.Entry<WriteJPGProc>("WriteJPG"), nullptr);
    EXPECT_NE(Codec("LMJPEG32.DLL").Entry<WriteJPGProc>("WriteJPG"), nullptr);

    // With LUMORA_CODEC_PATH naming a directory without modules, none can be loaded.
    TempDir empty;
    testsupport::EnvOverride path("LUMORA_CODEC_PATH", empty.dir);
    EXPECT_FALSE(Codec("LMJPEG32.DLL").loaded());
    EXPECT_FALSE(Codec("LMPNG32.DLL").loaded());
}

}  // namespace
}  // namespace codecs_test
