// lumora run and lumora show, as a user's script sees them: printed lines, errors, exit status
// and written files.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include "support/testdata.h"

namespace fs = std::filesystem;

namespace {

struct Result {
    int status;
    std::string out;
};

fs::path TempDir() {
    fs::path dir = fs::temp_directory_path() / ("lumora_script_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    return dir;
}

// Runs the command; standard error is joined to standard output unless discarded.
Result Lumora(const std::string& args, bool withErrors = true) {
    const std::string cmd = testsupport::BinaryDir().string() + "/lumora " + args +
                            (withErrors ? " 2>&1" : " 2>/dev/null");
    FILE* p = popen(cmd.c_str(), "r");
    std::string out;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0)
        out.append(buf.data(), n);
    const int status = pclose(p);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

// Writes the script text to a file and runs it.
Result RunScript(const std::string& script, const std::string& options = "",
                 bool withErrors = true) {
    static int count = 0;
    const fs::path file = TempDir() / ("script" + std::to_string(++count) + ".bas");
    std::ofstream(file, std::ios::binary) << script;
    return Lumora("run " + options + " " + file.string(), withErrors);
}

std::string Sample(const char* name) {
    return testsupport::SourceDir().string() + "/samples/" + name;
}

// Width and height from a PNG's header; zeros when the file is not a PNG.
std::pair<uint32_t, uint32_t> PngSize(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string head(24, '\0');
    in.read(head.data(), 24);
    if (!in || head.compare(1, 3, "PNG") != 0 || head.compare(12, 4, "IHDR") != 0) return {0, 0};
    const auto be = [&](size_t at) {
        uint32_t v = 0;
        for (size_t i = 0; i < 4; ++i)
            v = v << 8 | static_cast<uint8_t>(head[at + i]);
        return v;
    };
    return {be(16), be(20)};
}

TEST(ScriptRun, LiteralTypesAsTheHostSeesThem) {
    const Result r = RunScript(
        "Print VarType(1), VarType(40000), VarType(&HFFFF), &HFFFF, VarType(&H10000), &H10000\n"
        "Print VarType(1.5), VarType(2!), VarType(3#), VarType(7&), VarType(7%)\n"
        "Print \"a\"\"b\", VarType(\"x\"), VarType(True), True, VarType(Empty), VarType(-5)\n"
        "Print VarType(3000000000), -&H8000, VarType(-&H8000)\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "2\t3\t2\t-1\t3\t65536\n"
              "5\t4\t5\t3\t2\n"
              "a\"b\t8\t11\tTrue\t0\t2\n"
              "5\t32768\t3\n");
}

TEST(ScriptRun, PrintsShortestNumbersBooleansEmptiesAndComments) {
    const Result r = RunScript(
        "' a comment line\n"
        "\n"
        "Print 0.5, 2.5#, 0.1!, -32767, 1E3 ' trailing comment\n"
        "Print False, True, Empty, \"it's\"\n"
        "Print \"x\", , \"y\"\n"
        "Print\n"
        "Print Zoom, VarType(Zoom)\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "0.5\t2.5\t0.1\t-32767\t1000\nFalse\tTrue\t\tit's\nx\t\ty\n\n1\t4\n");
}

TEST(ScriptRun, ParseErrorsNameTheLineAndRunNothing) {
    Result r = RunScript("Print 1\nZoom = \nPrint 2\n");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("Error on line 2: "), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("1\n"), std::string::npos) << r.out;  // the first Print never ran

    r = RunScript("Print 1\n\n' fine\nPrint \"open\n");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("Error on line 4: unterminated string"), std::string::npos) << r.out;

    r = RunScript("Zoom = 2 3\n");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("Error on line 1: "), std::string::npos);
    r = RunScript("Print (1\n");
    EXPECT_NE(r.out.find("Error on line 1: "), std::string::npos);
    r = RunScript("Print 1 $\n");
    EXPECT_NE(r.out.find("Error on line 1: "), std::string::npos);
    r = RunScript("Set = 4\n");
    EXPECT_EQ(r.status, 2);
    // Nesting is bounded before it can exhaust the stack.
    r = RunScript("Print " + std::string(100000, '(') + "1" + std::string(100000, ')') + "\n");
    EXPECT_NE(r.out.find("Error on line 1: expression nested too deeply"), std::string::npos);
    r = RunScript("x = " + std::string(100000, '-') + "y\n");
    EXPECT_NE(r.out.find("Error on line 1: expression nested too deeply"), std::string::npos);
    // The message goes to standard error only.
    r = RunScript("Print 1\nPrint 40000%\n", "", false);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
}

