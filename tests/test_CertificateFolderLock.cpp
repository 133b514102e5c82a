// How the operations on a certificate folder treat the address and one another: every one of
// them applies the address rules before it maps the address to a folder, and one that finds the
// folder held by another operation (in this or another copy of the program) waits briefly and
// then says so, touching nothing.
#include "RetrievalFixture.h"
#include "base/Errors.h"
#include "base/FileUtil.h"
#include "base/ShellOpenCodes.h"
#include "certs/CertificateCheck.h"
#include "certs/Download.h"
#include "certs/GostCheck.h"
#include "certs/Pkcs12Export.h"
#include "certs/ShellOpen.h"
#include "certs/Submission.h"
#include "settings/CertFolders.h"
#include "settings/SettingsValues.h"

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace cq::test;

/// Every file under a folder with its bytes.
std::map<std::string, std::string> Snapshot(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            files[entry.path().string()] = ReadFile(entry.path().string());
    return files;
}

/// One operation on an address; returns what it told the user (the reported error or the
/// raised one), "" when it told nothing.
struct Operation {
    const char* name;
    std::function<std::string(const std::string& email)> run;
};

std::string LastError(const RecordingDialogs& dialogs) {
    for (auto box = dialogs.boxes.rbegin(); box != dialogs.boxes.rend(); ++box)
        if (box->kind == "error")
            return box->text;
    return {};
}

std::vector<Operation> Operations(RecordingDialogs& dialogs) {
    const auto body = [](const std::string&, bool) {
        return std::string("new certificate");
    };
    return {
        {"request",
         [&dialogs](const std::string& email) {
             cq::SubjectData subject;
             subject.Country = "ru";
             subject.CommonName = "Ivan Petrov";
             subject.Email = email;
             subject.Password = "Secret1";
             dialogs.answerNext(true);
             cq::RequestRsaCertificate(cq::kCertificateKeyFile, subject,
                                       [](const std::string&, bool) -> std::string {
                                           throw cq::Exception("nothing may be sent");
                                       });
             return LastError(dialogs);
         }},
        {"download",
         [&dialogs, body](const std::string& email) {
             dialogs.answerNext(true);
             cq::DownloadCertificate(cq::kCertificateFile, email, body);
             return LastError(dialogs);
         }},
        {"check",
         [&dialogs](const std::string& email) {
             cq::CheckCertificate(cq::kCertificateFile, cq::kCertificateKeyFile, email,
                                  kFixturePassword);
             return LastError(dialogs);
         }},
        {"GOST check",
         [&dialogs](const std::string& email) {
             cq::CheckGostCertificate(cq::kCertificateFile, email);
             return LastError(dialogs);
         }},
        {"export",
         [](const std::string& email) {
             try {
                 cq::ExportPkcs12(email, kFixturePassword);
                 return std::string();
             } catch (const std::exception& error) {
                 return std::string(error.what());
             }
         }},
    };
}

/// A certificate and its key both in the data folder itself and in the folder above it.
class AddressRules : public ::testing::Test {
protected:
    void SetUp() override {
        UseProgramFolder(program.path());
        cq::Settings().DataFolder = program / "data/";
        std::filesystem::create_directory(program / "data");
        for (const std::string& folder : {program.path(), program / "data/"}) {
            WriteFile(folder + cq::kCertificateFile, ReadFile(RetrievalData("user.cer")));
            WriteFile(folder + cq::kCertificateKeyFile, ReadFile(RetrievalData("user-des3.key")));
        }
    }

    TempDir program;
    RecordingDialogs dialogs;
};

TEST_F(AddressRules, NoOperationReachesOutsideTheDataFolder) {
    const auto before = Snapshot(program.path());
    std::vector<Operation> operations = Operations(dialogs);
    operations.push_back({"open folder", [](const std::string& email) {
                              try {
                                  cq::OpenCertificateFolder(email, [](const std::string& path) {
                                      ADD_FAILURE() << "opened " << path;
                                      return cq::shellopen::kSucceeded;
                                  });
                                  return std::string();
                              } catch (const std::exception& error) {
                                  return std::string(error.what());
                              }
                          }});
    for (const std::string email : {"..", ".", " .. ", "", "../ivan@example.ru", "@example.ru"}) {
        for (const Operation& operation : operations) {
            dialogs.boxes.clear();
            const std::string told = operation.run(email);
            EXPECT_EQ(told.rfind("Адрес эл. почты \"" + email + "\" не подходит", 0), 0u)
                << operation.name << " \"" << email << "\": " << told;
        }
    }
    EXPECT_EQ(Snapshot(program.path()), before);
}

