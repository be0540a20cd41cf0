#include "support/oracle.h"

#include <sys/wait.h>

#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace oracle {

std::string ShellQuote(const std::string& s) {
    std::string out = "'";
    for (char c : s) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

bool ToolAvailable(const std::string& name) {
    return RunCommand("command -v " + ShellQuote(name) + " >/dev/null 2>&1").has_value();
}

std::optional<std::string> RunCommand(const std::string& command) {
    const std::string full = "(" + command + ") 2>/dev/null";
    FILE* pipe = popen(full.c_str(), "r");
    if (!pipe) return std::nullopt;
    std::string out;
    std::array<char, 65536> buffer;
    size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        out.append(buffer.data(), n);
    const int status = pclose(pipe);
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
    return out;
}

namespace {

class PnmParser {
  public:
    explicit PnmParser(const std::string& s) : s_(s) {}

    bool done() const { return pos_ >= s_.size(); }

    std::optional<RgbImage> next() {
        if (s_.size() - pos_ < 2 || s_[pos_] != 'P') return std::nullopt;
        const char kind = s_[pos_ + 1];
        if (kind == '7') {
            pos_ += 2;
            return pam();
        }
        if (kind < '1' || kind > '6') return std::nullopt;
        pos_ += 2;
        RgbImage img;
        long maxval = 1;
        if (!number(img.width) || !number(img.height)) return std::nullopt;
        if (kind != '1' && kind != '4') {
            int m;
            if (!number(m) || m < 1 || m > 65535) return std::nullopt;
            maxval = m;
        }
        if (img.width < 1 || img.height < 1) return std::nullopt;
        const bool ascii = kind <= '3';
        if (!ascii) ++pos_;  // the single whitespace byte before the raster
        const int channels = (kind == '3' || kind == '6') ? 3 : 1;
        const size_t count = static_cast<size_t>(img.width) * img.height;
        img.rgb.resize(count * 3);
        for (int y = 0; y < img.height; ++y) {
            size_t bitRowStart = pos_;
            for (int x = 0; x < img.width; ++x) {
                uint8_t* px = img.rgb.data() + (static_cast<size_t>(y) * img.width + x) * 3;
                if (kind == '4') {
                    const size_t at = bitRowStart + x / 8;
                    if (at >= s_.size()) return std::nullopt;
                    const bool black = (static_cast<uint8_t>(s_[at]) >> (7 - x % 8)) & 1;
                    px[0] = px[1] = px[2] = black ? 0 : 255;
                    continue;
                }
                for (int c = 0; c < channels; ++c) {
                    long v;
                    if (ascii) {
                        int t;
                        if (!number(t)) return std::nullopt;
                        v = t;
                    } else if (maxval < 256) {
                        if (pos_ >= s_.size()) return std::nullopt;
                        v = static_cast<uint8_t>(s_[pos_++]);
                    } else {
                        if (pos_ + 1 >= s_.size()) return std::nullopt;
                        v = static_cast<uint8_t>(s_[pos_]) * 256 +
                            static_cast<uint8_t>(s_[pos_ + 1]);
                        pos_ += 2;
                    }
                    if (kind == '1') v = v ? 0 : 1;  // PBM: 1 is black
                    const uint8_t scaled = static_cast<uint8_t>((v * 255 + maxval / 2) / maxval);
                    if (channels == 3)
                        px[c] = scaled;
                    else
                        px[0] = px[1] = px[2] = scaled;
                }
            }
            if (kind == '4') pos_ = bitRowStart + (img.width + 7) / 8;
        }
        if (pos_ > s_.size()) return std::nullopt;
        skipSpace();
        return img;
    }

  private:
    // PAM: a header of named fields, then DEPTH samples a pixel (grey, grey+alpha, RGB, RGBA).
    std::optional<RgbImage> pam() {
        RgbImage img;
        int depth = 0, maxval = 0;
        for (;;) {
            skipSpace();
            const size_t eol = s_.find('\n', pos_);
            if (eol == std::string::npos) return std::nullopt;
            const std::string line = s_.substr(pos_, eol - pos_);
            pos_ = eol + 1;
            if (line == "ENDHDR") break;
            const size_t space = line.find(' ');
            const std::string key = line.substr(0, space);
            const int value = space == std::string::npos ? 0 : std::atoi(line.c_str() + space + 1);
            if (key == "WIDTH") img.width = value;
            if (key == "HEIGHT") img.height = value;
            if (key == "DEPTH") depth = value;
            if (key == "MAXVAL") maxval = value;
        }
        if (img.width < 1 || img.height < 1 || depth < 1 || depth > 4 || maxval < 1 ||
            maxval > 65535)
            return std::nullopt;
        const size_t count = static_cast<size_t>(img.width) * img.height;
        const size_t sampleBytes = maxval < 256 ? 1 : 2;
        if (s_.size() - pos_ < count * depth * sampleBytes) return std::nullopt;
        const bool hasAlpha = depth == 2 || depth == 4;
        img.rgb.resize(count * 3);
        if (hasAlpha) img.alpha.resize(count);
        for (size_t i = 0; i < count; ++i) {
            uint8_t samples[4];
            for (int c = 0; c < depth; ++c) {
                long v = static_cast<uint8_t>(s_[pos_]);
                if (sampleBytes == 2) v = v * 256 + static_cast<uint8_t>(s_[pos_ + 1]);
                pos_ += sampleBytes;
                samples[c] = static_cast<uint8_t>((v * 255 + maxval / 2) / maxval);
            }
            const bool colour = depth >= 3;
            img.rgb[i * 3] = samples[0];
            img.rgb[i * 3 + 1] = samples[colour ? 1 : 0];
            img.rgb[i * 3 + 2] = samples[colour ? 2 : 0];
            if (hasAlpha) img.alpha[i] = samples[depth - 1];
        }
        skipSpace();
        return img;
    }

    void skipSpace() {
        while (pos_ < s_.size()) {
            if (s_[pos_] == '#') {
                while (pos_ < s_.size() && s_[pos_] != '\n')
                    ++pos_;
            } else if (std::isspace(static_cast<unsigned char>(s_[pos_]))) {
                ++pos_;
            } else {
                break;
            }
        }
    }
    bool number(int& out) {
        skipSpace();
        long v = 0;
        size_t digits = 0;
        while (pos_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[pos_])) &&
               digits < 9) {
            v = v * 10 + (s_[pos_++] - '0');
            ++digits;
        }
        out = static_cast<int>(v);
        return digits > 0;
    }

    const std::string& s_;
    size_t pos_ = 0;
};

}  // namespace

