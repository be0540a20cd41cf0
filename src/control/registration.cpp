#include "control/registration.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

#include "control/lumora_ctrl.h"
#include "control/property_pages.h"
#include "platform/os/install_dirs.h"

namespace control {

// Fixed for good: hosts find the classes by these.
const LumoraGuid kClsidLumoraCtrl = {
    0xA21877C0, 0x49AD, 0x4ADF, {0x95, 0x7C, 0x05, 0x67, 0x0E, 0xC9, 0x86, 0x52}};
const LumoraGuid kClsidSecProp = {
    0x2B502C53, 0x8D44, 0x4C1C, {0xBA, 0xB1, 0x03, 0xC6, 0x8E, 0x01, 0x97, 0xCD}};
const LumoraGuid kClsidGraphProp = {
    0x1E51288B, 0xDC5E, 0x4E35, {0x97, 0xFF, 0x90, 0x16, 0x97, 0x93, 0x90, 0xF2}};
const LumoraGuid kIidDLumora = {
    0x38404B96, 0x667A, 0x48D4, {0xA1, 0xF8, 0x5B, 0x95, 0x65, 0x43, 0xDD, 0x52}};
const LumoraGuid kIidDLumoraEvents = {
    0x025CC653, 0x6046, 0x4CF5, {0x94, 0x63, 0xEE, 0xBD, 0x06, 0xBE, 0x98, 0x3A}};
const LumoraGuid kLibidLumoraLib = {
    0x79315959, 0xCB59, 0x4DFA, {0xB9, 0x2F, 0x65, 0x7A, 0x48, 0x9D, 0xFF, 0xDF}};
const LumoraGuid kIidClassFactory = {
    0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

namespace {

// Recompose on resize, cannot link inside, inside-out, activate when visible, simple frame, set
// client site first.
constexpr uint32_t kControlMiscStatus = 0x30191;

constexpr ClassRegistration kClasses[] = {
    {"LUMORA.LumoraCtrl.1", "CLumoraCtrl", "Lumora Control", &kClsidLumoraCtrl, kControlMiscStatus},
    {"Lumora32.CSecProp", "CSecProp", "General", &kClsidSecProp, 0},
    {"Lumora32.CGraphProp", "CGraphProp", "Graphics", &kClsidGraphProp, 0},
};

constexpr int32_t kClassNotAvailable = static_cast<int32_t>(0x80040111u);
constexpr int32_t kNoInterface = static_cast<int32_t>(0x80004002u);
constexpr int32_t kPointerError = static_cast<int32_t>(0x80004003u);

std::atomic<int> liveObjects{0};

// ---- The registry file: "[entry]" lines, each followed by its key=value lines ----------------

struct Section {
    std::string name;  // empty for lines before the first entry
    std::vector<std::string> lines;
};

std::vector<Section> ReadRegistry(const std::filesystem::path& path) {
    std::vector<Section> sections(1);
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']')
            sections.push_back({line.substr(1, line.size() - 2), {}});
        else
            sections.back().lines.push_back(line);
    }
    return sections;
}

// Written beside the file and renamed over it, so a failed write never leaves half a registry.
bool WriteRegistry(const std::filesystem::path& path, const std::vector<Section>& sections) {
    std::error_code ec;
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
    const std::filesystem::path temp =
        path.string() + ".tmp" + std::to_string(static_cast<long>(::getpid()));
    {
        std::ofstream out(temp, std::ios::trunc);
        for (const Section& section : sections) {
            if (!section.name.empty()) out << '[' << section.name << "]\n";
            for (const std::string& line : section.lines)
                out << line << '\n';
        }
        out.flush();
        if (!out) {
            std::filesystem::remove(temp, ec);
            return false;
        }
    }
    std::filesystem::rename(temp, path, ec);
    if (ec) std::filesystem::remove(temp, ec);
    return !ec;
}

void RemoveSection(std::vector<Section>& sections, std::string_view name) {
    std::erase_if(sections, [&](const Section& s) { return !s.name.empty() && s.name == name; });
}

std::string Hex(uint32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%X", value);
    return buffer;
}

Section ClassSection(const ClassRegistration& c) {
    Section s{std::string(c.progId),
              {"CLSID=" + GuidText(*c.clsid), "Class=" + std::string(c.className),
               "TypeName=" + std::string(c.typeName), "Module=" + platform::LibraryPath(),
               "ThreadingModel=Apartment", "TypeLib=" + GuidText(kLibidLumoraLib), "Version=2.0"}};
    if (c.miscStatus) {
        s.lines.push_back("MiscStatus=" + Hex(c.miscStatus));
        s.lines.push_back("ToolboxBitmap=1");
    }
    return s;
}

Section TypeLibSection() {
    return {
        TypeLibraryEntry(),
        {"LIBID=" + GuidText(kLibidLumoraLib), "Version=2.0", "Module=" + platform::LibraryPath(),
         "_DLumora=" + GuidText(kIidDLumora), "_DLumoraEvents=" + GuidText(kIidDLumoraEvents)}};
}

// ---- Class factories --------------------------------------------------------------------------

void* CreateControl() {
    ++liveObjects;
    return std::make_unique<CLumoraCtrl>().release();
}
void DestroyControl(void* object) {
    if (!object) return;
    std::unique_ptr<CLumoraCtrl>(static_cast<CLumoraCtrl*>(object));
    --liveObjects;
}
// A page is its description: static data a host renders and binds to a control.
void* CreateGeneralPage() {
    return const_cast<PageInfo*>(FindPropertyPage("CSecProp"));
}
void* CreateGraphicsPage() {
    return const_cast<PageInfo*>(FindPropertyPage("CGraphProp"));
}
void DestroyPage(void*) {}

const LumoraClassFactory kFactories[] = {
    {&kClsidLumoraCtrl, "LUMORA.LumoraCtrl.1", "Lumora Control", CreateControl, DestroyControl},
    {&kClsidSecProp, "Lumora32.CSecProp", "General", CreateGeneralPage, DestroyPage},
    {&kClsidGraphProp, "Lumora32.CGraphProp", "Graphics", CreateGraphicsPage, DestroyPage},
};

bool SameGuid(const LumoraGuid& a, const LumoraGuid& b) {
    return a.data1 == b.data1 && a.data2 == b.data2 && a.data3 == b.data3 &&
           std::memcmp(a.data4, b.data4, sizeof a.data4) == 0;
}

}  // namespace

