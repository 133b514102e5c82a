#include "TestSupport.h"
#include "base/Errors.h"
#include "base/ProgramInfo.h"
#include "log/Identity.h"
#include "log/Log.h"
#include "log/LogLayout.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <sys/stat.h>

using cq::test::LocalMoment;
using cq::test::ReadFile;
using cq::test::TempDir;
using cq::test::WriteFile;

namespace {

const std::string kHeader =
    "===== \xD1\xEE\xE7\xE4\xE0\xED\xEE \xEF\xF0\xEE\xE3\xF0\xE0\xEC\xEC"
    "\xEE\xE9 - certquorix - \xE2\xE5\xF0\xF1\xE8\xE8 - 1.0.0.0 =====\r\n\r\n";

class LogTest : public ::testing::Test {
protected:
    void SetUp() override {
        cq::test::UseProgramFolder(dir.path());
        cq::SetStationForTesting("PC7", "PC7:\\user1");
        ::setenv("XDG_DATA_HOME", (dir / "xdg").c_str(), 1);
        setClock(LocalMoment(2024, 1, 15, 9, 5, 7, 42));
    }
    void TearDown() override {
        cq::ShutdownLog();
        cq::SetLogClock(nullptr);
        ::unsetenv("XDG_DATA_HOME");
    }
    void setClock(cq::TimePoint moment) {
        now = moment;
        cq::SetLogClock([this] { return now; });
    }
    void startWith(const std::string& commonKeys) {
        WriteFile(dir / "CertQuorix.ini", "[Common]\r\n" + commonKeys);
        cq::InitLog("CertQuorix", "CertQuorix", ".srt");
    }
    std::string writeAndRead(const std::string& text, cq::LogKind kind, const std::string& file) {
        cq::WriteLog(text, kind);
        cq::FlushLog();
        return ReadFile(file);
    }

