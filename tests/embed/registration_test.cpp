// Registration into the per-user registry file, the class factories and the lumora verbs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "control/lumora_ctrl.h"
#include "control/property_pages.h"
#include "control/registration.h"
#include "shell.h"
#include "support/picture.h"
#include "support/testdata.h"

namespace fs = std::filesystem;

namespace {

const std::vector<std::string> kOurs = {"LUMORA.LumoraCtrl.1", "Lumora32.CSecProp",
                                        "Lumora32.CGraphProp", "LumoraLib 2.0"};

// A fresh folder for the test's registry files, removed with the object.
struct TempDir {
    testsupport::TempDir scratch;
    fs::path path = scratch.dir;
};

TEST(Registration, RegisterTwiceThenUnregisterKeepsOtherPlugins) {
    TempDir dir;
    const fs::path file = dir.path / "sub" / "registry";
    EXPECT_EQ(control::UnregisterServer(file), 0);  // nothing registered yet
    EXPECT_TRUE(control::RegisteredEntries(file).empty());
    fs::create_directories(file.parent_path());
    std::ofstream(file) << "[Other.Plugin.1]\nCLSID={0}\n";
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(control::RegisterServer(file), 0) << round;
        std::vector<std::string> expected = {"Other.Plugin.1"};
        expected.insert(expected.end(), kOurs.begin(), kOurs.end());
        EXPECT_EQ(control::RegisteredEntries(file), expected) << round;
    }
    const std::string text = embed_test::ReadText(file);
    for (const char* line : {"MiscStatus=0x30191", "TypeName=Lumora Control", "TypeName=General",
                             "TypeName=Graphics", "Version=2.0", "CLSID={0}"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
    EXPECT_NE(text.find(control::GuidText(control::kClsidLumoraCtrl)), std::string::npos);

    ASSERT_EQ(control::UnregisterServer(file), 0);
    EXPECT_EQ(control::RegisteredEntries(file), std::vector<std::string>{"Other.Plugin.1"});
    EXPECT_EQ(embed_test::ReadText(file), "[Other.Plugin.1]\nCLSID={0}\n");
}

TEST(Registration, UnwritableRegistryReportsTheTypeLibraryStep) {
    TempDir dir;
    std::ofstream(dir.path / "file") << "x";
    // A registry whose folder is a plain file can be neither created nor written.
    EXPECT_EQ(control::RegisterServer(dir.path / "file" / "registry"),
              control::kSelfRegTypeLibError);
}

TEST(Registration, EntryPointsUseTheRegistryFromTheEnvironment) {
    TempDir dir;
    const fs::path file = dir.path / "env-registry";
    ASSERT_EQ(setenv("LUMORA_REGISTRY", file.c_str(), 1), 0);
    EXPECT_EQ(control::DefaultRegistryPath(), file);
    EXPECT_EQ(DllRegisterServer(), 0);
    EXPECT_EQ(control::RegisteredEntries(file), kOurs);
    EXPECT_EQ(DllUnregisterServer(), 0);
    EXPECT_TRUE(control::RegisteredEntries(file).empty());
    unsetenv("LUMORA_REGISTRY");
    ASSERT_EQ(setenv("XDG_DATA_HOME", dir.path.c_str(), 1), 0);
    EXPECT_EQ(control::DefaultRegistryPath(), dir.path / "lumora/registry");
}

TEST(Registration, ClassFactoriesMakeObjectsAndTrackThem) {
    void* object = nullptr;
    const LumoraGuid unknown = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
    EXPECT_EQ(DllGetClassObject(&unknown, &control::kIidClassFactory, &object),
              static_cast<int32_t>(0x80040111u));
    EXPECT_EQ(DllGetClassObject(&control::kClsidLumoraCtrl, &unknown, &object),
              static_cast<int32_t>(0x80004002u));
    EXPECT_EQ(DllGetClassObject(&control::kClsidLumoraCtrl, &control::kIidClassFactory, nullptr),
              static_cast<int32_t>(0x80004003u));

    ASSERT_EQ(DllGetClassObject(&control::kClsidLumoraCtrl, &control::kIidClassFactory, &object),
              0);
    const auto* factory = static_cast<const LumoraClassFactory*>(object);
    EXPECT_STREQ(factory->progId, "LUMORA.LumoraCtrl.1");
    EXPECT_EQ(DllCanUnloadNow(), 0);
    void* instance = factory->CreateInstance();
    ASSERT_NE(instance, nullptr);
    EXPECT_EQ(static_cast<control::CLumoraCtrl*>(instance)->GetProperty("Zoom").AsR4(), 1.0f);
    EXPECT_EQ(DllCanUnloadNow(), 1);
    factory->DestroyInstance(instance);
    EXPECT_EQ(DllCanUnloadNow(), 0);

    ASSERT_EQ(DllGetClassObject(&control::kClsidGraphProp, &control::kIidClassFactory, &object), 0);
    const auto* page = static_cast<const control::PageInfo*>(
        static_cast<const LumoraClassFactory*>(object)->CreateInstance());
    EXPECT_EQ(page->caption, "Graphics");
}

TEST(Registration, CommandVerbs) {
    TempDir dir;
    const std::string lumora = embed_test::Quote(testsupport::BinaryDir() / "lumora");
    const std::string option = " --registry " + embed_test::Quote(dir.path / "r");
    EXPECT_EQ(embed_test::Shell(lumora + " registered" + option).output, "");
    for (int round = 0; round < 2; ++round)
        EXPECT_EQ(embed_test::Shell(lumora + " register" + option).status, 0);
    EXPECT_EQ(embed_test::Shell(lumora + " registered" + option).output,
              "LUMORA.LumoraCtrl.1\nLumora32.CSecProp\nLumora32.CGraphProp\nLumoraLib 2.0\n");
    EXPECT_EQ(embed_test::Shell(lumora + " unregister" + option).status, 0);
    EXPECT_EQ(embed_test::Shell(lumora + " registered" + option).output, "");
    // A missing or empty registry name is a usage error, not a registry.
    for (const char* bad : {" register --registry", " register --registry ''"}) {
        const embed_test::Result result = embed_test::Shell(lumora + bad);
        EXPECT_NE(result.status, 0) << bad;
        EXPECT_EQ(result.output.rfind("usage: lumora register", 0), 0u) << result.output;
    }
}

}  // namespace
