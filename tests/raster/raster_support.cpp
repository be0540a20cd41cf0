#include "raster/raster_support.h"

#include <algorithm>
#include <fstream>
#include <map>

namespace rastertest {

void PutLe16(Bytes& v, uint32_t x) {
    v.push_back(x & 0xFF);
    v.push_back((x >> 8) & 0xFF);
}

void PutBe32(Bytes& v, uint32_t x) {
    for (int shift = 24; shift >= 0; shift -= 8)
        v.push_back((x >> shift) & 0xFF);
}

void Append(Bytes& v, const Bytes& tail) {
    v.insert(v.end(), tail.begin(), tail.end());
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

namespace {
void WritePnm(const std::string& path, const std::string& magic, const oracle::RgbImage& p,
              const Bytes& body) {
    std::ofstream f(path, std::ios::binary);
    f << magic << "\n" << p.width << " " << p.height << "\n";
    if (magic != "P4") f << "255\n";
    f.write(reinterpret_cast<const char*>(body.data()), static_cast<std::streamsize>(body.size()));
}
}  // namespace

void WritePpm(const std::string& path, const oracle::RgbImage& p) {
    WritePnm(path, "P6", p, p.rgb);
}

void WritePgm(const std::string& path, const oracle::RgbImage& p) {
    Bytes body;
    for (size_t i = 0; i < p.rgb.size(); i += 3)
        body.push_back(p.rgb[i]);
    WritePnm(path, "P5", p, body);
}

void WritePbm(const std::string& path, const oracle::RgbImage& p) {
    Bytes body;
    const size_t rowBytes = (static_cast<size_t>(p.width) + 7) / 8;
    for (int y = 0; y < p.height; ++y) {
        Bytes row(rowBytes, 0);
        for (int x = 0; x < p.width; ++x)
            if (p.pixel(x, y)[0] < 128) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        Append(body, row);
    }
    WritePnm(path, "P4", p, body);
}

namespace {
oracle::RgbImage First(std::vector<oracle::RgbImage> frames) {
    return frames.empty() ? oracle::RgbImage{} : std::move(frames.front());
}
}  // namespace

oracle::RgbImage ImageMagickUpright(const std::string& path) {
    return First(oracle::RunPnmCommand("convert " + oracle::ShellQuote(path + "[0]") +
                                       " -auto-orient +repage -depth 8 pam:-"));
}

oracle::RgbImage NetpbmDecode(const std::string& tool, const std::string& path) {
    return First(oracle::RunPnmCommand(tool + " " + oracle::ShellQuote(path) + " 2>/dev/null"));
}

std::vector<std::filesystem::path> SampleFiles(const std::string& folder) {
    std::vector<std::filesystem::path> out;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(kTestData / folder, ec))
        if (e.is_regular_file()) out.push_back(e.path());
    std::sort(out.begin(), out.end());
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

std::string Fill(std::string command, const std::string& src, const std::string& dst) {
    command.replace(command.find("%s"), 2, oracle::ShellQuote(src));
    command.replace(command.find("%d"), 2, oracle::ShellQuote(dst));
    return command;
}

}  // namespace rastertest
