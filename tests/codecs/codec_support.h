// Helpers shared by the codec module tests: calling the modules, running the reference
// decoders, parsing what they print, temporary files.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "decode/codec_contract.h"
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

    // Red, green, blue of picture pixel (x, y), y = 0 at the top; indexed pixels through the
    // palette.
    std::array<uint8_t, 3> Rgb(int x, int y) const;
    uint8_t Index(int x, int y) const;
    // Top row first, three bytes a pixel.
    std::vector<uint8_t> ToRgb() const;
};

// The result of one read call: the module's return value, and the picture when it was a block.
struct ReadResult {
    int32_t code = 0;
    Decoded picture;
    bool blockLargeEnough = true;  // the block holds stride x height bytes
};

// A read of a damaged file either gives a sane picture in a large enough block or fails with a
// loader code; counts which.
void TallyDamagedRead(const ReadResult& got, int& pictures, int& failures);

struct JpegOptions {
    bool fancyUpsampling = true;
    bool twoPassQuantize = false;
    uint16_t jpegDither = JPEG_DITHER_FLOYD_STEINBERG;
    uint16_t dctMethod = DCT_SLOW_INTEGER;
    HDC dc = 0;
};

// Holds a module loaded for the length of a test.
class Codec {
  public:
    explicit Codec(const std::string& moduleName) : module_(moduleName) {}
    bool loaded() const { return module_.loaded(); }
    template <class Proc>
    Proc Entry(const char* name) const {
        return reinterpret_cast<Proc>(module_.GetProcAddress(name));
    }

  private:
    platform::Module module_;
};

// Calls the entry point and frees the returned block after copying the picture out.
ReadResult CallReadJpg(ReadJPGProc read, const fs::path& file, const JpegOptions& options = {});
ReadResult CallReadPng(ReadPNGProc read, const fs::path& file);
// imageNumber goes in as the image wanted and comes back as the module left it.
ReadResult CallReadDcm(ReadDCMProc read, const fs::path& file, int32_t& imageNumber);

// A portable anymap or a Windows bitmap as a reference decoder wrote it. Anymap samples are
// brought to 8 bits: the high byte of 16-bit ones, others scaled from their maximum value.
struct Reference {
    int width = 0;
    int height = 0;
    int channels = 0;              // 1 grey, 3 RGB; 1 with a palette for indexed BMP
    std::vector<uint8_t> samples;  // top row first, no padding
    std::vector<uint8_t> palette;  // RGB triples, indexed BMP only
};
std::optional<Reference> ParsePnm(const std::string& bytes);
std::optional<Reference> ParseBmp(const std::string& bytes);

struct ToolOutput {
    int status = -1;  // exit status; -1 when the command could not run
    std::string out;  // standard output
};
// Runs a shell command with standard error discarded.
ToolOutput RunTool(const std::string& command);
inline std::string Quote(const fs::path& path) {
    return oracle::ShellQuote(path.string());
}

std::string ReadBytes(const fs::path& file);
// Deterministic damaged copies of a file: cut short, bytes overwritten, bytes inserted.
std::vector<std::string> DamagedCopies(const std::string& original, int count);
// CRC-32 of bytes [from, to), as PNG chunks carry it.
uint32_t Crc32(const std::string& bytes, size_t from, size_t to);
// The gamma a viewer applies to a PNG for an sRGB display, as ImageMagick's -gamma takes it
// (file gamma x 2.2): 0 when the file has no gAMA chunk, has sRGB or iCCP beside it, or the
// correction is within libpng's 5% of none.
double PngViewingGamma(const std::string& png);
// Recomputes the CRC of every chunk of a PNG file so damage reaches the decoder.
std::string FixPngCrcs(std::string png);
void WriteBytes(const fs::path& file, const std::string& bytes);

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
