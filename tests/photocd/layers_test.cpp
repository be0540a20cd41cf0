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
using testsupport::Cat;

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

photocd::HuffmanTables ParseTables(const Bytes& tables, int count, bool ok = true) {
    Bytes sector = tables;
    sector.resize(std::max<size_t>(sector.size(), 2048));
    decode::ByteReader in(sector);
    photocd::PackFile file(in);
    photocd::HuffmanTables t;
    EXPECT_EQ(photocd::ReadHuffmanTables(file, count, t), ok);
    EXPECT_EQ(file.position(), 2048);
    if (ok) t.RebuildLookup();  // a refused table has no lookup to build
    return t;
}

// The small table for every channel, parsed from a table sector.
photocd::HuffmanTables SmallTables() {
    Bytes sector;
    for (int c = 0; c < 3; ++c)
        pcdpack::AppendTable(sector, pcdpack::SmallTable());
    return ParseTables(sector, 3);
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
    auto t = ParseTables(sector, 3);
    EXPECT_EQ(t.counts, (std::array<int, 3>{2, 3, 2}));
    // A lookup slot holds the code's length and value.
    EXPECT_EQ(t.lookup[0][0x0000], 1 << 8 | 3);
    EXPECT_EQ(t.lookup[0][0x7FFF], 1 << 8 | 3);
    EXPECT_EQ(t.lookup[0][0x8000], 2 << 8 | uint8_t(-4));
    EXPECT_EQ(t.lookup[0][0xC000], 0) << "no code starts with 11";
    EXPECT_EQ(t.lookup[1][0x5555], 2 << 8 | 9);
    EXPECT_EQ(t.lookup[1][0x0000], 2 << 8 | uint8_t(-9));

    // Overlapping codes: the later entry wins where they overlap.
    Bytes overlap;
    pcdpack::AppendTable(overlap, {{"1", 7}, {"11", 8}, {"0", 1}});
    t = ParseTables(overlap, 1);
    EXPECT_EQ(t.lookup[0][0x8000], 1 << 8 | 7);
    EXPECT_EQ(t.lookup[0][0xFFFF], 2 << 8 | 8);

    // A code of 17 bits would fill more than the lookup: the table is not used.
    Bytes bad;
    pcdpack::AppendTable(bad, {{"0", 1}, {"1", 2}}, 17);
    EXPECT_EQ(ParseTables(bad, 1, false).counts[0], 0);

    // Three tables of 256 entries need 3075 bytes: the third runs past the sector; one fits.
    Bytes big;
    for (int c = 0; c < 3; ++c)
        pcdpack::AppendTable(big, pcdpack::Table(256, {"00000000", 0}));
    ParseTables(big, 3, false);
    ParseTables(big, 1, true);
}

// A layer of lines decoded into planes of 100s: the messages and some plane values after.
struct Sample {
    int plane;  // 0 luma, 1 chroma 1, 2 chroma 2
    uint32_t x, y;
    int value;
};
struct LayerCase {
    const char* what;
    std::vector<Line> lines;
    Geometry geometry;
    std::string errors;
    std::vector<Sample> samples;
    Bytes prefix = {};  // bytes before the coded lines
};
LayerCase Layer(const char* what, std::vector<Line> lines, Geometry geometry, std::string errors,
                std::vector<Sample> samples, Bytes prefix = {}) {
    return {
        what, std::move(lines), geometry, std::move(errors), std::move(samples), std::move(prefix)};
}

