// "WriteJPG": writes a bitmap as a baseline JFIF file with libjpeg.
//
// The rows are fetched with GetDIBits as 24-bit blue-green-red, a strip at a time, so any
// bitmap the raster engine holds (DIB section of any depth or device-compatible bitmap) can be
// saved without a second full-size copy. The palette argument is not needed for that: the
// device context passed along (0 is allowed) is what a device bitmap's colours are read
// through.
// Returns 0 on success, else -20011 (no usable bitmap), -20002 (memory), -20001 (the file
// cannot be created) or -20018 (writing failed; a partial regular file is removed).

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <new>
#include <type_traits>
#include <vector>

#include "decode/codec_contract.h"
#include "decode/decoded_image.h"
#include "decode/loader_error.h"
#include "jpeg_errors.h"
#include "platform/gdi/gdi.h"

namespace lmjpeg {
namespace {

constexpr size_t kStripBytes = size_t{1} << 20;

struct Settings {
    uint16_t dctMethod;
    bool optimize;
    uint16_t smoothing;
    uint16_t quality;
};

// Owns the compressor and the output file.
struct Encoder {
    jpeg_compress_struct cinfo{};
    JpegErrors errors{};
    FILE* file = nullptr;
    bool created = false;

    Encoder() { cinfo.err = InstallErrors(errors); }
    Encoder(const Encoder&) = delete;
    Encoder& operator=(const Encoder&) = delete;
    ~Encoder() {
        if (created) jpeg_destroy_compress(&cinfo);
        if (file) std::fclose(file);
    }
};

// The bitmap and the buffers its rows pass through. Plain data for the compressing phase.
struct Source {
    HDC dc;
    HBITMAP bitmap;
    int32_t width;
    int32_t height;
    size_t stride;
    int32_t stripRows;
    uint8_t* strip;    // stripRows rows of 24-bit DIB
    JSAMPROW* rows;    // stripRows row pointers, top row first
    BITMAPINFO* info;  // 24-bit bottom-up request for the whole bitmap
};

J_DCT_METHOD DctMethod(uint16_t method) {
    switch (method) {
        case DCT_FAST_INTEGER:
            return JDCT_IFAST;
        case DCT_FLOATING_POINT:
            return JDCT_FLOAT;
        default:
            return JDCT_ISLOW;
    }
}

// Compresses the bitmap into the open file. Holds no state of its own across the jump.
int32_t Compress(Encoder& e, const Settings& s, const Source& src) {
    if (setjmp(e.errors.jump))
        return IsMemoryError(e.errors.fatalCode) ? decode::kNoMemory : decode::kWriteError;
    jpeg_compress_struct& cinfo = e.cinfo;
    e.created = true;
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, e.file);
    cinfo.image_width = static_cast<JDIMENSION>(src.width);
    cinfo.image_height = static_cast<JDIMENSION>(src.height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);  // quality 75 among them
    if (s.quality != 0) jpeg_set_quality(&cinfo, std::min<int>(s.quality, 100), TRUE);
    cinfo.optimize_coding = s.optimize ? TRUE : FALSE;
    cinfo.smoothing_factor = std::min<int>(s.smoothing, 100);
    cinfo.dct_method = DctMethod(s.dctMethod);
    jpeg_start_compress(&cinfo, TRUE);

    for (int32_t top = 0; top < src.height; top += src.stripRows) {
        const int32_t n = std::min(src.stripRows, src.height - top);
        // Scan lines count from the bottom; the strip's first row is its lowest picture row.
        const uint32_t first = static_cast<uint32_t>(src.height - top - n);
        if (platform::GetDIBits(src.dc, src.bitmap, first, static_cast<uint32_t>(n), src.strip,
                                src.info, DIB_RGB_COLORS) != n)
            return decode::kNoBitmap;
        for (int32_t k = 0; k < n; ++k)
            src.rows[k] = src.strip + static_cast<size_t>(n - 1 - k) * src.stride;
        JDIMENSION done = 0;
        while (done < static_cast<JDIMENSION>(n)) {
            const JDIMENSION wrote = jpeg_write_scanlines(&cinfo, src.rows + done, n - done);
            if (wrote == 0) return decode::kWriteError;
            done += wrote;
        }
    }
    jpeg_finish_compress(&cinfo);
    return 0;
}

int32_t WriteJpeg(const char* outName, HDC dc, const Settings& settings, HBITMAP bitmap) {
    if (!outName) return decode::kCouldNotOpen;
    BITMAP bm{};
    if (platform::GetObject(bitmap, sizeof bm, &bm) < static_cast<int>(sizeof bm))
        return decode::kNoBitmap;
    const int64_t width = bm.bmWidth;
    const int64_t height = bm.bmHeight < 0 ? -int64_t{bm.bmHeight} : bm.bmHeight;
    const int64_t stride = (3 * width + 3) & ~int64_t{3};
    if (width < 1 || height < 1) return decode::kNoBitmap;
    if (decode::CheckImageSize(width, height, stride)) return decode::kNoMemory;

    const int32_t stripRows =
        static_cast<int32_t>(std::clamp<int64_t>(kStripBytes / stride, 1, height));
    std::vector<uint8_t> strip(static_cast<size_t>(stride) * stripRows);
    std::vector<JSAMPROW> rows(stripRows);
    BITMAPINFO info =
        platform::DibHeader(static_cast<int32_t>(width), static_cast<int32_t>(height), 24);
    const Source src{dc,
                     bitmap,
                     static_cast<int32_t>(width),
                     static_cast<int32_t>(height),
                     static_cast<size_t>(stride),
                     stripRows,
                     strip.data(),
                     rows.data(),
                     &info};

    Encoder e;
    e.file = std::fopen(outName, "wb");
    if (!e.file) return decode::kCouldNotOpen;
    int32_t rc = Compress(e, settings, src);
    if (rc == 0) {
        FILE* file = e.file;
        e.file = nullptr;
        const bool flushed = std::fflush(file) == 0 && !std::ferror(file);
        if (std::fclose(file) != 0 || !flushed) rc = decode::kWriteError;
    } else {
        std::fclose(e.file);
        e.file = nullptr;
    }
    // A partial file is worthless; devices and other special files are left alone.
    std::error_code ec;
    if (rc != 0 && std::filesystem::is_regular_file(outName, ec))
        std::filesystem::remove(outName, ec);
    return rc;
}

}  // namespace
}  // namespace lmjpeg

extern "C" int32_t WriteJPG(const char* outName, HDC dc, uint16_t dctMethod, uint16_t optimize,
                            uint16_t smoothing, HBITMAP bitmap, HPALETTE /*palette*/,
                            uint16_t quality) {
    try {
        const lmjpeg::Settings settings{dctMethod, optimize != 0, smoothing, quality};
        return lmjpeg::WriteJpeg(outName, dc, settings, bitmap);
    } catch (const std::bad_alloc&) {
        return decode::kNoMemory;
    } catch (...) {
        return decode::kWriteError;
    }
}

static_assert(std::is_same_v<decltype(&WriteJPG), WriteJPGProc>);
