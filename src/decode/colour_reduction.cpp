// Colour reduction for palette displays: a median-cut palette for true-colour pictures and an
// ordered dither to eight colours.
#include <array>
#include <cstring>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "decode/build_dib.h"
#include "decode/loader_error.h"
#include "platform/os/global_memory.h"

namespace decode {
namespace {

struct ColorCell {
    uint8_t coord[3];  // red, green, blue, top four bits each
    uint8_t paletteIndex = 0;
    uint32_t count = 0;
    ColorCell* next = nullptr;
};

struct ColorBox {
    uint8_t lower[3]{};
    uint8_t extent[3]{};
    uint16_t cellCount = 0;
    uint32_t pixelCount = 0;
    ColorCell* first = nullptr;
};

// Insertion sort for short parts: an element moves left past every predecessor whose key is
// greater than or equal to its own.
void InsertionSort(ColorCell** a, int n, int c) {
    for (int k = 1; k < n; ++k) {
        ColorCell* t = a[k];
        int m = k;
        while (m > 0 && a[m - 1]->coord[c] >= t->coord[c]) {
            a[m] = a[m - 1];
            --m;
        }
        a[m] = t;
    }
}

// Quicksort with the middle element's key as pivot and Hoare partitioning.
void SortCells(ColorCell** a, int n, int c) {
    if (n < 8) {
        InsertionSort(a, n, c);
        return;
    }
    const uint8_t pivot = a[n / 2]->coord[c];
    int i = 0, j = n - 1;
    while (i <= j) {
        while (a[i]->coord[c] < pivot)
            ++i;
        while (a[j]->coord[c] > pivot)
            --j;
        if (i <= j) {
            std::swap(a[i], a[j]);
            ++i;
            --j;
        }
    }
    if (j > 0) SortCells(a, j + 1, c);
    if (i < n - 1) SortCells(a + i, n - i, c);
}

// Splits boxes until `wanted` exist or no box has two cells; returns the box count.
int SplitBoxes(std::array<ColorBox, 256>& boxes, int boxCount, int wanted,
               std::vector<ColorCell*>& sortArray) {
    while (boxCount < wanted) {
        int chosen = -1, channel = 0, largest = -1;
        for (int b = 0; b < boxCount; ++b) {
            if (boxes[b].cellCount < 2) continue;
            for (int c = 0; c < 3; ++c) {
                if (boxes[b].extent[c] > largest) {
                    largest = boxes[b].extent[c];
                    chosen = b;
                    channel = c;
                }
            }
        }
        if (chosen < 0) break;

        ColorBox& box = boxes[chosen];
        const int n = box.cellCount;
        int k = 0;
        for (ColorCell* cell = box.first; cell && k < n; cell = cell->next)
            sortArray[k++] = cell;
        SortCells(sortArray.data(), n, channel);
        for (int i = 0; i + 1 < n; ++i)
            sortArray[i]->next = sortArray[i + 1];
        sortArray[n - 1]->next = nullptr;
        box.first = sortArray[0];

        const uint32_t half = box.pixelCount / 2;
        int m = 0;
        uint32_t sum = 0;
        while (m < n - 1 && sum + sortArray[m]->count <= half)
            sum += sortArray[m++]->count;
        if (m == 0) sum = sortArray[m++]->count;

        ColorBox& upper = boxes[boxCount];
        upper = box;
        upper.first = sortArray[m];
        upper.cellCount = static_cast<uint16_t>(n - m);
        upper.pixelCount = box.pixelCount - sum;
        sortArray[m - 1]->next = nullptr;
        box.cellCount = static_cast<uint16_t>(m);
        box.pixelCount = sum;

        const int c = channel;
        const uint8_t firstUpper = sortArray[m]->coord[c];
        const uint8_t lastLower = sortArray[m - 1]->coord[c];
        upper.extent[c] = static_cast<uint8_t>(box.lower[c] + box.extent[c] - 16 * firstUpper);
        upper.lower[c] = static_cast<uint8_t>(16 * firstUpper);
        box.extent[c] = static_cast<uint8_t>(16 * lastLower - box.lower[c]);
        ++boxCount;
    }
    return boxCount;
}

// The histogram cell of a pixel: the top four bits of red, green and blue, red highest.
uint32_t CellOf(const uint8_t* bgr) {
    return ((bgr[2] >> 4) << 8) | ((bgr[1] >> 4) << 4) | (bgr[0] >> 4);
}

// Counts alternate between two tables: neighbouring pixels mostly fall into one cell, and one
// table would make each count wait for the one before it.
using CellCounts = std::array<std::array<uint32_t, 4096>, 2>;

#if defined(__x86_64__) || defined(__i386__)
// For one channel of three-byte pixels, the shuffle of each of three 16-byte registers that puts
// byte first + 3i of the 48 loaded at byte i; the other registers' shuffles leave it zero.
struct ChannelShuffle {
    alignas(16) int8_t order[3][16];
    explicit ChannelShuffle(int first) {
        for (int reg = 0; reg < 3; ++reg)
            for (int i = 0; i < 16; ++i) {
                const int at = first + 3 * i - 16 * reg;
                order[reg][i] = static_cast<int8_t>(at >= 0 && at < 16 ? at : -1);
            }
    }
};

__attribute__((target("ssse3"))) __m128i Gather(const __m128i (&v)[3], const ChannelShuffle& ch) {
    const auto order = [&](int reg) {
        return _mm_load_si128(reinterpret_cast<const __m128i*>(ch.order[reg]));
    };
    return _mm_or_si128(
        _mm_or_si128(_mm_shuffle_epi8(v[0], order(0)), _mm_shuffle_epi8(v[1], order(1))),
        _mm_shuffle_epi8(v[2], order(2)));
}

// Cells of three-byte pixels sixteen at a time: the shuffles gather the blues, greens and reds,
// and two shifts make the cells. Returns the pixels counted; only whole groups of sixteen are
// read, so nothing past the row is touched.
__attribute__((target("ssse3"))) int CountRowShuffle(const uint8_t* p, int width,
                                                     CellCounts& counts) {
    static const ChannelShuffle blueAt(0), greenAt(1), redAt(2);
    const __m128i low4 = _mm_set1_epi8(0x0F);
    alignas(16) uint16_t cells[16];
    int x = 0;
    for (; x + 16 <= width; x += 16, p += 48) {
        const __m128i v[3] = {_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)),
                              _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)),
                              _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32))};
        const __m128i blue = Gather(v, blueAt), green = Gather(v, greenAt);
        const __m128i red = Gather(v, redAt);
        // Low byte: green's top four bits over blue's; high byte: red's top four bits.
        const __m128i low = _mm_or_si128(_mm_andnot_si128(low4, green),
                                         _mm_and_si128(_mm_srli_epi16(blue, 4), low4));
        const __m128i high = _mm_and_si128(_mm_srli_epi16(red, 4), low4);
        const __m128i first8 = _mm_unpacklo_epi8(low, high), last8 = _mm_unpackhi_epi8(low, high);
        _mm_store_si128(reinterpret_cast<__m128i*>(cells), first8);
        _mm_store_si128(reinterpret_cast<__m128i*>(cells + 8), last8);
        // Sixteen pixels of one cell, as in skies and flat backgrounds: one count.
        const __m128i same = _mm_set1_epi16(static_cast<int16_t>(cells[0]));
        if (_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi16(first8, same),
                                            _mm_cmpeq_epi16(last8, same))) == 0xFFFF) {
            counts[0][cells[0]] += 16;
            continue;
        }
        for (int i = 0; i < 16; i += 2) {
            ++counts[0][cells[i]];
            ++counts[1][cells[i + 1]];
        }
    }
    return x;
}
#endif

