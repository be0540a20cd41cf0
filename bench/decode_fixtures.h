// Pictures the decode benchmarks read, written at start-up into a temporary folder. Their
// content is fixed: smooth gradients plus noise from a fixed random state, so every run decodes
// the same bytes and the compressors do real work.
#pragma once

#include <string>

namespace bench {

struct DecodeFixtures {
    std::string dir;
    int photoWidth = 0;  // the BMP, JPEG and PNG pictures
    int photoHeight = 0;
    int gifSide = 0;  // the single-frame GIF is gifSide x gifSide
    int animationSide = 0;
    int animationFrames = 0;
    std::string bmp8;         // 8 bits, 256-colour table, uncompressed
    std::string bmp24;        // 24 bits, uncompressed
    std::string gif;          // one LZW frame, 256 colours
    std::string gifAnimated;  // animationFrames frames with graphic control extensions
    std::string jpeg;         // quality 90, 4:2:0
    std::string png;          // 8-bit RGB, default compression and filters
};

// Writes every picture into a new folder under the system temporary directory. `divisor`
// shrinks every side (1: the full sizes, 4000 x 3000 for the photos). Returns an empty string
// on success, else what went wrong.
std::string WriteDecodeFixtures(int divisor, DecodeFixtures& out);

// Deletes the pictures and their folder.
void RemoveDecodeFixtures(const DecodeFixtures& fixtures);

}  // namespace bench
