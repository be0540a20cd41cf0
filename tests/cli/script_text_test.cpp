// The script host's text values: Chr, the vb line-break and tab constants and & joining texts.
#include <gtest/gtest.h>

#include <string>

#include "script_host.h"
#include "script_lexer.h"
#include "script_parser.h"

namespace {

std::string Printed(const std::string& script) {
    cli::ScriptHost host(64, 48, false);
    testing::internal::CaptureStdout();
    host.Run(cli::ParseScript(script));
    return testing::internal::GetCapturedStdout();
}

TEST(ScriptText, JoinsTextsAndNamesControlCharacters) {
    const struct {
        const char* script;
        const char* printed;
    } rows[] = {
        {"Print \"a\" & \"b\" & \"c\"", "abc\n"},
        {"Print \"x\" & 1 & -2.5", "x1-2.5\n"},
        {"Print \"a\" & vbCrLf & \"b\" & vbTab & vbLf & vbCr", "a\r\nb\t\n\r\n"},
        {"Print Chr(65) & Chr(&H42)", "AB\n"},
        {"Print (\"a\" & \"b\"), \"c\"", "ab\tc\n"},
        {"Print -1 & 2", "-12\n"},
        {"Print &H10 & \"\"", "16\n"},
        {"Print Chr(256)", "Error 5: Invalid procedure call or argument\n"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(Printed(r.script), r.printed) << r.script;
    EXPECT_THROW(cli::ParseScript("Print \"a\" &"), cli::ScriptSyntaxError);
}

TEST(ScriptText, MultiLineTextReachesTextOut) {
    cli::ScriptHost host(200, 100, false);
    host.Run(cli::ParseScript("ScaleMode = 3\nTextOut \"a\" & vbCrLf & \"b\"\n"));
    EXPECT_EQ(
        host.Control().GetProperty("CurrentY").AsR4(),
        host.Control().CallMethod("TextHeight", std::vector{platform::Variant::Bstr("a")}).AsR4());
}

}  // namespace
