// Metafiles and icon images with bytes overwritten at random: every one must be refused or
// played without touching memory it does not own (run under the sanitizers) and without
// leaving objects behind.
#include <random>

#include "metafile_support.h"
#include "platform/os/handles.h"

namespace meta_test {
namespace {

std::vector<uint8_t> SampleWmf() {
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
        .Rec(0x01F0, {0});
    b.RecBytes(0x0521, {5}, {'H', 'e', 'l', 'l', 'o'});
    b.Rec(0x0106, {0});  // pads the text record's coordinates
    b.RecBytes(0x0B41, {0x0020, 0x00CC, 2, 2, 0, 0, 20, 20, 10, 10},
               PackedDib24(2, 2, {0xFF, 0xFF00, 0xFF0000, 0}));
    return b.Bytes();
}

std::vector<uint8_t> SampleEmf() {
    EmfBuilder b(RECT{0, 0, 1000, 1000}, 4);
    std::vector<uint8_t> poly;
    for (int i = 0; i < 4; ++i)
        Put32(poly, 0);
    Put32(poly, 2);
    Put32(poly, 6);
    Put32(poly, 3);
    Put32(poly, 3);
    for (int v : {10, 10, 50, 10, 50, 50, 20, 20, 40, 20, 40, 40})
        Put16(poly, static_cast<uint16_t>(v));
    b.Rec(17, {MM_ANISOTROPIC}).Rec(9, {50, 50}).Rec(11, {100, 100});
    b.Rec(39, {1, BS_SOLID, 0xFF, 0})
        .Rec(37, {1})
        .Rec(38, {2, PS_SOLID, 4, 0, 0xFF00})
        .Rec(37, {2});
    b.Rec(33, {}).Rec(43, {0, 0, 20, 20}).Raw(91, poly).Rec(34, {U(-1)});
    b.Rec(59, {})
        .Rec(27, {5, 5})
        .Rec(54, {30, 5})
        .Rec(54, {5, 30})
        .Rec(60, {})
        .Rec(63, {0, 0, 0, 0});
    b.Rec(42, {0, 0, 40, 30}).Rec(47, {0, 0, 40, 40, 0, 0, 40, 0}).Rec(40, {1});
    return b.Bytes();
}

template <class Play>
void Damage(const std::vector<uint8_t>& original, uint32_t stream, Play play) {
    std::mt19937 random(stream);
    for (int round = 0; round < 400; ++round) {
        auto bytes = original;
        const int changes = 1 + static_cast<int>(random() % 8);
        for (int i = 0; i < changes; ++i) {
            const size_t at = random() % bytes.size();
            bytes[at] = static_cast<uint8_t>(random() % 3 == 0 ? 0xFF : random());
        }
        if (random() % 4 == 0) bytes.resize(random() % bytes.size());
        play(bytes);
    }
}

TEST(DamagedInput, MetafilesAndIconsStaySafe) {
    GetStockObject(WHITE_BRUSH);  // stock objects are made on first use, all at once
    const size_t brushes = CountHandles(HandleKind::Brush);
    const size_t pens = CountHandles(HandleKind::Pen);
    const size_t fonts = CountHandles(HandleKind::Font);
    const size_t palettes = CountHandles(HandleKind::Palette);
    Board s(64, 64);
    int played = 0;
    Damage(SampleWmf(), 1, [&](const std::vector<uint8_t>& bytes) {
        const HMETAFILE mf = SetMetaFileBitsEx(static_cast<uint32_t>(bytes.size()), bytes.data());
        if (!mf) return;
        EXPECT_TRUE(PlayMetaFile(s, mf));
        ++played;
        DeleteMetaFile(mf);
    });
    const RECT target{0, 0, 64, 64};
    Damage(SampleEmf(), 2, [&](const std::vector<uint8_t>& bytes) {
        const HENHMETAFILE emf =
            SetEnhMetaFileBits(static_cast<uint32_t>(bytes.size()), bytes.data());
        if (!emf) return;
        EXPECT_TRUE(PlayEnhMetaFile(s, emf, &target));
        ++played;
        DeleteEnhMetaFile(emf);
    });
    Damage(SampleWmf(), 3, [&](const std::vector<uint8_t>& bytes) {
        const HENHMETAFILE emf =
            SetWinMetaFileBits(static_cast<uint32_t>(bytes.size()), bytes.data(), 0, nullptr);
        if (!emf) return;
        PlayEnhMetaFile(s, emf, &target);
        DeleteEnhMetaFile(emf);
    });
    EXPECT_GT(played, 200);
    EXPECT_EQ(CountHandles(HandleKind::Brush), brushes);
    EXPECT_EQ(CountHandles(HandleKind::Pen), pens);
    EXPECT_EQ(CountHandles(HandleKind::Font), fonts);
    EXPECT_EQ(CountHandles(HandleKind::Palette), palettes);
    EXPECT_EQ(CountHandles(HandleKind::MetaFile), 0u);
    EXPECT_EQ(CountHandles(HandleKind::EnhMetaFile), 0u);
}

}  // namespace
}  // namespace meta_test
