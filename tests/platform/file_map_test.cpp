// Files are read whole; inside a reuse scope an unchanged file is read once, a changed one again.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "platform/os/file_map.h"

namespace {

namespace fs = std::filesystem;

void Write(const fs::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary | std::ios::trunc) << text;
}

std::string Text(const platform::MappedFile& f) {
    return {reinterpret_cast<const char*>(f.bytes().data()), f.bytes().size()};
}

TEST(MappedFile, ReadsWholeFilesAndSharesOnlyUnchangedOnesInsideAScope) {
    const fs::path dir = fs::temp_directory_path() / ("lm_map_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path a = dir / "a.bin", b = dir / "b.bin";
    Write(a, "first");
    Write(b, "other");
    EXPECT_FALSE(platform::MappedFile((dir / "missing").string()).is_open());
    EXPECT_FALSE(platform::MappedFile(dir.string()).is_open());  // a folder
    Write(dir / "empty", "");
    EXPECT_TRUE(platform::MappedFile((dir / "empty").string()).is_open());
    {
        const platform::MappedFile outside1(a.string()), outside2(a.string());
        EXPECT_NE(outside1.bytes().data(), outside2.bytes().data());
    }
    {
        platform::FileReuseScope scope;
        const platform::MappedFile first(a.string());
        const platform::MappedFile again(a.string());
        EXPECT_EQ(first.bytes().data(), again.bytes().data());
        // Changed straight after it was read, so the scope still holds it: a new length under the
        // old time stamp, then the same length under a new stamp, are each read again.
        const auto stamp = fs::last_write_time(a);
        Write(a, "changed, longer");
        fs::last_write_time(a, stamp);
        const platform::MappedFile changed(a.string());
        EXPECT_EQ(Text(changed), "changed, longer");
        Write(a, "CHANGED, LONGER");
        fs::last_write_time(a, stamp + std::chrono::seconds(1));
        EXPECT_EQ(Text(platform::MappedFile(a.string())), "CHANGED, LONGER");
        EXPECT_EQ(Text(first), "first");  // earlier readers keep what they read
        const platform::MappedFile otherFile(b.string());
        EXPECT_EQ(Text(otherFile), "other");
    }
    fs::remove_all(dir);
}

}  // namespace
