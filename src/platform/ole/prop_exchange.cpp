#include "platform/ole/prop_exchange.h"

#include <cctype>
#include <charconv>
#include <cstdio>

#include "platform/ole/base64.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/packed_dib.h"

namespace platform {

namespace {

template <class T>
bool ParseWhole(std::string_view text, T& out, int base = 10) {
    if (text.empty()) return false;
    const char* end = text.data() + text.size();
    auto result = std::from_chars(text.data(), end, out, base);
    return result.ec == std::errc() && result.ptr == end;
}

bool ParseFloat(std::string_view text, float& out) {
    if (text.empty()) return false;
    const char* end = text.data() + text.size();
    auto result = std::from_chars(text.data(), end, out);
    return result.ec == std::errc() && result.ptr == end;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

std::string FormatCurrency(int64_t cy) {
    std::string text = std::to_string(cy / 10000);
    if (cy < 0 && cy > -10000) text = "-" + text;
    int64_t fraction = cy % 10000;
    if (fraction < 0) fraction = -fraction;
    if (fraction != 0) {
        char digits[8];
        std::snprintf(digits, sizeof digits, "%04d", static_cast<int>(fraction));
        std::string f(digits);
        while (f.back() == '0')
            f.pop_back();
        text += "." + f;
    }
    return text;
}

bool ParseCurrency(std::string_view text, int64_t& cy) {
    const size_t dot = text.find('.');
    int64_t whole = 0;
    if (!ParseWhole(text.substr(0, dot), whole) || whole < 0 || whole > 100000000) return false;
    int64_t fraction = 0;
    if (dot != std::string_view::npos) {
        std::string_view digits = text.substr(dot + 1);
        if (digits.empty() || digits.size() > 4 || digits[0] == '-' || digits[0] == '+')
            return false;
        if (!ParseWhole(digits, fraction)) return false;
        for (size_t i = digits.size(); i < 4; ++i)
            fraction *= 10;
    }
    cy = whole * 10000 + fraction;
    return true;
}

// The font as `size;weight;charset;italic;underline;strikethrough;name`: the name comes last
// so that it may hold any character.
std::string FormatFont(const FontDesc& d) {
    return FormatCurrency(d.sizeCy) + ";" + std::to_string(d.weight) + ";" +
           std::to_string(d.charset) + ";" + (d.italic ? "1" : "0") + ";" +
           (d.underline ? "1" : "0") + ";" + (d.strikethrough ? "1" : "0") + ";" + d.name;
}

bool ParseFlag(std::string_view text, bool& flag) {
    if (text != "0" && text != "1") return false;
    flag = text == "1";
    return true;
}

bool ParseFont(std::string_view text, FontDesc& d) {
    std::string_view fields[6];
    for (auto& field : fields) {
        const size_t semi = text.find(';');
        if (semi == std::string_view::npos) return false;
        field = text.substr(0, semi);
        text.remove_prefix(semi + 1);
    }
    FontDesc parsed;
    parsed.name = std::string(text);
    if (parsed.name.empty() || !ParseCurrency(fields[0], parsed.sizeCy) || parsed.sizeCy <= 0 ||
        !ParseWhole(fields[1], parsed.weight) || parsed.weight < 0 || parsed.weight > 1000 ||
        !ParseWhole(fields[2], parsed.charset) || parsed.charset < 0 || parsed.charset > 255 ||
        !ParseFlag(fields[3], parsed.italic) || !ParseFlag(fields[4], parsed.underline) ||
        !ParseFlag(fields[5], parsed.strikethrough))
        return false;
    d = std::move(parsed);
    return true;
}

// Shared shape of the scalar exchanges: format on saving; on loading parse and keep the
// member unless the text reads.
template <class T, class Format, class Parse>
bool ExchangeScalar(PropExchange& px, std::string_view name, T& value, Format format, Parse parse) {
    std::string text;
    if (!px.IsLoading()) {
        text = format(value);
        return px.ExchangeText(name, text);
    }
    if (!px.ExchangeText(name, text)) return false;
    T parsed{};
    if (!parse(std::string_view(text), parsed)) return px.Reject(name);
    value = parsed;
    return true;
}

}  // namespace

bool PropExchange::ExchangeText(std::string_view name, std::string& text) {
    if (!loading_) {
        bag_.Write(name, text);
        return true;
    }
    auto stored = bag_.Read(name);
    if (!stored) return false;
    text = std::move(*stored);
    return true;
}

bool PropExchange::Reject(std::string_view name) {
    rejected_.emplace_back(name);
    return false;
}

bool PropExchange::ExchangeVersion(uint16_t major, uint16_t minor) {
    version_ = (static_cast<uint32_t>(major) << 16) | minor;
    std::string text = std::to_string(major) + "." + std::to_string(minor);
    if (!loading_) return ExchangeText("_Version", text);
    if (!ExchangeText("_Version", text)) return true;
    const size_t dot = text.find('.');
    uint16_t loadedMajor = 0, loadedMinor = 0;
    if (dot == std::string::npos ||
        !ParseWhole(std::string_view(text).substr(0, dot), loadedMajor) ||
        !ParseWhole(std::string_view(text).substr(dot + 1), loadedMinor))
        return Reject("_Version");
    version_ = (static_cast<uint32_t>(loadedMajor) << 16) | loadedMinor;
    return true;
}

bool PX_Short(PropExchange& px, std::string_view name, int16_t& value) {
    return ExchangeScalar(
        px, name, value, [](int16_t v) { return std::to_string(v); },
        [](std::string_view t, int16_t& v) { return ParseWhole(t, v); });
}

bool PX_Long(PropExchange& px, std::string_view name, int32_t& value) {
    return ExchangeScalar(
        px, name, value, [](int32_t v) { return std::to_string(v); },
        [](std::string_view t, int32_t& v) { return ParseWhole(t, v); });
}

bool PX_Bool(PropExchange& px, std::string_view name, bool& value) {
    return ExchangeScalar(
        px, name, value, [](bool v) { return std::string(v ? "True" : "False"); },
        [](std::string_view t, bool& v) {
            if (EqualsNoCase(t, "true")) {
                v = true;
            } else if (EqualsNoCase(t, "false")) {
                v = false;
            } else {
                return false;
            }
            return true;
        });
}

bool PX_Float(PropExchange& px, std::string_view name, float& value) {
    return ExchangeScalar(
        px, name, value, [](float v) { return FormatShortest(v); },
        [](std::string_view t, float& v) { return ParseFloat(t, v); });
}

bool PX_String(PropExchange& px, std::string_view name, std::string& value) {
    if (!px.IsLoading()) return px.ExchangeText(name, value);
    std::string text;
    if (!px.ExchangeText(name, text)) return false;
    value = std::move(text);
    return true;
}

bool PX_Color(PropExchange& px, std::string_view name, OLE_COLOR& value) {
    return ExchangeScalar(
        px, name, value,
        [](OLE_COLOR v) {
            char text[16];
            std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(v));
            return std::string(text);
        },
        [](std::string_view t, OLE_COLOR& v) {
            if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X'))
                return ParseWhole(t.substr(2), v, 16);
            return ParseWhole(t, v);
        });
}

bool PX_Picture(PropExchange& px, std::string_view name, PictureHolder& picture) {
    std::string text;
    if (!px.IsLoading()) {
        if (picture.GetType() == PICTYPE_BITMAP) {
            const auto packed = PackBitmap(picture.Picture()->Handle());
            text = Base64Encode(packed);
        }
        return px.ExchangeText(name, text);
    }
    if (!px.ExchangeText(name, text)) return false;
    if (text.empty()) {
        picture.CreateEmpty();
        return true;
    }
    const auto packed = Base64Decode(text);
    if (!packed) return px.Reject(name);
    HPALETTE palette = 0;
    const HBITMAP bitmap = UnpackBitmap(*packed, &palette);
    if (!bitmap) return px.Reject(name);
    if (!picture.CreateFromBitmap(bitmap, palette, true)) {
        DeleteObject(bitmap);
        if (palette) DeleteObject(palette);
        return px.Reject(name);
    }
    return true;
}

bool PX_Font(PropExchange& px, std::string_view name, FontHolder& font) {
    std::string text;
    if (!px.IsLoading()) {
        text = FormatFont(font.Desc());
        return px.ExchangeText(name, text);
    }
    if (!px.ExchangeText(name, text)) return false;
    FontDesc desc;
    if (!ParseFont(text, desc)) return px.Reject(name);
    font.InitializeFont(desc);
    return true;
}

}  // namespace platform
