#include "RetrievalFixture.h"
#include "SandboxServer.h"
#include "base/Dialogs.h"
#include "base/FileUtil.h"
#include "certs/CertificateCheck.h"
#include "certs/Download.h"
#include "certs/PublicKeyAct.h"
#include "settings/CertFolders.h"
#include "settings/SettingsValues.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <memory>

namespace {

using namespace cq::test;

std::string StateText(const cq::ReceptionState& s) {
    return std::string(s.DownloadEnabled ? "download " : "") + (s.CheckEnabled ? "check " : "") +
           (s.FolderLinkEnabled ? "folder " : "") + (s.InstallEnabled ? "install " : "") +
           (s.StateLabelVisible ? "[" + s.StateLabel + "]" : "-");
}

TEST(ReceptionState, FollowsWhatTheFolderHolds) {
    struct Case {
        const char* what;
        std::vector<std::string> files; // in the folder of kFixtureEmail
        std::string typed;
        std::string state;
    };
    const std::string gostRecord = "Request.ini=[Cert]\r\nAlgorithm=Some GOST provider\r\n";
    const std::string blankAlgorithm = "Request.ini=[Cert]\r\nAlgorithm=   \r\n";
    const Case cases[] = {
        {"key only", {"Certificate.key"}, kFixtureEmail, "download folder -"},
        {"key and certificate",
         {"Certificate.key", "Certificate.cer"},
         kFixtureEmail,
         "download check folder [Уже получен! Повтор заменит файл.]"},
        {"typed with capitals and blanks",
         {"Certificate.key", "Certificate.cer"},
         "  Ivan@Example.RU ",
         "download check folder [Уже получен! Повтор заменит файл.]"},
        {"renewal pending",
         {"Certificate.key", "Certificate.cer", "Renewal.ini"},
         kFixtureEmail,
         "download check folder [Уже получен. Продление ждёт выпуска.]"},
        {"certificate without key",
         {"Certificate.cer"},
         kFixtureEmail,
         "folder [Уже получен! Повтор заменит файл.]"},
        {"GOST request", {gostRecord}, kFixtureEmail, "download folder -"},
        {"GOST request with certificate",
         {gostRecord, "Certificate.cer"},
         kFixtureEmail,
         "download folder [Уже получен! Повтор заменит файл.]"},
        {"blank algorithm is RSA",
         {blankAlgorithm},
         kFixtureEmail,
         "folder [Нет ключа, генерация не проводилась.]"},
        {"empty folder", {}, kFixtureEmail, "folder [Нет ключа, генерация не проводилась.]"},
        {"no folder", {}, "nobody@example.ru", "[Нет ключа, генерация не проводилась.]"},
        {"no at sign", {"Certificate.key"}, "ivan", "[Email должен содержать символ @.]"},
        {"nothing typed", {}, "", "-"},
        {"blanks typed", {}, "   ", "-"},
    };
    for (const Case& c : cases) {
        CertificateFolderFixture folder;
        for (const std::string& file : c.files) {
            const size_t equals = file.find('=');
            folder.write(file.substr(0, equals),
                         equals == std::string::npos ? "x" : file.substr(equals + 1));
        }
        EXPECT_EQ(StateText(cq::EvaluateReceptionState(c.typed)), c.state) << c.what;
    }
}

TEST(Download, BodyLinesAreStoredWithCrLf) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"a", "a\r\n"},
        {"a\nb\n", "a\r\nb\r\n"},
        {"a\r\nb", "a\r\nb\r\n"},
        {"a\rb\r", "a\r\nb\r\n"},
        {"a\n\nb", "a\r\n\r\nb\r\n"},
        {"\n", "\r\n"},
        {"a\r\r\nb", "a\r\n\r\nb\r\n"},
    };
    for (const auto& [body, stored] : cases)
        EXPECT_EQ(cq::CertificateFileText(body), stored) << body;
}

