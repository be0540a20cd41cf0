// lumora run and lumora show, as a user's script sees them: printed lines, errors, exit status
// and written files.
#include <sstream>

#include "cli_support.h"

using namespace cli_test;

namespace {

struct ScriptCase {
    const char* script;
    const char* options;
    int status;
    const char* out;
};

// Scripts whose whole output is known: literal typing, printing, parse errors (which run
// nothing), failing statements (which do not stop the script), indexed properties, events, the
// client area, the host's extent and design mode.
const ScriptCase kScripts[] = {
    {"Print VarType(1), VarType(40000), VarType(&H10000), \"a\"\"b\", True, VarType(Empty)\n"
     "Print -&H8000, VarType(-&H8000), VarType(3000000000)\n",
     "", 0, "2\t3\t3\ta\"b\tTrue\t0\n32768\t3\t5\n"},
    {"' a comment line\n\nPrint 0.5, 2.5#, 0.1!, -32767, 1E3 ' trailing comment\n"
     "Print False, True, Empty, \"it's\"\nPrint \"x\", , \"y\"\nPrint\nPrint Zoom, VarType(Zoom)\n",
     "", 0, "0.5\t2.5\t0.1\t-32767\t1000\nFalse\tTrue\t\tit's\nx\t\ty\n\n1\t4\n"},
    {"Print 1\nZoom = \nPrint 2\n", "", 2,
     "Error on line 2: expected a value, found end of line\n"},
    {"Print 1\n\n' fine\nPrint \"open\n", "", 2, "Error on line 4: unterminated string\n"},
    {"Zoom = 2 3\n", "", 2, "Error on line 1: unexpected '3'\n"},
    {"Print (1\n", "", 2, "Error on line 1: expected ')', found end of line\n"},
    {"Print 1 $\n", "", 2, "Error on line 1: unexpected character '$'\n"},
    {"Set = 4\n", "", 2, "Error on line 1: expected a name after Set, found '='\n"},
    {"AutoSize = 7\nPrint AutoSize\nAutoSize = 2\nPrint AutoSize\n", "", 1,
     "Error 380: Invalid property value\n0\n2\n"},
    {"NoSuchThing = 1\nPrint NoSuchThing\nZoom = \"x\"\nPrint 5\n", "", 1,
     "Error 438: Object doesn't support this property or method\n"
     "Error 438: Object doesn't support this property or method\nError 13: Type mismatch\n5\n"},
    {"Bmpw = 3\nResize 10\nHScroll Sideways\nSaveBitmap \"none.bmp\"\nPrint 1\n", "", 1,
     "Error 383: Property is read-only\n"
     "Error 450: Wrong number of arguments or invalid property assignment\n"
     "Error 5: Invalid procedure call or argument\nError 481: Invalid picture\n1\n"},
    {"NumTabs = 3\nTabStops(0) = 40\nTabStops(2) = -7\n"
     "Print TabStops(0), TabStops(1), TabStops(2), NumTabs\n"
     "Set t = 12\nTabStops(1) = t\nt = 3\nPrint TabStops(1), t, VarType(t)\n",
     "", 0, "40\t0\t-7\t3\n12\t3\t2\n"},
    {"Click 5, 6\nMouseMove 7, 8\nPaint\nResize 50, 40\nPrint \"done\"\n", "--events", 0,
     "Event MouseDown 1, 0, 5, 6\nEvent MouseUp 1, 0, 5, 6\nEvent Click\n"
     "Cursor arrow\nEvent MouseMove 0, 0, 7, 8\nEvent Paint\nEvent Resize\ndone\n"},
    {"Click 5, 6\nMouseMove 7, 8\nPaint\nResize 50, 40\nPrint \"done\"\n", "", 0, "done\n"},
    // The client area is the extent less 1 pixel a side for the border and 2 for the 3-D edge.
    {"BackColor = &HFF&\nBorderStyle = 1\nAppearance = 1\nPaint\n"
     "Print ViewPixel(33, 23)\nPrint ViewPixel(34, 0)\nPrint ViewPixel(0, 24)\n"
     "Print ViewPixel(-1, 0)\nAppearance = 0\nPaint\nPrint ViewPixel(37, 27)\n"
     "Print ViewPixel(38, 27)\nBorderStyle = 0\nPaint\nPrint ViewPixel(39, 29)\n",
     "--size 40x30", 1,
     "255\nError 5: Invalid procedure call or argument\n"
     "Error 5: Invalid procedure call or argument\n"
     "Error 5: Invalid procedure call or argument\n255\n"
     "Error 5: Invalid procedure call or argument\n255\n"},
    {"Print ExtentWidth, ExtentHeight, CurrentCursor\nResize 200, 150\n"
     "Print ExtentWidth, ExtentHeight\n",
     "--size 64x48", 0, "64\t48\tarrow\n200\t150\n"},
    // HorzRange is a run-time-only property.
    {"Print HorzRange\nDesignMode True\nPrint HorzRange\nDesignMode False\nPrint HorzRange\n", "",
     1, "0\nError 394: Property is write-only\n0\n"},
};

TEST(ScriptRun, ScriptsPrintWhatTheyShould) {
    for (const ScriptCase& c : kScripts) {
        const Result r = RunScript(c.script, c.options);
        EXPECT_EQ(r.status, c.status) << c.script;
        EXPECT_EQ(r.out, c.out) << c.script;
    }
    // Errors go to standard error only; bad options stop before the script.
    const Result quiet = RunScript("Print 1\nPrint 40000%\n", "", false);
    EXPECT_EQ(quiet.status, 2);
    EXPECT_EQ(quiet.out, "");
    // 4294967304 is 8 modulo 2^32.
    for (const char* option : {"--size 10", "--display-depth 7", "--display-depth 4294967304"})
        EXPECT_EQ(RunScript("", option).status, 2) << option;
}

TEST(ScriptRun, PicturesViewsAndBitmaps) {
    const fs::path view = TempDir() / "view.png";
    fs::remove(view);
    const Result r =
        RunScript("Set p = LoadPicture(\"" + SamplePath("sunset.bmp") +
                      "\")\nPrint VarType(p)\nSet q = LoadPicture(\"/nonexistent/x.bmp\")\n"
                      "Set n = LoadPicture(\"\")\nPrint n\nBorderStyle = 1\nSaveView \"" +
                      view.string() + "\"\n",
                  "--size 90x70");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "9\nError 53: File not found\nNothing\n");
    EXPECT_EQ(PictureSize(view), std::pair(90, 70));
}

