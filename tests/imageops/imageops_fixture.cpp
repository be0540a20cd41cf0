#include "imageops_fixture.h"

#include "imageops/rotate_bits.h"
#include "support/bytes.h"

namespace imageops_test {

Dib NoisyPicture(int width, int height, int bits, uint32_t salt) {
    Dib d{width, height, bits, {}, {}};
    const size_t stride = imageops::DibRowBytes(width, bits);
    const size_t used = (static_cast<size_t>(width) * bits + 7) / 8;
    // Bits past the last pixel of a partly used byte are padding too.
    const auto last = static_cast<uint8_t>(0xFF << (used * 8 - static_cast<size_t>(width) * bits));
    d.rows.assign(stride * height, 0);
    uint32_t state = (salt + 1) * 0x9E3779B1u;
    for (int y = 0; y < height; ++y)
        for (size_t i = 0; i < used; ++i) {
            state = state * 1664525u + 1013904223u;
            d.rows[y * stride + i] =
                static_cast<uint8_t>(state >> 24) & (i + 1 < used ? 0xFF : last);
        }
    for (int i = 0; bits <= 8 && i < (1 << bits); ++i)
        d.colors.push_back(RGBQUAD{static_cast<uint8_t>(i * 7), static_cast<uint8_t>(255 - i),
                                   static_cast<uint8_t>(i * 3 + 1), 0});
    return d;
}

void Load(Sited& s, const Dib& d) {
    const auto offset = static_cast<uint32_t>(54 + d.colors.size() * 4);
    testsupport::Bytes out{'B', 'M'};
    for (uint32_t v : {offset + static_cast<uint32_t>(d.rows.size()), 0u, offset, 40u,
                       static_cast<uint32_t>(d.width), static_cast<uint32_t>(d.height)})
        testsupport::PutLe(out, v, 4);
    testsupport::PutLe(out, 1);
    testsupport::PutLe(out, static_cast<uint32_t>(d.bits));
    for (uint32_t v : {0u, static_cast<uint32_t>(d.rows.size()), 0u, 0u, 0u, 0u})
        testsupport::PutLe(out, v, 4);
    for (const RGBQUAD& c : d.colors)
        out.insert(out.end(), {c.rgbBlue, c.rgbGreen, c.rgbRed, 0});
    out.insert(out.end(), d.rows.begin(), d.rows.end());
    const std::string path = s.dir.path("picture.bmp");
    testsupport::WriteBytes(path, out);
    s.Set("FileName", Variant::Bstr(path));
}

void Load(Sited& s, const oracle::RgbImage& picture) {
    const std::string path = s.dir.path("picture.ppm");
    ASSERT_TRUE(testsupport::WritePpm(path, picture));
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
    oracle::RgbImage out{d.width, d.height, {}, {}};
    const size_t stride = imageops::DibRowBytes(d.width, 24);
    for (int y = d.height - 1; y >= 0; --y)
        for (int x = 0; x < d.width; ++x)
            for (int c = 2; c >= 0; --c)
                out.rgb.push_back(d.rows[y * stride + x * 3 + c]);
    return out;
}

}  // namespace imageops_test
