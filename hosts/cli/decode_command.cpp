#include "decode_command.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "decode/loader.h"
#include "decode/loader_error.h"
#include "image_output.h"
#include "platform/gdi/gdi.h"

namespace cli {
namespace {

const char kUsage[] =
    "usage: lumora decode FILE [-o OUT.bmp|OUT.png|OUT.ppm] [--info] [--dither N]\n"
    "       [--display-depth N] [--offset N] [--pcd-size N] [--eps-preview] [--dcm-image N]\n"
    "       [--dct N] [--jpeg-dither N] [--fancy-upsampling] [--two-pass]\n";

int Usage(const char* problem) {
    if (problem) std::fprintf(stderr, "lumora decode: %s\n", problem);
    std::fputs(kUsage, stderr);
    return 2;
}

bool ParseInt(const char* text, long lo, long hi, long& out) {
    char* end = nullptr;
    out = std::strtol(text, &end, 10);
    return end && *end == '\0' && end != text && out >= lo && out <= hi;
}

// What a load that built no bitmap says, for codes outside the loader's table.
const char* SignalText(int32_t code) {
    switch (code) {
        case decode::kIconSignal:
            return "Icon or cursor: shown by the control";
        case decode::kMetafileSignal:
            return "Windows metafile: played by the control";
        case decode::kEnhMetafileSignal:
            return "Enhanced metafile: played by the control";
        default:
            return "No picture";
    }
}

void PrintInfo(const decode::DecodedImage& img) {
    std::printf("transparentIndex\t%d\n", img.transparentIndex);
    std::printf("pixelAspect\t%g\n", static_cast<double>(img.pixelAspect));
    if (img.format == "dicom") std::printf("dicomImage\t%d\n", img.dicomImage);
    if (img.format == "gif") {
        const decode::GifFrameInfo& g = img.gif;
        std::printf("screenWidth\t%u\nscreenHeight\t%u\n", g.screenWidth, g.screenHeight);
        std::printf("frameLeft\t%u\nframeTop\t%u\n", g.frameLeft, g.frameTop);
        std::printf("frameDelay\t%u\nframeDisposal\t%u\n", g.frameDelay, g.frameDisposal);
        std::printf("frameDescriptorOffset\t%d\nnextFrameOffset\t%d\n", g.frameDescriptorOffset,
                    g.nextFrameOffset);
    }
    for (int32_t offset : img.tiffPageOffsets)
        std::printf("pageOffset\t%d\n", offset);
}

}  // namespace

int DecodeCommand(int argc, char** argv) {
    std::string file, out;
    bool info = false;
    decode::LoadOptions options;
    decode::DecodedImage img;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](long lo, long hi) -> long {
            long v = 0;
            if (i + 1 >= argc || !ParseInt(argv[i + 1], lo, hi, v)) {
                Usage((arg + " needs a number from " + std::to_string(lo) + " to " +
                       std::to_string(hi))
                          .c_str());
                std::exit(2);
            }
            ++i;
            return v;
        };
        if (arg == "-o" && i + 1 < argc)
            out = argv[++i];
        else if (arg == "--info")
            info = true;
        else if (arg == "--dither")
            options.dither = static_cast<uint16_t>(value(0, 2));
        else if (arg == "--display-depth") {
            const long depth = value(1, 32);
            if (!platform::SetDisplayDepth(static_cast<int>(depth)))
                return Usage("--display-depth takes 1, 4, 8, 16, 24 or 32");
        } else if (arg == "--offset")
            options.startOffset = static_cast<int32_t>(value(0, INT32_MAX));
        else if (arg == "--pcd-size")
            options.pcdSize = static_cast<int32_t>(value(0, 4));
        else if (arg == "--eps-preview")
            options.epsPreview = true;
        else if (arg == "--dcm-image")
            img.dicomImage = static_cast<int32_t>(value(0, INT32_MAX));
        else if (arg == "--dct")
            options.dctMethod = static_cast<uint16_t>(value(0, 2));
        else if (arg == "--jpeg-dither")
            options.jpegDither = static_cast<uint16_t>(value(0, 2));
        else if (arg == "--fancy-upsampling")
            options.fancyUpsampling = true;
        else if (arg == "--two-pass")
            options.twoPassQuantize = true;
        else if (!arg.empty() && arg[0] == '-')
            return Usage(("unknown option " + arg).c_str());
        else if (file.empty())
            file = arg;
        else
            return Usage("only one FILE");
    }
    if (file.empty()) return Usage("no FILE");

    HDC dc = platform::GetDC(0);
    HBITMAP bitmap = decode::LoadImageFile(img, file, dc, options);
    int status = 0;
    if (!bitmap) {
        const decode::LoaderErrorInfo* e = decode::FindLoaderError(img.errorCode);
        std::fprintf(stderr, "Error %d: %s\n", img.errorCode,
                     e ? e->message : SignalText(img.errorCode));
        status = 2;
    } else {
        BITMAP bm{};
        platform::GetObject(bitmap, sizeof bm, &bm);
        std::printf("%d %d %d\n", bm.bmWidth, bm.bmHeight, bm.bmBitsPixel);
        if (info) PrintInfo(img);
        if (!out.empty()) {
            const std::string error = WriteBitmapFile(bitmap, out);
            if (!error.empty()) {
                std::fprintf(stderr, "lumora decode: %s\n", error.c_str());
                status = 1;
            }
        }
        platform::DeleteObject(bitmap);
    }
    if (img.paletteHandle) platform::DeleteObject(img.paletteHandle);
    if (img.maskBitmap) platform::DeleteObject(img.maskBitmap);
    platform::ReleaseDC(0, dc);
    return status;
}

}  // namespace cli
