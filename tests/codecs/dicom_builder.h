// Hand-made DICOM files for the "ReadDCM" tests: preamble, "DICM" and the meta group, then the
// data set in explicit VR little endian, element by element in tag order.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace codecs_test {

inline std::string Le16(const std::vector<int>& values) {
    std::string out;
    for (int v : values) {
        out += static_cast<char>(v & 0xFF);
        out += static_cast<char>((v >> 8) & 0xFF);
    }
    return out;
}

inline std::string Le32(uint32_t v) {
    return Le16({static_cast<int>(v & 0xFFFF), static_cast<int>(v >> 16)});
}

class DicomBuilder {
  public:
    explicit DicomBuilder(const std::string& transferSyntax = "1.2.840.10008.1.2.1") {
        std::string meta;
        Append(meta, 0x0002, 0x0001, "OB", std::string("\0\1", 2));
        Append(meta, 0x0002, 0x0010, "UI", Uid(transferSyntax));
        bytes_ = std::string(128, '\0') + "DICM";
        Append(bytes_, 0x0002, 0x0000, "UL", Le32(static_cast<uint32_t>(meta.size())));
        bytes_ += meta;
        datasetStart_ = bytes_.size();
        Text(0x0008, 0x0016, "UI", Uid("1.2.840.10008.5.1.4.1.1.7"));
    }

    DicomBuilder& Text(uint16_t group, uint16_t element, const char* vr, std::string value) {
        if (value.size() % 2) value += ' ';
        Append(bytes_, group, element, vr, value);
        return *this;
    }
    DicomBuilder& Us(uint16_t group, uint16_t element, int value) {
        return Text(group, element, "US", Le16({value}));
    }
    // The image pixel module: samples, interpretation, frames (none when 0), size and bits.
    DicomBuilder& Image(int samples, const std::string& photometric, int frames, int rows,
                        int columns, int allocated, int stored, bool isSigned = false) {
        Us(0x0028, 0x0002, samples);
        Text(0x0028, 0x0004, "CS", photometric);
        if (samples > 1) Us(0x0028, 0x0006, 0);
        if (frames > 0) Text(0x0028, 0x0008, "IS", std::to_string(frames));
        Us(0x0028, 0x0010, rows);
        Us(0x0028, 0x0011, columns);
        Us(0x0028, 0x0100, allocated);
        Us(0x0028, 0x0101, stored);
        Us(0x0028, 0x0102, stored - 1);
        return Us(0x0028, 0x0103, isSigned ? 1 : 0);
    }
    DicomBuilder& Pixels(std::string data, const char* vr = "OW") {
        if (data.size() % 2) data += '\0';
        Append(bytes_, 0x7FE0, 0x0010, vr, data);
        return *this;
    }
    // Encapsulated pixel data: the items (the first is the offset table), the sequence's end.
    DicomBuilder& Encapsulated(const std::vector<std::string>& items) {
        bytes_ += std::string("\xe0\x7f\x10\x00OB\0\0\xff\xff\xff\xff", 12);
        for (const std::string& item : items)
            bytes_ += std::string("\xfe\xff\x00\xe0", 4) + Le32(item.size()) + item;
        return Raw(std::string("\xfe\xff\xdd\xe0\0\0\0\0", 8));
    }
    // Bytes as they stand, for structures the element helpers do not make.
    DicomBuilder& Raw(const std::string& bytes) {
        bytes_ += bytes;
        return *this;
    }
    const std::string& bytes() const { return bytes_; }
    size_t datasetStart() const { return datasetStart_; }

  private:
    static std::string Uid(std::string uid) {
        if (uid.size() % 2) uid += '\0';
        return uid;
    }
    static void Append(std::string& out, uint16_t group, uint16_t element, const char* vr,
                       const std::string& value) {
        out += Le16({group, element}) + vr;
        const std::string_view v(vr);
        if (v == "OB" || v == "OW" || v == "SQ" || v == "UN" || v == "UT")
            out += Le16({0}) + Le32(static_cast<uint32_t>(value.size()));
        else
            out += Le16({static_cast<int>(value.size())});
        out += value;
    }

    std::string bytes_;
    size_t datasetStart_ = 0;
};

}  // namespace codecs_test