/// The certificate folder of kFixtureEmail with a certificate and its key.
struct CheckedFolder : CertificateFolderFixture {
    CheckedFolder() {
        put("user.cer", cq::kCertificateFile);
        put("user-des3.key", cq::kCertificateKeyFile);
    }
};

/// Holds a folder as another copy of the program would: its own open descriptor, locked.
class OtherHolder {
public:
    explicit OtherHolder(const std::string& folder)
        : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        EXPECT_EQ(::flock(fd_, LOCK_EX), 0);
    }
    ~OtherHolder() { Release(); }
    OtherHolder(const OtherHolder&) = delete;
    OtherHolder& operator=(const OtherHolder&) = delete;
    void Release() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

TEST(FolderLock, AnOperationOnAHeldAddressSaysSoAndTouchesNothing) {
    CheckedFolder folder;
    RecordingDialogs dialogs;
    const auto before = Snapshot(folder.folder());
    const OtherHolder other(folder.folder());
    for (const Operation& operation : Operations(dialogs)) {
        dialogs.boxes.clear();
        const std::string told = operation.run(" Ivan@Example.ru ");
        EXPECT_EQ(told,
                  "С сертификатом для адреса Ivan@Example.ru уже работает другая операция "
                  "(запрос, получение, проверка или экспорт), в этой или другой копии программы. "
                  "Дождитесь её окончания и повторите.")
            << operation.name;
        EXPECT_TRUE(std::none_of(dialogs.boxes.begin(), dialogs.boxes.end(),
                                 [](const auto& box) { return box.kind == "question"; }))
            << operation.name << ": asked before holding the folder";
    }
    EXPECT_EQ(Snapshot(folder.folder()), before);
}

TEST(FolderLock, AnOperationGoesOnWhenTheOtherEndsWithinTheWait) {
    CheckedFolder folder;
    RecordingDialogs dialogs;
    OtherHolder other(folder.folder());
    std::thread release([&other] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        other.Release();
    });
    const cq::CheckResult result = cq::CheckCertificate(
        cq::kCertificateFile, cq::kCertificateKeyFile, kFixtureEmail, kFixturePassword);
    release.join();
    EXPECT_TRUE(result.Valid) << LastError(dialogs);
}

TEST(FolderLock, TemporaryFilesOfAnInterruptedRunAreRemovedOnlyThem) {
    CheckedFolder folder;
    const std::vector<std::string> ours = {"Certificate.p12.cqtmp-Ab12Cd",
                                           "Request.ini.cqtmp-000000",
                                           "ivan@example.ru.rtf.cqtmp-zzZZ99"};
    const std::vector<std::string> others = {"Request.ini.backup",       "Certificate.key.bak",
                                             "Certificate.key.bak.2",    "notes.cqtmp-abc",
                                             "Request.ini.cqtmp-ab_123", "Request.ini.AbC123"};
    for (const std::string& name : others)
        folder.write(name, "the user's");
    RecordingDialogs dialogs;
    const std::function<void()> checks[] = {
        [] {
            EXPECT_TRUE(cq::CheckCertificate(cq::kCertificateFile, cq::kCertificateKeyFile,
                                             kFixtureEmail, kFixturePassword)
                            .Valid);
        },
        // The GOST check cleans up too, whatever it then finds (here no record).
        [] { cq::CheckGostCertificate(cq::kCertificateFile, kFixtureEmail); },
    };
    for (const auto& check : checks) {
        for (const std::string& name : ours)
            folder.write(name, "left by an interrupted run");
        check();
        for (const std::string& name : ours)
            EXPECT_FALSE(cq::FileExists(folder.folder() + name)) << name;
        for (const std::string& name : others)
            EXPECT_EQ(ReadFile(folder.folder() + name), "the user's") << name;
    }
}

} // namespace
