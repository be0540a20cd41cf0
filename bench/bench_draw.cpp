// Drawing speed of the control's graphics methods against Cairo (antialiasing off) and pixman,
// in one run, on the same work:
// - lines10000: 10 000 one-pixel lines between fixed pseudo-random points of a 1000 x 1000
//   24-bit bitmap (Cairo draws into a 32-bit image surface: it has no 24-bit one);
// - ellipses1000: 1 000 filled and outlined ellipses, radii 5 to 60;
// - stretch2000: a 1000 x 1000 24-bit picture stretched to 2000 x 2000 (PaintPicture into a
//   24-bit bitmap; Cairo with the nearest filter; pixman compositing 24-bit to 24-bit).
// "lumora" goes through the control's methods (DrawTo 1: each call opens the bitmap in a memory
// DC, sets pen, brush and palette up and takes them down); "lumora.gdi" draws the same with the
// raster engine's calls on one DC, the cost of the figures alone.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#if LUMORA_HAVE_CAIRO
#include <cairo.h>
#include <pixman.h>
#endif

#include "cases.h"
#include "control/lumora_ctrl.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/gdi_draw.h"
#include "platform/ole/headless_site.h"
#include "platform/ole/picture.h"
#include "ratio_report.h"

namespace {

using platform::Variant;

constexpr int kCanvas = 1000;
constexpr int kStretchSource = 1000;
constexpr int kStretchTarget = 2000;

struct Segment {
    int x1, y1, x2, y2;
};
struct Oval {
    int cx, cy, rx, ry;
};

std::vector<Segment> MakeSegments(int count) {
    bench::Noise noise;
    std::vector<Segment> out;
    for (int i = 0; i < count; ++i) {
        const int c = kCanvas / 2 - 1;
        out.push_back({c + noise.Next(c), c + noise.Next(c), c + noise.Next(c), c + noise.Next(c)});
    }
    return out;
}

std::vector<Oval> MakeOvals(int count) {
    bench::Noise noise(12345);
    std::vector<Oval> out;
    for (int i = 0; i < count; ++i) {
        const int c = kCanvas / 2;
        out.push_back({c + noise.Next(c - 60), c + noise.Next(c - 60), 32 + noise.Next(27),
                       32 + noise.Next(27)});
    }
    return out;
}

// A 24-bit BMP of one colour, for the control to load as its bitmap.
std::vector<uint8_t> Bmp24(int width, int height) {
    const uint32_t stride = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
    const uint32_t size = stride * static_cast<uint32_t>(height);
    std::vector<uint8_t> out(54 + size, 0xFF);
    const auto put = [&](size_t at, uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
    };
    out[0] = 'B';
    out[1] = 'M';
    put(2, 54 + size, 4);
    put(6, 0, 4);
    put(10, 54, 4);
    put(14, 40, 4);
    put(18, static_cast<uint32_t>(width), 4);
    put(22, static_cast<uint32_t>(height), 4);
    put(26, 1, 2);
    put(28, 24, 2);
    for (size_t at = 30; at < 54; at += 4)
        put(at, 0, 4);
    put(34, size, 4);
    return out;
}

// A control drawing into a white 24-bit bitmap of the given size, in pixel scale.
struct Target {
    control::CLumoraCtrl ctrl;
    platform::HeadlessSite site{ctrl, 200, 200};

    Target(const std::string& dir, int width, int height) {
        ctrl.InitNew();
        const std::string path = dir + "/target" + std::to_string(width) + ".bmp";
        const std::vector<uint8_t> bytes = Bmp24(width, height);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        ctrl.SetProperty("FileName", Variant::Bstr(path));
        ctrl.SetProperty("ScaleMode", Variant::I2(3));
        ctrl.SetProperty("DrawTo", Variant::I2(1));
        ctrl.SetProperty("AutoRefresh", Variant::Bool(false));
    }
};

// The stretch source: a 24-bit DIB section with a colour ramp, as a picture object.
std::shared_ptr<platform::Dispatch> SourcePicture(std::vector<uint8_t>* rgb) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = kStretchSource;
    info.bmiHeader.biHeight = -kStretchSource;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    const HBITMAP bitmap = platform::CreateDIBSection(0, &info, 0, &bits);
    auto* p = static_cast<uint8_t*>(bits);
    const size_t stride = (kStretchSource * 3 + 3) & ~size_t{3};
    rgb->assign(stride * kStretchSource, 0);
    for (int y = 0; y < kStretchSource; ++y)
        for (int x = 0; x < kStretchSource; ++x) {
            uint8_t* px = p + stride * static_cast<size_t>(y) + 3 * static_cast<size_t>(x);
            px[0] = static_cast<uint8_t>(x);
            px[1] = static_cast<uint8_t>(y);
            px[2] = static_cast<uint8_t>(x ^ y);
        }
    std::copy(p, p + rgb->size(), rgb->begin());
    platform::PictureHolder holder;
    holder.CreateFromBitmap(bitmap, 0, true);
    return holder.GetPictureDispatch();
}

