#include "certs/Submission.h"

#include "RequestChecks.h"
#include "SandboxServer.h"
#include "TestSupport.h"
#include "app/AppServer.h"
#include "app/ErrorReport.h"
#include "base/Errors.h"
#include "base/FileUtil.h"
#include "certs/RsaRequest.h"
#include "settings/CertFolders.h"
#include "settings/EmailList.h"
#include "settings/SettingsValues.h"
#include "transport/Connection.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace cq {
namespace {

using test::ReadFile;
using test::WriteFile;

const std::string kPem = "-----BEGIN NEW CERTIFICATE REQUEST-----\r\nMII+B/c=\r\n"
                         "-----END NEW CERTIFICATE REQUEST-----\r\n";

/// Records the URL it is given and answers with a fixed body.
struct FixedAnswer {
    explicit FixedAnswer(std::string answer) : body(std::move(answer)) {}
    std::string body;
    std::string url;
    bool logCopy = true;
    ServiceGet get() {
        return [this](const std::string& sent, bool copy) {
            url = sent;
            logCopy = copy;
            return body;
        };
    }
};

TEST(SubmitRequest, UrlCarriesTheTextUnchangedAndTheExchangeIsNotLogged) {
    FixedAnswer answer{kPem};
    SubmitRequest("https://localhost/requp/", kPem, answer.get());
    EXPECT_EQ(answer.url, "https://localhost/requp/?cert=" + kPem);
    EXPECT_FALSE(answer.logCopy);
    SubmitRequest("https://localhost/requp/?a=1", kPem, answer.get());
    EXPECT_EQ(answer.url, "https://localhost/requp/?a=1?cert=" + kPem);
}

TEST(SubmitRequest, AnswersAcceptedOnlyWithTheExactMarker) {
    struct Case {
        const char* name;
        std::string body;
        bool accepted;
    };
    const Case cases[] = {
        {"marker inside a page", "<html><pre>" + kPem + "</pre></html>", true},
        {"bare marker", "BEGIN NEW CERTIFICATE REQUEST", true},
        {"marker in small letters", "-----begin new certificate request-----", false},
        {"marker in mixed case", "BEGIN NEW Certificate REQUEST", false},
        {"no marker", "<html>Thank you</html>", false},
        {"empty answer", "", false},
    };
    for (const Case& c : cases) {
        FixedAnswer answer{c.body};
        try {
            SubmitRequest("https://localhost/requp/", kPem, answer.get());
            EXPECT_TRUE(c.accepted) << c.name;
        } catch (const Exception& error) {
            EXPECT_FALSE(c.accepted) << c.name;
            EXPECT_EQ(error.className(), "Exception") << c.name;
            EXPECT_EQ(error.message(), "Сервер вернул не верный ответ : " + c.body) << c.name;
        }
    }
}

TEST(SubmitRequest, ExchangeErrorsPassUnchanged) {
    const ServiceGet failing = [](const std::string&, bool) -> std::string {
        throw EIdHTTPProtocolException(503, "", "HTTP/1.1 503 Service Unavailable");
    };
    try {
        SubmitRequest("https://localhost/requp/", kPem, failing);
        ADD_FAILURE() << "no error";
    } catch (const EIdHTTPProtocolException& error) {
        EXPECT_EQ(error.errorCode(), 503);
        EXPECT_EQ(DescribeError(error), "Прерванный запрос HTTP (503)");
    }
}

SubjectData Subject() {
    return test::SampleSubject("Ivan@Mail.example");
}

/// A program folder talking to a running sandbox service through the real connection.
class SubmissionTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::UseProgramFolder(program.path());
        test::InstallActTemplates(program.path());
        test::UseSandboxService(server, program.path());
        SetAppServer(&app);
        app.ConnectionHandle = CreateConn({});
    }
    void TearDown() override {
        CloseConn(app.ConnectionHandle);
        SetAppServer(nullptr);
    }
    std::string folder() const { return program.path() + "ivan@mail.example/"; }
    std::string keyPath() const { return folder() + kCertificateKeyFile; }
    std::vector<std::string> folderFiles() const {
        std::vector<std::string> names;
        for (const char* name :
             {"Certificate.key", "Certificate.key.bak", "Request.ini", "ivan@mail.example.rtf"})
            if (FileExists(folder() + name))
                names.push_back(name);
        return names;
    }

    test::TempDir program;
    test::SandboxServer server;
    test::RecordingDialogs dialogs;
    TAppServer app{false};
};