TEST(ScriptRun, ScrollBarActionsByName) {
    const Result r =
        RunScript("FileName = \"" + SamplePath("sunset.bmp") +
                  "\"\nZoom = 4\n"
                  "HScroll LineRight\nPrint HorzPos\nHScroll LineLeft\nPrint HorzPos\n"
                  "VScroll LineDown\nPrint VertPos\nVScroll \"LineUp\"\nPrint VertPos\n"
                  "HScroll LineUp\n");
    EXPECT_EQ(r.status, 1);
    std::istringstream lines(r.out);
    int right = 0, back = -1, down = 0, up = -1;
    lines >> right >> back >> down >> up;
    EXPECT_GT(right, 0) << r.out;
    EXPECT_EQ(back, 0);
    EXPECT_GT(down, 0) << r.out;
    EXPECT_EQ(up, 0);
    // Up is a vertical bar's action only.
    EXPECT_NE(r.out.find("\nError 5: Invalid procedure call or argument\n"), std::string::npos);
}

TEST(ScriptRun, SaveBitmapWritesTheBitmapAsHeld) {
    const fs::path held = TempDir() / "held.bmp";
    const fs::path built = TempDir() / "built.bmp";
    fs::remove(held);
    const Result r =
        RunScript("SaveBitmap \"" + held.string() + "\"\nFileName = \"" +
                  SamplePath("sunset8.bmp") + "\"\nSaveBitmap \"" + held.string() + "\"\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Error 481: Invalid picture\n");
    // The loader alone builds the same 8-bit DIB with its colour table.
    ASSERT_EQ(Lumora("decode " + SamplePath("sunset8.bmp") + " -o " + built.string()).status, 0);
    EXPECT_FALSE(ReadAll(held).empty());
    EXPECT_EQ(ReadAll(held), ReadAll(built));
}

TEST(ShowCommand, WritesThePaintedWindowAsPng) {
    const std::string show = "show " + SamplePath("sunset.bmp");
    const std::string out = (TempDir() / "show.png").string();
    // The window's size, a given one, and without a border the picture at its corner as the
    // file holds it.
    const struct {
        const char* options;
        int width, height;
    } sizes[] = {{"", 320, 240},
                 {" --size 100x80 --set Zoom=2 --set BorderStyle=1", 100, 80},
                 {" --set BorderStyle=0 --set Appearance=0", 320, 240}};
    for (const auto& c : sizes) {
        fs::remove(out);
        const Result r = Lumora(show + " -o " + out + c.options);
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_EQ(PictureSize(out), std::pair(c.width, c.height)) << c.options;
    }
    EXPECT_EQ(DifferentPixels(SamplePath("sunset.bmp"), out + "[96x64+0+0]"), "0");
    // Text converts to the property's type, or fails as a put would; -o is required.
    const Result bad = Lumora(show + " -o " + out + " --set AutoSize=7");
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.out, "Error 380: Invalid property value\n");
    EXPECT_EQ(Lumora(show + " -o " + out + " --set Zoom=big").out, "Error 13: Type mismatch\n");
    EXPECT_EQ(Lumora(show).status, 2);
}

}  // namespace

TEST(RunCommand, StateSavedByOneRunIsLoadedByTheNext) {
    const fs::path state = TempDir() / "state.txt";
    const Result first =
        RunScript("Zoom = 2.5\nFontTransparent = False\nAutoSize = 4\nFileName = \"" +
                      SamplePath("sunset.bmp") + "\"\n",
                  "--save-state " + state.string());
    ASSERT_EQ(first.status, 0) << first.out;
    // The picture comes back through the stored Picture, not by reading the file again.
    const Result second = RunScript(
        "Print Zoom, FontTransparent, JPGOptimize, AutoSize, bmpw\nPaint\n"
        "Print ViewPixel(5, 200)\n",
        "--load-state " + state.string());
    ASSERT_EQ(second.status, 0) << second.out;
    EXPECT_EQ(second.out, "2.5\tFalse\tTrue\t4\t0\n" + std::to_string(0x206020) + "\n");

    std::ofstream(TempDir() / "bad.txt") << "no equals sign here\n";
    const Result bad = RunScript("Print 1\n", "--load-state " + (TempDir() / "bad.txt").string());
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.out.find("line 1"), std::string::npos) << bad.out;
}