    TempDir dir;
    cq::TimePoint now;
};

TEST_F(LogTest, FolderLayoutsByDateAndStation) {
    struct Case {
        std::string keys;
        std::string expectedFile; // relative to the program folder
    };
    const Case cases[] = {
        {"", "Logs/2024.01.15.srt.Log"},
        {"LogPathBy=1\r\n", "Logs/2024/01.15.srt.Log"},
        {"LogPathBy=2\r\n", "Logs/2024/01/15.srt.Log"},
        {"LogPathBy=3\r\n", "Logs/2024/01/15/srt.Log"},
        {"LogPathBy=4\r\n", "Logs/certquorix.log"},
        {"LogPathBy=5\r\n", "Logs/2024.01.15.srt.Log"},
        {"LogPathBy=9\r\n", "Logs/2024.01.15.srt.Log"},
        {"LogPathBy=-1\r\n", "Logs/2024.01.15.srt.Log"},
        {"LogPathBy=two\r\n", "Logs/2024.01.15.srt.Log"},
        {"LogByComp=1\r\n", "Logs/2024.01.15.srt_PC7.Log"},
        {"LogByComp=1\r\nLogPathBy=3\r\n", "Logs/2024/01/15/srt_PC7.Log"},
        {"LogByComp=2\r\n", "Logs/PC7/2024.01.15.srt.Log"},
        {"LogByComp=2\r\nLogPath=%CQ_LOG_ROOT%/own/\r\n", "custom/own/2024.01.15.srt.Log"},
    };
    ::setenv("CQ_LOG_ROOT", (dir / "custom").c_str(), 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        startWith(c.keys);
        EXPECT_EQ(cq::LogFileName(), dir / c.expectedFile);
        EXPECT_EQ(writeAndRead("one", cq::LogKind::Plain, dir / c.expectedFile),
                  kHeader + "one\r\n");
        // The log holds the station's identity and the service's answers: every folder it
        // made is its owner's alone, whatever the umask.
        for (auto folder = std::filesystem::path(dir / c.expectedFile).parent_path();
             folder.string().size() >= dir.path().size(); folder = folder.parent_path())
            EXPECT_EQ(cq::test::FileMode(folder), 0700) << folder;
        cq::ShutdownLog();
        std::filesystem::remove_all(dir / "Logs");
        std::filesystem::remove_all(dir / "custom");
    }
}

TEST_F(LogTest, NulInAnyCaseTurnsLoggingOff) {
    for (const char* value : {"nul", "NUL", "Nul"}) {
        startWith(std::string("LogPath=") + value + "\r\n");
        EXPECT_FALSE(cq::LogRunning()) << value;
        cq::WriteLog("dropped", cq::LogKind::Stamped);
        EXPECT_FALSE(std::filesystem::exists(dir / "Logs"));
        EXPECT_FALSE(std::filesystem::exists(dir / "xdg"));
    }
}

TEST_F(LogTest, UncreatableFolderFallsBackToUserDataFolder) {
    WriteFile(dir / "blocker", "a file, not a folder");
    startWith("LogPath=" + (dir / "blocker/logs") + "\r\n");
    const std::string expected = dir / "xdg/CertQuorix/CertQuorix/Logs/2024.01.15.srt.Log";
    EXPECT_EQ(cq::LogFileName(), expected);
    EXPECT_EQ(writeAndRead("x", cq::LogKind::Plain, expected), kHeader + "x\r\n");
}

TEST_F(LogTest, NoFolderAtAllRaisesTheStartUpError) {
    WriteFile(dir / "blocker", "");
    ::setenv("XDG_DATA_HOME", (dir / "blocker").c_str(), 1);
    WriteFile(dir / "CertQuorix.ini", "[Common]\r\nLogPath=" + (dir / "blocker/logs") + "\r\n");
    try {
        cq::InitLog("CertQuorix", "CertQuorix", ".srt");
        FAIL() << "no error";
    } catch (const cq::Exception& error) {
        EXPECT_EQ(error.message().rfind("Директория для лога не была создана! С ошибкой : ", 0), 0u)
            << error.message();
    }
    EXPECT_FALSE(cq::LogRunning());
}

TEST_F(LogTest, KindElevenHasPrefixAndRussianTextIsWindows1251) {
    startWith("");
    const std::string file = dir / "Logs/2024.01.15.srt.Log";
    cq::WriteLog("Запрос сертификата <!>Exception<!> нет", cq::LogKind::Stamped);
    cq::WriteLog("", cq::LogKind::Stamped);
    cq::WriteLog("Response -\r\nline2", cq::LogKind::Plain);
    cq::FlushLog();
    EXPECT_EQ(ReadFile(file),
              kHeader + "[15.01.2024 09:05:07:042] PC7:\\user1 - \xC7\xE0\xEF\xF0\xEE\xF1 "
                        "\xF1\xE5\xF0\xF2\xE8\xF4\xE8\xEA\xE0\xF2\xE0 <!>Exception<!> "
                        "\xED\xE5\xF2\r\n"
                        "[15.01.2024 09:05:07:042] PC7:\\user1 - \r\n"
                        "Response -\r\nline2\r\n");
}

TEST_F(LogTest, RecordsAcrossMidnightGoToTwoFilesEachWithHeader) {
    setClock(LocalMoment(2024, 1, 15, 23, 59, 59, 999));
    startWith("");
    cq::WriteLog("before", cq::LogKind::Plain);
    cq::FlushLog();
    setClock(LocalMoment(2024, 1, 16, 0, 0, 0, 1));
    cq::WriteLog("after", cq::LogKind::Plain);
    cq::FlushLog();
    EXPECT_EQ(ReadFile(dir / "Logs/2024.01.15.srt.Log"), kHeader + "before\r\n");
    EXPECT_EQ(ReadFile(dir / "Logs/2024.01.16.srt.Log"), kHeader + "after\r\n");
}

TEST_F(LogTest, ARecordThatCannotBeWrittenIsDroppedAndTheNextOneIsWritten) {
    startWith("");
    const std::string file = dir / "Logs/2024.01.15.srt.Log";
    std::filesystem::remove(file);
    std::filesystem::create_directory(file); // a folder where the file should be
    cq::WriteLog("lost", cq::LogKind::Plain);
    cq::FlushLog();
    std::filesystem::remove(file);
    EXPECT_EQ(writeAndRead("kept", cq::LogKind::Plain, file), kHeader + "kept\r\n");
}

// A pipe nobody reads in the log file's place neither holds the start-up nor the writer: the
// start-up takes the fallback folder, and a record for the pipe is dropped.
TEST_F(LogTest, APipeInTheLogFilesPlaceHoldsNothing) {
    std::filesystem::create_directories(dir / "Logs");
    const std::string file = dir / "Logs/2024.01.15.srt.Log";
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    startWith("");
    EXPECT_EQ(cq::LogFileName(), dir / "xdg/CertQuorix/CertQuorix/Logs/2024.01.15.srt.Log");
    cq::ShutdownLog();

    std::filesystem::remove(file);
    startWith("");
    std::filesystem::remove(file);
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    cq::WriteLog("lost", cq::LogKind::Plain);
    cq::FlushLog();
    std::filesystem::remove(file);
    EXPECT_EQ(writeAndRead("kept", cq::LogKind::Plain, file), kHeader + "kept\r\n");
}

TEST_F(LogTest, ManyRecordsKeepTheirOrder) {
    startWith("");
    std::string expected = kHeader;
    for (int i = 0; i < 500; ++i) {
        cq::WriteLog(std::to_string(i), cq::LogKind::Plain);
        expected += std::to_string(i) + "\r\n";
    }
    cq::ShutdownLog(); // writes everything still queued
    EXPECT_EQ(ReadFile(dir / "Logs/2024.01.15.srt.Log"), expected);
}

class TrimLogFileTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string log = dir / "prog.log";
};

