// Writes Photo CD image packs with known content: uncompressed images at the small
// resolutions' offsets, Huffman tables, and residual layers coded line by line behind sync marks,
// laid out where a decoder finds them (sector 388 and 389, then S + 10, S + 12 and S + 14 after
// the sector S at which reading the first layer stops). Header-only, so the benchmark can make
// the same packs.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace pcdpack {

using Bytes = std::vector<uint8_t>;
constexpr size_t kSector = 2048;

// A PhotoYCC image as stored: luma at full size, both chromas at half width and half height.
struct YccImage {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> y, c1, c2;

    YccImage() = default;
    YccImage(uint32_t w, uint32_t h)
        : width(w), height(h), y(size_t{w} * h), c1(size_t{w / 2} * (h / 2)), c2(c1.size()) {}
};

// Places an image in the uncompressed layout: per row pair, two luma rows, then the chroma 1
// and chroma 2 rows that serve both.
inline void PutImage(Bytes& pack, size_t offset, const YccImage& img) {
    const uint32_t w = img.width;
    const size_t size = size_t{w} * 3 * (img.height / 2);
    if (pack.size() < offset + size) pack.resize(offset + size);
    uint8_t* out = pack.data() + offset;
    for (uint32_t k = 0; k < img.height / 2; ++k) {
        out = std::copy_n(img.y.data() + size_t{2 * k} * w, 2 * w, out);
        out = std::copy_n(img.c1.data() + size_t{k} * (w / 2), w / 2, out);
        out = std::copy_n(img.c2.data() + size_t{k} * (w / 2), w / 2, out);
    }
}

// One Huffman code: its bits as a string of '0' and '1' and the residual it stands for.
struct Code {
    std::string bits;
    int value = 0;
};
using Table = std::vector<Code>;

// A table whose codes never hold more than three 1 bits in a row, so that no run of codes can
// look like a sync mark: values 0, +-1, +-2, 127, -128 and +-5.
inline Table SmallTable() {
    return {{"00", 0},     {"010", 1},     {"011", -1},  {"100", 2},   {"101", -2},
            {"1100", 127}, {"1101", -128}, {"11100", 5}, {"11101", -5}};
}

// Table bytes: entries - 1, then per entry length - 1, the left-aligned pattern (big-endian)
// and the value. `lengthOverride` replaces each stored length when not zero (for damaged tables).
inline void AppendTable(Bytes& out, const Table& t, int lengthOverride = 0) {
    out.push_back(static_cast<uint8_t>(t.size() - 1));
    for (const Code& c : t) {
        uint32_t pattern = 0;
        for (size_t i = 0; i < c.bits.size(); ++i)
            if (c.bits[i] == '1') pattern |= 0x8000u >> i;
        const int length = lengthOverride ? lengthOverride : static_cast<int>(c.bits.size());
        out.push_back(static_cast<uint8_t>(length - 1));
        out.push_back(static_cast<uint8_t>(pattern >> 8));
        out.push_back(static_cast<uint8_t>(pattern));
        out.push_back(static_cast<uint8_t>(static_cast<int8_t>(c.value)));
    }
}

// Most significant bit first.
class BitWriter {
  public:
    void Put(uint32_t value, int count) {
        for (int i = count - 1; i >= 0; --i)
            PutBit((value >> i) & 1);
    }
    void PutBits(const std::string& bits) {
        for (char b : bits)
            PutBit(b == '1');
    }
    size_t bitCount() const { return bits_; }
    const Bytes& bytes() const { return bytes_; }

  private:
    void PutBit(bool bit) {
        if (bits_ % 8 == 0) bytes_.push_back(0);
        if (bit) bytes_.back() |= static_cast<uint8_t>(0x80 >> (bits_ % 8));
        ++bits_;
    }
    Bytes bytes_;
    size_t bits_ = 0;
};

// A coded line: tag 0 luma, 1 abnormal, 2 chroma 1, 3 chroma 2; one residual per pixel.
struct Line {
    int tag = 0;
    int number = 0;
    std::vector<int> residuals;
    std::string garbage;  // raw bits written after the residuals (damage)
};

struct EncodedLayer {
    Bytes bytes;                        // padded to whole sectors
    size_t firstChromaByte = SIZE_MAX;  // where the first chroma line's sync mark starts
    size_t sectorsRead = 0;  // sectors a decoder has read when it has taken the end marker
};

