// Byte builders for Windows and enhanced metafiles, and pixel probes on the raster engine's
// drawing board.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "platform/gdi_support.h"
#include "platform/metafile/metafile.h"
#include "platform/os/handles.h"
#include "support/bytes.h"

namespace meta_test {

using namespace gdi_test;
using testsupport::Bytes;

inline void Put16(Bytes& out, uint32_t v) {
    testsupport::PutLe(out, v, 2);
}
inline void Put32(Bytes& out, uint32_t v) {
    testsupport::PutLe(out, v, 4);
}
inline uint32_t U(int32_t v) {
    return static_cast<uint32_t>(v);
}
constexpr uint32_t kStock = 0x80000000u;
constexpr COLORREF kGreen = RGB(0, 255, 0);

// A pixel and the colour it must have.
struct Probe {
    int x, y;
    COLORREF colour;
};
inline void ExpectPixels(const Board& board, std::initializer_list<Probe> probes) {
    for (const Probe& p : probes)
        EXPECT_EQ(board.At(p.x, p.y), p.colour) << "at " << p.x << "," << p.y;
}

// A 24-bit bottom-up packed DIB from colours given top row first.
inline Bytes PackedDib24(int width, int height, const std::vector<COLORREF>& top) {
    Bytes out;
    for (uint32_t v : {40u, U(width), U(height), 0x180001u, 0u, 0u, 0u, 0u, 0u, 0u})
        Put32(out, v);
    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width; ++x) {
            const COLORREF c = top[static_cast<size_t>(y) * width + x];
            out.insert(out.end(), {GetBValue(c), GetGValue(c), GetRValue(c)});
        }
        out.resize(out.size() + (4 - width * 3 % 4) % 4, 0);
    }
    return out;
}

// Records of a Windows metafile; parameters are 16-bit words in file order, then raw bytes
// padded to a whole word.
class WmfBuilder {
  public:
    explicit WmfBuilder(uint16_t objects = 8) : objects_(objects) {}
    WmfBuilder& Rec(uint16_t function, const std::vector<int>& words,
                    const std::vector<uint8_t>& bytes = {}) {
        Put32(body_, static_cast<uint32_t>(3 + words.size() + (bytes.size() + 1) / 2));
        Put16(body_, function);
        for (int w : words)
            Put16(body_, static_cast<uint16_t>(w));
        body_.insert(body_.end(), bytes.begin(), bytes.end());
        body_.resize(body_.size() + bytes.size() % 2, 0);
        return *this;
    }
    static int Lo(COLORREF c) { return static_cast<int>(c & 0xFFFF); }
    static int Hi(COLORREF c) { return static_cast<int>(c >> 16); }
    std::vector<uint8_t> Bytes() const {
        std::vector<uint8_t> out;
        for (uint32_t w : {1u, 9u, 0x300u})
            Put16(out, w);
        Put32(out, static_cast<uint32_t>((18 + body_.size() + 6) / 2));
        for (uint32_t w : {uint32_t{objects_}, 0u, 0u, 0u})  // largest record, no parameters
            Put16(out, w);
        out.insert(out.end(), body_.begin(), body_.end());
        Put32(out, 3);
        Put16(out, 0);
        return out;
    }

  private:
    uint16_t objects_;
    std::vector<uint8_t> body_;
};

// The placeable header that goes before a Windows metafile in a file: its box in logical units,
// the units per inch and the checksum of the header's words.
inline Bytes PlaceableBytes(int left, int top, int right, int bottom, int inch) {
    Bytes out;
    for (int w : {0xCDD7, 0x9AC6, 0, left, top, right, bottom, inch, 0, 0})
        Put16(out, static_cast<uint16_t>(w));
    uint16_t sum = 0;
    for (size_t i = 0; i < out.size(); i += 2)
        sum ^= static_cast<uint16_t>(out[i] | out[i + 1] << 8);
    Put16(out, sum);
    return out;
}

// Records of an enhanced metafile on a reference device of 10 pixels per millimetre, so a
// frame of 1000 (0.01 mm) is 100 reference pixels.
class EmfBuilder {
  public:
    explicit EmfBuilder(RECT frame = {0, 0, 1000, 1000}, uint16_t handles = 8)
        : frame_(frame), handles_(handles) {}
    EmfBuilder& Rec(uint32_t type, std::initializer_list<uint32_t> values) {
        std::vector<uint8_t> payload;
        for (uint32_t v : values)
            Put32(payload, v);
        return Raw(type, payload);
    }
    EmfBuilder& Raw(uint32_t type, std::vector<uint8_t> payload) {
        payload.resize((payload.size() + 3) / 4 * 4, 0);
        Put32(body_, type);
        Put32(body_, static_cast<uint32_t>(8 + payload.size()));
        body_.insert(body_.end(), payload.begin(), payload.end());
        ++records_;
        return *this;
    }
    std::vector<uint8_t> Bytes() const {
        std::vector<uint8_t> out;
        for (int32_t v : {1, 88, 0, 0, 100, 100, frame_.left, frame_.top, frame_.right,
                          frame_.bottom, 0x464D4520, 0x10000})
            Put32(out, U(v));
        Put32(out, static_cast<uint32_t>(88 + body_.size() + 20));
        Put32(out, records_ + 2);
        Put32(out, handles_);
        for (uint32_t v : {0u, 0u, 0u, 1000u, 1000u, 100u, 100u})
            Put32(out, v);
        out.insert(out.end(), body_.begin(), body_.end());
        for (uint32_t v : {14u, 20u, 0u, 16u, 20u})
            Put32(out, v);
        return out;
    }

  private:
    RECT frame_;
    uint16_t handles_;
    uint32_t records_ = 0;
    std::vector<uint8_t> body_;
};

// Plays a Windows metafile's bits into the DC.
inline void PlayWmf(HDC dc, const Bytes& bytes) {
    const HMETAFILE mf = SetMetaFileBitsEx(static_cast<uint32_t>(bytes.size()), bytes.data());
    ASSERT_NE(mf, 0u);
    EXPECT_TRUE(PlayMetaFile(dc, mf));
    EXPECT_TRUE(DeleteMetaFile(mf));
}

inline HENHMETAFILE MakeEmf(const Bytes& bytes) {
    return SetEnhMetaFileBits(static_cast<uint32_t>(bytes.size()), bytes.data());
}

// Plays an enhanced metafile into the rectangle, by default the whole of a 100 x 100 board.
inline void PlayEmf(HDC dc, const EmfBuilder& b, RECT target = {0, 0, 100, 100}) {
    const HENHMETAFILE emf = MakeEmf(b.Bytes());
    ASSERT_NE(emf, 0u);
    EXPECT_TRUE(PlayEnhMetaFile(dc, emf, &target));
    EXPECT_TRUE(DeleteEnhMetaFile(emf));
}

}  // namespace meta_test
