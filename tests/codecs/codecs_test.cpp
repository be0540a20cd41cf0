// Loading the codec modules by name: entry points present, a missing module fails to load.

#include <gtest/gtest.h>

#include <cstdlib>

#include "codecs/codec_support.h"
#include "support/env_override.h"

namespace codecs_test {
namespace {

TEST(CodecModules, LoadByCaseInsensitiveNameFromTheCodecPath) {
    // Names are case-insensitive, as on the original platform.
    const platform::Module png("lmpng32.dll"), jpeg("LMJPEG32.DLL");
    ASSERT_TRUE(png.loaded()) << platform::ModulePath("lmpng32.dll");
    EXPECT_NE(Entry<ReadPNGProc>(png, "ReadPNG"), nullptr);
    EXPECT_EQ(Entry<WriteJPGProc>(png, "WriteJPG"), nullptr);
    EXPECT_NE(Entry<WriteJPGProc>(jpeg, "WriteJPG"), nullptr);

    // With LUMORA_CODEC_PATH naming a directory without modules, none can be loaded.
    TempDir empty;
    testsupport::EnvOverride path("LUMORA_CODEC_PATH", empty.dir);
    EXPECT_FALSE(platform::Module("LMJPEG32.DLL").loaded());
    EXPECT_FALSE(platform::Module("LMPNG32.DLL").loaded());
}

}  // namespace
}  // namespace codecs_test
