// The display device: its depth, resolution and, at 8 bits, the system palette that realised
// logical palettes are mapped into.
#include <array>
#include <cmath>
#include <cstdint>

#include "platform/gdi/gdi.h"
#include "platform/gdi/gdi_objects.h"

namespace platform {
namespace gdi {
namespace {

constexpr int kDisplayWidth = 1920;
constexpr int kDisplayHeight = 1080;
constexpr int kStaticLow = 10;    // static colours at 0..9
constexpr int kStaticHigh = 246;  // and at 246..255

struct DisplayState {
    int depth = 32;
    int dpiX = 96;
    int dpiY = 96;
    SystemPalette palette;  // the 8-bit layout; kept whatever the depth
    uint64_t paletteChanges = 0;  // counts changes of the palette and of the depth
    std::shared_ptr<Bitmap> screen;
};

RGBQUAD Quad(uint8_t r, uint8_t g, uint8_t b) {
    return RGBQUAD{b, g, r, 0};
}

void ResetSystemPalette(SystemPalette& p) {
    p.colors.fill(RGBQUAD{0, 0, 0, 0});
    p.used.fill(false);
    const auto& statics = StaticColors();
    for (int i = 0; i < 10; ++i) {
        p.colors[i] = statics[i];
        p.colors[kStaticHigh + i] = statics[10 + i];
        p.used[i] = p.used[kStaticHigh + i] = true;
    }
}

DisplayState& State() {
    static DisplayState state = [] {
        DisplayState s;
        ResetSystemPalette(s.palette);
        return s;
    }();
    return state;
}

// At most 512 colours (the 256 slots and one palette's worth besides) in 1024 buckets.
class ColorSet {
  public:
    ColorSet() { keys_.fill(kEmpty); }
    // False when the colour was there already.
    bool insert(uint8_t r, uint8_t g, uint8_t b) {
        const uint32_t key = uint32_t{r} << 16 | uint32_t{g} << 8 | b;
        for (uint32_t i = (key * 2654435761u) >> 22;; i = (i + 1) & (kSize - 1)) {
            if (keys_[i] == key) return false;
            if (keys_[i] == kEmpty) {
                keys_[i] = key;
                return true;
            }
        }
    }