TEST_F(SubmissionTest, AcceptedRequestLeavesKeyActAndRecord) {
    ASSERT_TRUE(RequestRsaCertificate(kCertificateKeyFile, Subject()));
    // The end steps come with the operation, for the window and the command-line tool alike.
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].kind, "info");
    EXPECT_EQ(dialogs.boxes[0].text, kRequestSentText);
    EXPECT_EQ(ReadEmailList(), "Ivan@Mail.example");
    EXPECT_EQ(folderFiles(), (std::vector<std::string>{"Certificate.key", "Request.ini",
                                                       "ivan@mail.example.rtf"}));
    // The service stored exactly the request whose key is in the folder.
    const std::string stored = server.storedRequest("ivan@mail.example");
    ASSERT_FALSE(stored.empty());
    WriteFile(program / "stored.pem", stored);
    const test::ToolResult modulus =
        test::Openssl({"req", "-in", program / "stored.pem", "-noout", "-modulus"});
    EXPECT_EQ(modulus.out, "Modulus=" + test::ReadKeyFile(keyPath(), "Secret1").modulusHex + "\n");
}

TEST_F(SubmissionTest, PrivateFilesAreTheOwnersAndTheActFollowsTheUmask) {
    SubjectData subject = Subject();
    subject.OpenPassw = true; // Request.ini holds the password in clear
    for (const mode_t mask : {mode_t{022}, mode_t{002}, mode_t{027}}) {
        const test::ScopedUmask umask(mask);
        std::filesystem::remove_all(folder());
        ASSERT_TRUE(RequestRsaCertificate(kCertificateKeyFile, subject)) << std::oct << mask;
        EXPECT_EQ(test::FileMode(folder()), 0700) << std::oct << mask;
        EXPECT_EQ(test::FileMode(keyPath()), 0600) << std::oct << mask;
        EXPECT_EQ(test::FileMode(folder() + "Request.ini"), 0600) << std::oct << mask;
        EXPECT_EQ(test::FileMode(program / "CertQuorix.ini"), 0600) << std::oct << mask;
        EXPECT_EQ(test::FileMode(folder() + "ivan@mail.example.rtf"),
                  static_cast<int>(0666 & ~mask))
            << std::oct << mask;
    }
    for (const auto& box : dialogs.boxes)
        EXPECT_EQ(box.kind, "info");
}

// A record whose password is longer than it may hold is refused before anything is made: the
// key is never locked with a cut password.
TEST_F(SubmissionTest, APasswordLongerThanTheRecordIsRefusedAndNothingIsWritten) {
    SubjectData subject = Subject();
    subject.Password = "abcdefghijklmnopqrstuvwxyz0123";
    EXPECT_FALSE(RequestRsaCertificate(kCertificateKeyFile, subject));
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].kind, "error");
    EXPECT_EQ(dialogs.boxes[0].caption, "Запрос сертификата");
    EXPECT_NE(dialogs.boxes[0].text.find("Пароль ключа длиннее 20 символов"), std::string::npos)
        << dialogs.boxes[0].text;
    EXPECT_FALSE(DirectoryExists(folder()));
    EXPECT_TRUE(server.storedRequest("ivan@mail.example").empty());
    EXPECT_EQ(ReadEmailList(), "");
}

