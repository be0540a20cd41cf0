// The load path through _DLumora by name: loading the samples, the errors and the cleared state
// they leave, byte arrays through a temporary file, GIF frames and their offsets, the open-file
// dialog, metafiles and the Picture property.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "control_fixture.h"
#include "picture_files.h"
#include "platform/metafile/metafile.h"
#include "platform/ole/picture.h"
#include "support/env_override.h"

using namespace platform;
using namespace control_test;
using control::CLumoraCtrl;

namespace {

int16_t Short(CLumoraCtrl& c, const char* name) {
    return Get(c, name).AsI2();
}

Variant ByteArray(const std::vector<uint8_t>& bytes, int32_t lowerBound = 0) {
    auto array = SafeArrayCreateVector(VT_UI1, lowerBound, static_cast<uint32_t>(bytes.size()));
    for (size_t i = 0; i < bytes.size(); ++i)
        array->PutElement(lowerBound + static_cast<int32_t>(i), &bytes[i]);
    return Variant::Array(std::move(array));
}

std::vector<int32_t> Offsets(CLumoraCtrl& c) {
    const Variant v = Get(c, "Offsets");
    const SafeArray& array = *v.AsArray();
    EXPECT_EQ(array.LowerBound(), 0);
    std::vector<int32_t> out(array.Count());
    for (uint32_t i = 0; i < array.Count(); ++i)
        array.GetElement(static_cast<int32_t>(i), &out[i]);
    return out;
}

std::shared_ptr<PictureObject> PictureOf(const Variant& v) {
    return std::dynamic_pointer_cast<PictureObject>(v.AsDispatch());
}

}  // namespace

TEST(LoadPath, LoadsTheRasterSamples) {
    const struct {
        const char* file;
        int16_t width, height, bits;
    } cases[] = {
        {"sunset.bmp", 96, 64, 24}, {"sunset8.bmp", 96, 64, 8}, {"spin.gif", 48, 48, 8},
        {"photo.jpg", 96, 64, 24},  {"logo.png", 64, 64, 24},
    };
    SitedControl s;
    CLumoraCtrl& c = s.ctrl;
    for (const auto& k : cases) {
        SCOPED_TRACE(k.file);
        c.SetModifiedFlag(false);
        Set(c, "Aspect", Variant::R4(2.0f));
        Set(c, "FileName", Variant::Bstr(SamplePath(k.file)));
        EXPECT_EQ(Get(c, "FileName"), Variant::Bstr(SamplePath(k.file)));
        EXPECT_EQ(Short(c, "bmpw"), k.width);
        EXPECT_EQ(Short(c, "bmph"), k.height);
        EXPECT_EQ(Short(c, "bmpc"), k.bits);
        EXPECT_EQ(Get(c, "Aspect"), Variant::R4(1.0f));
        // The picture holds the control's own bitmap, which the control keeps owning.
        ASSERT_EQ(c.PictureHolder().GetType(), PICTYPE_BITMAP);
        EXPECT_EQ(c.PictureHolder().Picture()->Handle(), c.Image().bitmap);
        EXPECT_FALSE(c.PictureHolder().Picture()->Owned());
        EXPECT_TRUE(c.IsModified());
        EXPECT_EQ(c.Player().running.load(), k.file == std::string("spin.gif") ? 1 : 0);
    }
}

