// Property sets: base64, the text form of a bag, and the exchange of every member type in both
// directions.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/gdi/gdi.h"
#include "platform/ole/base64.h"
#include "platform/ole/prop_exchange.h"

using namespace platform;

namespace {

std::string Encode(std::string_view text) {
    return Base64Encode(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

std::optional<std::string> Decode(std::string_view text) {
    auto bytes = Base64Decode(text);
    if (!bytes) return std::nullopt;
    return std::string(bytes->begin(), bytes->end());
}

struct Members {
    int16_t shortValue = 0;
    int32_t longValue = 0;
    bool flag = false;
    float number = 0;
    std::string text;
    OLE_COLOR color = 0;
    PictureHolder picture;
    FontHolder font;

    void Exchange(PropExchange& px) {
        px.ExchangeVersion(2, 0);
        PX_Short(px, "Short", shortValue);
        PX_Long(px, "Long", longValue);
        PX_Bool(px, "Flag", flag);
        PX_Float(px, "Number", number);
        PX_String(px, "Text", text);
        PX_Color(px, "Color", color);
        PX_Picture(px, "Picture", picture);
        PX_Font(px, "Font", font);
    }
};

std::string SaveText(Members& m) {
    PropertyBag bag;
    PropExchange px(bag, false);
    m.Exchange(px);
    return bag.ToText();
}

PropExchange LoadText(Members& m, std::string_view text, PropertyBag& bag) {
    bag = PropertyBag::Parse(text);
    PropExchange px(bag, true);
    m.Exchange(px);
    return px;
}

// A 3 x 2 8-bit DIB section with a four-colour table and known pixels.
HBITMAP MakeIndexedBitmap() {
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), 3, 2, 1, 8, BI_RGB, 0, 0, 0, 4, 0};
    info.bmiColors[0] = {0, 0, 0, 0};
    info.bmiColors[1] = {0, 0, 255, 0};
    info.bmiColors[2] = {0, 255, 0, 0};
    info.bmiColors[3] = {255, 0, 0, 0};
    void* bits = nullptr;
    const HBITMAP bitmap = CreateDIBSection(0, &info, DIB_RGB_COLORS, &bits);
    const uint8_t rows[8] = {1, 2, 3, 0, 3, 2, 1, 0};
    if (bits) std::memcpy(bits, rows, sizeof rows);
    return bitmap;
}

}  // namespace

TEST(Base64, KnownVectorsAndRejection) {
    // The test vectors of RFC 4648, section 10.
    const std::pair<const char*, const char*> vectors[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
    };
    for (const auto& [plain, coded] : vectors) {
        EXPECT_EQ(Encode(plain), coded);
        EXPECT_EQ(Decode(coded), std::string(plain));
    }
    std::vector<uint8_t> all(256);
    for (int i = 0; i < 256; ++i)
        all[static_cast<size_t>(i)] = static_cast<uint8_t>(255 - i);
    EXPECT_EQ(Base64Decode(Base64Encode(all)), all);
    EXPECT_EQ(Encode("\xfb\xff"), "+/8=");

    EXPECT_FALSE(Decode("Zg="));         // length
    EXPECT_FALSE(Decode("Zg=a"));        // padding inside
    EXPECT_FALSE(Decode("Z==="));        // too much padding
    EXPECT_FALSE(Decode("Zh=="));        // leftover bits
    EXPECT_FALSE(Decode("Zm9v\nYg=="));  // foreign character
    EXPECT_FALSE(Decode("Zg==Zg=="));    // padding before the end
}

TEST(PropertyBag, TextFormEscapesAndRejectsMalformedLines) {
    PropertyBag bag;
    bag.Write("Plain", "value");
    bag.Write("Tricky", "a=b\nc\\d\r\te\x01");
    bag.Write("Na=me", "");
    bag.Write("Plain", "again");  // keeps its first position
    const std::string text = bag.ToText();
    EXPECT_EQ(text, "Plain=again\nTricky=a\\=b\\nc\\\\d\\r\\te\\x01\nNa\\=me=\n");
    const PropertyBag back = PropertyBag::Parse(text);
    EXPECT_EQ(back.Entries(), bag.Entries());

    // Windows line ends and blank lines are tolerated.
    EXPECT_EQ(PropertyBag::Parse("A=1\r\n\r\nB=2").Read("B"), "2");

    const std::pair<const char*, size_t> bad[] = {
        {"A=1\nno separator\n", 2},
        {"=value\n", 1},
        {"A=1\nA=2\n", 2},
        {"A=bad\\q\n", 1},
        {"A=cut\\", 1},
        {"A=\\x4\n", 1},
        {"A\\=1\n", 1},
    };
    for (const auto& [input, line] : bad) {
        try {
            PropertyBag::Parse(input);
            ADD_FAILURE() << "accepted: " << input;
        } catch (const PropertyBagError& e) {
            EXPECT_EQ(e.line(), line) << input;
        }
    }
}

