// The IFF reader: ByteRun1, the mask plane and the chunk walk on hand-made files; the public
// Amiga and PC samples compared with ilbmtoppm (plane layouts ppmtoilbm writes are in the
// decoders' oracle table).
#include <gtest/gtest.h>

#include <string>

#include "legacy/reader_cases.h"
#include "support/oracle.h"
#include "support/picture.h"
#include "support/testdata.h"

namespace legacy_test {
namespace {

using namespace decode;
using testsupport::Cat;
using testsupport::PutBe;

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

Bytes Chunks(const std::vector<std::pair<const char*, Bytes>>& chunks) {
    Bytes out;
    for (const auto& [id, data] : chunks)
        Chunk(out, id, data);
    return out;
}

TEST(Iff, HandMadeFiles) {
    const Bytes header = Chunks({{"BMHD", Bmhd(4, 4, 1)}});
    Bytes cmap(768, 0);
    cmap[3 * 5] = 10, cmap[3 * 5 + 1] = 20, cmap[3 * 5 + 2] = 30;
    Bytes longChunk = header;
    Chunk(longChunk, "JUNK", {1, 2}, 0x7FFFFFF0);
    Chunk(longChunk, "BODY", {0, 0});
    const Case cases[] = {
        // A mask plane after the colour planes of each row is skipped.
        Row("mask plane", ReadIff,
            Ilbm(Bmhd(8, 2, 3, 0, 1),
                 Planar({{1, 2, 3, 4, 5, 6, 7, 0}, {7, 6, 5, 4, 3, 2, 1, 0}}, 3, 1)),
            4, {{0, {0x12, 0x34, 0x56, 0x70}}, {1, {0x76, 0x54, 0x32, 0x10}}}),
        // ByteRun1, width 16: 255 repeats twice, 128 is nothing, a literal is cut at the row's
        // end and its rest read as the next code (0xFE starts row 3: 77 77 77 cut to 77 77).
        Row("byterun1", ReadIff,
            Ilbm(Bmhd(16, 4, 1, 1),
                 {0xFF, 0xA5, 0x80, 0x01, 0x3C, 0xC3, 0x02, 0x11, 0x22, 0xFE, 0x77}),
            1, {{0, {0xA5, 0xA5}}, {1, {0x3C, 0xC3}}, {2, {0x11, 0x22}}, {3, {0x77, 0x77}}}),
        // Any other form type is one byte a pixel; rows are padded to an even length.
        Row("chunky", ReadIff,
            Form("PBM ", Chunks({{"BMHD", Bmhd(3, 2, 8)},
                                 {"CMAP", cmap},
                                 {"BODY", {1, 5, 9, 0, 2, 6, 10, 0}}})),
            8, {{0, {1, 5, 9}}, {1, {2, 6, 10}}}, {{1, 0, {10, 20, 30}}}),
        // A short colour map clears the rest of the palette.
        Row("short colour map", ReadIff, Ilbm(Bmhd(2, 1, 1), {0x40, 0}, {1, 2, 3, 4, 5, 6}), 1, {},
            {{1, 0, {4, 5, 6}}}),
        Row("short body repeats the last row", ReadIff, Ilbm(Bmhd(16, 3, 1), {0x12, 0x34}), 1,
            {{2, {0x12, 0x34}}}),
        Row("not a group", ReadIff, Form("ILBM", {}, "RIFF"), kBadHeader),
        Row("short", ReadIff, {'F', 'O'}, kBadHeader),
        // LIST and CAT groups are accepted; without a BODY there is no bitmap.
        Row("no body", ReadIff, Form("ILBM", header), kNoBitmap),
        Row("no body in a LIST", ReadIff, Form("ILBM", header, "LIST"), kNoBitmap),
        Row("no body in a CAT", ReadIff, Form("ILBM", header, "CAT "), kNoBitmap),
        Row("a chunk past the end", ReadIff, Form("ILBM", longChunk), kNoBitmap),
        // Plane counts: none, and more than a 24-bit pixel holds, are not supported.
        Row("0 planes", ReadIff, Ilbm(Bmhd(4, 4, 0), {}), kUnsupported),
        Row("25 planes", ReadIff, Ilbm(Bmhd(4, 4, 25), {}), kUnsupported),
        Row("short header chunk", ReadIff, Form("ILBM", Chunks({{"BMHD", {0, 4, 0, 4}}})),
            kBadHeader),
        Row("short colour map", ReadIff,
            Form("ILBM", Cat(header, {'C', 'M', 'A', 'P', 0, 0, 0, 48, 1, 2, 3})), kReadError),
        Row("body before the header", ReadIff, Form("ILBM", Chunks({{"BODY", {0, 0}}})),
            kBadHeader),
        Row("no width", ReadIff, Ilbm(Bmhd(0, 4, 1), {}), kNoMemory),
        Row("too wide", ReadIff, Ilbm(Bmhd(40000, 4, 1), {}), kNoMemory),
    };
    for (const Case& c : cases)
        Check(c);
}

// The public samples, hold-and-modify and extra half-brite pictures among them, all load and
// match ilbmtoppm's reading.
TEST(Iff, PublicSamples) {
    int loaded = 0, compared = 0;
    for (const char* folder : {"iff", "lbm"}) {
        for (const auto& path : testsupport::SampleFiles(folder, std::string(".") + folder)) {
            SCOPED_TRACE(path.string());
            const auto load = testsupport::LoadFile(path.string());
            ASSERT_EQ(load.rc, 0);
            ++loaded;
            if (!oracle::ToolAvailable("ilbmtoppm")) continue;
            const auto want =
                oracle::FirstPicture("ilbmtoppm " + oracle::ShellQuote(path.string()));
            if (want.width == 0) continue;
            EXPECT_EQ(testsupport::ComparePictures(load.picture, want), "");
            ++compared;
        }
    }
    if (loaded == 0) GTEST_SKIP() << "no public test pictures at " << testsupport::TestData();
    EXPECT_GT(compared, 0);
}

}  // namespace
}  // namespace legacy_test
