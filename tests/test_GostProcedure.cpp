#include "certs/GostProcedure.h"
#include "certs/RsaRequest.h"

#include "FakeProviders.h"
#include "RequestChecks.h"
#include "TestSupport.h"
#include "app/ErrorReport.h"
#include "base/Errors.h"
#include "base/FileUtil.h"
#include "base/TextCodec.h"
#include "certs/CertificateFolderLock.h"
#include "certs/PublicKeyAct.h"
#include "settings/CertFolders.h"
#include "settings/EmailList.h"
#include "settings/SettingsValues.h"

#include <gtest/gtest.h>
#include <openssl/objects.h>

#include <filesystem>
#include <sys/stat.h>

namespace cq {
namespace {

constexpr const char* kGostUrl = "https://localhost/gost/requp/";

/// The service: records the URL and answers a fixed body, or raises a transport error.
struct FakeService {
    std::string body;
    std::vector<std::string> urls;
    bool unreachable = false;
    ServiceGet get() {
        return [this](const std::string& url, bool) -> std::string {
            urls.push_back(url);
            if (unreachable)
                throw EIdHTTPProtocolException(503, "", "HTTP/1.1 503 Service Unavailable");
            return body;
        };
    }
};

class GostProcedureTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::UseProgramFolder(program.path());
        test::InstallActTemplates(program.path());
        Settings().UrlRequestGostCertificate = kGostUrl;
    }
    std::string containers() const { return program.path() + "containers/"; }
    std::string folder() const { return program.path() + "ivan.petrov@mail.example/"; }
    provider::ProviderRegistry registry(const std::vector<test::FakeProviderOptions>& fakes = {
                                            {"GOST provider"}}) const {
        return test::FakeRegistry(fakes, containers());
    }
    GostRequestForm Form(const provider::ProviderRegistry& providers, int second = 7) const {
        GostRequestForm form;
        form.Country = "RU";
        form.State = "Moscow region";
        form.Locality = "Moscow";
        form.Organization = "Firm Ltd";
        form.OrganizUnit = "";
        form.CommonName = "Ivan Petrov ";
        form.Email = " Ivan.Petrov@Mail.example";
        return ChooseProvider(form, "", test::LocalMoment(2024, 1, 15, 9, 5, second, 42),
                              providers);
    }
    /// What an error raised after the key was made says last.
    static std::string KeptNote(const GostRequestForm& form) {
        return "Контейнер ключей \"" + form.Container + "\" создан и оставлен.";
    }
    bool ContainerStays(const GostRequestForm& form) const {
        return FileExists(containers() + form.Container + ".key");
    }

    test::TempDir program;
    test::RecordingDialogs dialogs;
    FakeService service{"<pre>-----BEGIN NEW CERTIFICATE REQUEST-----</pre>", {}, false};
};

