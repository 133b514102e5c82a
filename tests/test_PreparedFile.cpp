#include "base/Errors.h"
#include "base/FileUtil.h"

#include "TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

namespace cq {
namespace {

using test::ReadFile;
using test::WriteFile;

size_t EntriesIn(const std::string& folder) {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder))
        ++count;
    return count;
}

TEST(PreparedFile, TargetChangesOnlyOnCommit) {
    test::TempDir dir;
    WriteFile(dir / "target", "old");
    {
        PreparedFile prepared(dir / "target", "new");
        EXPECT_EQ(ReadFile(dir / "target"), "old");
        EXPECT_EQ(EntriesIn(dir.path()), 2u);
    } // dropped uncommitted
    EXPECT_EQ(ReadFile(dir / "target"), "old");
    EXPECT_EQ(EntriesIn(dir.path()), 1u);

    PreparedFile prepared(dir / "target", "new");
    PreparedFile moved(std::move(prepared));
    moved.Commit();
    EXPECT_EQ(ReadFile(dir / "target"), "new");
    EXPECT_EQ(EntriesIn(dir.path()), 1u);
}

TEST(PreparedFile, ModesAndRefusals) {
    test::TempDir dir;
    PreparedFile(dir / "key", "k", 0600, true).Commit();
    struct stat info {};
    ASSERT_EQ(::stat((dir / "key").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    std::filesystem::create_directory(dir / "folder");
    EXPECT_THROW(PreparedFile(dir / "folder", "x"), EOSError);
    EXPECT_THROW(PreparedFile(dir / "missing/file", "x"), EOSError);
    EXPECT_EQ(EntriesIn(dir.path()), 2u);
}

} // namespace
} // namespace cq
