// Photo CD residual layers: tables, lookup, sync marks, damaged lines with their messages, and
// whole layered packs at sizes 3 and 4 against a plain model of the decode.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "decode/readers.h"
#include "photocd/format.h"
#include "photocd/pack_writer.h"
#include "photocd/pcd.h"
#include "photocd/reference.h"
#include "support/picture.h"

namespace {

using pcdpack::Bytes;
using pcdpack::Line;

// Planes of a small layer geometry, filled with one value, decoded from layer bytes.
struct Decode {
    photocd::Plane luma, chroma1, chroma2;
    std::string errors;
    uint8_t at(const photocd::Plane& p, uint32_t x, uint32_t y) const {
        return p.block.get()[size_t{y} * p.stride + x];
    }
};

struct Geometry {
    uint32_t width = 8;
    uint32_t height = 4;
    bool luma = true;
    bool chroma = true;
    bool search = false;
    uint8_t fill = 100;
};

// The small table for every channel, parsed from a table sector.
photocd::HuffmanTables SmallTables() {
    Bytes sector;
    for (int c = 0; c < 3; ++c)
        pcdpack::AppendTable(sector, pcdpack::SmallTable());
    sector.resize(2048);
    decode::ByteReader in(sector);
    photocd::PackFile file(in);
    photocd::HuffmanTables tables;
    EXPECT_TRUE(photocd::ReadHuffmanTables(file, 3, tables));
    return tables;
}

std::unique_ptr<Decode> DecodeBytes(const Bytes& layer, const Geometry& g) {
    auto d = std::make_unique<Decode>();
    for (auto [p, w, h] : {std::tuple{&d->luma, g.width, g.height},
                           std::tuple{&d->chroma1, g.width / 2, g.height / 2},
                           std::tuple{&d->chroma2, g.width / 2, g.height / 2}}) {
        EXPECT_TRUE(p->Allocate(w, h));
        p->width = w;
        p->height = h;
        std::fill_n(p->block.get(), size_t{w} * h, g.fill);
    }
    photocd::HuffmanTables tables = SmallTables();
    decode::ByteReader in(layer);
    photocd::PackFile file(in);
    testing::internal::CaptureStderr();
    photocd::DecodeLayer(file, tables, g.width, g.height, g.luma ? &d->luma : nullptr,
                         g.chroma ? &d->chroma1 : nullptr, g.chroma ? &d->chroma2 : nullptr,
                         g.search);
    d->errors = testing::internal::GetCapturedStderr();
    return d;
}

Bytes Encode(const std::vector<Line>& lines, int endLine) {
    const auto t = pcdpack::SmallTable();
    return pcdpack::EncodeLayer(lines, {t, t, t}, endLine).bytes;
}

Line LumaLine(int number, std::vector<int> residuals) {
    return {0, number, std::move(residuals), {}};
}

TEST(PhotoCdTables, TablesAreParsedBackToBackAndUnusableOnesRefused) {
    Bytes sector;
    pcdpack::AppendTable(sector, {{"0", 3}, {"10", -4}});
    pcdpack::AppendTable(sector, {{"1", 7}, {"01", 9}, {"00", -9}});
    pcdpack::AppendTable(sector, {{"0", 1}, {"1", 2}});
    sector.resize(2048);
    {
        decode::ByteReader in(sector);
        photocd::PackFile file(in);
        photocd::HuffmanTables t;
        ASSERT_TRUE(photocd::ReadHuffmanTables(file, 3, t));
        EXPECT_EQ(file.position(), 2048);
        EXPECT_EQ(t.counts[0], 2);
        EXPECT_EQ(t.counts[1], 3);
        EXPECT_EQ(t.counts[2], 2);
        EXPECT_EQ(t.entries[1][2].value, -9);
        EXPECT_EQ(t.entries[1][1].pattern, 0x4000);
        t.RebuildLookup();
        EXPECT_EQ(t.lookup[0][0x0000], 1 << 8 | 3);
        EXPECT_EQ(t.lookup[0][0x7FFF], 1 << 8 | 3);
        EXPECT_EQ(t.lookup[0][0x8000], 2 << 8 | uint8_t(-4));
        EXPECT_EQ(t.lookup[0][0xC000], 0) << "no code starts with 11";
        EXPECT_EQ(t.lookup[1][0x5555], 2 << 8 | 9);
    }
    {
        // Overlapping codes: the later entry wins where they overlap.
        Bytes overlap;
        pcdpack::AppendTable(overlap, {{"1", 7}, {"11", 8}, {"0", 1}});
        overlap.resize(2048);
        decode::ByteReader in(overlap);
        photocd::PackFile file(in);
        photocd::HuffmanTables t;
        ASSERT_TRUE(photocd::ReadHuffmanTables(file, 1, t));
        t.RebuildLookup();
        EXPECT_EQ(t.lookup[0][0x8000], 1 << 8 | 7);
        EXPECT_EQ(t.lookup[0][0xC000], 2 << 8 | 8);
        EXPECT_EQ(t.lookup[0][0xFFFF], 2 << 8 | 8);
    }
    {
        // A code of 17 bits would fill more than the lookup: the table is not used.
        Bytes bad;
        pcdpack::AppendTable(bad, {{"0", 1}, {"1", 2}}, 17);
        bad.resize(2048);
        decode::ByteReader in(bad);
        photocd::PackFile file(in);
        photocd::HuffmanTables t;
        EXPECT_FALSE(photocd::ReadHuffmanTables(file, 1, t));
        EXPECT_EQ(t.counts[0], 0);
    }
    {
        // Three tables of 256 entries need 3075 bytes: the third runs past the sector.
        pcdpack::Table full;
        for (int i = 0; i < 256; ++i)
            full.push_back({"00000000", 0});
        Bytes big;
        for (int c = 0; c < 3; ++c)
            pcdpack::AppendTable(big, full);
        big.resize(4096);
        decode::ByteReader in(big);
        photocd::PackFile file(in);
        photocd::HuffmanTables t;
        EXPECT_FALSE(photocd::ReadHuffmanTables(file, 3, t));
        decode::ByteReader again(big);
        photocd::PackFile file2(again);
        EXPECT_TRUE(photocd::ReadHuffmanTables(file2, 1, t)) << "one table of 256 entries fits";
    }
}

TEST(PhotoCdLayer, CleanLinesAddTheirResidualsWithClampingAndNoMessage) {
    std::vector<Line> lines;
    for (int n = 0; n < 4; ++n)
        lines.push_back(LumaLine(n, {1, -1, 2, -2, 1, -1, 0, 5}));
    lines[2].residuals = {-128, 127, 0, 0};       // a short line: the rest keeps its value
    lines.push_back({2, 0, {1, 2, -1, -2}, {}});  // chroma line 0 and 1: row 0
    lines.push_back({3, 3, {-5, 5, 0, 1}, {}});   // chroma line 3: row 1
    auto d = DecodeBytes(Encode(lines, 4), {});
    EXPECT_EQ(d->errors, "");
    EXPECT_EQ(d->at(d->luma, 0, 1), 101);
    EXPECT_EQ(d->at(d->luma, 1, 3), 99);
    EXPECT_EQ(d->at(d->luma, 7, 3), 105);
    EXPECT_EQ(d->at(d->luma, 0, 2), 0) << "100 - 128 clamps to 0";
    EXPECT_EQ(d->at(d->luma, 1, 2), 227);
    EXPECT_EQ(d->at(d->luma, 2, 2), 100);
    EXPECT_EQ(d->at(d->luma, 7, 2), 100);
    EXPECT_EQ(d->at(d->chroma1, 1, 0), 102);
    EXPECT_EQ(d->at(d->chroma1, 3, 1), 100);
    EXPECT_EQ(d->at(d->chroma2, 0, 1), 95);
    EXPECT_EQ(d->at(d->chroma2, 3, 1), 101);

    Geometry bright;
    bright.fill = 200;
    auto b = DecodeBytes(Encode({LumaLine(0, {127, -128, 127})}, 4), bright);
    EXPECT_EQ(b->at(b->luma, 0, 0), 255) << "200 + 127 clamps to 255";
    EXPECT_EQ(b->at(b->luma, 1, 0), 72);
    EXPECT_EQ(b->errors, "");
}

TEST(PhotoCdLayer, DamagedLinesAreReportedAndDecodingResynchronises) {
    {
        // Garbage in the middle of line 1: the rest of the line is left, line 2 decodes.
        std::vector<Line> lines = {LumaLine(0, {1, 1, 1, 1, 1, 1, 1, 1}), LumaLine(1, {2, 2, 2}),
                                   LumaLine(2, {-1, -1, -1, -1})};
        lines[1].garbage = "1111000010101010";
        auto d = DecodeBytes(Encode(lines, 4), {});
        EXPECT_EQ(d->errors,
                  "Unable to decode, ignoring rest of line\nSynchron mark found Line 2\n");
        EXPECT_EQ(d->at(d->luma, 2, 1), 102);
        EXPECT_EQ(d->at(d->luma, 3, 1), 100);
        EXPECT_EQ(d->at(d->luma, 3, 2), 99);
    }
    {
        // One code too many is dropped silently; a second one means the sync mark is missing.
        std::vector<Line> lines = {LumaLine(0, {1, 1, 1, 1, 1, 1, 1, 1, 2}),
                                   LumaLine(1, {1, 1, 1, 1, 1, 1, 1, 1, 2, 2}), LumaLine(2, {5})};
        auto d = DecodeBytes(Encode(lines, 4), {});
        EXPECT_EQ(d->errors,
                  "Missing synchron mark in Luma Channel line 1\nSynchron mark found Line 2\n");
        EXPECT_EQ(d->at(d->luma, 7, 0), 101);
        EXPECT_EQ(d->at(d->luma, 7, 1), 101);
        EXPECT_EQ(d->at(d->luma, 0, 2), 105);
    }
    {
        // Chroma lines name their channel.
        std::vector<Line> lines = {{3, 2, {1, 1, 1, 1, 1, 1}, {}}, LumaLine(3, {1})};
        auto d = DecodeBytes(Encode(lines, 4), {});
        EXPECT_EQ(d->errors,
                  "Missing synchron mark in Chroma2 Channel line 2\nSynchron mark found Line 3\n");
        EXPECT_EQ(d->at(d->chroma2, 3, 1), 101);
    }
    {
        // A line number beyond the layer, then an abnormal tag read as luma.
        std::vector<Line> lines = {LumaLine(9, {1, 1}), {1, 1, {2, 2}, {}}, LumaLine(2, {5})};
        auto d = DecodeBytes(Encode(lines, 4), {});
        EXPECT_EQ(d->errors,
                  "Wrong line number 9, ignoring line\nSynchron mark found Line 1\n"
                  "Abnormal line tag in 1, interpreting as Luma tag\n");
        EXPECT_EQ(d->at(d->luma, 0, 0), 100);
        EXPECT_EQ(d->at(d->luma, 1, 1), 102);
        EXPECT_EQ(d->at(d->luma, 0, 2), 105);
    }
    {
        // A stream that does not start with a sync mark: without the search it cannot be
        // decoded until the first mark; with it, the mark is sought first.
        Bytes layer = Encode({LumaLine(1, {1, 1})}, 4);
        layer.insert(layer.begin(), {0xF0, 0x0F, 0x33});
        auto d = DecodeBytes(layer, {});
        EXPECT_EQ(d->errors,
                  "Unable to decode, ignoring rest of line\nSynchron mark found Line 1\n");
        EXPECT_EQ(d->at(d->luma, 1, 1), 101);
        Geometry seek;
        seek.search = true;
        auto s = DecodeBytes(layer, seek);
        EXPECT_EQ(
            s->errors,
            "Image does not start with synchron mark, seeking...\nSynchron mark found Line 1\n");
        EXPECT_EQ(s->at(s->luma, 1, 1), 101);
        auto clean = DecodeBytes(Encode({LumaLine(1, {1})}, 4), seek);
        EXPECT_EQ(clean->errors, "") << "a stream that starts with its mark needs no search";
    }
}

TEST(PhotoCdLayer, MissingPlanesEndOrSkipTheirLines) {
    std::vector<Line> lines = {
        LumaLine(0, {1}), {2, 0, {2}, {}}, LumaLine(1, {1}), {3, 0, {5}, {}}};
    Geometry noChroma;
    noChroma.chroma = false;
    auto d = DecodeBytes(Encode(lines, 4), noChroma);
    EXPECT_EQ(d->errors, "");
    EXPECT_EQ(d->at(d->luma, 0, 0), 101);
    EXPECT_EQ(d->at(d->luma, 0, 1), 100) << "the layer ends at the first chroma line";

    Geometry noLuma;
    noLuma.luma = false;
    auto c = DecodeBytes(Encode(lines, 4), noLuma);
    EXPECT_EQ(c->errors, "");
    EXPECT_EQ(c->at(c->luma, 0, 0), 100);
    EXPECT_EQ(c->at(c->chroma1, 0, 0), 102);
    EXPECT_EQ(c->at(c->chroma2, 0, 0), 105);

    // Chroma planes too small for the layer (an odd height leaves line 2 without a row) are
    // not written: the layer ends at its first chroma line as if they were absent.
    Geometry odd;
    odd.height = 3;
    auto o = DecodeBytes(Encode({LumaLine(0, {1}), {2, 2, {1}, {}}, LumaLine(1, {1})}, 3), odd);
    EXPECT_EQ(o->errors, "");
    EXPECT_EQ(o->at(o->luma, 0, 0), 101);
    EXPECT_EQ(o->at(o->luma, 0, 1), 100);
    EXPECT_EQ(o->at(o->chroma1, 0, 0), 100);
}

TEST(PhotoCdLayer, ATruncatedLayerKeepsWhatWasDecodedAndReportsOnce) {
    // Lines of 1024 two-bit codes: 256 bytes a line, eight lines a sector.
    Geometry g;
    g.width = 1024;
    g.height = 32;
    std::vector<Line> lines;
    for (int n = 0; n < 32; ++n)
        lines.push_back(LumaLine(n, std::vector<int>(1024, 0)));
    for (int n = 0; n < 32; ++n)
        lines[n].residuals[5] = 1;  // "010" for one pixel: lines stay near 256 bytes
    Bytes layer = Encode(lines, 32);
    layer.resize(3 * 2048 + 100);  // the fourth sector is incomplete
    auto d = DecodeBytes(layer, g);
    EXPECT_EQ(d->errors, "Read error\n");
    int refined = 0;
    for (uint32_t n = 0; n < 32; ++n)
        refined += d->at(d->luma, 5, n) == 101;
    EXPECT_GE(refined, 22);
    EXPECT_LE(refined, 24);
    for (int n = 0; n < refined; ++n)
        EXPECT_EQ(d->at(d->luma, 5, n), 101) << "lines are refined in order";

    EXPECT_EQ(DecodeBytes({}, g)->errors, "Read error\n");
}

// Whole packs: a base image and both layers with residuals that follow a pattern, decoded at
// sizes 3 and 4 and compared with the plain model of doubling, residuals and conversion.
class LayeredPack : public testing::Test {
  protected:
    static int Residual(uint32_t x, uint32_t y, int channel) {
        static const int values[] = {0, 1, -1, 2, -2, 0, 0, 5, -5, 0, 127, -128};
        return values[(x * 7 + y * 13 + channel * 5 + (x * y) % 11) % 12];
    }
    static std::vector<int> Row(uint32_t width, uint32_t y, int channel) {
        std::vector<int> r(width);
        for (uint32_t x = 0; x < width; ++x)
            r[x] = Residual(x, y, channel);
        return r;
    }
    static void Apply(pcdref::Plane& p, uint32_t row, const std::vector<int>& residuals) {
        for (uint32_t x = 0; x < residuals.size(); ++x)
            p.at(x, row) = static_cast<uint8_t>(std::clamp(p.at(x, row) + residuals[x], 0, 255));
    }

