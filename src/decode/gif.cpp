// GIF reader: one image of a GIF87a or GIF89a file per call, delivered as 8-bit palette
// indices, plus what the control needs to play the frames of an animation.
#include <algorithm>
#include <bit>
#include <cstring>

#include "decode/loader_error.h"
#include "decode/readers.h"
#include "platform/os/global_memory.h"

namespace decode {
namespace {

constexpr int kMaxCodes = 4096;
constexpr int kMaxCodeBits = 12;

constexpr uint8_t kTransparentFlag = 0x01;  // graphic control extension flags
constexpr uint8_t kColourTableFlag = 0x80;  // screen and image descriptor flags
constexpr uint8_t kInterlacedFlag = 0x40;   // image descriptor flags

// Interlace passes 1 to 4, then a pass that stays on the top row so that data beyond the last
// pass cannot run off the picture.
constexpr int kPassCount = 5;
constexpr int kPassStep[kPassCount] = {8, 8, 4, 2, 0};
constexpr int kPassFirstRow[kPassCount] = {0, 4, 2, 1, 0};

// When the last graphic control extension asks for transparency, its index becomes the
// transparent one and its palette entry white, so the mask and the picture agree.
void ApplyTransparency(DecodedImage& img) {
    const auto& control = img.gif.lastGraphicControl;
    if (!(control[1] & kTransparentFlag)) return;
    const int index = control[4];
    uint8_t* entry = &img.rgbPalette[static_cast<size_t>(index) * 3];
    img.transparentIndex = index;
    img.gif.transparentColor = {entry[0], entry[1], entry[2]};
    entry[0] = entry[1] = entry[2] = 255;
}

// A global or local colour table; the rest of the palette stays black.
int32_t ReadColourTable(DecodedImage& img, ByteReader& in, uint8_t flags) {
    img.rgbPalette.fill(0);
    const size_t bytes = size_t{3} << ((flags & 7) + 1);
    if (in.read(img.rgbPalette.data(), bytes) != bytes) return kReadError;
    ApplyTransparency(img);
    return 0;
}

// Passes over data sub-blocks by their lengths, up to the empty one that ends them. Data bytes
// are never taken for block lengths, so extensions whose data hold 0 bytes (loop counts, colour
// profiles) are passed over whole.
void SkipSubBlocks(ByteReader& in) {
    for (;;) {
        const int length = in.getc();
        if (length == ByteReader::kEof || length == 0) return;
        if (!in.skip(static_cast<size_t>(length))) return;
    }
}

// LZW codes come least significant bit first from the image's data sub-blocks. A sub-block is
// read whole, and only when its bits are needed, so the file position after the image is where
// the data that was actually used ends. The state is passed by value so the decoding loop can
// keep it in registers: its byte stores into rows could otherwise alias it.
struct CodeBits {
    const uint8_t* block = nullptr;  // unread bytes of the current sub-block
    size_t left = 0;
    uint64_t bits = 0;  // pending bits, the next code in the lowest ones
    int count = 0;
    bool ended = false;  // a 0 length byte, the end of the file or a sub-block cut short
};

inline uint64_t Load64(const uint8_t* p) {
    if constexpr (std::endian::native == std::endian::little) {
        uint64_t v;
        std::memcpy(&v, p, sizeof v);
        return v;
    } else {
        uint64_t v = 0;
        for (int i = 7; i >= 0; --i)
            v = v << 8 | p[i];
        return v;
    }
}

// Tops the pending bits up to at least `need`, crossing into the next sub-block when the
// current one runs out.
[[gnu::noinline]] CodeBits RefillAcrossBlocks(ByteReader& in, CodeBits s, int need) {
    while (s.count < need) {
        if (s.left == 0) {
            const int length = in.getc();
            if (length == ByteReader::kEof || length == 0) {
                s.ended = true;
                return s;
            }
            const auto block = in.take(static_cast<size_t>(length));
            if (block.empty()) {
                in.skip(in.remaining());  // a short read consumes what there was
                s.ended = true;
                return s;
            }
            s.block = block.data();
            s.left = block.size();
        }
        while (s.left != 0 && s.count <= 56) {
            s.bits |= static_cast<uint64_t>(*s.block++) << s.count;
            s.count += 8;
            --s.left;
        }
    }
    return s;
}

// Places complete rows into the picture, following the interlace passes.
class RowPlacer {
  public:
    RowPlacer(DecodedImage& img, bool interlaced)
        : img_(img),
          width_(img.header.biWidth),
          height_(img.header.biHeight),
          interlaced_(interlaced) {}

