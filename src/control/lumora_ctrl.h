// The picture control: its state, the property accessors behind _DLumora, persistence and
// reset. Members whose work lives in another subsystem (loading, layout, drawing, printing,
// image operations) are defined beside that subsystem.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "draw/scale.h"
#include "platform/ole/ole_control.h"
#include "platform/ole/picture.h"
#include "platform/ole/variant.h"
#include "platform/os/wintypes.h"

namespace decode {
struct DecodedImage;
struct LoadOptions;
}  // namespace decode

namespace imageops {
struct ToneTables;
}  // namespace imageops

namespace control {

using platform::OLE_COLOR;

// Events of _DLumoraEvents beyond the stock ones.
enum : platform::DISPID {
    DISPID_PAINT_EVENT = 1,
    DISPID_RESIZE_EVENT = 2,
};

constexpr platform::DISPID DISPID_UNKNOWN = -1;

// Invoke flags, as IDispatch::Invoke takes them.
enum : uint16_t {
    DISPATCH_METHOD = 1,
    DISPATCH_PROPERTYGET = 2,
    DISPATCH_PROPERTYPUT = 4,
};

constexpr size_t kMaxFrames = 100;
constexpr size_t kOffsetTableSize = 100;
constexpr int16_t kCustomPointer = 99;  // MousePointer value for the MouseIcon cursor
constexpr int kThumbnailFrameSize = 94;  // side of the drawn thumbnail frame bitmap

// One decoded frame of an animation, positioned on the canvas.
struct FrameEntry {
    HBITMAP bitmap = 0;
    HPALETTE palette = 0;
    HBITMAP mask = 0;  // white where transparent; 0 without transparency
    int16_t left = 0;
    int16_t top = 0;
    int16_t width = 0;
    int16_t height = 0;
    int16_t delay = 0;  // milliseconds
    uint8_t disposal = 0;
    int32_t transparentIndex = -1;
};

using FrameTable = std::array<FrameEntry, kMaxFrames>;

struct CanvasView;

// The off-screen canvas the player composes on, with what it displaced from its DC.
struct ComposeSurface {
    HDC dc = 0;
    HBITMAP bitmap = 0;
    HGDIOBJ displacedBitmap = 0;
    HPALETTE displacedPalette = 0;
    HBITMAP restore = 0;  // the canvas before a frame that disposes by restoring it
};

// What the player thread reads. The host writes it before the thread starts; the fields the
// host may change under a running player are atomic.
struct PlayerBlock {
    std::atomic<int16_t> running{0};
    std::thread thread;
    // The frame wait: a timed wait that ends at once when the running flag clears.
    std::mutex waitMutex;
    std::condition_variable wake;
    // Called on the player thread, window lock held, after each frame is shown.
    std::function<void(int16_t frame)> frameShown;
    int16_t frameCount = 0;
    int32_t nextFrameOffset = 0;
    FrameTable frames{};
    std::atomic<int32_t> showX{0};  // where the paint placed the canvas in the client area
    std::atomic<int32_t> showY{0};
    int32_t canvasWidth = 0;
    int32_t canvasHeight = 0;
    float zoom = 1.0f;
    int16_t thumbnail = 0;
    std::atomic<int32_t> transDC{0};
    HDC controlDC = 0;
    uint32_t hwnd = 0;
    std::atomic<int32_t> windowX{0};
    std::atomic<int32_t> windowY{0};
    std::atomic<OLE_COLOR> backColor{0};
    ComposeSurface surface;

