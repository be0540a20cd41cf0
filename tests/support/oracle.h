// Independent decoders as test oracles: run an established tool (ImageMagick, netpbm) that
// writes a PNM picture to its standard output and read the result back as RGB.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace oracle {

struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;    // red, green, blue; top row first
    std::vector<uint8_t> alpha;  // one byte a pixel (255 opaque); empty when the tool gave none

    const uint8_t* pixel(int x, int y) const {
        return rgb.data() + (static_cast<size_t>(y) * width + x) * 3;
    }
    bool opaque(int x, int y) const {
        return alpha.empty() || alpha[static_cast<size_t>(y) * width + x] == 255;
    }
};

// Runs a shell command and returns the raw bytes it wrote to standard output; nullopt when it
// could not run or exited with a non-zero status. Standard error is discarded.
std::optional<std::string> RunCommand(const std::string& command);

// Every PNM or PAM picture (P1 to P7, any maxval, scaled to 8 bits) in a byte stream, in order.
// Tools write one picture per frame of a multi-frame file one after the other. Parsing stops at the
// first thing that is not a picture.
std::vector<RgbImage> ParsePnmStream(const std::string& bytes);

// Runs a command that writes PNM pictures and returns them; empty when the command failed.
std::vector<RgbImage> RunPnmCommand(const std::string& command);

// ImageMagick's decode of every frame of a file, each frame on its own raster (not composed
// onto the logical screen), with alpha where the file has transparency. `frame` selects one
// frame ("file[frame]") when not negative.
std::vector<RgbImage> ImageMagickFrames(const std::string& path, int frame = -1);

// The first picture a PNM-writing command gives; an empty picture when it gives none.
RgbImage FirstPicture(const std::string& command);

// ImageMagick's decode of a file's first frame with its orientation applied; empty when it
// cannot read it. `prefix` names the format when the extension does not ("sun:").
RgbImage ImageMagickUpright(const std::string& path, const std::string& prefix = {});

// True when a program of that name is on the PATH.
bool ToolAvailable(const std::string& name);

// The argument quoted for /bin/sh.
std::string ShellQuote(const std::string& s);

}  // namespace oracle