TEST(ScriptRun, FailingStatementsPrintTheirErrorAndTheScriptGoesOn) {
    Result r = RunScript("AutoSize = 7\nPrint AutoSize\nAutoSize = 2\nPrint AutoSize\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Error 380: Invalid property value\n0\n2\n");

    r = RunScript("NoSuchThing = 1\nPrint NoSuchThing\nZoom = \"x\"\nPrint 5\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out,
              "Error 438: Object doesn't support this property or method\n"
              "Error 438: Object doesn't support this property or method\n"
              "Error 13: Type mismatch\n5\n");

    r = RunScript("Bmpw = 3\nResize 10\nHScroll Sideways\nSaveBitmap \"none.bmp\"\nPrint 1\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out,
              "Error 383: Property is read-only\n"
              "Error 450: Wrong number of arguments or invalid property assignment\n"
              "Error 5: Invalid procedure call or argument\n"
              "Error 481: Invalid picture\n1\n");

    // A literal that cannot be negated fails as its statement runs, not while parsing.
    r = RunScript("Print -\"abc\"\nPrint -Nothing\nPrint -\"2\", -(-3)\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Error 13: Type mismatch\nError 13: Type mismatch\n-2\t3\n");
}

TEST(ScriptRun, IndexedPropertiesAndVariables) {
    const Result r = RunScript(
        "NumTabs = 3\n"
        "TabStops(0) = 40\n"
        "TabStops(2) = -7\n"
        "Print TabStops(0), TabStops(1), TabStops(2), NumTabs\n"
        "Set t = 12\n"
        "TabStops(1) = t\n"
        "t = 3\n"
        "Print TabStops(1), t, VarType(t)\n");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "40\t0\t-7\t3\n12\t3\t2\n");
}

TEST(ScriptRun, EventsPrintOnlyWhenAsked) {
    const std::string script = "Click 5, 6\nMouseMove 7, 8\nPaint\nResize 50, 40\nPrint \"done\"\n";
    Result r = RunScript(script, "--events");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "Event MouseDown 1, 0, 5, 6\nEvent MouseUp 1, 0, 5, 6\nEvent Click\n"
              "Cursor arrow\nEvent MouseMove 0, 0, 7, 8\nEvent Paint\nEvent Resize\ndone\n");
    r = RunScript(script);
    EXPECT_EQ(r.out, "done\n");
}

// A pixel of a sample as 0x00BBGGRR, read by ImageMagick.
int32_t SamplePixel(const char* name, int x, int y) {
    const std::string cmd = "convert '" + Sample(name) + "' -depth 8 ppm:-";
    FILE* p = popen(cmd.c_str(), "r");
    int w = 0, h = 0, max = 0;
    if (std::fscanf(p, "P6 %d %d %d", &w, &h, &max) != 3) w = 0;
    std::fgetc(p);
    std::string rgb(static_cast<size_t>(w) * h * 3, '\0');
    const size_t got = std::fread(rgb.data(), 1, rgb.size(), p);
    pclose(p);
    if (got != rgb.size() || x >= w || y >= h) return -1;
    const auto at = [&](int i) {
        return static_cast<int32_t>(
            static_cast<uint8_t>(rgb[(static_cast<size_t>(y) * w + x) * 3 + i]));
    };
    return at(0) | at(1) << 8 | at(2) << 16;
}

TEST(ScriptRun, ViewPixelReadsTheClientArea) {
    const std::string file = Sample("sunset.bmp");
    Result r = RunScript("FileName = \"" + file +
                         "\"\nBorderStyle = 0\nAppearance = 0\nPaint\n"
                         "Print ViewPixel(0, 0), ViewPixel(95, 63), ViewPixel(10, 5)\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::to_string(SamplePixel("sunset.bmp", 0, 0)) + "\t" +
                         std::to_string(SamplePixel("sunset.bmp", 95, 63)) + "\t" +
                         std::to_string(SamplePixel("sunset.bmp", 10, 5)) + "\n");

    // The client area is the extent less 1 pixel a side for the border and 2 for the 3-D edge.
    r = RunScript(
        "BackColor = &HFF&\nBorderStyle = 1\nAppearance = 1\nPaint\n"
        "Print ViewPixel(33, 23)\nPrint ViewPixel(34, 0)\nPrint ViewPixel(0, 24)\n"
        "Print ViewPixel(-1, 0)\nAppearance = 0\nPaint\nPrint ViewPixel(37, 27)\n"
        "Print ViewPixel(38, 27)\nBorderStyle = 0\nPaint\nPrint ViewPixel(39, 29)\n",
        "--size 40x30");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out,
              "255\nError 5: Invalid procedure call or argument\n"
              "Error 5: Invalid procedure call or argument\n"
              "Error 5: Invalid procedure call or argument\n255\n"
              "Error 5: Invalid procedure call or argument\n255\n");
}

