// "ReadDCM": decodes one image of a DICOM file with DCMTK into a pixel block in the decode
// area's layout.
//
// Monochrome pictures (MONOCHROME1 and MONOCHROME2, 1 to 32 bits stored) come out as 8-bit
// values over a grey ramp. They are rendered through the modality transform (rescale slope and
// intercept, or a modality LUT) and then the first window (centre and width) the file carries;
// a file without a usable window is stretched between its smallest and largest value.
// MONOCHROME1 shows with its polarity: the lowest value is white. Every other photometric
// interpretation (RGB, the YBR family, PALETTE COLOR) comes out as 24-bit blue-green-red.
//
// A multi-frame file is a list of images numbered from 1. On entry *imageNumber names the
// image wanted; 0, or any number outside 1..count, gives the first image (a new file opened
// while an older, longer one's number is still set starts at its beginning). On success
// *imageNumber holds the count; on failure it is left as it was.
//
// Compressed transfer syntaxes: JPEG baseline, extended and lossless (8 to 16 bits), JPEG-LS
// lossless and near-lossless, RLE, deflated explicit little endian, and JPEG 2000 (lossless,
// lossy and the multi-component ones) through OpenJPEG. The video syntaxes, and those this
// DCMTK does not know (high-throughput JPEG 2000), fail with -20013.
//
// Files without the preamble and meta header (bare data sets in implicit or explicit VR, either
// byte order) are read as DCMTK's own tools read them.
//
// Errors: -20001 the file cannot be opened, -20010 not a DICOM file or a bad image description,
// -20003 damaged or truncated data, -20011 no pixel data, -20013 an encoding without decoder,
// -20002 memory or a picture beyond the size limits.

#include <dcmtk/config/osconfig.h>  // first, as DCMTK requires

#include <dcmtk/dcmdata/dccodec.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcpixel.h>
#include <dcmtk/dcmdata/dcpixseq.h>
#include <dcmtk/dcmdata/dcpxitem.h>
#include <dcmtk/dcmdata/dcrledrg.h>
#include <dcmtk/dcmdata/dcxfer.h>
#include <dcmtk/dcmimage/diregist.h>  // colour images: registers dcmimage with dcmimgle
#include <dcmtk/dcmimgle/dcmimage.h>
#include <dcmtk/dcmjpeg/djdecode.h>
#include <dcmtk/dcmjpls/djdecode.h>
#include <dcmtk/oflog/oflog.h>

#include <pthread.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <string_view>
#include <type_traits>

#include "decode/codec_contract.h"
#include "decode/decoded_image.h"
#include "decode/loader_error.h"
#include "dicom/dataset_scan.h"
#include "dicom/jpeg2000_frame.h"
#include "platform/os/global_memory.h"

