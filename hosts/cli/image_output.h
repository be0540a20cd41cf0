// Writing a bitmap out as the lumora command's output files.
#pragma once

#include <string>

#include "platform/os/wintypes.h"

namespace cli {

// Writes the bitmap as .bmp (the DIB exactly as built), .png or .ppm (RGB, top row first),
// chosen by the file's extension. Returns an empty string or a description of the failure.
std::string WriteBitmapFile(HBITMAP bitmap, const std::string& path);

}  // namespace cli