std::vector<RgbImage> ParsePnmStream(const std::string& bytes) {
    std::vector<RgbImage> out;
    PnmParser parser(bytes);
    while (!parser.done()) {
        auto img = parser.next();
        if (!img) break;
        out.push_back(std::move(*img));
    }
    return out;
}

std::vector<RgbImage> RunPnmCommand(const std::string& command) {
    const auto bytes = RunCommand(command);
    if (!bytes) return {};
    return ParsePnmStream(*bytes);
}

std::vector<RgbImage> ImageMagickFrames(const std::string& path, int frame) {
    std::string source = path;
    if (frame >= 0) source += "[" + std::to_string(frame) + "]";
    // +repage drops the page offset so each frame comes out as its own raster; PAM keeps alpha.
    return RunPnmCommand("convert " + ShellQuote(source) + " +repage -depth 8 pam:-");
}

RgbImage FirstPicture(const std::string& command) {
    auto pictures = RunPnmCommand(command);
    return pictures.empty() ? RgbImage{} : std::move(pictures.front());
}

RgbImage ImageMagickUpright(const std::string& path, const std::string& prefix) {
    return FirstPicture("convert " + prefix + ShellQuote(path + "[0]") +
                        " -auto-orient +repage -depth 8 pam:-");
}

}  // namespace oracle