    // Every field except the thread, its running flag, its wait and its hook back to its start
    // value.
    void ResetFields();
};

struct ImageState {
    std::string fileName;
    HBITMAP bitmap = 0;
    HPALETTE palette = 0;
    HANDLE32 enhMetaFile = 0;
    int16_t bmpw = 0;
    int16_t bmph = 0;
    int16_t bmpc = 0;
    float aspect = 1.0f;
    float zoom = 1.0f;
    int16_t thumbnail = 0;
    int16_t position = 0;
    int16_t autoSize = 0;
    bool autoBackground = false;
    int16_t dcmImage = 0;
    int16_t dcmImages = 0;
    std::array<int32_t, kOffsetTableSize> offsets{};
    int32_t pendingFrameOffset = 0;
    int32_t pendingPageOffset = 0;
};

struct ViewState {
    int32_t horzPos = 0;
    int32_t vertPos = 0;
    int32_t horzRange = 0;
    int32_t vertRange = 0;
    int32_t horzPageStep = 0;
    int32_t vertPageStep = 0;
    int32_t horzLineStep = 0;
    int32_t vertLineStep = 0;
    int32_t horzScrollPos = 0;
    int32_t vertScrollPos = 0;
    int16_t clientWidth = 0;
    int16_t clientHeight = 0;
    HDC controlDC = 0;
    bool foreignDC = false;
    OLE_COLOR backColorSnapshot = 0;
};

// Options handed unchanged to the readers and the JPEG writer.
struct DecoderOptions {
    int16_t dither = 0;
    int16_t dctMethod = 1;
    int16_t jpegDither = 1;
    bool fancyUpsampling = false;
    bool twoPassQuantize = false;
    bool epsPreview = false;
    int16_t pcdSize = 2;
    int16_t jpgQuality = 0;
    int16_t jpgSmoothing = 0;
    bool jpgOptimize = true;
};

struct PrintSettings {
    int16_t printX = 0;
    int16_t printY = 0;
    float printZoom = 1.0f;
    int32_t transDC = 0;
};

struct PointerState {
    int16_t mousePointer = 0;
    HANDLE32 customCursor = 0;
    bool hourglassOn = true;
};

class CLumoraCtrl : public platform::OleControl {
  public:
    CLumoraCtrl();
    ~CLumoraCtrl() override;

    std::string EventName(platform::DISPID dispid) const override;

    // ---- _DLumora: by name, DISPID and Invoke (defined with the member table) ---------------
    // DISPID for a member name, any case; DISPID_UNKNOWN when there is none.
    platform::DISPID GetIDsOfNames(std::string_view name) const;
    // Arguments in declaration order; for a property put the value comes last.
    platform::Variant Invoke(platform::DISPID dispid, uint16_t flags,
                             std::span<const platform::Variant> args);
    platform::Variant GetProperty(std::string_view name);
    void SetProperty(std::string_view name, const platform::Variant& value);
    platform::Variant CallMethod(std::string_view name,
                                 std::span<const platform::Variant> args = {});

    // ---- Image and view -----------------------------------------------------------------------
    bool GetFancyUpsampling() const { return options_.fancyUpsampling; }
    void SetFancyUpsampling(bool value) { options_.fancyUpsampling = value; }
    bool GetTwoPassQuantize() const { return options_.twoPassQuantize; }
    void SetTwoPassQuantize(bool value) { options_.twoPassQuantize = value; }
    bool GetAutoRefresh() const { return drawing_.autoRefresh; }
    void SetAutoRefresh(bool value);
    float GetAspect() const { return image_.aspect; }
    void SetAspect(float value);
    bool GetAutoBackground() const { return image_.autoBackground; }
    void SetAutoBackground(bool value);
    bool GetEPSPreview() const { return options_.epsPreview; }
    void SetEPSPreview(bool value);
    int16_t GetAutoSize() const { return image_.autoSize; }
    void SetAutoSize(int16_t value);
    int16_t GetDither() const { return options_.dither; }
    void SetDither(int16_t value);
    std::string GetFileName() const { return image_.fileName; }
    void SetFileName(const std::string& value);
    float GetPrintZoom() const { return print_.printZoom; }
    void SetPrintZoom(float value);
    int16_t GetThumbnail() const { return image_.thumbnail; }
    void SetThumbnail(int16_t value);
    int16_t GetDCTMethod() const { return options_.dctMethod; }
    void SetDCTMethod(int16_t value);
    int16_t GetJPEGDither() const { return options_.jpegDither; }
    void SetJPEGDither(int16_t value);
    int16_t GetBmpw() const { return image_.bmpw; }
    int16_t GetBmph() const { return image_.bmph; }
    int16_t GetBmpc() const { return image_.bmpc; }
    int16_t GetPrintX() const { return print_.printX; }
    void SetPrintX(int16_t value);
    int16_t GetPrintY() const { return print_.printY; }
    void SetPrintY(int16_t value);
    int32_t GetHDC();
    // Prints the picture into a host's device context.
    void SetPrintHDC(int32_t target);
    bool GetJPGOptimize() const { return options_.jpgOptimize; }
    void SetJPGOptimize(bool value);
    int16_t GetJPGQuality() const { return options_.jpgQuality; }
    void SetJPGQuality(int16_t value);
    int16_t GetJPGSmoothing() const { return options_.jpgSmoothing; }
    void SetJPGSmoothing(int16_t value);
    int32_t GetTransDC() const;
    void SetTransDC(int32_t value);
    int32_t GetHorzPos() const;
    void SetHorzPos(int32_t value);
    int32_t GetVertPos() const;
    void SetVertPos(int32_t value);
    int32_t GetHorzRange() const;
    int32_t GetVertRange() const;
    float GetZoom() const { return image_.zoom; }
    void SetZoom(float value);
    int16_t GetLMOpenPicture() const { return 0; }
    void SetLMOpenPicture(int16_t value);
    std::shared_ptr<platform::Dispatch> GetPicture();
    void SetPicture(const std::shared_ptr<platform::Dispatch>& picture);
    int16_t GetMousePointer() const { return pointer_.mousePointer; }
    void SetMousePointer(int16_t value);
    std::shared_ptr<platform::Dispatch> GetMouseIcon() const { return nullptr; }
    void SetMouseIcon(const std::shared_ptr<platform::Dispatch>& picture);
    bool GetHourglassOn() const { return pointer_.hourglassOn; }
    void SetHourglassOn(bool value);
    platform::Variant GetOffsets() const;
    int16_t GetPosition() const { return image_.position; }
    void SetPosition(int16_t value);
    int16_t GetDCMImage() const { return image_.dcmImage; }
    void SetDCMImage(int16_t value);
    int16_t GetDCMImages() const { return image_.dcmImages; }
    int16_t GetPCDSize() const { return options_.pcdSize; }
    void SetPCDSize(int16_t value);

