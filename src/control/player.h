// The animated GIF player: composition of frames on the off-screen canvas, shared by the
// player thread and the paint, and the thread procedure itself.
#pragma once

#include <cstdint>

#include "control/lumora_ctrl.h"

namespace control {

// Frames whose delay is shorter than this (0 or 1 hundredth in the file) play at this pace,
// as browsers play them; 0 would spin.
constexpr int16_t kMinimumFrameDelay = 100;  // milliseconds

// Where the canvas is composed and where, how large, it is shown.
struct CanvasView {
    HDC composeDC = 0;
    HDC controlDC = 0;
    int32_t canvasWidth = 0;
    int32_t canvasHeight = 0;
    float zoom = 1.0f;
    int32_t showX = 0;  // the canvas's top left corner in the client area
    int32_t showY = 0;
    int32_t transDC = 0;  // host background under transparent frames; 0 for none
    int32_t windowX = 0;
    int32_t windowY = 0;
    COLORREF backColor = 0;
    bool paletteCopy = true;     // copy frames through their colour tables on palette displays
    bool backgroundCopy = true;  // clear from TransDC rather than with the back colour
};

// What the frame before the next one leaves behind, as the GIF disposal field says: 2 clears
// the frame's rectangle to the background, 3 puts back the canvas as it was before the frame
// (kept in restore), anything else keeps the frame.
void DisposeFrame(const CanvasView& view, const FrameEntry& frame, HBITMAP restore);
// Clears a rectangle of the canvas to the background: TransDC's pixels under it when there is
// one, else the back colour.
void ClearCanvas(const CanvasView& view, const RECT& rect);
// Draws a frame at its place on the canvas; transparent pixels keep what is below. A frame
// that will dispose by restoring first saves the canvas into restore.
void ComposeFrame(const CanvasView& view, const FrameEntry& frame, HBITMAP restore);
// Copies the canvas, stretched by the zoom, to the control DC.
void ShowCanvas(const CanvasView& view);

// Disposal of the previous frame (when given), composition of this one, then the show.
void RenderImage(const CanvasView& view, const FrameEntry& frame, const FrameEntry* previous,
                 HBITMAP restore);

// The player thread: shows frame 0 (already on the canvas), then each further frame in turn
// after the previous one's delay, cycling until the running flag clears. Draws only while it
// holds the window lock.
void PlayAnimation(PlayerBlock& block, platform::OleControl::WindowMutex& window);

}  // namespace control
