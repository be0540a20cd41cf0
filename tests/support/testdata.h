// The public test pictures: found through the LUMORA_TESTDATA environment variable, else the
// folder the build was configured with. A test that needs them skips from its own body.
#pragma once

#include <filesystem>
#include <string>

namespace testsupport {

// The test-data folder, or one of its subfolders; the path need not exist.
std::filesystem::path TestData(const std::string& sub = {});

// True when the subfolder (or file) is there.
bool HaveTestData(const std::string& sub = {});

// The source tree, the build tree and the folder the build puts the codec modules in.
std::filesystem::path SourceDir();
std::filesystem::path BinaryDir();
std::filesystem::path CodecDir();
// A file of the project's own samples folder.
std::string SamplePath(const std::string& name);

}  // namespace testsupport

// Skips the calling test when the named part of the public pictures is missing. A macro, so the
// skip returns from the test body itself and not from a helper.
#define REQUIRE_TESTDATA(sub)                                                                 \
    do {                                                                                      \
        if (!::testsupport::HaveTestData(sub))                                                \
            GTEST_SKIP() << "public test pictures absent (set LUMORA_TESTDATA): "            \
                         << ::testsupport::TestData(sub).string();                            \
    } while (0)
