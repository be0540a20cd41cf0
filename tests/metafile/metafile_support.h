// Byte builders for Windows and enhanced metafiles; the drawing board comes from the raster
// engine's test helpers.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "platform/gdi_support.h"
#include "platform/metafile/metafile.h"

namespace meta_test {

using namespace gdi_test;

inline void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// A 24-bit bottom-up packed DIB from colours given top row first.
inline std::vector<uint8_t> PackedDib24(int width, int height, const std::vector<COLORREF>& top) {
    std::vector<uint8_t> out;
    for (uint32_t v : {40u, static_cast<uint32_t>(width), static_cast<uint32_t>(height)})
        Put32(out, v);
    Put16(out, 1);
    Put16(out, 24);
    for (int i = 0; i < 6; ++i)
        Put32(out, 0);
    const int stride = ((width * 24 + 31) / 32) * 4;
    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width; ++x) {
            const COLORREF c = top[static_cast<size_t>(y) * width + x];
            out.push_back(GetBValue(c));
            out.push_back(GetGValue(c));
            out.push_back(GetRValue(c));
        }
        for (int pad = width * 3; pad < stride; ++pad)
            out.push_back(0);
    }
    return out;
}

// The placeable header that goes before a Windows metafile in a file: its box in logical units,
// the units per inch and the checksum of the header's words.
inline std::vector<uint8_t> PlaceableBytes(int left, int top, int right, int bottom, int inch) {
    std::vector<uint8_t> out;
    for (int w : {0xCDD7, 0x9AC6, 0, left, top, right, bottom, inch, 0, 0})
        Put16(out, static_cast<uint16_t>(w));
    uint16_t sum = 0;
    for (size_t i = 0; i < out.size(); i += 2)
        sum ^= static_cast<uint16_t>(out[i] | out[i + 1] << 8);
    Put16(out, sum);
    return out;
}

// Records of a Windows metafile; parameters are 16-bit words in file order.
class WmfBuilder {
  public:
    explicit WmfBuilder(uint16_t objects = 8) : objects_(objects) {}
    WmfBuilder& Rec(uint16_t function, std::initializer_list<int> words) {
        return Rec(function, std::vector<int>(words));
    }
    WmfBuilder& Rec(uint16_t function, const std::vector<int>& words) {
        Put32(body_, static_cast<uint32_t>(3 + words.size()));
        Put16(body_, function);
        for (int w : words)
            Put16(body_, static_cast<uint16_t>(w));
        return *this;
    }
    // Words followed by raw bytes (padded to a whole word).
    WmfBuilder& RecBytes(uint16_t function, const std::vector<int>& words,
                         const std::vector<uint8_t>& bytes) {
        const size_t padded = (bytes.size() + 1) / 2;
        Put32(body_, static_cast<uint32_t>(3 + words.size() + padded));
        Put16(body_, function);
        for (int w : words)
            Put16(body_, static_cast<uint16_t>(w));
        body_.insert(body_.end(), bytes.begin(), bytes.end());
        if (bytes.size() % 2) body_.push_back(0);
        return *this;
    }
    static int Lo(COLORREF c) { return static_cast<int>(c & 0xFFFF); }
    static int Hi(COLORREF c) { return static_cast<int>(c >> 16); }
    std::vector<uint8_t> Bytes() const {
        std::vector<uint8_t> out;
        Put16(out, 1);
        Put16(out, 9);
        Put16(out, 0x300);
        Put32(out, static_cast<uint32_t>((18 + body_.size() + 6) / 2));
        Put16(out, objects_);
        Put32(out, 0);
        Put16(out, 0);
        out.insert(out.end(), body_.begin(), body_.end());
        Put32(out, 3);
        Put16(out, 0);
        return out;
    }

  private:
    uint16_t objects_;
    std::vector<uint8_t> body_;
};

// Records of an enhanced metafile on a reference device of 10 pixels per millimetre, so a
// frame of 1000 (0.01 mm) is 100 reference pixels.
class EmfBuilder {
  public:
    EmfBuilder(RECT frame, uint16_t handles = 8) : frame_(frame), handles_(handles) {}
    EmfBuilder& Rec(uint32_t type, std::initializer_list<uint32_t> values) {
        std::vector<uint8_t> payload;
        for (uint32_t v : values)
            Put32(payload, v);
        return Raw(type, payload);
    }
    EmfBuilder& Raw(uint32_t type, std::vector<uint8_t> payload) {
        while (payload.size() % 4)
            payload.push_back(0);
        Put32(body_, type);
        Put32(body_, static_cast<uint32_t>(8 + payload.size()));
        body_.insert(body_.end(), payload.begin(), payload.end());
        ++records_;
        return *this;
    }
    std::vector<uint8_t> Bytes() const {
        std::vector<uint8_t> out;
        Put32(out, 1);
        Put32(out, 88);
        for (int32_t v : {0, 0, 100, 100})
            Put32(out, static_cast<uint32_t>(v));
        for (int32_t v : {frame_.left, frame_.top, frame_.right, frame_.bottom})
            Put32(out, static_cast<uint32_t>(v));
        Put32(out, 0x464D4520);
        Put32(out, 0x10000);
        Put32(out, static_cast<uint32_t>(88 + body_.size() + 20));
        Put32(out, records_ + 2);
        Put16(out, handles_);
        Put16(out, 0);
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

inline uint32_t U(int32_t v) {
    return static_cast<uint32_t>(v);
}
constexpr uint32_t kStock = 0x80000000u;

}  // namespace meta_test
