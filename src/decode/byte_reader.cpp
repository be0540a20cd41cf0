#include "decode/byte_reader.h"

namespace decode {

int32_t SwapWord(int32_t value, int keep) {
    if (keep) return value;
    return (value & 0xFF) * 256 + ((value >> 8) & 0xFF);
}

int32_t ReadWord(ByteReader& in, int bigEndian) {
    const int a = in.getc();
    const int b = in.getc();
    if (a == ByteReader::kEof || b == ByteReader::kEof) return -1;
    return bigEndian ? a * 256 + b : b * 256 + a;
}

int32_t ReadLong(ByteReader& in, int bigEndian) {
    // Unsigned arithmetic: the sum wraps exactly as the 32-bit original, without overflow.
    uint32_t v[4];
    for (uint32_t& b : v)
        b = static_cast<uint32_t>(in.getc());
    const uint32_t sum = bigEndian ? (v[0] << 24) + (v[1] << 16) + (v[2] << 8) + v[3]
                                   : (v[3] << 24) + (v[2] << 16) + (v[1] << 8) + v[0];
    return static_cast<int32_t>(sum);
}

}  // namespace decode