    // ---- Drawing state ------------------------------------------------------------------------
    float GetCurrentX() const;
    void SetCurrentX(float value);
    float GetCurrentY() const;
    void SetCurrentY(float value);
    int16_t GetDrawWidth() const { return drawing_.drawWidth; }
    void SetDrawWidth(int16_t value);
    OLE_COLOR GetFillColor() const { return drawing_.fillColor; }
    void SetFillColor(OLE_COLOR value);
    int16_t GetFillStyle() const { return drawing_.fillStyle; }
    void SetFillStyle(int16_t value);
    int16_t GetDrawMode() const { return drawing_.drawMode; }
    void SetDrawMode(int16_t value);
    int16_t GetDrawStyle() const { return drawing_.drawStyle; }
    void SetDrawStyle(int16_t value);
    int16_t GetScaleMode() const { return drawing_.scaleMode; }
    void SetScaleMode(int16_t value);
    float GetScaleHeight() const { return drawing_.scaleHeight; }
    void SetScaleHeight(float value);
    float GetScaleWidth() const { return drawing_.scaleWidth; }
    void SetScaleWidth(float value);
    float GetScaleTop() const { return drawing_.scaleTop; }
    void SetScaleTop(float value);
    float GetScaleLeft() const { return drawing_.scaleLeft; }
    void SetScaleLeft(float value);
    bool GetFontTransparent() const { return drawing_.fontTransparent; }
    void SetFontTransparent(bool value);
    int16_t GetImageSource() const { return drawing_.imageSource; }
    void SetImageSource(int16_t value);
    int16_t GetDrawTo() const { return drawing_.drawTo; }
    void SetDrawTo(int16_t value);
    int16_t GetNumTabs() const { return drawing_.numTabs; }
    void SetNumTabs(int16_t value);
    int16_t GetTabStops(int16_t index) const;
    void SetTabStops(int16_t index, int16_t value);

