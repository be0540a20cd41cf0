// Photo CD image packs: sector access, the 8-bit planes of the layered resolutions, their
// doubling, and the two PhotoYCC to RGB conversions.
//
// A pack is a file of 2048-byte sectors. The three small resolutions are stored uncompressed
// (two luma rows, then one chroma 1 and one chroma 2 row at half width for both); the two large
// ones are the 768 x 512 image doubled, with Huffman-coded residuals added (format.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>

#include "decode/byte_reader.h"
#include "platform/os/large_block.h"

namespace photocd {

constexpr int64_t kSectorSize = 2048;
constexpr int64_t kBaseSector = 96;          // the uncompressed 768 x 512 image
constexpr int64_t kLayer1TableSector = 388;  // Huffman table of the 1536 x 1024 luma layer
constexpr int64_t kLayer1DataSector = 389;   // its residuals

// The file seen as sectors. It keeps the position the decoder believes it is at: a read of n
// bytes moves it by n whether or not they all arrived, so the layers that are found relative
// to "where the previous layer ended" are found the same way on a short file.
class PackFile {
  public:
    explicit PackFile(decode::ByteReader& in) : in_(in) {}

    void SeekSector(int64_t sector);
    // Copies what arrives of n bytes to dst and zeroes the rest; true when all n arrived.
    bool Read(uint8_t* dst, size_t n);
    // The next whole sector, or an empty span when the file ends before it does.
    std::span<const uint8_t> ReadBlock();
    int64_t position() const { return position_; }

  private:
    decode::ByteReader& in_;
    int64_t position_ = 0;
};

// One 8-bit channel. The block is allocated at the target size once; the part in use
// (width x height) grows as the plane is doubled in place.
struct Plane {
    uint32_t stride = 0;    // allocated row length
    uint32_t capacity = 0;  // allocated rows
    uint32_t width = 0;
    uint32_t height = 0;
    platform::BlockStorage block;

    // A zeroed stride x capacity block; false when it cannot be had.
    bool Allocate(uint32_t rowBytes, uint32_t rows);
    uint8_t* row(uint32_t r) { return block.get() + size_t{r} * stride; }
    const uint8_t* row(uint32_t r) const { return block.get() + size_t{r} * stride; }
};

// Reads the uncompressed 768 x 512 image from the current position: luma into 768 x 512,
// each chroma into 384 x 256. A failed read ends the reading; what arrived stays.
void ReadBasePlanes(PackFile& file, Plane& luma, Plane& chroma1, Plane& chroma2);

// w x h becomes 2w x 2h in place: even pixels copied, odd ones averaged from their neighbours,
// the right edge and the last row repeated. False (plane unchanged) when it would not fit.
bool DoublePlane(Plane& plane);

// One picture row of a small resolution: pixel x uses chroma entry x / 2. Floating-point
// conversion; blue, green, red bytes into out.
void ConvertRowFloat(const uint8_t* luma, const uint8_t* chroma1, const uint8_t* chroma2,
                     uint32_t width, uint8_t* out);
// One pixel of the same conversion, as blue, green, red.
void ConvertPixelFloat(int y, int c1, int c2, uint8_t bgr[3]);

// One pixel of the integer table conversion of the layered resolutions, as blue, green, red.
void ConvertPixelTable(uint8_t y, uint8_t c1, uint8_t c2, uint8_t bgr[3]);

// Writes three equally sized planes into a bottom-up 24-bit block (plane row r to block row
// height - 1 - r) through the integer conversion.
void WritePlanes(const Plane& luma, const Plane& chroma1, const Plane& chroma2, uint8_t* block,
                 size_t blockStride);

}  // namespace photocd