TEST(PhotoCdLayer, LinesAddTheirResidualsAndDamageIsReported) {
    const std::vector<int> clean = {1, -1, 2, -2, 1, -1, 0, 5};
    const Geometry plain, search{.search = true};
    const std::vector<Line> mixed = {
        LumaLine(0, {1}), {2, 0, {2}, {}}, LumaLine(1, {1}), {3, 0, {5}, {}}};
    const LayerCase cases[] = {
        // A short line keeps the rest of its row; chroma line 0 and 1 are row 0, 3 row 1.
        Layer("clean",
              {LumaLine(0, clean),
               LumaLine(1, clean),
               LumaLine(2, {-128, 127, 0, 0}),
               LumaLine(3, clean),
               {2, 0, {1, 2, -1, -2}, {}},
               {3, 3, {-5, 5, 0, 1}, {}}},
              plain, "",
              {{0, 0, 1, 101},
               {0, 1, 3, 99},
               {0, 7, 3, 105},
               {0, 0, 2, 0},
               {0, 1, 2, 227},
               {0, 2, 2, 100},
               {0, 7, 2, 100},
               {1, 1, 0, 102},
               {1, 3, 1, 100},
               {2, 0, 1, 95},
               {2, 3, 1, 101}}),
        Layer("clamped at 255", {LumaLine(0, {127, -128, 127})}, Geometry{.fill = 200}, "",
              {{0, 0, 0, 255}, {0, 1, 0, 72}}),
        // Garbage in the middle of line 1: the rest of the line is left, line 2 decodes.
        Layer("garbage",
              {LumaLine(0, {1, 1, 1, 1, 1, 1, 1, 1}),
               {0, 1, {2, 2, 2}, "1111000010101010"},
               LumaLine(2, {-1, -1, -1, -1})},
              plain, "Unable to decode, ignoring rest of line\nSynchron mark found Line 2\n",
              {{0, 2, 1, 102}, {0, 3, 1, 100}, {0, 3, 2, 99}}),
        // One code too many is dropped silently; a second one means the sync mark is missing.
        Layer("codes too many",
              {LumaLine(0, {1, 1, 1, 1, 1, 1, 1, 1, 2}),
               LumaLine(1, {1, 1, 1, 1, 1, 1, 1, 1, 2, 2}), LumaLine(2, {5})},
              plain, "Missing synchron mark in Luma Channel line 1\nSynchron mark found Line 2\n",
              {{0, 7, 0, 101}, {0, 7, 1, 101}, {0, 0, 2, 105}}),
        Layer("chroma lines name their channel", {{3, 2, {1, 1, 1, 1, 1, 1}, {}}, LumaLine(3, {1})},
              plain,
              "Missing synchron mark in Chroma2 Channel line 2\nSynchron mark found Line 3\n",
              {{2, 3, 1, 101}}),
        // A line number beyond the layer, then an abnormal tag read as luma.
        Layer("wrong numbers and tags", {LumaLine(9, {1, 1}), {1, 1, {2, 2}, {}}, LumaLine(2, {5})},
              plain,
              "Wrong line number 9, ignoring line\nSynchron mark found Line 1\n"
              "Abnormal line tag in 1, interpreting as Luma tag\n",
              {{0, 0, 0, 100}, {0, 1, 1, 102}, {0, 0, 2, 105}}),
        // A stream that does not start with a sync mark: without the search it cannot be
        // decoded until the first mark; with it, the mark is sought first.
        Layer("no leading mark", {LumaLine(1, {1, 1})}, plain,
              "Unable to decode, ignoring rest of line\nSynchron mark found Line 1\n",
              {{0, 1, 1, 101}}, {0xF0, 0x0F, 0x33}),
        Layer("no leading mark, sought", {LumaLine(1, {1, 1})}, search,
              "Image does not start with synchron mark, seeking...\nSynchron mark found Line 1\n",
              {{0, 1, 1, 101}}, {0xF0, 0x0F, 0x33}),
        Layer("a leading mark needs no search", {LumaLine(1, {1})}, search, "", {{0, 0, 1, 101}}),
        Layer("without chroma planes the layer ends at the first chroma line", mixed,
              Geometry{.chroma = false}, "", {{0, 0, 0, 101}, {0, 0, 1, 100}}),
        Layer("without a luma plane its lines are passed", mixed, Geometry{.luma = false}, "",
              {{0, 0, 0, 100}, {1, 0, 0, 102}, {2, 0, 0, 105}}),
        Layer("chroma planes too small", {LumaLine(0, {1}), {2, 2, {1}, {}}, LumaLine(1, {1})},
              Geometry{.height = 3}, "", {{0, 0, 0, 101}, {0, 0, 1, 100}, {1, 0, 0, 100}}),
        Layer("chroma 2 planes too small", {LumaLine(0, {1}), {3, 2, {1}, {}}, LumaLine(1, {1})},
              Geometry{.height = 3}, "", {{0, 0, 1, 100}, {2, 0, 0, 100}}),
    };
    for (const LayerCase& c : cases) {
        SCOPED_TRACE(c.what);
        const auto d = DecodeBytes(Cat(c.prefix, Encode(c.lines, c.geometry.height)), c.geometry);
        EXPECT_EQ(d->errors, c.errors);
        for (const Sample& s : c.samples) {
            const photocd::Plane* planes[] = {&d->luma, &d->chroma1, &d->chroma2};
            EXPECT_EQ(d->at(*planes[s.plane], s.x, s.y), s.value)
                << "plane " << s.plane << " at " << s.x << "," << s.y;
        }
    }
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

    // The picture the decoder should give at size 3 or 4, a layer's residuals left out when its
    // table is unusable or it is missing.
    static std::vector<std::array<uint8_t, 3>> Expected(int size, bool firstLayer,
                                                        bool secondLayer) {
        pcdref::Plane y{768, 512, base.y}, c1{384, 256, base.c1}, c2{384, 256, base.c2};
        y = pcdref::Double(y);
        c1 = pcdref::Double(pcdref::Double(c1));
        c2 = pcdref::Double(pcdref::Double(c2));
        for (uint32_t n = 0; n < 1024 && firstLayer; ++n)
            Apply(y, n, Row(1536, n, 0));
        if (size == 4) y = pcdref::Double(y);
        for (uint32_t n = 0; n < 2048 && secondLayer; n += 2) {
            Apply(c1, n / 2, Row(1536, n, 1));
            Apply(c2, n / 2, Row(1536, n, 2));
        }
        if (size == 4) {
            for (uint32_t n = 0; n < 2048 && secondLayer; ++n)
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

// Both layers at sizes 3 and 4, a pack of base images only, and packs whose first (luma code
// 17 bits long) or second layer's table is unusable: the layer is left out, the next is found.
TEST_F(LayeredPack, EachLayerAddsItsResidualsAtItsSectors) {
    ASSERT_GT(pack.chromaSector, pack.layer2Sector + 14) << "chroma lines start in a later sector";
    const Bytes baseOnly(pack.bytes.begin(), pack.bytes.begin() + 385 * 2048);
    Bytes badFirst = pack.bytes, badSecond = pack.bytes;
    badFirst[388 * 2048 + 1] = 16;
    badSecond[(pack.layer2Sector + 12) * 2048 + 1] = 20;
    const std::string bad = "Bad Huffman table, ignoring layer\n",
                      missing = "Read error\nRead error\n";
    const struct {
        const Bytes& bytes;
        int size;
        std::string errors;
        bool firstLayer, secondLayer;
    } cases[] = {
        {pack.bytes, 4, "", true, true},      {pack.bytes, 3, "", true, true},
        {baseOnly, 3, missing, false, false}, {baseOnly, 4, missing, false, false},
        {badFirst, 4, bad, false, true},      {badSecond, 3, bad, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "size " << c.size << " layers " << c.firstLayer << c.secondLayer);
        std::unique_ptr<testsupport::ReaderRun> run;
        const std::string errors = Run(c.bytes, c.size, run);
        // At size 3 the chroma part starts inside a sector: the search passes luma lines on the
        // way.
        if (c.size == 3 &&
            errors.starts_with("Image does not start with synchron mark, seeking...\n"))
            EXPECT_EQ(errors.find("Unable"), std::string::npos) << errors;
        else
            EXPECT_EQ(errors, c.errors);
        ExpectPicture(*run, Expected(c.size, c.firstLayer, c.secondLayer));
    }
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
