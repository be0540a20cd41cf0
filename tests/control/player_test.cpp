// The animated GIF player: frame order and pace, composition with disposal and transparency,
// placement, and how the host stops it.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "animated_gif.h"
#include "control_fixture.h"
#include "picture_files.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/page_dc.h"

namespace control_test {
namespace {

using Clock = std::chrono::steady_clock;
using control::CLumoraCtrl;
using platform::Variant;

const std::vector<std::array<uint8_t, 3>> kPalette = {
    {255, 0, 0}, {255, 255, 255}, {0, 0, 255}, {0, 0, 0}, {0, 255, 0}};
constexpr uint8_t R = 0, W = 1, B = 2, K = 3, T = 4;  // T: the transparent index

// What the player showed: each frame's number, when, and pixels of the client area then.
struct FrameLog {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<int16_t> frames;
    std::vector<Clock::time_point> times;
    std::vector<std::vector<COLORREF>> pixels;

    bool WaitFor(size_t count) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(20),
                                [&] { return frames.size() >= count; });
    }
};

// A borderless control at the top left corner whose frames are logged with the pixels at the
// given client points.
struct Player {
    FrameLog log;  // outlives the control, whose end stops the player
    ScratchDir dir;
    Sited s{320, 240, 0, 0, kYellow};
    explicit Player(std::vector<POINT> points = {}) {
        s.ctrl.SetFrameShownHook([this, points](int16_t frame) {
            std::vector<COLORREF> seen;
            for (const POINT& p : points)
                seen.push_back(s.site.Pixel(p.x, p.y));
            std::lock_guard lock(log.mutex);
            log.frames.push_back(frame);
            log.times.push_back(Clock::now());
            log.pixels.push_back(std::move(seen));
            log.changed.notify_all();
        });
    }
    void Load(int width, int height, const std::vector<GifFrameSpec>& frames) {
        const std::string path = dir.path("anim.gif");
        WriteBytes(path, AnimatedGif(width, height, kPalette, frames));
        Set(s.ctrl, "FileName", Variant::Bstr(path));
    }
};

std::vector<uint8_t> Fill(int count, uint8_t index) {
    return std::vector<uint8_t>(static_cast<size_t>(count), index);
}

TEST(Player, ShowsFramesInOrderEachForAtLeastItsDelay) {
    Player p;
    // Delays of 0 and 1 hundredth play at 100 ms.
    const int delays[] = {10, 20, 0, 1};
    const int least[] = {100, 200, 100, 100};
    std::vector<GifFrameSpec> frames;
    for (int d : delays)
        frames.push_back({0, 0, 2, 2, d, 1, -1, Fill(4, R)});
    p.Load(2, 2, frames);
    ASSERT_EQ(p.s.ctrl.Player().running.load(), 1);
    ASSERT_TRUE(p.log.WaitFor(10));
    std::lock_guard lock(p.log.mutex);
    for (size_t i = 0; i + 1 < p.log.frames.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(p.log.frames[i], static_cast<int16_t>(i % 4));
        const auto shown = std::chrono::duration_cast<std::chrono::milliseconds>(
            p.log.times[i + 1] - p.log.times[i]);
        EXPECT_GE(shown.count(), least[i % 4]);
    }
}

// On a display of 8 bits the frames are copied through their colour tables; these colours
// are among the display's static ones, so both depths show them exactly.
class PlayerOnDisplay : public testing::TestWithParam<int> {
  protected:
    void SetUp() override { platform::SetDisplayDepth(GetParam()); }
    void TearDown() override { platform::SetDisplayDepth(32); }
};

INSTANTIATE_TEST_SUITE_P(Depths, PlayerOnDisplay, testing::Values(32, 8));

TEST_P(PlayerOnDisplay, ComposesWithDisposalAndTransparency) {
    // Canvas points (0, 0), (1, 0), (3, 3) and (7, 7).
    Player p({{0, 0}, {1, 0}, {3, 3}, {7, 7}});
    std::vector<uint8_t> first = Fill(64, R);
    first[63] = T;
    p.Load(8, 8,
           {
               {0, 0, 8, 8, 0, 1, T, first},         // kept
               {2, 2, 4, 4, 0, 2, -1, Fill(16, W)},  // cleared to the background
               {0, 0, 2, 2, 0, 3, T, {T, B, B, T}},  // restored to what was below
               {7, 7, 1, 1, 0, 2, -1, {K}},          // cleared before frame 0 comes again
           });
    ASSERT_TRUE(p.log.WaitFor(5));
    const std::vector<std::vector<COLORREF>> expected = {
        {kRed, kRed, kRed, kYellow},  // the transparent corner shows the back colour
        {kRed, kRed, kWhite, kYellow},
        {kRed, kBlue, kYellow, kYellow},  // over the previous frames where transparent
        {kRed, kRed, kYellow, kBlack},
        {kRed, kRed, kRed, kYellow},  // the last frame's disposal came first
    };
    std::lock_guard lock(p.log.mutex);
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(p.log.frames[i], static_cast<int16_t>(i % 4));
        EXPECT_EQ(p.log.pixels[i], expected[i]);
    }
}

