// The PC Paint and Dr. Halo readers, from hand-made files (no tool at hand writes either):
// every plane layout, palette rule and run form, the block and row bookkeeping, and the Dr. Halo
// palette file beside the picture, hostile ones included.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "decode/loader_error.h"
#include "decode/readers.h"
#include "support/bytes.h"
#include "support/oracle.h"
#include "support/picture.h"
#include "support/testdata.h"

namespace {

using namespace decode;
using namespace testsupport;
using testsupport::RunReader;

// PC Paint run-length coding: runs of four or more, and every byte equal to the marker, go out
// as marker, count, value (count 0 and a 16-bit count for long runs).
Bytes EncodePic(const Bytes& raw, uint8_t marker) {
    Bytes out;
    for (size_t i = 0; i < raw.size();) {
        size_t n = 1;
        while (i + n < raw.size() && raw[i + n] == raw[i] && n < 65535)
            ++n;
        if (n >= 4 || raw[i] == marker) {
            out.push_back(marker);
            if (n <= 255) {
                out.push_back(static_cast<uint8_t>(n));
            } else {
                out.push_back(0);
                PutLe16(out, static_cast<uint32_t>(n));
            }
            out.push_back(raw[i]);
            i += n;
        } else {
            out.push_back(raw[i++]);
        }
    }
    return out;
}

struct PicBlock {
    uint8_t marker;
    uint16_t unpacked;
    Bytes data;
    int sizeAdjust = 0;  // added to the true block size
};

// A PC Paint file, built field by field.
struct Pic {
    uint16_t magic = 0x1234;
    uint16_t width, height;
    uint8_t planeByte;
    uint8_t videoMode = 0;
    Bytes palette;
    std::vector<PicBlock> blocks;
    std::optional<uint16_t> blockCount;

    Pic(uint16_t w, uint16_t h, uint8_t plane) : width(w), height(h), planeByte(plane) {}
    // Splits the decoded bytes into blocks of at most `perBlock` bytes each.
    Pic& data(const Bytes& raw, size_t perBlock = 8192, uint8_t marker = 0xF7) {
        for (size_t i = 0; i < raw.size(); i += perBlock) {
            const Bytes part(raw.begin() + i, raw.begin() + std::min(raw.size(), i + perBlock));
            blocks.push_back({marker, static_cast<uint16_t>(part.size()), EncodePic(part, marker)});
        }
        return *this;
    }

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
            out.push_back(b.marker);
            Append(out, b.data);
        }
        return out;
    }
};

TEST(Pic, RejectsWhatIsNotAPicture) {
    Pic good(2, 1, 0x08);
    good.data({1, 2});
    EXPECT_EQ(RunReader(ReadPic, good.bytes())->rc, 0);

    Bytes shortHeader = good.bytes();
    shortHeader.resize(16);
    EXPECT_EQ(RunReader(ReadPic, shortHeader)->rc, kBadHeader);
    Pic magic = good;
    magic.magic = 0x3412;
    EXPECT_EQ(RunReader(ReadPic, magic.bytes())->rc, kBadHeader);

    // Bit counts of 0 and above 8, and plane layouts without a meaning.
    for (uint8_t plane : {0x00, 0x10, 0x18, 0x33, 0xF1, 0x22, 0x41, 0x14}) {
        Pic odd = good;
        odd.planeByte = plane;
        EXPECT_EQ(RunReader(ReadPic, odd.bytes())->rc, kUnsupported) << int(plane);
    }
    Pic empty = good;
    empty.width = 0;
    EXPECT_EQ(RunReader(ReadPic, empty.bytes())->rc, kBadHeader);

    Pic noBlocks = good;
    noBlocks.blockCount = 0;
    EXPECT_EQ(RunReader(ReadPic, noBlocks.bytes())->rc, kReadError);
    Bytes noCount = good.bytes();
    noCount.resize(17);
    EXPECT_EQ(RunReader(ReadPic, noCount)->rc, kReadError);

    Pic shortBlock = good;
    shortBlock.height = 2;
    shortBlock.blockCount = 2;  // the second block header is missing
    EXPECT_EQ(RunReader(ReadPic, shortBlock.bytes())->rc, kBadHeader);
}

