#include "support/oracle_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "decode/loader_error.h"
#include "support/env_override.h"
#include "support/oracle.h"
#include "support/picture.h"

namespace testsupport {

namespace {

// Every "%s" becomes the quoted source and every "%d" the quoted file.
std::string Fill(std::string command, const std::string& src, const std::string& dst) {
    for (const auto& [key, value] : {std::pair{"%s", src}, std::pair{"%d", dst}}) {
        const std::string quoted = oracle::ShellQuote(value);
        for (size_t at = 0; (at = command.find(key, at)) != std::string::npos; at += quoted.size())
            command.replace(at, 2, quoted);
    }
    return command;
}

oracle::RgbImage SourcePicture(const OracleRow& row, int w, int h) {
    if (row.source == Source::kPhoto) return TestPattern(w, h, static_cast<uint32_t>(w));
    std::vector<Rgb> colours = row.source == Source::kGrey     ? Greys(256)
                               : row.source == Source::kBitmap ? Greys(2)
                                                               : Colours(row.colours, w);
    if (row.source == Source::kSixBit)
        for (Rgb& c : colours)
            for (uint8_t& v : c)
                v = static_cast<uint8_t>(std::min(v & 0xFC, 248));
    auto picture = MakePicture(w, h, colours, static_cast<uint32_t>(h));
    if (row.longRuns)
        for (size_t i = 0; i < picture.rgb.size() / 3 / 2; ++i)
            std::copy_n(colours[0].begin(), 3, picture.rgb.begin() + 3 * i);
    return picture;
}

bool WriteSource(const OracleRow& row, const std::string& path, const oracle::RgbImage& p) {
    if (row.source == Source::kGrey) return WritePgm(path, p);
    if (row.source == Source::kBitmap) return WritePbm(path, p);
    return WritePpm(path, p);
}

oracle::RgbImage WithoutLastRow(oracle::RgbImage p) {
    if (p.height > 1) {
        p.height -= 1;
        p.rgb.resize(static_cast<size_t>(p.width) * p.height * 3);
    }
    return p;
}

}  // namespace

Decoder Magick(int tolerance, Match match, const std::string& prefix) {
    return {"convert " + prefix + "%d'[0]' -auto-orient -colorspace sRGB +repage -depth 8 pam:-",
            tolerance, match};
}

Decoder Netpbm(const std::string& tool, int tolerance) {
    return {tool + " %d", tolerance};
}

Decoder LibtiffRgba(int tolerance) {
    return {"tiff2rgba -c none %d %d.rgba.tif && convert %d.rgba.tif -alpha off ppm:-", tolerance};
}

void CheckOracleRow(const OracleRow& row) {
    TempDir dir;
    const std::string ext = row.source == Source::kGrey     ? ".pgm"
                            : row.source == Source::kBitmap ? ".pbm"
                                                            : ".ppm";
    const std::string src = dir.path("source" + ext), dst = dir.path(row.file);
    const std::string format =
        row.format.empty() ? row.file.substr(row.file.rfind('.') + 1) : row.format;
    for (const auto& [w, h] : row.sizes) {
        SCOPED_TRACE(row.name + " " + std::to_string(w) + "x" + std::to_string(h));
        const auto source = SourcePicture(row, w, h);
        ASSERT_TRUE(WriteSource(row, src, source));
        ASSERT_TRUE(oracle::RunCommand("(" + Fill(row.writer, src, dst) + ") >/dev/null"))
            << Fill(row.writer, src, dst);
        const auto load = LoadFile(dst, row.options);
        ASSERT_EQ(load.rc, 0);
        EXPECT_EQ(load.format, format);
        if (row.bits) {
            EXPECT_EQ(load.pixelBits, row.bits);
        }
        if (row.sourceTolerance >= 0) {
            EXPECT_EQ(ComparePictures(load.picture, row.flipped ? FlipRows(source) : source,
                                      row.sourceTolerance),
                      "")
                << "against the source";
        }
        for (const Decoder& d : row.decoders) {
            const auto frames = oracle::RunPnmCommand(Fill(d.command, src, dst));
            ASSERT_FALSE(frames.empty()) << d.command;
            const auto& want = frames.front();
            if (d.match == Match::kPattern)
                EXPECT_TRUE(SamePattern(load.picture, want)) << d.command;
            else if (d.match == Match::kAllButLastRow)
                EXPECT_EQ(ComparePictures(WithoutLastRow(load.picture), WithoutLastRow(want),
                                          d.tolerance),
                          "")
                    << d.command;
            else
                EXPECT_EQ(ComparePictures(load.picture, want, d.tolerance), "") << d.command;
        }
        if (row.withoutModules) {
            EnvOverride noModules("LUMORA_CODEC_PATH", dir.dir);
            EXPECT_EQ(LoadFile(dst, row.options).rc, *row.withoutModules) << "without modules";
        }
    }
}

void PrintTo(const OracleRow& row, std::ostream* out) {
    *out << row.name;
}

std::vector<std::string> MissingTools(const OracleRow& row) {
    std::vector<std::string> commands = {row.writer};
    for (const Decoder& d : row.decoders)
        commands.push_back(d.command);
    std::vector<std::string> missing;
    for (const std::string& command : commands) {
        std::istringstream words(command);
        bool atCommand = true;
        for (std::string word; words >> word;) {
            if (word == "|" || word == "&&" || word == ";" || word == "||") {
                atCommand = true;
                continue;
            }
            if (atCommand && word != "cat" && word.find_first_of("%'\"<>(") == std::string::npos &&
                std::find(missing.begin(), missing.end(), word) == missing.end() &&
                !oracle::ToolAvailable(word))
                missing.push_back(word);
            atCommand = false;
        }
    }
    return missing;
}

}  // namespace testsupport