TEST_F(SubmissionTest, FailuresLeaveTheFolderAsTheyFoundIt) {
    struct Case {
        const char* name;
        const char* fault; // nullptr: nothing listens at the request URL
        std::string description;
    };
    const Case cases[] = {
        {"service error", "status500", "Прерванный запрос HTTP (500)"},
        {"marker missing", "no-marker", "Сервер вернул не верный ответ : <html>"},
        {"marker in small letters", "marker-lowercase", "Сервер вернул не верный ответ : <html>"},
        {"broken gzip trailer", "bad-gzip-trailer", ""},
        {"gzip cut short", "short-gzip", ""},
        {"connection closed mid-body", "close-mid-body", ""},
        {"time-out", "slow", ""},
        {"no connection", nullptr, ""},
    };
    // The files of an earlier request with the open-password option: its key, its act and its
    // record with the key's password.
    const std::vector<std::pair<std::string, std::string>> older = {
        {"Certificate.key", "older key"},
        {"ivan@mail.example.rtf", "older act"},
        {"Request.ini", "[Cert]\r\nEmail=Ivan@Mail.example\r\nPassword=Older1\r\n\r\n"},
    };
    SetConnectionTimeouts(app.ConnectionHandle, 5000, 1000);
    for (const bool olderRequest : {true, false}) {
        for (const Case& c : cases) {
            const std::string name = std::string(c.name) + (olderRequest ? ", older request" : "");
            std::filesystem::remove_all(folder());
            if (olderRequest) {
                ForceDirectories(folder());
                for (const auto& [file, bytes] : older)
                    WriteFile(folder() + file, bytes);
                dialogs.answerNext(true);
            }
            server.setFault(c.fault ? c.fault : "", 3);
            Settings().UrlRequestRSACertificate =
                c.fault ? server.url("/requp/") : "https://127.0.0.1:1/requp/";
            dialogs.boxes.clear();

            EXPECT_FALSE(RequestRsaCertificate(kCertificateKeyFile, Subject())) << name;
            ASSERT_FALSE(dialogs.boxes.empty()) << name;
            const auto& box = dialogs.boxes.back();
            EXPECT_EQ(box.kind, "error") << name;
            EXPECT_EQ(box.caption, "Запрос сертификата") << name;
            EXPECT_TRUE(box.text.starts_with(c.description)) << name << ": " << box.text;
            if (olderRequest) {
                // Key, act and record go back together: the folder describes the older key.
                EXPECT_EQ(folderFiles(), (std::vector<std::string>{"Certificate.key", "Request.ini",
                                                                   "ivan@mail.example.rtf"}))
                    << name;
                for (const auto& [file, bytes] : older)
                    EXPECT_EQ(ReadFile(folder() + file), bytes) << name << ": " << file;
            } else {
                // Nothing older: none of the request's files stays, nor the folder made for it.
                EXPECT_FALSE(std::filesystem::exists(folder())) << name;
            }
        }
    }
}

TEST_F(SubmissionTest, DeclinedReplacementIsQuietAndChangesNothing) {
    ForceDirectories(folder());
    WriteFile(keyPath(), "older key");
    dialogs.answerNext(false);
    EXPECT_FALSE(RequestRsaCertificate(kCertificateKeyFile, Subject()));
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].kind, "question");
    EXPECT_EQ(folderFiles(), std::vector<std::string>{"Certificate.key"});
    EXPECT_EQ(ReadFile(keyPath()), "older key");
    EXPECT_TRUE(server.storedRequest("ivan@mail.example").empty());
}

TEST_F(SubmissionTest, AcceptedReplacementDropsTheOlderKey) {
    ForceDirectories(folder());
    WriteFile(keyPath(), "older key");
    dialogs.answerNext(true);
    ASSERT_TRUE(RequestRsaCertificate(kCertificateKeyFile, Subject()));
    EXPECT_TRUE(test::ReadKeyFile(keyPath(), "Secret1").loaded);
    EXPECT_FALSE(FileExists(keyPath() + ".bak"));
}

TEST_F(SubmissionTest, BackupLeftByAnInterruptedRunIsNeverOverwritten) {
    ForceDirectories(folder());
    WriteFile(keyPath(), "key of the interrupted request");
    WriteFile(keyPath() + ".bak", "key of an issued certificate");
    server.setFault("status500");
    dialogs.answerNext(true);
    EXPECT_FALSE(RequestRsaCertificate(kCertificateKeyFile, Subject()));
    EXPECT_EQ(ReadFile(keyPath()), "key of the interrupted request");
    EXPECT_EQ(ReadFile(keyPath() + ".bak"), "key of an issued certificate");
    EXPECT_FALSE(FileExists(keyPath() + ".bak.2"));

    server.setFault("");
    dialogs.answerNext(true);
    EXPECT_TRUE(RequestRsaCertificate(kCertificateKeyFile, Subject()));
    EXPECT_EQ(ReadFile(keyPath() + ".bak"), "key of an issued certificate");
    EXPECT_FALSE(FileExists(keyPath() + ".bak.2"));
}

} // namespace
} // namespace cq
