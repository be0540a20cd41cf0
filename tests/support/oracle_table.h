// The oracle table: each row names a tool that writes a file from a test picture and the
// independent decoders that read that file back. One test body runs every row: the loader's
// picture must equal the source picture and each decoder's reading. A new format adds rows.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "decode/readers.h"

namespace testsupport {

// The picture a row's writer is given.
enum class Source {
    kColours,  // PPM of `colours` distinct colours in a pseudo-random layout
    kGrey,     // PGM of 256 grey levels
    kBitmap,   // PBM
    kPhoto,    // PPM of TestPattern: gradients, bands and grain
    kSixBit,   // PPM whose channels are multiples of 4 below 252 (6-bit formats keep them)
};

enum class Match {
    kExact,          // every channel within the tolerance
    kPattern,        // the same drawing, whatever the colours (SamePattern)
    kAllButLastRow,  // as kExact, the bottom row left out
};

struct Decoder {
    std::string command;  // writes PNM or PAM to standard output; %d is the file
    int tolerance = 0;
    Match match = Match::kExact;
};

struct OracleRow {
    std::string name;    // letters, digits and '_' (it names the test)
    std::string writer;  // shell command; %s is the source picture, %d the file it makes
    std::string file;    // the file's name; its extension picks the reader
    std::string format;  // the loader's format name; the file's extension when empty
    std::vector<Decoder> decoders;
    Source source = Source::kColours;
    int colours = 1000;
    std::vector<std::pair<int, int>> sizes = {{37, 11}, {64, 3}, {1, 1}};
    int sourceTolerance = 0;  // against the source picture; -1 when not compared
    bool flipped = false;     // the writer stores the rows upside down
    bool longRuns = false;    // the first half of the picture in one colour, for run-length coders
    int bits = 0;             // the decode's bit count when not 0
    std::optional<int32_t> withoutModules;  // the load's code when no codec module is found
    decode::LoadOptions options;
};

// The row's name, for GoogleTest's messages.
void PrintTo(const OracleRow& row, std::ostream* out);

// Decoders most rows use: ImageMagick (the file's orientation applied, sRGB) and libtiff.
Decoder Magick(int tolerance = 0, Match match = Match::kExact, const std::string& prefix = {});
Decoder Netpbm(const std::string& tool, int tolerance = 0);
Decoder LibtiffRgba(int tolerance = 0);

// Writes, loads and compares one row at each of its sizes; failures go to GoogleTest. Skips
// nothing: a missing tool fails the row (the test program checks the tools first).
void CheckOracleRow(const OracleRow& row);

// The first word of every shell command of the row (writers and decoders) that is not on the
// PATH; empty when all are.
std::vector<std::string> MissingTools(const OracleRow& row);

}  // namespace testsupport