// The act of the folder's request shows its public key; a downloaded certificate of another key
// (or no certificate at all) never takes the place of Certificate.cer: it is kept beside it and
// reported. A folder without an act showing a key gives no way to tell, and the download
// replaces the file as it always did.
TEST(Download, ACertificateForAnotherKeyNeverTakesTheCertificatesPlace) {
    struct Case {
        const char* what;
        const char* act;     // "user": shows the key of user.cer; "text": shows none; "": none
        const char* present; // the certificate in the folder before, "" for none
        const char* body;    // what the service answers
        cq::DownloadResult result;
        const char* stored; // Certificate.cer afterwards, "" for none
        bool keptBeside;
    };
    using R = cq::DownloadResult;
    const Case cases[] = {
        {"working pair, other key", "user", "user.cer", "other.cer", R::Failed, "user.cer", true},
        {"working pair, error page", "user", "user.cer", "error-page.cer", R::Failed, "user.cer",
         true},
        {"working pair, same key", "user", "user.cer", "user.cer", R::Downloaded, "user.cer",
         false},
        {"no certificate, other key", "user", "", "other.cer", R::Failed, "", true},
        {"no certificate, the key's", "user", "", "user.cer", R::Downloaded, "user.cer", false},
        {"older certificate, the key's", "user", "other.cer", "user.cer", R::Downloaded, "user.cer",
         false},
        {"no act", "", "user.cer", "other.cer", R::Downloaded, "other.cer", false},
        {"act without the key", "text", "user.cer", "other.cer", R::Downloaded, "other.cer", false},
    };
    const std::string modulus =
        cq::ReadCertificate(ReadFile(RetrievalData("user.cer")), {}, "user.cer").Modulus;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CertificateFolderFixture folder;
        const std::string act = folder.folder() + kFixtureEmail + ".rtf";
        if (std::string(c.act) == "user") // the request's bytes around the modulus, as acts show
            WriteFile(act,
                      "{\\rtf1\\ansi {\\f0 \\'ce\\'f2\\'ea\\'f0\\'fb\\'f2\\'fb\\'e9:}\\par\r\n" +
                          cq::HexText("\x30\x81\x89\x02\x81\x81" + modulus + "\x02\x03") +
                          "\\par 01.02.2025}\r\n");
        else if (std::string(c.act) == "text")
            WriteFile(act, "{\\rtf1 Act of 01.02.2025}\r\n");
        folder.put("user-des3.key", cq::kCertificateKeyFile);
        if (*c.present)
            folder.put(c.present, cq::kCertificateFile);
        RecordingDialogs dialogs;
        dialogs.answerNext(true);
        const std::string body = ReadFile(RetrievalData(c.body));
        EXPECT_EQ(cq::DownloadCertificate(cq::kCertificateFile, kFixtureEmail,
                                          [&](const std::string&, bool) { return body; }),
                  c.result);
        const std::string target = folder.folder() + cq::kCertificateFile;
        if (*c.stored)
            EXPECT_EQ(ReadFile(target),
                      c.result == R::Downloaded
                          ? cq::CertificateFileText(ReadFile(RetrievalData(c.stored)))
                          : ReadFile(RetrievalData(c.stored))); // untouched
        else
            EXPECT_FALSE(cq::FileExists(target));
        std::vector<std::string> beside;
        for (const auto& entry : std::filesystem::directory_iterator(folder.folder()))
            if (entry.path().filename().string().starts_with("Certificate-unmatched-"))
                beside.push_back(entry.path().string());
        ASSERT_EQ(beside.size(), c.keptBeside ? 1u : 0u);
        if (!c.keptBeside)
            continue;
        EXPECT_EQ(ReadFile(beside[0]), cq::CertificateFileText(body));
        ASSERT_FALSE(dialogs.boxes.empty());
        const RecordingDialogs::Box& told = dialogs.boxes.back();
        EXPECT_EQ(told.kind, "error");
        EXPECT_EQ(told.caption, "Получение сертификата");
        EXPECT_NE(told.text.find("не соответствует ключу"), std::string::npos) << told.text;
        EXPECT_NE(told.text.find(beside[0]), std::string::npos) << told.text;
    }
}