// One pass over the pixels builds the histogram; 32-bit rows carry a fourth byte.
void CountCells(const DecodedImage& img, std::vector<ColorCell>& cells) {
    CellCounts counts{};
    const BITMAPINFOHEADER& h = img.header;
    const int step = h.biBitCount == 32 ? 4 : 3;
#if defined(__x86_64__) || defined(__i386__)
    static const bool shuffle = __builtin_cpu_supports("ssse3");
#endif
    for (int32_t r = 0; r < h.biHeight; ++r) {
        const uint8_t* p = img.pixels + static_cast<size_t>(r) * img.rowStride;
        int x = 0;
#if defined(__x86_64__) || defined(__i386__)
        if (shuffle && step == 3) {
            x = CountRowShuffle(p, h.biWidth, counts);
            p += 3 * x;
        }
#endif
        for (; x < h.biWidth; ++x, p += step)
            ++counts[x & 1][CellOf(p)];
    }
    for (size_t k = 0; k < cells.size(); ++k)
        cells[k].count = counts[0][k] + counts[1][k];
}

}  // namespace

int32_t MedianCutPalette(DecodedImage& img, int32_t& wanted) {
    if (wanted < 1) wanted = 1;
    if (wanted > 256) wanted = 256;
    std::vector<ColorCell> cells;
    std::vector<ColorCell*> sortArray;
    std::array<ColorBox, 256> boxes{};
    try {
        cells.resize(4096);
        sortArray.resize(4096);
    } catch (const std::bad_alloc&) {
        return kNoMemory;
    }
    for (int k = 0; k < 4096; ++k) {
        cells[k].coord[0] = static_cast<uint8_t>(k >> 8);
        cells[k].coord[1] = static_cast<uint8_t>((k >> 4) & 15);
        cells[k].coord[2] = static_cast<uint8_t>(k & 15);
    }

    CountCells(img, cells);
    const BITMAPINFOHEADER& h = img.header;

    ColorBox& all = boxes[0];
    ColorCell* tail = nullptr;
    for (ColorCell& cell : cells) {
        if (!cell.count) continue;
        (tail ? tail->next : all.first) = &cell;
        tail = &cell;
        ++all.cellCount;
    }
    all.pixelCount = static_cast<uint32_t>(h.biWidth) * static_cast<uint32_t>(h.biHeight);
    for (int c = 0; c < 3; ++c)
        all.extent[c] = 255;

    const int boxCount = all.cellCount ? SplitBoxes(boxes, 1, wanted, sortArray) : 1;

    for (int i = boxCount; i < wanted; ++i)
        std::memset(&img.rgbPalette[3 * i], 0, 3);
    for (int i = 0; i < boxCount; ++i) {
        const ColorBox& box = boxes[i];
        if (!box.cellCount) continue;
        uint32_t sum[3] = {0, 0, 0};
        int n = 0;
        for (ColorCell* cell = box.first; cell && n < box.cellCount; cell = cell->next, ++n) {
            cell->paletteIndex = static_cast<uint8_t>(i);
            for (int c = 0; c < 3; ++c)
                sum[c] += cell->coord[c];
        }
        for (int c = 0; c < 3; ++c)
            img.rgbPalette[3 * i + c] = static_cast<uint8_t>(sum[c] * 16 / n);
    }
    wanted = boxCount;
    return 0;
}

