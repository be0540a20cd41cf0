// The images of the public icon and cursor files: bitmap images load with their own size and
// draw without harm; PNG images and damaged entries are refused.
#include <filesystem>
#include <fstream>
#include <iterator>

#include "metafile_support.h"
#include "platform/os/handles.h"
#include "support/testdata.h"

namespace meta_test {
namespace {

namespace fs = std::filesystem;

uint32_t Le32(const std::vector<uint8_t>& d, size_t o) {
    return static_cast<uint32_t>(d[o] | d[o + 1] << 8 | d[o + 2] << 16 |
                                 static_cast<uint32_t>(d[o + 3]) << 24);
}

TEST(IconFiles, BitmapImagesLoadAndDraw) {
    std::vector<fs::path> files;
    for (const char* folder : {"ico", "cur"}) {
        const fs::path dir = testsupport::TestData() / folder;
        std::error_code ec;
        if (!fs::is_directory(dir, ec)) continue;
        for (const auto& entry : fs::directory_iterator(dir))
            files.push_back(entry.path());
    }
    if (files.empty()) GTEST_SKIP() << "public test files absent";
    int loaded = 0, refusedPng = 0;
    for (const auto& path : files) {
        SCOPED_TRACE(path.string());
        std::ifstream in(path, std::ios::binary);
        const std::vector<uint8_t> d((std::istreambuf_iterator<char>(in)), {});
        if (d.size() < 6) continue;
        const size_t count = d[4] | d[5] << 8;
        for (size_t i = 0; i < count && 6 + 16 * (i + 1) <= d.size(); ++i) {
            const size_t entry = 6 + 16 * i;
            const uint32_t size = Le32(d, entry + 8);
            const uint32_t offset = Le32(d, entry + 12);
            if (offset >= d.size()) continue;
            const uint32_t avail =
                static_cast<uint32_t>(std::min<uint64_t>(size, d.size() - offset));
            const HICON icon =
                CreateIconFromResourceEx(d.data() + offset, avail, true, 0x30000, 0, 0, 0);
            const bool png = avail >= 4 && d[offset] == 0x89 && d[offset + 1] == 'P';
            if (png) {
                EXPECT_EQ(icon, 0u);
                ++refusedPng;
                continue;
            }
            // Whole header, colour table, XOR rows and AND rows: must load.
            bool whole = false;
            if (avail >= 40) {
                const int w = static_cast<int>(Le32(d, offset + 4));
                const int h = static_cast<int>(Le32(d, offset + 8)) / 2;
                const int bits = d[offset + 14];
                const uint64_t stride = ((uint64_t(w) * bits + 31) / 32) * 4;
                const uint64_t mask = ((uint64_t(w) + 31) / 32) * 4;
                const uint64_t table = bits <= 8 ? (uint64_t{1} << bits) * 4 : 0;
                whole = Le32(d, offset + 16) == 0 && w > 0 && w <= 256 && h > 0 && h <= 256 &&
                        Le32(d, offset) + table + (stride + mask) * h <= avail;
            }
            if (whole) {
                EXPECT_NE(icon, 0u) << i;
            }
            if (!icon) continue;
            ++loaded;
            int w = 0, h = 0;
            ASSERT_TRUE(GetIconSize(icon, &w, &h));
            EXPECT_EQ(w, static_cast<int>(Le32(d, offset + 4)));
            EXPECT_EQ(h, static_cast<int>(Le32(d, offset + 8)) / 2);
            Board s(64, 64, RGB(255, 0, 255));
            EXPECT_TRUE(DrawIconEx(s, 0, 0, icon, 64, 64, 0, 0, DI_NORMAL));
            EXPECT_TRUE(DestroyIcon(icon));
        }
    }
    EXPECT_GT(loaded, 40);
    EXPECT_GT(refusedPng, 0);
    EXPECT_EQ(CountHandles(HandleKind::Icon), 0u);
}

}  // namespace
}  // namespace meta_test
