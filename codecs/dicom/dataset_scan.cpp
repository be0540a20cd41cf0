#include "dicom/dataset_scan.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace lmdcm {
namespace {

constexpr char kDeflatedSyntax[] = "1.2.840.10008.1.2.1.99";
constexpr size_t kChunk = 1 << 16;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Counts item tags in bytes fed in pieces; a tag may straddle two pieces.
class ItemCounter {
  public:
    void Feed(const uint8_t* p, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            window_ = window_ << 8 | p[i];
            // (FFFE,E000) little endian, then big endian.
            if (window_ == 0xFEFF00E0u || window_ == 0xFFFEE000u) ++count_;
        }
    }
    uint64_t count() const { return count_; }

  private:
    uint32_t window_ = 0;
    uint64_t count_ = 0;
};

uint32_t Le(const uint8_t* p, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | p[i];
    return v;
}

// Value representations whose explicit-VR length field takes four bytes after two reserved.
bool LongLength(const uint8_t* vr) {
    static const char* const kLong[] = {"OB", "OD", "OF", "OL", "OV", "OW", "SQ",
                                        "SV", "UC", "UN", "UR", "UT", "UV"};
    return std::any_of(std::begin(kLong), std::end(kLong),
                       [&](const char* v) { return std::memcmp(v, vr, 2) == 0; });
}

// Walks the file meta group (group 0002, explicit VR little endian) that follows the preamble:
// the transfer syntax, and the offset where the data set starts. False when the group cannot
// be walked to its end; DCMTK then fails on it too, or reads no deflated data set.
bool ReadMeta(std::FILE* f, std::string& syntax, long& datasetStart) {
    for (int elements = 0; elements < 4096; ++elements) {
        const long start = std::ftell(f);
        uint8_t h[12];
        if (std::fread(h, 1, 8, f) != 8) return false;
        if (Le(h, 2) != 0x0002) {
            datasetStart = start;
            return true;
        }
        const uint32_t element = Le(h + 2, 2);
        uint32_t length = Le(h + 6, 2);
        if (LongLength(h + 4)) {
            if (std::fread(h + 8, 1, 4, f) != 4) return false;
            length = Le(h + 8, 4);
        }
        if (length == 0xFFFFFFFFu) return false;
        if (element == 0x0010 && length <= 64) {
            char value[64];
            if (std::fread(value, 1, length, f) != length) return false;
            syntax.assign(value, length);
            while (!syntax.empty() && (syntax.back() == '\0' || syntax.back() == ' '))
                syntax.pop_back();
        } else if (std::fseek(f, static_cast<long>(length), SEEK_CUR) != 0) {
            return false;
        }
    }
    return false;
}

// Feeds the counter with raw bytes of the file from the current position to its end.
void CountRaw(std::FILE* f, ItemCounter& counter) {
    std::vector<uint8_t> buffer(kChunk);
    size_t got;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), f)) > 0)
        counter.Feed(buffer.data(), got);
}

// Inflates the rest of the file and feeds the counter with what comes out, until the stream
// ends, breaks, or passes the limit (then `oversized`). windowBits as zlib takes them: -15 for
// raw deflate, as DICOM writes it, 47 for a stream with a zlib or gzip wrapper.
void CountInflated(std::FILE* f, int windowBits, uint64_t limit, ItemCounter& counter,
                   bool& oversized) {
    z_stream z{};
    if (inflateInit2(&z, windowBits) != Z_OK) return;
    std::vector<uint8_t> in(kChunk), out(4 * kChunk);
    uint64_t produced = 0;
    int rc = Z_OK;
    while (rc == Z_OK) {
        if (z.avail_in == 0) {
            const size_t got = std::fread(in.data(), 1, in.size(), f);
            if (got == 0) break;
            z.next_in = in.data();
            z.avail_in = static_cast<uInt>(got);
        }
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        rc = inflate(&z, Z_NO_FLUSH);
        const size_t n = out.size() - z.avail_out;
        counter.Feed(out.data(), n);
        produced += n;
        if (produced > limit) {
            oversized = true;
            break;
        }
        if (rc == Z_BUF_ERROR && z.avail_in != 0) break;
        if (rc == Z_BUF_ERROR) rc = Z_OK;  // wants more input
    }
    inflateEnd(&z);
}

}  // namespace

DatasetScan ScanDataset(const char* fileName, uint64_t inflateLimit) {
    DatasetScan scan;
    File f(std::fopen(fileName, "rb"));
    if (!f) return scan;
    scan.opened = true;
    uint8_t head[132];
    scan.preamble = std::fread(head, 1, sizeof head, f.get()) == sizeof head &&
                    std::memcmp(head + 128, "DICM", 4) == 0;
    std::string syntax;
    long datasetStart = 0;
    const bool deflated =
        scan.preamble && ReadMeta(f.get(), syntax, datasetStart) && syntax == kDeflatedSyntax;

    ItemCounter counter;
    std::rewind(f.get());
    if (!deflated) {
        CountRaw(f.get(), counter);
        scan.itemTags = counter.count();
        return scan;
    }
    std::vector<uint8_t> meta(static_cast<size_t>(datasetStart));
    if (std::fread(meta.data(), 1, meta.size(), f.get()) != meta.size()) return scan;
    counter.Feed(meta.data(), meta.size());
    // Either wrapping may be what DCMTK manages to read; the larger count bounds both.
    uint64_t most = 0;
    for (int windowBits : {-15, 47}) {
        ItemCounter inflated = counter;
        if (std::fseek(f.get(), datasetStart, SEEK_SET) != 0) break;
        CountInflated(f.get(), windowBits, inflateLimit, inflated, scan.oversized);
        most = std::max(most, inflated.count());
    }
    scan.itemTags = most;
    return scan;
}

}  // namespace lmdcm
