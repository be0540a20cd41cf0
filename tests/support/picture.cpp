#include "support/picture.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "decode/loader.h"
#include "decode/loader_error.h"
#include "platform/gdi/gdi.h"
#include "support/testdata.h"

namespace testsupport {

int ReaderRun::index(int x, int y) const {
    const uint8_t* r = img.row(y);
    switch (img.header.biBitCount) {
        case 1:
            return (r[x / 8] >> (7 - x % 8)) & 1;
        case 4:
            return (x & 1) ? r[x / 2] & 0x0F : r[x / 2] >> 4;
        default:
            return r[x];
    }
}

std::array<uint8_t, 3> ReaderRun::rgb(int x, int y) const {
    const int bits = img.header.biBitCount;
    if (bits <= 8) {
        const uint8_t* p = img.rgbPalette.data() + 3 * index(x, y);
        return {p[0], p[1], p[2]};
    }
    const uint8_t* p = img.row(y) + static_cast<size_t>(x) * (bits / 8);
    return {p[2], p[1], p[0]};
}

oracle::RgbImage ReaderRun::picture() const {
    oracle::RgbImage out;
    out.width = width();
    out.height = height();
    out.rgb.reserve(static_cast<size_t>(out.width) * out.height * 3);
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x) {
            const auto c = rgb(x, y);
            out.rgb.insert(out.rgb.end(), c.begin(), c.end());
        }
    return out;
}

std::unique_ptr<ReaderRun> RunReader(decode::ReaderFn reader, const Bytes& bytes,
                                     const decode::LoadOptions& options) {
    auto run = std::make_unique<ReaderRun>();
    decode::ByteReader in(bytes);
    run->rc = reader(run->img, in, options);
    return run;
}

FileLoad LoadFile(const std::string& path, const decode::LoadOptions& options) {
    FileLoad out;
    decode::DecodedImage img;
    HDC dc = platform::GetDC(0);
    HBITMAP bitmap = decode::LoadImageFile(img, path, dc, options);
    out.rc = img.errorCode;
    out.format = img.format;
    out.pixelBits = img.header.biBitCount;
    if (bitmap) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = img.header.biWidth;
        info.bmiHeader.biHeight = -img.header.biHeight;  // top row first
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 24;
        const int w = img.header.biWidth, h = img.header.biHeight;
        const size_t stride = (static_cast<size_t>(w) * 3 + 3) & ~size_t{3};
        std::vector<uint8_t> bgr(stride * h);
        if (platform::GetDIBits(dc, bitmap, 0, h, bgr.data(), &info, DIB_RGB_COLORS) == h) {
            out.picture.width = w;
            out.picture.height = h;
            out.picture.rgb.resize(static_cast<size_t>(w) * h * 3);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    for (int c = 0; c < 3; ++c)
                        out.picture.rgb[(static_cast<size_t>(y) * w + x) * 3 + c] =
                            bgr[y * stride + x * 3 + 2 - c];
        }
        platform::DeleteObject(bitmap);
    }
    if (img.paletteHandle) platform::DeleteObject(img.paletteHandle);
    if (img.maskBitmap) platform::DeleteObject(img.maskBitmap);
    platform::ReleaseDC(0, dc);
    return out;
}

bool IsLoaderCode(int32_t rc) {
    return rc == 0 || (rc <= decode::kCouldNotOpen && rc >= decode::kNoDicomModule);
}

std::string ComparePictures(const oracle::RgbImage& got, const oracle::RgbImage& want,
                            int tolerance) {
    std::ostringstream s;
    if (got.width != want.width || got.height != want.height) {
        s << "size " << got.width << "x" << got.height << ", expected " << want.width << "x"
          << want.height;
        return s.str();
    }
    size_t bad = 0;
    for (int y = 0; y < got.height; ++y)
        for (int x = 0; x < got.width; ++x) {
            const uint8_t *a = got.pixel(x, y), *b = want.pixel(x, y);
            if (std::abs(a[0] - b[0]) <= tolerance && std::abs(a[1] - b[1]) <= tolerance &&
                std::abs(a[2] - b[2]) <= tolerance)
                continue;
            if (++bad <= 5)
                s << "(" << x << "," << y << ") got " << int(a[0]) << "," << int(a[1]) << ","
                  << int(a[2]) << " expected " << int(b[0]) << "," << int(b[1]) << "," << int(b[2])
                  << "; ";
        }
    if (bad) s << bad << " pixels differ";
    return s.str();
}

oracle::RgbImage TestPattern(int width, int height, uint32_t variant) {
    oracle::RgbImage p;
    p.width = width;
    p.height = height;
    p.rgb.reserve(static_cast<size_t>(width) * height * 3);
    uint32_t state = 2463534242u ^ (variant * 2654435761u);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            const int grain = static_cast<int>(state % 25) - 12;
            const bool band = ((x + y + static_cast<int>(variant)) / 7) % 3 == 0;
            const int r = 255 * x / std::max(1, width - 1);
            const int g = 255 * y / std::max(1, height - 1);
            const int b = 200 - (r + g) / 4;
            // The bands darken all channels alike: hard edges in brightness, smooth colour,
            // as in photographs (and what lossy coders with subsampled colour expect).
            const int shade = band ? 60 : 0;
            for (int c : {r, g, b})
                p.rgb.push_back(static_cast<uint8_t>(std::clamp(c - shade + grain, 0, 255)));
        }
    return p;
}

