#include "support/testdata.h"

#include <cstdlib>

namespace testsupport {

std::filesystem::path TestData(const std::string& sub) {
    const char* env = std::getenv("LUMORA_TESTDATA");
    const std::filesystem::path root = env && *env ? env : LUMORA_TESTDATA;
    return sub.empty() ? root : root / sub;
}

bool HaveTestData(const std::string& sub) {
    std::error_code ec;
    return std::filesystem::exists(TestData(sub), ec);
}

std::filesystem::path SourceDir() { return LUMORA_SOURCE_DIR; }
std::filesystem::path BinaryDir() { return LUMORA_BINARY_DIR; }
std::filesystem::path CodecDir() { return LUMORA_CODEC_DIR; }
std::string SamplePath(const std::string& name) {
    return (SourceDir() / "samples" / name).string();
}

}  // namespace testsupport
