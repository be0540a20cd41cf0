// The script host's page statements and About box, as a script writer sees them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "shell.h"
#include "support/testdata.h"

namespace {

TEST(ScriptPages, StatementsReadApplyAndShowTheAboutBox) {
    const auto script = std::filesystem::temp_directory_path() / "lumora-pages.bas";
    std::ofstream(script) << "ApplyPage \"General\", \"AutoSize\", 4\n"
                             "Print AutoSize, PageValue(\"General\", \"AutoSize\")\n"
                             "DrawMode = 7\n"
                             "Print PageText(\"Graphics\", \"DrawMode\")\n"
                             "Print PageValue(\"General\", \"FancyUpsampling\")\n"
                             "ApplyPage \"General\", \"JPGQuality\", 101\n"
                             "Print JPGQuality\n"
                             "AboutBox\n";
    const auto result = embed_test::Shell(embed_test::Quote(testsupport::BinaryDir() / "lumora") +
                                          " run " + embed_test::Quote(script));
    std::filesystem::remove(script);
    EXPECT_EQ(result.output,
              "4\t4\n7 - Xor Pen\nFalse\nError 380: Invalid property value\n0\n"
              "Dialog About: About Lumora Control\n");
}

}  // namespace
