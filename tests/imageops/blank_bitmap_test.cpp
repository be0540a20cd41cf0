// CreateBitmap: sizes, fill, depth report and the refusals that keep the current picture.
#include <gtest/gtest.h>

#include "imageops_fixture.h"
#include "support/testdata.h"

using namespace imageops_test;

namespace {

const Variant kMissing = Variant::Missing();

TEST(CreateBitmap, SizesFillAndDepth) {
    const struct {
        Variant width, height;
        int16_t wantWidth, wantHeight;
    } rows[] = {
        {kMissing, kMissing, 320 - 6, 240 - 6},  // the inner size
        {Variant::I2(320), Variant::I4(200), 320, 200},
        {Variant::R8(100.9), Variant::R4(50.2f), 100, 50},
        {Variant(), Variant::I2(7), 320 - 6, 7},
    };
    for (const auto& r : rows) {
        Sited s;
        s.Set("BackColor", Variant::I4(RGB(12, 34, 56)));
        s.ctrl.CallMethod("CreateBitmap", std::vector{r.width, r.height});
        EXPECT_EQ(s.Short("bmpc"), platform::DisplayDepth());
        EXPECT_EQ(s.ctrl.Image().palette, platform::GetStockObject(platform::DEFAULT_PALETTE));
        oracle::RgbImage want{r.wantWidth, r.wantHeight, {}, {}};
        for (int i = 0; i < r.wantWidth * r.wantHeight; ++i)
            want.rgb.insert(want.rgb.end(), {12, 34, 56});
        EXPECT_EQ(testsupport::ComparePictures(ReadPicture(s.ctrl), want), "");
    }
}

TEST(CreateBitmap, RefusedSizesKeepTheCurrentPicture) {
    const struct {
        Variant width, height;
        int number;
        const char* text;
    } rows[] = {
        {Variant::I2(0), Variant::I2(10), 20019, "Could not create bitmap"},
        {Variant::I2(-1), Variant::I2(10), 380, "Invalid property value"},
        {Variant::I2(10), Variant::I2(-1), 380, "Invalid property value"},
        {Variant::Bstr("wide"), Variant::I2(10), 380, "Invalid property value"},
        {Variant::I4(40000), Variant::I2(10), 380, "Invalid property value"},
        {Variant::I4(30000), Variant::I4(30000), 380, "Invalid property value"},  // over 1 GiB
    };
    for (const auto& r : rows) {
        Sited s;
        s.ctrl.CreateBitmap(Variant::I2(5), Variant::I2(4));
        const HBITMAP before = s.ctrl.Image().bitmap;
        EXPECT_EQ(ErrorOf([&] { s.ctrl.CreateBitmap(r.width, r.height); }),
                  std::make_pair(r.number, std::string(r.text)));
        EXPECT_EQ(s.ctrl.Image().bitmap, before);
        EXPECT_EQ(s.Short("bmpw"), 5);
    }
}

TEST(CreateBitmap, LetsGoOfAnAnimation) {
    Sited s;
    s.Set("FileName", Variant::Bstr((testsupport::SourceDir() / "samples/spin.gif").string()));
    ASSERT_GT(s.ctrl.Player().frameCount, 0) << "the sample has frames";
    s.ctrl.CreateBitmap(Variant::I2(8), Variant::I2(8));
    EXPECT_EQ(s.ctrl.Player().running.load(), 0);
    EXPECT_EQ(s.ctrl.Player().frameCount, 0);
    EXPECT_FALSE(s.ctrl.Player().thread.joinable());
    EXPECT_EQ(s.Get("FileName").AsBstr(), "");
}

}  // namespace
