// Tab expansion over the text calls: each run between tabs is measured (and drawn) on its own,
// and a tab moves the pen to the next tab column.
#include <algorithm>
#include <cstdint>

#include "platform/gdi/gdi_text.h"

namespace platform {

namespace {

uint32_t Tabbed(HDC dc, int x, int y, const char* text, int count, int tabCount,
                const int32_t* positions, int origin, bool draw) {
    if (!text || count <= 0) {
        SIZE size{};
        GetTextExtentPoint32(dc, "", 0, &size);
        return static_cast<uint32_t>(size.cy & 0xFFFF) << 16;
    }
    TEXTMETRIC tm{};
    GetTextMetrics(dc, &tm);
    int64_t spacing = 8 * int64_t{std::max(tm.tmAveCharWidth, 1)};
    if (tabCount == 1 && positions && positions[0] > 0) {
        spacing = positions[0];
        tabCount = 0;
    }
    if (!positions || tabCount < 0) tabCount = 0;
    // A spacing that cannot advance falls back to the 8-character one, so a tab always moves on.
    if (tabCount == 1) tabCount = 0;

    const int64_t start = x;
    int64_t pen = x;
    int height = 0;
    int next = 0;
    int i = 0;
    while (i <= count) {
        int j = i;
        while (j < count && text[j] != '\t')
            ++j;
        SIZE size{};
        GetTextExtentPoint32(dc, text + i, j - i, &size);
        height = std::max<int>(height, size.cy);
        if (draw && j > i) TextOut(dc, static_cast<int>(pen), y, text + i, j - i);
        pen += size.cx;
        if (j >= count) break;
        // The tab: the first column to the right of the pen.
        while (next < tabCount && origin + int64_t{positions[next]} <= pen)
            ++next;
        if (next < tabCount)
            pen = origin + int64_t{positions[next]};
        else
            pen = origin + spacing * ((pen - origin) / spacing + 1);
        pen = std::min<int64_t>(pen, int64_t{1} << 30);
        i = j + 1;
    }
    const auto width = static_cast<uint32_t>(std::clamp<int64_t>(pen - start, 0, 0xFFFF));
    return static_cast<uint32_t>(height & 0xFFFF) << 16 | width;
}

}  // namespace

uint32_t GetTabbedTextExtent(HDC dc, const char* text, int count, int tabCount,
                             const int32_t* tabPositions) {
    return Tabbed(dc, 0, 0, text, count, tabCount, tabPositions, 0, false);
}

uint32_t TabbedTextOut(HDC dc, int x, int y, const char* text, int count, int tabCount,
                       const int32_t* tabPositions, int tabOrigin) {
    return Tabbed(dc, x, y, text, count, tabCount, tabPositions, tabOrigin, true);
}

}  // namespace platform
