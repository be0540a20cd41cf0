// The IFF reader: plane conversion, row padding, ByteRun1 and the chunk walk on hand-made
// files; pictures written by ppmtoilbm compared with ilbmtoppm and with their source; the
// public Amiga and PC samples.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "decode/loader_error.h"
#include "decode/readers.h"
#include "support/bytes.h"
#include "support/oracle.h"
#include "support/picture.h"
#include "support/testdata.h"

namespace {

using namespace decode;
using namespace testsupport;
using testsupport::ComparePictures;
using testsupport::RunReader;

void PutBe(Bytes& v, uint32_t x, int bytes) {
    for (int i = bytes - 1; i >= 0; --i)
        v.push_back(static_cast<uint8_t>(x >> (8 * i)));
}

void Chunk(Bytes& out, const char* id, const Bytes& data, int64_t claimedLength = -1) {
    out.insert(out.end(), id, id + 4);
    PutBe(out,
          claimedLength < 0 ? static_cast<uint32_t>(data.size())
                            : static_cast<uint32_t>(claimedLength),
          4);
    out.insert(out.end(), data.begin(), data.end());
    if (data.size() & 1) out.push_back(0);
}

Bytes Bmhd(int width, int height, int planes, int compression = 0, int masking = 0) {
    Bytes b;
    PutBe(b, width, 2);
    PutBe(b, height, 2);
    PutBe(b, 0, 4);  // origin
    b.push_back(static_cast<uint8_t>(planes));
    b.push_back(static_cast<uint8_t>(masking));
    b.push_back(static_cast<uint8_t>(compression));
    b.resize(20, 0);
    return b;
}

// A FORM of the given type around the chunks.
Bytes Form(const char* type, const Bytes& chunks, const char* group = "FORM") {
    Bytes out(group, group + 4);
    PutBe(out, static_cast<uint32_t>(chunks.size() + 4), 4);
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), chunks.begin(), chunks.end());
    return out;
}

Bytes Ilbm(const Bytes& bmhd, const Bytes& body, const Bytes& cmap = {}) {
    Bytes chunks;
    Chunk(chunks, "BMHD", bmhd);
    Chunk(chunks, "ANNO", {'h', 'i', '!'});
    if (!cmap.empty()) Chunk(chunks, "CMAP", cmap);
    Chunk(chunks, "BODY", body);
    return Form("ILBM", chunks);
}

// Plane rows of a picture given as pixel values, each plane row padded to 16 bits.
Bytes Planar(const std::vector<std::vector<int>>& rows, int planes, int extraPlanes = 0) {
    Bytes out;
    const size_t width = rows[0].size();
    const size_t planeBytes = (width + 15) / 16 * 2;
    for (const auto& row : rows)
        for (int p = 0; p < planes + extraPlanes; ++p) {
            Bytes plane(planeBytes, p >= planes ? 0xFF : 0);
            for (size_t x = 0; x < width && p < planes; ++x)
                if (row[x] >> p & 1) plane[x / 8] |= 0x80 >> (x % 8);
            out.insert(out.end(), plane.begin(), plane.end());
        }
    return out;
}

std::vector<std::vector<int>> Pattern(int width, int height, int values) {
    std::vector<std::vector<int>> rows(height, std::vector<int>(width));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            rows[y][x] = (x * 5 + y * 11 + x * y) % values;
    return rows;
}

void ExpectIndices(const testsupport::ReaderRun& run, const std::vector<std::vector<int>>& rows) {
    for (size_t y = 0; y < rows.size(); ++y)
        for (size_t x = 0; x < rows[y].size(); ++x)
            ASSERT_EQ(run.index(static_cast<int>(x), static_cast<int>(y)), rows[y][x])
                << x << "," << y;
}