std::string GuidText(const LumoraGuid& g) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  g.data1, g.data2, g.data3, g.data4[0], g.data4[1], g.data4[2], g.data4[3],
                  g.data4[4], g.data4[5], g.data4[6], g.data4[7]);
    return buffer;
}

std::span<const ClassRegistration> RegisteredClasses() {
    return kClasses;
}

std::string TypeLibraryEntry() {
    return "LumoraLib 2.0";
}

std::filesystem::path DefaultRegistryPath() {
    if (const char* file = std::getenv("LUMORA_REGISTRY"); file && *file) return file;
    std::filesystem::path data;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg && xdg[0] == '/')
        data = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        data = std::filesystem::path(home) / ".local/share";
    else
        data = std::filesystem::temp_directory_path();
    return data / "lumora" / "registry";
}

int32_t RegisterServer(const std::filesystem::path& registry) {
    std::vector<Section> sections = ReadRegistry(registry);
    RemoveSection(sections, TypeLibraryEntry());
    sections.push_back(TypeLibSection());
    if (!WriteRegistry(registry, sections)) return kSelfRegTypeLibError;
    // The classes go before the type library, in their fixed order.
    for (const ClassRegistration& c : kClasses)
        RemoveSection(sections, c.progId);
    const auto typeLib = std::find_if(sections.begin(), sections.end(), [](const Section& s) {
        return s.name == TypeLibraryEntry();
    });
    std::vector<Section> classes;
    for (const ClassRegistration& c : kClasses)
        classes.push_back(ClassSection(c));
    sections.insert(typeLib, classes.begin(), classes.end());
    return WriteRegistry(registry, sections) ? 0 : kSelfRegClassError;
}

int32_t UnregisterServer(const std::filesystem::path& registry) {
    if (!std::filesystem::exists(registry)) return 0;
    std::vector<Section> sections = ReadRegistry(registry);
    RemoveSection(sections, TypeLibraryEntry());
    if (!WriteRegistry(registry, sections)) return kSelfRegTypeLibError;
    for (const ClassRegistration& c : kClasses)
        RemoveSection(sections, c.progId);
    return WriteRegistry(registry, sections) ? 0 : kSelfRegClassError;
}

std::vector<std::string> RegisteredEntries(const std::filesystem::path& registry) {
    std::vector<std::string> names;
    for (const Section& section : ReadRegistry(registry))
        if (!section.name.empty()) names.push_back(section.name);
    return names;
}

}  // namespace control

extern "C" {

int32_t DllRegisterServer(void) {
    return control::RegisterServer(control::DefaultRegistryPath());
}

int32_t DllUnregisterServer(void) {
    return control::UnregisterServer(control::DefaultRegistryPath());
}

int32_t DllGetClassObject(const LumoraGuid* clsid, const LumoraGuid* riid, void** factory) {
    if (!clsid || !riid || !factory) return control::kPointerError;
    *factory = nullptr;
    for (const LumoraClassFactory& f : control::kFactories) {
        if (!control::SameGuid(*f.clsid, *clsid)) continue;
        if (!control::SameGuid(*riid, control::kIidClassFactory)) return control::kNoInterface;
        *factory = const_cast<LumoraClassFactory*>(&f);
        return 0;
    }
    return control::kClassNotAvailable;
}

int32_t DllCanUnloadNow(void) {
    return control::liveObjects.load() == 0 ? 0 : 1;
}
}
