// The files of one request replaced as a unit: what an accepted and a failed request leave in
// the folder, for the RSA request (with its key file) and for a request without one; and the
// journal a killed run leaves, read as data: followed only when it names the folder's own files
// and the files the request wrote, refused whole otherwise.
#include "certs/RequestFolder.h"

#include "RetrievalFixture.h"
#include "TestSupport.h"
#include "base/Errors.h"
#include "base/FileUtil.h"
#include "base/StringUtil.h"
#include "certs/CertificateCheck.h"
#include "settings/CertFolders.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace cq {
namespace {

using test::ReadFile;
using test::WriteFile;

const std::map<RequestFile, std::string> kNames = {
    {RequestFile::Key, "Certificate.key"},
    {RequestFile::Act, "a@b.ru.rtf"},
    {RequestFile::Record, "Request.ini"},
    {RequestFile::Certificate, "Certificate.cer"},
};

/// The certificate folder of a@b.ru in a temporary folder: the act is named by the folder.
class AddressFolder {
public:
    AddressFolder() { ForceDirectories(path_); }
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + name; }

private:
    test::TempDir dir_;
    std::string path_ = dir_ / "a@b.ru/";
};

std::string Inode(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return std::to_string(info.st_ino);
}

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
        {"RSA into an empty folder: nothing stays",
         {},
         {RequestFile::Key, RequestFile::Act, RequestFile::Record},
         {}},
        {"without a key file, over an older RSA request",
         {RequestFile::Key, RequestFile::Act, RequestFile::Record},
         {RequestFile::Act, RequestFile::Record},
         {{"Certificate.key", "older"}, {"a@b.ru.rtf", "older"}, {"Request.ini", "older"}}},
        {"without a key file, into an empty folder",
         {},
         {RequestFile::Act, RequestFile::Record},
         {}},
        {"an imported pair over an older one",
         {RequestFile::Act, RequestFile::Record, RequestFile::Certificate},
         {RequestFile::Act, RequestFile::Record, RequestFile::Certificate},
         {{"Certificate.cer", "older"}, {"a@b.ru.rtf", "older"}, {"Request.ini", "older"}}},
    };
    for (const Case& c : cases) {
        for (const bool accepted : {false, true}) {
            const AddressFolder dir;
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
    const AddressFolder dir;
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

TEST(RequestFolder, OnlyTheFolderOwnFilesArePut) {
    const AddressFolder dir;
    const std::string other = dir / "Certificate.cer";
    PreparedFile wrongKind(other, "new");
    PreparedFile elsewhere(dir / "../Request.ini", "new");
    for (PreparedFile* file : {&wrongKind, &elsewhere}) {
        RequestFolder files;
        EXPECT_THROW(files.Put(RequestFile::Key, *file), Exception) << file->path();
    }
    EXPECT_FALSE(FileExists(dir / kRequestJournalFile));
    EXPECT_FALSE(FileExists(other));
}

// The journal of a killed run is read before anything is undone: it may name only the folder's
// own files, each under the name of its kind and once, and a backup only as the file's own, so a
// damaged or planted journal cannot touch other files.
TEST(RequestFolder, JournalNamesOnlyTheFolderFilesAndTheirOwnBackups) {
    const std::string folder = "/data/a@b.ru/";
    const std::string head = "state=prepared\ncontainer=QUORIX_R1\n";
    const auto entry = [&folder](const std::string& kind, const std::string& name,
                                 const std::string& backup) {
        return "kind=" + kind + "\npath=" + folder + name +
               "\nbackup=" + (backup.empty() ? "" : folder + backup) + "\nnew=1234\n";
    };
    struct Case {
        const char* what;
        std::string text;
        bool read;
    };
    const Case cases[] = {
        {"a key set aside and a new record",
         head + entry("key", "Certificate.key", "Certificate.key.bak.12") +
             entry("record", "Request.ini", ""),
         true},
        {"every kind",
         head + entry("key", "Certificate.key", "") + entry("act", "a@b.ru.rtf", "") +
             entry("record", "Request.ini", "Request.ini.bak") +
             entry("certificate", "Certificate.cer", ""),
         true},
        {"a renewal's three files",
         head + entry("renewal-key", "Renewal.key", "Renewal.key.bak") +
             entry("renewal-act", "Renewal.rtf", "") + entry("renewal-record", "Renewal.ini", ""),
         true},
        {"the working key under the renewal key's kind",
         head + entry("renewal-key", "Certificate.key", "Certificate.key.bak"), false},
        {"the renewal key under the working key's kind", head + entry("key", "Renewal.key", ""),
         false},
        {"the working record under the renewal record's kind",
         head + entry("renewal-record", "Request.ini", ""), false},
        {"no file yet", head, true},
        {"a new file outside the folder", head + "kind=act\npath=/home/user/x\nbackup=\nnew=1\n",
         false},
        {"a file outside the folder with its own backup",
         head + "kind=act\npath=/home/user/x\nbackup=/home/user/x.bak\nnew=1\n", false},
        {"a path climbing out of the folder", head + entry("key", "../../V/c", "../../V/c.bak.7"),
         false},
        {"a file in a subfolder", head + entry("key", "sub/Certificate.key", ""), false},
        {"another file as the backup",
         head + "kind=act\npath=/data/a@b.ru/a@b.ru.rtf\nbackup=/etc/passwd\nnew=1\n", false},
        {"a backup name with letters", head + entry("act", "a@b.ru.rtf", "a@b.ru.rtf.bak.x"),
         false},
        {"the certificate under the key's kind",
         head + entry("key", "Certificate.cer", "Certificate.cer.bak"), false},
        {"another address's act", head + entry("act", "c@d.ru.rtf", ""), false},
        {"one file twice",
         head + entry("key", "Certificate.key", "Certificate.key.bak") +
             entry("key", "Certificate.key", ""),
         false},
        {"a file without the new file's identity",
         head + "kind=key\npath=/data/a@b.ru/Certificate.key\nbackup=\n", false},
        {"an unknown kind", head + entry("cer", "Certificate.cer", ""), false},
        {"an unknown state", "state=done\ncontainer=\n", false},
        {"a line that is not a field", head + "junk\n" + entry("key", "Certificate.key", ""),
         false},
        {"a file cut short", head + "kind=act\npath=/data/a@b.ru/a@b.ru.rtf\n", false},
        {"no state", "container=QUORIX_R1\n", false},
    };
    for (const Case& c : cases) {
        std::string refusal;
        EXPECT_EQ(ParseRequestJournal(c.text, folder, &refusal).has_value(), c.read) << c.what;
        EXPECT_EQ(refusal.empty(), c.read) << c.what;
    }
    const auto accepted = ParseRequestJournal(
        "state=accepted\ncontainer=\n" + entry("record", "Request.ini", ""), folder);
    ASSERT_TRUE(accepted);
    EXPECT_TRUE(accepted->accepted);
    ASSERT_EQ(accepted->files.size(), 1u);
    EXPECT_EQ(accepted->files[0].kind, RequestFile::Record);
    EXPECT_EQ(accepted->files[0].written, "1234");
}

TEST(RequestFolder, RecoveryUndoesAPreparedRequestAndFinishesAnAcceptedOne) {
    for (const bool accepted : {false, true}) {
        const AddressFolder dir;
        WriteFile(dir / "Request.ini", "new");
        WriteFile(dir / "Request.ini.bak", "older");
        WriteFile(dir / "a@b.ru.rtf", "new act");
        WriteFile(dir / kRequestJournalFile,
                  std::string("state=") + (accepted ? "accepted" : "prepared") +
                      "\ncontainer=QUORIX_R1\nkind=act\npath=" + (dir / "a@b.ru.rtf") +
                      "\nbackup=\nnew=" + Inode(dir / "a@b.ru.rtf") + "\nkind=record\npath=" +
                      (dir / "Request.ini") + "\nbackup=" + (dir / "Request.ini.bak") +
                      "\nnew=" + Inode(dir / "Request.ini") + "\n");
        EXPECT_EQ(RecoverInterruptedRequest(dir.path()), std::nullopt);
        EXPECT_EQ(Contents(dir.path()),
                  accepted ? (std::map<std::string, std::string>{{"Request.ini", "new"},
                                                                 {"a@b.ru.rtf", "new act"}})
                           : (std::map<std::string, std::string>{{"Request.ini", "older"}}));
    }
}

/// What a folder holds, links and other odd files included, without following any link.
std::map<std::string, std::string> Snapshot(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        const std::string path = entry.path().string();
        if (entry.is_symlink())
            files[path] = "link to " + std::filesystem::read_symlink(entry.path()).string();
        else if (entry.is_regular_file())
            files[path] = ReadFile(path);
        else
            files[path] = entry.is_directory() ? "folder" : "special file";
    }
    return files;
}

// A journal planted in the folder, or left damaged, is never followed: whatever it names inside
// or outside the folder stays as it is, the journal stays for the user to look at, and the
// operation that found it says so in a box naming it instead of working on the folder.
TEST(RequestJournal, HostileJournalIsRefusedWholeAndNamedToTheUser) {
    struct Case {
        const char* what;
        std::string text; // $F: the folder, $V: a folder beside it, $KEY: the key's inode
        std::function<void(const std::string& folder, const std::string& beside)> plant = {};
        bool asRoot = false;
    };
    const std::string key = "kind=key\npath=$FCertificate.key\n";
    const Case cases[] = {
        {"a file outside the folder and its backup, accepted",
         "state=accepted\ncontainer=\nkind=act\npath=$Va\nbackup=$Va.bak\nnew=1\n"},
        {"a file outside the folder put back from its backup",
         "state=prepared\ncontainer=\nkind=record\npath=$Vb\nbackup=$Vb.bak\nnew=1\n"},
        {"a path climbing out of the folder, .bak.7",
         "state=prepared\ncontainer=\nkind=key\npath=$F../V/c\nbackup=$F../V/c.bak.7\nnew=1\n"},
        {"a subfolder that is a link",
         "state=prepared\ncontainer=\nkind=key\npath=$Fsub/Certificate.key\nbackup=$Fsub/"
         "Certificate.key.bak\nnew=1\n",
         [](const std::string& folder, const std::string& beside) {
             std::filesystem::create_directory_symlink(beside, folder + "sub");
         }},
        {"a journal that is a link", "",
         [key](const std::string& folder, const std::string& beside) {
             WriteFile(beside + "journal",
                       ReplaceText(
                           ReplaceText("state=prepared\ncontainer=\n" + key + "backup=\nnew=$KEY\n",
                                       "$F", folder),
                           "$KEY", Inode(folder + kCertificateKeyFile)));
             std::filesystem::create_symlink(beside + "journal", folder + kRequestJournalFile);
         }},
        {"a journal that is a pipe", "",
         [](const std::string& folder, const std::string&) {
             ASSERT_EQ(::mkfifo((folder + kRequestJournalFile).c_str(), 0600), 0);
         }},
        {"the working key as a new file, without its identity",
         "state=prepared\ncontainer=\n" + key + "backup=\n"},
        {"the working key as a new file of another identity",
         "state=prepared\ncontainer=\n" + key + "backup=\nnew=1\n"},
        {"a key backup that is a link",
         "state=prepared\ncontainer=\n" + key + "backup=$FCertificate.key.bak\nnew=$KEY\n",
         [](const std::string& folder, const std::string& beside) {
             std::filesystem::create_symlink(beside + "a", folder + "Certificate.key.bak");
         }},
        {"an older key put back over a key the request did not write",
         "state=prepared\ncontainer=\n" + key + "backup=$FCertificate.key.bak\nnew=1\n",
         [](const std::string& folder, const std::string&) {
             WriteFile(folder + "Certificate.key.bak", "a stale key");
         }},
        {"the certificate under the key's kind",
         "state=prepared\ncontainer=\nkind=key\npath=$FCertificate.cer\nbackup=$FCertificate.cer."
         "bak\nnew=1\n",
         [](const std::string& folder, const std::string&) {
             WriteFile(folder + "Certificate.cer.bak", "another certificate");
         }},
        {"one file twice",
         "state=prepared\ncontainer=\n" + key + "backup=$FCertificate.key.bak\nnew=$KEY\n" + key +
             "backup=\nnew=$KEY\n",
         [](const std::string& folder, const std::string&) {
             WriteFile(folder + "Certificate.key.bak", "a stale key");
         }},
        {"a journal of another user", "state=prepared\ncontainer=\n" + key + "backup=\nnew=$KEY\n",
         [](const std::string& folder, const std::string&) {
             ASSERT_EQ(::chown((folder + kRequestJournalFile).c_str(), 65534, 65534), 0);
         },
         true},
        {"a key of another user", "state=prepared\ncontainer=\n" + key + "backup=\nnew=$KEY\n",
         [](const std::string& folder, const std::string&) {
             ASSERT_EQ(::chown((folder + kCertificateKeyFile).c_str(), 65534, 65534), 0);
         },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.asRoot && ::geteuid() != 0)
            continue;
        test::CertificateFolderFixture fixture;
        fixture.put("user.cer", kCertificateFile);
        fixture.put("user-des3.key", kCertificateKeyFile);
        fixture.write(kRequestRecordFile, "[Cert]\r\nEmail=ivan@example.ru\r\n");
        const std::string folder = fixture.folder();
        const std::string beside = fixture.programFolder() + "V/";
        ForceDirectories(beside);
        for (const std::string name :
             {"a", "a.bak", "b", "b.bak", "c", "c.bak.7", "Certificate.key", "Certificate.key.bak"})
            WriteFile(beside + name, "not the program's: " + name);
        if (!c.text.empty())
            WriteFile(folder + kRequestJournalFile,
                      ReplaceText(ReplaceText(ReplaceText(c.text, "$F", folder), "$V", beside),
                                  "$KEY", Inode(folder + kCertificateKeyFile)));
        if (c.plant)
            c.plant(folder, beside);
        const auto before = Snapshot(folder);
        const auto besideBefore = Snapshot(beside);

        test::RecordingDialogs dialogs;
        const CheckResult result = CheckCertificate(kCertificateFile, kCertificateKeyFile,
                                                    test::kFixtureEmail, test::kFixturePassword);
        EXPECT_FALSE(result.Valid);
        const auto& boxes = dialogs.boxes;
        EXPECT_TRUE(boxes.size() == 1 && boxes[0].kind == "error" &&
                    boxes[0].text.find(folder + kRequestJournalFile + " не принят") !=
                        std::string::npos)
            << (boxes.empty() ? "no box" : boxes[0].text);
        EXPECT_EQ(Snapshot(folder), before);
        EXPECT_EQ(Snapshot(beside), besideBefore);

        // Once the user has looked and removed the journal, the folder is usable again.
        std::filesystem::remove(folder + kRequestJournalFile);
        if (c.asRoot)
            continue;
        dialogs.boxes.clear();
        EXPECT_TRUE(CheckCertificate(kCertificateFile, kCertificateKeyFile, test::kFixtureEmail,
                                     test::kFixturePassword)
                        .Valid);
    }
}

} // namespace
} // namespace cq
