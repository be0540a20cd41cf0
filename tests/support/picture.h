// What a test reads back from a decode: the reader's decode area, or the bitmap the loader
// built, as red, green, blue rows comparable with an oracle's decode.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "decode/readers.h"
#include "support/oracle.h"

namespace testsupport {

using Bytes = std::vector<uint8_t>;

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

// Empty when both pictures have the same size and no channel differs by more than tolerance;
// else a description of the first differences (size, or up to five pixels and a count).
std::string ComparePictures(const oracle::RgbImage& got, const oracle::RgbImage& want,
                            int tolerance = 0);

// A photo-like test picture, the same on every run for the same variant: smooth colour
// gradients, hard-edged darker bands and a fine pseudo-random grain, thousands of colours.
oracle::RgbImage TestPattern(int width, int height, uint32_t variant = 0);
// Writes a picture as a binary PPM (P6) for the converters; false when it cannot be written.
bool WritePpm(const std::string& path, const oracle::RgbImage& picture);

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
