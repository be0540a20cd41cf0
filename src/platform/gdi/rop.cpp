#include "platform/gdi/rop.h"

#include <array>
#include <cstring>
#include <utility>

namespace platform::gdi {
namespace {

uint64_t Load(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

void Store(uint8_t* p, uint64_t v) {
    std::memcpy(p, &v, 8);
}

uint64_t Evaluate(uint8_t table, uint64_t p, uint64_t s, uint64_t d) {
    uint64_t r = 0;
    for (int index = 0; index < 8; ++index) {
        if (!((table >> index) & 1)) continue;
        r |= ((index & 4) ? p : ~p) & ((index & 2) ? s : ~s) & ((index & 1) ? d : ~d);
    }
    return r;
}

// Runs op over whole 64-bit words, then the tail byte by byte.
template <class Op>
void ForEachWord(uint8_t* dst, const uint8_t* source, const uint8_t* pattern, size_t n, Op op) {
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const uint64_t s = source ? Load(source + i) : 0;
        const uint64_t p = pattern ? Load(pattern + i) : 0;
        Store(dst + i, op(p, s, Load(dst + i)));
    }
    for (; i < n; ++i) {
        const uint64_t s = source ? source[i] : 0;
        const uint64_t p = pattern ? pattern[i] : 0;
        dst[i] = static_cast<uint8_t>(op(p, s, uint64_t{dst[i]}));
    }
}

// The truth table fixed at compile time: each operation becomes its own straight-line loop.
template <int T>
uint64_t EvaluateFixed(uint64_t p, uint64_t s, uint64_t d) {
    uint64_t r = 0;
    if constexpr ((T & 0x01) != 0) r |= ~p & ~s & ~d;
    if constexpr ((T & 0x02) != 0) r |= ~p & ~s & d;
    if constexpr ((T & 0x04) != 0) r |= ~p & s & ~d;
    if constexpr ((T & 0x08) != 0) r |= ~p & s & d;
    if constexpr ((T & 0x10) != 0) r |= p & ~s & ~d;
    if constexpr ((T & 0x20) != 0) r |= p & ~s & d;
    if constexpr ((T & 0x40) != 0) r |= p & s & ~d;
    if constexpr ((T & 0x80) != 0) r |= p & s & d;
    return r;
}

template <int T>
void FixedLoop(uint8_t* dst, const uint8_t* source, const uint8_t* pattern, size_t n) {
    ForEachWord(dst, source, pattern, n, EvaluateFixed<T>);
}

using RopLoop = void (*)(uint8_t*, const uint8_t*, const uint8_t*, size_t);

template <size_t... I>
constexpr std::array<RopLoop, 256> MakeLoops(std::index_sequence<I...>) {
    return {&FixedLoop<static_cast<int>(I)>...};
}

constexpr std::array<RopLoop, 256> kLoops = MakeLoops(std::make_index_sequence<256>{});

}  // namespace

void ApplyRopGeneric(uint8_t table, uint8_t* dst, const uint8_t* source, const uint8_t* pattern,
                     size_t n) {
    ForEachWord(dst, source, pattern, n,
                [table](uint64_t p, uint64_t s, uint64_t d) { return Evaluate(table, p, s, d); });
}

void ApplyRop(uint8_t table, uint8_t* dst, const uint8_t* source, const uint8_t* pattern,
              size_t n) {
    switch (table) {
        case 0xAA:  // destination unchanged
            return;
        case 0xCC:  // SRCCOPY
            std::memmove(dst, source, n);
            return;
        case 0xF0:  // PATCOPY
            std::memmove(dst, pattern, n);
            return;
        case 0x00:  // BLACKNESS
            std::memset(dst, 0, n);
            return;
        case 0xFF:  // WHITENESS
            std::memset(dst, 0xFF, n);
            return;
        case 0x88:  // SRCAND
            ForEachWord(dst, source, nullptr, n,
                        [](uint64_t, uint64_t s, uint64_t d) { return s & d; });
            return;
        case 0xEE:  // SRCPAINT
            ForEachWord(dst, source, nullptr, n,
                        [](uint64_t, uint64_t s, uint64_t d) { return s | d; });
            return;
        case 0x66:  // SRCINVERT
            ForEachWord(dst, source, nullptr, n,
                        [](uint64_t, uint64_t s, uint64_t d) { return s ^ d; });
            return;
        case 0x33:  // NOTSRCCOPY
            ForEachWord(dst, source, nullptr, n, [](uint64_t, uint64_t s, uint64_t) { return ~s; });
            return;
        case 0x55:  // DSTINVERT
            ForEachWord(dst, nullptr, nullptr, n,
                        [](uint64_t, uint64_t, uint64_t d) { return ~d; });
            return;
        case 0x5A:  // PATINVERT
            ForEachWord(dst, nullptr, pattern, n,
                        [](uint64_t p, uint64_t, uint64_t d) { return p ^ d; });
            return;
        case 0x44:  // SRCERASE
            ForEachWord(dst, source, nullptr, n,
                        [](uint64_t, uint64_t s, uint64_t d) { return s & ~d; });
            return;
        case 0x11:  // NOTSRCERASE
            ForEachWord(dst, source, nullptr, n,
                        [](uint64_t, uint64_t s, uint64_t d) { return ~(s | d); });
            return;
        case 0xBB:  // MERGEPAINT
            ForEachWord(dst, source, nullptr, n,
                        [](uint64_t, uint64_t s, uint64_t d) { return ~s | d; });
            return;
        case 0xC0:  // MERGECOPY
            ForEachWord(dst, source, pattern, n,
                        [](uint64_t p, uint64_t s, uint64_t) { return p & s; });
            return;
        default:
            kLoops[table](dst, source, pattern, n);
            return;
    }
}

}  // namespace platform::gdi