  private:
    static constexpr uint32_t kSize = 1024;
    static constexpr uint32_t kEmpty = 0xFFFFFFFFu;
    std::array<uint32_t, kSize> keys_;
};

}  // namespace

const std::array<RGBQUAD, 20>& StaticColors() {
    static const std::array<RGBQUAD, 20> colors = {
        Quad(0, 0, 0),       Quad(128, 0, 0),     Quad(0, 128, 0),     Quad(128, 128, 0),
        Quad(0, 0, 128),     Quad(128, 0, 128),   Quad(0, 128, 128),   Quad(192, 192, 192),
        Quad(192, 220, 192), Quad(166, 202, 240), Quad(255, 251, 240), Quad(160, 160, 164),
        Quad(128, 128, 128), Quad(255, 0, 0),     Quad(0, 255, 0),     Quad(255, 255, 0),
        Quad(0, 0, 255),     Quad(255, 0, 255),   Quad(0, 255, 255),   Quad(255, 255, 255),
    };
    return colors;
}

const std::array<RGBQUAD, 16>& VgaColors() {
    static const std::array<RGBQUAD, 16> colors = {
        Quad(0, 0, 0),       Quad(128, 0, 0),   Quad(0, 128, 0),   Quad(128, 128, 0),
        Quad(0, 0, 128),     Quad(128, 0, 128), Quad(0, 128, 128), Quad(192, 192, 192),
        Quad(128, 128, 128), Quad(255, 0, 0),   Quad(0, 255, 0),   Quad(255, 255, 0),
        Quad(0, 0, 255),     Quad(255, 0, 255), Quad(0, 255, 255), Quad(255, 255, 255),
    };
    return colors;
}

std::vector<RGBQUAD> DefaultColorTable(int bitCount) {
    if (bitCount == 1) return {Quad(0, 0, 0), Quad(255, 255, 255)};
    if (bitCount == 4) return {VgaColors().begin(), VgaColors().end()};
    if (bitCount != 8) return {};
    // The static colours at both ends, a 6 x 6 x 6 colour cube and a grey ramp between.
    std::vector<RGBQUAD> table(256, RGBQUAD{0, 0, 0, 0});
    const auto& statics = StaticColors();
    for (int i = 0; i < 10; ++i) {
        table[i] = statics[i];
        table[kStaticHigh + i] = statics[10 + i];
    }
    int n = kStaticLow;
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b)
                table[n++] = Quad(static_cast<uint8_t>(r * 51), static_cast<uint8_t>(g * 51),
                                  static_cast<uint8_t>(b * 51));
    for (int i = 0; n < kStaticHigh; ++i, ++n) {
        const auto v = static_cast<uint8_t>(12 * (i + 1));
        table[n] = Quad(v, v, v);
    }
    return table;
}

SystemPalette SnapshotSystemPalette() {
    std::lock_guard lock(ObjectMutex());
    const DisplayState& s = State();
    SystemPalette p = s.palette;
    p.size = s.depth <= 8 ? (1 << s.depth) : 0;
    return p;
}

uint32_t RealizeInSystemPalette(const std::vector<PALETTEENTRY>& entries, bool background) {
    std::lock_guard lock(ObjectMutex());
    DisplayState& s = State();
    if (s.depth != 8) return 0;
    SystemPalette next = s.palette;
    if (!background) {
        // The foreground palette gets every non-static entry.
        for (int i = kStaticLow; i < kStaticHigh; ++i) {
            next.used[i] = false;
            next.colors[i] = RGBQUAD{0, 0, 0, 0};
        }
    }
    // The colours in use, in an open-addressed set: realising runs at every paint of a picture
    // with a palette, and asking each entry of all 256 slots cost more than the paint's copy.
    ColorSet present;
    for (int i = 0; i < 256; ++i)
        if (next.used[i])
            present.insert(next.colors[i].rgbRed, next.colors[i].rgbGreen, next.colors[i].rgbBlue);
    int freeSlot = kStaticLow;
    for (const PALETTEENTRY& e : entries) {
        if (!present.insert(e.peRed, e.peGreen, e.peBlue)) continue;
        while (freeSlot < kStaticHigh && next.used[freeSlot])
            ++freeSlot;
        if (freeSlot == kStaticHigh) break;
        next.colors[freeSlot] = Quad(e.peRed, e.peGreen, e.peBlue);
        next.used[freeSlot] = true;
    }
    uint32_t changed = 0;
    for (int i = 0; i < 256; ++i) {
        const bool differs =
            next.used[i] != s.palette.used[i] ||
            (next.used[i] && (next.colors[i].rgbRed != s.palette.colors[i].rgbRed ||
                              next.colors[i].rgbGreen != s.palette.colors[i].rgbGreen ||
                              next.colors[i].rgbBlue != s.palette.colors[i].rgbBlue));
        if (differs) ++changed;
    }
    if (changed) ++s.paletteChanges;
    s.palette = next;
    return changed;
}

std::shared_ptr<Bitmap> CreateMonochromeBitmap(int width, int height) {
    auto bitmap = AllocateBitmap(width, height, 1, false);
    if (!bitmap) return nullptr;
    bitmap->monochrome = true;
    bitmap->colors = DefaultColorTable(1);
    return bitmap;
}

std::shared_ptr<Bitmap> CreateDisplayBitmap(int width, int height) {
    int depth;
    {
        std::lock_guard lock(ObjectMutex());
        depth = State().depth;
    }
    if (depth == 1) return CreateMonochromeBitmap(width, height);
    auto bitmap = AllocateBitmap(width, height, depth, false);
    if (!bitmap) return nullptr;
    if (depth <= 8) {
        bitmap->systemPalette = true;
    } else if (depth == 16) {
        bitmap->masks = {0xF800, 0x07E0, 0x001F};
    } else {
        bitmap->masks = {0xFF0000, 0x00FF00, 0x0000FF};
    }
    return bitmap;
}

std::shared_ptr<Bitmap> ScreenSurface() {
    std::lock_guard lock(ObjectMutex());
    DisplayState& s = State();
    if (!s.screen) s.screen = CreateDisplayBitmap(kDisplayWidth, kDisplayHeight);
    return s.screen;
}

int DisplayWidth() {
    return kDisplayWidth;
}
int DisplayHeight() {
    return kDisplayHeight;
}

}  // namespace gdi

