// A reader run on hand-made bytes and what it must give: the header's bit count (or the
// reader's error code), bytes of rows of the pixel block and colours of pixels.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "decode/loader_error.h"
#include "decode/readers.h"
#include "support/bytes.h"
#include "support/picture.h"
#include "support/testdata.h"

namespace legacy_test {

using testsupport::Bytes;
using testsupport::ComparePictures;
using testsupport::IsLoaderCode;
using testsupport::Rgb;
using testsupport::SampleFiles;
using testsupport::TestData;

constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kWhite{255, 255, 255};
inline Rgb Grey(uint8_t v) {
    return {v, v, v};
}

struct RowBytes {
    int y;
    Bytes bytes;  // from byte `at` of the row on
    int at = 0;
};

struct Pixel {
    int x, y;
    Rgb rgb;
};

struct Case {
    std::string what;
    decode::ReaderFn reader;
    Bytes file;
    int32_t expect;  // the header's bit count, or the reader's error code
    std::vector<RowBytes> rows = {};
    std::vector<Pixel> pixels = {};
};

// A case built by a call, so that the tables bin-pack their arguments.
inline Case Row(std::string what, decode::ReaderFn reader, Bytes file, int32_t expect,
                std::vector<RowBytes> rows = {}, std::vector<Pixel> pixels = {}) {
    return {std::move(what), reader, std::move(file), expect, std::move(rows), std::move(pixels)};
}

inline void Check(const Case& c) {
    SCOPED_TRACE(c.what);
    const auto run = testsupport::RunReader(c.reader, c.file);
    ASSERT_EQ(run->rc, std::min(c.expect, 0));
    if (c.expect < 0) return;
    EXPECT_EQ(run->img.header.biBitCount, c.expect);
    for (const RowBytes& r : c.rows) {
        const uint8_t* row = run->img.row(r.y) + r.at;
        EXPECT_EQ(Bytes(row, row + r.bytes.size()), r.bytes) << "row " << r.y;
    }
    for (const Pixel& p : c.pixels)
        EXPECT_EQ(run->rgb(p.x, p.y), p.rgb) << p.x << "," << p.y;
}

}  // namespace legacy_test
