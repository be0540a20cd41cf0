// Enhanced metafiles: the checked header, the handles that hold them, the wrapper of Windows
// metafile bits, and playing one into a destination rectangle.
#include <algorithm>
#include <cmath>
#include <fstream>
#include <memory>

#include "platform/gdi/draw_internal.h"
#include "platform/metafile/emf_player.h"
#include "platform/os/handles.h"

namespace platform {

namespace {

constexpr uint32_t kSignature = 0x464D4520;  // " EMF"
constexpr size_t kMinHeader = 88;
constexpr size_t kMaxFileBytes = size_t{1} << 30;

struct EnhancedMetaFile {
    std::vector<uint8_t> bits;
    ENHMETAHEADER header{};
    // A wrapper of Windows metafile bits: played through the Windows player.
    bool wrapped = false;
    std::vector<uint8_t> windows;
    POINT windowOrg{};
    SIZE windowExt{};
};

std::shared_ptr<EnhancedMetaFile> LookupEnh(HENHMETAFILE handle) {
    return Lookup<EnhancedMetaFile>(handle, HandleKind::EnhMetaFile);
}

bool ParseHeader(std::span<const uint8_t> bits, ENHMETAHEADER& h) {
    const meta::Reader r(bits);
    h.iType = r.U32(0);
    h.nSize = r.U32(4);
    h.rclBounds = RECT{r.I32(8), r.I32(12), r.I32(16), r.I32(20)};
    h.rclFrame = RECT{r.I32(24), r.I32(28), r.I32(32), r.I32(36)};
    h.dSignature = r.U32(40);
    h.nVersion = r.U32(44);
    h.nBytes = r.U32(48);
    h.nRecords = r.U32(52);
    h.nHandles = r.U16(56);
    h.sReserved = r.U16(58);
    h.nDescription = r.U32(60);
    h.offDescription = r.U32(64);
    h.nPalEntries = r.U32(68);
    h.szlDevice = SIZE{r.I32(72), r.I32(76)};
    h.szlMillimeters = SIZE{r.I32(80), r.I32(84)};
    if (r.Failed() || h.iType != 1 || h.dSignature != kSignature) return false;
    if (h.nSize < kMinHeader || h.nSize % 4 != 0 || h.nSize > bits.size()) return false;
    // Reference devices without a size fall back to 96 dpi.
    if (h.szlDevice.cx <= 0 || h.szlDevice.cy <= 0 || h.szlMillimeters.cx <= 0 ||
        h.szlMillimeters.cy <= 0) {
        h.szlDevice = SIZE{1024, 768};
        h.szlMillimeters = SIZE{271, 203};
    }
    return true;
}

HENHMETAFILE Register(std::vector<uint8_t> bits) {
    auto object = std::make_shared<EnhancedMetaFile>();
    if (!ParseHeader(bits, object->header)) return 0;
    object->bits = std::move(bits);
    return InsertHandle(HandleKind::EnhMetaFile, object);
}

bool PlayWrapped(HDC dc, const EnhancedMetaFile& emf, const RECT& device) {
    const int base = SaveDC(dc);
    if (!base) return false;
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowOrgEx(dc, emf.windowOrg.x, emf.windowOrg.y, nullptr);
    SetWindowExtEx(dc, emf.windowExt.cx, emf.windowExt.cy, nullptr);
    SetViewportOrgEx(dc, device.left, device.top, nullptr);
    SetViewportExtEx(dc, device.right - device.left, device.bottom - device.top, nullptr);
    const bool played = meta::PlayWindowsRecords(dc, emf.windows);
    RestoreDC(dc, base);
    return played;
}

bool ReadWholeFile(const char* path, std::vector<uint8_t>& out) {
    if (!path) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size <= 0 || static_cast<uint64_t>(size) > kMaxFileBytes) return false;
    in.seekg(0, std::ios::beg);
    out.resize(static_cast<size_t>(size));
    return static_cast<bool>(in.read(reinterpret_cast<char*>(out.data()), size));
}

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

}  // namespace

HENHMETAFILE GetEnhMetaFile(const char* path) {
    std::vector<uint8_t> bits;
    if (!ReadWholeFile(path, bits)) return 0;
    return Register(std::move(bits));
}

HENHMETAFILE SetEnhMetaFileBits(uint32_t size, const uint8_t* data) {
    if (!data) return 0;
    return Register(std::vector<uint8_t>(data, data + size));
}

