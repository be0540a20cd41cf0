#include "show_command.h"

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "command_args.h"
#include "control/lumora_ctrl.h"
#include "image_output.h"
#include "platform/ole/control_error.h"
#include "platform/gdi/gdi.h"
#include "platform/ole/headless_site.h"
#include "platform/gdi/packed_dib.h"

namespace cli {
namespace {

int Usage(const std::string& problem) {
    std::fprintf(stderr, "lumora show: %s\n", problem.c_str());
    std::fputs("usage: lumora show FILE -o OUT.png [--size WxH] [--display-depth N]\n"
               "                   [--set Name=Value]...\n",
               stderr);
    return 2;
}

}  // namespace

int ShowCommand(int argc, char** argv) {
    std::string file, out;
    int width = 320, height = 240;
    std::vector<std::pair<std::string, std::string>> settings;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-o" && i + 1 < argc) {
            out = argv[++i];
        } else if (arg == "--size" && i + 1 < argc) {
            if (!ParseSize(argv[++i], width, height)) return Usage("--size takes WxH");
        } else if (arg == "--display-depth" && i + 1 < argc) {
            if (!SetDisplayDepthOption(argv[++i]))
                return Usage("--display-depth takes 1, 4, 8, 16, 24 or 32");
        } else if (arg == "--set" && i + 1 < argc) {
            const std::string setting = argv[++i];
            const size_t eq = setting.find('=');
            if (eq == std::string::npos || eq == 0) return Usage("--set takes Name=Value");
            settings.emplace_back(setting.substr(0, eq), setting.substr(eq + 1));
        } else if (!arg.empty() && arg[0] == '-') {
            return Usage("unknown option " + arg);
        } else if (file.empty()) {
            file = arg;
        } else {
            return Usage("only one FILE");
        }
    }
    if (file.empty()) return Usage("no FILE");
    if (out.empty()) return Usage("no -o OUT.png");

    control::CLumoraCtrl control;
    platform::HeadlessSite site(control, width, height);
    control.InitNew();
    try {
        // The text goes in as a string; the property's own type takes it by OLE's coercion.
        for (const auto& [name, value] : settings)
            control.SetProperty(name, platform::Variant::Bstr(value));
        control.SetProperty("FileName", platform::Variant::Bstr(file));
    } catch (const platform::ControlError& e) {
        std::fprintf(stderr, "Error %u: %s\n", static_cast<unsigned>(e.number()),
                     e.description().c_str());
        return 1;
    }
    site.Paint();
    HPALETTE palette = 0;
    HBITMAP view = platform::UnpackBitmap(site.Capture(), &palette);
    std::string error = view ? WriteBitmapFile(view, out) : "the window cannot be read";
    if (view) platform::DeleteObject(view);
    if (palette) platform::DeleteObject(palette);
    if (!error.empty()) {
        std::fprintf(stderr, "lumora show: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

}  // namespace cli
