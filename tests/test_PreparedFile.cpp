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
    PreparedFile(dir / "key", "k", FileAccess::Private).Commit();
    struct stat info {};
    ASSERT_EQ(::stat((dir / "key").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    std::filesystem::create_directory(dir / "folder");
    EXPECT_THROW(PreparedFile(dir / "folder", "x"), EOSError);
    EXPECT_THROW(PreparedFile(dir / "missing/file", "x"), EOSError);
    EXPECT_EQ(EntriesIn(dir.path()), 2u);
}

TEST(FileModes, FilesAndFoldersOfNoPrivateKindFollowTheUmask) {
    struct Case {
        mode_t umask;
        int file;
        int folder;
    };
    for (const Case& c : {Case{002, 0664, 0775}, Case{027, 0640, 0750}, Case{077, 0600, 0700}}) {
        const test::ScopedUmask umask(c.umask);
        test::TempDir dir;
        WriteFileAtomically(dir / "written", "x");
        AppendToFile(dir / "appended", "x");
        ForceDirectories(dir / "made/deeper/");
        EXPECT_EQ(test::FileMode(dir / "written"), c.file) << std::oct << c.umask;
        EXPECT_EQ(test::FileMode(dir / "appended"), c.file) << std::oct << c.umask;
        EXPECT_EQ(test::FileMode(dir / "made"), c.folder) << std::oct << c.umask;
        EXPECT_EQ(test::FileMode(dir / "made/deeper"), c.folder) << std::oct << c.umask;
    }
    // A file that is replaced keeps the mode its owner gave it.
    test::TempDir dir;
    WriteFile(dir / "kept", "old");
    ::chmod((dir / "kept").c_str(), 0640);
    WriteFileAtomically(dir / "kept", "new");
    EXPECT_EQ(test::FileMode(dir / "kept"), 0640);
    EXPECT_EQ(ReadFile(dir / "kept"), "new");
}

TEST(FileModes, ReplacingThroughASymbolicLinkReplacesWhatItPointsTo) {
    struct Case {
        const char* what;
        std::string link;   // where the writer is pointed
        std::string target; // the link's text
    };
    test::TempDir dir;
    std::filesystem::create_directories(dir / "shared");
    const Case cases[] = {
        {"absolute link", "absolute.ini", dir / "shared/file.ini"},
        {"relative link", "relative.ini", "shared/file.ini"},
        {"link to a link", "chained.ini", "relative.ini"},
        {"link to a file not there yet", "dangling.ini", "shared/new.ini"},
    };
    for (const Case& c : cases) {
        WriteFile(dir / "shared/file.ini", "old");
        std::filesystem::create_symlink(c.target, dir / c.link);
        WriteFileAtomically(dir / c.link, c.what);
        EXPECT_TRUE(std::filesystem::is_symlink(dir / c.link)) << c.what;
        EXPECT_EQ(ReadFile(dir / c.link), c.what) << c.what;
    }
    EXPECT_EQ(ReadFile(dir / "shared/new.ini"), "link to a file not there yet");
    EXPECT_EQ(EntriesIn(dir / "shared"), 2u); // no temporary file left anywhere
    EXPECT_EQ(EntriesIn(dir.path()), 5u);
}

} // namespace
} // namespace cq
