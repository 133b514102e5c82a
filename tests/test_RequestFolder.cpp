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

} // namespace
} // namespace cq
