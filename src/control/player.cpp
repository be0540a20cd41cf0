#include "control/player.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "control/numeric_args.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/gdi_draw.h"
#include "platform/ole/system_colors.h"

namespace control {

namespace {

int BitsPerPixel(HDC dc) {
    return platform::GetDeviceCaps(dc, BITSPIXEL) * platform::GetDeviceCaps(dc, PLANES);
}

// Copies a rectangle of the bitmap selected into src through its own colour table, so a
// palette device maps it by colour rather than by index. Nothing is copied when the rows
// cannot be had.
void PaletteCopy(HDC src, HDC dst, int x, int y, int srcX, int srcY, int width, int height,
                 uint32_t rop) {
    const HBITMAP bitmap = platform::GetCurrentObject(src, OBJ_BITMAP);
    BITMAP format{};
    if (!bitmap || !platform::GetObject(bitmap, sizeof(format), &format)) return;
    int bits = format.bmBitsPixel * format.bmPlanes;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24) bits = 32;
    std::vector<uint8_t> infoBlock(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
    auto* info = reinterpret_cast<BITMAPINFO*>(infoBlock.data());
    info->bmiHeader = platform::DibHeader(format.bmWidth, format.bmHeight, bits).bmiHeader;
    const size_t rowBytes = ((static_cast<size_t>(format.bmWidth) * bits + 31) / 32) * 4;
    std::vector<uint8_t> rows(rowBytes * static_cast<size_t>(std::max(format.bmHeight, 0)));
    if (rows.empty()) return;
    if (platform::GetDIBits(src, bitmap, 0, static_cast<uint32_t>(format.bmHeight), rows.data(),
                            info, DIB_RGB_COLORS) == 0)
        return;
    // DIB rows run bottom-up, so the source rectangle is measured from the bottom.
    platform::StretchDIBits(dst, x, y, width, height, srcX, format.bmHeight - srcY - height, width,
                            height, rows.data(), info, DIB_RGB_COLORS, rop);
}

// Copies between the canvas and its restore copy through a DC made for the purpose.
void CopyWithRestore(HDC composeDC, HBITMAP restore, const RECT& r, bool save) {
    const HDC mem = platform::CreateCompatibleDC(composeDC);
    if (!mem) return;
    const HGDIOBJ old = platform::SelectObject(mem, restore);
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (save)
        platform::BitBlt(mem, r.left, r.top, w, h, composeDC, r.left, r.top, SRCCOPY);
    else
        platform::BitBlt(composeDC, r.left, r.top, w, h, mem, r.left, r.top, SRCCOPY);
    platform::SelectObject(mem, old);
    platform::DeleteDC(mem);
}

RECT FrameRect(const FrameEntry& frame) {
    return RECT{frame.left, frame.top, frame.left + frame.width, frame.top + frame.height};
}

std::chrono::milliseconds FrameDelay(const FrameEntry& frame) {
    return std::chrono::milliseconds(std::max(frame.delay, kMinimumFrameDelay));
}

// Sleeps until the time or until the running flag clears, whichever comes first; true when
// the player is to stop.
bool WaitUnlessStopped(PlayerBlock& block, std::chrono::steady_clock::time_point until) {
    std::unique_lock wait(block.waitMutex);
    return block.wake.wait_until(wait, until, [&] { return block.running.load() == 0; });
}

CanvasView ViewOf(const PlayerBlock& block) {
    CanvasView view;
    view.composeDC = block.surface.dc;
    view.controlDC = block.controlDC;
    view.canvasWidth = block.canvasWidth;
    view.canvasHeight = block.canvasHeight;
    view.zoom = block.zoom;
    view.showX = block.showX;
    view.showY = block.showY;
    view.transDC = block.transDC;
    view.windowX = block.windowX;
    view.windowY = block.windowY;
    COLORREF back = 0;
    platform::OleTranslateColor(block.backColor, block.frames[0].palette, &back);
    view.backColor = back;
    view.backgroundCopy = block.frames[0].disposal != 1;
    return view;
}

}  // namespace

void ClearCanvas(const CanvasView& view, const RECT& rect) {
    const int w = rect.right - rect.left, h = rect.bottom - rect.top;
    if (w <= 0 || h <= 0) return;
    const HDC trans = static_cast<HDC>(view.transDC);
    if (trans != 0 && view.backgroundCopy) {
        HPALETTE displaced = 0;
        if (BitsPerPixel(view.controlDC) <= 8) {
            displaced = platform::SelectPalette(
                view.composeDC, platform::GetStockObject(platform::DEFAULT_PALETTE), false);
            platform::RealizePalette(view.composeDC);
        }
        // The host's background under the canvas's place on the screen.
        const bool copied =
            platform::BitBlt(view.composeDC, rect.left, rect.top, w, h, trans,
                             view.windowX + rect.left, view.windowY + rect.top, SRCCOPY);
        if (displaced) platform::SelectPalette(view.composeDC, displaced, false);
        if (copied) return;
    }
    const HBRUSH brush = platform::CreateSolidBrush(view.backColor);
    platform::FillRect(view.composeDC, &rect, brush);
    platform::DeleteObject(brush);
}

void DisposeFrame(const CanvasView& view, const FrameEntry& frame, HBITMAP restore) {
    if (frame.disposal == 2)
        ClearCanvas(view, FrameRect(frame));
    else if (frame.disposal == 3 && restore)
        CopyWithRestore(view.composeDC, restore, FrameRect(frame), false);
}

void ComposeFrame(const CanvasView& view, const FrameEntry& frame, HBITMAP restore) {
    if (frame.disposal == 3 && restore)
        CopyWithRestore(view.composeDC, restore, FrameRect(frame), true);
    const int depth = BitsPerPixel(view.controlDC);
    const HDC src = platform::CreateCompatibleDC(view.controlDC);
    if (!src) return;
    const HGDIOBJ displacedBitmap = platform::SelectObject(src, frame.bitmap);
    HPALETTE displacedPalette = 0;
    if (depth <= 8) {
        if (frame.palette) {
            displacedPalette = platform::SelectPalette(src, frame.palette, false);
            platform::RealizePalette(src);
        }
        platform::RealizePalette(view.composeDC);
    }
    auto copy = [&](uint32_t rop) {
        if (depth <= 8 && view.paletteCopy)
            PaletteCopy(src, view.composeDC, frame.left, frame.top, 0, 0, frame.width, frame.height,
                        rop);
        else
            platform::BitBlt(view.composeDC, frame.left, frame.top, frame.width, frame.height, src,
                             0, 0, rop);
    };
    if (frame.transparentIndex >= 0 && frame.mask) {
        // Canvas ^ frame, masked to 0 where opaque, ^ frame: the canvas shows through the
        // transparent pixels and the frame everywhere else.
        copy(SRCINVERT);
        platform::SelectObject(src, frame.mask);
        copy(SRCAND);
        platform::SelectObject(src, frame.bitmap);
        copy(SRCINVERT);
    } else {
        copy(SRCCOPY);
    }
    if (displacedPalette) platform::SelectPalette(src, displacedPalette, false);
    platform::SelectObject(src, displacedBitmap);
    platform::DeleteDC(src);
}

void ShowCanvas(const CanvasView& view) {
    const int previousMode = platform::SetStretchBltMode(view.controlDC, COLORONCOLOR);
    const double zoom = view.zoom;
    platform::StretchBlt(view.controlDC, view.showX, view.showY,
                         RoundToInt(view.canvasWidth * zoom), RoundToInt(view.canvasHeight * zoom),
                         view.composeDC, 0, 0, view.canvasWidth, view.canvasHeight, SRCCOPY);
    platform::SetStretchBltMode(view.controlDC, previousMode);
}

void RenderImage(const CanvasView& view, const FrameEntry& frame, const FrameEntry* previous,
                 HBITMAP restore) {
    if (previous) DisposeFrame(view, *previous, restore);
    ComposeFrame(view, frame, restore);
    ShowCanvas(view);
}

// Runs at the host's own priority: it wakes once a frame for a few microseconds, and at the
// lowest priority a busy machine would hold frames back for a second or more.
void PlayAnimation(PlayerBlock& block, platform::OleControl::WindowMutex& window) {
    using Clock = std::chrono::steady_clock;
    const int count = block.frameCount;
    int i = 0;
    for (bool first = true; block.running.load() != 0; first = false) {
        {
            // Never block for good on the lock: the host may hold it while it stops us.
            std::unique_lock lock(window, std::defer_lock);
            while (!lock.try_lock())
                if (WaitUnlessStopped(block, Clock::now() + std::chrono::milliseconds(5))) return;
            const CanvasView view = ViewOf(block);
            const FrameEntry& frame = block.frames[static_cast<size_t>(i)];
            if (first)
                ShowCanvas(view);  // frame 0 was composed when the animation was prepared
            else
                RenderImage(view, frame,
                            &block.frames[static_cast<size_t>((i + count - 1) % count)],
                            block.surface.restore);
            if (block.frameShown) block.frameShown(static_cast<int16_t>(i));
        }
        if (WaitUnlessStopped(block,
                              Clock::now() + FrameDelay(block.frames[static_cast<size_t>(i)])))
            return;
        i = (i + 1) % count;
    }
}

// ---- The control's side of the player -----------------------------------------------------------

CanvasView CLumoraCtrl::CurrentCanvasView(bool paletteCopy) const {
    CanvasView view = ViewOf(player_);
    view.controlDC = view_.controlDC;
    view.transDC = print_.transDC;
    view.backColor = TranslateColor(view_.backColorSnapshot, image_.palette);
    view.paletteCopy = paletteCopy;
    return view;
}

void CLumoraCtrl::StartAnimation() {
    player_.running = 1;
    player_.thread = std::thread(PlayAnimation, std::ref(player_), std::ref(WindowLock()));
}

void CLumoraCtrl::StopAnimation() {
    {
        std::lock_guard lock(player_.waitMutex);
        player_.running = 0;
    }
    player_.wake.notify_all();
    if (player_.thread.joinable()) player_.thread.join();
}

// The canvas is placed by Position and scrolled like a still picture of its size.
void CLumoraCtrl::DrawAnimation(HDC dc) {
    if (!player_.surface.dc) return;
    player_.showX = -view_.horzPos;
    player_.showY = -view_.vertPos;
    const bool single = player_.frameCount == 1;
    CanvasView view = CurrentCanvasView(single ? print_.transDC != 0 : true);
    view.controlDC = dc;
    HPALETTE displaced = 0;
    if (print_.transDC == 0 && image_.palette) {
        displaced = platform::SelectPalette(dc, image_.palette, false);
        platform::RealizePalette(dc);
    }
    if (single) {
        // No player: one transparent frame, composed afresh over the background each time.
        ClearCanvas(view, RECT{0, 0, view.canvasWidth, view.canvasHeight});
        ComposeFrame(view, player_.frames[0], 0);
    }
    // A playing animation is shown as the player left it; the player owns the composition.
    ShowCanvas(view);
    if (displaced) {
        platform::SelectPalette(dc, displaced, false);
        platform::RealizePalette(dc);
    }
}

}  // namespace control
