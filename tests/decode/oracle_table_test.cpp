// Files written by netpbm, ImageMagick and libtiff, loaded through the loader and compared with
// their source picture and with the tools' own decodes: one row a writer and its options.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "decode/loader_error.h"
#include "support/oracle_table.h"

// Rows name only the fields that differ from the defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

using testsupport::Decoder;
using testsupport::Magick;
using testsupport::Match;
using testsupport::Netpbm;
using testsupport::OracleRow;
using testsupport::Source;

constexpr auto kColours = Source::kColours, kGrey = Source::kGrey, kBitmap = Source::kBitmap;

// TGA: true colour, colour-mapped and grey, raw and run-length, bottom-up and top-down. 16-bit
// colour maps keep 5 bits a channel, which the reader widens by 8 and the tools by 255 / 31.
std::vector<OracleRow> TgaRows() {
    const std::vector<std::pair<int, int>> sizes = {{37, 11}, {130, 4}, {1, 1}};
    struct V {
        const char* name;
        Source source;
        int colours;
        const char* writer;
        bool flipped;  // ImageMagick 6 writes top row first under a bottom-up descriptor
    };
    const V variants[] = {
        {"tga_netpbm_rgb_rle", kColours, 1000, "pamtotga -rgb %s > %d", false},
        {"tga_netpbm_rgb_raw", kColours, 1000, "pamtotga -rgb -norle %s > %d", false},
        {"tga_netpbm_map_rle", kColours, 60, "pamtotga -cmap %s > %d", false},
        {"tga_netpbm_map_raw", kColours, 60, "pamtotga -cmap -norle %s > %d", false},
        {"tga_netpbm_map16", kColours, 60, "pamtotga -cmap16 -norle %s > %d", false},
        {"tga_netpbm_grey_rle", kGrey, 0, "pamtotga %s > %d", false},
        {"tga_netpbm_grey_raw", kGrey, 0, "pamtotga -norle %s > %d", false},
        {"tga_magick_raw_bottom_up", kColours, 1000, "convert %s -compress none tga:%d", true},
        {"tga_magick_rle_bottom_up", kColours, 1000, "convert %s -compress RLE tga:%d", true},
        {"tga_magick_raw_top_down", kColours, 1000,
         "convert %s -orient TopLeft -compress none tga:%d", false},
        {"tga_magick_rle_top_down", kColours, 1000,
         "convert %s -orient TopLeft -compress RLE tga:%d", false},
        {"tga_magick_map", kColours, 60, "convert %s -type palette -compress none tga:%d", true},
        {"tga_magick_map_rle", kColours, 60, "convert %s -type palette -compress RLE tga:%d", true},
        {"tga_magick_grey", kGrey, 0, "convert %s -type grayscale -compress none tga:%d", true},
        {"tga_magick_grey_rle", kGrey, 0, "convert %s -type grayscale -compress RLE tga:%d", true},
    };
    std::vector<OracleRow> rows;
    for (const V& v : variants) {
        const bool fiveBit = std::string(v.name) == "tga_netpbm_map16";
        const int tolerance = fiveBit ? 7 : 0;
        OracleRow row{.name = v.name,
                      .writer = v.writer,
                      .file = "picture.tga",
                      .decoders = {Netpbm("tgatoppm", tolerance), Magick(tolerance)},
                      .source = v.source,
                      .colours = v.colours,
                      .sizes = sizes,
                      .sourceTolerance = fiveBit ? 12 : 0,
                      .flipped = v.flipped,
                      .longRuns = true};
        rows.push_back(row);
    }
    return rows;
}

// PCX: every plane layout the tools write, at widths that do and do not fill the last byte.
// 3 x 2 is the smallest picture that still shows every colour a layout needs. ImageMagick
// takes one-bit colours from the header: only the drawing is compared.
std::vector<OracleRow> PcxRows() {
    const std::pair<const char*, std::pair<int, const char*>> variants[] = {
        {"pcx_netpbm_1bit", {2, "ppmtopcx %s > %d"}},
        {"pcx_netpbm_2planes", {4, "ppmtopcx %s > %d"}},
        {"pcx_netpbm_2bits_packed", {4, "ppmtopcx -packed %s > %d"}},
        {"pcx_netpbm_3planes", {8, "ppmtopcx -planes 3 %s > %d"}},
        {"pcx_netpbm_4planes", {16, "ppmtopcx %s > %d"}},
        {"pcx_netpbm_4bits_packed", {16, "ppmtopcx -packed %s > %d"}},
        {"pcx_netpbm_8bits", {200, "ppmtopcx %s > %d"}},
        {"pcx_netpbm_8bits_forced", {16, "ppmtopcx -8bit %s > %d"}},
        {"pcx_netpbm_24bits", {1000, "ppmtopcx -24bit %s > %d"}},
        {"pcx_magick_24bits", {1000, "convert %s pcx:%d"}},
        {"pcx_magick_8bits", {100, "convert %s -type palette pcx:%d"}},
    };
    std::vector<OracleRow> rows;
    for (const auto& [name, v] : variants) {
        const bool bitmap = v.first == 2;
        rows.push_back(
            {.name = name,
             .writer = v.second,
             .file = "picture.pcx",
             .decoders = {Netpbm("pcxtoppm"), Magick(0, bitmap ? Match::kPattern : Match::kExact)},
             .source = bitmap ? kBitmap : kColours,
             .colours = v.first,
             .sizes = {{37, 11}, {64, 3}, {3, 2}}});
    }
    return rows;
}

