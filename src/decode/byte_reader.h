// Bounds-checked reading over a file's bytes: every reader goes through this, so no read can
// leave the buffer whatever the file says.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace decode {

class ByteReader {
  public:
    static constexpr int kEof = -1;

    explicit ByteReader(std::span<const uint8_t> data) : data_(data) {}

    size_t size() const { return data_.size(); }
    size_t tell() const { return pos_; }
    size_t remaining() const { return data_.size() - pos_; }
    bool eof() const { return pos_ >= data_.size(); }
    std::span<const uint8_t> data() const { return data_; }

    // fgetc: the next byte, or kEof.
    int getc() { return pos_ < data_.size() ? data_[pos_++] : kEof; }
    int peek() const { return pos_ < data_.size() ? data_[pos_] : kEof; }

    // fread: copies up to n bytes and returns how many it copied.
    size_t read(void* dst, size_t n) {
        n = std::min(n, remaining());
        if (n) std::memcpy(dst, data_.data() + pos_, n);
        pos_ += n;
        return n;
    }
    // The next n bytes without copying; empty (and nothing consumed) when fewer remain.
    std::span<const uint8_t> take(size_t n) {
        if (n > remaining()) return {};
        auto s = data_.subspan(pos_, n);
        pos_ += n;
        return s;
    }
    // Skips up to n bytes; false when the end came first.
    bool skip(size_t n) {
        const bool whole = n <= remaining();
        pos_ += std::min(n, remaining());
        return whole;
    }
    // fseek from the start: positions past the end are clamped and reported as failure.
    bool seek(size_t pos) {
        pos_ = std::min(pos, data_.size());
        return pos <= data_.size();
    }

  private:
    std::span<const uint8_t> data_;
    size_t pos_ = 0;
};

// The classic byte-order helpers.
// keep != 0: value unchanged; else its two low bytes exchanged.
int32_t SwapWord(int32_t value, int keep);
// Two bytes, high byte first when bigEndian; -1 when either read meets the end.
int32_t ReadWord(ByteReader& in, int bigEndian);
// Four bytes, most significant first when bigEndian. No end test: an end-of-file value (-1)
// enters the sum unchanged.
int32_t ReadLong(ByteReader& in, int bigEndian);

}  // namespace decode