    // ---- Drawing surface (src/draw/) ----------------------------------------------------------
    void Scale(const platform::Variant& flg, const platform::Variant& x1,
               const platform::Variant& y1, const platform::Variant& x2,
               const platform::Variant& y2);
    float ScaleX(float width, const platform::Variant& fromScale, const platform::Variant& toScale);
    float ScaleY(float height, const platform::Variant& fromScale,
                 const platform::Variant& toScale);
    void Line(const platform::Variant& flag, float x1, float y1, float x2, float y2,
              const platform::Variant& color);
    void Circle(const platform::Variant& flag, float x, float y, float radius,
                const platform::Variant& color, const platform::Variant& start,
                const platform::Variant& end, const platform::Variant& aspect);
    void PSet(const platform::Variant& flag, float x, float y, const platform::Variant& color);
    OLE_COLOR Point(float x, float y);
    float TextHeight(const std::string& text);
    float TextWidth(const std::string& text);
    void TextOut(const std::string& text);
    void PaintPicture(const std::shared_ptr<platform::Dispatch>& picture, float x1, float y1,
                      std::span<const platform::Variant> optional);
    void Cls();
    // The drawing target's size in pixels: the bitmap's when DrawTo is 1, else ClientSize.
    std::pair<int, int> TargetExtent() const;
    // The bitmap's pixels or colour table were written: the paint cache drops its copy and, when
    // AutoRefresh says so (or always, with force), the control repaints.
    void NoteBitmapChanged(bool force = false);

    // ---- Load path ----------------------------------------------------------------------------
    // Everything that puts a new image into the control ends here.
    void LoadPicture(const std::string& name);
    void DisplayGIFFrame(const std::string& fileName, int32_t offset);
    void TIFFPage(const std::string& fileName, int32_t offset);
    // Loads the bytes of a byte array through a temporary file; returns how many were written.
    int32_t ReadBinary(const platform::Variant& bytes);

    // ---- Display --------------------------------------------------------------------------------
    // Re-lays the view out for an AutoSize mode (380 outside 0..4, after the client size is
    // refreshed).
    void UpdateLayout(int16_t mode);
    // The relayout that Zoom, Aspect, BorderStyle and Appearance share.
    void Relayout();

    // ---- Image operations -----------------------------------------------------------------------
    void Rotate(int16_t direction);
    void Brightness(int16_t level);
    void Contrast(int16_t level);
    void ColorBalance(int16_t red, int16_t green, int16_t blue);
    void JPGSaveName(const std::string& fileName, const platform::Variant& x,
                     const platform::Variant& y, const platform::Variant& width,
                     const platform::Variant& height);
    platform::Variant JPGtoArray(const platform::Variant& x, const platform::Variant& y,
                                 const platform::Variant& width, const platform::Variant& height);
    void CreateBitmap(const platform::Variant& width, const platform::Variant& height);

    // ---- Stock methods ------------------------------------------------------------------------
    void Refresh();
    void ResetStock() { ResetStockProps(); }
    // Shows the About box through the site, modally.
    void AboutBox();

    // ---- State shared with the other subsystems -----------------------------------------------
    const ImageState& Image() const { return image_; }
    const ViewState& View() const { return view_; }
    const DecoderOptions& Options() const { return options_; }
    const PrintSettings& Print() const { return print_; }
    const PointerState& Pointer() const { return pointer_; }
    const DrawingState& Drawing() const { return drawing_; }
    const PlayerBlock& Player() const { return player_; }
    const platform::PictureHolder& PictureHolder() const { return picture_; }

    // Stops the player and returns once its thread has ended.
    void StopAnimation();
    // Called on the player thread after each frame it shows (set before the load).
    void SetFrameShownHook(std::function<void(int16_t frame)> hook) {
        player_.frameShown = std::move(hook);
    }
    // Frees every picture object the control holds and zeroes the handles.
    void ReleaseImage();

  protected:
    void OnResetState() override;
    void DoPropExchange(platform::PropExchange& px) override;
    void OnDraw(HDC dc, const RECT& bounds, const RECT& invalid) override;
    void OnCreate() override;
    void OnDestroy() override;
    void OnSizeRequest(int& width, int& height) override;
    void OnSize(int width, int height) override;
    void OnHScroll(int code, int pos) override;
    void OnVScroll(int code, int pos) override;
    void OnBorderStyleChanged() override;
    void OnAppearanceChanged() override;
    void OnMouseMove(int16_t button, int16_t shift, int x, int y) override;

  private:
    void SetMemberDefaults();
    void RequireUserMode() const;

