// The installed tree as an embedding program meets it: installed from this build into a fresh
// prefix, a small project builds against it through CMake and through pkg-config, and loads a
// JPEG through the codec module found beside the installed library; where the build has Qt, the
// same with LumoraWidget.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <unistd.h>

#include "lumora/version.h"
#include "shell.h"
#include "support/testdata.h"

namespace fs = std::filesystem;
using embed_test::Quote;
using embed_test::Result;
using embed_test::Shell;

namespace {

class InstallTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        root_ = fs::temp_directory_path() / ("lumora-install-" + std::to_string(::getpid()));
        fs::remove_all(root_);
        installed_ = Shell("cmake --install " + Quote(testsupport::BinaryDir()) + " --prefix " +
                           Quote(root_ / "prefix"));
    }
    static void TearDownTestSuite() { fs::remove_all(root_); }

    static fs::path Prefix() { return root_ / "prefix"; }
    // The Qt host is built, and so installed, only where Qt 6 was found.
    static bool WithQt() { return fs::exists(testsupport::BinaryDir() / "lumora-viewer"); }
    // The program at `source` built through pkg-config's flags for `package`.
    static Result CompileWithPkgConfig(const fs::path& source, const fs::path& program,
                                       const std::string& package) {
        return Shell("c++ -std=c++20 " + Quote(source) + " -o " + Quote(program) +
                     " $(PKG_CONFIG_PATH=" + Quote(Prefix() / "lib/pkgconfig") +
                     " pkg-config --cflags --libs " + package + ") -Wl,-rpath," +
                     Quote(Prefix() / "lib"));
    }
    // The consumer sees only the installed tree: the build's codec path is not handed on.
    static Result RunConsumer(const fs::path& program, const std::string& environment = {}) {
        return Shell("env -u LUMORA_CODEC_PATH " + environment + " " + Quote(program) + " " +
                     Quote(testsupport::SourceDir() / "samples/photo.jpg"));
    }

    static inline fs::path root_;
    static inline Result installed_;
};

TEST_F(InstallTest, LaysOutTheTreeWithoutBuildPaths) {
    ASSERT_EQ(installed_.status, 0) << installed_.output;
    for (const char* file : {"include/lumora/lumora.h", "include/lumora/version.h", "bin/lumora",
                             "lib/pkgconfig/lumora.pc", "lib/cmake/Lumora/LumoraConfig.cmake",
                             "lib/lumora/codecs/lmjpeg32.so", "lib/lumora/codecs/lmpng32.so",
                             "lib/lumora/codecs/lmtiff32.so", "lib/lumora/codecs/lmdcm32.so",
                             "share/lumora/fonts/DejaVuSans.ttf"})
        EXPECT_TRUE(fs::exists(Prefix() / file)) << file;
    for (const char* file : {"include/lumora/lumora_widget.h", "lib/pkgconfig/lumora-widget.pc",
                             "lib/cmake/Lumora/LumoraWidgetTargets.cmake"})
        EXPECT_EQ(fs::exists(Prefix() / file), WithQt()) << file;
    const Result soname =
        Shell("objdump -p " + Quote(Prefix() / "lib/liblumora.so") + " | grep SONAME");
    EXPECT_NE(soname.output.find("liblumora.so.2"), std::string::npos) << soname.output;
    for (const auto& entry : fs::recursive_directory_iterator(Prefix())) {
        if (!entry.is_regular_file()) continue;
        EXPECT_EQ(embed_test::ReadText(entry.path()).find(testsupport::BinaryDir().string()),
                  std::string::npos)
            << entry.path() << " refers to the build folder";
    }
}

TEST_F(InstallTest, ConsumerBuildsThroughCMakeAndPkgConfig) {
    ASSERT_EQ(installed_.status, 0) << installed_.output;
    const fs::path source = testsupport::SourceDir() / "tests/embed/consumer";
    const fs::path build = root_ / "consumer-cmake";
    const Result configured = Shell("cmake -S " + Quote(source) + " -B " + Quote(build) +
                                    " -DCMAKE_PREFIX_PATH=" + Quote(Prefix()));
    ASSERT_EQ(configured.status, 0) << configured.output;
    const Result built = Shell("cmake --build " + Quote(build));
    ASSERT_EQ(built.status, 0) << built.output;

    const fs::path pkgProgram = root_ / "consumer-pkgconfig";
    const Result compiled = CompileWithPkgConfig(source / "main.cpp", pkgProgram, "lumora");
    ASSERT_EQ(compiled.status, 0) << compiled.output;

    for (const fs::path& program : {build / "consumer", pkgProgram}) {
        const Result ran = RunConsumer(program);
        EXPECT_EQ(ran.status, 0) << ran.output;
        EXPECT_EQ(ran.output, std::string(LUMORA_VERSION_STRING) + " 96 64\n") << program;
    }
    // LUMORA_CODEC_PATH still wins over the installed modules: an empty folder has no JPEG codec.
    const Result overridden = RunConsumer(build / "consumer", "LUMORA_CODEC_PATH=" + Quote(root_));
    EXPECT_NE(overridden.status, 0) << overridden.output;

    // Lumora::widget comes with the package unasked wherever Qt is.
    EXPECT_EQ(fs::exists(build / "widget_consumer"), WithQt());
    if (!WithQt()) return;
    const fs::path widgetProgram = root_ / "widget-consumer-pkgconfig";
    const Result widgetCompiled =
        CompileWithPkgConfig(source / "widget_main.cpp", widgetProgram, "lumora-widget");
    ASSERT_EQ(widgetCompiled.status, 0) << widgetCompiled.output;
    for (const fs::path& program : {build / "widget_consumer", widgetProgram}) {
        const Result ran = RunConsumer(program, "QT_QPA_PLATFORM=offscreen");
        EXPECT_EQ(ran.status, 0) << ran.output;
        EXPECT_NE(ran.output.find("96 64 printed\n"), std::string::npos) << program << ran.output;
    }
}

TEST_F(InstallTest, ComponentsAreFoundOnlyWhereInstalled) {
    ASSERT_EQ(installed_.status, 0) << installed_.output;
    struct Row {
        const char* components;
        bool found;
    };
    for (const Row& row : {Row{"widget", WithQt()}, Row{"nonesuch", false}}) {
        const fs::path build = root_ / (std::string("components-") + row.components);
        const Result configured =
            Shell("cmake -S " + Quote(testsupport::SourceDir() / "tests/embed/consumer") + " -B " +
                  Quote(build) + " -DCMAKE_PREFIX_PATH=" + Quote(Prefix()) +
                  " -DLUMORA_COMPONENTS=" + row.components);
        EXPECT_EQ(configured.status == 0, row.found) << row.components << configured.output;
    }
}

}  // namespace