// Sun raster: 1, 8 and 24 bits, raw and byte-encoded. netpbm's one-bit writer is left out: the
// packaged pnmtorast loses the set bits of a one-bit picture. ImageMagick 6 ends its decode of
// netpbm's byte-encoded files a few bytes early, so its last row is not compared there.
std::vector<OracleRow> RasRows() {
    const std::pair<const char*, std::pair<int, const char*>> variants[] = {
        {"ras_netpbm_8bits", {60, "pnmtorast -standard %s > %d"}},
        {"ras_netpbm_8bits_encoded", {60, "pnmtorast -rle %s > %d"}},
        {"ras_netpbm_24bits", {1000, "pnmtorast -standard %s > %d"}},
        {"ras_netpbm_24bits_encoded", {1000, "pnmtorast -rle %s > %d"}},
        {"ras_magick_24bits", {1000, "convert %s sun:%d"}},
        {"ras_magick_8bits", {60, "convert %s -type palette sun:%d"}},
        {"ras_magick_1bit", {2, "convert %s -monochrome sun:%d"}},
        {"ras_magick_24bits_encoded", {1000, "convert %s -compress RLE sun:%d"}},
        {"ras_magick_8bits_encoded", {60, "convert %s -type palette -compress RLE sun:%d"}},
    };
    std::vector<OracleRow> rows;
    for (const auto& [name, v] : variants) {
        const bool cutShort = std::string(name).find("netpbm_8bits_enc") != std::string::npos ||
                              std::string(name).find("netpbm_24bits_enc") != std::string::npos;
        rows.push_back(
            {.name = name,
             .writer = v.second,
             .file = "picture.ras",
             .decoders = {Netpbm("rasttopnm"),
                          Magick(0, cutShort ? Match::kAllButLastRow : Match::kExact, "sun:")},
             .source = v.first == 2 ? kBitmap : kColours,
             .colours = v.first,
             .longRuns = true});
    }
    return rows;
}

// IFF ILBM: 1 to 8 planes and 24-bit, compressed and not, odd widths; a bitmap is one plane.
std::vector<OracleRow> IffRows() {
    const std::vector<std::pair<int, int>> sizes = {{16, 9}, {13, 9}, {50, 9}};
    std::vector<OracleRow> rows;
    for (int colours : {2, 4, 8, 16, 32, 64, 256, 0})
        for (const char* compress : {"compress", "nocompress"}) {
            const std::string depth = colours ? std::to_string(colours) : "24bit";
            rows.push_back({.name = "iff_" + depth + "_" + compress,
                            .writer = std::string("ppmtoilbm -") + compress +
                                      (colours ? "" : " -24if") + " %s > %d",
                            .file = "picture.iff",
                            .decoders = {Netpbm("ilbmtoppm")},
                            .colours = colours ? colours : 1000,
                            .sizes = sizes});
        }
    rows.push_back({.name = "iff_bitmap",
                    .writer = "ppmtoilbm %s > %d",
                    .file = "picture.iff",
                    .decoders = {Netpbm("ilbmtoppm")},
                    .source = kBitmap,
                    .sizes = sizes,
                    .bits = 1});
    return rows;
}

