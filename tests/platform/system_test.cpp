// tests/platform/system_test.cpp: files, folders, time and randomness.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <set>
#include <string>

#include "platform/platform.h"

namespace {

class TempFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/orbikon-platform-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + folder_ + "'").c_str()); }
    std::string folder_;
};

using Files = TempFolder;

TEST_F(Files, MissingFileAndDirectoryFailWithTheOsText)
{
    std::string path = folder_ + "/missing";
    EXPECT_FALSE(platform::read_file(path).has_value());
    EXPECT_EQ(platform::last_error_text(), "2: No such file or directory");
    EXPECT_FALSE(platform::remove_file(path));
    EXPECT_EQ(platform::file_kind(""), platform::FileKind::Missing);
    EXPECT_EQ(platform::file_kind(folder_), platform::FileKind::Directory);
    EXPECT_FALSE(platform::read_file(folder_).has_value());
    EXPECT_FALSE(platform::write_file(folder_, {1}));
    EXPECT_FALSE(platform::remove_file(folder_));
    EXPECT_EQ(platform::file_kind(folder_), platform::FileKind::Directory);
}

using Folders = TempFolder;

TEST_F(Folders, CacheFolderFollowsXdgAndIsCreated)
{
    std::string old = std::getenv("XDG_CACHE_HOME") ? std::getenv("XDG_CACHE_HOME") : "";
    std::string base = folder_ + "/deep/cache";
    setenv("XDG_CACHE_HOME", base.c_str(), 1);
    EXPECT_EQ(platform::cache_folder(), base + "/orbikon/");
    EXPECT_EQ(platform::file_kind(base + "/orbikon"), platform::FileKind::Directory);
    EXPECT_EQ(platform::dump_file_path(), base + "/orbikon/dump.qucode");
    setenv("XDG_CACHE_HOME", old.c_str(), 1);
}

TEST_F(Folders, RelativeXdgFallsBackToHome)
{
    std::string old_xdg = std::getenv("XDG_CACHE_HOME") ? std::getenv("XDG_CACHE_HOME") : "";
    std::string old_home = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("XDG_CACHE_HOME", "relative/place", 1);
    setenv("HOME", folder_.c_str(), 1);
    EXPECT_EQ(platform::cache_folder(), folder_ + "/.cache/orbikon/");
    setenv("HOME", old_home.c_str(), 1);
    setenv("XDG_CACHE_HOME", old_xdg.c_str(), 1);
}

TEST(Random32, VariesAndCoversHighBits)
{
    std::set<uint32_t> seen;
    uint32_t any_high = 0;
    // Past several of the blocks fetched from the kernel at a time.
    for (int i = 0; i < 200; ++i) {
        uint32_t v = platform::random32();
        seen.insert(v);
        any_high |= v;
    }
    EXPECT_GT(seen.size(), 195u);
    EXPECT_NE(any_high & 0x80000000u, 0u);
}

} // namespace
