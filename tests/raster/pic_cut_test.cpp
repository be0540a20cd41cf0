// The PC Paint and Dr. Halo readers on hand-made files (no tool at hand writes either), the
// Dr. Halo palette file beside the picture, and Dr. Halo against ImageMagick.
#include <filesystem>
#include <optional>
#include <tuple>

#include "raster_support.h"

namespace raster_test {
namespace {

// A block of PC Paint run-length data with the marker 0xF7: marker, count, value is a run (a
// count of 0 is followed by a 16-bit count); any other byte stands for itself.
struct PicBlock {
    uint16_t unpacked;
    Bytes data;
    int sizeAdjust = 0;  // added to the true block size
};

// A PC Paint file, built field by field.
struct Pic {
    uint16_t magic = 0x1234, width, height;
    uint8_t planeByte, videoMode = 0;
    Bytes palette;
    std::vector<PicBlock> blocks;
    std::optional<uint16_t> blockCount;

    Pic(uint16_t w, uint16_t h, uint8_t plane, std::vector<PicBlock> data = {})
        : width(w), height(h), planeByte(plane), blocks(std::move(data)) {}

    Bytes bytes() const {
        Bytes out;
        for (uint16_t v : {magic, width, height, uint16_t{0}, uint16_t{0}})
            PutLe16(out, v);
        out.insert(out.end(), {planeByte, 0xFF, videoMode});
        PutLe16(out, palette.empty() ? 0 : 1);
        PutLe16(out, static_cast<uint32_t>(palette.size()));
        Append(out, palette);
        PutLe16(out, blockCount.value_or(static_cast<uint16_t>(blocks.size())));
        for (const PicBlock& b : blocks) {
            PutLe16(out, static_cast<uint32_t>(b.data.size() + 5 + b.sizeAdjust));
            PutLe16(out, b.unpacked);
            out.push_back(0xF7);
            Append(out, b.data);
        }
        return out;
    }
};

std::vector<Case> Cases() {
    const Pic good(2, 1, 0x08, {{2, {1, 2}}});
    // 5 x 3, 256 colours from the bottom up; blocks end in the middle of rows. The marker byte
    // itself is a run of one.
    Pic vga(5, 3, 0x08,
            {{4, {1, 2, 3, 4}}, {4, {5, 9, 9, 9}}, {4, {0xF7, 4, 9}}, {3, {0xF7, 1, 0xF7, 8, 7}}});
    vga.videoMode = 'L';
    for (int i = 0; i < 768; ++i)
        vga.palette.push_back(static_cast<uint8_t>(i % 64));
    // One run far longer than any buffer, with a 16-bit count, fills every row up to the top;
    // a run longer than the whole picture ends with it.
    const Pic longRun(200, 100, 0x08, {{20000, {0xF7, 0, 0x20, 0x4E, 0x33}}});
    const Pic overRun(3, 2, 0x08, {{65535, {0xF7, 0, 0xFF, 0xFF, 0x44, 1, 2, 3}}});
    // A block whose size says it is longer than its data: the next block is found where the
    // size says. A block that unpacks to less than it claims hands on what it had. A size
    // below the block's own header would return to the same block: the data ends.
    const Pic skip(4, 2, 0x08, {{4, {1, 2, 3, 4, 0xEE, 0xEE}}, {4, {5, 6, 7, 8}}});
    const Pic shortBlock(4, 1, 0x08, {{4, {1, 2}}});
    Pic loop(4, 2, 0x08, {{4, {1, 2, 3, 4}, -6}});
    loop.blockCount = 65535;
    // EGA colour codes: entry i is code i * 4 + 1 (strong blue, plus the other bits).
    // 8 x 2 in four planes stored one after another: file row r, pixel x has colour x + 8 r.
    Pic ega(8, 2, 0x31, {{3, {0x55, 0x55, 0x33}}, {3, {0x33, 0x0F, 0x0F}}, {2, {0x00, 0xFF}}});
    for (int i = 0; i < 16; ++i)
        ega.palette.push_back(static_cast<uint8_t>(i * 4 + 1));
    Pic mono(10, 1, 0x01, {{2, {0b10000000, 0b01000000}}}), cga(5, 1, 0x02, {{2, {0x1B, 0x80}}});
    mono.palette = {9, 9, 9};                // not used: one-bit pictures are black and white
    cga.palette = {0x09, 0x12, 0x04, 0x24};  // two bits in one plane, four EGA codes
    std::vector<Case> rows = {
        Refused("short header", Head(good.bytes(), 16), kBadHeader),
        Refused("magic", With(good, [](Pic& p) { p.magic = 0x3412; }), kBadHeader),
        Refused("no width", With(good, [](Pic& p) { p.width = 0; }), kBadHeader),
        Refused("no blocks", With(good, [](Pic& p) { p.blockCount = 0; }), kReadError),
        Refused("second block header missing",
                With(good, [](Pic& p) { p.height = 2, p.blockCount = 2; }), kBadHeader),
        // 6-bit palette levels times 4: entry 1 holds levels 3, 4, 5.
        Case("VGA", vga.bytes(), 8, {{9, 9, 0xF7, 8, 7}, {9, 9, 9, 9, 9}, {1, 2, 3, 4, 5}},
             {{0, 2, {12, 16, 20}}}),
        Case("16-bit run", longRun.bytes(), 8, {std::vector<int>(200, 0x33)}),
        Case("run past the picture", overRun.bytes(), 8, {{0x44, 0x44, 0x44}, {0x44, 0x44, 0x44}}),
        Case("block sizes place blocks", skip.bytes(), 8, {{5, 6, 7, 8}, {1, 2, 3, 4}}),
        Case("short block", shortBlock.bytes(), 8, {{1, 2, 0, 0}}),
        Case("block size loops", loop.bytes(), 8, {{0, 0, 0, 0}, {0, 0, 0, 0}}),
        // Code 1: blue 128. Code 61 (entry 15): red 128 + 64, green 64, blue 128 + 64.
        Case("EGA planes", ega.bytes(), 4,
             {{8, 9, 10, 11, 12, 13, 14, 15}, {0, 1, 2, 3, 4, 5, 6, 7}},
             {{0, 1, {0, 0, 128}}, {7, 0, {192, 64, 192}}}),
        // The same palette on a mode "M" picture is read as 6-bit levels instead.
        Case("mode M", With(ega, [](Pic& p) { p.videoMode = 'M'; }), 4, {}, {{0, 1, {4, 20, 36}}}),
        Case("one bit", mono.bytes(), 1, {},
             {{0, 0, {255, 255, 255}}, {1, 0, {0, 0, 0}}, {9, 0, {255, 255, 255}}}),
        Case("two bits", cga.bytes(), 4, {{0, 1, 2, 3, 2}},
             {{0, 0, {0, 0, 192}}, {1, 0, {0, 192, 0}}, {2, 0, {128, 0, 0}}, {3, 0, {192, 0, 0}}}),
    };
    // Bit counts of 0 and above 8, and plane layouts without a meaning.
    for (uint8_t plane : {0x00, 0x10, 0x18, 0x33, 0xF1, 0x22, 0x41, 0x14})
        rows.push_back(Refused("plane byte " + std::to_string(plane),
                               With(good, [&](Pic& p) { p.planeByte = plane; }), kUnsupported));
    return rows;
}

TEST(Pic, HandMadeFiles) {
    CheckCases(ReadPic, Cases());
    // The loader finds the reader by the extension, in capitals too.
    TempDir dir;
    WriteBytes(dir.path("PAINT.PIC"), Pic(2, 1, 0x08, {{2, {1, 2}}}).bytes());
    const auto load = LoadFile(dir.path("PAINT.PIC"));
    EXPECT_EQ(load.rc, 0);
    EXPECT_EQ(load.format, "pic");
}

// Dr. Halo: one row, runs of three or more as 0x80 | n, value, every other byte as a literal
// packet of one; a 0 at the end.
Bytes EncodeCutRow(const Bytes& row) {
    Bytes out;
    for (size_t i = 0, n = 1; i < row.size(); i += n, n = 1) {
        while (i + n < row.size() && row[i + n] == row[i] && n < 127)
            ++n;
        if (n >= 3)
            out.insert(out.end(), {static_cast<uint8_t>(0x80 | n), row[i]});
        else
            for (size_t k = 0; k < n; ++k)
                out.insert(out.end(), {1, row[i]});
    }
    out.push_back(0);
    return out;
}

Bytes Cut(uint16_t width, uint16_t height, const std::vector<Bytes>& encodedRows) {
    Bytes out;
    for (uint16_t v : {width, height, uint16_t{0}})
        PutLe16(out, v);
    for (const Bytes& r : encodedRows) {
        PutLe16(out, static_cast<uint32_t>(r.size()));
        Append(out, r);
    }
    return out;
}

// A Dr. Halo palette file: a 40-byte header ("AH", version, size, file type 0x0A, then the
// largest index and levels), then entries of three words in 512-byte blocks that never split
// an entry.
Bytes HaloPalette(const std::vector<Rgb>& colours) {
    Bytes out = {'A', 'H', 0x0A, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0, 255, 0, 255, 0, 255, 0, 255, 0};
    out.resize(40, 0);
    for (const Rgb& c : colours) {
        if (512 - out.size() % 512 < 6) out.resize((out.size() / 512 + 1) * 512, 0);
        for (uint8_t v : c)
            PutLe16(out, v);
    }
    return out;
}

TEST(Cut, RowsAndTheirByteCounts) {
    // Packets that overrun the row are cut, bytes after a row's end are skipped by its count,
    // a row may end early at a 0 byte, and a literal count may run past the file's end.
    // Without a palette file index 1 is white and every other index black.
    const std::vector<Case> cases = {
        Case("junk after rows",
             Cut(4, 3,
                 {{0x86, 7, 0xFF, 0xFF},           // a run of six cut at four, then junk
                  {0x02, 8, 9, 0x00, 0x85, 0x55},  // two literals, end, junk
                  {0x03, 1, 2, 3, 0x00, 4, 5}}),   // three literals, end, junk
             8, {{7, 7, 7, 7}, {8, 9, 0, 0}, {1, 2, 3, 0}}),
        Case("literals past the end", Cut(4, 3, {{0x7F, 1, 2}}), 8, {{1, 2, 0, 0}, {0, 0, 0, 0}}),
        Case("no palette file", Cut(3, 1, {{0x03, 0, 1, 2, 0}}), 8, {},
             {{0, 0, {0, 0, 0}}, {1, 0, {255, 255, 255}}, {2, 0, {0, 0, 0}}}),
        Refused("short header", {4, 0, 1, 0, 0}, kBadHeader),
        Refused("no width", Cut(0, 3, {}), kBadHeader),
        Refused("too wide", Cut(40000, 3, {}), kNoMemory),
    };
    CheckCases(ReadCut, cases);
}

// The palette file is the picture's name with the extension replaced (only the file name's: the
// folder's name has a dot), in capitals for a name in capitals, before the name in the other
// case. A short file colours what it holds; one that is empty, a folder or shorter than its
// header colours nothing.
TEST(Cut, PaletteFileBesideThePicture) {
    TempDir dir;
    const std::string folder = dir.path("pictures.v2") + "/";
    const std::vector<Rgb> colours = Colours(256, 11);
    const Bytes row = {0, 77, 78, 84, 85, 255};
    // Picture, palette file (a folder when it ends in '/'), its bytes, and the indexes below
    // which the colours come from the file (the rest are black).
    using Row = std::tuple<std::string, std::string, Bytes, int>;
    for (const auto& [picture, palette, bytes, coloured] :
         std::vector<Row>{{"scan.cut", "scan.pal", HaloPalette(colours), 256},
                          {"LOUD.CUT", "LOUD.PAL", HaloPalette(colours), 256},
                          {"scan.cut", "scan.pal", HaloPalette({&colours[0], &colours[80]}), 80},
                          {"scan.cut", "scan.pal", Bytes(39, 0xFF), 0},
                          {"scan.cut", "scan.pal", {}, 0},
                          {"scan.cut", "scan.pal/", {}, 0}}) {
        SCOPED_TRACE(palette + ", " + std::to_string(bytes.size()) + " bytes");
        std::filesystem::remove_all(dir.dir);
        std::filesystem::create_directories(folder);
        WriteBytes(folder + picture, Cut(6, 1, {EncodeCutRow(row)}));
        WriteBytes(folder + palette.substr(0, 5) + (palette[5] == 'p' ? "PAL" : "pal"),
                   Bytes(39, 0xFF));
        if (palette.back() == '/')
            std::filesystem::create_directory(folder + palette);
        else
            WriteBytes(folder + palette, bytes);
        const auto load = LoadFile(folder + picture);
        ASSERT_EQ(load.rc, 0);
        for (int x = 0; x < 6; ++x) {
            const uint8_t* p = load.picture.pixel(x, 0);
            EXPECT_EQ((Rgb{p[0], p[1], p[2]}), row[x] < coloured ? colours[row[x]] : Rgb{}) << x;
        }
    }
}

// Random pictures with their palette file, against ImageMagick's Dr. Halo reader.
TEST(Cut, MatchesImageMagick) {
    if (!oracle::ToolAvailable("convert")) GTEST_SKIP() << "ImageMagick is not installed";
    TempDir dir;
    const std::string path = dir.path("halo.cut");
    for (auto [w, h] : {std::pair{37, 11}, {300, 4}, {1, 1}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        const auto picture = MakePicture(w, h, Greys(256), static_cast<uint32_t>(w));
        std::vector<Bytes> rows;
        for (int y = 0; y < h; ++y) {
            Bytes row;
            for (int x = 0; x < w; ++x)
                row.push_back(x < w / 3 ? 17 : picture.pixel(x, y)[0]);  // runs and literals
            rows.push_back(EncodeCutRow(row));
        }
        WriteBytes(path, Cut(static_cast<uint16_t>(w), static_cast<uint16_t>(h), rows));
        WriteBytes(dir.path("halo.pal"), HaloPalette(Colours(256, w)));
        const auto load = LoadFile(path);
        ASSERT_EQ(load.rc, 0);
        EXPECT_EQ(ComparePictures(load.picture, oracle::ImageMagickUpright(path)), "");
    }
}

}  // namespace
}  // namespace raster_test
