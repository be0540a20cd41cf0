// What the raster reader tests share: little-endian and big-endian byte builders, pictures with
// fixed pseudo-random content, writing them as PNM for the converters, and the oracles' decodes.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/oracle.h"
#include "support/picture.h"
#include "support/testdata.h"

namespace rastertest {

using testsupport::Bytes;
using Rgb = std::array<uint8_t, 3>;

inline const std::filesystem::path kTestData = testsupport::TestData();

void PutLe16(Bytes& v, uint32_t x);
void PutBe32(Bytes& v, uint32_t x);
void Append(Bytes& v, const Bytes& tail);

// A width x height picture whose pixels are drawn from `colours` by a fixed pseudo-random
// sequence (started from `salt`); every colour of the list appears when there are enough pixels.
oracle::RgbImage MakePicture(int width, int height, const std::vector<Rgb>& colours, uint32_t salt);
// `count` distinct colours with varied channels.
std::vector<Rgb> Colours(int count, uint32_t salt);
// Grey levels 0..255 in steps.
std::vector<Rgb> Greys(int count);

// The picture as a binary PPM (P6), PGM (P5, from the red channel) or PBM (P4, black where the
// red channel is below 128).
void WritePpm(const std::string& path, const oracle::RgbImage& picture);
void WritePgm(const std::string& path, const oracle::RgbImage& picture);
void WritePbm(const std::string& path, const oracle::RgbImage& picture);

// ImageMagick's decode with the file's orientation applied; empty when it cannot read it.
oracle::RgbImage ImageMagickUpright(const std::string& path);
// A netpbm converter's decode ("pcxtoppm", "tgatoppm", "rasttopnm"); empty when it fails.
oracle::RgbImage NetpbmDecode(const std::string& tool, const std::string& path);

// A converter's command line with "%s" replaced by the quoted source and "%d" by the quoted
// destination.
std::string Fill(std::string command, const std::string& src, const std::string& dst);

// Every file of the public test folder for an extension, sorted; empty when it is absent.
std::vector<std::filesystem::path> SampleFiles(const std::string& folder);

// True when the two pictures have the same size and their pixels split into the same classes
// (a one-to-one map between the colours of one and the other): the same drawing, whatever the
// palette.
bool SamePattern(const oracle::RgbImage& a, const oracle::RgbImage& b);

}  // namespace rastertest
