// The load path through _DLumora by name: loading the samples, the errors and the cleared state
// they leave, byte arrays through a temporary file, GIF frames and their offsets, the open-file
// dialog, metafiles and the Picture property.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "control_fixture.h"
#include "picture_files.h"
#include "platform/gdi/gdi.h"
#include "platform/metafile/metafile.h"
#include "platform/ole/picture.h"

using namespace platform;
using control::CLumoraCtrl;
using control_test::ExpectControlError;
using control_test::Get;
using control_test::MakeBmp24;
using control_test::ReadBytes;
using control_test::SamplePath;
using control_test::ScratchDir;
using control_test::Set;
using control_test::SitedControl;
using control_test::WriteBytes;

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

int CountTempFiles(const std::filesystem::path& dir) {
    int n = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        if (entry.path().filename().string().rfind("lm", 0) == 0) ++n;
    return n;
}

// Points the system temporary directory at a scratch folder for the life of this object.
class TempDirOverride {
  public:
    explicit TempDirOverride(const std::filesystem::path& dir) {
        if (const char* old = std::getenv("TMPDIR")) old_ = old;
        ::setenv("TMPDIR", dir.c_str(), 1);
    }
    ~TempDirOverride() {
        if (old_.empty())
            ::unsetenv("TMPDIR");
        else
            ::setenv("TMPDIR", old_.c_str(), 1);
    }

  private:
    std::string old_;
};

void ExpectClearedImage(CLumoraCtrl& c, const SitedControl& s, const std::string& what) {
    SCOPED_TRACE(what);
    EXPECT_EQ(Short(c, "bmpw"), 0);
    EXPECT_EQ(Short(c, "bmph"), 0);
    EXPECT_EQ(Short(c, "bmpc"), 0);
    EXPECT_EQ(c.PictureHolder().GetType(), PICTYPE_NONE);
    EXPECT_EQ(c.Image().bitmap, 0u);
    EXPECT_FALSE(s.site.ScrollBar(SB_HORZ).visible);
    EXPECT_FALSE(s.site.ScrollBar(SB_VERT).visible);
}

}  // namespace

