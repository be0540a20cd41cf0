// Tables of hand-made files for the raster readers, each row a file and what the reader makes of
// it. Files that netpbm and ImageMagick write are compared with the tools' decodes in the
// decoders' oracle table: these rows are the layouts, edge cases and damage they do not make.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decode/loader_error.h"
#include "decode/readers.h"
#include "support/bytes.h"
#include "support/picture.h"

namespace raster_test {

using namespace decode;
using namespace testsupport;

struct At {
    int x, y;
    Rgb rgb;
};

// The reader's code, and when it decodes the bit count, the palette indexes of the top rows and
// colours at some pixels. A refusal with `noPixels` comes before the pixel block is allocated.
struct Case {
    Case(std::string n, Bytes f, int b, std::vector<std::vector<int>> i, std::vector<At> c = {})
        : name(std::move(n)), file(std::move(f)), bits(b), indexes(std::move(i)), colours(c) {}
    std::string name;
    Bytes file;
    int bits;
    std::vector<std::vector<int>> indexes;
    std::vector<At> colours;
    int32_t rc = 0;
    bool noPixels = false;
};

inline Case Refused(std::string name, Bytes file, int32_t rc, bool noPixels = false) {
    Case c(std::move(name), std::move(file), 0, {});
    c.rc = rc;
    c.noPixels = noPixels;
    return c;
}

// The first `size` bytes.
inline Bytes Head(Bytes bytes, size_t size) {
    bytes.resize(size);
    return bytes;
}

// A builder's bytes after one edit.
template <class Builder, class Edit>
Bytes With(Builder builder, Edit edit) {
    edit(builder);
    return builder.bytes();
}

inline void CheckCases(ReaderFn reader, const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto run = RunReader(reader, c.file);
        ASSERT_EQ(run->rc, c.rc);
        EXPECT_TRUE(!c.noPixels || run->img.pixelHandle == 0u);
        if (c.rc != 0) continue;
        EXPECT_EQ(run->img.header.biBitCount, c.bits);
        for (size_t y = 0; y < c.indexes.size(); ++y)
            for (size_t x = 0; x < c.indexes[y].size(); ++x)
                EXPECT_EQ(run->index(static_cast<int>(x), static_cast<int>(y)), c.indexes[y][x])
                    << x << "," << y;
        for (const At& a : c.colours)
            EXPECT_EQ(run->rgb(a.x, a.y), a.rgb) << a.x << "," << a.y;
    }
}

}  // namespace raster_test