TEST_F(GostProcedureTest, AcceptedRequestWritesActRecordAndList) {
    const auto providers = registry({{"First"}, {"Second"}});
    GostRequestForm form = ChooseProvider(Form(providers), "Second", {}, providers);
    EXPECT_THROW(ChooseProvider(form, "Third", {}, providers), Exception);
    form = ChooseProvider(form, "Second", test::LocalMoment(2024, 1, 15, 9, 5, 7, 42), providers);
    EXPECT_EQ(form.Container, "QUORIX_R20240115090507042");

    ASSERT_EQ(RunGostProcedure(form, service.get(), providers,
                               [] { return test::LocalMoment(2024, 2, 3); }),
              GostProcedureOutcome::Sent);

    // The request went to the GOST URL, framed, with the subject as typed.
    ASSERT_EQ(service.urls.size(), 1u);
    const std::string prefix = std::string(kGostUrl) + "?cert=";
    ASSERT_TRUE(
        service.urls[0].starts_with(prefix + "-----BEGIN NEW CERTIFICATE REQUEST-----\r\n"));
    EXPECT_TRUE(service.urls[0].ends_with("\r\n-----END NEW CERTIFICATE REQUEST-----"));
    const std::string der =
        test::RequestDerFromText(service.urls[0].substr(prefix.size()) + "\r\n");
    const auto subject = test::RequestSubject(der);
    ASSERT_EQ(subject.size(), 7u);
    EXPECT_EQ(subject[5].value, "Ivan Petrov ");
    EXPECT_EQ(subject[6].value, " Ivan.Petrov@Mail.example");

    // Act and record with the trimmed texts, the provider and the container.
    const std::string record = FromCp1251(test::ReadFile(folder() + "Request.ini"));
    for (const char* line : {"CommonName=Ivan Petrov\r\n", "Email=Ivan.Petrov@Mail.example\r\n",
                             "Algorithm=Second\r\n", "Container=QUORIX_R20240115090507042\r\n"})
        EXPECT_NE(record.find(line), std::string::npos) << line << record;
    EXPECT_TRUE(IsGostRequest(folder()));
    const std::string act = FromCp1251(test::ReadFile(folder() + "ivan.petrov@mail.example.rtf"));
    EXPECT_NE(act.find("QUORIX_R20240115090507042"), std::string::npos);
    EXPECT_NE(act.find("03.02.2024"), std::string::npos);
    EXPECT_NE(act.find("?1?"), std::string::npos);
    EXPECT_EQ(act.find("$"), std::string::npos);
    EXPECT_NE(act.find("04 40 "), std::string::npos) << "the key bytes as hex text";

    EXPECT_EQ(ReadEmailList(), "Ivan.Petrov@Mail.example");
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].kind, "info");
    EXPECT_EQ(dialogs.boxes[0].text, kRequestSentText);
}

TEST_F(GostProcedureTest, CancelledDialogEndsSilentlyWithNothingWritten) {
    test::FakeProviderOptions cancelling{"GOST provider"};
    cancelling.cancelsDialog = true;
    const auto providers = registry({cancelling});
    EXPECT_EQ(RunGostProcedure(Form(providers), service.get(), providers),
              GostProcedureOutcome::Cancelled);
    EXPECT_FALSE(std::filesystem::exists(folder()));
    EXPECT_FALSE(std::filesystem::exists(containers()));
    EXPECT_TRUE(service.urls.empty());
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_EQ(ReadEmailList(), "");
}

// What can be checked is, before the folder is touched and a container made.
TEST_F(GostProcedureTest, FailuresFoundBeforeTheKeyLeaveNothing) {
    const auto providers = registry();
    struct Case {
        const char* name;
        std::function<void(GostRequestForm&)> change;
        std::string error;
    };
    const Case cases[] = {
        {"at sign in a PrintableString", [](GostRequestForm& f) { f.Organization = "Firm@Ltd"; },
         "Code: -2146885598."},
        {"AlgId 0", [](GostRequestForm& f) { f.Info.AlgId = 0; }, "Неизвестный алгоритм"},
    };
    int second = 10;
    for (const Case& c : cases) {
        GostRequestForm form = Form(providers, ++second);
        c.change(form);
        try {
            RunGostProcedure(form, service.get(), providers);
            ADD_FAILURE() << c.name;
        } catch (const Exception& error) {
            EXPECT_NE(error.message().find(c.error), std::string::npos)
                << c.name << ": " << error.message();
        }
        EXPECT_FALSE(ContainerStays(form)) << c.name;
        EXPECT_FALSE(std::filesystem::exists(folder())) << c.name;
    }
    // The procedure started again without a new provider selection.
    const GostRequestForm form = Form(providers, ++second);
    ASSERT_EQ(RunGostProcedure(form, service.get(), providers), GostProcedureOutcome::Sent);
    try {
        dialogs.answerNext(true);
        RunGostProcedure(form, service.get(), providers);
        ADD_FAILURE();
    } catch (const EOSError& error) {
        EXPECT_TRUE(provider::HasCode(error, provider::code::kExists)) << error.what();
    }
    EXPECT_TRUE(service.urls.size() == 1u);
}