TEST(Iff, PlanesBecomePackedPixels) {
    // Widths that are not a multiple of 16 still decode: plane rows are padded to words.
    for (int planes : {1, 2, 3, 4, 5, 7, 8}) {
        for (int width : {16, 13, 37}) {
            SCOPED_TRACE(std::to_string(planes) + " planes, width " + std::to_string(width));
            const auto rows = Pattern(width, 5, 1 << planes);
            const auto run = RunReader(ReadIff, Ilbm(Bmhd(width, 5, planes), Planar(rows, planes)));
            ASSERT_EQ(run->rc, 0);
            EXPECT_EQ(run->img.header.biBitCount, planes == 1 ? 1 : planes <= 4 ? 4 : 8);
            ExpectIndices(*run, rows);
        }
    }
    // A mask plane after the colour planes is skipped.
    const auto rows = Pattern(21, 4, 8);
    const auto masked = RunReader(ReadIff, Ilbm(Bmhd(21, 4, 3, 0, 1), Planar(rows, 3, 1)));
    ASSERT_EQ(masked->rc, 0);
    ExpectIndices(*masked, rows);
}

TEST(Iff, DeepPlanesAreRedGreenBlue) {
    std::vector<std::vector<int>> rows = {{0x123456, 0xFF0080, 0x000001}, {0x800000, 0, 0xFFFFFF}};
    const auto run = RunReader(ReadIff, Ilbm(Bmhd(3, 2, 24), Planar(rows, 24)));
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->img.header.biBitCount, 24);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            const int v = rows[y][x];
            EXPECT_EQ(run->rgb(x, y),
                      (std::array<uint8_t, 3>{static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                                              static_cast<uint8_t>(v >> 16)}));
        }
}

TEST(Iff, ByteRun1) {
    // Width 16, one plane: 2 bytes a row. 255 repeats twice, 128 is nothing, a literal is cut
    // at the row's end and its rest read as the next code.
    const Bytes body = {0xFF, 0xA5,              // row 0: A5 A5
                        0x80, 0x01, 0x3C, 0xC3,  // row 1: 3C C3
                        0x02, 0x11, 0x22, 0xFE,  // row 2: 11 22, then 0xFE starts row 3
                        0x77};                   // row 3: 77 77 77 cut to 77 77
    const auto run = RunReader(ReadIff, Ilbm(Bmhd(16, 4, 1, 1), body));
    ASSERT_EQ(run->rc, 0);
    const uint8_t want[4][2] = {{0xA5, 0xA5}, {0x3C, 0xC3}, {0x11, 0x22}, {0x77, 0x77}};
    for (int y = 0; y < 4; ++y)
        for (int i = 0; i < 2; ++i)
            EXPECT_EQ(run->img.row(y)[i], want[y][i]) << y;
}

TEST(Iff, ChunkyPicturesAndPalette) {
    // Any other form type is one byte a pixel; rows are padded to an even length.
    Bytes chunks;
    Chunk(chunks, "BMHD", Bmhd(3, 2, 8));
    Bytes cmap(768, 0);
    cmap[3 * 5] = 10, cmap[3 * 5 + 1] = 20, cmap[3 * 5 + 2] = 30;
    Chunk(chunks, "CMAP", cmap);
    Chunk(chunks, "BODY", {1, 5, 9, 0, 2, 6, 10, 0});
    const auto run = RunReader(ReadIff, Form("PBM ", chunks));
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->index(0, 0), 1);
    EXPECT_EQ(run->index(2, 0), 9);
    EXPECT_EQ(run->index(0, 1), 2);
    EXPECT_EQ(run->rgb(1, 0), (std::array<uint8_t, 3>{10, 20, 30}));
    // A short colour map clears the rest of the palette.
    const auto small = RunReader(ReadIff, Ilbm(Bmhd(2, 1, 1), {0x40, 0}, {1, 2, 3, 4, 5, 6}));
    ASSERT_EQ(small->rc, 0);
    EXPECT_EQ(small->rgb(1, 0), (std::array<uint8_t, 3>{4, 5, 6}));
    EXPECT_EQ(small->img.rgbPalette[6], 0);
}