class DownloadSandbox : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server = std::make_unique<SandboxServer>(); }
    static void TearDownTestSuite() { server.reset(); }
    void SetUp() override { server->setFault(""); }

    /// The real exchange, with every URL it was given recorded.
    cq::ServiceGet recordingGet() {
        return [this](const std::string& url, bool logCopy) {
            urls.push_back(url);
            EXPECT_TRUE(logCopy);
            return cq::DefaultServiceGet()(url, logCopy);
        };
    }
    std::string issuedText(const std::string& email) const {
        return ReadFile(server->dir() + "issued/" + email + ".crt");
    }

    static std::unique_ptr<SandboxServer> server;
    SandboxClient client{*server};
    std::string folder = cq::CertificateFolder(kFixtureEmail);
    std::string target = folder + cq::kCertificateFile;
    std::vector<std::string> urls;
};

std::unique_ptr<SandboxServer> DownloadSandbox::server;

TEST_F(DownloadSandbox, NotIssuedYetThenDownloadedWithCrLf) {
    client.request(kFixtureEmail, kFixturePassword);
    RecordingDialogs dialogs;
    cq::ReceptionState state = cq::EvaluateReceptionState(kFixtureEmail);
    EXPECT_EQ(cq::ReceiveCertificate(kFixtureEmail, state, recordingGet()),
              cq::DownloadResult::NotReady);
    EXPECT_FALSE(cq::FileExists(target));
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].kind, "warning");
    EXPECT_EQ(dialogs.boxes[0].text, "Сертификат еще не готов. Попробуйте позже.");
    EXPECT_EQ(dialogs.boxes[0].caption, cq::ApplicationTitle());
    EXPECT_FALSE(state.CheckEnabled);

    server->issue(kFixtureEmail);
    dialogs.boxes.clear();
    EXPECT_EQ(cq::ReceiveCertificate(" IVAN@Example.ru ", state, recordingGet()),
              cq::DownloadResult::Downloaded);
    const std::string issued = issuedText(kFixtureEmail);
    ASSERT_NE(issued.find("-----BEGIN CERTIFICATE-----\n"), std::string::npos);
    EXPECT_EQ(ReadFile(target), cq::CertificateFileText(issued));
    EXPECT_NE(ReadFile(target).find("-----BEGIN CERTIFICATE-----\r\n"), std::string::npos);
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].kind, "info");
    EXPECT_EQ(dialogs.boxes[0].text,
              "Сертификат успешно получен. Проверьте его на соответствие запрошенному.");
    EXPECT_TRUE(state.CheckEnabled);
    EXPECT_EQ(state.StateLabel, "Уже получен! Повтор заменит файл.");
    const std::string url = server->url("/certget/ivan@example.ru.crt");
    EXPECT_EQ(urls, (std::vector<std::string>{url, url}));
}

TEST_F(DownloadSandbox, AnExistingCertificateIsReplacedOnlyWithConsent) {
    client.request(kFixtureEmail, kFixturePassword);
    server->issue(kFixtureEmail);
    cq::test::WriteFile(target, "older certificate");
    RecordingDialogs dialogs;
    dialogs.answerNext(false);
    EXPECT_EQ(cq::DownloadCertificate(cq::kCertificateFile, kFixtureEmail, recordingGet()),
              cq::DownloadResult::Failed);
    EXPECT_TRUE(urls.empty()); // nothing was sent
    EXPECT_EQ(ReadFile(target), "older certificate");
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].kind, "question");
    EXPECT_EQ(dialogs.boxes[0].caption, cq::ApplicationTitle());
    EXPECT_EQ(dialogs.boxes[0].text,
              "Сертификат будет перезаписан при успешном выполнении.\r\nЕсли имеющиеся файлы "
              "сертификата рабочие, то есть вероятность, что скачанный файл будет от другого "
              "запроса, и файлы станут \"не рабочими\".\r\nПродолжать все равно?");
    dialogs.answerNext(true);
    EXPECT_EQ(cq::DownloadCertificate(cq::kCertificateFile, kFixtureEmail, recordingGet()),
              cq::DownloadResult::Downloaded);
    EXPECT_EQ(ReadFile(target), cq::CertificateFileText(issuedText(kFixtureEmail)));
}

