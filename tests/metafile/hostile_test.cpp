// Every public Windows and enhanced metafile loads or is refused and plays without harm, the
// well-formed drawings leaving marks; metafiles with bytes overwritten at random are refused or
// played without touching memory they do not own (run under the sanitizers) and without
// leaving objects behind.
#include <filesystem>
#include <random>
#include <set>

#include "metafile_support.h"
#include "support/picture.h"
#include "support/testdata.h"

namespace meta_test {
namespace {

// Objects made and deleted during a test; stock objects are made on first use, all at once.
struct HandleCounts {
    static std::vector<size_t> Now() {
        GetStockObject(WHITE_BRUSH);
        std::vector<size_t> n;
        for (HandleKind k : {HandleKind::Brush, HandleKind::Pen, HandleKind::Font,
                             HandleKind::Palette, HandleKind::MetaFile, HandleKind::EnhMetaFile})
            n.push_back(CountHandles(k));
        return n;
    }
    const std::vector<size_t> before = Now();
    ~HandleCounts() { EXPECT_EQ(Now(), before); }
};

// Whether a well-formed enhanced metafile holds any record that paints (some hold only
// comments).
bool Paints(const Bytes& d) {
    static const std::set<uint32_t> painting = {2,  3,  4,  5,  6,  7,  8,  15, 42, 43, 44,
                                                45, 46, 47, 54, 62, 63, 64, 76, 77, 80, 81,
                                                83, 84, 85, 86, 87, 88, 89, 90, 91};
    const auto u32 = [&d](size_t o) {
        return static_cast<uint32_t>(d[o] | d[o + 1] << 8 | d[o + 2] << 16 | d[o + 3] << 24);
    };
    for (size_t o = 0, size; o + 8 <= d.size() && (size = u32(o + 4)) >= 8; o += size)
        if (painting.count(u32(o))) return true;
    return false;
}

TEST(MetafileCorpus, PublicFilesPlay) {
    if (testsupport::SampleFiles("wmf").empty()) GTEST_SKIP() << "public test files absent";
    const HandleCounts counts;
    int played = 0;
    for (const auto& path : testsupport::SampleFiles("wmf", ".wmf")) {
        SCOPED_TRACE(path.string());
        // Placed the way the control will: the placeable box onto the surface.
        const HMETAFILE mf = GetMetaFile(path.c_str());
        ASSERT_NE(mf, 0u);
        const Bytes head = testsupport::ReadBytes(path.string());
        PlaceableHeader box{};
        Board s(256, 256);
        SetMapMode(s, MM_ANISOTROPIC);
        if (ReadPlaceableHeader(head.data(), head.size(), &box)) {
            SetWindowOrgEx(s, box.left, box.top, nullptr);
            SetWindowExtEx(s, box.right - box.left, box.bottom - box.top, nullptr);
        }
        SetViewportExtEx(s, 256, 256, nullptr);
        EXPECT_TRUE(PlayMetaFile(s, mf));
        EXPECT_LT(s.Count(kWhite), 256 * 256);
        EXPECT_TRUE(DeleteMetaFile(mf));
    }
    for (const auto& path : testsupport::SampleFiles("emf", ".emf")) {
        SCOPED_TRACE(path.string());
        const bool fuzzed = path.filename().string().rfind("bad_", 0) == 0;
        const HENHMETAFILE emf = GetEnhMetaFile(path.c_str());
        EXPECT_TRUE(emf || fuzzed);
        if (!emf) continue;
        Board s(256, 256);
        const RECT target{0, 0, 256, 256};
        EXPECT_TRUE(PlayEnhMetaFile(s, emf, &target));
        if (!fuzzed && Paints(testsupport::ReadBytes(path.string()))) {
            EXPECT_LT(s.Count(kWhite), 256 * 256);
            ++played;
        }
        EXPECT_TRUE(DeleteEnhMetaFile(emf));
    }
    EXPECT_GT(played, 10);
}

Bytes SampleWmf() {
    WmfBuilder b;
    b.Rec(0x020C, {100, 100})
        .Rec(0x02FC, {BS_HATCHED, 0x00FF, 0, HS_CROSS})
        .Rec(0x02FA, {PS_DASH, 3, 0, 0xFF00, 0})
        .Rec(0x012D, {0})
        .Rec(0x012D, {1})
        .Rec(0x001E, {})
        .Rec(0x041B, {20, 30, 10, 10})
        .Rec(0x0538, {2, 3, 3, 10, 10, 50, 10, 50, 50, 20, 20, 40, 20, 40, 40})
        .Rec(0x0817, {0, 90, 90, 0, 80, 80, 5, 5})
        .Rec(0x0127, {0xFFFF})
        .Rec(0x01F0, {0})
        .Rec(0x0521, {5}, {'H', 'e', 'l', 'l', 'o', 0, 5, 0, 5, 0})
        .Rec(0x0B41, {0x0020, 0x00CC, 2, 2, 0, 0, 20, 20, 10, 10},
             PackedDib24(2, 2, {0xFF, 0xFF00, 0xFF0000, 0}));
    return b.Bytes();
}

Bytes SampleEmf() {
    EmfBuilder b(RECT{0, 0, 1000, 1000}, 4);
    Bytes poly(16, 0);  // bounds, two polygons of three points
    for (uint32_t v : {2u, 6u, 3u, 3u})
        Put32(poly, v);
    for (int v : {10, 10, 50, 10, 50, 50, 20, 20, 40, 20, 40, 40})
        Put16(poly, static_cast<uint16_t>(v));
    b.Rec(17, {MM_ANISOTROPIC}).Rec(9, {50, 50}).Rec(11, {100, 100});
    b.Rec(39, {1, BS_SOLID, 0xFF, 0}).Rec(37, {1}).Rec(38, {2, PS_SOLID, 4, 0, 0xFF00});
    b.Rec(37, {2}).Rec(33, {}).Rec(43, {0, 0, 20, 20}).Raw(91, poly).Rec(34, {U(-1)});
    b.Rec(59, {}).Rec(27, {5, 5}).Rec(54, {30, 5}).Rec(54, {5, 30}).Rec(60, {});
    b.Rec(63, {0, 0, 0, 0}).Rec(42, {0, 0, 40, 30}).Rec(47, {0, 0, 40, 40, 0, 0, 40, 0});
    b.Rec(40, {1});
    return b.Bytes();
}

// Plays 400 copies of the bytes, each with up to eight bytes overwritten and one in four cut
// short; returns how many were accepted.
template <class Play>
int Damage(const Bytes& original, uint32_t stream, Play play) {
    std::mt19937 random(stream);
    int accepted = 0;
    for (int round = 0; round < 400; ++round) {
        Bytes bytes = original;
        for (int i = 0, changes = 1 + static_cast<int>(random() % 8); i < changes; ++i)
            bytes[random() % bytes.size()] = static_cast<uint8_t>(random() % 3 ? random() : 0xFF);
        if (random() % 4 == 0) bytes.resize(random() % bytes.size());
        accepted += play(bytes);
    }
    return accepted;
}

TEST(DamagedInput, MetafilesStaySafe) {
    const HandleCounts counts;
    Board s(64, 64);
    const RECT target{0, 0, 64, 64};
    const auto size = [](const Bytes& b) { return static_cast<uint32_t>(b.size()); };
    int played = Damage(SampleWmf(), 1, [&](const Bytes& bytes) {
        const HMETAFILE mf = SetMetaFileBitsEx(size(bytes), bytes.data());
        EXPECT_TRUE(!mf || PlayMetaFile(s, mf));
        return mf && DeleteMetaFile(mf);
    });
    played += Damage(SampleEmf(), 2, [&](const Bytes& bytes) {
        const HENHMETAFILE emf = SetEnhMetaFileBits(size(bytes), bytes.data());
        EXPECT_TRUE(!emf || PlayEnhMetaFile(s, emf, &target));
        return emf && DeleteEnhMetaFile(emf);
    });
    EXPECT_GT(played, 200);
    Damage(SampleWmf(), 3, [&](const Bytes& bytes) {
        const HENHMETAFILE emf = SetWinMetaFileBits(size(bytes), bytes.data(), 0, nullptr);
        if (emf) PlayEnhMetaFile(s, emf, &target);
        return emf && DeleteEnhMetaFile(emf);
    });
}

}  // namespace
}  // namespace meta_test