namespace {

constexpr uint8_t kBayer[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
    {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
    {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21},
};

// Index bit 0 red, bit 1 green, bit 2 blue.
constexpr uint8_t kEightColours[8][3] = {{0, 0, 0},     {255, 0, 0},    {0, 255, 0},
                                         {255, 255, 0}, {0, 0, 255},    {255, 0, 255},
                                         {0, 255, 255}, {255, 255, 255}};

}  // namespace

int32_t OrderedDither(DecodedImage& img) {
    BITMAPINFOHEADER& h = img.header;
    const int32_t w = h.biWidth;
    const int32_t stride = ((w + 7) / 8) * 4;
    platform::GlobalBlock out(
        platform::GlobalAlloc(GHND, static_cast<size_t>(h.biHeight + 1) * stride));
    if (!out) return kNoMemory;
    auto* dst = static_cast<uint8_t*>(platform::GlobalLock(out.get()));
    if (!dst) return kNoMemory;
    std::vector<uint8_t> rgb;
    try {
        rgb.resize(static_cast<size_t>(w) * 3);
    } catch (const std::bad_alloc&) {
        platform::GlobalUnlock(out.get());
        return kNoMemory;
    }

    const int bits = h.biBitCount;
    for (int32_t y = 0; y < h.biHeight; ++y) {
        const uint8_t* src = img.row(y);
        uint8_t* q = rgb.data();
        for (int32_t x = 0; x < w; ++x, q += 3) {
            const uint8_t* colour;
            uint8_t bgr[3];
            if (bits == 4 || bits == 8) {
                const int index = bits == 8 ? src[x] : (x & 1 ? src[x / 2] & 15 : src[x / 2] >> 4);
                colour = &img.rgbPalette[3 * index];
            } else {
                const uint8_t* p = src + static_cast<size_t>(x) * (bits == 32 ? 4 : 3);
                bgr[0] = p[2], bgr[1] = p[1], bgr[2] = p[0];
                colour = bgr;
            }
            q[0] = colour[0], q[1] = colour[1], q[2] = colour[2];
        }
        uint8_t* o = dst + static_cast<size_t>(h.biHeight - 1 - y) * stride;
        const uint8_t* m = kBayer[y & 7];
        q = rgb.data();
        for (int32_t x = 0; x < w; ++x, q += 3) {
            const int t = 4 * m[x & 7];
            const uint8_t v = (q[0] > t ? 1 : 0) | (q[1] > t ? 2 : 0) | (q[2] > t ? 4 : 0);
            if (x & 1)
                o[x / 2] |= v;
            else
                o[x / 2] = static_cast<uint8_t>(v << 4);
        }
    }

    ReleasePixels(img);
    platform::GlobalUnlock(out.get());
    img.pixelHandle = out.release();
    img.pixels = static_cast<uint8_t*>(platform::GlobalLock(img.pixelHandle));
    h.biBitCount = 4;
    img.bitInfo.bmiHeader = h;
    img.rowStride = stride;
    img.builtBitCount = 4;
    for (int i = 0; i < 8; ++i)
        std::memcpy(&img.rgbPalette[3 * i], kEightColours[i], 3);
    return 0;
}

}  // namespace decode
