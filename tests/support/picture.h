// What a test reads back from a decode: the reader's decode area, or the bitmap the loader
// built, as red, green, blue rows comparable with an oracle's decode.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "decode/readers.h"
#include "support/bytes.h"
#include "support/oracle.h"

namespace testsupport {

using Rgb = std::array<uint8_t, 3>;

// A reader's result; the pixel block is released with it.
struct ReaderRun {
    decode::DecodedImage img;
    int32_t rc = 0;
    ~ReaderRun() { decode::ReleasePixels(img); }

    int width() const { return img.header.biWidth; }
    int height() const { return img.header.biHeight; }
    // Palette index of a pixel of a picture of 8 bits or less (y = 0 is the top row).
    int index(int x, int y) const;
    // Red, green, blue of a pixel, through the palette for indexed pictures.
    std::array<uint8_t, 3> rgb(int x, int y) const;
    oracle::RgbImage picture() const;
};

// Runs a reader over bytes.
std::unique_ptr<ReaderRun> RunReader(decode::ReaderFn reader, const Bytes& bytes,
                                     const decode::LoadOptions& options = {});

// A file loaded through LoadImageFile: the loader's code and format, and the bitmap it built,
// read back at 24 bits (empty picture when no bitmap was made).
struct FileLoad {
    int32_t rc = 0;  // the decode area's error code
    std::string format;
    int pixelBits = 0;  // the decode area's header bit count
    oracle::RgbImage picture;
};
FileLoad LoadFile(const std::string& path, const decode::LoadOptions& options = {});

// A load either succeeds or fails with a code of the loader's table.
bool IsLoaderCode(int32_t rc);

// Empty when both pictures have the same size and no channel differs by more than tolerance;
// else a description of the first differences (size, or up to five pixels and a count).
std::string ComparePictures(const oracle::RgbImage& got, const oracle::RgbImage& want,
                            int tolerance = 0);

// A photo-like test picture, the same on every run for the same variant: smooth colour
// gradients, hard-edged darker bands and a fine pseudo-random grain, thousands of colours.
oracle::RgbImage TestPattern(int width, int height, uint32_t variant = 0);
// A width x height picture whose pixels are drawn from `colours` by a fixed pseudo-random
// sequence (started from `salt`); every colour of the list appears when there are enough pixels.
oracle::RgbImage MakePicture(int width, int height, const std::vector<Rgb>& colours, uint32_t salt);
// `count` distinct colours with varied channels.
std::vector<Rgb> Colours(int count, uint32_t salt);
// Grey levels 0..255 in steps.
std::vector<Rgb> Greys(int count);
// The picture with its rows in the opposite order.
oracle::RgbImage FlipRows(const oracle::RgbImage& picture);
// True when the two pictures have the same size and their pixels split into the same classes
// (a one-to-one map between the colours of one and the other): the same drawing, whatever the
// palette.
bool SamePattern(const oracle::RgbImage& a, const oracle::RgbImage& b);

// The picture as a binary PPM (P6), PGM (P5, from the red channel) or PBM (P4, black where the
// red channel is below 128) for the converters; false when it cannot be written.
bool WritePpm(const std::string& path, const oracle::RgbImage& picture);
bool WritePgm(const std::string& path, const oracle::RgbImage& picture);
bool WritePbm(const std::string& path, const oracle::RgbImage& picture);

// The files of a public test folder (those ending in `extension` when it is not empty), sorted;
// empty when the folder is absent.
std::vector<std::filesystem::path> SampleFiles(const std::string& folder,
                                               const std::string& extension = {});

// Whole-file helpers.
Bytes ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const Bytes& bytes);
// A fresh folder under the system temporary directory, removed with the object.
struct TempDir {
    TempDir();
    ~TempDir();
    std::string path(const std::string& name) const { return dir + "/" + name; }
    std::string dir;
};

}  // namespace testsupport