    static void SetUpTestSuite() {
        std::mt19937 rng(11);
        base = pcdpack::YccImage(768, 512);
        // Smooth with noise, so the doubling averages differ from pixel to pixel.
        for (uint32_t y = 0; y < 512; ++y)
            for (uint32_t x = 0; x < 768; ++x)
                base.y[y * 768 + x] = static_cast<uint8_t>((x / 3 + y / 2 + rng() % 16) & 0xFF);
        for (auto* c : {&base.c1, &base.c2})
            for (uint8_t& v : *c)
                v = static_cast<uint8_t>(100 + rng() % 80);
        std::vector<Line> layer1, layer2;
        for (uint32_t n = 0; n < 1024; ++n)
            layer1.push_back({0, int(n), Row(1536, n, 0), {}});
        for (uint32_t n = 0; n < 2048; ++n)
            layer2.push_back({0, int(n), Row(3072, n, 0), {}});
        for (uint32_t n = 0; n < 2048; n += 2) {
            layer2.push_back({2, int(n), Row(1536, n, 1), {}});
            layer2.push_back({3, int(n), Row(1536, n, 2), {}});
        }
        const auto t = pcdpack::SmallTable();
        pack = pcdpack::AddLayers(
            pcdpack::BasePack(pcdpack::YccImage(192, 128), pcdpack::YccImage(384, 256), base), t,
            layer1, {t, t, t}, layer2);
    }