oracle::RgbImage MakePicture(int width, int height, const std::vector<Rgb>& colours,
                             uint32_t salt) {
    oracle::RgbImage p;
    p.width = width;
    p.height = height;
    uint32_t state = salt * 2654435761u + 1;
    const size_t n = static_cast<size_t>(width) * height;
    for (size_t i = 0; i < n; ++i) {
        state = state * 1664525u + 1013904223u;
        // The first pixels walk the list so that every colour is used.
        const size_t pick = i < colours.size() ? i : (state >> 8) % colours.size();
        p.rgb.insert(p.rgb.end(), colours[pick].begin(), colours[pick].end());
    }
    return p;
}

std::vector<Rgb> Colours(int count, uint32_t salt) {
    std::vector<Rgb> out;
    uint32_t state = salt + 7;
    while (static_cast<int>(out.size()) < count) {
        state = state * 1103515245u + 12345u;
        const Rgb c = {static_cast<uint8_t>(state >> 24), static_cast<uint8_t>(state >> 16),
                       static_cast<uint8_t>(state >> 8)};
        if (std::find(out.begin(), out.end(), c) == out.end()) out.push_back(c);
    }
    return out;
}

std::vector<Rgb> Greys(int count) {
    std::vector<Rgb> out;
    for (int i = 0; i < count; ++i) {
        const auto g = static_cast<uint8_t>(count > 1 ? i * 255 / (count - 1) : 0);
        out.push_back({g, g, g});
    }
    return out;
}

oracle::RgbImage FlipRows(const oracle::RgbImage& p) {
    oracle::RgbImage out = p;
    const size_t row = static_cast<size_t>(p.width) * 3;
    for (int y = 0; y < p.height; ++y)
        std::copy_n(p.rgb.begin() + static_cast<std::ptrdiff_t>(row * (p.height - 1 - y)), row,
                    out.rgb.begin() + static_cast<std::ptrdiff_t>(row * y));
    return out;
}

bool SamePattern(const oracle::RgbImage& a, const oracle::RgbImage& b) {
    if (a.width != b.width || a.height != b.height || a.rgb.size() != b.rgb.size()) return false;
    std::map<Rgb, Rgb> forward, backward;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x) {
            const uint8_t *pa = a.pixel(x, y), *pb = b.pixel(x, y);
            const Rgb ca = {pa[0], pa[1], pa[2]}, cb = {pb[0], pb[1], pb[2]};
            if (forward.emplace(ca, cb).first->second != cb) return false;
            if (backward.emplace(cb, ca).first->second != ca) return false;
        }
    return true;
}

namespace {
bool WritePnm(const std::string& path, const std::string& magic, const oracle::RgbImage& p,
              const Bytes& body) {
    std::ofstream f(path, std::ios::binary);
    f << magic << "\n" << p.width << " " << p.height << "\n";
    if (magic != "P4") f << "255\n";
    f.write(reinterpret_cast<const char*>(body.data()), static_cast<std::streamsize>(body.size()));
    return static_cast<bool>(f);
}
}  // namespace

bool WritePpm(const std::string& path, const oracle::RgbImage& p) {
    return WritePnm(path, "P6", p, p.rgb);
}

bool WritePgm(const std::string& path, const oracle::RgbImage& p) {
    Bytes body;
    for (size_t i = 0; i < p.rgb.size(); i += 3)
        body.push_back(p.rgb[i]);
    return WritePnm(path, "P5", p, body);
}

bool WritePbm(const std::string& path, const oracle::RgbImage& p) {
    Bytes body;
    const size_t rowBytes = (static_cast<size_t>(p.width) + 7) / 8;
    for (int y = 0; y < p.height; ++y) {
        Bytes row(rowBytes, 0);
        for (int x = 0; x < p.width; ++x)
            if (p.pixel(x, y)[0] < 128) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        Append(body, row);
    }
    return WritePnm(path, "P4", p, body);
}

std::vector<std::filesystem::path> SampleFiles(const std::string& folder,
                                               const std::string& extension) {
    std::vector<std::filesystem::path> out;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(TestData(folder), ec))
        if (e.is_regular_file() && (extension.empty() || e.path().extension() == extension))
            out.push_back(e.path());
    std::sort(out.begin(), out.end());
    return out;
}

Bytes ReadBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "lumora_test_XXXXXX").string();
    if (mkdtemp(pattern.data())) dir = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    if (!dir.empty()) std::filesystem::remove_all(dir, ignored);
}

}  // namespace testsupport
