// lumora decode as a script sees it: its output lines, files and exit status.
#include "cli_support.h"

using namespace cli_test;

TEST(DecodeCommand, PrintsSizeAndBitCount) {
    EXPECT_EQ(Lumora("decode " + SamplePath("sunset.bmp")).out, "96 64 24\n");
    EXPECT_EQ(Lumora("decode " + SamplePath("sunset8rle.bmp")).out, "96 64 8\n");
    // "Dither extra colours" turns an 8-bit picture into 4 bits.
    EXPECT_EQ(Lumora("decode --dither 1 " + SamplePath("sunset8.bmp")).out, "96 64 4\n");
}

TEST(DecodeCommand, InfoLinesOfAGifFrameWalk) {
    const Result first = Lumora("decode --info " + SamplePath("spin.gif"));
    ASSERT_EQ(first.status, 0) << first.out;
    EXPECT_NE(first.out.find("48 48 8\n"), std::string::npos);
    EXPECT_NE(first.out.find("screenWidth\t48\n"), std::string::npos);
    EXPECT_NE(first.out.find("frameDelay\t200\n"), std::string::npos);
    const size_t at = first.out.find("nextFrameOffset\t");
    ASSERT_NE(at, std::string::npos);
    const int next = std::stoi(first.out.substr(at + 16));
    ASSERT_GT(next, 0);
    // The next frame starts where the first one's data ended.
    const Result second =
        Lumora("decode --info --offset " + std::to_string(next) + " " + SamplePath("spin.gif"));
    EXPECT_EQ(second.status, 0);
    EXPECT_NE(second.out.find("frameDescriptorOffset\t"), std::string::npos);
    EXPECT_EQ(first.out.find("pageOffset"), std::string::npos);
}

TEST(DecodeCommand, WritesTheDibAsBuiltAndRgbFiles) {
    const fs::path bmp = TempDir() / "copy.bmp";
    ASSERT_EQ(Lumora("decode " + SamplePath("sunset.bmp") + " -o " + bmp.string()).status, 0);
    EXPECT_EQ(ReadAll(bmp), ReadAll(SamplePath("sunset.bmp")));  // same header, rows and padding

    const fs::path ppm = TempDir() / "rle.ppm";
    ASSERT_EQ(Lumora("decode " + SamplePath("sunset8rle.bmp") + " -o " + ppm.string()).status, 0);
    EXPECT_EQ(ReadAll(ppm), Shell("convert " + SamplePath("sunset8rle.bmp") + " -depth 8 ppm:-"));

    const fs::path png = TempDir() / "gif.png";
    ASSERT_EQ(Lumora("decode " + SamplePath("spin.gif") + " -o " + png.string()).status, 0);
    EXPECT_EQ(DifferentPixels(SamplePath("spin.gif") + "[0]", png.string()), "0");
}

TEST(DecodeCommand, FailuresPrintTheLoaderCode) {
    const fs::path text = TempDir() / "notes.dat";
    std::ofstream(text) << "hello there\n";
    const std::pair<std::string, std::string> cases[] = {
        {"/nonexistent/picture.bmp", "Error -20001: Could not open file\n"},
        {text.string(), "Error -20013: File type not supported\n"}};
    for (const auto& [file, message] : cases) {
        const Result r = Lumora("decode " + file);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, message);
    }
    const Result r = Lumora("decode " + SamplePath("sunset.bmp") + " --dither 7");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("--dither needs a number from 0 to 2"), std::string::npos);
}