TEST_F(DownloadSandbox, FailuresAreReportedAndLeaveTheOlderFile) {
    client.request(kFixtureEmail, kFixturePassword);
    server->issue(kFixtureEmail);
    struct Case {
        const char* fault;
        std::string description;
    };
    const Case cases[] = {
        {"status500", "Прерванный запрос HTTP (500)"},
        {"close-mid-body", ""},
    };
    for (const Case& c : cases) {
        cq::test::WriteFile(target, "older certificate");
        server->setFault(c.fault);
        RecordingDialogs dialogs;
        dialogs.answerNext(true);
        EXPECT_EQ(cq::DownloadCertificate(cq::kCertificateFile, kFixtureEmail),
                  cq::DownloadResult::Failed)
            << c.fault;
        EXPECT_EQ(ReadFile(target), "older certificate") << c.fault;
        ASSERT_EQ(dialogs.boxes.size(), 2u) << c.fault;
        EXPECT_EQ(dialogs.boxes[1].kind, "error") << c.fault;
        EXPECT_EQ(dialogs.boxes[1].caption, "Получение сертификата") << c.fault;
        EXPECT_EQ(dialogs.boxes[1].text.rfind(c.description, 0), 0u)
            << c.fault << ": " << dialogs.boxes[1].text;
    }
}

TEST_F(DownloadSandbox, GostFoldersUseTheGostAddress) {
    client.request(kFixtureEmail, kFixturePassword);
    server->issue(kFixtureEmail);
    cq::Settings().UrlReceiveRSACertificate = server->url("/rsa-only/");
    cq::test::WriteFile(folder + "Request.ini", "[Cert]\r\nAlgorithm=Some GOST provider\r\n");
    RecordingDialogs dialogs;
    cq::ReceptionState state = cq::EvaluateReceptionState(kFixtureEmail);
    EXPECT_EQ(cq::ReceiveCertificate(kFixtureEmail, state, recordingGet()),
              cq::DownloadResult::Downloaded);
    EXPECT_EQ(urls, (std::vector<std::string>{server->url("/certget/ivan@example.ru.crt")}));
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, "Сертификат успешно получен.");
    EXPECT_FALSE(state.CheckEnabled);
}

TEST_F(DownloadSandbox, ErrorPageIsStoredAsItCame) {
    // The service's answer is not examined: an error page with status 200 is stored as it is.
    RecordingDialogs dialogs;
    const std::string page = "<html>\n<body>Service busy</body>\n</html>";
    EXPECT_EQ(cq::DownloadCertificate(cq::kCertificateFile, kFixtureEmail,
                                      [&](const std::string&, bool) { return page; }),
              cq::DownloadResult::Downloaded);
    EXPECT_EQ(ReadFile(target), "<html>\r\n<body>Service busy</body>\r\n</html>\r\n");
}

TEST_F(DownloadSandbox, ANewFolderIsTheOwnersAndTheCertificateFollowsTheUmask) {
    const auto page = [](const std::string&, bool) {
        return std::string("certificate");
    };
    for (const mode_t mask : {mode_t{022}, mode_t{002}, mode_t{027}}) {
        const cq::test::ScopedUmask umask(mask);
        std::filesystem::remove_all(folder);
        RecordingDialogs dialogs;
        ASSERT_EQ(cq::DownloadCertificate(cq::kCertificateFile, kFixtureEmail, page),
                  cq::DownloadResult::Downloaded);
        EXPECT_EQ(cq::test::FileMode(folder), 0700) << std::oct << mask;
        EXPECT_EQ(cq::test::FileMode(target), static_cast<int>(0666 & ~mask)) << std::oct << mask;
    }
}

TEST_F(DownloadSandbox, AFolderThatCannotBeMadeIsReported) {
    TempDir dir;
    cq::test::WriteFile(dir / "file", "not a folder");
    cq::Settings().DataFolder = dir / "file/";
    RecordingDialogs dialogs;
    EXPECT_EQ(cq::DownloadCertificate(cq::kCertificateFile, kFixtureEmail,
                                      [](const std::string&, bool) { return std::string("x"); }),
              cq::DownloadResult::Failed);
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].caption, "Получение сертификата");
    EXPECT_EQ(dialogs.boxes[0].text.rfind("System Error.  Code: ", 0), 0u) << dialogs.boxes[0].text;
}

} // namespace