TEST(Pic, VgaPicturesFromTheBottomUp) {
    // 5 x 3, 256 colours: 6-bit palette levels times 4.
    Pic pic(5, 3, 0x08);
    pic.videoMode = 'L';
    for (int i = 0; i < 768; ++i)
        pic.palette.push_back(static_cast<uint8_t>(i % 64));
    const Bytes rows = {1, 2, 3, 4, 5, 9, 9, 9, 9, 9, 9, 9, 0xF7, 8, 7};
    pic.data(rows, 4);  // blocks end in the middle of rows
    auto run = RunReader(ReadPic, pic.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->img.header.biBitCount, 8);
    const int want[3][5] = {{9, 9, 0xF7, 8, 7}, {9, 9, 9, 9, 9}, {1, 2, 3, 4, 5}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(run->index(x, y), want[y][x]) << x << "," << y;
    EXPECT_EQ(run->rgb(0, 2), (Rgb{12, 16, 20}));  // entry 1: levels 3, 4, 5

    // One run far longer than any buffer, with a 16-bit count, fills every row.
    Pic big(200, 100, 0x08);
    big.blocks.push_back({0xF7, 20000, {0xF7, 0, 0x20, 0x4E, 0x33}});
    run = RunReader(ReadPic, big.bytes());
    ASSERT_EQ(run->rc, 0);
    for (int y = 0; y < 100; y += 33)
        EXPECT_EQ(run->index(199 - y, y), 0x33);

    // A run longer than the whole picture ends with it.
    Pic over(3, 2, 0x08);
    over.blocks.push_back({0xF7, 65535, {0xF7, 0, 0xFF, 0xFF, 0x44, 1, 2, 3}});
    run = RunReader(ReadPic, over.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->index(2, 0), 0x44);
}

TEST(Pic, BlockSizesPlaceTheBlocks) {
    // A block whose size says it is longer than its data: the next block is found where the
    // size says, and the bytes between are skipped.
    Pic pic(4, 2, 0x08);
    pic.blocks.push_back({0xF7, 4, {1, 2, 3, 4, 0xEE, 0xEE}});
    pic.blocks.push_back({0xF7, 4, {5, 6, 7, 8}});
    auto run = RunReader(ReadPic, pic.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->index(3, 1), 4);
    EXPECT_EQ(run->index(0, 0), 5);

    // A block that unpacks to fewer bytes than it claims still hands on what it had.
    Pic shortBlock(4, 1, 0x08);
    shortBlock.blocks.push_back({0xF7, 4, {1, 2}});
    run = RunReader(ReadPic, shortBlock.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->index(1, 0), 2);
    EXPECT_EQ(run->index(2, 0), 0);

    // A size below the block's own header would return to the same block: the data ends.
    Pic loop(4, 1, 0x08);
    loop.blocks.push_back({0xF7, 4, {1, 2, 3, 4}, -9});
    loop.blockCount = 65535;
    run = RunReader(ReadPic, loop.bytes());
    ASSERT_EQ(run->rc, 0);
}

TEST(Pic, EgaPlanesAreStoredOneAfterAnother) {
    // 8 x 2, four planes: pixel x of row y has colour (x + y) & 15... as the planes say.
    const int width = 8, height = 2;
    Bytes raw;
    for (int plane = 0; plane < 4; ++plane)
        for (int fileRow = 0; fileRow < height; ++fileRow) {
            uint8_t b = 0;
            for (int x = 0; x < width; ++x)
                if (((x + 8 * fileRow) >> plane) & 1) b |= static_cast<uint8_t>(0x80 >> x);
            raw.push_back(b);
        }
    Pic pic(width, height, 0x31);
    // EGA colour codes: entry i is code i * 4 + 1 (strong blue, plus the other bits).
    for (int i = 0; i < 16; ++i)
        pic.palette.push_back(static_cast<uint8_t>(i * 4 + 1));
    pic.data(raw, 3);
    auto run = RunReader(ReadPic, pic.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->img.header.biBitCount, 4);
    for (int fileRow = 0; fileRow < height; ++fileRow)
        for (int x = 0; x < width; ++x)
            EXPECT_EQ(run->index(x, height - 1 - fileRow), x + 8 * fileRow) << x;
    // Code 0b000001: blue 128. Code 0b111101 (entry 15): red 128+64, green 64, blue 128+64.
    EXPECT_EQ(run->rgb(0, 1), (Rgb{0, 0, 128}));
    EXPECT_EQ(run->img.rgbPalette[15 * 3], 192);
    EXPECT_EQ(run->img.rgbPalette[15 * 3 + 1], 64);
    EXPECT_EQ(run->img.rgbPalette[15 * 3 + 2], 192);

    // The same palette on a mode "M" picture is read as 6-bit levels instead.
    pic.videoMode = 'M';
    run = RunReader(ReadPic, pic.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->img.rgbPalette[0], 4);
    EXPECT_EQ(run->img.rgbPalette[1], 20);
}

TEST(Pic, OneAndTwoBitPictures) {
    Pic mono(10, 1, 0x01);
    mono.palette = {9, 9, 9};  // not used: one-bit pictures are black and white
    mono.data({0b10000000, 0b01000000});
    auto run = RunReader(ReadPic, mono.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->img.header.biBitCount, 1);
    EXPECT_EQ(run->rgb(0, 0), (Rgb{255, 255, 255}));
    EXPECT_EQ(run->rgb(1, 0), (Rgb{0, 0, 0}));
    EXPECT_EQ(run->rgb(9, 0), (Rgb{255, 255, 255}));

    // Two bits a pixel in one plane: four pixels a byte, four EGA-coded colours.
    Pic cga(5, 1, 0x02);
    cga.palette = {0x00, 0x02, 0x04, 0x3F};
    cga.data({0b00011011, 0b10000000});
    run = RunReader(ReadPic, cga.bytes());
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->img.header.biBitCount, 4);
    const int want[5] = {0, 1, 2, 3, 2};
    for (int x = 0; x < 5; ++x)
        EXPECT_EQ(run->index(x, 0), want[x]);
    EXPECT_EQ(run->rgb(1, 0), (Rgb{0, 128, 0}));
    EXPECT_EQ(run->rgb(2, 0), (Rgb{128, 0, 0}));
    EXPECT_EQ(run->rgb(3, 0), (Rgb{192, 192, 192}));
}

