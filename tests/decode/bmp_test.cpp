// The bitmap reader: edge cases from files built byte by byte here, and every bitmap of the
// public test set compared with ImageMagick's decode.
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "decode/loader_error.h"
#include "decode/readers.h"
#include "support/oracle.h"
#include "support/picture.h"
#include "support/testdata.h"

namespace {

using namespace decode;
namespace fs = std::filesystem;
using testsupport::Bytes;
using testsupport::Rgb;

using testsupport::PutLe16;
void Put32(Bytes& v, uint32_t x) {
    testsupport::PutLe(v, x, 4);
}
// Little-endian pixel words, rows padded to four bytes.
Bytes Words16(std::initializer_list<uint16_t> values) {
    Bytes v;
    for (uint16_t p : values)
        PutLe16(v, p);
    v.resize((v.size() + 3) / 4 * 4);
    return v;
}
Bytes Words32(std::initializer_list<uint32_t> values) {
    Bytes v;
    for (uint32_t p : values)
        Put32(v, p);
    return v;
}

// A bitmap file, built field by field.
class Bmp {
  public:
    Bmp(uint16_t bits, int32_t width, int32_t height) : bits_(bits), w_(width), h_(height) {}
    Bmp& header(uint32_t size) { return headerSize_ = size, *this; }
    Bmp& compression(uint32_t c, std::vector<uint32_t> masks = {}) {
        compression_ = c;
        masks_ = std::move(masks);
        return *this;
    }
    Bmp& used(uint32_t n) { return clrUsed_ = n, *this; }
    Bmp& table(std::vector<Rgb> t) { return table_ = std::move(t), *this; }
    Bmp& gap(Bytes g) { return gap_ = std::move(g), *this; }
    Bmp& data(Bytes d) { return data_ = std::move(d), *this; }
    Bmp& offBits(uint32_t o) { return offBits_ = o, *this; }

    Bytes bytes() const {
        Bytes out = {'B', 'M'};
        for (int i = 0; i < 3; ++i)
            Put32(out, 0);  // size, reserved, offset (patched)
        if (headerSize_ == 12) {
            for (uint32_t v : {12u, uint32_t(w_) | uint32_t(h_) << 16, 1u | bits_ << 16u})
                Put32(out, v);
        } else {
            Bytes h;
            for (uint32_t v : {headerSize_, uint32_t(w_), uint32_t(h_), 1u | bits_ << 16u,
                               compression_, 0u, 0u, 0u, clrUsed_, 0u})
                Put32(h, v);
            if (headerSize_ > 40)
                for (uint32_t m : masks_)
                    Put32(h, m);
            h.resize(headerSize_, 0);
            out.insert(out.end(), h.begin(), h.end());
            if (headerSize_ == 40)
                for (uint32_t m : masks_)
                    Put32(out, m);
        }
        for (const Rgb& c : table_) {
            out.insert(out.end(), {c[2], c[1], c[0]});
            if (headerSize_ != 12) out.push_back(0);
        }
        out.insert(out.end(), gap_.begin(), gap_.end());
        const uint32_t off = offBits_.value_or(static_cast<uint32_t>(out.size()));
        for (int i = 0; i < 4; ++i)
            out[10 + i] = (off >> (8 * i)) & 0xFF;
        out.insert(out.end(), data_.begin(), data_.end());
        return out;
    }

