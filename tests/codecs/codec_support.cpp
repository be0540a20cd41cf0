#include "codecs/codec_support.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <random>

#include <gtest/gtest.h>

#include "decode/loader_error.h"
#include "platform/gdi/gdi.h"
#include "platform/os/global_memory.h"
#include "platform/os/handles.h"
#include "support/testdata.h"

namespace codecs_test {

uint8_t Decoded::Index(int x, int y) const {
    return rows[static_cast<size_t>(height - 1 - y) * stride + static_cast<size_t>(x)];
}

std::array<uint8_t, 3> Decoded::Rgb(int x, int y) const {
    if (bitCount == 8) {
        const uint8_t i = Index(x, y);
        return {palette[3 * i], palette[3 * i + 1], palette[3 * i + 2]};
    }
    const uint8_t* p =
        &rows[static_cast<size_t>(height - 1 - y) * stride + 3 * static_cast<size_t>(x)];
    return {p[2], p[1], p[0]};
}

oracle::RgbImage Decoded::Picture() const {
    oracle::RgbImage out{width, height, {}, {}};
    out.rgb.reserve(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const auto c = Rgb(x, y);
            out.rgb.insert(out.rgb.end(), c.begin(), c.end());
        }
    }
    return out;
}

bool Decoded::GreyRamp() const {
    for (int i = 0; i < 256; ++i) {
        if (palette[3 * i] != i || palette[3 * i + 1] != i || palette[3 * i + 2] != i) return false;
    }
    return true;
}

namespace {

// Copies the picture out of the block the module returned and frees the block.
ReadResult TakeBlock(int32_t code, const BITMAPINFOHEADER& header, const uint8_t* palette) {
    ReadResult result;
    result.code = code;
    if (code <= 0) return result;
    const HGLOBAL block = static_cast<HGLOBAL>(code);
    Decoded& d = result.picture;
    d.width = header.biWidth;
    d.height = header.biHeight;
    d.bitCount = header.biBitCount;
    const size_t rowBytes = static_cast<size_t>(d.width) * (d.bitCount == 24 ? 3 : 1);
    d.stride = (rowBytes + 3) & ~size_t{3};
    std::memcpy(d.palette.data(), palette, 768);
    const size_t bytes = d.stride * static_cast<size_t>(d.height);
    result.blockLargeEnough = platform::GlobalSize(block) >= bytes;
    if (auto* p = static_cast<const uint8_t*>(platform::GlobalLock(block));
        p && result.blockLargeEnough) {
        d.rows.assign(p, p + bytes);
    }
    platform::GlobalUnlock(block);
    platform::GlobalFree(block);
    return result;
}

}  // namespace

ReadResult CallReadJpg(ReadJPGProc read, const fs::path& file, const JpegOptions& o) {
    BITMAPINFOHEADER header{};
    std::array<uint8_t, 768> palette{};
    const int32_t code = read(file.c_str(), o.dc, 0, o.fancyUpsampling, o.twoPassQuantize,
                              o.jpegDither, o.dctMethod, palette.data(), &header);
    return TakeBlock(code, header, palette.data());
}

ReadResult CallReadPng(ReadPNGProc read, const fs::path& file) {
    BITMAPINFOHEADER header{};
    std::array<uint8_t, 768> palette{};
    const int32_t code = read(file.c_str(), 0, palette.data(), &header);
    return TakeBlock(code, header, palette.data());
}

ReadResult CallReadDcm(ReadDCMProc read, const fs::path& file, int32_t& imageNumber) {
    BITMAPINFOHEADER header{};
    std::array<uint8_t, 768> palette{};
    const int32_t code = read(file.c_str(), palette.data(), &header, &imageNumber);
    return TakeBlock(code, header, palette.data());
}

bool Succeeds(const std::string& command) {
    return oracle::RunCommand(command).has_value();
}

