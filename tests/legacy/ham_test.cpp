// Amiga viewport modes of ILBM pictures: hold-and-modify (HAM6, HAM8) and extra half-brite, on
// files ppmtoilbm writes (edited for the cases it does not write), compared with ilbmtoppm. The
// public samples of these modes are compared with it by Iff.PublicSamples.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>

#include "support/oracle.h"
#include "support/picture.h"
#include "support/testdata.h"

namespace {

using testsupport::Bytes;

bool Shell(const std::string& command) {
    return oracle::RunCommand("( " + command + " ) >/dev/null").has_value();
}
oracle::RgbImage Oracle(const std::string& command) {
    return oracle::FirstPicture(command);
}
using testsupport::ComparePictures;

uint32_t Be32At(const Bytes& b, size_t at) {
    return uint32_t{b[at]} << 24 | uint32_t{b[at + 1]} << 16 | uint32_t{b[at + 2]} << 8 | b[at + 3];
}

void SetBe32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

// Offset of a chunk of the FORM, or 0.
size_t FindChunk(const Bytes& form, const char* id) {
    for (size_t at = 12; at + 8 <= form.size(); at += 8 + ((Be32At(form, at + 4) + 1) & ~1u))
        if (std::memcmp(&form[at], id, 4) == 0) return at;
    return 0;
}

// Puts a CAMG chunk of the given modes first (replacing any), or drops the colour map.
void SetViewportModes(Bytes& form, uint32_t modes) {
    if (size_t at = FindChunk(form, "CAMG")) form.erase(form.begin() + at, form.begin() + at + 12);
    Bytes camg = {'C', 'A', 'M', 'G', 0, 0, 0, 4, 0, 0, 0, 0};
    SetBe32(camg, 8, modes);
    form.insert(form.begin() + 12, camg.begin(), camg.end());
    SetBe32(form, 4, static_cast<uint32_t>(form.size() - 8));
}
void DropColourMap(Bytes& form) {
    const size_t at = FindChunk(form, "CMAP");
    ASSERT_NE(at, 0u);
    form.erase(form.begin() + at, form.begin() + at + 8 + ((Be32At(form, at + 4) + 1) & ~1u));
    SetBe32(form, 4, static_cast<uint32_t>(form.size() - 8));
}

struct ModeCase {
    const char* name;
    const char* writer;  // ppmtoilbm options
    int colours;         // pnmquant'ed first when not 0
    uint32_t camg;       // written over ppmtoilbm's own when not 0
    bool dropColourMap;
    int bitCount;  // of the bitmap built
};

// EHB files: a 32-colour picture in 6 uncompressed planes, plane 5 then set on every other
// byte so that half the pixels take the darker copy of their colour.
const ModeCase kModes[] = {
    {"ham6", "-hamforce -ham6", 0, 0, false, 24},
    {"ham6 plain rows", "-hamforce -ham6 -nocompress", 0, 0, false, 24},
    {"ham8", "-hamforce -ham8", 0, 0, false, 24},
    {"ham6 without colour map", "-hamforce -ham6", 0, 0, true, 24},
    {"ehb", "-nocompress -fixplanes 6", 32, 0x80, false, 8},
    {"ehb with AGA monitor bits", "-nocompress -fixplanes 6", 32, 0x21080, false, 8},
    {"ham flag on 2 planes is plain", "-fixplanes 2", 4, 0x800, false, 4},
};

class IffModes : public ::testing::TestWithParam<ModeCase> {};

TEST_P(IffModes, MatchesIlbmtoppm) {
    const ModeCase& c = GetParam();
    if (!oracle::ToolAvailable("ppmtoilbm") || !oracle::ToolAvailable("ilbmtoppm"))
        GTEST_SKIP() << "netpbm is not installed";
    testsupport::TempDir dir;
    const int width = 37, height = 11;
    ASSERT_TRUE(
        testsupport::WritePpm(dir.path("src.ppm"), testsupport::TestPattern(width, height)));
    const std::string quant =
        c.colours ? "pnmquant " + std::to_string(c.colours) + " src.ppm" : "cat src.ppm";
    ASSERT_TRUE(Shell("cd " + oracle::ShellQuote(dir.dir) + " && " + quant +
                      " 2>/dev/null | ppmtoilbm " + c.writer + " > t.iff 2>/dev/null"));
    Bytes file = testsupport::ReadBytes(dir.path("t.iff"));
    if (c.camg) SetViewportModes(file, c.camg);
    if (c.dropColourMap) DropColourMap(file);
    if (c.camg & 0x80) {
        const size_t body = FindChunk(file, "BODY") + 8;
        const size_t planeBytes = (width + 15) / 16 * 2;
        for (size_t row = 0; row < height; ++row)
            for (size_t i = 0; i < planeBytes; i += 2)
                file[body + (row * 6 + 5) * planeBytes + i] = 0xFF;
    }
    testsupport::WriteBytes(dir.path("t.iff"), file);

    const auto load = testsupport::LoadFile(dir.path("t.iff"));
    ASSERT_EQ(load.rc, 0);
    EXPECT_EQ(load.pixelBits, c.bitCount);
    const auto want = Oracle("ilbmtoppm " + oracle::ShellQuote(dir.path("t.iff")));
    ASSERT_GT(want.width, 0);
    EXPECT_EQ(ComparePictures(load.picture, want), "");
}

INSTANTIATE_TEST_SUITE_P(Ilbm, IffModes, ::testing::ValuesIn(kModes), [](const auto& info) {
    std::string n = info.param.name;
    for (char& ch : n)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return n;
});

}  // namespace