#if LUMORA_HAVE_CAIRO
struct CairoCanvas {
    cairo_surface_t* surface;
    cairo_t* cr;
    CairoCanvas(int width, int height)
        : surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height)),
          cr(cairo_create(surface)) {
        cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
        cairo_set_line_width(cr, 1.0);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_paint(cr);
    }
    ~CairoCanvas() {
        cairo_destroy(cr);
        cairo_surface_destroy(surface);
    }
};
#endif

}  // namespace

int main(int argc, char** argv) {
    bench::TakeOwnOptions(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    std::string dir =
        (std::filesystem::temp_directory_path() / "lumora_bench_draw_XXXXXX").string();
    if (!mkdtemp(dir.data())) return 1;

    const std::vector<Segment> segments = MakeSegments(10000);
    const std::vector<Oval> ovals = MakeOvals(1000);
    std::vector<uint8_t> sourceRgb;
    const auto picture = SourcePicture(&sourceRgb);
    Target canvas(dir, kCanvas, kCanvas);
    Target big(dir, kStretchTarget, kStretchTarget);
    const int64_t canvasPixels = int64_t{kCanvas} * kCanvas;
    const int64_t stretchPixels = int64_t{kStretchTarget} * kStretchTarget;

    std::vector<bench::Case> cases;
    cases.push_back({"lines10000/lumora", canvasPixels, [&] {
                         for (const Segment& s : segments)
                             canvas.ctrl.Line(Variant::I2(0), static_cast<float>(s.x1),
                                              static_cast<float>(s.y1), static_cast<float>(s.x2),
                                              static_cast<float>(s.y2), Variant::I4(0x204080));
                         return std::string();
                     }});
    cases.push_back({"lines10000/lumora.gdi", canvasPixels, [&] {
                         const HDC dc = platform::CreateCompatibleDC(0);
                         const HGDIOBJ old = platform::SelectObject(dc, canvas.ctrl.Image().bitmap);
                         const HPEN pen = platform::CreatePen(platform::PS_SOLID, 1, 0x204080);
                         const HGDIOBJ oldPen = platform::SelectObject(dc, pen);
                         for (const Segment& s : segments) {
                             platform::MoveToEx(dc, s.x1, s.y1, nullptr);
                             platform::LineTo(dc, s.x2, s.y2);
                         }
                         platform::SelectObject(dc, oldPen);
                         platform::DeleteObject(pen);
                         platform::SelectObject(dc, old);
                         platform::DeleteDC(dc);
                         return std::string();
                     }});
    cases.push_back({"ellipses1000/lumora", canvasPixels, [&] {
                         canvas.ctrl.SetFillStyle(0);
                         canvas.ctrl.SetFillColor(0x30C060);
                         for (const Oval& o : ovals) {
                             const float aspect =
                                 static_cast<float>(o.ry) / static_cast<float>(o.rx);
                             canvas.ctrl.Circle(Variant::I2(0), static_cast<float>(o.cx),
                                                static_cast<float>(o.cy), static_cast<float>(o.rx),
                                                Variant::I4(0x204080), Variant::R4(0),
                                                Variant::R4(0), Variant::R4(aspect));
                         }
                         return std::string();
                     }});
    cases.push_back({"stretch2000/lumora", stretchPixels, [&] {
                         const Variant size = Variant::R4(static_cast<float>(kStretchTarget));
                         const Variant rest[] = {size, size};
                         big.ctrl.PaintPicture(picture, 0, 0, rest);
                         return std::string();
                     }});
#if LUMORA_HAVE_CAIRO
    CairoCanvas cairoCanvas(kCanvas, kCanvas);
    cases.push_back({"lines10000/cairo", canvasPixels, [&] {
                         cairo_t* cr = cairoCanvas.cr;
                         cairo_set_source_rgb(cr, 0x80 / 255.0, 0x40 / 255.0, 0x20 / 255.0);
                         for (const Segment& s : segments) {
                             cairo_move_to(cr, s.x1 + 0.5, s.y1 + 0.5);
                             cairo_line_to(cr, s.x2 + 0.5, s.y2 + 0.5);
                             cairo_stroke(cr);
                         }
                         cairo_surface_flush(cairoCanvas.surface);
                         return std::string();
                     }});
    cases.push_back({"ellipses1000/cairo", canvasPixels, [&] {
                         cairo_t* cr = cairoCanvas.cr;
                         for (const Oval& o : ovals) {
                             cairo_save(cr);
                             cairo_translate(cr, o.cx, o.cy);
                             cairo_scale(cr, o.rx, o.ry);
                             cairo_arc(cr, 0, 0, 1, 0, 2 * std::numbers::pi);
                             cairo_restore(cr);
                             cairo_set_source_rgb(cr, 0x60 / 255.0, 0xC0 / 255.0, 0x30 / 255.0);
                             cairo_fill_preserve(cr);
                             cairo_set_source_rgb(cr, 0x80 / 255.0, 0x40 / 255.0, 0x20 / 255.0);
                             cairo_stroke(cr);
                         }
                         cairo_surface_flush(cairoCanvas.surface);
                         return std::string();
                     }});
    // Cairo has no 24-bit surfaces: its source and target are 32-bit.
    std::vector<uint32_t> source32(static_cast<size_t>(kStretchSource) * kStretchSource);
    const size_t stride24 = (kStretchSource * 3 + 3) & ~size_t{3};
    for (int y = 0; y < kStretchSource; ++y)
        for (int x = 0; x < kStretchSource; ++x) {
            const uint8_t* px =
                &sourceRgb[stride24 * static_cast<size_t>(y) + 3 * static_cast<size_t>(x)];
            source32[static_cast<size_t>(y) * kStretchSource + static_cast<size_t>(x)] =
                uint32_t{px[2]} << 16 | uint32_t{px[1]} << 8 | px[0];
        }
    cairo_surface_t* cairoSource = cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(source32.data()), CAIRO_FORMAT_RGB24, kStretchSource,
        kStretchSource, kStretchSource * 4);
    CairoCanvas cairoBig(kStretchTarget, kStretchTarget);
    cases.push_back({"stretch2000/cairo", stretchPixels, [&] {
                         cairo_t* cr = cairoBig.cr;
                         cairo_save(cr);
                         cairo_scale(cr, 2, 2);
                         cairo_set_source_surface(cr, cairoSource, 0, 0);
                         cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
                         cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
                         cairo_paint(cr);
                         cairo_restore(cr);
                         cairo_surface_flush(cairoBig.surface);
                         return std::string();
                     }});
    // pixman: 24-bit to 24-bit, as the control's bitmaps are.
    pixman_image_t* pixSource = pixman_image_create_bits(
        PIXMAN_b8g8r8, kStretchSource, kStretchSource,
        reinterpret_cast<uint32_t*>(sourceRgb.data()), static_cast<int>(stride24));
    const size_t targetStride = (kStretchTarget * 3 + 3) & ~size_t{3};
    std::vector<uint32_t> target24(targetStride * kStretchTarget / 4);
    pixman_image_t* pixTarget =
        pixman_image_create_bits(PIXMAN_b8g8r8, kStretchTarget, kStretchTarget, target24.data(),
                                 static_cast<int>(targetStride));
    pixman_transform_t half;
    pixman_transform_init_scale(&half, pixman_double_to_fixed(0.5), pixman_double_to_fixed(0.5));
    pixman_image_set_transform(pixSource, &half);
    pixman_image_set_filter(pixSource, PIXMAN_FILTER_NEAREST, nullptr, 0);
    cases.push_back({"stretch2000/pixman", stretchPixels, [&] {
                         pixman_image_composite32(PIXMAN_OP_SRC, pixSource, nullptr, pixTarget, 0,
                                                  0, 0, 0, 0, 0, kStretchTarget, kStretchTarget);
                         return std::string();
                     }});
#else
    std::printf("built without cairo and pixman: no peers to compare with\n");
#endif
    bench::RegisterCases(cases);
    bench::RatioReporter reporter(isatty(STDOUT_FILENO) ? bench::RatioReporter::OO_ColorTabular
                                                        : bench::RatioReporter::OO_Tabular);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios(stdout, "lumora", {}, {});
#if LUMORA_HAVE_CAIRO
    pixman_image_unref(pixTarget);
    pixman_image_unref(pixSource);
    cairo_surface_destroy(cairoSource);
#endif
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    benchmark::Shutdown();
    return 0;
}