TEST(Pic, LoadsThroughItsExtension) {
    Pic pic(2, 1, 0x08);
    pic.videoMode = 'L';
    pic.palette = {63, 0, 0, 0, 63, 0};
    pic.data({0, 1});
    testsupport::TempDir dir;
    testsupport::WriteBytes(dir.path("PAINT.PIC"), pic.bytes());
    const auto load = testsupport::LoadFile(dir.path("PAINT.PIC"));
    ASSERT_EQ(load.rc, 0);
    EXPECT_EQ(load.format, "pic");
    EXPECT_EQ(load.picture.pixel(0, 0)[0], 252);
    EXPECT_EQ(load.picture.pixel(1, 0)[1], 252);
}

// ---------------------------------------------------------------------------------------------
// Dr. Halo

// One row: runs of three or more as 0x80 | n, value; the rest as n, literals; a 0 at the end.
Bytes EncodeCutRow(const Bytes& row) {
    Bytes out;
    for (size_t i = 0; i < row.size();) {
        size_t n = 1;
        while (i + n < row.size() && row[i + n] == row[i] && n < 127)
            ++n;
        if (n >= 3) {
            out.push_back(static_cast<uint8_t>(0x80 | n));
            out.push_back(row[i]);
            i += n;
            continue;
        }
        size_t lit = 0;
        while (i + lit < row.size() && lit < 127 &&
               !(i + lit + 2 < row.size() && row[i + lit] == row[i + lit + 1] &&
                 row[i + lit] == row[i + lit + 2]))
            ++lit;
        out.push_back(static_cast<uint8_t>(lit));
        out.insert(out.end(), row.begin() + i, row.begin() + i + lit);
        i += lit;
    }
    out.push_back(0);
    return out;
}