// A first request the service does not take leaves no file and no folder behind: only the
// container stays, named in the error.
TEST_F(GostProcedureTest, RefusedFirstRequestLeavesNoFileAndNoFolder) {
    const auto providers = registry();
    struct Case {
        const char* name;
        std::string body;
        bool unreachable;
        std::string error;
    };
    const Case cases[] = {
        {"marker missing", "<html>Thank you</html>", false,
         "Сервер вернул не верный ответ : <html>Thank you</html>"},
        {"marker in small letters", "-----begin new certificate request-----", false,
         "Сервер вернул не верный ответ : -----begin new certificate request-----"},
        {"service unavailable", "", true, ""},
    };
    int second = 20;
    for (const Case& c : cases) {
        std::filesystem::remove_all(folder());
        service.body = c.body;
        service.unreachable = c.unreachable;
        const GostRequestForm form = Form(providers, ++second);
        try {
            RunGostProcedure(form, service.get(), providers);
            ADD_FAILURE() << c.name;
        } catch (const EIdHTTPProtocolException& error) {
            EXPECT_TRUE(c.unreachable) << c.name;
            EXPECT_EQ(error.errorCode(), 503);
            EXPECT_EQ(DescribeError(error), "Прерванный запрос HTTP (503) " + KeptNote(form));
        } catch (const Exception& error) {
            EXPECT_EQ(error.message(), c.error + " " + KeptNote(form)) << c.name;
        }
        EXPECT_TRUE(ContainerStays(form)) << c.name;
        EXPECT_FALSE(std::filesystem::exists(folder())) << c.name;
    }
    EXPECT_EQ(ReadEmailList(), "");
    EXPECT_TRUE(dialogs.boxes.empty());
}

// The key is made, then signing fails: the error keeps its kind and code and names the
// container it leaves; nothing is sent and nothing else stays.
TEST_F(GostProcedureTest, FailureAfterTheKeyNamesTheKeptContainer) {
    test::FakeProviderOptions failing{"GOST provider"};
    failing.failsSigning = true;
    const auto providers = registry({failing});
    const GostRequestForm form = Form(providers);
    try {
        RunGostProcedure(form, service.get(), providers);
        ADD_FAILURE() << "signing failed, yet the request went on";
    } catch (const EOSError& error) {
        EXPECT_TRUE(provider::HasCode(error, provider::code::kTokenRemoved)) << error.what();
        EXPECT_EQ(error.message(),
                  provider::ProviderError(provider::code::kTokenRemoved).message() + " " +
                      KeptNote(form));
    }
    EXPECT_TRUE(ContainerStays(form));
    EXPECT_TRUE(service.urls.empty());
    EXPECT_FALSE(std::filesystem::exists(folder()));
}

// A repeat request puts the older act and record back when the service refuses it: the record
// is the only link to the container of the working certificate. Declined, nothing is made.
TEST_F(GostProcedureTest, RepeatRequestRefusedOrDeclinedKeepsTheOlderActAndRecord) {
    const auto providers = registry();
    ASSERT_EQ(RunGostProcedure(Form(providers, 40), service.get(), providers),
              GostProcedureOutcome::Sent);
    const std::string record = test::ReadFile(folder() + "Request.ini");
    const std::string act = test::ReadFile(folder() + "ivan.petrov@mail.example.rtf");

    dialogs.boxes.clear();
    dialogs.answerNext(false);
    const GostRequestForm declined = Form(providers, 41);
    EXPECT_EQ(RunGostProcedure(declined, service.get(), providers), GostProcedureOutcome::Declined);
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, kReplaceKeyQuestion);
    EXPECT_FALSE(ContainerStays(declined));

    service.body = "<html>Thank you</html>";
    dialogs.answerNext(true);
    const GostRequestForm refused = Form(providers, 42);
    EXPECT_THROW(RunGostProcedure(refused, service.get(), providers), Exception);
    EXPECT_TRUE(ContainerStays(refused));
    EXPECT_EQ(test::ReadFile(folder() + "Request.ini"), record);
    EXPECT_EQ(test::ReadFile(folder() + "ivan.petrov@mail.example.rtf"), act);
    EXPECT_FALSE(FileExists(folder() + "Request.ini.bak"));
}