    // The picture the decoder should give at size 3 or 4.
    static std::vector<std::array<uint8_t, 3>> Expected(int size) {
        pcdref::Plane y{768, 512, base.y}, c1{384, 256, base.c1}, c2{384, 256, base.c2};
        y = pcdref::Double(y);
        c1 = pcdref::Double(pcdref::Double(c1));
        c2 = pcdref::Double(pcdref::Double(c2));
        for (uint32_t n = 0; n < 1024; ++n)
            Apply(y, n, Row(1536, n, 0));
        if (size == 4) y = pcdref::Double(y);
        for (uint32_t n = 0; n < 2048; n += 2) {
            Apply(c1, n / 2, Row(1536, n, 1));
            Apply(c2, n / 2, Row(1536, n, 2));
        }
        if (size == 4) {
            for (uint32_t n = 0; n < 2048; ++n)
                Apply(y, n, Row(3072, n, 0));
            c1 = pcdref::Double(c1);
            c2 = pcdref::Double(c2);
        }
        std::vector<std::array<uint8_t, 3>> out;
        for (size_t i = 0; i < y.px.size(); ++i)
            out.push_back(pcdref::TableRgb(y.px[i], c1.px[i], c2.px[i]));
        return out;
    }

    static void ExpectPicture(const testsupport::ReaderRun& run,
                              const std::vector<std::array<uint8_t, 3>>& want) {
        ASSERT_EQ(run.rc, 0);
        const int w = run.width();
        ASSERT_EQ(size_t(w) * run.height(), want.size());
        int bad = 0;
        for (int y = 0; y < run.height(); ++y)
            for (int x = 0; x < w; ++x)
                if (run.rgb(x, y) != want[size_t(y) * w + x] && ++bad < 5)
                    ADD_FAILURE() << "pixel " << x << "," << y;
        EXPECT_EQ(bad, 0);
    }

