// The load path: every way a new image gets into the control ends in LoadPicture, which clears
// the old image, runs the loader dispatch, maps its error, takes the result over, gathers the
// frames of an animated GIF and lays the view out again.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "control/lumora_ctrl.h"
#include "control/numeric_args.h"
#include "control/picture_property.h"
#include "control/player.h"
#include "decode/decoded_image.h"
#include "decode/loader.h"
#include "decode/loader_error.h"
#include "decode/readers.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/gdi_draw.h"
#include "platform/metafile/metafile.h"
#include "platform/os/file_map.h"
#include "platform/os/temp_file.h"

namespace control {

using platform::CTL_E_INVALIDPICTURE;
using platform::CTL_E_INVALIDPROPERTYVALUE;
using platform::Variant;

namespace {

constexpr platform::SCODE kInvalidOffset = 0x800A4E35;
constexpr std::string_view kInvalidOffsetText = "Invalid offset value";

constexpr std::string_view kOpenPictureTitle = "Open Picture";

// Label and pattern pairs, separated by "|", the first pair selected.
constexpr std::string_view kOpenPictureFilter =
    "All Supported Files|*.art;*.bmp;*.cur;*.cut;*.dcm;*.dib;*.emf;*.eps;*.gem;*.gif;*.hrz;*.ico;"
    "*.iff;*.img;*.jpg;*.jpeg;*.lbm;*.mac;*.msp;*.pbm;*.pcd;*.pcx;*.pgm;*.pic;*.png;*.pnm;*.ppm;"
    "*.ps;*.ras;*.rle;*.tga;*.tif;*.wmf;*.wpg|"
    "Amiga(*.iff, *.lbm)|*.iff;*.lbm|"
    "CompuServe(*.gif)|*.gif|"
    "CompuServe(*.png)|*.png|"
    "DICOM(*.dcm)|*.dcm|"
    "Dig. Research(*.gem, *.img)|*.gem;*.img|"
    "Encapsulated PostScript(*.eps,*.ps)|*.eps;*.ps|"
    "JPEG(*.jpg, *.jpeg)|*.jpg;*.jpeg|"
    "Kodak Photo CD(*.pcd)|*.pcd|"
    "Mac Paint(*.mac)|*.mac|"
    "MS Paint(*.msp)|*.msp|"
    "Portable Bitmap(*.pbm, *.pgm, *.pnm, *.ppm)|*.pbm;*.pgm;*.pnm;*.ppm|"
    "PFS(*.art)|*.art|"
    "Pictor(*.pic)|*.pic|"
    "Slow Scan TV(*.hrz)|*.hrz|"
    "Sun Raster(*.ras)|*.ras|"
    "Targa(*.tga)|*.tga|"
    "TIFF(*.tif)|*.tif|"
    "Windows(*.bmp)|*.bmp|"
    "Windows(*.cur)|*.cur|"
    "Windows(*.dib)|*.dib|"
    "Windows(*.emf)|*.emf|"
    "Windows(*.ico)|*.ico|"
    "Windows(*.rle)|*.rle|"
    "Windows(*.wmf)|*.wmf|"
    "Word Perfect(*.wpg)|*.wpg|"
    "ZSoft(*.pcx)|*.pcx";

// The wait cursor for the span of a decode; the previous cursor comes back however it ends.
class WaitCursor {
  public:
    WaitCursor(platform::OleControl& control, bool show) : control_(control), shown_(show) {
        if (shown_) previous_ = control_.SetCursor(platform::cursor::kWait);
    }
    ~WaitCursor() { Restore(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
    void Restore() {
        if (shown_) control_.SetCursor(previous_);
        shown_ = false;
    }

  private:
    platform::OleControl& control_;
    bool shown_;
    std::string previous_;
};

// The screen DC for a load on a control without a window.
class ScreenDC {
  public:
    explicit ScreenDC(bool take) : dc_(take ? platform::GetDC(0) : 0) {}
    ~ScreenDC() { Release(); }
    ScreenDC(const ScreenDC&) = delete;
    ScreenDC& operator=(const ScreenDC&) = delete;
    HDC get() const { return dc_; }
    void Release() {
        if (dc_) platform::ReleaseDC(0, dc_);
        dc_ = 0;
    }

  private:
    HDC dc_;
};

std::vector<uint8_t> ReadFileBytes(const std::string& path, std::streamoff offset = 0,
                                   std::streamoff length = -1) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (offset < 0 || offset > size) return {};
    const std::streamoff available = size - offset;
    const std::streamoff count = length < 0 ? available : std::min(length, available);
    std::vector<uint8_t> bytes(static_cast<size_t>(count));
    in.seekg(offset);
    in.read(reinterpret_cast<char*>(bytes.data()), count);
    if (!in) return {};
    return bytes;
}

uint16_t ReadU16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

int16_t ReadI16(const uint8_t* p) {
    return static_cast<int16_t>(ReadU16(p));
}

constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr size_t kPlaceableHeaderSize = 22;

// A palette of its own with the colours of the given one, or of the default palette when that
// one has fewer than three.
HPALETTE CopyPaletteOrDefault(HPALETTE source) {
    LOGPALETTE log{};
    log.palVersion = 0x300;
    uint32_t count = source ? platform::GetPaletteEntries(source, 0, 256, log.palPalEntry) : 0;
    if (count < 3) {
        const HPALETTE stock = platform::GetStockObject(platform::DEFAULT_PALETTE);
        count = platform::GetPaletteEntries(stock, 0, 256, log.palPalEntry);
    }
    log.palNumEntries = static_cast<uint16_t>(count);
    return platform::CreatePalette(&log);
}

// Codes the load raises; the rest (signals, save-path codes, unknown values) let it go on.
void RaiseLoaderError(const platform::OleControl& control, int32_t code) {
    const bool raised = (code <= decode::kCouldNotOpen && code >= decode::kNoPngModule) ||
                        code == decode::kNoDicomModule;
    if (!raised) return;
    if (const decode::LoaderErrorInfo* info = decode::FindLoaderError(code))
        control.ThrowError(info->scode, info->message);
}

}  // namespace

int32_t GetPictureProperty(const platform::Dispatch& picture, platform::DISPID id) {
    Variant value;
    if (platform::Failed(picture.GetProperty(id, value))) return 0;
    Variant converted;
    if (platform::Failed(platform::ChangeType(value, platform::VT_I4, converted))) return 0;
    return converted.AsI4();
}

decode::LoadOptions CLumoraCtrl::CurrentLoadOptions() const {
    decode::LoadOptions options;
    options.dither = static_cast<uint16_t>(options_.dither);
    options.fancyUpsampling = options_.fancyUpsampling;
    options.twoPassQuantize = options_.twoPassQuantize;
    options.jpegDither = static_cast<uint16_t>(options_.jpegDither);
    options.dctMethod = static_cast<uint16_t>(options_.dctMethod);
    options.startOffset =
        image_.pendingPageOffset != 0 ? image_.pendingPageOffset : image_.pendingFrameOffset;
    options.pcdSize = options_.pcdSize;
    options.epsPreview = options_.epsPreview;
    return options;
}

void CLumoraCtrl::ResetViewForLoad() {
    HideScrollBars();
    view_.horzPos = 0;
    view_.vertPos = 0;
    image_.offsets.fill(0);
}

void CLumoraCtrl::LoadPicture(const std::string& name) {
    // The decode area is made fresh for this load: its metafile position, GIF screen, next
    // frame, DICOM index, transparency, aspect and page table start cleared.
    decode::DecodedImage img;
    ResetViewForLoad();
    StopAnimation();
    image_.fileName = name;
    picture_.CreateEmpty();
    ReleaseImage();
    if (HasWindow()) view_.controlDC = GetDC();
    image_.bmpw = 0;
    image_.bmph = 0;

    if (!name.empty()) {
        WaitCursor wait(*this, pointer_.hourglassOn);
        if (drawing_.autoRefresh) Refresh();
        img.errorCode = 0;
        ScreenDC screen(view_.controlDC == 0);
        const HDC dc = view_.controlDC ? view_.controlDC : screen.get();
        const decode::LoadOptions options = CurrentLoadOptions();
        if (image_.dcmImages > 0) img.dicomImage = image_.dcmImage;

        const HBITMAP bitmap = decode::LoadImageFile(img, name, dc, options);

        // A multi-page TIFF: every page's offset, for TIFFPage.
        if (img.tiffPageOffsets.size() > 1) {
            const size_t count = std::min(img.tiffPageOffsets.size(), kOffsetTableSize);
            std::copy_n(img.tiffPageOffsets.begin(), count, image_.offsets.begin());
        }
        wait.Restore();

        if (img.errorCode != 0) {
            // A raised error must not leave the reader's objects behind.
            const int32_t code = img.errorCode;
            const bool raises = (code <= decode::kCouldNotOpen && code >= decode::kNoPngModule) ||
                                code == decode::kNoDicomModule;
            if (raises) {
                if (bitmap) platform::DeleteObject(bitmap);
                if (img.paletteHandle) platform::DeleteObject(img.paletteHandle);
                if (img.maskBitmap) platform::DeleteObject(img.maskBitmap);
                img.paletteHandle = 0;
                img.maskBitmap = 0;
                screen.Release();
                RaiseLoaderError(*this, code);
            }
        }

        // The cell carries the wanted index in; only the DICOM module turns it into a count.
        image_.dcmImages = img.format == "dicom" ? static_cast<int16_t>(img.dicomImage) : 0;
        if (image_.dcmImages == 0) image_.dcmImage = 0;
        image_.palette = img.paletteHandle;
        image_.bmpc = static_cast<int16_t>(static_cast<uint8_t>(img.builtBitCount));
        image_.aspect = img.pixelAspect;

        switch (img.errorCode) {
            case decode::kMetafileSignal:
                image_.bmpc = 0;
                LoadWindowsMetafile(img, name, dc);
                break;
            case decode::kEnhMetafileSignal:
                image_.bmpc = 0;
                LoadEnhancedMetafile(name, dc);
                break;
            case decode::kIconSignal:
                image_.bmpc = 0;
                LoadIconFile(img, name);
                break;
            default:
                TakeOverRaster(img, bitmap);
                break;
        }
        screen.Release();

        if (picture_.GetType() <= platform::PICTYPE_NONE && image_.enhMetaFile == 0) {
            image_.bmpw = 0;
            image_.bmph = 0;
            if (img.maskBitmap) platform::DeleteObject(img.maskBitmap);
            ThrowError(CTL_E_INVALIDPICTURE);
        }
        LayOut();
    }

    image_.pendingPageOffset = 0;
    if (image_.pendingFrameOffset == 0) {
        player_.nextFrameOffset = img.gif.nextFrameOffset;
    } else {
        // One frame on its own: no transparency, its own size, no player.
        img.transparentIndex = -1;
        image_.pendingFrameOffset = 0;
        if (img.maskBitmap) platform::DeleteObject(img.maskBitmap);
        img.maskBitmap = 0;
        image_.bmpw = img.imageWidth;
        image_.bmph = img.imageHeight;
        LayOut();
    }

    if (name.empty() || image_.thumbnail != 0 ||
        (player_.nextFrameOffset == 0 && img.transparentIndex == -1)) {
        // Nothing keeps the mask when no frame table is built.
        if (img.maskBitmap) platform::DeleteObject(img.maskBitmap);
        SetModifiedFlag();
        InvalidateControl();
        return;
    }
    PrepareAnimation(img, CurrentLoadOptions());
    SetModifiedFlag();
    InvalidateControl();
}

void CLumoraCtrl::TakeOverRaster(decode::DecodedImage& img, HBITMAP bitmap) {
    image_.bmpw = std::max<int16_t>(img.imageWidth, static_cast<int16_t>(img.gif.screenWidth));
    image_.bmph = std::max<int16_t>(img.imageHeight, static_cast<int16_t>(img.gif.screenHeight));
    image_.bitmap = bitmap;
    // The control keeps ownership of the bitmap and palette.
    if (bitmap) picture_.CreateFromBitmap(bitmap, image_.palette, false);
}

void CLumoraCtrl::LayOut() {
    if (image_.thumbnail == 0)
        UpdateLayout(image_.autoSize);
    else
        ThumbnailLayout(image_.thumbnail);
    // The physical scales measure the new picture (or the new client area).
    if (view_.controlDC) ApplyScaleMode(drawing_.scaleMode);
}

void CLumoraCtrl::PrepareAnimation(decode::DecodedImage& img, const decode::LoadOptions& base) {
    if (image_.autoBackground && img.transparentIndex != -1) {
        const auto& c = img.gif.transparentColor;
        SetBackColor(0x02000000u | (uint32_t{c[2]} << 16) | (uint32_t{c[1]} << 8) | c[0]);
    }
    player_.canvasWidth = std::max<int32_t>(img.imageWidth, img.gif.screenWidth);
    player_.canvasHeight = std::max<int32_t>(img.imageHeight, img.gif.screenHeight);

    player_.frameCount = static_cast<int16_t>(kMaxFrames);
    player_.backColor = GetBackColor();
    view_.backColorSnapshot = GetBackColor();
    image_.offsets[0] = img.gif.frameDescriptorOffset;
    player_.transDC = print_.transDC;
    player_.thumbnail = image_.thumbnail;
    player_.zoom = image_.zoom;
    player_.controlDC = view_.controlDC;
    player_.hwnd = GetHwnd();

    FrameEntry& first = player_.frames[0];
    first.palette = image_.palette;
    first.bitmap = image_.bitmap;
    first.mask = img.maskBitmap;
    first.disposal = img.gif.frameDisposal;
    first.left = static_cast<int16_t>(img.gif.frameLeft);
    first.top = static_cast<int16_t>(img.gif.frameTop);
    first.transparentIndex = img.transparentIndex;
    first.width = img.imageWidth;
    first.height = img.imageHeight;
    first.delay = static_cast<int16_t>(img.gif.frameDelay);
    image_.enhMetaFile = 0;
    // The table owns these now; the next decodes must not hand them out again.
    img.paletteHandle = 0;
    img.maskBitmap = 0;

    if (player_.nextFrameOffset != 0) {
        WaitCursor wait(*this, true);
        platform::FileReuseScope readOnce;
        decode::LoadOptions options = base;
        options.pcdSize = 0;
        options.epsPreview = false;
        for (size_t k = 1; k < kMaxFrames; ++k) {
            img.errorCode = 0;
            options.startOffset = player_.nextFrameOffset;
            const HBITMAP bitmap =
                decode::LoadImageFile(img, image_.fileName, view_.controlDC, options);
            FrameEntry& frame = player_.frames[k];
            frame.disposal = img.gif.frameDisposal;
            frame.left = static_cast<int16_t>(img.gif.frameLeft);
            frame.top = static_cast<int16_t>(img.gif.frameTop);
            frame.transparentIndex = img.transparentIndex;
            frame.width = img.imageWidth;
            frame.height = img.imageHeight;
            frame.delay = static_cast<int16_t>(img.gif.frameDelay);
            if (frame.width > player_.canvasWidth) player_.canvasWidth = img.gif.screenWidth;
            if (frame.height > player_.canvasHeight) player_.canvasHeight = img.gif.screenHeight;
            player_.nextFrameOffset = img.gif.nextFrameOffset;
            image_.offsets[k] = img.gif.frameDescriptorOffset;
            if (bitmap) {
                frame.palette = img.paletteHandle;
                frame.bitmap = bitmap;
                frame.mask = img.maskBitmap;
                img.paletteHandle = 0;
                img.maskBitmap = 0;
            }
            if (img.errorCode != 0) {
                // The failing frame ends the animation quietly; it is not played.
                image_.offsets[k] = 0;
                player_.frameCount = static_cast<int16_t>(k);
                break;
            }
            if (player_.nextFrameOffset == 0) {
                player_.frameCount = static_cast<int16_t>(k + 1);
                break;
            }
        }
    } else {
        player_.frameCount = 1;
    }
    // Frame 0 is on the canvas before anything paints or plays.
    CreateComposeSurface();
    if (!player_.surface.dc) return;
    const CanvasView view = CurrentCanvasView(true);
    ClearCanvas(view, RECT{0, 0, view.canvasWidth, view.canvasHeight});
    ComposeFrame(view, player_.frames[0], player_.surface.restore);
    if (player_.frameCount > 1) StartAnimation();
}

void CLumoraCtrl::CreateComposeSurface() {
    FreeComposeSurface();
    ComposeSurface& surface = player_.surface;
    surface.dc = platform::CreateCompatibleDC(view_.controlDC);
    if (!surface.dc) return;
    surface.bitmap = platform::CreateCompatibleBitmap(view_.controlDC, player_.canvasWidth,
                                                      player_.canvasHeight);
    surface.restore = platform::CreateCompatibleBitmap(view_.controlDC, player_.canvasWidth,
                                                       player_.canvasHeight);
    if (surface.bitmap)
        surface.displacedBitmap = platform::SelectObject(surface.dc, surface.bitmap);
}

void CLumoraCtrl::FreeComposeSurface() {
    ComposeSurface& surface = player_.surface;
    if (surface.dc) {
        if (surface.displacedBitmap) platform::SelectObject(surface.dc, surface.displacedBitmap);
        if (surface.displacedPalette)
            platform::SelectPalette(surface.dc, surface.displacedPalette, false);
        platform::DeleteDC(surface.dc);
    }
    if (surface.bitmap) platform::DeleteObject(surface.bitmap);
    if (surface.restore) platform::DeleteObject(surface.restore);
    surface = ComposeSurface{};
}

// ---- Ways in ----------------------------------------------------------------------------------

void CLumoraCtrl::SetFileName(const std::string& value) {
    LoadPicture(value);
}

void CLumoraCtrl::DisplayGIFFrame(const std::string& fileName, int32_t offset) {
    if (offset < 0) ThrowError(kInvalidOffset, kInvalidOffsetText);
    image_.pendingFrameOffset = offset;
    LoadPicture(fileName);
}

void CLumoraCtrl::TIFFPage(const std::string& fileName, int32_t offset) {
    if (offset < 0) ThrowError(kInvalidOffset, kInvalidOffsetText);
    image_.pendingPageOffset = offset;
    LoadPicture(fileName);
}

void CLumoraCtrl::SetDCMImage(int16_t value) {
    if (value < 1 || value > image_.dcmImages) ThrowError(CTL_E_INVALIDPROPERTYVALUE);
    image_.dcmImage = value;
    LoadPicture(image_.fileName);
    SetModifiedFlag();
}

int32_t CLumoraCtrl::ReadBinary(const Variant& bytes) {
    const Variant& value = bytes.Deref();
    if (value.vt() != (platform::VT_ARRAY | platform::VT_UI1) || !value.AsArray())
        ThrowError(CTL_E_INVALIDPROPERTYVALUE);
    const platform::SafeArray& array = *value.AsArray();
    int32_t lower = 0;
    int32_t upper = -1;
    platform::SafeArrayGetLBound(&array, 1, &lower);
    platform::SafeArrayGetUBound(&array, 1, &upper);
    const int32_t count = upper - lower + 1;

    platform::TempFile file;
    if (!file.valid()) ThrowError(0x800A4E21, "Could not open temp file");
    if (!platform::WriteFileBytes(file.path(), array.Bytes(),
                                  static_cast<size_t>(std::max(count, 0))))
        ThrowError(0x800A4E21, "Could not open temp file");
    LoadPicture(file.path());
    return count;
}

void CLumoraCtrl::SetLMOpenPicture(int16_t /*value*/) {
    const std::optional<std::string> chosen =
        ShowOpenFileDialog(kOpenPictureFilter, kOpenPictureTitle);
    if (chosen) LoadPicture(*chosen);
}

// ---- Metafiles and icons ---------------------------------------------------------------------

void CLumoraCtrl::LoadWindowsMetafile(const decode::DecodedImage& img, const std::string& name,
                                      HDC dc) {
    std::string path = name;
    std::optional<platform::TempFile> embedded;
    if (img.epsMetafile.offset != 0) {
        const std::vector<uint8_t> bytes =
            ReadFileBytes(name, img.epsMetafile.offset, img.epsMetafile.length);
        embedded.emplace();
        if (!embedded->valid() ||
            !platform::WriteFileBytes(embedded->path(), bytes.data(), bytes.size()))
            return;
        path = embedded->path();
    }
    const std::vector<uint8_t> file = ReadFileBytes(path);
    const int32_t dpiX = platform::GetDeviceCaps(dc, LOGPIXELSX);
    const int32_t dpiY = platform::GetDeviceCaps(dc, LOGPIXELSY);

    // A plain metafile, or a placeable one that cannot become an enhanced metafile, is shown at
    // the client size.
    auto loadPlain = [&](const std::string& from) {
        const platform::HMETAFILE loaded = platform::GetMetaFile(from.c_str());
        if (!loaded) return;
        const platform::HMETAFILE copy = platform::CopyMetaFile(loaded, nullptr);
        platform::DeleteMetaFile(loaded);
        if (!copy) return;
        image_.bmpw = view_.clientWidth;
        image_.bmph = view_.clientHeight;
        if (!picture_.CreateFromMetafile(copy, platform::PixelsToHimetric(image_.bmpw, dpiX),
                                         platform::PixelsToHimetric(image_.bmph, dpiY), true))
            platform::DeleteMetaFile(copy);
    };

    uint32_t key = 0;
    if (file.size() >= kPlaceableHeaderSize) std::memcpy(&key, file.data(), sizeof(key));
    if (key != kPlaceableKey) {
        loadPlain(path);
        return;
    }
    const int left = ReadI16(&file[6]);
    const int top = ReadI16(&file[8]);
    const int right = ReadI16(&file[10]);
    const int bottom = ReadI16(&file[12]);
    const int inch = ReadU16(&file[14]);
    if (inch == 0) return;  // no scale to size it by: no picture
    image_.bmpw = static_cast<int16_t>(RoundToInt(double(right - left) / inch * dpiX));
    image_.bmph = static_cast<int16_t>(RoundToInt(double(bottom - top) / inch * dpiY));

    const uint8_t* bits = file.data() + kPlaceableHeaderSize;
    const auto size = static_cast<uint32_t>(file.size() - kPlaceableHeaderSize);
    platform::METAFILEPICT description{};
    description.mm = platform::MM_ANISOTROPIC;
    description.xExt = RoundToInt(double(right - left) / inch * 2540) * 1000 / inch;
    description.yExt = RoundToInt(double(bottom - top) / inch * 2540) * 1000 / inch;
    if (const platform::HENHMETAFILE enh =
            platform::SetWinMetaFileBits(size, bits, dc, &description)) {
        image_.enhMetaFile = enh;
        return;
    }
    platform::TempFile fallback;
    if (fallback.valid() && platform::WriteFileBytes(fallback.path(), bits, size))
        loadPlain(fallback.path());
}

void CLumoraCtrl::LoadEnhancedMetafile(const std::string& name, HDC dc) {
    const platform::HENHMETAFILE enh = platform::GetEnhMetaFile(name.c_str());
    if (!enh) return;
    image_.enhMetaFile = enh;
    platform::ENHMETAHEADER header{};
    platform::GetEnhMetaFileHeader(enh, sizeof(header), &header);
    if (image_.autoSize != 0) {
        // The frame is in hundredths of a millimetre.
        const double dpiX = platform::GetDeviceCaps(dc, LOGPIXELSX);
        const double dpiY = platform::GetDeviceCaps(dc, LOGPIXELSY);
        image_.bmpw = static_cast<int16_t>(
            RoundToInt((header.rclFrame.right - header.rclFrame.left) * dpiX * 0.0003937));
        image_.bmph = static_cast<int16_t>(
            RoundToInt((header.rclFrame.bottom - header.rclFrame.top) * dpiY * 0.0003937));
    } else {
        image_.bmpw = view_.clientWidth;
        image_.bmph = view_.clientHeight;
    }
}

void CLumoraCtrl::LoadIconFile(decode::DecodedImage& img, const std::string& name) {
    // The icon reader reports the icon's size in the decode area; a file it cannot read leaves
    // 0 x 0 and no picture, which ends the load in error 481.
    img.imageWidth = 0;
    img.imageHeight = 0;
    const platform::HICON icon = decode::ReadIcon(img, name);
    image_.bmpw = img.imageWidth;
    image_.bmph = img.imageHeight;
    if (icon && !picture_.CreateFromIcon(icon, image_.bmpw, image_.bmph, true))
        platform::DestroyIcon(icon);
}

// ---- Picture ----------------------------------------------------------------------------------

void CLumoraCtrl::SetPicture(const std::shared_ptr<platform::Dispatch>& picture) {
    HideScrollBars();
    view_.horzPos = 0;
    view_.vertPos = 0;
    StopAnimation();
    picture_.CreateEmpty();
    image_.fileName.clear();
    ReleaseImage();
    image_.bmpc = 0;
    image_.bmpw = 0;
    image_.bmph = 0;

    int32_t type = 0, height = 0, width = 0, palette = 0, handle = 0;
    if (picture) {
        type = GetPictureProperty(*picture, platform::DISPID_PICT_TYPE);
        height = GetPictureProperty(*picture, platform::DISPID_PICT_HEIGHT);
        width = GetPictureProperty(*picture, platform::DISPID_PICT_WIDTH);
        palette = GetPictureProperty(*picture, platform::DISPID_PICT_HPAL);
        handle = GetPictureProperty(*picture, platform::DISPID_PICT_HANDLE);
    }
    if (HasWindow()) view_.controlDC = GetDC();
    ScreenDC screen(view_.controlDC == 0);
    const HDC dc = view_.controlDC ? view_.controlDC : screen.get();
    image_.bmph = static_cast<int16_t>(
        platform::HimetricToPixels(height, platform::GetDeviceCaps(dc, LOGPIXELSY)));
    image_.bmpw = static_cast<int16_t>(
        platform::HimetricToPixels(width, platform::GetDeviceCaps(dc, LOGPIXELSX)));

    if (image_.bmpw > 0 && image_.bmph > 0) {
        const auto source = static_cast<HANDLE32>(handle);
        switch (type) {
            case platform::PICTYPE_BITMAP: {
                image_.bmpc = static_cast<int16_t>(platform::GetDeviceCaps(dc, BITSPIXEL) *
                                                   platform::GetDeviceCaps(dc, PLANES));
                image_.palette = CopyPaletteOrDefault(static_cast<HPALETTE>(palette));
                image_.bitmap = platform::CreateCompatibleBitmap(dc, image_.bmpw, image_.bmph);
                bool drawn = false;
                BITMAP info{};
                if (image_.bitmap && platform::GetObject(source, sizeof(info), &info)) {
                    const HDC target = platform::CreateCompatibleDC(dc);
                    const HDC from = platform::CreateCompatibleDC(dc);
                    const HGDIOBJ oldTarget = platform::SelectObject(target, image_.bitmap);
                    const HGDIOBJ oldFrom = platform::SelectObject(from, source);
                    const HPALETTE oldPalette =
                        platform::SelectPalette(target, image_.palette, false);
                    platform::RealizePalette(target);
                    platform::SetStretchBltMode(target, COLORONCOLOR);
                    drawn = oldFrom &&
                            platform::StretchBlt(target, 0, 0, image_.bmpw, image_.bmph, from, 0, 0,
                                                 info.bmWidth, info.bmHeight, SRCCOPY);
                    if (oldPalette) platform::SelectPalette(target, oldPalette, false);
                    if (oldFrom) platform::SelectObject(from, oldFrom);
                    platform::SelectObject(target, oldTarget);
                    platform::DeleteDC(from);
                    platform::DeleteDC(target);
                }
                if (!drawn || !picture_.CreateFromBitmap(image_.bitmap, image_.palette, false)) {
                    if (image_.bitmap) platform::DeleteObject(image_.bitmap);
                    if (image_.palette) platform::DeleteObject(image_.palette);
                    image_.bitmap = 0;
                    image_.palette = 0;
                    image_.bmpc = 0;
                    image_.bmpw = 0;
                    image_.bmph = 0;
                    ThrowError(0x800A4E33, "Could not create bitmap");
                }
                break;
            }
            case platform::PICTYPE_METAFILE:
                if (const platform::HMETAFILE copy = platform::CopyMetaFile(source, nullptr)) {
                    if (!picture_.CreateFromMetafile(copy, width, height, true))
                        platform::DeleteMetaFile(copy);
                }
                break;
            case platform::PICTYPE_ICON:
                if (const platform::HICON copy = platform::CopyIcon(source)) {
                    if (!picture_.CreateFromIcon(copy, image_.bmpw, image_.bmph, true))
                        platform::DestroyIcon(copy);
                }
                break;
            case platform::PICTYPE_ENHMETAFILE:
                image_.enhMetaFile = platform::CopyEnhMetaFile(source, nullptr);
                break;
            default:
                break;
        }
    }
    screen.Release();
    if (picture_.GetType() < platform::PICTYPE_NONE) ThrowError(CTL_E_INVALIDPICTURE);
    LayOut();
}

std::shared_ptr<platform::Dispatch> CLumoraCtrl::GetPicture() {
    if (drawing_.imageSource == 0 && picture_.GetType() != platform::PICTYPE_BITMAP)
        return picture_.GetPictureDispatch();
    int width = 0;
    int height = 0;
    if (drawing_.imageSource == 0) {
        width = image_.bmpw;
        height = static_cast<int>(image_.bmph * double{image_.aspect});
    } else {
        width = view_.clientWidth;
        height = view_.clientHeight;
    }
    if (width <= 0 || height <= 0) ThrowError(CTL_E_INVALIDPICTURE);

    if (HasWindow()) view_.controlDC = GetDC();
    ScreenDC screen(view_.controlDC == 0);
    const HDC dc = view_.controlDC ? view_.controlDC : screen.get();
    const HDC mem = platform::CreateCompatibleDC(dc);
    const HPALETTE palette = CopyPaletteOrDefault(image_.palette);
    const HBITMAP bitmap = platform::CreateCompatibleBitmap(dc, width, height);
    if (!mem || !bitmap) {
        if (mem) platform::DeleteDC(mem);
        if (bitmap) platform::DeleteObject(bitmap);
        if (palette) platform::DeleteObject(palette);
        ThrowError(CTL_E_INVALIDPICTURE);
    }
    const HGDIOBJ oldBitmap = platform::SelectObject(mem, bitmap);
    const HPALETTE oldPalette = palette ? platform::SelectPalette(mem, palette, false) : 0;
    platform::RealizePalette(mem);
    const RECT all{0, 0, width, height};
    const HBRUSH brush = platform::CreateSolidBrush(TranslateColor(GetBackColor(), image_.palette));
    platform::FillRect(mem, &all, brush);
    platform::DeleteObject(brush);
    if (drawing_.imageSource == 0)
        RenderPicture(mem, RECT{0, 0, image_.bmpw, image_.bmph}, all);
    else {
        // Drawn as on the control's own window, at the client size.
        view_.foreignDC = false;
        PaintView(mem, all, 1.0, 1.0);
    }
    if (oldPalette) platform::SelectPalette(mem, oldPalette, false);
    platform::SelectObject(mem, oldBitmap);
    platform::DeleteDC(mem);

    platform::PictureHolder result;
    if (!result.CreateFromBitmap(bitmap, palette, true)) {
        platform::DeleteObject(bitmap);
        if (palette) platform::DeleteObject(palette);
        ThrowError(CTL_E_INVALIDPICTURE);
    }
    return result.GetPictureDispatch();
}

}  // namespace control
