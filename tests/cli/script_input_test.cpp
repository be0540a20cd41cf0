// The scripting host run in process with the printed lines captured: input statements, pages,
// helper functions and text values.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "script_host.h"
#include "script_lexer.h"
#include "script_parser.h"
#include "support/testdata.h"

namespace {

using testsupport::SamplePath;

// What the script printed.
std::string RunInProcess(const std::string& script, bool events = false) {
    cli::ScriptHost host(120, 90, events);
    testing::internal::CaptureStdout();
    host.Run(cli::ParseScript(script));
    return testing::internal::GetCapturedStdout();
}

TEST(ScriptInput, EventsAndCursorChangesPrintInTheOrderTheyHappen) {
    const std::string out = RunInProcess(
        "MousePointer = 2\nMouseMove 10, 20\nMouseDown 1, 2, 2, 1\nMouseUp 1, 2\n"
        "DblClick 3, 4\nKeyDown 65, 1\nKeyUp 65\nKeyPress 97\n"
        "Set icon = LoadPicture(\"" +
            SamplePath("logo.ico") +
            "\")\n"
            "Print VarType(icon)\nSet MouseIcon = icon\nMousePointer = 99\n"
            "MouseMove 1, 1\n",
        true);
    EXPECT_EQ(out,
              "Cursor cross\nCursor cross\nEvent MouseMove 0, 0, 10, 20\n"
              "Event MouseDown 2, 1, 1, 2\nEvent MouseUp 1, 0, 1, 2\n"
              "Event MouseDown 1, 0, 3, 4\nEvent MouseUp 1, 0, 3, 4\nEvent DblClick\n"
              "Event KeyDown 65, 1\nEvent KeyUp 65, 0\nEvent KeyPress 97\n9\n"
              "Cursor custom\nCursor custom\nEvent MouseMove 0, 0, 1, 1\n");
}

TEST(ScriptInput, PagesTakeThePrintedPicture) {
    const std::string png = (std::filesystem::temp_directory_path() /
                             ("lumora_page_" + std::to_string(::getpid()) + ".png"))
                                .string();
    // sunset.bmp is 96 x 64: PrintZoom 2 on a 600 x 300 dpi page covers 192 x 64 at (10, 20).
    const std::string out = RunInProcess(
        "FileName = \"" + SamplePath("sunset.bmp") +
        "\"\nSet page = NewPage(400, 300, 600, 300)\n"
        "Print PagePixel(page, 0, 0)\nPrintZoom = 2\nPrintX = 10\nPrintY = 20\n"
        "PrintHDC = page\nPaint\nPrint PagePixel(page, 10, 20), PagePixel(page, 201, 83)\n"
        "Print ViewPixel(0, 0), ViewPixel(95, 63)\n"
        "Print PagePixel(page, 202, 20), PagePixel(page, 10, 84)\n"
        "SavePage page, \"" +
        png +
        "\"\nDeletePage page\nPrint PagePixel(page, 0, 0)\n"
        "Set q = NewPage(0, 10, 96, 96)\n");
    // The corners of the printed picture are the picture's corners as the view shows them.
    const size_t first = out.find('\n') + 1, second = out.find('\n', first) + 1;
    const size_t third = out.find('\n', second) + 1;
    EXPECT_EQ(out.substr(first, second - first), out.substr(second, third - second));
    EXPECT_NE(out.substr(first, second - first), "16777215\t16777215\n");
    EXPECT_EQ(out.substr(0, first) + out.substr(third),
              "16777215\n16777215\t16777215\n"
              "Error 5: Invalid procedure call or argument\n"
              "Error 5: Invalid procedure call or argument\n");
    EXPECT_GT(std::filesystem::file_size(png), 0u);
    std::filesystem::remove(png);
}

TEST(ScriptInput, FunctionsAndTextValues) {
    const std::string gif = SamplePath("spin.gif");
    const struct {
        std::string script, printed;
    } rows[] = {
        {"FileName = \"" + gif + "\"\nSet o = Offsets\nPrint LBound(o), UBound(o)\n", "0\t2\n"},
        {"Print FileLen(\"" + gif + "\")\n",
         std::to_string(std::filesystem::file_size(gif)) + "\n"},
        {"Print FileLen(\"/nonexistent/x.gif\")\nPrint UBound(3)\n",
         "Error 53: File not found\nError 13: Type mismatch\n"},
        {"Print &HFF00&, &HFF00, Len(\"abc\"), Len(\"\")", "65280\t-256\t3\t0\n"},
        {"Print \"x\" & 1 & -2.5 & \"a\" & \"b\"", "x1-2.5ab\n"},
        {"Print \"a\" & vbCrLf & \"b\" & vbTab & vbLf & vbCr", "a\r\nb\t\n\r\n"},
        {"Print Chr(65) & Chr(&H42)", "AB\n"},
        {"Print (\"a\" & \"b\"), \"c\"", "ab\tc\n"},
        {"Print -1 & 2, &H10 & \"\"", "-12\t16\n"},
        {"Print Chr(256)", "Error 5: Invalid procedure call or argument\n"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(RunInProcess(r.script), r.printed) << r.script;
    EXPECT_THROW(cli::ParseScript("Print \"a\" &"), cli::ScriptSyntaxError);
    // A text of two lines reaches TextOut whole.
    cli::ScriptHost host(200, 100, false);
    host.Run(cli::ParseScript("ScaleMode = 3\nTextOut \"a\" & vbCrLf & \"b\"\n"));
    EXPECT_EQ(
        host.Control().GetProperty("CurrentY").AsR4(),
        host.Control().CallMethod("TextHeight", std::vector{platform::Variant::Bstr("a")}).AsR4());
}

}  // namespace