    static std::string Run(const Bytes& bytes, int size,
                           std::unique_ptr<testsupport::ReaderRun>& run) {
        decode::LoadOptions o;
        o.pcdSize = size;
        testing::internal::CaptureStderr();
        run = testsupport::RunReader(decode::ReadPhotoCd, bytes, o);
        return testing::internal::GetCapturedStderr();
    }

    static inline pcdpack::YccImage base;
    static inline pcdpack::LayeredPack pack;
};

TEST_F(LayeredPack, Size4AddsBothLayersAtTheirSectors) {
    std::unique_ptr<testsupport::ReaderRun> run;
    EXPECT_EQ(Run(pack.bytes, 4, run), "");
    ExpectPicture(*run, Expected(4));
}

TEST_F(LayeredPack, Size3TakesTheChromaOfTheLargeLayerFromSectorSPlusN) {
    ASSERT_GT(pack.chromaSector, pack.layer2Sector + 14) << "chroma lines start in a later sector";
    std::unique_ptr<testsupport::ReaderRun> run;
    const std::string errors = Run(pack.bytes, 3, run);
    // The chroma part starts inside a sector: the search passes luma lines on the way.
    EXPECT_TRUE(errors == "" ||
                errors.starts_with("Image does not start with synchron mark, seeking...\n"
                                   "Synchron mark found Line "))
        << errors;
    EXPECT_EQ(errors.find("Unable"), std::string::npos);
    ExpectPicture(*run, Expected(3));
}

TEST_F(LayeredPack, AnUnusableTableLeavesItsLayerOutButTheNextIsStillFound) {
    Bytes damaged = pack.bytes;
    damaged[388 * 2048 + 1] = 16;  // first luma code 17 bits long
    std::unique_ptr<testsupport::ReaderRun> run;
    EXPECT_EQ(Run(damaged, 4, run), "Bad Huffman table, ignoring layer\n");
    // Expected: the size 4 decode with the first layer's residuals left out.
    pcdref::Plane y{768, 512, base.y}, c1{384, 256, base.c1}, c2{384, 256, base.c2};
    y = pcdref::Double(pcdref::Double(y));
    c1 = pcdref::Double(pcdref::Double(c1));
    c2 = pcdref::Double(pcdref::Double(c2));
    for (uint32_t n = 0; n < 2048; ++n)
        Apply(y, n, Row(3072, n, 0));
    for (uint32_t n = 0; n < 2048; n += 2) {
        Apply(c1, n / 2, Row(1536, n, 1));
        Apply(c2, n / 2, Row(1536, n, 2));
    }
    c1 = pcdref::Double(c1);
    c2 = pcdref::Double(c2);
    std::vector<std::array<uint8_t, 3>> want;
    for (size_t i = 0; i < y.px.size(); ++i)
        want.push_back(pcdref::TableRgb(y.px[i], c1.px[i], c2.px[i]));
    ExpectPicture(*run, want);

    // The large layer's tables damaged: it is left out, the first layer stays.
    Bytes damaged2 = pack.bytes;
    damaged2[(pack.layer2Sector + 12) * 2048 + 1] = 20;
    EXPECT_EQ(Run(damaged2, 3, run), "Bad Huffman table, ignoring layer\n");
    EXPECT_EQ(run->rc, 0);
}

TEST_F(LayeredPack, TruncatedPacksFinishFromWhatWasRead) {
    for (size_t cut :
         {size_t{390 * 2048 + 77}, pack.layer2Sector * 2048 + 40000, pack.bytes.size() - 3000}) {
        Bytes shortPack(pack.bytes.begin(), pack.bytes.begin() + cut);
        for (int size = 3; size < 5; ++size) {
            std::unique_ptr<testsupport::ReaderRun> run;
            const std::string errors = Run(shortPack, size, run);
            EXPECT_EQ(run->rc, 0);
            EXPECT_NE(errors.find("Read error\n"), std::string::npos) << cut << " " << size;
        }
    }
}

}  // namespace