std::string ReadBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> DamagedCopies(const std::string& original, int count) {
    std::vector<std::string> copies;
    std::mt19937 random(20240611);
    for (int i = 0; i < count && !original.empty(); ++i) {
        std::string b = original;
        auto position = [&] {
            return std::uniform_int_distribution<size_t>(0, b.size() - 1)(random);
        };
        switch (i % 4) {
            case 0:
                b.resize(position());
                break;
            case 1:
            case 2: {
                const int bytes = 1 + static_cast<int>(random() % 8);
                for (int k = 0; k < bytes && !b.empty(); ++k)
                    b[position()] = static_cast<char>(random());
                break;
            }
            default:
                b.insert(position(), std::string(1 + random() % 16, static_cast<char>(random())));
                break;
        }
        copies.push_back(std::move(b));
    }
    return copies;
}

namespace {

// CRC-32 of bytes [from, to), as PNG chunks carry it.
uint32_t Crc32(const std::string& bytes, size_t from, size_t to) {
    uint32_t crc = 0xFFFFFFFF;
    for (size_t i = from; i < to; ++i) {
        crc ^= static_cast<uint8_t>(bytes[i]);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

uint32_t Be32(const std::string& b, size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(b[at])) << 24 |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 1])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 2])) << 8 |
           static_cast<uint8_t>(b[at + 3]);
}
}  // namespace

double PngViewingGamma(const std::string& png) {
    double gamma = 0;
    for (size_t at = 8; at + 12 <= png.size();) {
        const uint32_t length = Be32(png, at);
        const std::string type = png.substr(at + 4, 4);
        if (type == "sRGB" || type == "iCCP") return 0;
        if (type == "IDAT") break;
        if (type == "gAMA" && length == 4 && at + 16 <= png.size())
            gamma = Be32(png, at + 8) / 100000.0 * 2.2;
        if (length > png.size() - at - 12) break;
        at += 12 + length;
    }
    return std::abs(gamma - 1) > 0.05 ? gamma : 0;
}

std::string FixPngCrcs(std::string png) {
    size_t at = 8;
    while (at + 12 <= png.size()) {
        const uint32_t length = Be32(png, at);
        if (length > png.size() - at - 12) break;
        const uint32_t crc = Crc32(png, at + 4, at + 8 + length);
        for (int i = 0; i < 4; ++i)
            png[at + 8 + length + i] = static_cast<char>(crc >> (24 - 8 * i));
        at += 12 + length;
    }
    return png;
}

void WriteBytes(const fs::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

DisplayDepthScope::DisplayDepthScope(int bits) : previous_(platform::DisplayDepth()) {
    platform::SetDisplayDepth(bits);
}

DisplayDepthScope::~DisplayDepthScope() {
    platform::SetDisplayDepth(previous_);
}

void ExpectSurvivesDamage(const std::vector<fs::path>& files, int copies, const DamagedRead& read) {
    const size_t memoryBefore = platform::CountHandles(platform::HandleKind::Memory);
    int pictures = 0, failures = 0;
    for (const fs::path& file : files) {
        const auto damaged = DamagedCopies(ReadBytes(file), copies);
        for (size_t i = 0; i < damaged.size(); ++i) {
            SCOPED_TRACE(testing::Message() << file.filename() << " copy " << i);
            const ReadResult got = read(damaged[i], i);
            if (got.code > 0) {
                EXPECT_TRUE(got.blockLargeEnough);
                EXPECT_GT(got.picture.width, 0);
                EXPECT_LE(got.picture.width, 32767);
                EXPECT_TRUE(got.picture.bitCount == 8 || got.picture.bitCount == 24);
                ++pictures;
            } else {
                EXPECT_TRUE(IsReadFailure(got.code)) << got.code;
                ++failures;
            }
        }
    }
    EXPECT_GT(pictures, 0);
    EXPECT_GT(failures, 0);
    EXPECT_EQ(platform::CountHandles(platform::HandleKind::Memory), memoryBefore);
}

std::vector<oracle::RgbImage> Dcmtk(const fs::path& file, int frame) {
    const bool windowed = oracle::RunCommand("dcmdump -q +P 0028,1050 " + Quote(file)) != "";
    const std::string options =
        std::string(windowed ? " +Wi 1" : " +Wm") + " +op +F " + std::to_string(frame) + " ";
    auto frames = oracle::RunPnmCommand("dcmj2pnm" + options + Quote(file));
    return frames.empty() ? oracle::RunPnmCommand("dcml2pnm" + options + Quote(file)) : frames;
}

}  // namespace codecs_test
