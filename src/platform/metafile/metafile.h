// Windows metafiles, enhanced metafiles and icons: loading, copying, converting and playing
// them into a device context.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/os/wintypes.h"

namespace platform {

typedef HANDLE32 HMETAFILE;
typedef HANDLE32 HENHMETAFILE;
typedef HANDLE32 HICON;

// ---- Windows metafiles ----------------------------------------------------------------------
// The 22-byte header a placeable metafile file starts with (key 0x9AC6CDD7): its bounding box
// in metafile units and the units per inch.
struct PlaceableHeader {
    int16_t left, top, right, bottom;
    uint16_t inch;
    bool checksumValid;
};
// False when the bytes do not start with a placeable header.
bool ReadPlaceableHeader(const uint8_t* data, size_t size, PlaceableHeader* header);

// A metafile file without the 22-byte placeable header; 0 when it cannot be read or parsed.
HMETAFILE GetMetaFile(const char* path);
HMETAFILE SetMetaFileBitsEx(uint32_t size, const uint8_t* data);
// A copy in memory when path is null, else also written to path.
HMETAFILE CopyMetaFile(HMETAFILE metafile, const char* path);
bool DeleteMetaFile(HMETAFILE metafile);
// The metafile's bytes; with data null the size needed.
uint32_t GetMetaFileBitsEx(HMETAFILE metafile, uint32_t size, void* data);
// Plays the records with the DC's present mapping; the DC's state is restored afterwards.
bool PlayMetaFile(HDC dc, HMETAFILE metafile);

struct METAFILEPICT {
    int32_t mm;    // a mapping mode of gdi_draw.h
    int32_t xExt;  // HiMetric (0.01 mm) for MM_ANISOTROPIC
    int32_t yExt;
    HMETAFILE hMF;
};

// ---- Enhanced metafiles -----------------------------------------------------------------------
struct ENHMETAHEADER {
    uint32_t iType;
    uint32_t nSize;
    RECT rclBounds;  // device units
    RECT rclFrame;   // 0.01 mm
    uint32_t dSignature;
    uint32_t nVersion;
    uint32_t nBytes;
    uint32_t nRecords;
    uint16_t nHandles;
    uint16_t sReserved;
    uint32_t nDescription;
    uint32_t offDescription;
    uint32_t nPalEntries;
    SIZE szlDevice;
    SIZE szlMillimeters;
};

HENHMETAFILE GetEnhMetaFile(const char* path);
HENHMETAFILE SetEnhMetaFileBits(uint32_t size, const uint8_t* data);
// An enhanced metafile from Windows metafile bits: it plays the records scaled to the picture
// description's extent (mfp null: the metafile's own window extent).
HENHMETAFILE SetWinMetaFileBits(uint32_t size, const uint8_t* data, HDC reference,
                                const METAFILEPICT* picture);
HENHMETAFILE CopyEnhMetaFile(HENHMETAFILE metafile, const char* path);
bool DeleteEnhMetaFile(HENHMETAFILE metafile);
uint32_t GetEnhMetaFileHeader(HENHMETAFILE metafile, uint32_t size, ENHMETAHEADER* header);
// Plays the records scaled from the header's frame into rect; the DC's state is restored.
bool PlayEnhMetaFile(HDC dc, HENHMETAFILE metafile, const RECT* rect);

// ---- Icons ----------------------------------------------------------------------------------
// An icon from one image of an icon or cursor file as stored there (a BITMAPINFOHEADER with
// double height, colour table, XOR rows, AND rows; or a PNG image). width/height 0: the
// image's own size.
HICON CreateIconFromResourceEx(const uint8_t* data, uint32_t size, bool icon, uint32_t version,
                               int width, int height, uint32_t flags);
HICON CreateIconFromResource(const uint8_t* data, uint32_t size, bool icon, uint32_t version);
HICON CopyIcon(HICON icon);
bool DestroyIcon(HICON icon);
bool GetIconSize(HICON icon, int* width, int* height);
enum { DI_MASK = 1, DI_IMAGE = 2, DI_NORMAL = 3 };
// Draws the icon stretched to width x height (0: its own size) through its AND mask.
bool DrawIconEx(HDC dc, int x, int y, HICON icon, int width, int height, uint32_t step,
                HBRUSH flickerFree, uint32_t flags);

}  // namespace platform
