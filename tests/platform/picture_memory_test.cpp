// Picture memory keeps its bytes across reallocation in and out of the mapped range, and zero-fills
// what it adds when asked, wherever the block lives.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "platform/os/large_block.h"

namespace {

using platform::kLargeBlockThreshold;

TEST(PictureMemory, ReallocationKeepsTheBytesAndZeroFillsGrowth) {
    const size_t small = 1000, large = kLargeBlockThreshold + 12345;
    const struct {
        size_t from, via, to;  // shrink to `via` (dirtying nothing), then grow to `to`
    } cases[] = {
        {small, small, 3 * small},     {small, small, large},     {large, large, 2 * large},
        {large, small, large},         {large, large / 2, large}, {2 * large, large, small},
        {3 * small, small, 3 * small},  // the heap's own tail is not zero when it grows back
    };
    for (const auto& c : cases) {
        auto* p = static_cast<uint8_t*>(platform::AllocatePictureMemory(c.from, true));
        ASSERT_NE(p, nullptr);
        for (size_t i = 0; i < c.from; ++i)
            ASSERT_EQ(p[i], 0) << c.from;
        std::memset(p, 0xAB, c.from);
        p = static_cast<uint8_t*>(platform::ReallocatePictureMemory(p, c.via, true));
        ASSERT_NE(p, nullptr);
        // A size whose header would wrap is refused and leaves the block as it was.
        ASSERT_EQ(platform::ReallocatePictureMemory(p, SIZE_MAX - 8, true), nullptr);
        p = static_cast<uint8_t*>(platform::ReallocatePictureMemory(p, c.to, true));
        ASSERT_NE(p, nullptr);
        const size_t kept = std::min({c.from, c.via, c.to});
        for (size_t i = 0; i < c.to; ++i)
            ASSERT_EQ(p[i], i < kept ? 0xAB : 0)
                << c.from << "->" << c.via << "->" << c.to << " at " << i;
        platform::ReleasePictureMemory(p);
    }
    platform::ReleasePictureMemory(nullptr);
}

}  // namespace