TEST(LoadPath, LoadsTheRasterSamples) {
    struct Case {
        const char* file;
        int16_t width, height, bits;
    };
    const Case cases[] = {
        {"sunset.bmp", 96, 64, 24}, {"sunset8.bmp", 96, 64, 8}, {"spin.gif", 48, 48, 8},
        {"photo.jpg", 96, 64, 24},  {"logo.png", 64, 64, 24},
    };
    SitedControl s;
    CLumoraCtrl& c = s.ctrl;
    for (const Case& k : cases) {
        SCOPED_TRACE(k.file);
        c.SetModifiedFlag(false);
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

TEST(LoadPath, ErrorsRaiseAndLeaveTheControlEmptyWithTheName) {
    SitedControl s;
    CLumoraCtrl& c = s.ctrl;
    ScratchDir dir("errors");
    const std::string missing = dir.File("missing.bmp");
    Set(c, "FileName", Variant::Bstr(SamplePath("sunset.bmp")));
    ASSERT_EQ(Short(c, "bmpw"), 96);

    ExpectControlError([&] { Set(c, "FileName", Variant::Bstr(missing)); }, 20001,
                       "Could not open file", "missing file");
    EXPECT_EQ(Get(c, "FileName"), Variant::Bstr(missing));
    ExpectClearedImage(c, s, "after a missing file");

    const std::string text = dir.File("notes.dat");
    WriteBytes(text, std::vector<uint8_t>(64, 'x'));
    ExpectControlError([&] { Set(c, "FileName", Variant::Bstr(text)); }, 20013,
                       "File type not supported", "unknown content");
    ExpectClearedImage(c, s, "after unknown content");

    // An icon file the icon reader refuses (type 0) gives no picture.
    const std::string icon = dir.File("x.ico");
    WriteBytes(icon, std::vector<uint8_t>(32, 0));
    ExpectControlError([&] { Set(c, "FileName", Variant::Bstr(icon)); }, 481, "Invalid picture",
                       "icon file");
}

TEST(LoadPath, EmptyFileNameClearsWithoutError) {
    SitedControl s;
    CLumoraCtrl& c = s.ctrl;
    Set(c, "FileName", Variant::Bstr(SamplePath("sunset.bmp")));
    const int before = s.site.Invalidations();
    c.SetModifiedFlag(false);
    Set(c, "FileName", Variant::Bstr(""));
    EXPECT_EQ(Get(c, "FileName"), Variant::Bstr(""));
    ExpectClearedImage(c, s, "empty name");
    EXPECT_GT(s.site.Invalidations(), before);
    EXPECT_TRUE(c.IsModified());
}

TEST(LoadPath, ReadBinaryLoadsThroughATemporaryFileThatIsAlwaysRemoved) {
    SitedControl s;
    CLumoraCtrl& c = s.ctrl;
    ScratchDir dir("readbinary");
    TempDirOverride temp(dir.path());
    const std::vector<uint8_t> bmp = ReadBytes(SamplePath("sunset.bmp"));
    ASSERT_FALSE(bmp.empty());

    const Variant count = c.CallMethod("ReadBinary", std::vector{ByteArray(bmp)});
    EXPECT_EQ(count, Variant::I4(static_cast<int32_t>(bmp.size())));
    EXPECT_EQ(Short(c, "bmpw"), 96);
    EXPECT_EQ(Short(c, "bmph"), 64);
    EXPECT_EQ(CountTempFiles(dir.path()), 0);

    // Bounds other than 0 count from the lower to the upper bound.
    EXPECT_EQ(c.CallMethod("ReadBinary", std::vector{ByteArray(bmp, 5)}),
              Variant::I4(static_cast<int32_t>(bmp.size())));
    EXPECT_EQ(Short(c, "bmpw"), 96);

    // Garbage raises the loader's error, and the file goes all the same.
    const std::vector<uint8_t> garbage(10, 0x55);
    ExpectControlError([&] { c.CallMethod("ReadBinary", std::vector{ByteArray(garbage)}); }, 20013,
                       "File type not supported", "garbage bytes");
    EXPECT_EQ(CountTempFiles(dir.path()), 0);
    EXPECT_EQ(Short(c, "bmpw"), 0);

    // Only byte arrays are accepted.
    ExpectControlError([&] { c.CallMethod("ReadBinary", std::vector{Variant::I4(3)}); }, 380,
                       "Invalid property value", "a number");
    auto longs = SafeArrayCreateVector(VT_I4, 0, 4);
    ExpectControlError(
        [&] { c.CallMethod("ReadBinary", std::vector{Variant::Array(std::move(longs))}); }, 380,
        "Invalid property value", "an array of longs");
    EXPECT_EQ(CountTempFiles(dir.path()), 0);
}

TEST(LoadPath, AnimatedGifGathersItsFramesAndOffsets) {
    SitedControl s;
    CLumoraCtrl& c = s.ctrl;
    const std::string gif = SamplePath("spin.gif");
    Set(c, "FileName", Variant::Bstr(gif));

    const auto& player = c.Player();
    EXPECT_EQ(player.frameCount, 3);
    EXPECT_EQ(player.running.load(), 1);
    EXPECT_EQ(player.canvasWidth, 48);
    EXPECT_EQ(player.canvasHeight, 48);
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        EXPECT_NE(player.frames[k].bitmap, 0u);
        EXPECT_EQ(player.frames[k].delay, 200);
        EXPECT_EQ(player.frames[k].transparentIndex, -1);
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
    EXPECT_NE(c.Image().bitmap, 0u);
    EXPECT_TRUE(Offsets(c).empty());

    // A negative offset raises before anything changes.
    const HBITMAP shown = c.Image().bitmap;
    ExpectControlError(
        [&] {
            c.CallMethod("DisplayGIFFrame", std::vector{Variant::Bstr(gif), Variant::I4(-1)});
        },
        20021, "Invalid offset value", "negative frame offset");
    ExpectControlError(
        [&] {
            c.CallMethod("TIFFPage", std::vector{Variant::Bstr("a.tif"), Variant::I4(-1)});
        },
        20021, "Invalid offset value", "negative page offset");
    EXPECT_EQ(c.Image().bitmap, shown);
    EXPECT_EQ(Short(c, "bmpw"), 48);
    EXPECT_EQ(Get(c, "FileName"), Variant::Bstr(gif));

    // A plain image afterwards has no offsets.
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
    EXPECT_EQ(Get(c, "FileName"), Variant::Bstr(SamplePath("sunset.bmp")));
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

TEST(LoadPath, WaitCursorIsRestoredAfterEveryLoad) {
    SitedControl s;
    CLumoraCtrl& c = s.ctrl;
    const std::string before = c.Cursor();
    Set(c, "FileName", Variant::Bstr(SamplePath("spin.gif")));
    EXPECT_EQ(c.Cursor(), before);
    EXPECT_THROW(Set(c, "FileName", Variant::Bstr("/no/such/file.bmp")), ControlError);
    EXPECT_EQ(c.Cursor(), before);
}

TEST(LoadPath, PictureGetAndPutCarryABitmap) {
    SitedControl source;
    Set(source.ctrl, "FileName", Variant::Bstr(SamplePath("sunset.bmp")));
    Set(source.ctrl, "ImageSource", Variant::I2(0));
    const Variant picture = Get(source.ctrl, "Picture");
    ASSERT_EQ(picture.vt(), VT_DISPATCH);
    const auto object = std::dynamic_pointer_cast<PictureObject>(picture.AsDispatch());
    ASSERT_TRUE(object);
    EXPECT_EQ(object->Type(), PICTYPE_BITMAP);
    EXPECT_TRUE(object->Owned());
    EXPECT_NE(object->Handle(), source.ctrl.Image().bitmap);
    EXPECT_EQ(object->Width(), PixelsToHimetric(96, 96));
    EXPECT_EQ(object->Height(), PixelsToHimetric(64, 96));

    SitedControl target;
    CLumoraCtrl& c = target.ctrl;
    Set(c, "BorderStyle", Variant::I2(0));
    Set(c, "Appearance", Variant::I2(0));
    Set(c, "FileName", Variant::Bstr(SamplePath("spin.gif")));
    Set(c, "Picture", picture);
    EXPECT_EQ(Get(c, "FileName"), Variant::Bstr(""));
    EXPECT_EQ(Short(c, "bmpw"), 96);
    EXPECT_EQ(Short(c, "bmph"), 64);
    EXPECT_EQ(Short(c, "bmpc"), 32);
    EXPECT_EQ(c.Player().frameCount, 0);
    ASSERT_EQ(c.PictureHolder().GetType(), PICTYPE_BITMAP);

    // The copy shows the same pixels as the original.
    source.site.Paint();
    target.site.Paint();
    for (const auto& [x, y] : std::vector<std::pair<int, int>>{{0, 0}, {50, 30}, {95, 63}})
        EXPECT_EQ(target.site.Pixel(x, y), source.site.Pixel(x, y)) << x << "," << y;

    // The value property is the same member.
    EXPECT_EQ(std::dynamic_pointer_cast<PictureObject>(Get(c, "_Picture").AsDispatch())->Type(),
              PICTYPE_BITMAP);

    // No picture: with ImageSource 0 the stored empty picture; as shown needs an image.
    Set(c, "Picture", Variant::Object(nullptr));
    EXPECT_EQ(Short(c, "bmpw"), 0);
    Set(c, "ImageSource", Variant::I2(0));
    const auto empty = std::dynamic_pointer_cast<PictureObject>(Get(c, "Picture").AsDispatch());
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->Type(), PICTYPE_NONE);
}

TEST(LoadPath, PlaceableMetafileIsSizedFromItsBoxAndUnitsPerInch) {
    SitedControl s;
    CLumoraCtrl& c = s.ctrl;
    ScratchDir dir("wmf");
    // Box 0,0 to 1440,720 at 1440 units per inch: one inch by half an inch.
    const std::vector<uint8_t> plain = meta_test::WmfBuilder(0).Bytes();
    std::vector<uint8_t> wmf = meta_test::PlaceableBytes(0, 0, 1440, 720, 1440);
    wmf.insert(wmf.end(), plain.begin(), plain.end());
    const std::string placeable = dir.File("box.wmf");
    WriteBytes(placeable, wmf);

    Set(c, "FileName", Variant::Bstr(placeable));
    EXPECT_EQ(Short(c, "bmpw"), 96);
    EXPECT_EQ(Short(c, "bmph"), 48);
    EXPECT_EQ(Short(c, "bmpc"), 0);
    EXPECT_NE(c.Image().enhMetaFile, 0u);

    // Without the placeable header the metafile takes the client size.
    const std::string bare = dir.File("bare.wmf");
    WriteBytes(bare, plain);
    Set(c, "FileName", Variant::Bstr(bare));
    EXPECT_EQ(Short(c, "bmpw"), c.View().clientWidth);
    EXPECT_EQ(Short(c, "bmph"), c.View().clientHeight);
    EXPECT_EQ(c.PictureHolder().GetType(), PICTYPE_METAFILE);
    EXPECT_EQ(c.Image().enhMetaFile, 0u);
    s.site.ClearEvents();
    s.site.Paint();
    EXPECT_EQ(s.site.Events(), std::vector<std::string>{"Paint"});
}

TEST(LoadPath, EnhancedMetafileTakesItsFrameOrTheClientSize) {
    SitedControl s;
    CLumoraCtrl& c = s.ctrl;
    ScratchDir dir("emf");
    // A frame of 2540 x 1270 hundredths of a millimetre: one inch by half an inch.
    const std::vector<uint8_t> emf = meta_test::EmfBuilder(RECT{0, 0, 2540, 1270}).Bytes();
    const std::string file = dir.File("frame.emf");
    WriteBytes(file, emf);

    Set(c, "FileName", Variant::Bstr(file));
    EXPECT_NE(c.Image().enhMetaFile, 0u);
    EXPECT_EQ(Short(c, "bmpw"), c.View().clientWidth);
    EXPECT_EQ(Short(c, "bmph"), c.View().clientHeight);
    EXPECT_EQ(Short(c, "bmpc"), 0);

    Set(c, "AutoSize", Variant::I2(1));
    Set(c, "FileName", Variant::Bstr(file));
    EXPECT_EQ(Short(c, "bmpw"), 96);
    EXPECT_EQ(Short(c, "bmph"), 48);
    s.site.ClearEvents();
    s.site.Paint();
    EXPECT_EQ(s.site.Events().back(), "Paint");
}

TEST(LoadPath, PicturePutTakesACopyOfAnIcon) {
    // A 4 x 4 icon image: header with double height, 24-bit colour rows, then the AND rows.
    std::vector<uint8_t> image;
    using meta_test::Put16;
    using meta_test::Put32;
    Put32(image, 40);
    Put32(image, 4);
    Put32(image, 8);
    Put16(image, 1);
    Put16(image, 24);
    for (int i = 0; i < 6; ++i)
        Put32(image, 0);
    for (int i = 0; i < 16; ++i) {
        image.push_back(0x30);  // blue
        image.push_back(0x20);  // green
        image.push_back(0x10);  // red
    }
    for (int i = 0; i < 4; ++i)
        Put32(image, 0);  // opaque everywhere
    const HICON icon =
        CreateIconFromResource(image.data(), static_cast<uint32_t>(image.size()), true, 0x30000);
    ASSERT_NE(icon, 0u);
    PictureHolder given;
    ASSERT_TRUE(given.CreateFromIcon(icon, 4, 4, true));

    SitedControl s;
    CLumoraCtrl& c = s.ctrl;
    Set(c, "BorderStyle", Variant::I2(0));
    Set(c, "Appearance", Variant::I2(0));
    Set(c, "Picture", Variant::Object(given.GetPictureDispatch()));
    EXPECT_EQ(Short(c, "bmpw"), 4);
    EXPECT_EQ(Short(c, "bmph"), 4);
    EXPECT_EQ(Short(c, "bmpc"), 0);
    ASSERT_EQ(c.PictureHolder().GetType(), PICTYPE_ICON);
    EXPECT_NE(c.PictureHolder().Picture()->Handle(), icon);
    s.site.Paint();
    EXPECT_EQ(s.site.Pixel(0, 0), RGB(0x10, 0x20, 0x30));
    EXPECT_EQ(s.site.Pixel(3, 3), RGB(0x10, 0x20, 0x30));

    // As loaded, a picture that is not a bitmap comes back as it is stored.
    Set(c, "ImageSource", Variant::I2(0));
    EXPECT_EQ(Get(c, "Picture").AsDispatch(), c.PictureHolder().GetPictureDispatch());
}