  private:
    uint16_t bits_;
    int32_t w_, h_;
    uint32_t headerSize_ = 40, compression_ = BI_RGB, clrUsed_ = 0;
    std::vector<uint32_t> masks_;
    std::vector<Rgb> table_;
    Bytes gap_, data_;
    std::optional<uint32_t> offBits_;
};

std::unique_ptr<testsupport::ReaderRun> Load(const Bytes& bytes) {
    return testsupport::RunReader(ReadBmp, bytes);
}
std::vector<int> IndexRow(const testsupport::ReaderRun& l, int y) {
    std::vector<int> v;
    for (int x = 0; x < l.width(); ++x)
        v.push_back(l.index(x, y));
    return v;
}
Bytes WithHeaderSize(uint32_t size) {
    auto bytes = Bmp(24, 1, 1).data({0, 0, 0, 0}).bytes();
    for (int i = 0; i < 4; ++i)
        bytes[14 + i] = (size >> (8 * i)) & 0xFF;
    return bytes;
}
Bytes Cut(Bytes b, size_t size) {
    b.resize(size);
    return b;
}
Bytes OsTwoArray(uint8_t innerMagic) {
    auto inner = Bmp(24, 1, 1).data({10, 20, 30, 0}).bytes();
    inner[10] += 14;  // offsets count from the start of the whole file
    inner[0] = innerMagic;
    return testsupport::Cat({'B', 'A', 40, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, inner);
}
Bmp Rle(uint16_t bits, int width, int height, Bytes stream) {
    return Bmp(bits, width, height)
        .compression(bits == 8 ? BI_RLE8 : BI_RLE4)
        .table(std::vector<Rgb>(bits == 8 ? 256 : 16))
        .data(std::move(stream));
}

// -------------------------------------------------------------------------------------------

struct Refusal {
    const char* name;
    Bytes file;
    int32_t rc;
};

TEST(BmpHeader, DamagedOrHostileFilesAreRefusedWithTheirCodeAndNoPixels) {
    const auto gif = [] {
        auto b = Bmp(24, 1, 1).data({0, 0, 0, 0}).bytes();
        b[0] = 'G';
        return b;
    }();
    const Refusal kCases[] = {
        {"short file", {'B', 'M', 0, 0}, kBadHeader},
        {"not BM", gif, kBadHeader},
        {"short info header", Cut(Bmp(24, 1, 1).bytes(), 14 + 30), kBadHeader},
        {"header size 0", WithHeaderSize(0), kBadHeader},
        {"header size 8", WithHeaderSize(8), kBadHeader},
        {"header size 15", WithHeaderSize(15), kBadHeader},  // the bit count cut in half
        {"header size 125", WithHeaderSize(125), kBadHeader},
        {"header size huge", WithHeaderSize(0xFFFFFFFFu), kBadHeader},
        {"0 bits", Bmp(0, 1, 1).data(Bytes(16)).bytes(), kBadHeader},
        {"3 bits", Bmp(3, 1, 1).data(Bytes(16)).bytes(), kBadHeader},
        {"12 bits", Bmp(12, 1, 1).data(Bytes(16)).bytes(), kBadHeader},
        {"48 bits", Bmp(48, 1, 1).data(Bytes(16)).bytes(), kBadHeader},
        {"JPEG", Bmp(24, 1, 1).compression(4).data(Bytes(4)).bytes(), kBadHeader},
        {"PNG", Bmp(24, 1, 1).compression(5).data(Bytes(4)).bytes(), kBadHeader},
        {"compression 11", Bmp(24, 1, 1).compression(11).data(Bytes(4)).bytes(), kBadHeader},
        {"compression top bit", Bmp(24, 1, 1).compression(0x80000000u).data(Bytes(4)).bytes(),
         kBadHeader},
        {"RLE8 at 4 bits", Bmp(4, 1, 1).compression(BI_RLE8).data({0, 1}).bytes(), kBadHeader},
        {"RLE4 at 8 bits", Bmp(8, 1, 1).compression(BI_RLE4).data({0, 1}).bytes(), kBadHeader},
        {"bit fields at 24 bits",
         Bmp(24, 1, 1).compression(BI_BITFIELDS, {1, 2, 4}).data(Bytes(4)).bytes(), kBadHeader},
        {"masks cut off", Cut(Bmp(16, 1, 1).compression(BI_BITFIELDS, {1, 2, 4}).bytes(), 62),
         kBadHeader},
        // In an OS/2 2.x header compression 3 is Huffman 1D, not bit fields.
        {"OS/2 Huffman",
         Bmp(16, 1, 1).header(64).compression(3, {0xF800, 0x7E0, 0x1F}).data(Bytes(4)).bytes(),
         kBadHeader},
        {"array entry not a bitmap", OsTwoArray('C'), kBadHeader},
        {"short colour table",
         Cut(Bmp(8, 1, 1).table(std::vector<Rgb>(256)).data(Bytes(4)).bytes(), 14 + 40 + 400),
         kReadError},
        {"headers only", Bmp(24, 1, 1).bytes(), kReadError},
        {"pixels past the end", Bmp(24, 1, 1).data(Bytes(4)).offBits(1000).bytes(), kReadError},
        // Sides outside 1..32767 are refused before anything is allocated.
        {"width 0", Bmp(24, 0, 1).data(Bytes(8)).bytes(), kNoMemory},
        {"height 0", Bmp(24, 1, 0).data(Bytes(8)).bytes(), kNoMemory},
        {"width -1", Bmp(24, -1, 1).data(Bytes(8)).bytes(), kNoMemory},
        {"width min", Bmp(24, INT32_MIN, 1).data(Bytes(8)).bytes(), kNoMemory},
        {"width 32768", Bmp(24, 32768, 1).data(Bytes(8)).bytes(), kNoMemory},
        {"height 32768", Bmp(24, 1, 32768).data(Bytes(8)).bytes(), kNoMemory},
        {"height -32768", Bmp(24, 1, -32768).data(Bytes(8)).bytes(), kNoMemory},
        {"height min", Bmp(24, 1, INT32_MIN).data(Bytes(8)).bytes(), kNoMemory},
        {"both max", Bmp(24, INT32_MAX, INT32_MAX).data(Bytes(8)).bytes(), kNoMemory},
        {"too many pixels", Bmp(24, 32767, 32767).data(Bytes(8)).bytes(), kNoMemory},
    };
    for (const Refusal& c : kCases) {
        auto l = Load(c.file);
        EXPECT_EQ(l->rc, c.rc) << c.name;
        EXPECT_EQ(l->img.pixelHandle, 0u) << c.name;
    }
}

// -------------------------------------------------------------------------------------------

struct Probe {
    int x, y;
    Rgb rgb;
};
struct PixelCase {
    const char* name;
    Bytes file;
    int bits;  // the decode's bit count
    std::vector<Probe> probes;
};

TEST(BmpPixels, EachLayoutReadsItsColours) {
    const Rgb black{0, 0, 0}, white{255, 255, 255};
    const PixelCase kCases[] = {
        {"largest width", Bmp(8, 32767, 1).data(Bytes(8)).bytes(), 8, {}},
        {"largest top-down height", Bmp(8, 1, -32767).data(Bytes(8)).bytes(), 8, {}},
        {"OS/2 array's first image", OsTwoArray('B'), 24, {{0, 0, {30, 20, 10}}}},
        // White first, black second; 9 pixels so the second byte is used.
        {"one-bit table as written",
         Bmp(1, 9, 1).table({white, black}).data({0xA0, 0x80, 0, 0}).bytes(),
         1,
         {{0, 0, black}, {1, 0, white}, {2, 0, black}, {8, 0, black}}},
        {"one bit, default table",
         Bmp(1, 2, 1).data({0x40, 0, 0, 0}).bytes(),
         1,
         {{0, 0, black}, {1, 0, white}}},
        // biClrUsed 2 of 256, then the pixels at bfOffBits after a gap; entries past the table
        // are black.
        {"clrUsed table",
         Bmp(8, 3, 1)
             .used(2)
             .table({{1, 1, 1}, {9, 8, 7}})
             .gap({0xEE, 0xEE})
             .data({1, 0, 5, 0})
             .bytes(),
         8,
         {{0, 0, {9, 8, 7}}, {1, 0, {1, 1, 1}}, {2, 0, black}}},
        // An OS/2 table cut short by bfOffBits: the pixels are not taken as colours.
        {"table cut by offBits",
         Bmp(8, 2, 1).header(12).table({{4, 5, 6}, {7, 8, 9}}).data({1, 2, 255, 0}).bytes(),
         8,
         {{0, 0, {7, 8, 9}}, {1, 0, black}}},
        {"offBits inside the headers",
         Bmp(8, 1, 1).used(2).table({black, {3, 3, 3}}).data({1, 0, 0, 0}).offBits(0).bytes(),
         8,
         {{0, 0, {3, 3, 3}}}},
        {"two bits become nibbles",
         Bmp(2, 5, 1)
             .table({{0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {3, 3, 3}})
             .data({0b00011011, 0b10000000, 0, 0})
             .bytes(),
         4,
         {{0, 0, {0, 0, 0}},
          {1, 0, {1, 1, 1}},
          {2, 0, {2, 2, 2}},
          {3, 0, {3, 3, 3}},
          {4, 0, {2, 2, 2}}}},
        // Three rows of 8 bytes; the file stops two bytes into the second: unread rows are 0.
        {"truncated",
         Bmp(24, 2, 3).data({9, 9, 9, 9, 9, 9, 0, 0, 7, 7}).bytes(),
         24,
         {{1, 2, {9, 9, 9}}, {0, 1, {0, 7, 7}}, {1, 1, black}, {0, 0, black}}},
        {"truncated converted rows, top-down",
         Bmp(16, 1, -2).data({0xFF, 0x7F}).bytes(),
         24,
         {{0, 0, white}, {0, 1, black}}},
        // Mask bits above 16 are ignored.
        {"16 bits 5-6-5 masks",
         Bmp(16, 2, 1)
             .compression(BI_BITFIELDS, {0x1F800, 0x07E0, 0x001F})
             .data(Words16({0xFFFF, 1 << 11 | 32 << 5 | 30}))
             .bytes(),
         24,
         {{0, 0, white}, {1, 0, {8, 130, 247}}}},
        {"V5 masks without BI_BITFIELDS",
         Bmp(16, 1, 1)
             .header(124)
             .compression(BI_RGB, {0xF800, 0x7E0, 0x1F})
             .data(Words16({0x7C00}))
             .bytes(),
         24,
         {{0, 0, {255, 0, 0}}}},
    };
    for (const PixelCase& c : kCases) {
        auto l = Load(c.file);
        ASSERT_EQ(l->rc, 0) << c.name;
        EXPECT_EQ(l->img.header.biBitCount, c.bits) << c.name;
        for (const Probe& p : c.probes)
            EXPECT_EQ(l->rgb(p.x, p.y), p.rgb) << c.name << " at " << p.x << "," << p.y;
    }
}

TEST(BmpPixels, ThirtyTwoBitsComeOutAsBgrx) {
    const struct {
        const char* name;
        Bmp file;
        Bytes block;
    } kCases[] = {
        {"no masks: passed through",
         Bmp(32, 1, 1).data(Words32({0xAA112233})),
         {0x33, 0x22, 0x11, 0xAA}},
        {"RGBA in a V5 header",
         Bmp(32, 2, 1)
             .header(124)
             .compression(BI_BITFIELDS, {0xFF000000, 0xFF0000, 0xFF00, 0xFF})
             .data(Words32({0x11223344, 0xFFFFFF00})),
         {0x33, 0x22, 0x11, 0x44, 0xFF, 0xFF, 0xFF, 0}},
        // Wide channels keep their top eight bits; no alpha mask gives 0.
        {"10-10-10",
         Bmp(32, 1, 1)
             .compression(BI_BITFIELDS, {0x3FF00000, 0x000FFC00, 0x000003FF})
             .data(Words32({0x3FFu << 20 | 0x201u << 10 | 0x0FF})),
         {0x3F, 0x80, 0xFF, 0}},
        {"BI_ALPHABITFIELDS",
         Bmp(32, 1, 1)
             .compression(6, {0xFF, 0xFF00, 0xFF0000, 0xFF000000})
             .data(Words32({0x80C0E0F0})),
         {0xC0, 0xE0, 0xF0, 0x80}},
    };
    for (const auto& c : kCases) {
        auto l = Load(c.file.bytes());
        ASSERT_EQ(l->rc, 0) << c.name;
        EXPECT_EQ(l->img.bitInfo.bmiHeader.biBitCount, 32) << c.name;
        EXPECT_EQ(Bytes(l->img.pixels, l->img.pixels + c.block.size()), c.block) << c.name;
    }
}

// -------------------------------------------------------------------------------------------

TEST(BmpRle, RunsAbsoluteRunsDeltasAndEnds) {
    using Rows = std::vector<std::vector<int>>;
    const struct {
        const char* name;
        Bmp file;
        Rows rows;  // top row first
    } kCases[] = {
        // Bottom row: run of 2, absolute run of 3 (then a pad byte), row ended at 5 of 6.
        // Top row: a run of 9 cut at the row end, then end of picture.
        {"RLE8",
         Rle(8, 6, 2, {2, 7, 0, 3, 1, 2, 3, 0, 0, 0, 9, 4, 0, 1}),
         {{4, 4, 4, 4, 4, 4}, {7, 7, 1, 2, 3, 0}}},
        // The pad after an absolute run follows the file position, not the stream's.
        {"odd offset, no pad",
         Rle(8, 5, 1, {0, 3, 1, 2, 3, 2, 9, 0, 1}).gap({0}),
         {{1, 2, 3, 9, 9}}},
        {"even offset, pad", Rle(8, 5, 1, {0, 3, 1, 2, 3, 0, 2, 9, 0, 1}), {{1, 2, 3, 9, 9}}},
        // Bottom: absolute runs of 3 (no pad after two bytes) and 5 (a pad), run of 1. Top: run
        // of 3 alternating nibbles, absolute run of 7 cut at the row end, a run past the end.
        {"RLE4 odd runs",
         Rle(4, 9, 2, {0, 3, 0x34, 0x50, 0, 5,    0x67, 0x89, 0xA0, 0, 1,    0xB0, 0,
                       0, 3, 0x12, 0,    7, 0xAB, 0xCD, 0xEF, 0x10, 2, 0x77, 0,    1}),
         {{1, 2, 1, 10, 11, 12, 13, 14, 15}, {3, 4, 5, 6, 7, 8, 9, 10, 11}}},
        // Run 1, delta 2 right 1 down, run 1, end of row, end of picture before a last run.
        {"delta and end of picture",
         Rle(8, 5, 4, {1, 5, 0, 2, 2, 1, 1, 6, 0, 0, 0, 1, 5, 8}),
         {{0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, {0, 0, 0, 6, 0}, {5, 0, 0, 0, 0}}},
        {"delta far past the picture", Rle(8, 2, 2, {0, 2, 255, 255, 3, 3}), {{0, 0}, {0, 0}}},
        {"stream stops inside a run", Rle(4, 4, 1, {4, 0x56, 0, 4, 0x12}), {{5, 6, 5, 6}}},
        {"top-down deltas count from the top",
         Rle(8, 2, -3, {1, 4, 0, 2, 0, 2, 1, 9, 0, 1}),
         {{4, 0}, {0, 0}, {0, 9}}},
    };
    for (const auto& c : kCases) {
        auto l = Load(c.file.bytes());
        ASSERT_EQ(l->rc, 0) << c.name;
        ASSERT_EQ(l->height(), static_cast<int>(c.rows.size())) << c.name;
        const int used = (l->width() * l->img.header.biBitCount + 7) / 8;
        for (int y = 0; y < l->height(); ++y) {
            EXPECT_EQ(IndexRow(*l, y), c.rows[y]) << c.name << " row " << y;
            // Runs cut at the row end do not spill into the row's padding.
            EXPECT_EQ(Bytes(l->img.row(y) + used, l->img.row(y) + l->img.rowStride),
                      Bytes(l->img.rowStride - used, 0))
                << c.name << " row " << y;
        }
    }
}

// -------------------------------------------------------------------------------------------

const fs::path kTestData = testsupport::TestData();

std::vector<fs::path> PublicBitmaps() {
    std::vector<fs::path> files;
    for (const char* dir : {"bmp", "dib", "rle"})
        if (fs::is_directory(kTestData / dir))
            for (const auto& e : fs::directory_iterator(kTestData / dir))
                if (e.path().extension() != ".txt") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

// ImageMagick misreads OS/2 bitmap arrays and OS/2 2.x 64-byte headers (their colours come out
// visibly wrong), so it is shown the same picture as a plain file: the array's first bitmap on
// its own, the header cut to its first 40 bytes, the pixel offset moved to match.
Bytes PlainBitmap(Bytes b) {
    auto moveOffset = [&b](uint32_t by) {
        const uint32_t off = (b[10] | b[11] << 8 | b[12] << 16 | uint32_t{b[13]} << 24) - by;
        for (int i = 0; i < 4; ++i)
            b[10 + i] = (off >> (8 * i)) & 0xFF;
    };
    if (b.size() > 28 && b[0] == 'B' && b[1] == 'A') {
        b.erase(b.begin(), b.begin() + 14);
        moveOffset(14);
    }
    const uint32_t size = b.size() > 18 ? b[14] | b[15] << 8 : 0;
    if (size > 40 && size <= 64 && size != 52 && size != 56 && b.size() > 14 + size) {
        b.erase(b.begin() + 14 + 40, b.begin() + 14 + size);
        b[14] = 40;
        moveOffset(size - 40);
    }
    return b;
}

// ImageMagick's decode of the first picture in a file. It exits non-zero after warnings such
// as a wrong file size field, so only its output counts.
std::optional<oracle::RgbImage> ImageMagickDecode(const fs::path& p) {
    fs::path source = p;
    const Bytes bytes = testsupport::ReadBytes(p.string()), plain = PlainBitmap(bytes);
    if (plain != bytes) {
        source = fs::temp_directory_path() / ("bmp_oracle_" + p.filename().string());
        std::ofstream(source, std::ios::binary)
            .write(reinterpret_cast<const char*>(plain.data()), std::ssize(plain));
    }
    auto frames =
        oracle::RunPnmCommand("convert -quiet " + oracle::ShellQuote(source.string() + "[0]") +
                              " +repage -depth 8 ppm:-; true");
    if (source != p) fs::remove(source);
    if (frames.empty()) return std::nullopt;
    return std::move(frames[0]);
}

// Files where ImageMagick's decode differs for a reason that is not a fault here.
const std::map<std::string, std::string> kOracleExceptions = {
    {"clipboard.dib", "header-less DIB: no BM file header, refused with -20010"},
    {"im_input.dib", "header-less DIB: no BM file header, refused with -20010"},
    {"im_input_utah.rle", "a Utah RLE file, not a bitmap: refused with -20010"},
    {"pal8badindex.bmp", "indices past the colour table are black here, IM gives them a colour"},
    {"badrle.bmp", "malformed RLE: runs and deltas past the row end are cut here, IM wraps them"},
    {"badrlebis.bmp", "malformed RLE: as badrle.bmp"},
    {"badrleter.bmp", "malformed RLE: as badrle.bmp"},
    {"badrle4.bmp", "malformed RLE: as badrle.bmp"},
    {"badrle4bis.bmp", "malformed RLE: as badrle.bmp"},
    {"badrle4ter.bmp", "malformed RLE: as badrle.bmp"},
};

// Bit fields of unusual widths: channels narrower than 8 bits are widened by repeating their
// bits here, while ImageMagick shifts them in 16-bit pictures (15 of 4 bits gives 240) and
// scales them through 16 bits in 32-bit ones; it rounds channels wider than 8 bits where the
// top 8 bits are kept here. The decodes must agree within the channel's precision. Per channel
// (red, green, blue): n > 0 compares the top n bits, n <= 0 allows a difference of up to -n.
using Precision = std::array<int, 3>;
Precision ChannelPrecision(const std::string& name) {
    static const std::map<std::string, Precision> kTable = {
        {"rgb16-231.bmp", {2, 3, 1}},         {"rgb16-3103.bmp", {3, -1, 3}},
        {"rgba16-1924.bmp", {1, -1, 2}},      {"rgba16-4444.bmp", {4, 4, 4}},
        {"V3_A4_R4_G4_B4.bmp", {4, 4, 4}},    {"V3_A4_R4_G4_B4_Top_Down.bmp", {4, 4, 4}},
        {"V3_X4_R4_G4_B4.bmp", {4, 4, 4}},    {"V3_X4_R4_G4_B4_Top_Down.bmp", {4, 4, 4}},
        {"rgb32-111110.bmp", {-1, -1, -1}},   {"rgb32-7187.bmp", {-2, -1, -2}},
        {"rgba32-1010102.bmp", {-1, -1, -1}}, {"rgba32-61754.bmp", {-4, -1, -8}},
        {"rgba32-81284.bmp", {8, -1, 8}}};
    const auto it = kTable.find(name);
    return it == kTable.end() ? Precision{8, 8, 8} : it->second;
}

// Every file loads or fails cleanly; every file ImageMagick reads loads, with its pixels.
TEST(BmpPublicFiles, PixelsMatchImageMagick) {
    if (!fs::is_directory(kTestData / "bmp")) GTEST_SKIP() << "no public test pictures here";
    const bool oracleHere = oracle::ToolAvailable("convert");
    int compared = 0;
    for (const fs::path& p : PublicBitmaps()) {
        const std::string name = p.filename().string();
        auto l = Load(testsupport::ReadBytes(p.string()));
        EXPECT_LE(l->rc, 0) << name;
        EXPECT_EQ(l->rc == 0, l->img.pixels != nullptr) << name;
        if (!oracleHere || kOracleExceptions.count(name)) continue;
        const auto want = ImageMagickDecode(p);
        if (!want) continue;  // not a picture to ImageMagick
        ASSERT_EQ(l->rc, 0) << name << " is read by ImageMagick";
        ASSERT_EQ(l->img.header.biWidth, want->width) << name;
        ASSERT_EQ(l->img.header.biHeight, want->height) << name;
        const Precision precision = ChannelPrecision(name);
        int mismatches = 0;
        for (int y = 0; y < want->height; ++y)
            for (int x = 0; x < want->width; ++x)
                for (int c = 0; c < 3; ++c) {
                    const int a = l->rgb(x, y)[c], b = want->pixel(x, y)[c], n = precision[c];
                    const bool same = n > 0 ? a >> (8 - n) == b >> (8 - n) : std::abs(a - b) <= -n;
                    if (!same && ++mismatches <= 3)
                        ADD_FAILURE() << name << " (" << x << "," << y << ") channel " << c << ": "
                                      << a << " vs " << b;
                }
        ++compared;
    }
    RecordProperty("compared", compared);
    EXPECT_GE(compared, oracleHere ? 120 : 0);
}

}  // namespace