TEST(PropExchange, EveryTypeRoundTripsThroughText) {
    Members saved;
    saved.shortValue = -32768;
    saved.longValue = 2147483647;
    saved.flag = true;
    saved.number = 0.1f;
    saved.text = "C:\\pics\\a=b.bmp\nsecond line";
    saved.color = 0x80000004;
    const HBITMAP bitmap = MakeIndexedBitmap();
    ASSERT_NE(bitmap, 0u);
    ASSERT_TRUE(saved.picture.CreateFromBitmap(bitmap, 0, true));
    FontDesc desc;
    desc.name = "Serif;Bold=Face";
    desc.sizeCy = 120050;
    desc.weight = 700;
    desc.charset = 2;
    desc.italic = true;
    desc.strikethrough = true;
    saved.font.InitializeFont(desc);

    const std::string text = SaveText(saved);
    // One line per member in exchange order, the version first.
    const char* order[] = {
        "_Version=2.0\n",     "Short=-32768\n", "Long=2147483647\n",
        "Flag=True\n",        "Number=0.1\n",   "Text=",
        "Color=0x80000004\n", "Picture=",       "Font=12.005;700;2;1;0;1;Serif;Bold\\=Face\n"};
    size_t at = 0;
    for (const char* piece : order) {
        const size_t found = text.find(piece, at);
        ASSERT_NE(found, std::string::npos) << piece << " in\n" << text;
        at = found;
    }
    EXPECT_EQ(SaveText(saved), text);  // stable

    Members loaded;
    PropertyBag bag;
    const PropExchange px = LoadText(loaded, text, bag);
    EXPECT_TRUE(px.Rejected().empty());
    EXPECT_EQ(px.Version(), 0x20000u);
    EXPECT_TRUE(loaded.shortValue == -32768 && loaded.longValue == 2147483647 && loaded.flag);
    EXPECT_TRUE(loaded.number == 0.1f && loaded.color == 0x80000004u);
    EXPECT_EQ(loaded.text, saved.text);
    EXPECT_EQ(loaded.font.Desc(), desc);

    ASSERT_EQ(loaded.picture.GetType(), PICTYPE_BITMAP);
    const auto& picture = *loaded.picture.Picture();
    EXPECT_NE(picture.Handle(), bitmap);
    EXPECT_NE(picture.Palette(), 0u);  // made from the colour table
    EXPECT_EQ(picture.Width(), saved.picture.Picture()->Width());
    const HDC dc = CreateCompatibleDC(0);
    const HGDIOBJ old = SelectObject(dc, picture.Handle());
    // The top row is the second stored row: indices 3, 2, 1 (blue, green, red); then 1, 2, 3.
    const COLORREF table[] = {0, RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255)};
    for (int x = 0; x < 3; ++x) {
        EXPECT_EQ(GetPixel(dc, x, 0), table[3 - x]) << x;
        EXPECT_EQ(GetPixel(dc, x, 1), table[1 + x]) << x;
    }
    SelectObject(dc, old);
    DeleteDC(dc);

    // Saved again, the loaded state gives the same text.
    EXPECT_EQ(SaveText(loaded), text);
}

TEST(PropExchange, MissingAndUnreadableEntriesKeepMembers) {
    Members m;
    m.shortValue = 13;
    m.longValue = 7;
    m.flag = true;
    m.number = 1.0f;
    m.text = "kept";
    m.color = 0x123456;
    const FontDesc before = m.font.Desc();

    PropertyBag bag;
    const PropExchange px = LoadText(m,
                                     "Short=40000\nFlag=maybe\nNumber=1.5x\nColor=0xZZ\n"
                                     "Font=8;400;0;0;0;0;\nPicture=!!!!\nLong=-5\n",
                                     bag);
    EXPECT_TRUE(m.shortValue == 13 && m.flag && m.number == 1.0f && m.color == 0x123456u);
    EXPECT_EQ(m.text, "kept");
    EXPECT_EQ(m.font.Desc(), before);
    EXPECT_EQ(m.picture.GetType(), PICTYPE_NONE);
    EXPECT_EQ(m.longValue, -5);
    EXPECT_EQ(px.Version(), 0x20000u);  // no version entry: the current one
    // In exchange order, not text order.
    const std::vector<std::string> rejected = {"Short", "Flag",    "Number",
                                               "Color", "Picture", "Font"};
    EXPECT_EQ(px.Rejected(), rejected);

    // An empty picture value empties the holder; an empty text is a value, not an absence.
    ASSERT_TRUE(m.picture.CreateFromBitmap(MakeIndexedBitmap(), 0, true));
    LoadText(m, "Picture=\nText=\n", bag);
    EXPECT_EQ(m.picture.GetType(), PICTYPE_NONE);
    EXPECT_EQ(m.text, "");
}