// Portable anymaps: plain and raw, every maxval netpbm writes (within one level of the tools,
// which round differently).
std::vector<OracleRow> PnmRows() {
    const std::pair<const char*, const char*> variants[] = {
        {"p6.ppm", "cp %s %d"},
        {"p3.ppm", "pnmtoplainpnm < %s > %d"},
        {"p5.pgm", "ppmtopgm < %s > %d"},
        {"p2.pgm", "ppmtopgm < %s | pamtopnm -plain > %d"},
        {"p6m15.ppm", "pamdepth 15 < %s > %d"},
        {"p6m1000.ppm", "pamdepth 1000 < %s > %d"},
        {"p6m65535.pnm", "pamdepth 65535 < %s > %d"},
        {"p5m7.pgm", "ppmtopgm < %s | pamdepth 7 > %d"},
        {"p5m4095.pgm", "ppmtopgm < %s | pamdepth 4095 > %d"},
        {"p3m100.ppm", "pamdepth 100 < %s | pamtopnm -plain > %d"},
        {"p2m65535.pgm", "ppmtopgm < %s | pamdepth 65535 | pamtopnm -plain > %d"},
        {"im6.ppm", "convert %s %d"},
        {"im3.ppm", "convert %s -compress none %d"},
        {"im5.pgm", "convert %s -colorspace gray -depth 16 %d"},
        {"p4.pbm", "cp %s %d"},
        {"p1.pbm", "pnmtoplainpnm < %s > %d"},
    };
    std::vector<OracleRow> rows;
    for (const auto& [file, writer] : variants) {
        std::string name = std::string("pnm_") + file;
        name[name.find('.')] = '_';
        const bool bitmap = std::string(file).find(".pbm") != std::string::npos;
        const bool lossy = std::string(file).find(".pgm") != std::string::npos ||
                           std::string(writer).find("depth") != std::string::npos;
        rows.push_back({.name = name,
                        .writer = writer,
                        .file = file,
                        .format = "pnm",
                        .decoders = {{"pamtopnm < %d", 1}, Magick(1)},
                        .source = bitmap ? kBitmap : kColours,
                        .colours = 200,
                        .sizes = {bitmap ? std::pair{19, 9} : std::pair{37, 11}},
                        .sourceTolerance = lossy ? -1 : 0});
    }
    return rows;
}

// The one-bit and six-bit formats of old paint programs. pbmtogem writes 372-micrometre pixels,
// which the reader refuses; the row sets them to 85.
std::vector<OracleRow> LegacyRows() {
    return {
        {.name = "art_magick",
         .writer = "convert %s %d",
         .file = "picture.art",
         .decoders = {Magick()},
         .source = kBitmap,
         .sizes = {{8, 7}, {13, 7}, {16, 7}, {45, 7}}},
        {.name = "hrz_magick",
         .writer = "convert %s %d",
         .file = "picture.hrz",
         .decoders = {Magick()},
         .source = Source::kSixBit,
         .sizes = {{256, 240}}},
        {.name = "gem_netpbm",
         .writer = "pbmtogem %s > %d.img && { head -c 8 %d.img; printf '\\000\\125\\000\\125'; "
                   "tail -c +13 %d.img; } > %d",
         .file = "picture.gem",
         .decoders = {Netpbm("gemtopnm")},
         .source = kBitmap,
         .sizes = {{8, 33}, {21, 33}, {64, 33}, {300, 33}}},
        {.name = "mac_netpbm",
         .writer = "pbmtomacp %s > %d",
         .file = "picture.mac",
         .decoders = {Netpbm("macptopbm")},
         .source = kBitmap,
         .sizes = {{576, 720}}},
    };
}

