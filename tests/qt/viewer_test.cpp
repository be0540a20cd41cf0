// lumora-viewer as a user starts it: JavaScript driving the widget, and the window on a real X
// server (Xvfb) showing the picture. Only the second needs a display, and skips without Xvfb.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QImage>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "../embed/shell.h"
#include "support/testdata.h"

namespace fs = std::filesystem;
using embed_test::Quote;
using embed_test::Shell;

namespace {

std::string Viewer() {
    return Quote(testsupport::BinaryDir() / "lumora-viewer");
}
std::string Photo() {
    return Quote(testsupport::SourceDir() / "samples/photo.jpg");
}

// Pixels of the photo's and the sunset's colours: orange sky, green ground, white sun.
struct SunsetColours {
    int orange = 0, green = 0, white = 0;
};
SunsetColours CountSunsetColours(const QImage& image) {
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

TEST(Viewer, ScriptDrivesTheWidget) {
    const fs::path dir = fs::temp_directory_path() / ("lumora-viewer-" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "s.js")
        << "print(lumora.bmpw + 'x' + lumora.bmph);\n"
           "lumora.Zoom = 2; print(lumora.Zoom);\n"
           "lumora.AutoSize = 5; print(lumora.lastError);\n"
           "lumora.AboutBox === undefined ? print('none') : print('method');\n";
    // Qt's own notes on standard error are not the script's output.
    const auto result =
        Shell("{ QT_QPA_PLATFORM=offscreen " + Viewer() + " " + Photo() + " --script " +
              Quote(dir / "s.js") + " --screenshot " + Quote(dir / "shot.png") + " 2>/dev/null; }");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, "96x64\n2\nError 380: Invalid property value\nmethod\n");
    EXPECT_FALSE(QImage(QString::fromStdString((dir / "shot.png").string())).isNull());
    fs::remove_all(dir);
}

// An X server of our own for the length of one test.
class Xvfb {
  public:
    explicit Xvfb(int display) : display_(display) {
        pid_ = fork();
        if (pid_ == 0) {
            const std::string name = ":" + std::to_string(display);
            execlp("Xvfb", "Xvfb", name.c_str(), "-screen", "0", "640x480x24", "-nolisten", "tcp",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        // Ready once its socket exists.
        const fs::path socket = "/tmp/.X11-unix/X" + std::to_string(display);
        for (int i = 0; i < 100 && !fs::exists(socket); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ready_ = fs::exists(socket);
    }
    ~Xvfb() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    bool ready() const { return ready_; }

  private:
    int display_;
    pid_t pid_ = -1;
    bool ready_ = false;
};

TEST(Viewer, WindowShowsThePictureOnAnXServer) {
    if (Shell("command -v Xvfb").status != 0) GTEST_SKIP() << "Xvfb is not installed";
    const int display = 90 + getpid() % 9;
    Xvfb server(display);
    ASSERT_TRUE(server.ready()) << "Xvfb did not start on :" << display;
    const fs::path shot =
        fs::temp_directory_path() / ("lumora-xvfb-" + std::to_string(getpid()) + ".png");
    const auto result = Shell("env -u QT_QPA_PLATFORM DISPLAY=:" + std::to_string(display) + " " +
                              Viewer() + " " + Photo() + " --screenshot " + Quote(shot));
    ASSERT_EQ(result.status, 0) << result.output;
    const QImage window(QString::fromStdString(shot.string()));
    fs::remove(shot);
    ASSERT_FALSE(window.isNull());
    // The sample is an orange-to-blue sky over green ground with a white sun: all must show.
    const SunsetColours colours = CountSunsetColours(window);
    EXPECT_GT(colours.orange, 20);
    EXPECT_GT(colours.green, 200);
    EXPECT_GT(colours.white, 500);
}

TEST(Viewer, PrintsThePictureToPdf) {
    if (Shell("command -v pdftoppm").status != 0) GTEST_SKIP() << "pdftoppm is not installed";
    const fs::path dir = fs::temp_directory_path() / ("lumora-pdf-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string sunset = Quote(testsupport::SourceDir() / "samples/sunset.bmp");
    const auto printed = Shell("QT_QPA_PLATFORM=offscreen " + Viewer() + " " + sunset +
                               " --print-pdf " + Quote(dir / "x.pdf"));
    ASSERT_EQ(printed.status, 0) << printed.output;
    ASSERT_TRUE(fs::exists(dir / "x.pdf"));
    // Rendered back at the printing resolution, the 96 x 64 picture is 96 x 64 pixels of it.
    const auto rendered =
        Shell("pdftoppm -r 150 -png -singlefile " + Quote(dir / "x.pdf") + " " + Quote(dir / "p"));
    ASSERT_EQ(rendered.status, 0) << rendered.output;
    const QImage page(QString::fromStdString((dir / "p.png").string()));
    ASSERT_FALSE(page.isNull());
    EXPECT_GT(page.width(), 1200);  // a sheet of paper, A4 or Letter by the locale
    const SunsetColours colours = CountSunsetColours(page);
    EXPECT_GT(colours.orange, 50);
    EXPECT_GT(colours.green, 600);
    // A picture that cannot be opened leaves no PDF behind.
    const auto missing = Shell("QT_QPA_PLATFORM=offscreen " + Viewer() + " " +
                               Quote(dir / "none.bmp") + " --print-pdf " + Quote(dir / "y.pdf"));
    EXPECT_NE(missing.status, 0);
    EXPECT_FALSE(fs::exists(dir / "y.pdf"));
    fs::remove_all(dir);
}

}  // namespace
