// Every public Windows and enhanced metafile loads or is refused, and plays into a DIB section
// without harm; the well-formed drawings leave marks on it.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "metafile_support.h"
#include "platform/os/handles.h"
#include "support/testdata.h"

namespace meta_test {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> Files(const char* folder, const char* extension) {
    std::vector<fs::path> out;
    const fs::path dir = testsupport::TestData() / folder;
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) return out;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().extension() == extension) out.push_back(entry.path());
    std::sort(out.begin(), out.end());
    return out;
}

bool Fuzzed(const fs::path& p) {
    return p.filename().string().rfind("bad_", 0) == 0;
}

// Whether a well-formed file holds any record that paints (some hold only comments).
bool Paints(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> d((std::istreambuf_iterator<char>(in)), {});
    auto u32 = [&](size_t o) {
        return static_cast<uint32_t>(d[o] | d[o + 1] << 8 | d[o + 2] << 16 |
                                     static_cast<uint32_t>(d[o + 3]) << 24);
    };
    const std::set<uint32_t> painting = {2,  3,  4,  5,  6,  7,  8,  15, 42, 43, 44,
                                         45, 46, 47, 54, 62, 63, 64, 76, 77, 80, 81,
                                         83, 84, 85, 86, 87, 88, 89, 90, 91};
    for (size_t o = 0; o + 8 <= d.size();) {
        const uint32_t size = u32(o + 4);
        if (size < 8) break;
        if (painting.count(u32(o))) return true;
        o += size;
    }
    return false;
}

TEST(MetafileCorpus, WindowsMetafilesPlayIntoTheirBox) {
    const auto files = Files("wmf", ".wmf");
    if (files.empty()) GTEST_SKIP() << "public test files absent";
    for (const auto& path : files) {
        SCOPED_TRACE(path.string());
        const HMETAFILE mf = GetMetaFile(path.c_str());
        ASSERT_NE(mf, 0u);
        Board s(256, 256);
        // Placed the way the control will: the placeable box onto the surface.
        std::vector<uint8_t> head(22);
        FILE* f = std::fopen(path.c_str(), "rb");
        ASSERT_NE(f, nullptr);
        const size_t got = std::fread(head.data(), 1, head.size(), f);
        std::fclose(f);
        PlaceableHeader box{};
        SetMapMode(s, MM_ANISOTROPIC);
        if (ReadPlaceableHeader(head.data(), got, &box)) {
            SetWindowOrgEx(s, box.left, box.top, nullptr);
            SetWindowExtEx(s, box.right - box.left, box.bottom - box.top, nullptr);
        }
        SetViewportExtEx(s, 256, 256, nullptr);
        EXPECT_TRUE(PlayMetaFile(s, mf));
        EXPECT_LT(s.Count(RGB(255, 255, 255)), 256 * 256);
        EXPECT_TRUE(DeleteMetaFile(mf));
    }
}

TEST(MetafileCorpus, EnhancedMetafilesLoadOrAreRefused) {
    const auto files = Files("emf", ".emf");
    if (files.empty()) GTEST_SKIP() << "public test files absent";
    GetStockObject(WHITE_BRUSH);  // stock objects are made on first use, all at once
    const size_t brushes = CountHandles(HandleKind::Brush);
    const size_t pens = CountHandles(HandleKind::Pen);
    const size_t fonts = CountHandles(HandleKind::Font);
    int played = 0;
    for (const auto& path : files) {
        SCOPED_TRACE(path.string());
        const HENHMETAFILE emf = GetEnhMetaFile(path.c_str());
        if (!emf) {
            EXPECT_TRUE(Fuzzed(path));
            continue;
        }
        Board s(256, 256);
        const RECT target{0, 0, 256, 256};
        EXPECT_TRUE(PlayEnhMetaFile(s, emf, &target));
        if (!Fuzzed(path) && Paints(path)) {
            EXPECT_LT(s.Count(RGB(255, 255, 255)), 256 * 256);
            ++played;
        }
        EXPECT_TRUE(DeleteEnhMetaFile(emf));
    }
    EXPECT_GT(played, 10);
    EXPECT_EQ(CountHandles(HandleKind::Brush), brushes);
    EXPECT_EQ(CountHandles(HandleKind::Pen), pens);
    EXPECT_EQ(CountHandles(HandleKind::Font), fonts);
}

}  // namespace
}  // namespace meta_test