    // Load path helpers.
    void ResetViewForLoad();
    void TakeOverRaster(decode::DecodedImage& img, HBITMAP bitmap);
    void LoadWindowsMetafile(const decode::DecodedImage& img, const std::string& name, HDC dc);
    void LoadEnhancedMetafile(const std::string& name, HDC dc);
    void LoadIconFile(decode::DecodedImage& img, const std::string& name);
    void LayOut();
    void PrepareAnimation(decode::DecodedImage& img, const decode::LoadOptions& options);
    void CreateComposeSurface();
    void FreeComposeSurface();
    void StartAnimation();
    // The canvas geometry and colours as the host's thread sees them now.
    CanvasView CurrentCanvasView(bool paletteCopy) const;
    void DrawAnimation(HDC dc);
    // Pointer.
    void ShowPointer();
    void ReleaseCustomCursor();
    decode::LoadOptions CurrentLoadOptions() const;

    // Drawing surface helpers.
    // Switches to a scale mode; a physical one is measured against the target's present size
    // (layout and resizes apply the current mode again this way).
    void ApplyScaleMode(int16_t mode);
    // Moves the scale to a new one; CurrentX/CurrentY keep their pixel.
    void MoveScale(const DrawingState& next);
    // ScaleLeft, ScaleTop, ScaleWidth or ScaleHeight: the scale becomes a user scale.
    void SetUserScale(float DrawingState::*field, float value);
    // The tab positions TextOut and TextWidth use, settling TabStops(0) when NumTabs is 0.
    int TabStopsInUse(HDC dc);
    // The target size text measures against; 481 for an empty bitmap target.
    std::pair<int, int> TextTarget() const;
    float ScaleAxis(float value, const platform::Variant& fromScale,
                    const platform::Variant& toScale, bool vertical);

    // Display helpers.
    void HideScrollBars();
    void ThumbnailLayout(int16_t value);
    int BorderAllowance() const;
    std::pair<int, int> ShownExtent() const;
    void RebuildScrollState(int cx, int cy);
    void Scroll(int bar, int code, int pos);
    void PaintView(HDC dc, const RECT& bounds, double sx, double sy);
    void FillBackground(HDC dc, const RECT& bounds);
    void PlayEnhancedMetafile(HDC dc, const RECT& rect);
    void RenderVectorPicture(HDC dc, const platform::PictureObject& picture, const RECT& rect);
    void DrawPictureBranch(HDC dc, const RECT& bounds, double sx, double sy);
    void RenderPicture(HDC dc, const RECT& rect, const RECT& clip);
    bool PaintFromViewCache(HDC dc, HBITMAP bitmap, HPALETTE palette, const BITMAP& info,
                            const RECT& rect, const RECT& clip);
    void FreeViewCache();
    HBITMAP ThumbnailFrameBitmap();
    // Stores a new ClientSize; a user scale grows with it, keeping its units per pixel.
    void TakeClientSize(int width, int height);
    // Where the thumbnail paint puts the picture inside the thumbnail square.
    RECT ThumbnailImageRect() const;

    // Image operation helpers.
    void AdjustTone(const imageops::ToneTables& tables);
    // The control's palette, first replaced by a copy of its own when it is the shared stock one.
    HPALETTE OwnPalette();
    // Puts a new bitmap in place of the picture bitmap (deleting the old one) and shows it.
    void ReplaceBitmap(HBITMAP bitmap);
    std::pair<int, int> SaveSourceSize();
    // The picture as the window shows it, on a new width x height bitmap; 0 when it cannot be made.
    HBITMAP BuildAsShownBitmap(int width, int height);
    int32_t WriteRegion(const std::string& fileName, int width, int height,
                        const platform::Variant& x, const platform::Variant& y,
                        const platform::Variant& w, const platform::Variant& h);

    ImageState image_;
    ViewState view_;
    DecoderOptions options_;
    PrintSettings print_;
    PointerState pointer_;
    DrawingState drawing_;
    PlayerBlock player_;
    platform::PictureHolder picture_;
    HBITMAP thumbnailFrame_ = 0;  // drawn on first use, freed with the control

    // The picture as last stretched onto the window: repaints that show it the same way copy
    // it 1:1 instead of sampling the whole picture again.
    struct ViewCache {
        HBITMAP bitmap = 0;
        HBITMAP source = 0;
        HPALETTE palette = 0;
        uint64_t sourceChanges = 0;
        RECT rect{};  // where the whole picture is stretched to, in window pixels
        RECT area{};  // the part of it the cache holds
        int depth = 0;
        uint64_t systemPalette = 0;  // the system palette's change count it was mapped with
    };
    ViewCache viewCache_;
};

}  // namespace control
