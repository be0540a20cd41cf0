// EPS and PostScript files: the raster picture a handful of raster-writing programs embed.
//
// PostScript is not interpreted. The text is scanned line by line for the comments and operator
// lines those programs write (image operators, Photoshop's ImageData comment, Illustrator's
// raster blocks, EPSI previews, ...), which give the width, height and depth; the pixel data
// follows the line that ended the scan, as hex digits, run-length coded hex, or binary.
//
// A DOS EPS file starts with a 30-byte binary header (magic C5 D0 D3 C6, then the offsets and
// lengths of the PostScript section, a Windows metafile preview and a TIFF preview). With the
// preview option the TIFF preview is read by the TIFF reader, and a metafile preview is handed
// back to the control (kMetafileSignal, its position in img.epsMetafile); otherwise the
// PostScript section is scanned.
#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "decode/loader_error.h"
#include "decode/readers.h"

namespace decode {
namespace {

constexpr uint8_t kDosMagic[4] = {0xC5, 0xD0, 0xD3, 0xC6};
constexpr size_t kDosHeaderSize = 30;
// Lines are matched in a buffer of this many characters, padded with spaces, so a keyword
// written with a trailing space also matches at the very end of a line. No keyword ends in
// more than one space, so one space of padding matches exactly as a full buffer would.
constexpr size_t kLineLength = 4096;
constexpr size_t kPaddedBelow = 4095;

uint32_t U32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

enum Encoding { kBinary = 1, kHex = 2 };

// What the scan has found so far.
struct ScanState {
    int64_t width = 0;
    int64_t height = 0;
    int64_t bits = 0;
    int64_t channels = 1;
    int64_t encoding = kHex;
    int64_t paletteBytes = 0;
    bool runLength = false;
    bool planar = true;
    bool skipFirstPlane = false;
    bool cmyk = false;
    bool preview = false;
};

// The lines of the text, lower-cased and padded. A line ends at CR, LF or CR LF; a line longer
// than the buffer is cut and its rest read as the next line.
class LineReader {
  public:
    explicit LineReader(ByteReader& in) : in_(in) {}

    // False, with an empty line, at the end of the input.
    bool Next() {
        line_.clear();
        if (in_.eof()) return false;
        while (line_.size() < kLineLength) {
            const int c = in_.getc();
            if (c == ByteReader::kEof || c == '\n') break;
            if (c == '\r') {
                if (in_.peek() == '\n') in_.getc();
                break;
            }
            line_.push_back(static_cast<char>(std::tolower(c)));
        }
        if (line_.size() < kPaddedBelow) line_.push_back(' ');
        return true;
    }

    bool Contains(std::string_view s) const { return line_.find(s) != std::string::npos; }

    // Token n (counted from 1), separated by spaces and line feeds; empty when there is none.
    std::string_view Token(int n) const {
        std::string_view rest(line_);
        for (int i = 1;; ++i) {
            const size_t start = rest.find_first_not_of(" \n");
            if (start == std::string_view::npos) return {};
            rest.remove_prefix(start);
            const size_t end = std::min(rest.find_first_of(" \n"), rest.size());
            if (i == n) return rest.substr(0, end);
            rest.remove_prefix(end);
        }
    }