Bytes Cut(uint16_t width, uint16_t height, const std::vector<Bytes>& encodedRows) {
    Bytes out;
    PutLe16(out, width);
    PutLe16(out, height);
    PutLe16(out, 0);
    for (const Bytes& r : encodedRows) {
        PutLe16(out, static_cast<uint32_t>(r.size()));
        Append(out, r);
    }
    return out;
}

// A Dr. Halo palette file: a 40-byte header, then entries of three words in 512-byte blocks
// that never split an entry.
Bytes HaloPalette(const std::vector<Rgb>& colours) {
    // "AH", version, size, file type 0x0A (palette), sub-type, board, mode, then the largest
    // index and the largest red, green and blue levels, then a 20-byte name.
    Bytes out = {'A', 'H'};
    for (uint32_t v : {0x0Au, 0u})
        PutLe16(out, v);
    out.insert(out.end(), {0x0A, 0});
    for (uint32_t v : {0u, 0u, 255u, 255u, 255u, 255u})
        PutLe16(out, v);
    out.resize(40, 0);
    for (const Rgb& c : colours) {
        if (512 - out.size() % 512 < 6) out.resize((out.size() / 512 + 1) * 512, 0);
        for (uint8_t v : c)
            PutLe16(out, v);
    }
    return out;
}

TEST(Cut, RowsAndTheirByteCounts) {
    const std::vector<Bytes> rows = {{1, 1, 1, 1, 2, 3}, {4, 5, 6, 6, 6, 6}, {0, 0, 0, 0, 0, 1}};
    std::vector<Bytes> encoded;
    for (const Bytes& r : rows)
        encoded.push_back(EncodeCutRow(r));
    testsupport::TempDir dir;
    const std::string path = dir.path("plain.cut");
    testsupport::WriteBytes(path, Cut(6, 3, encoded));
    auto load = testsupport::LoadFile(path);
    ASSERT_EQ(load.rc, 0);
    EXPECT_EQ(load.format, "cut");
    EXPECT_EQ(load.pixelBits, 8);

    // Without a palette file index 1 is white and every other index black.
    auto run = RunReader(ReadCut, testsupport::ReadBytes(path));
    ASSERT_EQ(run->rc, 0);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 6; ++x) {
            EXPECT_EQ(run->index(x, y), rows[y][x]);
            const uint8_t* p = load.picture.pixel(x, y);
            EXPECT_EQ(p[0], rows[y][x] == 1 ? 255 : 0);
        }

    // Packets that overrun the row are cut, bytes after a row's end are skipped by its count,
    // and a row may end early at a 0 byte.
    const Bytes messy = Cut(4, 3,
                            {{0x86, 7, 0xFF, 0xFF},           // a run of six cut at four, then junk
                             {0x02, 8, 9, 0x00, 0x85, 0x55},  // two literals, end, junk
                             {0x03, 1, 2, 3, 0x00, 4, 5}});   // three literals, end, junk
    run = RunReader(ReadCut, messy);
    ASSERT_EQ(run->rc, 0);
    const int want[3][4] = {{7, 7, 7, 7}, {8, 9, 0, 0}, {1, 2, 3, 0}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(run->index(x, y), want[y][x]) << x << "," << y;

    // A literal count past the end of the file, and rows the file does not reach.
    run = RunReader(ReadCut, Cut(4, 3, {{0x7F, 1, 2}}));
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->index(1, 0), 2);
    EXPECT_EQ(run->index(2, 0), 0);

    EXPECT_EQ(RunReader(ReadCut, {4, 0, 1, 0, 0})->rc, kBadHeader);
    EXPECT_EQ(RunReader(ReadCut, Cut(0, 3, {}))->rc, kBadHeader);
    EXPECT_EQ(RunReader(ReadCut, Cut(40000, 3, {}))->rc, kNoMemory);
}

