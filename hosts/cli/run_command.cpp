#include "run_command.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "command_args.h"
#include "platform/ole/property_bag.h"
#include "script_host.h"
#include "script_lexer.h"
#include "script_parser.h"

namespace cli {
namespace {

int Usage(const std::string& problem) {
    std::fprintf(stderr, "lumora run: %s\n", problem.c_str());
    std::fputs(
        "usage: lumora run SCRIPT [--size WxH] [--display-depth N] [--events]\n"
        "                         [--load-state FILE] [--save-state FILE]\n",
        stderr);
    return 2;
}

}  // namespace

int RunCommand(int argc, char** argv) {
    std::string script, loadState, saveState;
    int width = 320, height = 240;
    bool events = false;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--size" && i + 1 < argc) {
            if (!ParseSize(argv[++i], width, height)) return Usage("--size takes WxH");
        } else if (arg == "--display-depth" && i + 1 < argc) {
            if (!SetDisplayDepthOption(argv[++i]))
                return Usage("--display-depth takes 1, 4, 8, 16, 24 or 32");
        } else if (arg == "--load-state" && i + 1 < argc) {
            loadState = argv[++i];
        } else if (arg == "--save-state" && i + 1 < argc) {
            saveState = argv[++i];
        } else if (arg == "--events") {
            events = true;
        } else if (!arg.empty() && arg[0] == '-') {
            return Usage("unknown option " + arg);
        } else if (script.empty()) {
            script = arg;
        } else {
            return Usage("only one SCRIPT");
        }
    }
    if (script.empty()) return Usage("no SCRIPT");
    std::ifstream in(script, std::ios::binary);
    if (!in) return Usage("cannot open " + script);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};

    std::vector<Statement> statements;
    try {
        statements = ParseScript(text);
    } catch (const ScriptSyntaxError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }
    ScriptHost host(width, height, events);
    // A stored state is the control's property bag as text, one Name=Value per line.
    if (!loadState.empty()) {
        std::ifstream stateFile(loadState, std::ios::binary);
        if (!stateFile) return Usage("cannot open " + loadState);
        const std::string stateText{std::istreambuf_iterator<char>(stateFile),
                                    std::istreambuf_iterator<char>()};
        try {
            host.Control().Load(platform::PropertyBag::Parse(stateText));
        } catch (const platform::PropertyBagError& e) {
            return Usage(loadState + ": " + e.what());
        }
    }
    bool ok = host.Run(statements);
    if (!saveState.empty()) {
        std::ofstream out(saveState, std::ios::binary | std::ios::trunc);
        out << host.Control().Save().ToText();
        out.close();
        if (!out) {
            std::printf("Error 75: Path/File access error (%s)\n", saveState.c_str());
            ok = false;
        }
    }
    return ok ? 0 : 1;
}

}  // namespace cli
