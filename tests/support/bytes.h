// Byte builders for hand-made files: integers in either byte order, and joining byte runs.
#pragma once

#include <cstdint>
#include <vector>

namespace testsupport {

using Bytes = std::vector<uint8_t>;

// Appends x as `count` bytes, low byte first.
inline void PutLe(Bytes& v, uint32_t x, int count = 2) {
    for (int i = 0; i < count; ++i)
        v.push_back(static_cast<uint8_t>(x >> (8 * i)));
}
// Appends x as `count` bytes, high byte first.
inline void PutBe(Bytes& v, uint32_t x, int count = 2) {
    for (int i = count - 1; i >= 0; --i)
        v.push_back(static_cast<uint8_t>(x >> (8 * i)));
}
inline void PutLe16(Bytes& v, uint32_t x) {
    PutLe(v, x, 2);
}
inline void PutBe32(Bytes& v, uint32_t x) {
    PutBe(v, x, 4);
}
inline void Append(Bytes& v, const Bytes& tail) {
    v.insert(v.end(), tail.begin(), tail.end());
}
inline Bytes Cat(Bytes a, const Bytes& b) {
    Append(a, b);
    return a;
}

}  // namespace testsupport
