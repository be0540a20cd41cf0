// lumora-viewer as a user starts it: JavaScript driving the widget in a window on a real X
// server (Xvfb) that shows the picture, and the picture printed to PDF.
#include <gtest/gtest.h>

#include <QImage>

#include <fstream>

#include "../embed/shell.h"
#include "support/picture.h"
#include "support/testdata.h"

using embed_test::Quote;
using embed_test::Shell;

namespace {

std::string Viewer(const std::string& picture) {
    return Quote(testsupport::BinaryDir() / "lumora-viewer") + " " +
           Quote(testsupport::SourceDir() / "samples" / picture);
}

// Pixels of the photo's and the sunset's colours: orange sky, green ground, white sun.
struct SunsetColours {
    int orange = 0, green = 0, white = 0;
};
SunsetColours CountSunsetColours(const std::string& file) {
    const QImage image(QString::fromStdString(file));
    SunsetColours n;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            n.orange += c.red() > 200 && c.green() > 100 && c.green() < 170 && c.blue() < 60;
            n.green += c.green() > 70 && c.red() < 60 && c.blue() < 60;
            n.white += c.red() > 245 && c.green() > 245 && c.blue() > 245;
        }
    return n;
}

// xvfb-run starts an X server of its own on a free display for the one command; Qt's own notes
// on standard error are not the script's output.
TEST(Viewer, ScriptDrivesTheWindowOnAnXServer) {
    if (Shell("command -v xvfb-run").status != 0) GTEST_SKIP() << "xvfb-run is not installed";
    testsupport::TempDir dir;
    std::ofstream(dir.path("s.js")) << "print(lumora.bmpw + 'x' + lumora.bmph);\n"
                                       "lumora.Zoom = 2; print(lumora.Zoom); lumora.Zoom = 1;\n"
                                       "lumora.AutoSize = 5; print(lumora.lastError);\n"
                                       "lumora.AboutBox === undefined ? print('none') : "
                                       "print('method');\n";
    const auto result = Shell("{ env -u QT_QPA_PLATFORM xvfb-run -a -s '-screen 0 640x480x24' " +
                              Viewer("photo.jpg") + " --script " + Quote(dir.path("s.js")) +
                              " --screenshot " + Quote(dir.path("shot.png")) + " 2>/dev/null; }");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, "96x64\n2\nError 380: Invalid property value\nmethod\n");
    // The sample is an orange-to-blue sky over green ground with a white sun: all must show.
    const SunsetColours colours = CountSunsetColours(dir.path("shot.png"));
    EXPECT_GT(colours.orange, 20);
    EXPECT_GT(colours.green, 200);
    EXPECT_GT(colours.white, 500);
}

// Rendered back at the printing resolution, the 96 x 64 picture is 96 x 64 pixels of a sheet of
// paper; a picture that cannot be opened leaves no PDF behind.
TEST(Viewer, PrintsThePictureToPdf) {
    if (Shell("command -v pdftoppm").status != 0) GTEST_SKIP() << "pdftoppm is not installed";
    testsupport::TempDir dir;
    const auto printed =
        Shell("QT_QPA_PLATFORM=offscreen " + Viewer("sunset.bmp") + " --print-pdf " +
              Quote(dir.path("x.pdf")) + " && pdftoppm -r 150 -png -singlefile " +
              Quote(dir.path("x.pdf")) + " " + Quote(dir.path("p")));
    ASSERT_EQ(printed.status, 0) << printed.output;
    EXPECT_GT(QImage(QString::fromStdString(dir.path("p.png"))).width(), 1200);  // A4 or Letter
    const SunsetColours colours = CountSunsetColours(dir.path("p.png"));
    EXPECT_GT(colours.orange, 50);
    EXPECT_GT(colours.green, 600);
    EXPECT_LE(colours.orange + colours.green, 96 * 64);  // not drawn larger
    EXPECT_NE(Shell("QT_QPA_PLATFORM=offscreen " + Viewer("none.bmp") + " --print-pdf " +
                    Quote(dir.path("y.pdf")))
                  .status,
              0);
    EXPECT_FALSE(std::ifstream(dir.path("y.pdf")).good());
}

}  // namespace
