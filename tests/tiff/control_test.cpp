// A multi-page TIFF through the control: the pages' offsets reach Offsets, TIFFPage loads one
// page by its offset, and a single-page file leaves the table empty.
#include <gtest/gtest.h>

#include "control/control_fixture.h"
#include "platform/ole/variant.h"
#include "tiff/tiff_files.h"

namespace tiff_test {
namespace {

using control_test::Get;
using control_test::Set;
using control_test::SitedControl;
using platform::Variant;

std::vector<int32_t> Offsets(control::CLumoraCtrl& c) {
    const Variant v = Get(c, "Offsets");
    const auto& array = *v.AsArray();
    std::vector<int32_t> out(array.Count());
    for (uint32_t i = 0; i < array.Count(); ++i)
        array.GetElement(static_cast<int32_t>(i), &out[i]);
    return out;
}

// Pages of different sizes, the second through the codec module (LZW), the third with a pixel
// aspect of 2.
Bytes ThreePages() {
    TiffBuilder b(true);
    AddPicture(b, {5, 4, 8, 1, 1, 1, Bytes(20, 100)});
    // LZW of a 3x2 grey picture of zeros, as libtiff writes it.
    AddPicture(b, {3, 2, 8, 1, 1, 5, {0x80, 0x00, 0x20, 0x50, 0x38, 0x08}});
    const uint32_t x = b.AppendLongs({200, 1}), y = b.AppendLongs({100, 1});
    AddPicture(
        b, {7, 6, 8, 1, 1, 1, Bytes(42, 50), {At(282, kRational, 1, x), At(283, kRational, 1, y)}});
    return b.bytes();
}

TEST(TiffControl, PagesReachTheOffsetTableAndLoadByOffset) {
    testsupport::TempDir dir;
    const std::string path = dir.path("pages.tif"), single = dir.path("single.tif");
    testsupport::WriteBytes(path, ThreePages());
    testsupport::WriteBytes(single, MakeTiff({2, 2, 8, 1, 1, 1, Bytes(4, 9)}));
    SitedControl s;
    auto& c = s.ctrl;
    Set(c, "FileName", Variant::Bstr(path));
    const std::vector<int32_t> offsets = Offsets(c);
    ASSERT_EQ(offsets.size(), 3u);
    const int16_t sizes[3][2] = {{5, 4}, {3, 2}, {7, 6}};
    for (int page = 0; page < 3; ++page) {
        SCOPED_TRACE(page);
        c.CallMethod("TIFFPage", std::vector{Variant::Bstr(path), Variant::I4(offsets[page])});
        EXPECT_EQ(Get(c, "bmpw").AsI2(), sizes[page][0]);
        EXPECT_EQ(Get(c, "bmph").AsI2(), sizes[page][1]);
        EXPECT_EQ(Get(c, "Aspect"), Variant::R4(page == 2 ? 2.0f : 1.0f));
        EXPECT_TRUE(Offsets(c).empty()) << "a page load records no table of its own";
    }
    // A single-page file leaves the table empty.
    Set(c, "FileName", Variant::Bstr(single));
    EXPECT_TRUE(Offsets(c).empty());
    EXPECT_EQ(Get(c, "bmpw").AsI2(), 2);
}

}  // namespace
}  // namespace tiff_test