TEST(Player, AnimationIsPlacedAndScrolledLikeAStillPicture) {
    Player p;
    Set(p.s.ctrl, "Position", Variant::I2(8));
    std::vector<GifFrameSpec> frames = {{0, 0, 8, 8, 0, 1, -1, Fill(64, R)},
                                        {2, 2, 1, 1, 0, 1, -1, {W}}};
    p.Load(8, 8, frames);
    p.s.site.Paint();
    // Centred in 320 x 240: the canvas's corner lands at (156, 116).
    EXPECT_EQ(SitePixels(p.s.site, {{156, 116}, {163, 123}, {155, 116}, {164, 123}, {0, 0}}),
              (std::vector<COLORREF>{kRed, kRed, kYellow, kYellow, kYellow}));
}

TEST(Player, SingleTransparentFrameIsComposedByThePaint) {
    Player p;
    p.Load(2, 1, {{0, 0, 2, 1, 0, 0, T, {T, R}}});
    EXPECT_EQ(p.s.ctrl.Player().running.load(), 0);
    EXPECT_EQ(p.s.ctrl.Player().frameCount, 1);
    p.s.site.Paint();
    EXPECT_EQ(SitePixels(p.s.site, {{0, 0}, {1, 0}}), (std::vector<COLORREF>{kYellow, kRed}));
    EXPECT_TRUE(p.log.frames.empty());

    // With a TransDC the host's picture shows through instead of the back colour.
    const HDC page = platform::CreatePageDC(4, 4, 96, 96);
    Set(p.s.ctrl, "TransDC", Variant::I4(static_cast<int32_t>(page)));
    p.s.site.Paint();
    EXPECT_EQ(SitePixels(p.s.site, {{0, 0}, {1, 0}}), (std::vector<COLORREF>{kWhite, kRed}));
    Set(p.s.ctrl, "TransDC", Variant::I4(0));
    platform::DeletePageDC(page);

    // AutoBackground takes the transparent colour as a palette-relative back colour.
    Set(p.s.ctrl, "AutoBackground", Variant::Bool(true));
    p.Load(2, 1, {{0, 0, 2, 1, 0, 0, T, {T, R}}});
    EXPECT_EQ(p.s.ctrl.GetBackColor(), 0x0200FF00u);
    p.s.site.Paint();
    EXPECT_EQ(SitePixels(p.s.site, {{0, 0}, {1, 0}, {10, 10}}),
              (std::vector<COLORREF>{kGreen, kRed, kGreen}));
}

TEST(Player, HostStopsThePlayerBeforeItFreesWhatItReads) {
    Player p;
    CLumoraCtrl& c = p.s.ctrl;
    const std::vector<GifFrameSpec> frames(3, {0, 0, 4, 4, 0, 1, -1, Fill(16, R)});
    p.Load(4, 4, frames);
    ASSERT_TRUE(p.log.WaitFor(1));

    // Zoom is ignored while playing, not even checked.
    Set(c, "Zoom", Variant::R4(-1.0f));
    Set(c, "Zoom", Variant::R4(2.0f));
    EXPECT_EQ(Get(c, "Zoom"), Variant::R4(1.0f));

    // A reload ends the thread before it returns.
    Set(c, "FileName", Variant::Bstr(SamplePath("sunset.bmp")));
    EXPECT_EQ(c.Player().running.load(), 0);
    EXPECT_FALSE(c.Player().thread.joinable());
    EXPECT_EQ(c.Player().frameCount, 0);

    // Thumbnail stops it for good; the frames stay loaded.
    p.Load(4, 4, frames);
    ASSERT_TRUE(c.Player().thread.joinable());
    Set(c, "Thumbnail", Variant::I2(50));
    EXPECT_FALSE(c.Player().thread.joinable());
    Set(c, "Thumbnail", Variant::I2(0));
    EXPECT_EQ(c.Player().running.load(), 0);
    EXPECT_EQ(c.Player().frameCount, 0);
    EXPECT_NE(c.Player().frames[2].bitmap, 0u);
    Set(c, "Zoom", Variant::R4(2.0f));
    EXPECT_EQ(Get(c, "Zoom"), Variant::R4(2.0f));
    EXPECT_EQ(c.Player().zoom, 2.0f);
}

}  // namespace
}  // namespace control_test