TEST_F(GostProcedureTest, FolderFilesAreOneUnitHeldByTheFolderLock) {
    const auto providers = registry();
    // A record that could not be written is found before a key is made: the message names the
    // file and the problem, the older act stays, no container is made.
    struct Spoiled {
        const char* what;
        std::function<void()> spoil;
        std::string problem;
        int code;
    };
    const std::string record = folder() + "Request.ini";
    const std::string outside = program.path() + "outside.ini";
    const Spoiled spoiled[] = {
        {"a folder", [&] { ForceDirectories(record); }, "на его месте папка", 21},
        {"a link to a file outside the folder",
         [&] {
             test::WriteFile(outside, "outside");
             std::filesystem::create_symlink(outside, record);
         },
         "на его месте символическая ссылка", 40},
        {"a link loop", [&] { std::filesystem::create_symlink(record, record); },
         "на его месте символическая ссылка", 40},
        {"a link into no folder",
         [&] { std::filesystem::create_symlink(folder() + "gone/Request.ini", record); },
         "на его месте символическая ссылка", 40},
        {"a pipe", [&] { ::mkfifo(record.c_str(), 0600); }, "на его месте не обычный файл", 22},
    };
    GostRequestForm form = Form(providers, 31);
    for (const Spoiled& c : spoiled) {
        ForceDirectories(folder());
        test::WriteFile(folder() + "ivan.petrov@mail.example.rtf", "older act");
        c.spoil();
        try {
            RunGostProcedure(form, service.get(), providers);
            ADD_FAILURE() << c.what;
        } catch (const EOSError& error) {
            EXPECT_EQ(error.errorCode(), c.code) << c.what;
            EXPECT_NE(
                error.message().find("Файл " + record + " не может быть записан: " + c.problem),
                std::string::npos)
                << c.what << ": " << error.message();
        }
        EXPECT_EQ(test::ReadFile(folder() + "ivan.petrov@mail.example.rtf"), "older act");
        EXPECT_FALSE(ContainerStays(form)) << c.what;
        if (FileExists(outside)) {
            EXPECT_EQ(test::ReadFile(outside), "outside") << c.what;
        }
        std::filesystem::remove_all(folder());
    }

    // Another operation on the address: the procedure waits, then stops with its message.
    {
        const CertificateFolderLock other(form.Email, CertificateFolderLock::Missing::Create);
        form = Form(providers, 32);
        try {
            RunGostProcedure(form, service.get(), providers);
            ADD_FAILURE();
        } catch (const Exception& error) {
            EXPECT_EQ(error.message(), FolderBusyMessage(form.Email));
        }
        EXPECT_FALSE(FileExists(folder() + "Request.ini"));
        EXPECT_FALSE(ContainerStays(form)) << "a request refused as busy makes no container";
    }
    EXPECT_TRUE(service.urls.empty());

    // An accepted request leaves the record readable by its owner only.
    ASSERT_EQ(RunGostProcedure(Form(providers, 33), service.get(), providers),
              GostProcedureOutcome::Sent);
    EXPECT_EQ(std::filesystem::status(folder() + "Request.ini").permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST_F(GostProcedureTest, UnusableAddressIsRefusedBeforeAContainerIsMade) {
    const auto providers = registry();
    GostRequestForm form = Form(providers);
    form.Email = "../ivan@mail.example";
    EXPECT_THROW(RunGostProcedure(form, service.get(), providers), Exception);
    EXPECT_FALSE(ContainerStays(form));
    EXPECT_TRUE(service.urls.empty());
}

TEST_F(GostProcedureTest, NoQualifyingProviderIsTheErrorOfTheList) {
    test::FakeProviderOptions withoutHash{"Old provider"};
    withoutHash.algorithms = {provider::kAlgSha1};
    try {
        Form(registry({withoutHash}));
        ADD_FAILURE();
    } catch (const Exception& error) {
        EXPECT_EQ(error.message(), kNoProviderText);
    }
}

} // namespace
} // namespace cq
