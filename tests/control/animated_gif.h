// GIF files with several frames, written by the tests: each frame's place, delay, disposal and
// transparent index as given. Codes are written 8 bits wide with a clear code every 126
// pixels, so no compressor is needed.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace control_test {

struct GifFrameSpec {
    int left = 0, top = 0, width = 1, height = 1;
    int delay = 0;  // hundredths of a second
    int disposal = 0;
    int transparent = -1;         // palette index, -1 for none
    std::vector<uint8_t> pixels;  // palette indices, top row first
};

// A looping GIF with a 128-colour global palette (entries beyond the given ones are black).
inline std::vector<uint8_t> AnimatedGif(int width, int height,
                                        const std::vector<std::array<uint8_t, 3>>& palette,
                                        const std::vector<GifFrameSpec>& frames) {
    std::vector<uint8_t> out{'G', 'I', 'F', '8', '9', 'a'};
    auto word = [&](int v) {
        out.push_back(static_cast<uint8_t>(v));
        out.push_back(static_cast<uint8_t>(v >> 8));
    };
    word(width);
    word(height);
    out.insert(out.end(), {0xF6, 0, 0});  // global table of 128 entries
    for (size_t i = 0; i < 128; ++i)
        for (int c = 0; c < 3; ++c)
            out.push_back(i < palette.size() ? palette[i][static_cast<size_t>(c)] : 0);
    for (const GifFrameSpec& f : frames) {
        const bool transparent = f.transparent >= 0;
        out.insert(out.end(), {0x21, 0xF9, 4,
                               static_cast<uint8_t>((f.disposal & 7) << 2 | (transparent ? 1 : 0)),
                               static_cast<uint8_t>(f.delay), static_cast<uint8_t>(f.delay >> 8),
                               static_cast<uint8_t>(transparent ? f.transparent : 0), 0});
        out.push_back(',');
        word(f.left);
        word(f.top);
        word(f.width);
        word(f.height);
        out.push_back(0);
        out.push_back(7);  // minimum code size: codes of 8 bits, clear 128, end 129
        std::vector<uint8_t> codes;
        for (size_t i = 0; i < f.pixels.size(); ++i) {
            if (i % 126 == 0) codes.push_back(128);
            codes.push_back(f.pixels[i]);
        }
        codes.push_back(129);
        for (size_t i = 0; i < codes.size(); i += 255) {
            const size_t n = std::min<size_t>(255, codes.size() - i);
            out.push_back(static_cast<uint8_t>(n));
            out.insert(out.end(), codes.begin() + static_cast<long>(i),
                       codes.begin() + static_cast<long>(i + n));
        }
        out.push_back(0);
    }
    out.push_back(';');
    return out;
}

}  // namespace control_test