TEST(LoadPath, FailedOrEmptyLoadsLeaveTheControlEmptyWithTheName) {
    ScratchDir dir;
    WriteBytes(dir.path("notes.dat"), std::vector<uint8_t>(64, 'x'));
    WriteBytes(dir.path("x.ico"), std::vector<uint8_t>(32, 0));  // type 0: the reader refuses it
    const struct {
        std::string file;
        uint16_t number;  // 0: no error
        const char* description;
    } cases[] = {
        {dir.path("missing.bmp"), 20001, "Could not open file"},
        {dir.path("notes.dat"), 20013, "File type not supported"},
        {dir.path("x.ico"), 481, "Invalid picture"},
        {"", 0, ""},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.file);
        SitedControl s;
        CLumoraCtrl& c = s.ctrl;
        Set(c, "Zoom", Variant::R4(4.0f));  // bars shown, to be hidden by the failed load
        Set(c, "FileName", Variant::Bstr(SamplePath("sunset.bmp")));
        ASSERT_EQ(Short(c, "bmpw"), 96);
        ASSERT_TRUE(s.site.ScrollBar(SB_HORZ).visible);
        c.SetModifiedFlag(false);
        const int invalidations = s.site.Invalidations();
        if (k.number == 0)
            Set(c, "FileName", Variant::Bstr(k.file));
        else
            ExpectControlError([&] { Set(c, "FileName", Variant::Bstr(k.file)); }, k.number,
                               k.description, k.file);
        EXPECT_EQ(Get(c, "FileName"), Variant::Bstr(k.file));
        EXPECT_EQ(Short(c, "bmpw"), 0);
        EXPECT_EQ(Short(c, "bmph"), 0);
        EXPECT_EQ(Short(c, "bmpc"), 0);
        EXPECT_EQ(c.PictureHolder().GetType(), PICTYPE_NONE);
        EXPECT_EQ(c.Image().bitmap, 0u);
        EXPECT_FALSE(s.site.ScrollBar(SB_HORZ).visible);
        EXPECT_FALSE(s.site.ScrollBar(SB_VERT).visible);
        if (k.number == 0) {
            EXPECT_GT(s.site.Invalidations(), invalidations);
            EXPECT_TRUE(c.IsModified());
        }
    }
}

TEST(LoadPath, ReadBinaryLoadsThroughATemporaryFileThatIsAlwaysRemoved) {
    SitedControl s;
    CLumoraCtrl& c = s.ctrl;
    const std::vector<uint8_t> bmp = ReadBytes(SamplePath("sunset.bmp"));
    ASSERT_FALSE(bmp.empty());
    ScratchDir dir;
    std::optional<testsupport::EnvOverride> temp(std::in_place, "TMPDIR", dir.dir);
    const Variant size = Variant::I4(static_cast<int32_t>(bmp.size()));

    // Bounds other than 0 count from the lower to the upper bound.
    for (const int32_t lowerBound : {0, 5}) {
        Set(c, "FileName", Variant::Bstr(""));
        EXPECT_EQ(c.CallMethod("ReadBinary", std::vector{ByteArray(bmp, lowerBound)}), size);
        EXPECT_EQ(Short(c, "bmpw"), 96);
        EXPECT_EQ(Short(c, "bmph"), 64);
    }
    // Garbage raises the loader's error; only byte arrays are accepted.
    ExpectControlError(
        [&] { c.CallMethod("ReadBinary", std::vector{ByteArray(std::vector<uint8_t>(10, 0x55))}); },
        20013, "File type not supported", "garbage bytes");
    EXPECT_EQ(Short(c, "bmpw"), 0);
    ExpectInvalidValue([&] { c.CallMethod("ReadBinary", std::vector{Variant::I4(3)}); },
                       "a number");
    ExpectInvalidValue(
        [&] {
            c.CallMethod("ReadBinary",
                         std::vector{Variant::Array(SafeArrayCreateVector(VT_I4, 0, 4))});
        },
        "an array of longs");
    temp.reset();
    EXPECT_TRUE(std::filesystem::is_empty(dir.dir));
}

TEST(LoadPath, AnimatedGifGathersItsFramesAndOffsets) {
    SitedControl s;
    CLumoraCtrl& c = s.ctrl;
    const std::string gif = SamplePath("spin.gif");
    Set(c, "FileName", Variant::Bstr(gif));

    const auto& player = c.Player();
    EXPECT_EQ(player.frameCount, 3);
    EXPECT_EQ(player.canvasWidth, 48);
    EXPECT_EQ(player.canvasHeight, 48);
    for (int k = 0; k < 3; ++k) {
        EXPECT_NE(player.frames[k].bitmap, 0u) << k;
        EXPECT_EQ(player.frames[k].delay, 200) << k;
    }
    EXPECT_EQ(player.frames[3].bitmap, 0u);
    // Frame 0 is also the control's image.
    EXPECT_EQ(player.frames[0].bitmap, c.Image().bitmap);

    const std::vector<int32_t> offsets = Offsets(c);
    ASSERT_EQ(offsets.size(), 3u);
    EXPECT_GT(offsets[0], 0);
    EXPECT_LT(offsets[0], offsets[1]);
    EXPECT_LT(offsets[1], offsets[2]);

    // One frame on its own: its own size, no table, no animation.
    c.CallMethod("DisplayGIFFrame", std::vector{Variant::Bstr(gif), Variant::I4(offsets[1])});
    EXPECT_EQ(Short(c, "bmpw"), 48);
    EXPECT_EQ(Short(c, "bmph"), 48);
    EXPECT_EQ(player.frameCount, 0);
    EXPECT_EQ(c.Image().pendingFrameOffset, 0);
    EXPECT_TRUE(Offsets(c).empty());

    // A negative offset raises before anything changes.
    const HBITMAP shown = c.Image().bitmap;
    ASSERT_NE(shown, 0u);
    for (const char* method : {"DisplayGIFFrame", "TIFFPage"})
        ExpectControlError(
            [&] {
                c.CallMethod(method, std::vector{Variant::Bstr("a.tif"), Variant::I4(-1)});
            },
            20021, "Invalid offset value", method);
    EXPECT_EQ(c.Image().bitmap, shown);
    EXPECT_EQ(Get(c, "FileName"), Variant::Bstr(gif));

    // A plain image afterwards has no offsets.
    Set(c, "FileName", Variant::Bstr(SamplePath("spin.gif")));
    Set(c, "FileName", Variant::Bstr(SamplePath("sunset.bmp")));
    EXPECT_TRUE(Offsets(c).empty());
    EXPECT_EQ(player.frameCount, 0);
}

