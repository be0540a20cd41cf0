// The lumora command as a script sees it: its output lines, files and exit status.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include "support/testdata.h"

namespace fs = std::filesystem;

namespace {

struct CommandResult {
    int status;
    std::string out;
};

// Runs the command with standard error joined to standard output.
CommandResult Lumora(const std::string& args) {
    const std::string cmd = testsupport::BinaryDir().string() + "/lumora " + args + " 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    std::string out;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0)
        out.append(buf.data(), n);
    const int status = pclose(p);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

std::string Sample(const char* name) {
    return testsupport::SourceDir().string() + "/samples/" + name;
}

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

fs::path Temp(const std::string& name) {
    fs::path dir = fs::temp_directory_path() / ("lumora_cli_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    return dir / name;
}

}  // namespace

TEST(DecodeCommand, PrintsSizeAndBitCount) {
    EXPECT_EQ(Lumora("decode " + Sample("sunset.bmp")).out, "96 64 24\n");
    EXPECT_EQ(Lumora("decode " + Sample("sunset8rle.bmp")).out, "96 64 8\n");
    // "Dither extra colours" turns an 8-bit picture into 4 bits.
    EXPECT_EQ(Lumora("decode --dither 1 " + Sample("sunset8.bmp")).out, "96 64 4\n");
}

TEST(DecodeCommand, InfoLinesOfAGifFrameWalk) {
    const CommandResult first = Lumora("decode --info " + Sample("spin.gif"));
    ASSERT_EQ(first.status, 0) << first.out;
    EXPECT_NE(first.out.find("48 48 8\n"), std::string::npos);
    EXPECT_NE(first.out.find("screenWidth\t48\n"), std::string::npos);
    EXPECT_NE(first.out.find("frameDelay\t200\n"), std::string::npos);
    const size_t at = first.out.find("nextFrameOffset\t");
    ASSERT_NE(at, std::string::npos);
    const int next = std::stoi(first.out.substr(at + 16));
    ASSERT_GT(next, 0);
    // The next frame starts where the first one's data ended.
    const CommandResult second =
        Lumora("decode --info --offset " + std::to_string(next) + " " + Sample("spin.gif"));
    EXPECT_EQ(second.status, 0);
    EXPECT_NE(second.out.find("frameDescriptorOffset\t"), std::string::npos);
    EXPECT_EQ(first.out.find("pageOffset"), std::string::npos);
}

TEST(DecodeCommand, WritesTheDibAsBuiltAndRgbFiles) {
    const fs::path bmp = Temp("copy.bmp");
    ASSERT_EQ(Lumora("decode " + Sample("sunset.bmp") + " -o " + bmp.string()).status, 0);
    EXPECT_EQ(ReadAll(bmp), ReadAll(Sample("sunset.bmp")));  // same header, rows and padding

    const fs::path ppm = Temp("rle.ppm");
    ASSERT_EQ(Lumora("decode " + Sample("sunset8rle.bmp") + " -o " + ppm.string()).status, 0);
    const fs::path oracle = Temp("oracle.ppm");
    ASSERT_EQ(
        std::system(
            ("convert " + Sample("sunset8rle.bmp") + " -depth 8 ppm:" + oracle.string()).c_str()),
        0);
    EXPECT_EQ(ReadAll(ppm), ReadAll(oracle));

    const fs::path png = Temp("gif.png");
    ASSERT_EQ(Lumora("decode " + Sample("spin.gif") + " -o " + png.string()).status, 0);
    const std::string cmd =
        "compare -metric AE '" + Sample("spin.gif") + "[0]' " + png.string() + " null: 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    char buf[64] = {};
    ASSERT_NE(fgets(buf, sizeof buf, p), nullptr);
    pclose(p);
    EXPECT_STREQ(buf, "0");
}

TEST(DecodeCommand, FailuresPrintTheLoaderCode) {
    CommandResult r = Lumora("decode /nonexistent/picture.bmp");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "Error -20001: Could not open file\n");
    const fs::path text = Temp("notes.dat");
    std::ofstream(text) << "hello there\n";
    r = Lumora("decode " + text.string());
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "Error -20013: File type not supported\n");
    r = Lumora("decode " + Sample("sunset.bmp") + " --dither 7");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("--dither needs a number from 0 to 2"), std::string::npos);
}
