// The loader dispatch: extension table, content test and the codec-module road.
#include "decode/loader.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>

#include "decode/build_dib.h"
#include "decode/codec_contract.h"
#include "decode/loader_error.h"
#include "platform/os/file_map.h"
#include "platform/gdi/gdi.h"
#include "platform/os/global_memory.h"
#include "platform/os/module.h"

namespace decode {
namespace {

enum class Route { Reader, Jpeg, Png, Dicom, Signal, ContentTest };

struct DispatchEntry {
    std::string_view ext;
    std::string_view format;  // the reader family, as the decode area reports it
    Route route;
    ReaderFn reader;      // null for a format whose reader is not built: "File type not supported"
    int32_t signal;       // Route::Signal: the code left for the control
    bool ditherOff;       // readers whose pictures are never dithered
    bool prefix = false;  // matches every extension that starts with ext
};

// Tested in order; the first match decides.
constexpr DispatchEntry kDispatch[] = {
    {"art", "art", Route::Reader, ReadArt, 0, true},
    {"bmp", "bmp", Route::Reader, ReadBmp, 0, false},
    {"dib", "bmp", Route::Reader, ReadBmp, 0, false},
    {"rle", "bmp", Route::Reader, ReadBmp, 0, false},
    {"cur", "icon", Route::Signal, nullptr, kIconSignal, false},
    {"cut", "cut", Route::Reader, ReadCut, 0, false},
    {"dcm", "dicom", Route::Dicom, nullptr, 0, false},
    {"emf", "emf", Route::Signal, nullptr, kEnhMetafileSignal, false},
    {"eps", "eps", Route::Reader, ReadEps, 0, true},
    {"ps", "eps", Route::Reader, ReadEps, 0, true, true},
    {"gem", "gem", Route::Reader, ReadGem, 0, false},
    {"img", "gem", Route::Reader, ReadGem, 0, false},
    {"gif", "gif", Route::Reader, ReadGif, 0, false},
    {"hrz", "hrz", Route::Reader, ReadHrz, 0, false},
    {"ico", "icon", Route::Signal, nullptr, kIconSignal, false},
    {"iff", "iff", Route::Reader, ReadIff, 0, false},
    {"lbm", "iff", Route::Reader, ReadIff, 0, false},
    {"mac", "mac", Route::Reader, ReadMac, 0, true},
    {"msp", "msp", Route::Reader, ReadMsp, 0, true},
    {"pbm", "pnm", Route::Reader, ReadPnm, 0, false},
    {"pgm", "pnm", Route::Reader, ReadPnm, 0, false},
    {"pnm", "pnm", Route::Reader, ReadPnm, 0, false},
    {"ppm", "pnm", Route::Reader, ReadPnm, 0, false},
    {"pcd", "pcd", Route::Reader, ReadPhotoCd, 0, false},
    {"pcx", "pcx", Route::Reader, ReadPcx, 0, false},
    {"pic", "pic", Route::Reader, ReadPic, 0, false},
    {"png", "png", Route::Png, nullptr, 0, false},
    {"ras", "ras", Route::Reader, ReadRas, 0, false},
    {"tga", "tga", Route::Reader, ReadTga, 0, false},
    {"tif", "tif", Route::Reader, ReadTiff, 0, false},
    {"wmf", "wmf", Route::Signal, nullptr, kMetafileSignal, false},
    {"wpg", "wpg", Route::Reader, ReadWpg, 0, false},
};

// Readers tried, in order, on a file whose extension the table does not know.
struct ContentReader {
    std::string_view format;
    ReaderFn reader;
};
constexpr ContentReader kContentChain[] = {
    {"gif", ReadGif},
    {"bmp", ReadBmp},
    {"pcx", ReadPcx},
    {"tif", ReadTiff},
};

const DispatchEntry* FindEntry(std::string_view ext) {
    for (const DispatchEntry& e : kDispatch) {
        if (e.prefix ? ext.substr(0, e.ext.size()) == e.ext : ext == e.ext) return &e;
    }
    return nullptr;
}

std::string Lower(const std::string& s) {
    std::string out = s;
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

HBITMAP Failure(DecodedImage& img, int32_t code) {
    ReleasePixels(img);
    img.errorCode = code;
    return 0;
}

// Runs a reader over the mapped file and builds the bitmap from what it decoded.
HBITMAP RunReader(DecodedImage& img, ReaderFn reader, const platform::MappedFile& file, HDC dc,
                  const LoadOptions& options, bool ditherOff) {
    ByteReader in(file.bytes());
    img.buildDither = ditherOff ? 0 : options.dither;
    if (int32_t rc = reader(img, in, options)) return Failure(img, rc);
    return BuildDib(img, dc, img.buildDither);
}

HBITMAP LoadWithReader(DecodedImage& img, const DispatchEntry& entry, const std::string& fileName,
                       HDC dc, const LoadOptions& options) {
    if (!entry.reader) return Failure(img, kUnsupported);
    platform::MappedFile file(fileName);
    if (!file.is_open()) return Failure(img, kCouldNotOpen);
    return RunReader(img, entry.reader, file, dc, options, entry.ditherOff);
}

// A block handed back by a codec module becomes the pixel block, checked against the size
// the module's header claims before anything reads it.
HBITMAP TakeModuleBlock(DecodedImage& img, int32_t result, HDC dc, const LoadOptions& options) {
    if (result <= 0) {
        img.errorCode = result;
        return 0;
    }
    if (int32_t rc = AdoptModuleBlock(img, result)) return Failure(img, rc);
    img.builtBitCount = static_cast<int8_t>(img.header.biBitCount);
    return BuildDib(img, dc, options.dither);
}

HBITMAP LoadJpeg(DecodedImage& img, const std::string& fileName, HDC dc, const LoadOptions& o) {
    img.format = "jpeg";
    platform::Module module("LMJPEG32.DLL");
    auto read = reinterpret_cast<ReadJPGProc>(module.GetProcAddress("ReadJPG"));
    if (!read) return Failure(img, kNoJpegModule);
    const int32_t result =
        read(fileName.c_str(), dc, o.dither, o.fancyUpsampling, o.twoPassQuantize, o.jpegDither,
             o.dctMethod, img.rgbPalette.data(), &img.header);
    return TakeModuleBlock(img, result, dc, o);
}

// The modules get the name as the caller gave it: a lower-cased copy would not open on a file
// system that tells case apart.
HBITMAP LoadPng(DecodedImage& img, const std::string& fileName, HDC dc, const LoadOptions& o) {
    img.format = "png";
    platform::Module module("LMPNG32.DLL");
    auto read = reinterpret_cast<ReadPNGProc>(module.GetProcAddress("ReadPNG"));
    if (!read) return Failure(img, kNoPngModule);
    const int32_t result = read(fileName.c_str(), dc, img.rgbPalette.data(), &img.header);
    return TakeModuleBlock(img, result, dc, o);
}

HBITMAP LoadDicom(DecodedImage& img, const std::string& fileName, HDC dc, const LoadOptions& o) {
    img.format = "dicom";
    platform::Module module("LMDCM32.DLL");
    auto read = reinterpret_cast<ReadDCMProc>(module.GetProcAddress("ReadDCM"));
    if (!read) return Failure(img, kNoDicomModule);
    const int32_t result =
        read(fileName.c_str(), img.rgbPalette.data(), &img.header, &img.dicomImage);
    return TakeModuleBlock(img, result, dc, o);
}

HBITMAP ContentTest(DecodedImage& img, const std::string& fileName, const std::string& ext, HDC dc,
                    const LoadOptions& options) {
    platform::MappedFile file(fileName);
    if (!file.is_open()) return Failure(img, kCouldNotOpen);
    const auto bytes = file.bytes();
    const bool jpegMarker =
        bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF;
    if (jpegMarker || ext == "jpg" || ext == "jpe") return LoadJpeg(img, fileName, dc, options);

    // Each reader starts from the area as the caller handed it, so nothing a failed attempt
    // left behind (a transparent index, a palette) leaks into the next one.
    const DecodedImage pristine = img;
    for (const ContentReader& candidate : kContentChain) {
        img = pristine;
        img.format = candidate.format;
        if (HBITMAP bitmap = RunReader(img, candidate.reader, file, dc, options, false)) {
            img.errorCode = 0;
            return bitmap;
        }
        if (img.paletteHandle) platform::DeleteObject(img.paletteHandle);
        if (img.maskBitmap) platform::DeleteObject(img.maskBitmap);
    }
    img = pristine;
    return Failure(img, kUnsupported);
}

}  // namespace

std::string DispatchExtension(const std::string& fileName) {
    const std::string lower = Lower(fileName);
    const size_t dot = lower.rfind('.');
    if (dot == std::string::npos) return {};
    return lower.substr(dot + 1, 3);
}

HBITMAP LoadImageFile(DecodedImage& img, const std::string& fileName, HDC dc,
                      const LoadOptions& options) {
    img.workPath = Lower(fileName);
    img.sourcePath = fileName;
    const std::string ext = DispatchExtension(fileName);
    const DispatchEntry* entry = FindEntry(ext);
    if (!entry) return ContentTest(img, fileName, ext, dc, options);

    img.format = entry->format;
    switch (entry->route) {
        case Route::Reader:
            return LoadWithReader(img, *entry, fileName, dc, options);
        case Route::Png:
            return LoadPng(img, fileName, dc, options);
        case Route::Dicom:
            return LoadDicom(img, fileName, dc, options);
        case Route::Signal:
            return Failure(img, entry->signal);
        case Route::Jpeg:
        case Route::ContentTest:
            break;
    }
    return ContentTest(img, fileName, ext, dc, options);
}

}  // namespace decode
