// Helpers shared by the codec module tests: calling the modules, reference tools, damaged
// copies of files, PNG chunk arithmetic.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "decode/codec_contract.h"
#include "decode/loader_error.h"
#include "platform/os/module.h"
#include "support/oracle.h"
#include "support/picture.h"
#include "support/testdata.h"

namespace codecs_test {

namespace fs = std::filesystem;

using testsupport::TempDir;

// A picture copied out of a module's pixel block, in the block's own layout.
struct Decoded {
    int32_t width = 0;
    int32_t height = 0;
    int bitCount = 0;
    size_t stride = 0;
    std::vector<uint8_t> rows;  // bottom-up, as the block held them
    std::array<uint8_t, 768> palette{};

    // Red, green, blue of pixel (x, y), y = 0 at the top; indexed pixels through the palette.
    std::array<uint8_t, 3> Rgb(int x, int y) const;
    uint8_t Index(int x, int y) const;
    // Comparable with an oracle's decode.
    oracle::RgbImage Picture() const;
    // True when the palette is the grey ramp 0..255.
    bool GreyRamp() const;
};

// The result of one read call: the module's return value, and the picture when it was a block.
struct ReadResult {
    int32_t code = 0;
    Decoded picture;
    bool blockLargeEnough = true;  // the block holds stride x height bytes
};

struct JpegOptions {
    bool fancyUpsampling = true;
    bool twoPassQuantize = false;
    uint16_t jpegDither = JPEG_DITHER_FLOYD_STEINBERG;
    uint16_t dctMethod = DCT_SLOW_INTEGER;
    HDC dc = 0;
};

// A module's entry point as the function type it has; null when the module has none.
template <class Proc>
Proc Entry(const platform::Module& module, const char* name) {
    return reinterpret_cast<Proc>(module.GetProcAddress(name));
}

// A test with a module's entry point loaded: `read_` is set once SetUp has passed.
template <class Proc>
class ModuleTest : public ::testing::Test {
  protected:
    ModuleTest(const char* module, const char* entry) : module_(module), entry_(entry) {}
    void SetUp() override {
        ASSERT_TRUE(codec_.loaded()) << platform::ModulePath(module_);
        read_ = Entry<Proc>(codec_, entry_);
        ASSERT_NE(read_, nullptr) << entry_;
    }

    const char* module_;
    const char* entry_;
    platform::Module codec_{module_};
    Proc read_ = nullptr;
};

// Calls the entry point and frees the returned block after copying the picture out.
ReadResult CallReadJpg(ReadJPGProc read, const fs::path& file, const JpegOptions& options = {});
ReadResult CallReadPng(ReadPNGProc read, const fs::path& file);
// imageNumber goes in as the image wanted and comes back as the module left it.
ReadResult CallReadDcm(ReadDCMProc read, const fs::path& file, int32_t& imageNumber);

// True when the command ran and exited with status 0.
bool Succeeds(const std::string& command);
inline std::string Quote(const fs::path& path) {
    return oracle::ShellQuote(path.string());
}

std::string ReadBytes(const fs::path& file);
void WriteBytes(const fs::path& file, const std::string& bytes);
// Deterministic damaged copies of a file: cut short, bytes overwritten, bytes inserted.
std::vector<std::string> DamagedCopies(const std::string& original, int count);
// The codes the modules give for a file they cannot show: could not open down to unsupported.
inline bool IsReadFailure(int32_t code) {
    return code <= decode::kCouldNotOpen && code >= decode::kUnsupported;
}
// Reads damaged copies of each file, copy i of its bytes as read(bytes, i): every read gives a
// picture in a large enough block or a loader code, some give each, and no memory is left
// behind.
using DamagedRead = std::function<ReadResult(const std::string& bytes, size_t copy)>;
void ExpectSurvivesDamage(const std::vector<fs::path>& files, int copies, const DamagedRead& read);
// DCMTK's rendering of one frame with the window choice "ReadDCM" makes: the file's first
// window, else the full range; dcml2pnm where dcmj2pnm cannot decode (JPEG-LS).
std::vector<oracle::RgbImage> Dcmtk(const fs::path& file, int frame = 1);

// The gamma a viewer applies to a PNG for an sRGB display, as ImageMagick's -gamma takes it
// (file gamma x 2.2): 0 when the file has no gAMA chunk, has sRGB or iCCP beside it, or the
// correction is within libpng's 5% of none.
double PngViewingGamma(const std::string& png);
// Recomputes the CRC of every chunk of a PNG file so damage reaches the decoder.
std::string FixPngCrcs(std::string png);

// Sets the display depth for one test and restores the previous one.
class DisplayDepthScope {
  public:
    explicit DisplayDepthScope(int bits);
    DisplayDepthScope(const DisplayDepthScope&) = delete;
    DisplayDepthScope& operator=(const DisplayDepthScope&) = delete;
    ~DisplayDepthScope();

  private:
    int previous_;
};

}  // namespace codecs_test