bool SetDisplayDepth(int bitsPerPixel) {
    switch (bitsPerPixel) {
        case 1:
        case 4:
        case 8:
        case 16:
        case 24:
        case 32:
            break;
        default:
            return false;
    }
    std::lock_guard lock(gdi::ObjectMutex());
    gdi::DisplayState& s = gdi::State();
    s.depth = bitsPerPixel;
    gdi::ResetSystemPalette(s.palette);
    ++s.paletteChanges;
    s.screen.reset();
    return true;
}

int DisplayDepth() {
    std::lock_guard lock(gdi::ObjectMutex());
    return gdi::State().depth;
}

uint64_t GetSystemPaletteChangeCount() {
    std::lock_guard lock(gdi::ObjectMutex());
    return gdi::State().paletteChanges;
}

void SetDisplayResolution(int dpiX, int dpiY) {
    if (dpiX <= 0 || dpiY <= 0) return;
    std::lock_guard lock(gdi::ObjectMutex());
    gdi::State().dpiX = dpiX;
    gdi::State().dpiY = dpiY;
}

namespace {

// A raster page is a 24-bit printer of its own size and resolution.
int PageDeviceCaps(const gdi::PageCaps& page, int index) {
    switch (index) {
        case TECHNOLOGY:
            return DT_RASPRINTER;
        case HORZSIZE:
            return static_cast<int>(std::lround(page.width * 25.4 / page.dpiX));
        case VERTSIZE:
            return static_cast<int>(std::lround(page.height * 25.4 / page.dpiY));
        case HORZRES:
            return page.width;
        case VERTRES:
            return page.height;
        case BITSPIXEL:
            return 24;
        case PLANES:
            return 1;
        case NUMCOLORS:
            return -1;
        case RASTERCAPS:
            return RC_BITBLT | RC_DI_BITMAP | RC_STRETCHBLT;
        case LOGPIXELSX:
            return page.dpiX;
        case LOGPIXELSY:
            return page.dpiY;
        case COLORRES:
            return 24;
        default:
            return 0;
    }
}

}  // namespace

extern "C" int GetDeviceCaps(HDC dc, int index) {
    const auto object = gdi::LookupDc(dc);
    if (!object) return 0;
    if (object->page.width > 0) return PageDeviceCaps(object->page, index);
    int depth, dpiX, dpiY;
    {
        std::lock_guard lock(gdi::ObjectMutex());
        depth = gdi::State().depth;
        dpiX = gdi::State().dpiX;
        dpiY = gdi::State().dpiY;
    }
    const bool paletted = depth <= 8;
    switch (index) {
        case TECHNOLOGY:
            return DT_RASDISPLAY;
        case HORZSIZE:
            return static_cast<int>(std::lround(gdi::kDisplayWidth * 25.4 / dpiX));
        case VERTSIZE:
            return static_cast<int>(std::lround(gdi::kDisplayHeight * 25.4 / dpiY));
        case HORZRES:
            return gdi::kDisplayWidth;
        case VERTRES:
            return gdi::kDisplayHeight;
        case BITSPIXEL:
            return depth;
        case PLANES:
            return 1;
        case NUMCOLORS:
            if (depth == 8) return 20;
            return paletted ? (1 << depth) : -1;
        case RASTERCAPS:
            return RC_BITBLT | RC_DI_BITMAP | RC_STRETCHBLT | (paletted ? RC_PALETTE : 0);
        case LOGPIXELSX:
            return dpiX;
        case LOGPIXELSY:
            return dpiY;
        case SIZEPALETTE:
            return paletted ? (1 << depth) : 0;
        case NUMRESERVED:
            if (depth == 8) return 20;
            return paletted ? (1 << depth) : 0;
        case COLORRES:
            return depth == 16 ? 16 : 24;
        default:
            return 0;
    }
}

}  // namespace platform
