// The files of one request replaced as a unit: what an accepted and a failed request leave in
// the folder, for the RSA request (with its key file) and for a request without one.
#include "certs/RequestFolder.h"

#include "TestSupport.h"
#include "base/FileUtil.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>

namespace cq {
namespace {

using test::ReadFile;
using test::WriteFile;

const std::map<RequestFile, std::string> kNames = {
    {RequestFile::Key, "Certificate.key"},
    {RequestFile::Act, "a@b.ru.rtf"},
    {RequestFile::Record, "Request.ini"},
};

/// Every file of the folder with its bytes.
std::map<std::string, std::string> Contents(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        files[entry.path().filename().string()] = ReadFile(entry.path().string());
    return files;
}

TEST(RequestFolder, FailedRequestPutsTheOlderFilesBackTogether) {
    struct Case {
        const char* what;
        std::vector<RequestFile> older; // what the folder held before
        std::vector<RequestFile> put;   // what the request writes
        std::map<std::string, std::string> afterRollBack;
    };
    const Case cases[] = {
        {"RSA over an older RSA request",
         {RequestFile::Key, RequestFile::Act, RequestFile::Record},
         {RequestFile::Key, RequestFile::Act, RequestFile::Record},
         {{"Certificate.key", "older"}, {"a@b.ru.rtf", "older"}, {"Request.ini", "older"}}},
        {"RSA over an older key alone: the new act and record go too",
         {RequestFile::Key},
         {RequestFile::Key, RequestFile::Act, RequestFile::Record},
         {{"Certificate.key", "older"}}},
        {"RSA into an empty folder: only the new key goes",
         {},
         {RequestFile::Key, RequestFile::Act, RequestFile::Record},
         {{"a@b.ru.rtf", "new"}, {"Request.ini", "new"}}},
        {"without a key file, over an older RSA request",
         {RequestFile::Key, RequestFile::Act, RequestFile::Record},
         {RequestFile::Act, RequestFile::Record},
         {{"Certificate.key", "older"}, {"a@b.ru.rtf", "older"}, {"Request.ini", "older"}}},
        {"without a key file, into an empty folder",
         {},
         {RequestFile::Act, RequestFile::Record},
         {{"a@b.ru.rtf", "new"}, {"Request.ini", "new"}}},
    };
    for (const Case& c : cases) {
        for (const bool accepted : {false, true}) {
            test::TempDir dir;
            for (RequestFile kind : c.older)
                WriteFile(dir / kNames.at(kind), "older");
            std::map<std::string, std::string> afterCommit = Contents(dir.path());
            {
                RequestFolder files;
                for (RequestFile kind : c.put) {
                    PreparedFile prepared(dir / kNames.at(kind), "new");
                    files.Put(kind, prepared);
                    afterCommit[kNames.at(kind)] = "new";
                }
                if (accepted)
                    files.Commit();
            } // dropped unsettled: rolled back
            EXPECT_EQ(Contents(dir.path()), accepted ? afterCommit : c.afterRollBack)
                << c.what << (accepted ? ", accepted" : ", failed");
        }
    }
}

TEST(RequestFolder, OlderFilesWaitUnderBackupNamesNeverReused) {
    test::TempDir dir;
    WriteFile(dir / "Request.ini", "older");
    WriteFile(dir / "Request.ini.bak", "left by an interrupted run");
    RequestFolder files;
    PreparedFile prepared(dir / "Request.ini", "new");
    files.Put(RequestFile::Record, prepared);
    EXPECT_EQ(files.backupPath(RequestFile::Record), dir / "Request.ini.bak.2");
    EXPECT_EQ(ReadFile(dir / "Request.ini.bak.2"), "older");
    files.RollBack();
    EXPECT_EQ(ReadFile(dir / "Request.ini"), "older");
    EXPECT_EQ(ReadFile(dir / "Request.ini.bak"), "left by an interrupted run");
    EXPECT_FALSE(FileExists(dir / "Request.ini.bak.2"));
}

// The journal of a killed run is read before anything is undone: it may remove only a file of
// its folder and bring back only a file's own backup, so a damaged or planted journal cannot
// touch other files.
TEST(RequestFolder, JournalNamesOnlyTheFolderFilesAndTheirOwnBackups) {
    const std::string folder = "/data/a@b.ru/";
    const std::string head = "state=prepared\ncontainer=QUORIX_R1\n";
    struct Case {
        const char* what;
        std::string text;
        bool read;
    };
    const Case cases[] = {
        {"a key set aside and a new record",
         head + "kind=key\npath=/data/a@b.ru/Certificate.key\nbackup=/data/a@b.ru/"
                "Certificate.key.bak.12\nkind=record\npath=/data/a@b.ru/Request.ini\nbackup=\n",
         true},
        {"no file yet", head, true},
        {"a new file outside the folder", head + "kind=act\npath=/home/user/x\nbackup=\n", false},
        {"another file as the backup",
         head + "kind=act\npath=/data/a@b.ru/a@b.ru.rtf\nbackup=/etc/passwd\n", false},
        {"a backup name with letters",
         head + "kind=act\npath=/data/a@b.ru/a@b.ru.rtf\nbackup=/data/a@b.ru/a@b.ru.rtf.bak.x\n",
         false},
        {"an unknown kind", head + "kind=cer\npath=/data/a@b.ru/Certificate.cer\nbackup=\n", false},
        {"a file cut short", head + "kind=act\npath=/data/a@b.ru/a@b.ru.rtf\n", false},
        {"no state", "container=QUORIX_R1\n", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseRequestJournal(c.text, folder).has_value(), c.read) << c.what;
    const auto accepted = ParseRequestJournal(
        "state=accepted\ncontainer=\nkind=record\npath=/data/a@b.ru/Request.ini\nbackup=\n",
        folder);
    ASSERT_TRUE(accepted);
    EXPECT_TRUE(accepted->accepted);
    ASSERT_EQ(accepted->files.size(), 1u);
    EXPECT_EQ(accepted->files[0].kind, RequestFile::Record);
}

TEST(RequestFolder, RecoveryUndoesAPreparedRequestAndIgnoresAPlantedJournal) {
    test::TempDir dir;
    WriteFile(dir / "Request.ini", "new");
    WriteFile(dir / "Request.ini.bak", "older");
    WriteFile(dir / "a@b.ru.rtf", "new act");
    WriteFile(dir / kRequestJournalFile,
              "state=prepared\ncontainer=QUORIX_R1\nkind=act\npath=" + (dir / "a@b.ru.rtf") +
                  "\nbackup=\nkind=record\npath=" + (dir / "Request.ini") +
                  "\nbackup=" + (dir / "Request.ini.bak") + "\n");
    RecoverInterruptedRequest(dir.path());
    EXPECT_EQ(Contents(dir.path()), (std::map<std::string, std::string>{{"Request.ini", "older"}}));

    test::TempDir elsewhere;
    WriteFile(elsewhere / "precious", "keep me");
    WriteFile(dir / kRequestJournalFile, "state=prepared\ncontainer=\nkind=key\npath=" +
                                             (elsewhere / "precious") + "\nbackup=\n");
    RecoverInterruptedRequest(dir.path());
    EXPECT_EQ(ReadFile(elsewhere / "precious"), "keep me");
    EXPECT_FALSE(FileExists(dir / kRequestJournalFile));
}

} // namespace
} // namespace cq