TEST(Cut, PaletteFileBesideThePicture) {
    testsupport::TempDir dir;
    // The folder's name has a dot: only the file name's extension is replaced.
    const std::string folder = dir.path("pictures.v2");
    std::filesystem::create_directory(folder);
    const std::vector<Rgb> colours = Colours(256, 11);
    const Bytes row = {0, 77, 78, 84, 85, 255};
    testsupport::WriteBytes(folder + "/scan.cut", Cut(6, 1, {EncodeCutRow(row)}));
    testsupport::WriteBytes(folder + "/scan.pal", HaloPalette(colours));
    const auto load = testsupport::LoadFile(folder + "/scan.cut");
    ASSERT_EQ(load.rc, 0);
    for (int x = 0; x < 6; ++x) {
        const uint8_t* p = load.picture.pixel(x, 0);
        EXPECT_EQ((Rgb{p[0], p[1], p[2]}), colours[row[x]]) << "index " << int(row[x]);
    }

    // Names in capitals find a palette file in capitals.
    testsupport::WriteBytes(folder + "/LOUD.CUT", Cut(6, 1, {EncodeCutRow(row)}));
    testsupport::WriteBytes(folder + "/LOUD.PAL", HaloPalette(colours));
    const auto loud = testsupport::LoadFile(folder + "/LOUD.CUT");
    ASSERT_EQ(loud.rc, 0);
    EXPECT_EQ(loud.picture.pixel(5, 0)[0], colours[255][0]);

    // A short palette file colours what it holds; the rest stays black.
    const std::vector<Rgb> few(colours.begin(), colours.begin() + 80);
    testsupport::WriteBytes(folder + "/scan.pal", HaloPalette(few));
    auto run = std::make_unique<testsupport::ReaderRun>();
    run->img.sourcePath = folder + "/scan.cut";
    {
        const Bytes bytes = testsupport::ReadBytes(folder + "/scan.cut");
        ByteReader in(bytes);
        run->rc = ReadCut(run->img, in, LoadOptions{});
    }
    ASSERT_EQ(run->rc, 0);
    EXPECT_EQ(run->rgb(2, 0), colours[78]);
    EXPECT_EQ(run->rgb(4, 0), (Rgb{0, 0, 0}));

    // Palette files that are empty, a folder, or shorter than their header are safe.
    for (const std::string kind : {"empty", "folder", "header"}) {
        std::filesystem::remove_all(folder + "/scan.pal");
        if (kind == "empty") testsupport::WriteBytes(folder + "/scan.pal", {});
        if (kind == "folder") std::filesystem::create_directory(folder + "/scan.pal");
        if (kind == "header") testsupport::WriteBytes(folder + "/scan.pal", Bytes(39, 0xFF));
        const auto hostile = testsupport::LoadFile(folder + "/scan.cut");
        ASSERT_EQ(hostile.rc, 0) << kind;
        EXPECT_EQ(hostile.picture.pixel(1, 0)[0], 0) << kind;
    }
}

// Random pictures with and without their palette file, against ImageMagick's Dr. Halo reader
// (which shows the indexes as grey levels when there is no palette file).
TEST(Cut, MatchesImageMagick) {
    if (!oracle::ToolAvailable("convert")) GTEST_SKIP() << "ImageMagick is not installed";
    testsupport::TempDir dir;
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
        const std::string path = dir.path("halo.cut");
        testsupport::WriteBytes(path,
                                Cut(static_cast<uint16_t>(w), static_cast<uint16_t>(h), rows));
        std::filesystem::remove(dir.path("halo.pal"));
        auto run = std::make_unique<testsupport::ReaderRun>();
        const Bytes bytes = testsupport::ReadBytes(path);
        ByteReader in(bytes);
        run->rc = ReadCut(run->img, in, LoadOptions{});
        ASSERT_EQ(run->rc, 0);
        const auto grey = oracle::ImageMagickUpright(path);
        ASSERT_EQ(grey.width, w);
        ASSERT_EQ(grey.height, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                ASSERT_EQ(run->index(x, y), grey.pixel(x, y)[0]) << x << "," << y;

        testsupport::WriteBytes(dir.path("halo.pal"), HaloPalette(Colours(256, w)));
        const auto load = testsupport::LoadFile(path);
        ASSERT_EQ(load.rc, 0);
        EXPECT_EQ(testsupport::ComparePictures(load.picture, oracle::ImageMagickUpright(path)), "");
    }
}

}  // namespace
