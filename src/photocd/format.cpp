// Photo CD residual layers: Huffman tables, the bit stream with its sync marks, and the
// addition of residuals to the planes.
#include "photocd/format.h"

#include <algorithm>
#include <cstdio>
#include <span>

namespace photocd {
namespace {

constexpr const char* kChannelNames[kChannels] = {"Luma Channel", "Chroma1 Channel",
                                                  "Chroma2 Channel"};

// The next input bits in a 32-bit register, first bit at the top. After every step the register
// is topped up a byte at a time to at least 25 valid bits, so a sync mark (24 bits) or a code
// (at most 16) can always be looked at whole. Blocks are whole sectors; a sector that does not
// arrive ends the layer.
class BitInput {
  public:
    explicit BitInput(PackFile& file) : file_(file) {}

    bool Start() {
        block_ = file_.ReadBlock();
        next_ = 0;
        return !block_.empty() && Fill();
    }
    uint32_t top16() const { return reg_ >> 16; }
    bool AtSync() const { return (reg_ & 0xFFFFFF00u) == 0xFFFFFE00u; }
    // Drops n bits (n <= 24) and tops the register up; false when the input ran out.
    bool Drop(int n) {
        reg_ <<= n;
        valid_ -= n;
        return Fill();
    }
    // Skips to the next sync mark: whole bytes until a run of twelve 1 bits sits just below the
    // top byte, then single bits until the mark itself is at the top. Every step consumes input,
    // so on a stream without another mark this ends at the end of the file.
    bool SearchSync() {
        while ((reg_ & 0x00FFF000u) != 0x00FFF000u)
            if (!Drop(8)) return false;
        while (!AtSync())
            if (!Drop(1)) return false;
        return true;
    }

  private:
    bool Fill() {
        while (valid_ < 25) {
            if (next_ >= block_.size()) {
                block_ = file_.ReadBlock();
                next_ = 0;
                if (block_.empty()) return false;
            }
            reg_ |= uint32_t{block_[next_++]} << (24 - valid_);
            valid_ += 8;
        }
        return true;
    }

    PackFile& file_;
    std::span<const uint8_t> block_;
    size_t next_ = 0;
    uint32_t reg_ = 0;
    int valid_ = 0;
};

void ReportReadError() {
    std::fputs("Read error\n", stderr);
}

}  // namespace

void HuffmanTables::RebuildLookup() {
    for (int c = 0; c < kChannels; ++c) {
        std::array<uint16_t, 65536>& slots = lookup[c];
        slots.fill(0);
        // Later entries overwrite earlier ones where codes overlap, as in the stored order.
        for (int i = 0; i < counts[c]; ++i) {
            const HuffmanEntry& e = entries[c][i];
            const uint16_t slot = static_cast<uint16_t>(e.length << 8 | uint8_t(e.value));
            const uint32_t span = uint32_t{1} << (16 - e.length);
            for (uint32_t k = 0; k < span; ++k)
                slots[e.pattern | k] = slot;
        }
    }
}

bool ReadHuffmanTables(PackFile& file, int count, HuffmanTables& tables) {
    std::array<uint8_t, kSectorSize> sector{};
    file.Read(sector.data(), sector.size());
    const auto refuse = [&tables] {
        tables.counts.fill(0);
        return false;
    };
    size_t at = 0;
    for (int c = 0; c < std::min(count, kChannels); ++c) {
        if (at >= sector.size()) return refuse();
        const int entries = sector[at++] + 1;
        if (at + size_t(entries) * 4 > sector.size()) return refuse();
        for (int i = 0; i < entries; ++i, at += 4) {
            const int length = sector[at] + 1;
            if (length > 16) return refuse();
            HuffmanEntry& e = tables.entries[c][i];
            e.length = static_cast<uint8_t>(length);
            e.pattern = static_cast<uint16_t>(sector[at + 1] << 8 | sector[at + 2]);
            e.value = static_cast<int8_t>(sector[at + 3]);
        }
        tables.counts[c] = entries;
    }
    return true;
}

void DecodeLayer(PackFile& file, HuffmanTables& tables, uint32_t width, uint32_t height,
                 Plane* luma, Plane* chroma1, Plane* chroma2, bool searchFirstSync) {
    // Planes must already have the layer's size (chroma: half of it, rounded up so that every
    // line number below the height has its row); one that does not is left alone.
    const auto fits = [](const Plane* p, uint32_t w, uint32_t h) {
        return p && p->width >= w && p->height >= h;
    };
    if (!fits(luma, width, height)) luma = nullptr;
    if (!fits(chroma1, width / 2, (height + 1) / 2)) chroma1 = nullptr;
    if (!fits(chroma2, width / 2, (height + 1) / 2)) chroma2 = nullptr;

    tables.RebuildLookup();
    const uint16_t* table = nullptr;  // the current line's channel
    int channel = 0;
    uint32_t line = 0;
    uint8_t* pixel = nullptr;
    uint32_t column = 0;
    uint32_t lineLength = 0;
    bool report = false;

    BitInput bits(file);
    if (!bits.Start()) return ReportReadError();
    if (searchFirstSync && !bits.AtSync()) {
        std::fputs("Image does not start with synchron mark, seeking...\n", stderr);
        if (!bits.SearchSync()) return ReportReadError();
        report = true;
    }

    for (;;) {
        // The residuals of the current line, up to its next sync mark.
        while (!bits.AtSync()) {
            if (column > lineLength) {
                std::fprintf(stderr, "Missing synchron mark in %s line %u\n",
                             kChannelNames[channel], line);
            } else if (const uint16_t code = table ? table[bits.top16()] : 0; code != 0) {
                if (column < lineLength) {
                    const int v = *pixel + int8_t(code & 0xFF);
                    *pixel++ = static_cast<uint8_t>(std::clamp(v, 0, 255));
                }
                ++column;
                if (!bits.Drop(code >> 8)) return ReportReadError();
                continue;
            } else {
                std::fputs("Unable to decode, ignoring rest of line\n", stderr);
            }
            if (!bits.SearchSync()) return ReportReadError();
            report = true;
            column = lineLength;
        }

        // A sync mark and the line header after it.
        if (!bits.Drop(24)) return ReportReadError();
        const uint32_t header = bits.top16();
        if (!bits.Drop(16)) return ReportReadError();
        const uint32_t number = (header >> 1) & 0x1FFF;
        const uint32_t tag = header >> 14;
        if (report) {
            std::fprintf(stderr, "Synchron mark found Line %u\n", number);
            report = false;
        }
        column = 0;
        if (number == height) return;
        if (number > height) {
            std::fprintf(stderr, "Wrong line number %u, ignoring line\n", number);
            if (!bits.SearchSync()) return ReportReadError();
            report = true;
            column = lineLength;
            continue;
        }

        line = number;
        if (tag == 1)
            std::fprintf(stderr, "Abnormal line tag in %u, interpreting as Luma tag\n", number);
        if (tag <= 1) {
            channel = 0;
            lineLength = width;
            if (!luma) {
                // A layer read only for its chroma lines passes over the luma ones.
                if (!bits.SearchSync()) return ReportReadError();
                column = lineLength;
                continue;
            }
            table = tables.lookup[0].data();
            pixel = luma->row(number);
        } else {
            Plane* plane = tag == 2 ? chroma1 : chroma2;
            // The chroma lines come last: without their plane the layer is done.
            if (!plane) return;
            channel = static_cast<int>(tag) - 1;
            lineLength = width / 2;
            table = tables.lookup[channel].data();
            pixel = plane->row(number / 2);
        }
    }
}

}  // namespace photocd
