// A pass over a DICOM file before DCMTK parses it, to bound how deeply its data set can nest.
//
// DCMTK reads sequences recursively, about a kilobyte of stack per level, so a file of nested
// empty sequences a few hundred kilobytes long would exhaust a thread's stack. Every level of
// nesting needs an item of its own, so the number of item tags (FFFE,E000) in the data set, in
// either byte order, bounds the depth from above; the caller sizes the parsing thread's stack
// by it. A data set in the deflated transfer syntax is inflated for the count.
#pragma once

#include <cstdint>

namespace lmdcm {

struct DatasetScan {
    bool opened = false;     // the file could be opened
    bool preamble = false;   // 128-byte preamble followed by "DICM"
    bool oversized = false;  // the deflated data set inflates beyond the limit
    uint64_t itemTags = 0;   // item tags found: an upper bound of the nesting depth
};

DatasetScan ScanDataset(const char* fileName, uint64_t inflateLimit);

}  // namespace lmdcm
