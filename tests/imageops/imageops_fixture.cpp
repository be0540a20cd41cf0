#include "imageops_fixture.h"

#include "imageops/rotate_bits.h"

namespace imageops_test {

namespace {

void PutLE(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace

Dib NoisyPicture(int width, int height, int bits, uint32_t salt) {
    Dib d{width, height, bits, {}, {}};
    const size_t stride = imageops::DibRowBytes(width, bits);
    const size_t used = (static_cast<size_t>(width) * bits + 7) / 8;
    d.rows.assign(stride * height, 0);
    uint32_t state = (salt + 1) * 0x9E3779B1u;
    for (int y = 0; y < height; ++y)
        for (size_t i = 0; i < used; ++i) {
            state = state * 1664525u + 1013904223u;
            d.rows[y * stride + i] = static_cast<uint8_t>(state >> 24);
        }
    // Bits past the last pixel of a partly used byte are padding too.
    if (const int spare = static_cast<int>(used * 8 - static_cast<size_t>(width) * bits))
        for (int y = 0; y < height; ++y)
            d.rows[y * stride + used - 1] &= static_cast<uint8_t>(0xFF << spare);
    if (bits <= 8)
        for (int i = 0; i < (1 << bits); ++i)
            d.colors.push_back(RGBQUAD{static_cast<uint8_t>(i * 7), static_cast<uint8_t>(255 - i),
                                       static_cast<uint8_t>(i * 3 + 1), 0});
    return d;
}

Dib DibFrom(const oracle::RgbImage& picture) {
    Dib d{picture.width, picture.height, 24, {}, {}};
    const size_t stride = imageops::DibRowBytes(d.width, 24);
    d.rows.assign(stride * d.height, 0);
    for (int y = 0; y < d.height; ++y)
        for (int x = 0; x < d.width; ++x) {
            uint8_t* p = &d.rows[(d.height - 1 - y) * stride + x * 3];
            const uint8_t* c = picture.pixel(x, y);
            p[0] = c[2];
            p[1] = c[1];
            p[2] = c[0];
        }
    return d;
}

void WriteBmp(const std::string& path, const Dib& d) {
    const uint32_t offset = 54 + static_cast<uint32_t>(d.colors.size() * 4);
    std::vector<uint8_t> out{'B', 'M'};
    PutLE(out, offset + static_cast<uint32_t>(d.rows.size()), 4);
    PutLE(out, 0, 4);
    PutLE(out, offset, 4);
    PutLE(out, 40, 4);
    PutLE(out, static_cast<uint32_t>(d.width), 4);
    PutLE(out, static_cast<uint32_t>(d.height), 4);
    PutLE(out, 1, 2);
    PutLE(out, static_cast<uint32_t>(d.bits), 2);
    PutLE(out, 0, 4);
    PutLE(out, static_cast<uint32_t>(d.rows.size()), 4);
    for (int i = 0; i < 4; ++i)
        PutLE(out, 0, 4);
    for (const RGBQUAD& c : d.colors) {
        out.insert(out.end(), {c.rgbBlue, c.rgbGreen, c.rgbRed, 0});
    }
    out.insert(out.end(), d.rows.begin(), d.rows.end());
    testsupport::WriteBytes(path, out);
}

void Load(Sited& s, const testsupport::TempDir& dir, const Dib& dib) {
    static int serial = 0;
    const std::string path = dir.path("p" + std::to_string(++serial) + ".bmp");
    WriteBmp(path, dib);
    s.Set("FileName", Variant::Bstr(path));
}

Dib ReadBitmap(control::CLumoraCtrl& ctrl, int bits) {
    const HBITMAP bitmap = ctrl.PictureHolder().Picture()->Handle();
    std::vector<uint8_t> block(sizeof(BITMAPINFOHEADER) + 256 * 4);
    auto* info = reinterpret_cast<BITMAPINFO*>(block.data());
    info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    if (!platform::GetDIBits(0, bitmap, 0, 0, nullptr, info, DIB_RGB_COLORS)) return {};
    Dib d{info->bmiHeader.biWidth, std::abs(info->bmiHeader.biHeight), bits, {}, {}};
    info->bmiHeader.biHeight = d.height;
    info->bmiHeader.biBitCount = static_cast<uint16_t>(bits);
    info->bmiHeader.biCompression = BI_RGB;
    d.rows.resize(imageops::DibRowBytes(d.width, bits) * d.height);
    platform::GetDIBits(0, bitmap, 0, static_cast<uint32_t>(d.height), d.rows.data(), info,
                        DIB_RGB_COLORS);
    if (bits <= 8) d.colors.assign(info->bmiColors, info->bmiColors + (1 << bits));
    return d;
}

oracle::RgbImage ReadPicture(control::CLumoraCtrl& ctrl) {
    const Dib d = ReadBitmap(ctrl, 24);
    oracle::RgbImage out{
        d.width, d.height, std::vector<uint8_t>(size_t{3} * d.width * d.height), {}};
    const size_t stride = imageops::DibRowBytes(d.width, 24);
    for (int y = 0; y < d.height; ++y)
        for (int x = 0; x < d.width; ++x) {
            const uint8_t* p = &d.rows[(d.height - 1 - y) * stride + x * 3];
            uint8_t* q = &out.rgb[(static_cast<size_t>(y) * d.width + x) * 3];
            q[0] = p[2];
            q[1] = p[1];
            q[2] = p[0];
        }
    return out;
}

}  // namespace imageops_test
