// Hand-made TIFF files for the tests: a byte builder that lays out header, data and directories
// in either byte order, and the shared helpers of the TIFF tests.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/env_override.h"
#include "support/picture.h"
#include "support/testdata.h"

namespace tiff_test {

using testsupport::Bytes;

// The modules are found where the build puts them, also when the test runs outside ctest.
inline const bool kCodecPathSet =
    setenv("LUMORA_CODEC_PATH", testsupport::CodecDir().c_str(), 0) == 0;

enum Type : uint16_t { kShort = 3, kLong = 4, kRational = 5 };

// One directory entry: the 32-bit value field is written as the format stores it (a SHORT in
// the field's first two bytes).
struct Field {
    uint16_t tag;
    uint16_t type;
    uint32_t count;
    uint32_t value;
};

inline Field Short(uint16_t tag, uint32_t v) {
    return {tag, kShort, 1, v};
}
inline Field Long(uint16_t tag, uint32_t v) {
    return {tag, kLong, 1, v};
}
// A field whose values live at `offset`.
inline Field At(uint16_t tag, uint16_t type, uint32_t count, uint32_t offset) {
    return {tag, type, count, offset};
}

class TiffBuilder {
  public:
    explicit TiffBuilder(bool bigEndian = false) : big_(bigEndian) {
        bytes_ = big_ ? Bytes{'M', 'M', 0, 42} : Bytes{'I', 'I', 42, 0};
        Put32(0);  // first directory, patched by Directory()
    }

    const Bytes& bytes() const { return bytes_; }
    uint32_t size() const { return static_cast<uint32_t>(bytes_.size()); }

    // Each appends its data word-aligned and returns its offset.
    uint32_t Append(const Bytes& data) {
        const uint32_t at = Align();
        bytes_.insert(bytes_.end(), data.begin(), data.end());
        return at;
    }
    uint32_t AppendShorts(const std::vector<uint32_t>& values) {
        const uint32_t at = Align();
        for (uint32_t v : values)
            Put16(v);
        return at;
    }
    uint32_t AppendLongs(const std::vector<uint32_t>& values) {
        const uint32_t at = Align();
        for (uint32_t v : values)
            Put32(v);
        return at;
    }

    // Appends a directory and links the previous one (or the header) to it.
    uint32_t Directory(const std::vector<Field>& fields) {
        const uint32_t at = Align();
        Patch32(link_, at);
        Put16(static_cast<uint32_t>(fields.size()));
        for (const Field& f : fields) {
            Put16(f.tag);
            Put16(f.type);
            Put32(f.count);
            if (f.type == kShort && f.count <= 2) {
                Put16(f.value);
                Put16(0);
            } else {
                Put32(f.value);
            }
        }
        link_ = size();
        Put32(0);
        return at;
    }

    void Patch32(uint32_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes_[at + i] = static_cast<uint8_t>(big_ ? v >> (24 - 8 * i) : v >> (8 * i));
    }
    // Where the next-directory offset of the last directory is.
    uint32_t lastLink() const { return link_; }

  private:
    uint32_t Align() {
        if (bytes_.size() & 1) bytes_.push_back(0);
        return size();
    }
    void Put16(uint32_t v) {
        const uint8_t lo = static_cast<uint8_t>(v), hi = static_cast<uint8_t>(v >> 8);
        bytes_.push_back(big_ ? hi : lo);
        bytes_.push_back(big_ ? lo : hi);
    }
    void Put32(uint32_t v) {
        bytes_.resize(bytes_.size() + 4);
        Patch32(size() - 4, v);
    }

    bool big_;
    Bytes bytes_;
    uint32_t link_ = 4;
};

// A single-strip picture: the strip is appended as given (raw or already compressed).
struct Picture {
    uint32_t width, height, bitsPerSample, samples, photometric, compression;
    Bytes strip;
    std::vector<Field> extra = {};  // further fields, in tag order after the standard ones
};

inline uint32_t AddPicture(TiffBuilder& b, const Picture& p, bool stripLast = false) {
    const uint32_t strip = stripLast ? 0 : b.Append(p.strip);
    std::vector<Field> fields{Long(256, p.width),
                              Long(257, p.height),
                              Short(258, p.bitsPerSample),
                              Short(259, p.compression),
                              Short(262, p.photometric),
                              Long(273, strip),
                              Short(277, p.samples),
                              Long(278, p.height),
                              Long(279, static_cast<uint32_t>(p.strip.size()))};
    fields.insert(fields.end(), p.extra.begin(), p.extra.end());
    return b.Directory(fields);
}

// `stripLast` puts the directory first and the strip last, so that it runs to the end of the
// file.
inline Bytes MakeTiff(const Picture& p, bool bigEndian = false, bool stripLast = false) {
    TiffBuilder b(bigEndian);
    const uint32_t dir = AddPicture(b, p, stripLast);
    if (!stripLast) return b.bytes();
    b.Patch32(dir + 2 + 5 * 12 + 8, b.size());  // StripOffsets, the sixth field
    Bytes bytes = b.bytes();
    bytes.insert(bytes.end(), p.strip.begin(), p.strip.end());
    return bytes;
}

// ImageMagick's decode of one frame in sRGB (its own CMYK and Lab conversions included), alpha
// dropped; empty when it cannot read the file.
inline oracle::RgbImage MagickSrgb(const std::string& path, int frame = 0) {
    const auto frames = oracle::RunPnmCommand(
        "convert " + oracle::ShellQuote(path + "[" + std::to_string(frame) + "]") +
        " -colorspace sRGB +repage -depth 8 ppm:- 2>/dev/null");
    return frames.empty() ? oracle::RgbImage{} : frames[0];
}

using testsupport::EnvOverride;

}  // namespace tiff_test