HENHMETAFILE SetWinMetaFileBits(uint32_t size, const uint8_t* data, HDC reference,
                                const METAFILEPICT* picture) {
    if (!data) return 0;
    std::vector<uint8_t> windows(data, data + size);
    if (!meta::ValidWindowsMetafile(windows)) return 0;
    auto object = std::make_shared<EnhancedMetaFile>();
    object->wrapped = true;
    const bool hasWindow = meta::FindWindowExtent(windows, object->windowOrg, object->windowExt);
    const int dpiX = reference ? GetDeviceCaps(reference, LOGPIXELSX) : 0;
    const int dpiY = reference ? GetDeviceCaps(reference, LOGPIXELSY) : 0;
    const double mmX = 25.4 / (dpiX > 0 ? dpiX : 96), mmY = 25.4 / (dpiY > 0 ? dpiY : 96);
    int32_t frameX = 0, frameY = 0;
    if (picture && (picture->mm == MM_ANISOTROPIC || picture->mm == MM_ISOTROPIC) &&
        picture->xExt != 0 && picture->yExt != 0) {
        frameX = static_cast<int32_t>(std::min<int64_t>(std::llabs(picture->xExt), INT32_MAX));
        frameY = static_cast<int32_t>(std::min<int64_t>(std::llabs(picture->yExt), INT32_MAX));
    } else if (hasWindow) {
        frameX = static_cast<int32_t>(std::lround(std::abs(object->windowExt.cx) * mmX * 100));
        frameY = static_cast<int32_t>(std::lround(std::abs(object->windowExt.cy) * mmY * 100));
    }
    if (frameX <= 0 || frameY <= 0) return 0;
    if (!hasWindow || object->windowExt.cx == 0 || object->windowExt.cy == 0) {
        // Without its own window the records are taken as reference device pixels.
        object->windowOrg = POINT{0, 0};
        object->windowExt = SIZE{std::max(1, static_cast<int>(std::lround(frameX / (mmX * 100)))),
                                 std::max(1, static_cast<int>(std::lround(frameY / (mmY * 100))))};
    }
    // A header, the Windows bits kept in a comment record, and the end record.
    std::vector<uint8_t> bits;
    const uint32_t devX = 1024, devY = 768;
    const auto mmW = static_cast<uint32_t>(std::lround(devX * mmX));
    const auto mmH = static_cast<uint32_t>(std::lround(devY * mmY));
    const uint32_t comment = static_cast<uint32_t>(12 + ((windows.size() + 3) & ~size_t{3}));
    const uint32_t total = 88 + comment + 20;
    for (uint32_t v : {1u, 88u})
        PutU32(bits, v);
    const int32_t boundsX = static_cast<int32_t>(std::lround(frameX / (mmX * 100)));
    const int32_t boundsY = static_cast<int32_t>(std::lround(frameY / (mmY * 100)));
    for (int32_t v : {0, 0, boundsX, boundsY, 0, 0, frameX, frameY})
        PutU32(bits, static_cast<uint32_t>(v));
    for (uint32_t v : {kSignature, 0x10000u, total, 3u})
        PutU32(bits, v);
    PutU32(bits, 1);  // one handle (the table's reserved slot), no description
    for (uint32_t v : {0u, 0u, 0u, devX, devY, mmW, mmH})
        PutU32(bits, v);
    PutU32(bits, 70);
    PutU32(bits, comment);
    PutU32(bits, static_cast<uint32_t>(windows.size()));
    bits.insert(bits.end(), windows.begin(), windows.end());
    while (bits.size() % 4)
        bits.push_back(0);
    for (uint32_t v : {14u, 20u, 0u, 16u, 20u})
        PutU32(bits, v);
    if (!ParseHeader(bits, object->header)) return 0;
    object->bits = std::move(bits);
    object->windows = std::move(windows);
    return InsertHandle(HandleKind::EnhMetaFile, object);
}

HENHMETAFILE CopyEnhMetaFile(HENHMETAFILE metafile, const char* path) {
    auto source = LookupEnh(metafile);
    if (!source) return 0;
    if (path) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(source->bits.data()),
                  static_cast<std::streamsize>(source->bits.size()));
        if (!out) return 0;
    }
    auto copy = std::make_shared<EnhancedMetaFile>(*source);
    return InsertHandle(HandleKind::EnhMetaFile, copy);
}

bool DeleteEnhMetaFile(HENHMETAFILE metafile) {
    return RemoveHandle(metafile, HandleKind::EnhMetaFile);
}

uint32_t GetEnhMetaFileHeader(HENHMETAFILE metafile, uint32_t size, ENHMETAHEADER* header) {
    auto source = LookupEnh(metafile);
    if (!source) return 0;
    if (!header) return sizeof(ENHMETAHEADER);
    if (size < sizeof(ENHMETAHEADER)) return 0;
    *header = source->header;
    return sizeof(ENHMETAHEADER);
}

bool PlayEnhMetaFile(HDC dc, HENHMETAFILE metafile, const RECT* rect) {
    auto source = LookupEnh(metafile);
    if (!source || !rect || !gdi::LookupDc(dc)) return false;
    POINT corners[2] = {{rect->left, rect->top}, {rect->right, rect->bottom}};
    if (!LPtoDP(dc, corners, 2)) return false;
    const RECT device{corners[0].x, corners[0].y, corners[1].x, corners[1].y};
    if (source->wrapped) return PlayWrapped(dc, *source, device);

    const int base = SaveDC(dc);
    if (!base) return false;
    // The records' coordinates are carried to device pixels by the player.
    SetMapMode(dc, MM_TEXT);
    SetWindowOrgEx(dc, 0, 0, nullptr);
    SetViewportOrgEx(dc, 0, 0, nullptr);
    {
        emf::EnhancedPlayer player(dc, source->header, device);
        player.Play(source->bits);
        RestoreDC(dc, base);
        player.ReleaseObjects();
    }
    return true;
}

}  // namespace platform
