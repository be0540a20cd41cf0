// Text on the drawing surface: TextOut, TextWidth and TextHeight in the control's font, lines
// split at CR, LF and CR LF, tabs expanded from pixel column 0 of the target.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>
#include <vector>

#include "control/lumora_ctrl.h"
#include "draw/surface.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/gdi_draw.h"
#include "platform/gdi/gdi_text.h"

namespace control {

using platform::CTL_E_INVALIDPICTURE;
using platform::CTL_E_INVALIDPROPERTYVALUE;

namespace {

struct TextLine {
    std::string_view text;
    bool terminated = false;
};

// CR, LF and CR LF end a line; an LF before the first CR belongs to the line, and a terminator
// at the very end starts no further line.
std::vector<TextLine> SplitLines(std::string_view rest) {
    std::vector<TextLine> lines;
    while (!rest.empty()) {
        const size_t cr = rest.find('\r');
        const size_t lf = rest.find('\n');
        if (cr != std::string_view::npos) {
            const size_t skip = lf == cr + 1 ? 2 : 1;
            lines.push_back({rest.substr(0, cr), true});
            rest.remove_prefix(cr + skip);
        } else if (lf != std::string_view::npos) {
            lines.push_back({rest.substr(0, lf), true});
            rest.remove_prefix(lf + 1);
        } else {
            lines.push_back({rest, false});
            rest = {};
        }
    }
    return lines;
}

// The control's font at the DC's resolution.
platform::HFONT CreateControlFont(HDC dc, const platform::FontDesc& desc) {
    platform::LOGFONT lf{};
    const int dpi = std::max(platform::GetDeviceCaps(dc, LOGPIXELSY), 1);
    lf.lfHeight = -static_cast<int32_t>(std::lround(desc.SizePoints() * dpi / 72.0));
    lf.lfWeight = desc.weight;
    lf.lfItalic = desc.italic;
    lf.lfUnderline = desc.underline;
    lf.lfStrikeOut = desc.strikethrough;
    lf.lfCharSet = static_cast<uint8_t>(desc.charset);
    const size_t n = std::min(desc.name.size(), sizeof lf.lfFaceName - 1);
    std::memcpy(lf.lfFaceName, desc.name.data(), n);
    return platform::CreateFontIndirect(&lf);
}

int Width(uint32_t extent) {
    return static_cast<int>(extent & 0xFFFF);
}

int Height(uint32_t extent) {
    return static_cast<int>(extent >> 16);
}

}  // namespace

// ---- Properties ---------------------------------------------------------------------------------

void CLumoraCtrl::SetFontTransparent(bool value) {
    drawing_.fontTransparent = value;
    SetModifiedFlag();
}

void CLumoraCtrl::SetNumTabs(int16_t value) {
    if (value < 0 || value > static_cast<int16_t>(kMaxTabStops))
        ThrowError(CTL_E_INVALIDPROPERTYVALUE);
    drawing_.numTabs = value;
}

int16_t CLumoraCtrl::GetTabStops(int16_t index) const {
    if (index < 0 || index >= static_cast<int16_t>(kMaxTabStops))
        ThrowError(CTL_E_INVALIDPROPERTYVALUE);
    return static_cast<int16_t>(drawing_.tabStops[static_cast<size_t>(index)]);
}

void CLumoraCtrl::SetTabStops(int16_t index, int16_t value) {
    if (index < 0 || index >= static_cast<int16_t>(kMaxTabStops))
        ThrowError(CTL_E_INVALIDPROPERTYVALUE);
    drawing_.tabStops[static_cast<size_t>(index)] = value;
}

// ---- Measuring and drawing --------------------------------------------------------------------

int CLumoraCtrl::TabStopsInUse(HDC dc) {
    if (drawing_.numTabs >= 1) return drawing_.numTabs;
    platform::TEXTMETRIC tm{};
    platform::GetTextMetrics(dc, &tm);
    drawing_.tabStops[0] = 8 * tm.tmAveCharWidth;
    return 1;
}

std::pair<int, int> CLumoraCtrl::TextTarget() const {
    if (drawing_.drawTo == 1 && (image_.bmpw == 0 || image_.bmph == 0))
        ThrowError(CTL_E_INVALIDPICTURE);
    return TargetExtent();
}

float CLumoraCtrl::TextHeight(const std::string& text) {
    const int height = TextTarget().second;
    const HDC dc = view_.controlDC;
    if (!HasWindow() || !dc) return 0.0f;
    ScopedObject font(dc, CreateControlFont(dc, InternalGetFont().Desc()));
    const int lineHeight = Height(platform::GetTabbedTextExtent(dc, "gM", 2, 0, nullptr));
    int total = 0;
    for (const TextLine& line : SplitLines(text))
        if (!line.text.empty() || line.terminated) total += lineHeight;
    return static_cast<float>(
        ConvertUnitsY(total, kPixels, drawing_.scaleMode, dc, height, drawing_.scaleHeight));
}

float CLumoraCtrl::TextWidth(const std::string& text) {
    const int width = TextTarget().first;
    const HDC dc = view_.controlDC;
    if (!HasWindow() || !dc) return 0.0f;
    ScopedObject font(dc, CreateControlFont(dc, InternalGetFont().Desc()));
    const int tabs = TabStopsInUse(dc);
    int widest = 0;
    for (const TextLine& line : SplitLines(text)) {
        if (line.text.empty()) continue;
        widest = std::max(widest, Width(platform::GetTabbedTextExtent(
                                      dc, line.text.data(), static_cast<int>(line.text.size()),
                                      tabs, drawing_.tabStops.data())));
    }
    return static_cast<float>(
        ConvertUnitsX(widest, kPixels, drawing_.scaleMode, dc, width, drawing_.scaleWidth));
}

void CLumoraCtrl::TextOut(const std::string& text) {
    DrawSurface surface(*this);
    const HDC dc = surface.Dc();
    const int oldMode = platform::SetBkMode(
        dc, drawing_.fontTransparent ? platform::TRANSPARENT : platform::OPAQUE);
    const COLORREF oldColour = platform::SetTextColor(dc, TranslateColor(GetForeColor()));
    {
        ScopedObject font(dc, CreateControlFont(dc, InternalGetFont().Desc()));
        const ScaleFrame frame = surface.Frame();
        const int x0 = frame.PixelX(drawing_.currentX);
        const int y0 = frame.PixelY(drawing_.currentY);
        const int tabs = TabStopsInUse(dc);
        const int32_t* stops = drawing_.tabStops.data();
        const int lineHeight = Height(platform::GetTabbedTextExtent(dc, "gM", 2, tabs, stops));
        int x = x0, y = y0;
        bool newLine = false;
        for (const TextLine& line : SplitLines(text)) {
            int drawn = 0;
            if (!line.text.empty())
                drawn = Width(platform::TabbedTextOut(dc, x, y, line.text.data(),
                                                      static_cast<int>(line.text.size()), tabs,
                                                      stops, 0));
            if (!line.terminated) {
                x += drawn;
                break;
            }
            x = frame.PixelX(0.0);
            y += lineHeight;
            newLine = true;
        }
        // The position moves by what was drawn, in scale units from where it was (or from
        // coordinate 0 after a line end), so it neither drifts with the origin nor snaps.
        const double lineStart = newLine ? 0.0 : double{drawing_.currentX};
        const int columnStart = newLine ? frame.PixelX(0.0) : x0;
        drawing_.currentX = static_cast<float>(lineStart + frame.ScaleLengthX(x - columnStart));
        drawing_.currentY = static_cast<float>(drawing_.currentY + frame.ScaleLengthY(y - y0));
    }
    platform::SetTextColor(dc, oldColour);
    if (oldMode) platform::SetBkMode(dc, oldMode);
}

}  // namespace control