// Codes the lines (tables indexed by channel: luma for tags 0 and 1, then chroma 1, chroma 2),
// then a sync mark with the end line number `endLine` unless it is negative.
inline EncodedLayer EncodeLayer(const std::vector<Line>& lines, const std::vector<Table>& tables,
                                int endLine) {
    std::vector<std::map<int, std::string>> codes(tables.size());
    for (size_t t = 0; t < tables.size(); ++t)
        for (const Code& c : tables[t])
            codes[t].emplace(c.value, c.bits);
    BitWriter w;
    EncodedLayer layer;
    auto sync = [&](int tag, int number) {
        w.Put(0xFFFFFE, 24);
        w.Put(static_cast<uint32_t>(tag << 14 | number << 1), 16);
    };
    for (const Line& line : lines) {
        if (line.tag >= 2 && layer.firstChromaByte == SIZE_MAX)
            layer.firstChromaByte = w.bitCount() / 8;
        sync(line.tag, line.number);
        const auto& table = codes.at(line.tag >= 2 ? line.tag - 1 : 0);
        for (int r : line.residuals) {
            auto it = table.find(r);
            if (it == table.end()) throw std::logic_error("residual without a code");
            w.PutBits(it->second);
        }
        w.PutBits(line.garbage);
    }
    size_t used = (w.bitCount() + 7) / 8;
    if (endLine >= 0) {
        sync(0, endLine);
        // A decoder tops its register up to 25 bits after the end marker's header.
        used = (w.bitCount() + 25 + 7) / 8;
        layer.sectorsRead = (used + kSector - 1) / kSector;
    }
    layer.bytes = w.bytes();
    layer.bytes.resize((used + kSector - 1) / kSector * kSector, 0);
    return layer;
}

// A pack of base images only, as a writer of base images makes it (385 sectors).
inline Bytes BasePack(const YccImage& tiny, const YccImage& small, const YccImage& base) {
    Bytes pack(385 * kSector, 0);
    PutImage(pack, 4 * kSector, tiny);
    PutImage(pack, 23 * kSector, small);
    PutImage(pack, 96 * kSector, base);
    return pack;
}

// Both residual layers behind a pack of base images: the 1536 x 1024 luma layer at sectors 388
// and 389, the 3072 x 2048 layer with its three tables at S + 12, its data at S + 14 and, in
// bytes 2 and 3 of sector S + 10, the sector (from S) at which its chroma lines begin.
struct LayeredPack {
    Bytes bytes;
    size_t layer2Sector = 0;  // S
    size_t chromaSector = 0;  // S + N
};
inline LayeredPack AddLayers(Bytes pack, const Table& lumaTable, const std::vector<Line>& layer1,
                             const std::vector<Table>& tables2, const std::vector<Line>& layer2) {
    LayeredPack out;
    pack.resize(388 * kSector, 0);
    Bytes tableSector;
    AppendTable(tableSector, lumaTable);
    tableSector.resize(kSector, 0);
    pack.insert(pack.end(), tableSector.begin(), tableSector.end());
    const EncodedLayer first = EncodeLayer(layer1, {lumaTable}, 1024);
    pack.insert(pack.end(), first.bytes.begin(), first.bytes.end());

    const size_t s = 389 + first.sectorsRead;
    const EncodedLayer second = EncodeLayer(layer2, tables2, 2048);
    const size_t n =
        14 + (second.firstChromaByte == SIZE_MAX ? 0 : second.firstChromaByte / kSector);
    pack.resize((s + 12) * kSector, 0);
    pack[(s + 10) * kSector + 2] = static_cast<uint8_t>(n >> 8);
    pack[(s + 10) * kSector + 3] = static_cast<uint8_t>(n);
    tableSector.clear();
    for (const Table& t : tables2)
        AppendTable(tableSector, t);
    tableSector.resize(2 * kSector, 0);  // tables at S + 12; S + 13 unused
    pack.insert(pack.end(), tableSector.begin(), tableSector.end());
    pack.insert(pack.end(), second.bytes.begin(), second.bytes.end());
    out.bytes = std::move(pack);
    out.layer2Sector = s;
    out.chromaSector = s + n;
    return out;
}

}  // namespace pcdpack