TEST_F(TrimLogFileTest, CutsToTheLastFourFifthsAtALineBoundary) {
    struct Case {
        std::string name;
        std::string content;
        int limitKB;
        std::string expected;
    };
    const std::string noLineFeed(5000, 'a');
    std::string withLineFeed(2000, 'b');
    withLineFeed[600] = '\n'; // 2000 / 5 = 400; first LF after the cut at 600
    std::string lateLineFeed(6000, 'c');
    lateLineFeed[1200 + 2047] = '\n'; // just past the 2047 bytes looked at
    const Case cases[] = {
        {"under limit", std::string(1023, 'x'), 0, std::string(1023, 'x')},
        // The block read after the cut reaches the end and holds no line feed: nothing is left.
        {"exactly one KB is over a zero limit", std::string(1024, 'y'), 0, ""},
        {"line feed found", withLineFeed, 0, withLineFeed.substr(601)},
        {"no line feed within the block", noLineFeed, 0, noLineFeed.substr(1000 + 2048)},
        {"line feed just past the block", lateLineFeed, 0, lateLineFeed.substr(1200 + 2048)},
        {"over a larger limit", std::string(3 * 1024, 'z'), 3, std::string(3 * 1024, 'z')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(log, c.content);
        cq::TrimLogFile(log, c.limitKB);
        EXPECT_EQ(ReadFile(log), c.expected);
        EXPECT_FALSE(std::filesystem::exists(dir / "prog.$$$"));
    }
}

TEST_F(TrimLogFileTest, StaleTemporaryFileReplacesTheLog) {
    WriteFile(log, "current");
    WriteFile(dir / "prog.$$$", "left from an interrupted trim");
    cq::TrimLogFile(log, 64);
    EXPECT_EQ(ReadFile(log), "left from an interrupted trim");
}

TEST_F(LogTest, SingleFileLayoutTrimsBeforeAppending) {
    startWith("LogPathBy=4\r\nErrorSize=0\r\n");
    const std::string file = dir / "Logs/certquorix.log";
    std::string big;
    for (int i = 0; i < 100; ++i)
        big += "line " + std::to_string(i) + std::string(20, '.') + "\r\n";
    WriteFile(file, big);
    const std::string after = writeAndRead("new", cq::LogKind::Plain, file);
    EXPECT_LT(after.size(), big.size());
    EXPECT_EQ(after.substr(after.size() - 5), "new\r\n");
    EXPECT_EQ(after.rfind("line ", 0), 0u) << "starts at a line boundary";
}

TEST(LogLayout, TimeStampPattern) {
    EXPECT_EQ(cq::LogTimeStamp({2024, 1, 15, 9, 5, 7, 42}), "15.01.2024 09:05:07:042");
}

} // namespace

namespace {

mode_t FileMode(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

} // namespace

// The log holds addresses, container names and server answers: only its owner reads it, whatever
// the umask, both when it is created and after a trim replaced it.
TEST_F(LogTest, LogFilesAreOwnerOnlyWhateverTheUmask) {
    const cq::test::ScopedUmask open(0);
    startWith("");
    const std::string file = dir / "Logs/2024.01.15.srt.Log";
    writeAndRead("first", cq::LogKind::Plain, file);
    EXPECT_EQ(FileMode(file), 0600u);

    const std::string trimmed = dir / "trimmed.log";
    WriteFile(trimmed, std::string(3000, 'x'));
    std::filesystem::permissions(trimmed, std::filesystem::perms::owner_read |
                                              std::filesystem::perms::owner_write);
    cq::TrimLogFile(trimmed, 0);
    EXPECT_EQ(FileMode(trimmed), 0600u);
}
