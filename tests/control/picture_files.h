// Small picture files written by the tests themselves, and the whole-file helpers.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "metafile/metafile_support.h"
#include "support/picture.h"
#include "support/testdata.h"

namespace control_test {

// A 24-bit BMP whose pixel (x, y), y = 0 at the top, has the given colour.
inline std::vector<uint8_t> MakeBmp24(int width, int height,
                                      const std::function<COLORREF(int, int)>& color) {
    std::vector<COLORREF> pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels.push_back(color(x, y));
    const std::vector<uint8_t> dib = meta_test::PackedDib24(width, height, pixels);
    std::vector<uint8_t> out = {'B', 'M'};
    for (uint32_t v : {static_cast<uint32_t>(14 + dib.size()), 0u, 54u})
        meta_test::Put32(out, v);
    out.insert(out.end(), dib.begin(), dib.end());
    return out;
}

using testsupport::ReadBytes;
using testsupport::SamplePath;
using testsupport::WriteBytes;
using ScratchDir = testsupport::TempDir;

}  // namespace control_test