TEST(LoadPath, OpenPictureDialogLoadsTheChoiceAndCancelChangesNothing) {
    SitedControl s;
    CLumoraCtrl& c = s.ctrl;
    s.site.SetOpenFileAnswer(SamplePath("sunset.bmp"));
    Set(c, "LMOpenPicture", Variant::I2(1));
    ASSERT_EQ(s.site.OpenFileRequests().size(), 1u);
    const std::string& filter = s.site.OpenFileRequests()[0];
    EXPECT_EQ(filter.rfind("All Supported Files|*.art;*.bmp;*.cur;", 0), 0u);
    EXPECT_NE(filter.find("|Amiga(*.iff, *.lbm)|*.iff;*.lbm|"), std::string::npos);
    EXPECT_NE(filter.find("|ZSoft(*.pcx)|*.pcx"), std::string::npos);
    EXPECT_EQ(Short(c, "bmpw"), 96);
    EXPECT_EQ(Get(c, "LMOpenPicture"), Variant::I2(0));

    s.site.SetOpenFileAnswer(std::nullopt);
    c.SetModifiedFlag(false);
    Set(c, "LMOpenPicture", Variant::I2(1));
    EXPECT_EQ(s.site.OpenFileRequests().size(), 2u);
    EXPECT_EQ(Get(c, "FileName"), Variant::Bstr(SamplePath("sunset.bmp")));
    EXPECT_EQ(Short(c, "bmpw"), 96);
    EXPECT_FALSE(c.IsModified());
}

TEST(LoadPath, PictureGetAndPutCarryABitmap) {
    SitedControl source;
    Set(source.ctrl, "FileName", Variant::Bstr(SamplePath("sunset.bmp")));
    Set(source.ctrl, "ImageSource", Variant::I2(0));
    const Variant picture = Get(source.ctrl, "Picture");
    const auto object = PictureOf(picture);
    ASSERT_TRUE(object);
    EXPECT_EQ(object->Type(), PICTYPE_BITMAP);
    EXPECT_TRUE(object->Owned());
    EXPECT_NE(object->Handle(), source.ctrl.Image().bitmap);
    EXPECT_EQ(object->Width(), PixelsToHimetric(96, 96));
    EXPECT_EQ(object->Height(), PixelsToHimetric(64, 96));

    SitedControl target;
    CLumoraCtrl& c = target.ctrl;
    Set(c, "FileName", Variant::Bstr(SamplePath("spin.gif")));
    Set(c, "Picture", picture);
    EXPECT_EQ(Get(c, "FileName"), Variant::Bstr(""));
    EXPECT_EQ(Short(c, "bmpw"), 96);
    EXPECT_EQ(Short(c, "bmph"), 64);
    EXPECT_EQ(Short(c, "bmpc"), 32);
    EXPECT_EQ(c.Player().frameCount, 0);
    EXPECT_EQ(PictureOf(Get(c, "_Picture"))->Type(), PICTYPE_BITMAP);
    // The copy shows the same pixels as the original.
    source.site.Paint();
    target.site.Paint();
    const std::vector<POINT> at = {{0, 0}, {50, 30}, {95, 63}};
    EXPECT_EQ(SitePixels(target.site, at), SitePixels(source.site, at));

    // No picture: with ImageSource 0 the stored empty picture.
    Set(c, "Picture", Variant::Object(nullptr));
    EXPECT_EQ(Short(c, "bmpw"), 0);
    Set(c, "ImageSource", Variant::I2(0));
    const auto empty = PictureOf(Get(c, "Picture"));
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->Type(), PICTYPE_NONE);
}

