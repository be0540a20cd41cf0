#include "dicom/jpeg2000_frame.h"

#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcpixel.h>
#include <dcmtk/dcmdata/dcpixseq.h>
#include <dcmtk/dcmdata/dcpxitem.h>
#include <openjpeg.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "decode/loader_error.h"

namespace lmdcm {
namespace {

// OpenJPEG keeps every component as 32-bit values while it decodes: a frame whose components
// would take more than this, or whose codestream is longer, is refused before decoding starts.
constexpr uint64_t kMaxComponentBytes = uint64_t{1} << 30;

struct CodecDeleter {
    void operator()(opj_codec_t* c) const { opj_destroy_codec(c); }
};
struct StreamDeleter {
    void operator()(opj_stream_t* s) const { opj_stream_destroy(s); }
};
struct ImageDeleter {
    void operator()(opj_image_t* i) const { opj_image_destroy(i); }
};

// The codestream, read by OpenJPEG through these callbacks.
struct Memory {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

OPJ_SIZE_T ReadMemory(void* buffer, OPJ_SIZE_T n, void* user) {
    auto& m = *static_cast<Memory*>(user);
    if (m.pos >= m.size) return static_cast<OPJ_SIZE_T>(-1);
    const size_t k = std::min<size_t>(n, m.size - m.pos);
    std::memcpy(buffer, m.data + m.pos, k);
    m.pos += k;
    return k;
}

OPJ_OFF_T SkipMemory(OPJ_OFF_T n, void* user) {
    auto& m = *static_cast<Memory*>(user);
    if (n < 0)
        n = -static_cast<OPJ_OFF_T>(std::min<size_t>(m.pos, static_cast<size_t>(-n)));
    else
        n = static_cast<OPJ_OFF_T>(std::min<size_t>(static_cast<size_t>(n), m.size - m.pos));
    m.pos += static_cast<size_t>(n);
    return n;
}

OPJ_BOOL SeekMemory(OPJ_OFF_T n, void* user) {
    auto& m = *static_cast<Memory*>(user);
    if (n < 0 || static_cast<uint64_t>(n) > m.size) return OPJ_FALSE;
    m.pos = static_cast<size_t>(n);
    return OPJ_TRUE;
}

void Quiet(const char*, void*) {}

Uint32 Le32(const Uint8* p) {
    return Uint32{p[0]} | Uint32{p[1]} << 8 | Uint32{p[2]} << 16 | Uint32{p[3]} << 24;
}

bool StartsCodestream(DcmPixelItem& fragment) {
    Uint8 head[2];
    return fragment.getLength() >= 2 && fragment.getPartialValue(head, 0, 2).good() &&
           head[0] == 0xFF && head[1] == 0x4F;  // SOC marker
}

// The fragments (items 1 and up of the sequence) that carry one frame. The basic offset table,
// when it has one entry per frame, says where each frame starts; otherwise a frame starts at
// each fragment that opens a codestream, or, failing both, each fragment is one frame.
std::vector<DcmPixelItem*> FrameFragments(DcmPixelSequence& sequence, int64_t frame,
                                          int64_t frames) {
    std::vector<DcmPixelItem*> all;
    for (unsigned long i = 1; i < sequence.card(); ++i) {
        DcmPixelItem* item = nullptr;
        if (sequence.getItem(item, i).bad() || !item) return {};
        all.push_back(item);
    }
    if (frames == 1) return all;
    std::vector<size_t> starts;  // index into `all` of each frame's first fragment
    DcmPixelItem* table = nullptr;
    if (sequence.getItem(table, 0).good() && table &&
        table->getLength() == static_cast<Uint32>(4 * frames)) {
        std::vector<Uint8> bytes(table->getLength());
        if (table->getPartialValue(bytes.data(), 0, table->getLength()).good()) {
            uint64_t position = 0;
            size_t next = 0;
            for (int64_t f = 0; f < frames; ++f) {
                const Uint32 offset = Le32(&bytes[4 * static_cast<size_t>(f)]);
                while (next < all.size() && position < offset)
                    position += 8 + uint64_t{all[next++]->getLength()};
                if (position != offset || next == all.size()) break;
                starts.push_back(next);
            }
            if (starts.size() != static_cast<size_t>(frames)) starts.clear();
        }
    }
    if (starts.empty()) {
        for (size_t i = 0; i < all.size(); ++i)
            if (StartsCodestream(*all[i])) starts.push_back(i);
        if (starts.size() != static_cast<size_t>(frames) || starts[0] != 0) starts.clear();
    }
    if (starts.empty() && all.size() == static_cast<size_t>(frames))
        for (size_t i = 0; i < all.size(); ++i)
            starts.push_back(i);
    if (starts.empty()) return {};
    const size_t first = starts[static_cast<size_t>(frame)];
    const size_t end = frame + 1 < frames ? starts[static_cast<size_t>(frame + 1)] : all.size();
    return {all.begin() + static_cast<std::ptrdiff_t>(first),
            all.begin() + static_cast<std::ptrdiff_t>(end)};
}

// What the data set says the frame must be; the codestream has to agree.
struct Expected {
    Uint16 rows = 0;
    Uint16 columns = 0;
    Uint16 samples = 1;
};

// Decodes a codestream (or a JP2 file, which some writers put in the fragments instead).
int32_t DecodeCodestream(const std::vector<Uint8>& bytes, const Expected& want,
                         std::unique_ptr<opj_image_t, ImageDeleter>& image) {
    static const Uint8 kJp2Signature[] = {0, 0, 0, 12, 'j', 'P', ' ', ' '};
    const bool jp2 = bytes.size() >= sizeof kJp2Signature &&
                     std::memcmp(bytes.data(), kJp2Signature, sizeof kJp2Signature) == 0;
    std::unique_ptr<opj_codec_t, CodecDeleter> codec(
        opj_create_decompress(jp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K));
    if (!codec) return decode::kNoMemory;
    opj_set_info_handler(codec.get(), Quiet, nullptr);
    opj_set_warning_handler(codec.get(), Quiet, nullptr);
    opj_set_error_handler(codec.get(), Quiet, nullptr);
    opj_dparameters_t parameters;
    opj_set_default_decoder_parameters(&parameters);
    if (!opj_setup_decoder(codec.get(), &parameters)) return decode::kNoMemory;

    Memory memory{bytes.data(), bytes.size(), 0};
    std::unique_ptr<opj_stream_t, StreamDeleter> stream(opj_stream_create(1 << 16, OPJ_TRUE));
    if (!stream) return decode::kNoMemory;
    opj_stream_set_user_data(stream.get(), &memory, nullptr);
    opj_stream_set_user_data_length(stream.get(), bytes.size());
    opj_stream_set_read_function(stream.get(), ReadMemory);
    opj_stream_set_skip_function(stream.get(), SkipMemory);
    opj_stream_set_seek_function(stream.get(), SeekMemory);

    opj_image_t* header = nullptr;
    const bool read = opj_read_header(stream.get(), codec.get(), &header);
    image.reset(header);
    if (!read || !header) return decode::kReadError;
    // Full-size components only, as many as the data set has samples, no deeper than 16 bits.
    if (header->numcomps != want.samples || header->x1 - header->x0 != want.columns ||
        header->y1 - header->y0 != want.rows)
        return decode::kBadHeader;
    for (OPJ_UINT32 c = 0; c < header->numcomps; ++c) {
        const opj_image_comp_t& comp = header->comps[c];
        if (comp.dx != 1 || comp.dy != 1) return decode::kUnsupported;
        if (comp.prec < 1 || comp.prec > 16) return decode::kUnsupported;
    }
    if (uint64_t{want.rows} * want.columns * want.samples * 4 > kMaxComponentBytes)
        return decode::kNoMemory;
    if (!opj_decode(codec.get(), stream.get(), header) ||
        !opj_end_decompress(codec.get(), stream.get()))
        return decode::kReadError;
    for (OPJ_UINT32 c = 0; c < header->numcomps; ++c) {
        const opj_image_comp_t& comp = header->comps[c];
        if (!comp.data || comp.w != want.columns || comp.h != want.rows) return decode::kReadError;
    }
    return 0;
}

// Interleaves the components into native pixel data of the bits allocated.
template <class Sample>
std::vector<Sample> Interleave(const opj_image_t& image, size_t pixels) {
    const size_t count = image.numcomps;
    std::vector<Sample> out(pixels * count);
    for (size_t c = 0; c < count; ++c) {
        const opj_image_comp_t& comp = image.comps[c];
        const int32_t low = comp.sgnd ? -(1 << (comp.prec - 1)) : 0;
        const int32_t high = comp.sgnd ? (1 << (comp.prec - 1)) - 1 : (1 << comp.prec) - 1;
        for (size_t i = 0; i < pixels; ++i)
            out[i * count + c] = static_cast<Sample>(std::clamp<int32_t>(comp.data[i], low, high));
    }
    return out;
}

}  // namespace

bool IsJpeg2000(E_TransferSyntax syntax) {
    return syntax == EXS_JPEG2000LosslessOnly || syntax == EXS_JPEG2000 ||
           syntax == EXS_JPEG2000MulticomponentLosslessOnly || syntax == EXS_JPEG2000Multicomponent;
}

int32_t DecodeJpeg2000Frame(DcmDataset& data, E_TransferSyntax syntax, int64_t frame,
                            int64_t frames) {
    DcmElement* element = nullptr;
    DcmPixelSequence* sequence = nullptr;
    if (data.findAndGetElement(DCM_PixelData, element).bad() || !element ||
        static_cast<DcmPixelData*>(element)
            ->getEncapsulatedRepresentation(syntax, nullptr, sequence)
            .bad() ||
        !sequence)
        return decode::kReadError;
    const std::vector<DcmPixelItem*> fragments = FrameFragments(*sequence, frame, frames);
    if (fragments.empty()) return decode::kReadError;
    std::vector<Uint8> bytes;
    for (DcmPixelItem* fragment : fragments) {
        const Uint32 length = fragment->getLength();
        if (bytes.size() + length > kMaxComponentBytes) return decode::kNoMemory;
        const size_t at = bytes.size();
        bytes.resize(at + length);
        if (length && fragment->getPartialValue(bytes.data() + at, 0, length).bad())
            return decode::kReadError;
    }

    Expected want;
    data.findAndGetUint16(DCM_Rows, want.rows);
    data.findAndGetUint16(DCM_Columns, want.columns);
    if (data.findAndGetUint16(DCM_SamplesPerPixel, want.samples).bad() || want.samples == 0)
        want.samples = 1;
    if (want.samples != 1 && want.samples != 3) return decode::kUnsupported;
    std::unique_ptr<opj_image_t, ImageDeleter> image;
    if (int32_t rc = DecodeCodestream(bytes, want, image)) return rc;

    Uint16 precision = 0;
    for (OPJ_UINT32 c = 0; c < image->numcomps; ++c)
        precision = std::max<Uint16>(precision, static_cast<Uint16>(image->comps[c].prec));
    const bool isSigned = image->comps[0].sgnd != 0;
    const size_t pixels = size_t{want.rows} * want.columns;
    const Uint16 allocated = precision <= 8 ? 8 : 16;
    OFCondition put;
    if (allocated == 8) {
        const auto samples = Interleave<Uint8>(*image, pixels);
        put = data.putAndInsertUint8Array(DCM_PixelData, samples.data(), samples.size());
    } else {
        const auto samples = Interleave<Uint16>(*image, pixels);
        put = data.putAndInsertUint16Array(DCM_PixelData, samples.data(), samples.size());
    }
    if (put.bad()) return decode::kNoMemory;

    // OpenJPEG undoes the codestream's component transform, so YBR_ICT and YBR_RCT come out
    // as RGB; a 4:2:2 label no longer fits full-size components.
    OFString photometric;
    data.findAndGetOFString(DCM_PhotometricInterpretation, photometric);
    if (want.samples == 3 && (photometric == "YBR_ICT" || photometric == "YBR_RCT"))
        data.putAndInsertString(DCM_PhotometricInterpretation, "RGB");
    else if (photometric == "YBR_FULL_422" || photometric == "YBR_PARTIAL_422")
        data.putAndInsertString(DCM_PhotometricInterpretation, "YBR_FULL");
    data.putAndInsertUint16(DCM_BitsAllocated, allocated);
    data.putAndInsertUint16(DCM_BitsStored, precision);
    data.putAndInsertUint16(DCM_HighBit, static_cast<Uint16>(precision - 1));
    data.putAndInsertUint16(DCM_PixelRepresentation, isSigned ? 1 : 0);
    if (want.samples == 3) data.putAndInsertUint16(DCM_PlanarConfiguration, 0);
    data.putAndInsertString(DCM_NumberOfFrames, "1");
    return 0;
}

}  // namespace lmdcm
