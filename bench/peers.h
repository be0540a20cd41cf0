// One decode each way the benchmarks time it: Lumora's whole load, a reader alone over the
// mapped file, and stb_image. Each returns an empty string on success, else what failed.
#pragma once

#include <string>

#include "decode/readers.h"
#include "platform/os/wintypes.h"

namespace bench {

// LoadImageFile into a bitmap for dc; the bitmap, palette and mask are deleted again.
std::string LumoraLoad(const std::string& path, HDC dc, const decode::LoadOptions& options = {});

// The reader alone over the mapped file: no dispatch, no bitmap.
std::string LumoraReaderOnly(const std::string& path, decode::ReaderFn reader,
                             const decode::LoadOptions& options = {});

// stb_image's decode of the file, in its own channels; bottomUp turns its rows over as it loads,
// into the bottom-up order of a device-independent bitmap.
std::string StbLoad(const std::string& path, bool bottomUp = false);

}  // namespace bench