TEST(LoadPath, MetafilesTakeTheirBoxOrTheClientSize) {
    ScratchDir dir;
    // Box 0,0 to 1440,720 at 1440 units per inch, or a frame of 2540 x 1270 hundredths of a
    // millimetre: one inch by half an inch either way.
    const std::vector<uint8_t> plain = meta_test::WmfBuilder(0).Bytes();
    std::vector<uint8_t> placeable = meta_test::PlaceableBytes(0, 0, 1440, 720, 1440);
    placeable.insert(placeable.end(), plain.begin(), plain.end());
    WriteBytes(dir.path("box.wmf"), placeable);
    WriteBytes(dir.path("bare.wmf"), plain);
    WriteBytes(dir.path("frame.emf"), meta_test::EmfBuilder(RECT{0, 0, 2540, 1270}).Bytes());
    const struct {
        const char* file;
        int16_t autoSize;
        bool inch, enhanced;  // sized one inch by half; held as an enhanced metafile
    } cases[] = {
        {"box.wmf", 0, true, true},
        {"bare.wmf", 0, false, false},
        {"frame.emf", 0, false, true},
        {"frame.emf", 1, true, true},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(std::string(k.file) + " " + std::to_string(k.autoSize));
        SitedControl s;
        CLumoraCtrl& c = s.ctrl;
        Set(c, "AutoSize", Variant::I2(k.autoSize));
        Set(c, "FileName", Variant::Bstr(dir.path(k.file)));
        const int clientWidth = c.View().clientWidth, clientHeight = c.View().clientHeight;
        EXPECT_EQ(Short(c, "bmpw"), k.inch ? 96 : clientWidth);
        EXPECT_EQ(Short(c, "bmph"), k.inch ? 48 : clientHeight);
        EXPECT_EQ(Short(c, "bmpc"), 0);
        EXPECT_EQ(c.Image().enhMetaFile != 0, k.enhanced);
        if (!k.enhanced) {
            EXPECT_EQ(c.PictureHolder().GetType(), PICTYPE_METAFILE);
        }
        s.site.ClearEvents();
        s.site.Paint();
        EXPECT_EQ(s.site.Events(), std::vector<std::string>{"Paint"});
    }
}

TEST(LoadPath, PicturePutTakesACopyOfAnIcon) {
    // A 4 x 4 icon: double height, the colour rows, then AND rows of black: opaque everywhere.
    std::vector<COLORREF> rows(32, 0);
    std::fill(rows.begin() + 16, rows.end(), RGB(0x10, 0x20, 0x30));
    const std::vector<uint8_t> image = meta_test::PackedDib24(4, 8, rows);
    const HICON icon =
        CreateIconFromResource(image.data(), static_cast<uint32_t>(image.size()), true, 0x30000);
    ASSERT_NE(icon, 0u);
    PictureHolder given;
    ASSERT_TRUE(given.CreateFromIcon(icon, 4, 4, true));

    SitedControl s;
    CLumoraCtrl& c = s.ctrl;
    Set(c, "Picture", Variant::Object(given.GetPictureDispatch()));
    EXPECT_EQ(Short(c, "bmpw"), 4);
    EXPECT_EQ(Short(c, "bmph"), 4);
    EXPECT_EQ(Short(c, "bmpc"), 0);
    ASSERT_EQ(c.PictureHolder().GetType(), PICTYPE_ICON);
    EXPECT_NE(c.PictureHolder().Picture()->Handle(), icon);
    s.site.Paint();
    EXPECT_EQ(SitePixels(s.site, {{0, 0}, {3, 3}}),
              std::vector<COLORREF>(2, RGB(0x10, 0x20, 0x30)));

    // As loaded, a picture that is not a bitmap comes back as it is stored.
    Set(c, "ImageSource", Variant::I2(0));
    EXPECT_EQ(Get(c, "Picture").AsDispatch(), c.PictureHolder().GetPictureDispatch());
}