namespace lmdcm {
namespace {

// The control keeps the image count in a 16-bit property.
constexpr int64_t kMaxImages = 32767;

// Stack for DCMTK's parse: a base, and room for one level of nesting per item tag the file
// holds (a level takes about a kilobyte; the margin covers instrumented builds). Files with
// more items than a 1 GiB stack covers, and deflated data sets inflating beyond 1 GiB, are
// refused as too large.
constexpr size_t kBaseStack = size_t{16} << 20;
constexpr size_t kStackPerItem = size_t{8} << 10;
constexpr uint64_t kMaxItemTags = ((uint64_t{1} << 30) - kBaseStack) / kStackPerItem;
constexpr uint64_t kMaxInflated = uint64_t{1} << 30;

// DCMTK's codecs and logger are process-wide. The module stays loaded once opened, so they
// are set up on the first call and kept until the process ends; the codecs are released
// before DCMTK's own globals go, so nothing is left behind.
class DcmtkSetUp {
  public:
    DcmtkSetUp() {
        // DCMTK reports every oddity of a file on its logger; the loader codes say enough.
        OFLog::configure(OFLogger::OFF_LOG_LEVEL);
        DJDecoderRegistration::registerCodecs();
        DJLSDecoderRegistration::registerCodecs();
        DcmRLEDecoderRegistration::registerCodecs();
    }
    DcmtkSetUp(const DcmtkSetUp&) = delete;
    DcmtkSetUp& operator=(const DcmtkSetUp&) = delete;
    ~DcmtkSetUp() {
        DcmRLEDecoderRegistration::cleanup();
        DJLSDecoderRegistration::cleanup();
        DJDecoderRegistration::cleanup();
    }
};

void SetUpDcmtk() {
    static const DcmtkSetUp setUp;
}

// The image's description as the data set states it, checked before DCMTK renders anything.
struct Geometry {
    Uint16 rows = 0;
    Uint16 columns = 0;
    Uint16 samples = 1;
    Uint16 bitsAllocated = 0;
    bool monochrome = true;
    bool halfChroma = false;  // YCbCr 4:2:2: two samples a pixel when stored uncompressed
};

int32_t ReadGeometry(DcmDataset& data, Geometry& g) {
    if (data.findAndGetUint16(DCM_Rows, g.rows).bad() ||
        data.findAndGetUint16(DCM_Columns, g.columns).bad() || g.rows == 0 || g.columns == 0)
        return decode::kBadHeader;
    if (data.findAndGetUint16(DCM_SamplesPerPixel, g.samples).bad() || g.samples == 0)
        g.samples = 1;
    data.findAndGetUint16(DCM_BitsAllocated, g.bitsAllocated);
    OFString photometric;
    data.findAndGetOFString(DCM_PhotometricInterpretation, photometric);
    g.halfChroma = photometric == "YBR_FULL_422" || photometric == "YBR_PARTIAL_422";
    // Without a stated interpretation DCMTK goes by the sample count.
    g.monochrome = photometric.empty()
                       ? g.samples == 1
                       : std::string_view(photometric.c_str()).substr(0, 10) == "MONOCHROME";
    return 0;
}

// How many images the file really holds: the NumberOfFrames attribute (1 when absent or not
// positive), never more than the pixel data can carry. Uncompressed data carries as many
// whole frames as fit in it; compressed data at least one fragment per frame. 0 when not even
// one image is there: the file was cut short or states a size its data does not have, and
// DCMTK would otherwise render a picture of that size from nothing.
int64_t CountImages(DcmDataset& data, DcmElement& pixels, const DcmXfer& xfer, const Geometry& g) {
    Sint32 stated = 1;
    if (data.findAndGetSint32(DCM_NumberOfFrames, stated).bad() || stated < 1) stated = 1;
    int64_t present = 0;
    if (xfer.isEncapsulated()) {
        DcmPixelSequence* sequence = nullptr;
        auto& pixelData = static_cast<DcmPixelData&>(pixels);
        if (pixelData.getEncapsulatedRepresentation(xfer.getXfer(), nullptr, sequence).good() &&
            sequence && sequence->card() > 1)
            present = static_cast<int64_t>(sequence->card()) - 1;  // the first is the offset table
    } else {
        const uint64_t samples = g.halfChroma && g.samples == 3 ? 2 : g.samples;
        const uint64_t frameBits =
            uint64_t{g.rows} * g.columns * samples * std::max<Uint16>(g.bitsAllocated, 1);
        present = static_cast<int64_t>(uint64_t{pixels.getLength()} * 8 / frameBits);
    }
    return std::min({int64_t{stated}, present, kMaxImages});
}

// DCMTK's RLE decoder takes the segment offsets in a fragment's 64-byte header on trust and
// reads wherever they point. Every fragment of an RLE file holds one frame and starts with
// such a header: the segment count (1 to 15) and the segments' offsets, which must lie inside
// the fragment in ascending order. Read without loading the fragments whole.
bool RleHeadersSound(DcmPixelSequence& sequence) {
    for (unsigned long i = 1; i < sequence.card(); ++i) {
        DcmPixelItem* fragment = nullptr;
        if (sequence.getItem(fragment, i).bad() || !fragment) return false;
        const Uint32 length = fragment->getLength();
        Uint8 head[64];
        if (length < sizeof head || fragment->getPartialValue(head, 0, sizeof head).bad())
            return false;
        auto field = [&](int k) {
            return Uint32{head[4 * k]} | Uint32{head[4 * k + 1]} << 8 |
                   Uint32{head[4 * k + 2]} << 16 | Uint32{head[4 * k + 3]} << 24;
        };
        const Uint32 segments = field(0);
        if (segments < 1 || segments > 15) return false;
        for (Uint32 k = 1; k <= segments; ++k) {
            if (field(k) > length || (k > 1 && field(k) < field(k - 1))) return false;
        }
    }
    return true;
}

int32_t StatusCode(EI_Status status) {
    switch (status) {
        case EIS_Normal:
            return 0;
        case EIS_MemoryFailure:
            return decode::kNoMemory;
        case EIS_NotSupportedValue:
            return decode::kUnsupported;
        case EIS_InvalidImage:
            return decode::kReadError;
        default:
            return decode::kBadHeader;
    }
}

// Monochrome pictures: the file's first window, else the full range of the values.
void ChooseWindow(DicomImage& image) {
    if (image.getWindowCount() > 0 && image.setWindow(0)) return;
    image.setMinMaxWindow(0);
}

// Decodes the file with DCMTK. `preamble`: the file starts as a DICOM file proper; files
// without it (old ACR-NEMA style data sets) are accepted only when they parse and hold pixel
// data.
int32_t Decode(const char* fileName, bool preamble, uint8_t* rgbPalette, BITMAPINFOHEADER* header,
               int32_t* imageNumber) {
    SetUpDcmtk();

    // Values longer than DCM_MaxReadLength stay in the file until used, so only the frame
    // wanted is read from a large multi-frame file.
    DcmFileFormat file;
    if (file.loadFile(fileName, EXS_Unknown, EGL_noChange, DCM_MaxReadLength, ERM_autoDetect).bad())
        return preamble ? decode::kReadError : decode::kBadHeader;
    DcmDataset& data = *file.getDataset();

    DcmElement* pixels = nullptr;
    if (data.findAndGetElement(DCM_PixelData, pixels).bad() || !pixels)
        return preamble ? decode::kNoBitmap : decode::kBadHeader;
    const DcmXfer xfer(data.getOriginalXfer());
    const bool jpeg2000 = IsJpeg2000(xfer.getXfer());
    if (xfer.isEncapsulated() && !jpeg2000 &&
        !DcmCodecList::canChangeCoding(xfer.getXfer(), EXS_LittleEndianExplicit))
        return decode::kUnsupported;

    Geometry g;
    if (int32_t rc = ReadGeometry(data, g)) return rc;
    const int64_t width = g.columns;
    const int64_t height = g.rows;
    const int64_t pixelBytes = g.monochrome ? 1 : 3;
    const int64_t stride = (width * pixelBytes + 3) & ~int64_t{3};
    if (int32_t rc = decode::CheckImageSize(width, height, stride)) return rc;

    const int64_t count = CountImages(data, *pixels, xfer, g);
    if (count == 0) return decode::kReadError;
    if (xfer.getXfer() == EXS_RLELossless) {
        DcmPixelSequence* sequence = nullptr;
        if (static_cast<DcmPixelData*>(pixels)
                ->getEncapsulatedRepresentation(xfer.getXfer(), nullptr, sequence)
                .bad() ||
            !sequence || !RleHeadersSound(*sequence))
            return decode::kReadError;
    }
    const int64_t wanted = *imageNumber >= 1 && *imageNumber <= count ? *imageNumber : 1;

    // A JPEG 2000 frame comes back into the data set decoded, as its one native frame.
    E_TransferSyntax renderSyntax = EXS_Unknown;
    unsigned long firstFrame = static_cast<unsigned long>(wanted - 1);
    if (jpeg2000) {
        if (int32_t rc = DecodeJpeg2000Frame(data, xfer.getXfer(), wanted - 1, count)) return rc;
        renderSyntax = EXS_LittleEndianExplicit;
        firstFrame = 0;
    }
    DicomImage image(&file, renderSyntax, CIF_UsePartialAccessToPixelData, firstFrame, 1);
    if (int32_t rc = StatusCode(image.getStatus())) return rc;
    // DCMTK renders what the data set describes; it must agree with what was checked above.
    if (image.getWidth() != static_cast<unsigned long>(width) ||
        image.getHeight() != static_cast<unsigned long>(height) ||
        (image.isMonochrome() != 0) != g.monochrome)
        return decode::kBadHeader;
    if (g.monochrome) ChooseWindow(image);

    const auto* rendered = static_cast<const uint8_t*>(image.getOutputData(8, 0, 0));
    if (!rendered)
        return StatusCode(image.getStatus()) ? StatusCode(image.getStatus()) : decode::kNoMemory;
    const size_t rowBytes = static_cast<size_t>(width * pixelBytes);
    if (image.getOutputDataSize(8) < rowBytes * static_cast<size_t>(height))
        return decode::kReadError;

    platform::GlobalBlock block(
        platform::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, static_cast<size_t>(stride * height)));
    if (!block) return decode::kNoMemory;
    auto* out = static_cast<uint8_t*>(platform::GlobalLock(block.get()));
    if (!out) return decode::kNoHugeMemory;
    // DCMTK renders top row first, red-green-blue; the block is bottom-up, blue-green-red.
    for (int64_t y = 0; y < height; ++y) {
        const uint8_t* in = rendered + static_cast<size_t>(y) * rowBytes;
        uint8_t* row = out + static_cast<size_t>(height - 1 - y) * static_cast<size_t>(stride);
        if (g.monochrome) {
            std::memcpy(row, in, rowBytes);
        } else {
            for (int64_t x = 0; x < width; ++x, in += 3, row += 3) {
                row[0] = in[2];
                row[1] = in[1];
                row[2] = in[0];
            }
        }
    }
    platform::GlobalUnlock(block.get());

