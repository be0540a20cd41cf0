// The animated GIF player at rest between frames: process CPU time while a 10-frame GIF with
// 100 ms delays plays for 5 s, and how late each frame came (shown time less its delay).
// The goal is well under 1% of one core; the counters report the share and the lateness.
#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "control/lumora_ctrl.h"
#include "platform/ole/headless_site.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kFrames = 10;
constexpr int kSide = 64;
constexpr int kDelayHundredths = 10;
constexpr auto kPlayTime = std::chrono::seconds(5);

// A looping animation written with giflib: each frame a different solid colour.
bool WriteAnimation(const std::string& path) {
    int error = 0;
    GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
    if (!gif) return false;
    std::vector<GifColorType> colours(16);
    for (int i = 0; i < 16; ++i)
        colours[static_cast<size_t>(i)] = {static_cast<GifByteType>(i * 16),
                                           static_cast<GifByteType>(255 - i * 16), 128};
    ColorMapObject* map = GifMakeMapObject(16, colours.data());
    EGifSetGifVersion(gif, true);
    bool ok = map && EGifPutScreenDesc(gif, kSide, kSide, 4, 0, map) == GIF_OK;
    GifFreeMapObject(map);
    std::vector<GifPixelType> line(kSide);
    for (int f = 0; ok && f < kFrames; ++f) {
        GraphicsControlBlock control{};
        control.DisposalMode = DISPOSE_DO_NOT;
        control.DelayTime = kDelayHundredths;
        control.TransparentColor = NO_TRANSPARENT_COLOR;
        GifByteType ext[4];
        EGifGCBToExtension(&control, ext);
        ok = EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, ext) == GIF_OK &&
             EGifPutImageDesc(gif, 0, 0, kSide, kSide, false, nullptr) == GIF_OK;
        std::fill(line.begin(), line.end(), static_cast<GifPixelType>(f));
        for (int y = 0; ok && y < kSide; ++y)
            ok = EGifPutLine(gif, line.data(), kSide) == GIF_OK;
    }
    if (EGifCloseFile(gif, &error) != GIF_OK) ok = false;
    return ok;
}

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void BM_PlayerFiveSeconds(benchmark::State& state) {
    const std::string path =
        (std::filesystem::temp_directory_path() / "lumora_bench_player.gif").string();
    if (!WriteAnimation(path)) {
        state.SkipWithError("giflib cannot write the animation");
        return;
    }
    for (auto _ : state) {
        std::mutex mutex;
        std::vector<Clock::time_point> shown;
        control::CLumoraCtrl control;
        platform::HeadlessSite site(control, 320, 240);
        control.InitNew();
        control.SetFrameShownHook([&](int16_t) {
            std::lock_guard lock(mutex);
            shown.push_back(Clock::now());
        });
        control.SetProperty("FileName", platform::Variant::Bstr(path));
        const double cpu0 = ProcessCpuSeconds();
        const auto wall0 = Clock::now();
        std::this_thread::sleep_for(kPlayTime);
        const double cpu = ProcessCpuSeconds() - cpu0;
        const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
        control.StopAnimation();

        std::vector<double> late;
        for (size_t i = 1; i < shown.size(); ++i)
            late.push_back(
                std::chrono::duration<double, std::milli>(shown[i] - shown[i - 1]).count() -
                kDelayHundredths * 10.0);
        std::sort(late.begin(), late.end());
        state.counters["cpu_percent_of_core"] = 100.0 * cpu / wall;
        state.counters["frames_shown"] = static_cast<double>(shown.size());
        state.counters["late_median_ms"] = late.empty() ? 0.0 : late[late.size() / 2];
        state.counters["late_worst_ms"] = late.empty() ? 0.0 : late.back();
    }
    std::filesystem::remove(path);
}

BENCHMARK(BM_PlayerFiveSeconds)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
