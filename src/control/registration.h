// Registration of the control and its two property pages. Without a system component registry,
// registering writes the classes and the type library into a per-user plug-in registry file that
// hosts read: LUMORA_REGISTRY names it, else $XDG_DATA_HOME/lumora/registry (by default
// ~/.local/share/lumora/registry). Other plug-ins' entries in that file are kept.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

extern "C" {

// A class or interface identifier, laid out as the component system lays it out.
typedef struct LumoraGuid {
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];
} LumoraGuid;

// What DllGetClassObject hands out. CreateInstance makes a new object of the class (a
// control::CLumoraCtrl, or for a page its const control::PageInfo); DestroyInstance ends it.
typedef struct LumoraClassFactory {
    const LumoraGuid* clsid;
    const char* progId;
    const char* typeName;
    void* (*CreateInstance)(void);
    void (*DestroyInstance)(void* object);
} LumoraClassFactory;

// 0 on success; 0x80040200 when the type library cannot be registered, 0x80040201 when the
// classes cannot.
int32_t DllRegisterServer(void);
int32_t DllUnregisterServer(void);
// The factory for clsid; riid must be IClassFactory's. 0x80040111 for an unknown class,
// 0x80004002 for another interface, 0x80004003 for a null argument.
int32_t DllGetClassObject(const LumoraGuid* clsid, const LumoraGuid* riid, void** factory);
// 0 when no object made by a factory is alive, else 1.
int32_t DllCanUnloadNow(void);
}

namespace control {

constexpr int32_t kSelfRegTypeLibError = static_cast<int32_t>(0x80040200u);
constexpr int32_t kSelfRegClassError = static_cast<int32_t>(0x80040201u);

extern const LumoraGuid kClsidLumoraCtrl;
extern const LumoraGuid kClsidSecProp;
extern const LumoraGuid kClsidGraphProp;
extern const LumoraGuid kIidDLumora;
extern const LumoraGuid kIidDLumoraEvents;
extern const LumoraGuid kLibidLumoraLib;
extern const LumoraGuid kIidClassFactory;

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
std::string GuidText(const LumoraGuid& guid);

struct ClassRegistration {
    std::string_view progId;
    std::string_view className;
    std::string_view typeName;
    const LumoraGuid* clsid;
    uint32_t miscStatus;  // 0 for the pages
};

// The control, then the General and Graphics pages.
std::span<const ClassRegistration> RegisteredClasses();
// The type library's entry name: "LumoraLib 2.0".
std::string TypeLibraryEntry();

std::filesystem::path DefaultRegistryPath();
int32_t RegisterServer(const std::filesystem::path& registry);
int32_t UnregisterServer(const std::filesystem::path& registry);
// Every entry the registry file holds, in file order; empty when there is no file.
std::vector<std::string> RegisteredEntries(const std::filesystem::path& registry);

}  // namespace control