TEST(ScriptRun, HostExtentCursorAndDesignMode) {
    Result r = RunScript(
        "Print ExtentWidth, ExtentHeight, CurrentCursor\n"
        "Resize 200, 150\n"
        "Print ExtentWidth, ExtentHeight\n",
        "--size 64x48");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "64\t48\tarrow\n200\t150\n");

    // HorzRange is a run-time-only property.
    r = RunScript(
        "Print HorzRange\nDesignMode True\nPrint HorzRange\nDesignMode False\nPrint HorzRange\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "0\nError 394: Property is write-only\n0\n");

    EXPECT_EQ(RunScript("", "--size 10").status, 2);
    EXPECT_EQ(RunScript("", "--display-depth 7").status, 2);
}

TEST(ScriptRun, PicturesViewsAndBitmaps) {
    const fs::path view = TempDir() / "view.png";
    const fs::path bitmap = TempDir() / "held.bmp";
    fs::remove(view);
    const Result r = RunScript("Set p = LoadPicture(\"" + Sample("sunset.bmp") +
                                   "\")\n"
                                   "Print VarType(p)\n"
                                   "Set q = LoadPicture(\"/nonexistent/x.bmp\")\n"
                                   "Set n = LoadPicture(\"\")\n"
                                   "Print n\n"
                                   "BorderStyle = 1\n"
                                   "SaveView \"" +
                                   view.string() + "\"\n",
                               "--size 90x70");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "9\nError 53: File not found\nNothing\n");
    EXPECT_EQ(PngSize(view), std::make_pair(90u, 70u));
}

TEST(ScriptRun, ScrollBarActionsByName) {
    const Result r =
        RunScript("FileName = \"" + Sample("sunset.bmp") +
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
        RunScript("SaveBitmap \"" + held.string() + "\"\nFileName = \"" + Sample("sunset8.bmp") +
                  "\"\nSaveBitmap \"" + held.string() + "\"\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Error 481: Invalid picture\n");
    // The loader alone builds the same 8-bit DIB with its colour table.
    ASSERT_EQ(Lumora("decode " + Sample("sunset8.bmp") + " -o " + built.string()).status, 0);
    std::ifstream a(held, std::ios::binary), b(built, std::ios::binary);
    const std::string heldBytes{std::istreambuf_iterator<char>(a), {}};
    const std::string builtBytes{std::istreambuf_iterator<char>(b), {}};
    EXPECT_FALSE(heldBytes.empty());
    EXPECT_EQ(heldBytes, builtBytes);
}

TEST(ShowCommand, WritesThePaintedWindowAsPng) {
    const fs::path out = TempDir() / "show.png";
    fs::remove(out);
    Result r = Lumora("show " + Sample("sunset.bmp") + " -o " + out.string());
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(PngSize(out), std::make_pair(320u, 240u));

    fs::remove(out);
    r = Lumora("show " + Sample("sunset.bmp") + " -o " + out.string() +
               " --size 100x80 --set Zoom=2 --set BorderStyle=1");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(PngSize(out), std::make_pair(100u, 80u));

    // Without a border the picture sits at the window's corner, as the file holds it.
    r = Lumora("show " + Sample("sunset.bmp") + " -o " + out.string() +
               " --set BorderStyle=0 --set Appearance=0");
    EXPECT_EQ(r.status, 0) << r.out;
    const std::string cmd = "compare -metric AE '" + Sample("sunset.bmp") + "' '" + out.string() +
                            "[96x64+0+0]' null: 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    char buf[64] = {};
    ASSERT_NE(fgets(buf, sizeof buf, p), nullptr);
    pclose(p);
    EXPECT_STREQ(buf, "0");

    // Text converts to the property's type, or fails as a put would.
    r = Lumora("show " + Sample("sunset.bmp") + " -o " + out.string() + " --set AutoSize=7");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Error 380: Invalid property value\n");
    r = Lumora("show " + Sample("sunset.bmp") + " -o " + out.string() + " --set Zoom=big");
    EXPECT_EQ(r.out, "Error 13: Type mismatch\n");
    EXPECT_EQ(Lumora("show " + Sample("sunset.bmp")).status, 2);
}

}  // namespace

TEST(RunCommand, StateSavedByOneRunIsLoadedByTheNext) {
    const fs::path state = TempDir() / "state.txt";
    const Result first =
        RunScript("Zoom = 2.5\nFontTransparent = False\nAutoSize = 4\nFileName = \"" +
                      Sample("sunset.bmp") + "\"\n",
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