  private:
    ByteReader& in_;
    std::string line_;
};

// A token read as "%i" reads it: optional sign, then hexadecimal after "0x", octal after a
// leading 0, else decimal, up to the first character that does not fit. False for a missing
// token, one containing "?", or one that does not start with a number.
bool ParseInt(std::string_view token, int64_t& value) {
    if (token.empty() || token.find('?') != std::string_view::npos) return false;
    std::string text(token.substr(0, 64));
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 0);
    if (end == text.c_str()) return false;
    // Values beyond 32 bits saturate there, as an int would hold them; the size checks refuse
    // them later.
    value = std::clamp<long long>(v, INT32_MIN, INT32_MAX);
    return true;
}

// Reads the listed tokens into the targets; false (the picture description is malformed) when
// any of them is missing or not a number.
bool ReadTokens(const LineReader& line, std::initializer_list<std::pair<int, int64_t*>> tokens) {
    for (const auto& [n, target] : tokens)
        if (!ParseInt(line.Token(n), *target)) return false;
    return true;
}

// The same where a bad token is simply passed over.
void ReadTokensLeniently(const LineReader& line,
                         std::initializer_list<std::pair<int, int64_t*>> tokens) {
    for (const auto& [n, target] : tokens) {
        int64_t v;
        if (ParseInt(line.Token(n), v)) *target = v;
    }
}

bool FirstTokenIs(const LineReader& line, std::string_view word) {
    return line.Token(1) == word;
}

int HexDigit(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// One byte of hex data: two digits, with CR, LF, spaces and "%" skipped before and between
// them (EPSI preview lines start with "%"). -1 at the end of the input or at any other
// character, which cannot be data.
int ReadHexByte(ByteReader& in) {
    int value = 0;
    for (int digit = 0; digit < 2; ++digit) {
        int c;
        do {
            c = in.getc();
        } while (c == '\r' || c == '\n' || c == ' ' || c == '%');
        const int v = HexDigit(c);
        if (v < 0) return -1;
        value = value << 4 | v;
    }
    return value;
}

int ReadDataByte(ByteReader& in, int64_t encoding) {
    return encoding == kBinary ? in.getc() : ReadHexByte(in);
}

// The scan-rule table, tried in order on every line until one of them starts the data.
// Returns 0 when the data starts after the current line, 1 to go on scanning, or a loader code.
constexpr int kContinue = 1;

int32_t ApplyRules(LineReader& line, ByteReader& in, ScanState& s, DecodedImage& img,
                   const LoadOptions& options) {
    // The EPSI preview: %%BeginPreview: width height depth lines.
    if (options.epsPreview && line.Contains("beginpreview:")) {
        ReadTokensLeniently(line, {{2, &s.width}, {3, &s.height}, {4, &s.bits}});
        s.preview = true;
        return 0;
    }
    if (line.Contains("psppic") && FirstTokenIs(line, "psppic") && s.width != 0 && s.height != 0) {
        s.bits = 8;
        return 0;
    }
    if (line.Contains("/pixwidth ") && !ReadTokens(line, {{2, &s.width}})) return kNoBitmap;
    if (line.Contains("/pixheight ") && !ReadTokens(line, {{2, &s.height}})) return kNoBitmap;
    if (line.Contains("readrlestring")) s.runLength = true;
    if (line.Contains("image") && !line.Contains("grestore") && FirstTokenIs(line, "image") &&
        s.width != 0 && s.height != 0)
        return 0;
    if (line.Contains(" scale") && s.width == 0 && s.height == 0) {
        // The line after the scale holds the image's size: Illustrator's raster operator ("ai"),
        // or width, height and depth.
        line.Next();
        if (line.Contains(" ai")) {
            if (!ReadTokens(line, {{3, &s.width}, {4, &s.height}})) return kNoBitmap;
            s.bits = 24;
            s.planar = false;
            return 0;
        }
        ReadTokensLeniently(line, {{1, &s.width}, {2, &s.height}, {3, &s.bits}});
    }
    if (line.Contains("rlecmapimage") && FirstTokenIs(line, "rlecmapimage")) {
        s.runLength = true;
        return 0;
    }
    if (line.Contains("/cmap") && !ReadTokens(line, {{2, &s.paletteBytes}})) return kNoBitmap;
    if (line.Contains("currentfile cmap readhexstring") && s.paletteBytes >= 1 &&
        s.paletteBytes <= 768) {
        for (int64_t i = 0; i < s.paletteBytes; ++i) {
            const int v = ReadHexByte(in);
            if (v < 0) break;  // the scan then meets the end of the file
            img.rgbPalette[static_cast<size_t>(i)] = static_cast<uint8_t>(v);
        }
    }
    if (line.Contains("% dimensions of data") &&
        !ReadTokens(line, {{1, &s.width}, {2, &s.height}, {3, &s.bits}}))
        return kNoBitmap;
    if (line.Contains("%ai5_beginraster")) {
        line.Next();
        if (line.Contains("xg")) {
            line.Next();
            if (line.Contains("xh")) line.Next();
        }
        if (!ReadTokens(line, {{13, &s.width}, {14, &s.height}, {15, &s.bits}, {16, &s.channels}}))
            return kNoBitmap;
        do {
            if (!line.Next()) break;
        } while (line.Contains("xi"));
        if (s.channels == 4) {
            s.bits = 24;
            s.cmyk = true;
        }
        return 0;
    }
    if (line.Contains("readhexstring pop} image")) {
        if (!ReadTokens(line, {{1, &s.width}, {2, &s.height}, {3, &s.bits}})) return kNoBitmap;
        return 0;
    }
    if (line.Contains("beginimage") && !line.Contains("/beginimage")) {
        if (FirstTokenIs(line, "beginimage")) return 0;
        // Photoshop's %ImageData: width height depth channels padding block-size encoding.
        if (!ReadTokens(
                line,
                {{2, &s.width}, {3, &s.height}, {4, &s.bits}, {5, &s.channels}, {8, &s.encoding}}))
            return kNoBitmap;
        if (s.channels == 4) s.skipFirstPlane = true;
        if (s.bits != 1) s.bits = 24;
    }
    return kContinue;
}

// Fills one row of `length` data bytes. False when the data ends early.
bool ReadPlainRow(ByteReader& in, const ScanState& s, uint8_t* row, int64_t length) {
    for (int64_t i = 0; i < length; ++i) {
        const int v = ReadDataByte(in, s.encoding);
        if (v < 0) return false;
        row[i] = static_cast<uint8_t>(v);
    }
    return true;
}

// Run-length coded hex rows. Depths above 1: a control byte of 128 or more is followed by
// (c - 128) + 1 literal bytes, one below 128 by a byte repeated c + 1 times. One bit: PackBits
// (below 128: c + 1 literal bytes; 128: nothing; above: one byte repeated 256 - c times).
// Bytes beyond the row are dropped.
bool ReadRunLengthRow(ByteReader& in, const ScanState& s, uint8_t* row, int64_t length) {
    int64_t filled = 0;
    while (filled < length) {
        const int c = ReadHexByte(in);
        if (c < 0) return false;
        int64_t count;
        bool literal;
        if (s.bits == 1) {
            if (c == 128) continue;
            literal = c < 128;
            count = literal ? c + 1 : 256 - c;
        } else {
            literal = c >= 128;
            count = literal ? c - 128 + 1 : c + 1;
        }
        int v = literal ? 0 : ReadHexByte(in);
        if (v < 0) return false;
        for (int64_t i = 0; i < count; ++i) {
            if (literal) {
                v = ReadHexByte(in);
                if (v < 0) return false;
            }
            if (filled < length) row[filled++] = static_cast<uint8_t>(v);
        }
    }
    return true;
}

// One row of a 24-bit picture into blue, green, red pixels.
bool ReadColourRow(ByteReader& in, const ScanState& s, uint8_t* row, int64_t width) {
    auto plane = [&](int channel) {
        for (int64_t x = 0; x < width; ++x) {
            const int v = ReadDataByte(in, s.encoding);
            if (v < 0) return false;
            if (channel >= 0) row[3 * x + channel] = static_cast<uint8_t>(v);
        }
        return true;
    };
    constexpr int kSkip = -1, kBlue = 0, kGreen = 1, kRed = 2;
    if (s.encoding == kBinary) {
        if (s.planar) {
            if (s.skipFirstPlane)
                return plane(kSkip) && plane(kBlue) && plane(kGreen) && plane(kRed);
            return plane(kRed) && plane(kGreen) && plane(kBlue) && plane(kSkip);
        }
    } else if (s.cmyk) {
        for (int64_t x = 0; x < width; ++x) {
            int cmyk[4];
            for (int& v : cmyk) {
                v = ReadHexByte(in);
                if (v < 0) return false;
            }
            auto ink = [&](int v) { return static_cast<uint8_t>(std::max(0, 255 - v - cmyk[3])); };
            row[3 * x + kBlue] = ink(cmyk[2]);
            row[3 * x + kGreen] = ink(cmyk[1]);
            row[3 * x + kRed] = ink(cmyk[0]);
        }
        return true;
    } else if (s.planar) {
        return plane(kRed) && plane(kGreen) && plane(kBlue) && plane(kSkip);
    }
    for (int64_t x = 0; x < width; ++x) {
        for (int channel : {kRed, kGreen, kBlue}) {
            const int v = ReadDataByte(in, s.encoding);
            if (v < 0) return false;
            row[3 * x + channel] = static_cast<uint8_t>(v);
        }
    }
    return true;
}

// The fewest input bytes the picture's rows can come from: one a byte of binary data, two a
// byte of hex data, and for run-length rows two hex bytes (four characters) for every run of at
// most 128 bytes.
uint64_t MinimumDataBytes(const ScanState& s, int64_t length, int64_t height) {
    const uint64_t rows = static_cast<uint64_t>(height);
    const uint64_t perRow = static_cast<uint64_t>(length);
    if (s.bits == 24) {
        const uint64_t samples = s.encoding == kBinary ? (s.planar ? 4 : 3) * perRow
                                 : s.cmyk              ? 4 * perRow
                                 : s.planar            ? 4 * perRow
                                                       : 3 * perRow;
        return samples * (s.encoding == kBinary ? 1 : 2) * rows;
    }
    if (s.runLength) return (perRow + 127) / 128 * 4 * rows;
    return perRow * (s.encoding == kBinary ? 1 : 2) * rows;
}

}  // namespace

int32_t ReadEps(DecodedImage& img, ByteReader& in, const LoadOptions& options) {
    const auto file = in.data();
    size_t postScript = 0;
    if (file.size() >= kDosHeaderSize && std::memcmp(file.data(), kDosMagic, 4) == 0) {
        const uint32_t psOffset = U32(file.data() + 4);
        const uint32_t metafileOffset = U32(file.data() + 12);
        const uint32_t metafileLength = U32(file.data() + 16);
        const uint32_t tiffOffset = U32(file.data() + 20);
        img.epsMetafile.offset = static_cast<int32_t>(metafileOffset);
        img.epsMetafile.length = static_cast<int32_t>(metafileLength);
        if (options.epsPreview && tiffOffset != 0) {
            // The preview is read as a TIFF file of its own: its first page, dithered as a
            // TIFF file would be.
            LoadOptions preview = options;
            preview.startOffset = 0;
            img.buildDither = options.dither;
            return ReadTiffAt(img, in, preview, static_cast<int32_t>(tiffOffset));
        }
        if (options.epsPreview && metafileOffset != 0) return kMetafileSignal;
        postScript = psOffset;
    }
    in.seek(postScript);
    const auto magic = in.take(4);
    if (magic.size() != 4 || std::memcmp(magic.data(), "%!PS", 4) != 0) return kBadHeader;

    ScanState s;
    LineReader line(in);
    bool found = false;
    while (!found && line.Next()) {
        const int32_t rc = ApplyRules(line, in, s, img, options);
        if (rc < 0) return rc;
        found = rc == 0;
    }
    if (!found || s.width == 0 || s.height == 0 || s.bits == 0) return kNoBitmap;
    // A negative size cannot describe a picture either.
    if (s.width < 0 || s.height < 0) return kNoBitmap;

    if (s.width > kMaxDimension || s.height > kMaxDimension) return kNoMemory;
    int64_t length;  // data bytes of one row
    if (s.bits == 1) {
        length = (s.width + 7) / 8;
        // Black, white; an EPSI preview draws its 1 bits black on white instead.
        const uint8_t first = s.preview ? 255 : 0;
        for (int i = 0; i < 3; ++i) {
            img.rgbPalette[i] = first;
            img.rgbPalette[3 + i] = static_cast<uint8_t>(255 - first);
        }
    } else if (s.bits >= 5 && s.bits <= 8) {
        s.bits = 8;
        length = s.width;
        if (s.paletteBytes == 0) {
            for (int i = 0; i < 256; ++i)
                img.rgbPalette[3 * i] = img.rgbPalette[3 * i + 1] = img.rgbPalette[3 * i + 2] =
                    static_cast<uint8_t>(i);
        }
    } else if (s.bits == 24) {
        length = s.width;
    } else {
        return kNoBitmap;
    }

    img.header.biWidth = static_cast<int32_t>(s.width);
    img.header.biHeight = static_cast<int32_t>(s.height);
    img.header.biBitCount = static_cast<uint16_t>(s.bits);
    img.rowStride = InitDibHeader(img);
    if (int32_t rc = CheckImageSize(s.width, s.height, img.rowStride)) return rc;
    // Data that cannot fill the picture ends in a read error whatever it holds: say so before
    // a picture of up to a gigabyte is allocated for a few bytes of text.
    if (in.remaining() < MinimumDataBytes(s, length, s.height)) return kReadError;
    if (int32_t rc = AllocatePixels(img)) return rc;

    // The row buffer holds what the data gives before it is copied into the picture.
    std::vector<uint8_t> row(static_cast<size_t>(img.rowStride) + 1, 0);
    for (int32_t r = 0; r < img.header.biHeight; ++r) {
        bool ok;
        if (s.bits == 24)
            ok = ReadColourRow(in, s, row.data(), s.width);
        else if (s.runLength)
            ok = ReadRunLengthRow(in, s, row.data(), length);
        else
            ok = ReadPlainRow(in, s, row.data(), length);
        if (!ok) return kReadError;
        std::memcpy(img.row(r), row.data(), static_cast<size_t>(img.rowStride));
    }
    return 0;
}

}  // namespace decode
