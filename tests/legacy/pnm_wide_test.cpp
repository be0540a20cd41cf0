// Two-byte samples: every value of 0..65535, as greys and as pixmap channels, must narrow to the
// nearest of 0..255 (the common maxval 65535 has a path of its own, the others a table).
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "decode/readers.h"
#include "support/bytes.h"
#include "support/picture.h"

namespace {

using testsupport::RunReader;

TEST(Pnm, EveryTwoByteSampleNarrowsToTheNearestByte) {
    for (const int maxval : {65535, 40000}) {
        for (const char* magic : {"P5", "P6"}) {
            const bool rgb = magic[1] == '6';
            const int channels = rgb ? 3 : 1, width = 256, height = 65536 / (width * channels) + 1;
            const std::string header = std::string(magic) + " 256 " + std::to_string(height) + " " +
                                       std::to_string(maxval) + "\n";
            testsupport::Bytes file(header.begin(), header.end());
            const int samples = width * height * channels;
            for (int s = 0; s < samples; ++s) {
                file.push_back(static_cast<uint8_t>(s >> 8));
                file.push_back(static_cast<uint8_t>(s));
            }
            const auto run = RunReader(decode::ReadPnm, file);
            ASSERT_EQ(run->rc, 0);
            for (int s = 0; s < samples; ++s) {
                const int x = s / channels % width, y = s / channels / width;
                const int got = rgb ? run->rgb(x, y)[s % 3] : run->index(x, y);
                const double v = std::min(s & 0xFFFF, maxval);
                ASSERT_EQ(got, static_cast<int>(std::floor(v * 255 / maxval + 0.5)))
                    << magic << " maxval " << maxval << " sample " << (s & 0xFFFF);
            }
        }
    }
}

}  // namespace
