// Reading the user's files: only a regular file of a plausible size is read; a pipe, a device or
// a huge file is refused at once with a message that names it, and the command-line tool goes on
// with the other addresses where it can.
#include "TestSupport.h"
#include "base/Errors.h"
#include "base/FileUtil.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace cq {
namespace {

using test::TempDir;

/// Makes an odd file at `path`; nothing when the kind cannot be made here.
using OddFileMaker = std::function<void(const std::string& path)>;

void MakePipe(const std::string& path) {
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
}
void LinkToZeros(const std::string& path) {
    std::filesystem::create_symlink("/dev/zero", path);
}
void MakeSparse(const std::string& path, uintmax_t size) {
    test::WriteFile(path, "");
    std::filesystem::resize_file(path, size);
}

struct OddFile {
    const char* name;
    OddFileMaker make;
    int code; // the EOSError code
};

const OddFile kOddFiles[] = {
    {"pipe nobody writes to", MakePipe, EINVAL},
    {"link to /dev/zero", LinkToZeros, EINVAL},
    {"one byte over the limit",
     [](const std::string& path) { MakeSparse(path, MaxFileSize(FileKind::Small) + 1); }, EFBIG},
    {"50 MB", [](const std::string& path) { MakeSparse(path, 50u << 20); }, EFBIG},
};

TEST(ReadFileBytes, OddFilesAreRefusedNamingTheFile) {
    for (const OddFile& odd : kOddFiles) {
        SCOPED_TRACE(odd.name);
        TempDir dir;
        const std::string path = dir / "Request.ini";
        odd.make(path);
        try {
            ReadFileBytes(path);
            ADD_FAILURE() << "read";
        } catch (const EOSError& error) {
            EXPECT_EQ(error.errorCode(), odd.code);
            EXPECT_NE(std::string(error.what()).find("\"" + path + "\""), std::string::npos)
                << error.what();
        }
    }
}

TEST(ReadFileBytes, FilesUpToTheLimitOfTheirKindAreRead) {
    TempDir dir;
    const std::string path = dir / "Act.rtf";
    MakeSparse(path, MaxFileSize(FileKind::Small));
    EXPECT_EQ(ReadFileBytes(path).size(), MaxFileSize(FileKind::Small));
    MakeSparse(path, MaxFileSize(FileKind::Small) + 1);
    EXPECT_EQ(ReadFileBytes(path, FileKind::Document).size(), MaxFileSize(FileKind::Small) + 1);
    EXPECT_THROW(ReadFileBytes(dir / "missing"), EOSError);
    try {
        ReadFileBytes(dir.path());
        ADD_FAILURE() << "a folder was read";
    } catch (const EOSError& error) {
        EXPECT_EQ(error.errorCode(), EISDIR);
    }
}

} // namespace
} // namespace cq