TEST(Iff, Failures) {
    EXPECT_EQ(RunReader(ReadIff, Form("ILBM", {}, "RIFF"))->rc, kBadHeader);
    EXPECT_EQ(RunReader(ReadIff, {'F', 'O'})->rc, kBadHeader);
    // LIST and CAT groups are accepted; without a BODY there is no bitmap.
    Bytes noBody;
    Chunk(noBody, "BMHD", Bmhd(4, 4, 1));
    EXPECT_EQ(RunReader(ReadIff, Form("ILBM", noBody))->rc, kNoBitmap);
    EXPECT_EQ(RunReader(ReadIff, Form("ILBM", noBody, "LIST"))->rc, kNoBitmap);
    EXPECT_EQ(RunReader(ReadIff, Form("ILBM", noBody, "CAT "))->rc, kNoBitmap);
    // A chunk whose length runs past the end: no bitmap.
    Bytes longChunk;
    Chunk(longChunk, "BMHD", Bmhd(4, 4, 1));
    Chunk(longChunk, "JUNK", {1, 2}, 0x7FFFFFF0);
    Chunk(longChunk, "BODY", {0, 0});
    EXPECT_EQ(RunReader(ReadIff, Form("ILBM", longChunk))->rc, kNoBitmap);
    // Plane counts: none, and more than a 24-bit pixel holds, are not supported.
    EXPECT_EQ(RunReader(ReadIff, Ilbm(Bmhd(4, 4, 0), {}))->rc, kUnsupported);
    EXPECT_EQ(RunReader(ReadIff, Ilbm(Bmhd(4, 4, 25), {}))->rc, kUnsupported);
    EXPECT_EQ(RunReader(ReadIff, Ilbm(Bmhd(4, 4, 32), {}))->rc, kUnsupported);
    // Short header chunk, short colour map, BODY with no header before it.
    Bytes shortHeader;
    Chunk(shortHeader, "BMHD", {0, 4, 0, 4});
    EXPECT_EQ(RunReader(ReadIff, Form("ILBM", shortHeader))->rc, kBadHeader);
    Bytes shortCmap;
    Chunk(shortCmap, "BMHD", Bmhd(4, 4, 1));
    shortCmap.insert(shortCmap.end(), {'C', 'M', 'A', 'P', 0, 0, 0, 48, 1, 2, 3});
    EXPECT_EQ(RunReader(ReadIff, Form("ILBM", shortCmap))->rc, kReadError);
    Bytes bodyFirst;
    Chunk(bodyFirst, "BODY", {0, 0});
    EXPECT_EQ(RunReader(ReadIff, Form("ILBM", bodyFirst))->rc, kBadHeader);
    // Sizes the loader refuses.
    EXPECT_EQ(RunReader(ReadIff, Ilbm(Bmhd(0, 4, 1), {}))->rc, kNoMemory);
    EXPECT_EQ(RunReader(ReadIff, Ilbm(Bmhd(40000, 4, 1), {}))->rc, kNoMemory);
}

TEST(Iff, ShortBodyRepeatsTheLastRow) {
    const auto run = RunReader(ReadIff, Ilbm(Bmhd(16, 3, 1), {0x12, 0x34}));
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->img.row(2)[0], 0x12);
    EXPECT_EQ(run->img.row(2)[1], 0x34);
}

// The public samples: all load; those without a special Amiga colour mode match ilbmtoppm.
// Hold-and-modify and extra half-brite pictures are shown as their plain palette indices, so
// they differ from ilbmtoppm's reading by design.
TEST(Iff, PublicSamples) {
    const std::set<std::string> specialModes = {"clipper.iff",    "fashion.iff", "glass.iff",
                                                "porsche930.iff", "room.iff",    "rt64.iff",
                                                "tng.iff",        "tos.iff"};
    int loaded = 0, compared = 0;
    for (const char* folder : {"iff", "lbm"}) {
        for (const auto& path : SampleFiles(folder, std::string(".") + folder)) {
            SCOPED_TRACE(path.string());
            const auto load = testsupport::LoadFile(path.string());
            EXPECT_TRUE(IsLoaderCode(load.rc)) << load.rc;
            EXPECT_EQ(load.rc, 0);
            if (load.rc != 0) continue;
            ++loaded;
            if (specialModes.count(path.filename().string()) || !oracle::ToolAvailable("ilbmtoppm"))
                continue;
            const auto want =
                oracle::FirstPicture("ilbmtoppm " + oracle::ShellQuote(path.string()));
            if (want.width == 0) continue;
            EXPECT_EQ(ComparePictures(load.picture, want), "");
            ++compared;
        }
    }
    if (loaded == 0) GTEST_SKIP() << "no public test pictures at " << TestData();
    EXPECT_GT(compared, 0);
}

}  // namespace
