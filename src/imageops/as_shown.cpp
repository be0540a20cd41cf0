// The picture as the window shows it, drawn on a bitmap of its own: what an export with
// ImageSource 1 writes.
#include "control/lumora_ctrl.h"
#include "control/numeric_args.h"
#include "control/player.h"
#include "imageops/dib_block.h"
#include "platform/gdi/gdi.h"

namespace control {

HBITMAP CLumoraCtrl::BuildAsShownBitmap(int width, int height) {
    const HDC dc = view_.controlDC;
    const HBITMAP bitmap = platform::CreateCompatibleBitmap(dc, width, height);
    if (!bitmap) return 0;
    const imageops::MemoryDc mem(dc, bitmap);
    if (!mem) {
        platform::DeleteObject(bitmap);
        return 0;
    }
    const HDC out = mem.get();
    imageops::FillSolid(out, RECT{0, 0, width, height},
                        TranslateColor(GetBackColor(), image_.palette));
    if (image_.enhMetaFile != 0 && image_.thumbnail == 0) {
        PlayEnhancedMetafile(out, RECT{0, 0, width, height});
        return bitmap;
    }

    const HPALETTE previous =
        platform::SelectPalette(out, imageops::ExportPalette(image_.palette), false);
    platform::RealizePalette(out);
    RECT rect{};
    if (image_.thumbnail == 0) {
        rect = image_.autoSize != 0
                   ? RECT{0, 0, view_.clientWidth, view_.clientHeight}
                   : RECT{0, 0, RoundToInt(image_.bmpw * double{image_.zoom}),
                          RoundToInt(image_.bmph * double{image_.aspect} * image_.zoom)};
    } else {
        rect = ThumbnailImageRect();
        if (GetAppearance() == 0) {
            if (const HBITMAP frame = ThumbnailFrameBitmap()) {
                const imageops::MemoryDc tile(dc, frame);
                platform::StretchBlt(out, 0, 0, width, height, tile.get(), 0, 0,
                                     kThumbnailFrameSize, kThumbnailFrameSize, SRCCOPY);
            }
        }
    }
    const FrameEntry& first = player_.frames[0];
    if (image_.enhMetaFile != 0) {
        PlayEnhancedMetafile(out, rect);
    } else if (player_.frameCount != 0 && first.bitmap) {
        // Frame 0 composed on a canvas of this export's own, apart from the one the player uses.
        const HBITMAP canvas =
            platform::CreateCompatibleBitmap(dc, player_.canvasWidth, player_.canvasHeight);
        if (canvas) {
            {
                const imageops::MemoryDc compose(dc, canvas);
                if (compose) {
                    CanvasView view = CurrentCanvasView(false);
                    view.composeDC = compose.get();
                    view.controlDC = out;
                    view.showX = 0;
                    view.showY = 0;
                    view.transDC = 0;
                    view.backColor = TranslateColor(GetBackColor(), image_.palette);
                    ClearCanvas(view, RECT{0, 0, view.canvasWidth, view.canvasHeight});
                    ComposeFrame(view, first, 0);
                    ShowCanvas(view);
                }
            }
            platform::DeleteObject(canvas);
        }
    } else {
        RenderPicture(out, rect, RECT{0, 0, width, height});
    }
    platform::SelectPalette(out, previous, false);
    return bitmap;
}

}  // namespace control