    [[gnu::noinline]] void place(const uint8_t* row) {
        // Rows past the picture land on its bottom row.
        std::memcpy(img_.row(std::min(y_, height_ - 1)), row, static_cast<size_t>(width_));
        if (!interlaced_) {
            if (y_ < height_) ++y_;
            return;
        }
        y_ += kPassStep[pass_];
        // At most two pass changes per row: a picture of one or two rows skips passes.
        for (int change = 0; change < 2 && y_ >= height_; ++change) {
            pass_ = std::min(pass_ + 1, kPassCount - 1);
            y_ = kPassFirstRow[pass_];
        }
    }

  private:
    DecodedImage& img_;
    const int width_;
    const int height_;
    const bool interlaced_;
    int y_ = 0;
    int pass_ = 0;
};

// A code's string is kept in chunks of eight bytes from its start: `chunk` holds the last chunk
// (one to eight bytes) and `prefix` the code whose string is everything before it, so writing a
// string out takes one step per eight bytes instead of one per byte.
constexpr int kChunk = 8;

struct LzwTables {
    uint8_t chunk[kMaxCodes][kChunk];
    uint16_t prefix[kMaxCodes];
    uint16_t length[kMaxCodes];         // length of each code's string
    uint8_t stack[kMaxCodes + kChunk];  // a string that does not fit in the row, and slack
};

// Writes the `length` bytes of the string of `code` into `out`, whole chunks at a time, so up to
// kChunk - 1 bytes past the string are written too. Bounded by `length`, so a damaged table can
// never write outside out[0, length + kChunk - 1).
inline void ExpandCode(const LzwTables& t, int code, int length, uint8_t* out) {
    for (int at = (length - 1) & ~(kChunk - 1); at >= 0; at -= kChunk) {
        std::memcpy(out + at, t.chunk[code], kChunk);
        code = t.prefix[code];
    }
}

// The entry for `code`: the string of `old` followed by `c`.
inline void AddCode(LzwTables& t, int code, int old, uint8_t c) {
    const int used = t.length[old] % kChunk;  // bytes of old's last chunk, 0 when it is full
    if (used) {
        std::memcpy(t.chunk[code], t.chunk[old], kChunk);
        t.prefix[code] = t.prefix[old];
    } else {
        t.prefix[code] = static_cast<uint16_t>(old);
    }
    t.chunk[code][used] = c;
    t.length[code] = static_cast<uint16_t>(t.length[old] + 1);
}

int32_t DecodeImage(DecodedImage& img, ByteReader& in, bool interlaced) {
    const int32_t width = img.header.biWidth;
    const int32_t height = img.header.biHeight;
    if (int32_t rc = CheckImageSize(width, height, img.rowStride)) return rc;

    // Pixels are collected a row at a time so that a row the data never completes is never
    // written into the picture.
    // Strings are written a chunk at a time: room for one more past the row.
    platform::GlobalBlock rowBlock(platform::GlobalAlloc(
        GMEM_ZEROINIT, static_cast<size_t>(std::max(width, img.rowStride)) + kChunk));
    auto* const rowBuffer = static_cast<uint8_t*>(platform::GlobalLock(rowBlock.get()));
    if (!rowBuffer) return kNoMemory;

    const int minCodeSize = in.getc();
    if (minCodeSize < 2 || minCodeSize > 8) return kGifBadBit;
    if (int32_t rc = AllocatePixels(img)) return rc;

    LzwTables t;
    const int clear = 1 << minCodeSize;
    const int end = clear + 1;
    for (int i = 0; i < clear; ++i) {
        t.length[i] = 1;
        t.chunk[i][0] = static_cast<uint8_t>(i);
    }

    int next = clear + 2;
    int codeSize = minCodeSize + 1;
    int limit = 1 << codeSize;
    int oldCode = -1;  // unset after a clear code and at the start
    int firstChar = 0;
    int x = 0;
    CodeBits codeBits;
    RowPlacer rows(img, interlaced);
    for (;;) {
        if (codeBits.count < codeSize) {
            if (codeBits.left >= 8) {
                // Whole bytes up to 63 bits; the mask drops the part of a byte not taken.
                const int take = (63 - codeBits.count) >> 3;
                codeBits.bits |= Load64(codeBits.block) << codeBits.count;
                codeBits.count += take * 8;
                codeBits.bits &= (uint64_t{1} << codeBits.count) - 1;
                codeBits.block += take;
                codeBits.left -= static_cast<size_t>(take);
            } else {
                codeBits = RefillAcrossBlocks(in, codeBits, codeSize);
                if (codeBits.ended) break;
            }
        }
        const int code = static_cast<int>(codeBits.bits & static_cast<uint64_t>(limit - 1));
        codeBits.bits >>= codeSize;
        codeBits.count -= codeSize;

        if (code == end) break;
        if (code == clear) {
            next = clear + 2;
            codeSize = minCodeSize + 1;
            limit = 1 << codeSize;
            oldCode = -1;
            continue;
        }
        if (code > next) return kGifBadCode;

        // A code not yet in the table (it can only be the next one) is the previous string
        // followed by its own first character; it goes into the table before it is written.
        const bool added = next < kMaxCodes && oldCode >= 0;
        if (code == next) {
            if (oldCode < 0) return kGifBadFirstCode;
            if (!added) return kGifBadCode;
            AddCode(t, next, oldCode, static_cast<uint8_t>(firstChar));
        }
        int length = t.length[code];

        // Straight into the row when the string fits, else through the stack.
        const bool fits = length <= width - x;
        uint8_t* const out = fits ? rowBuffer + x : t.stack;
        ExpandCode(t, code, length, out);
        firstChar = out[0];
        if (fits) {
            x += length;
            if (x == width) {
                rows.place(rowBuffer);
                x = 0;
            }
        } else {
            for (const uint8_t* src = t.stack; length > 0;) {
                const int part = std::min(length, width - x);
                std::memcpy(rowBuffer + x, src, static_cast<size_t>(part));
                src += part;
                length -= part;
                x += part;
                if (x == width) {
                    rows.place(rowBuffer);
                    x = 0;
                }
            }
        }

        if (added) {
            if (code != next) AddCode(t, next, oldCode, static_cast<uint8_t>(firstChar));
            ++next;
            if (next == limit && codeSize < kMaxCodeBits) {
                ++codeSize;
                limit <<= 1;
            }
        }
        oldCode = code;
    }
    return 0;
}

}  // namespace

int32_t ReadGif(DecodedImage& img, ByteReader& in, const LoadOptions& options) {
    GifFrameInfo& gif = img.gif;
    img.header.biBitCount = 8;
    img.builtBitCount = 8;
    // Transparency carries over from frame to frame; only a fresh walk forgets it.
    if (options.startOffset == 0) {
        img.transparentIndex = -1;
        gif.lastGraphicControl[1] &= static_cast<uint8_t>(~kTransparentFlag);
    }

    in.seek(0);
    uint8_t header[13];
    if (in.read(header, sizeof header) != sizeof header) return kBadHeader;
    if (std::memcmp(header, "GIF", 3) != 0) return kBadHeader;
    gif.screenWidth = static_cast<uint16_t>(header[6] | header[7] << 8);
    gif.screenHeight = static_cast<uint16_t>(header[8] | header[9] << 8);
    if (header[10] & kColourTableFlag) {
        if (int32_t rc = ReadColourTable(img, in, header[10])) return rc;
    }

    // A negative offset cannot be sought to; reading then goes on after the header.
    if (options.startOffset > 0) in.seek(static_cast<size_t>(options.startOffset));
    gif.frameDisposal = 4;

    bool decoded = false;
    for (;;) {
        const int c = in.getc();
        if (c == ByteReader::kEof) break;
        if (c == 0) continue;
        if (c == '!') {
            const int label = in.getc();
            if (label == 0xF9) {
                // The next frame's graphic control extension ends this frame.
                if (decoded) return 0;
                auto& control = gif.lastGraphicControl;
                if (in.read(control.data(), control.size()) != control.size()) return kReadError;
                ApplyTransparency(img);
                gif.frameDisposal = static_cast<uint8_t>((control[1] >> 2) & 7);
                gif.frameDelay = static_cast<uint16_t>((control[2] | control[3] << 8) * 10);
            } else if (label == 0x01) {  // plain text
                in.skip(13);
                SkipSubBlocks(in);
            } else if (label == 0xFF) {  // application
                in.skip(12);
                SkipSubBlocks(in);
            } else {
                SkipSubBlocks(in);
            }
        } else if (c == ',') {
            if (decoded) return 0;
            gif.frameDescriptorOffset = static_cast<int32_t>(in.tell() - 1);
            uint8_t d[9];
            if (in.read(d, sizeof d) != sizeof d) return kReadError;
            gif.frameLeft = static_cast<uint16_t>(d[0] | d[1] << 8);
            gif.frameTop = static_cast<uint16_t>(d[2] | d[3] << 8);
            img.header.biWidth = d[4] | d[5] << 8;
            img.header.biHeight = d[6] | d[7] << 8;
            img.header.biBitCount = 8;
            img.rowStride = InitDibHeader(img);
            if (d[8] & kColourTableFlag) {
                if (int32_t rc = ReadColourTable(img, in, d[8])) return rc;
            }
            if (int32_t rc = DecodeImage(img, in, (d[8] & kInterlacedFlag) != 0)) {
                ReleasePixels(img);
                return rc;
            }
            decoded = true;
            gif.nextFrameOffset = static_cast<int32_t>(in.tell());
        } else {
            SkipSubBlocks(in);
        }
    }
    gif.nextFrameOffset = 0;
    return decoded ? 0 : kNoBitmap;
}

}  // namespace decode