    if (g.monochrome) {
        for (int i = 0; i < 256; ++i)
            rgbPalette[3 * i] = rgbPalette[3 * i + 1] = rgbPalette[3 * i + 2] =
                static_cast<uint8_t>(i);
    }
    header->biWidth = static_cast<int32_t>(width);
    header->biHeight = static_cast<int32_t>(height);
    header->biBitCount = g.monochrome ? 8 : 24;
    *imageNumber = static_cast<int32_t>(count);
    return static_cast<int32_t>(block.release());
}

struct Job {
    const char* fileName;
    bool preamble;
    uint8_t* rgbPalette;
    BITMAPINFOHEADER* header;
    int32_t* imageNumber;
    int32_t result;
};

void* RunJob(void* argument) {
    auto& job = *static_cast<Job*>(argument);
    try {
        job.result =
            Decode(job.fileName, job.preamble, job.rgbPalette, job.header, job.imageNumber);
    } catch (const std::bad_alloc&) {
        job.result = decode::kNoMemory;
    } catch (...) {
        job.result = decode::kReadError;
    }
    return nullptr;
}

int32_t ReadDcm(const char* fileName, uint8_t* rgbPalette, BITMAPINFOHEADER* header,
                int32_t* imageNumber) {
    if (!fileName || !rgbPalette || !header || !imageNumber) return decode::kCouldNotOpen;
    const DatasetScan scan = ScanDataset(fileName, kMaxInflated);
    if (!scan.opened) return decode::kCouldNotOpen;
    if (scan.oversized || scan.itemTags > kMaxItemTags) return decode::kNoMemory;

    // DCMTK parses on a thread of its own whose stack holds the deepest nesting the file can
    // have, whatever stack the caller runs on.
    Job job{fileName, scan.preamble, rgbPalette, header, imageNumber, decode::kNoMemory};
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) return decode::kNoMemory;
    pthread_t thread;
    const bool started =
        pthread_attr_setstacksize(&attributes, kBaseStack + scan.itemTags * kStackPerItem) == 0 &&
        pthread_create(&thread, &attributes, RunJob, &job) == 0;
    pthread_attr_destroy(&attributes);
    if (!started) return decode::kNoMemory;
    pthread_join(thread, nullptr);
    return job.result;
}

}  // namespace
}  // namespace lmdcm

extern "C" int32_t ReadDCM(const char* fileName, uint8_t* rgbPalette, BITMAPINFOHEADER* header,
                           int32_t* imageNumber) {
    try {
        return lmdcm::ReadDcm(fileName, rgbPalette, header, imageNumber);
    } catch (...) {
        return decode::kNoMemory;
    }
}

static_assert(std::is_same_v<decltype(&ReadDCM), ReadDCMProc>);