// TIFF: compressions, layouts and byte orders; the in-house route (uncompressed and PackBits
// strips) loads without the codec module, the others fail with kTiffCompression then.
std::vector<OracleRow> TiffRows() {
    struct V {
        const char* name;
        std::string writer;
        int tolerance;
        bool inHouse;
    };
    // Most layouts are made by libtiff's copier from ImageMagick's uncompressed file.
    const std::string plain = "convert %s -compress none %d.t.tif && tiffcp ";
    const auto cp = [&plain](const std::string& options) {
        return plain + options + " %d.t.tif %d";
    };
    const std::string whiteGrey = "-colorspace gray -define quantum:polarity=min-is-white";
    const V variants[] = {
        {"none", "convert %s -compress none %d", 0, true},
        {"none_msb", cp("-B"), 0, true},
        {"packbits", cp("-c packbits"), 0, true},
        {"packbits_msb_strips", cp("-B -r 5 -c packbits"), 0, true},
        {"lzw", "convert %s -compress lzw %d", 0, false},
        {"lzw_lsb_predictor", cp("-L -c lzw:2"), 0, false},
        {"lzw_msb", cp("-B -c lzw"), 0, false},
        {"deflate", "convert %s -compress zip %d", 0, false},
        {"jpeg_ycbcr", "convert %s -compress jpeg -quality 90 %d", 3, false},
        {"jpeg_rgb", cp("-r 16 -c jpeg:r"), 3, false},
        {"tiled", cp("-t -w 16 -l 16"), 0, false},
        {"tiled_uncompressed_msb", cp("-B -c none -t -w 32 -l 16"), 0, false},
        {"planar_separate", cp("-p separate -c lzw"), 0, false},
        {"g4", "convert %s -monochrome -compress group4 %d", 0, false},
        {"g3", "convert %s -monochrome -compress fax %d", 0, false},
        {"bilevel_min_is_black", "convert %s -monochrome -compress none %d", 0, true},
        {"bilevel_min_is_white_lzw",
         "convert %s -monochrome -define quantum:polarity=min-is-white -compress lzw %d", 0, false},
        {"bilevel_min_is_black_lzw", "convert %s -monochrome -compress lzw %d", 0, false},
        {"grey_min_is_black", "convert %s -colorspace gray -compress none %d", 0, true},
        {"grey_min_is_white", "convert %s " + whiteGrey + " -compress none %d", 0, true},
        {"grey_min_is_white_lzw", "convert %s " + whiteGrey + " -compress lzw %d", 0, false},
        {"grey4", "convert %s -colorspace gray -depth 4 -compress none %d", 0, true},
        {"grey2_lzw", "convert %s -colorspace gray -depth 2 -compress lzw %d", 0, false},
        {"grey16", "convert %s -colorspace gray -depth 16 -compress none %d", 1, true},
        {"grey16_msb_deflate", "convert %s -colorspace gray -depth 16 -endian MSB -compress zip %d",
         1, false},
        {"rgb16", "convert %s -depth 16 -compress none %d", 1, true},
        {"rgb16_msb_lzw", "convert %s -depth 16 -endian MSB -compress lzw %d", 1, false},
        {"rgba", "convert %s -alpha set -compress none %d", 0, true},
        {"zstd", cp("-c zstd"), 0, false},
        {"lzma", cp("-c lzma"), 0, false},
    };
    std::vector<OracleRow> rows;
    for (const V& v : variants)
        rows.push_back({.name = std::string("tiff_") + v.name,
                        .writer = v.writer,
                        .file = "picture.tif",
                        .decoders = {Magick(v.tolerance), testsupport::LibtiffRgba(v.tolerance)},
                        .source = Source::kPhoto,
                        .sizes = {{61, 47}},
                        .sourceTolerance = -1,
                        .withoutModules = v.inHouse ? 0 : decode::kTiffCompression});
    // Palettes: ImageMagick rescales 16-bit map entries differently, by up to a few levels.
    for (const char* make :
         {"-colors 200 -type palette -compress none", "-colors 200 -type palette -compress lzw",
          "-colors 12 -type palette -compress none", "-colors 12 -type palette -compress zip"}) {
        std::string name = std::string("tiff_palette") + make;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        rows.push_back({.name = name,
                        .writer = std::string("convert %s ") + make + " %d",
                        .file = "picture.tif",
                        .decoders = {testsupport::LibtiffRgba(0), Magick(16)},
                        .source = Source::kPhoto,
                        .sizes = {{61, 47}},
                        .sourceTolerance = -1,
                        .bits = std::string(make).find("200") != std::string::npos ? 8 : 4});
    }
    // BigTIFF: the reader leaves it to the module, which gives it at 24 bits.
    for (const char* compression : {"none", "lzw"})
        rows.push_back({.name = std::string("tiff_big_") + compression,
                        .writer = cp(std::string("-8 -c ") + compression),
                        .file = "picture.tif",
                        .decoders = {testsupport::LibtiffRgba(0)},
                        .source = Source::kPhoto,
                        .sizes = {{33, 20}},
                        .sourceTolerance = -1,
                        .bits = 24});
    return rows;
}

std::vector<OracleRow> AllRows() {
    std::vector<OracleRow> rows;
    for (auto part : {TgaRows, PcxRows, RasRows, IffRows, PnmRows, LegacyRows, TiffRows})
        for (OracleRow& row : part())
            rows.push_back(std::move(row));
    return rows;
}

class OracleTable : public testing::TestWithParam<OracleRow> {};

TEST_P(OracleTable, LoadsAsTheToolsDecode) {
    const auto missing = testsupport::MissingTools(GetParam());
    if (!missing.empty()) GTEST_SKIP() << "not installed: " << missing.front();
    testsupport::CheckOracleRow(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Writers, OracleTable, testing::ValuesIn(AllRows()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
