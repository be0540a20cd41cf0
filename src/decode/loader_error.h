// The loader's error codes, their OLE status codes and messages.
#pragma once

#include <cstdint>

namespace decode {

enum LoaderError : int32_t {
    kNoError = 0,
    kMetafileSignal = -1,     // a Windows metafile: the control plays it itself
    kEnhMetafileSignal = -2,  // an enhanced metafile: likewise
    kCouldNotOpen = -20001,
    kNoMemory = -20002,
    kReadError = -20003,
    kBadCopy = -20004,
    kNoDibHandle = -20005,
    kNoHugeMemory = -20006,
    kGifBadCode = -20007,
    kGifBadFirstCode = -20008,
    kGifBadBit = -20009,
    kBadHeader = -20010,
    kNoBitmap = -20011,
    kNoPalette = -20012,
    kUnsupported = -20013,
    kNoJpegModule = -20014,
    kTiffCompression = -20015,
    kNoPngModule = -20016,
    kJpgSaveUnsupported = -20017,
    kWriteError = -20018,
    kIconSignal = -20020,  // an icon or cursor: the control loads it itself
    kNoDicomModule = -20022,
};

struct LoaderErrorInfo {
    int32_t code;
    uint32_t scode;
    const char* message;
};

// The entry for a code that the control raises, or null for codes that raise nothing
// (0, the signals -1, -2 and -20020, and anything outside the table).
const LoaderErrorInfo* FindLoaderError(int32_t code);

}  // namespace decode
