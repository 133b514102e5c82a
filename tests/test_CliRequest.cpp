// certquorix-cli request, run as a program from a program folder of its own against the sandbox
// service: what the service receives and what the folder holds afterwards.
#include "CliFixture.h"
#include "RequestChecks.h"
#include "SandboxServer.h"
#include "TestSupport.h"
#include "base/FileUtil.h"
#include "base/IniFile.h"
#include "base/KillPoint.h"
#include "base/TextCodec.h"
#include "certs/Submission.h"

#include <gtest/gtest.h>
#include <openssl/asn1.h>

#include <csignal>
#include <filesystem>
#include <future>
#include <map>
#include <memory>
#include <set>

namespace cq {
namespace {

using test::ProcessResult;
using test::ReadFile;
using test::SandboxServer;

class CliRequestTest : public test::CliSandboxTest {
protected:
    void SetUp() override {
        CliSandboxTest::SetUp();
        cli.writeServiceSettings(*server, {{"UrlRequestRSACertificate", server->url("/requp/")}});
    }

    ProcessResult request(std::vector<std::string> args,
                          const std::string& password = "CERTQUORIX_PASSWORD=Secret 1",
                          std::vector<std::string> environment = {}) {
        args.insert(args.begin(), "request");
        environment.push_back(password);
        return cli.run(args, environment);
    }
    /// A download of the certificate.
    ProcessResult download() {
        return cli.run({"download", "--email", "ivan.petrov@mail.example"});
    }
    std::string folder() const { return cli.folder("ivan.petrov@mail.example"); }
    std::string emailList() const {
        return IniFile::Load(dir / "CertQuorix.ini").ReadString("Email", "List");
    }
};

const std::vector<std::string> kSubject = {"--email",        "ivan.petrov@mail.example",
                                           "--locality",     "Moscow",
                                           "--organization", "Firm Ltd",
                                           "--common-name",  "Ivan Petrov"};

TEST_F(CliRequestTest, SentRequestMatchesTheKeyAndTheFolder) {
    const ProcessResult run = request(kSubject);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find(kRequestSentText), std::string::npos) << run.out;

    // What the service received verifies and carries the subject in its fixed order.
    const std::string stored = server->storedRequest("ivan.petrov@mail.example");
    ASSERT_FALSE(stored.empty());
    test::WriteFile(dir / "stored.pem", stored);
    const test::ToolResult verify =
        test::Openssl({"req", "-verify", "-noout", "-in", dir / "stored.pem"});
    EXPECT_EQ(verify.status, 0) << verify.err;
    const test::ToolResult der = test::Openssl(
        {"req", "-in", dir / "stored.pem", "-outform", "DER", "-out", dir / "stored.der"});
    ASSERT_EQ(der.status, 0) << der.err;
    const std::string requestDer = ReadFile(dir / "stored.der");
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"2.5.4.6", "ru"},
        {"2.5.4.8", ""},
        {"2.5.4.7", "Moscow"},
        {"2.5.4.10", "Firm Ltd"},
        {"2.5.4.11", ""},
        {"2.5.4.3", "Ivan Petrov"},
        {"1.2.840.113549.1.9.1", "ivan.petrov@mail.example"},
    };
    const std::vector<test::NameEntry> subject = test::RequestSubject(requestDer);
    ASSERT_EQ(subject.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(subject[i].oid, expected[i].first) << i;
        EXPECT_EQ(subject[i].value, expected[i].second) << i;
    }
    EXPECT_EQ(subject.back().stringType, V_ASN1_IA5STRING);
    const size_t exponent = requestDer.find(std::string("\x02\x04\x00\x01\x00\x01\xa0\x00", 8));
    EXPECT_NE(exponent, std::string::npos);

    // The key in the folder decrypts with the password and is the request's key.
    const std::string keyPath = folder() + "Certificate.key";
    const test::ToolResult keyModulus =
        test::Openssl({"rsa", "-in", keyPath, "-passin", "pass:Secret 1", "-noout", "-modulus"});
    ASSERT_EQ(keyModulus.status, 0) << keyModulus.err;
    EXPECT_EQ(keyModulus.out, "Modulus=" + test::RequestModulusHex(requestDer) + "\n");
    const test::KeyFacts facts = test::ReadKeyFile(keyPath, "Secret 1");
    EXPECT_TRUE(facts.pTopTwoSet && facts.qTopTwoSet);

    // Record and act in Windows-1251 with CR LF; the address in the e-mail list.
    const std::string record = ReadFile(folder() + "Request.ini");
    EXPECT_TRUE(test::HasOnlyCrLfLines(record));
    EXPECT_NE(record.find("CommonName=Ivan Petrov\r\n"), std::string::npos);
    EXPECT_EQ(record.find("Password"), std::string::npos);
    const std::string act = ReadFile(folder() + "ivan.petrov@mail.example.rtf");
    EXPECT_TRUE(test::HasOnlyCrLfLines(act));
    EXPECT_NE(act.find(ToCp1251("Страна:\\tab Russia(ru)")), std::string::npos);
    EXPECT_EQ(act.find('$'), std::string::npos);
    EXPECT_EQ(emailList(), "ivan.petrov@mail.example");
}

TEST_F(CliRequestTest, BadInputIsRefusedNamingTheField) {
    struct Case {
        std::vector<std::string> args;
        std::string password;
        const char* message;
    };
    const std::string password = "CERTQUORIX_PASSWORD=Secret 1";
    const Case cases[] = {
        {{"--email", "a@b", "--common-name", "Petrov, Ivan"}, password, "«ФИО»"},
        {{"--email", "Ivan@b"}, password, "«Эл. почта»"},
        {{"--email", "@b"}, password, "«Эл. почта»"},
        {{"--email", "a@b", "--country", "rus"}, password, "«Страна»"},
        {{"--email", "a@b", "--locality", "Москва"}, password, "«Город»"},
        {{"--email", "a@b", "--common-name", "svc@quorix.ru"}, password, "«ФИО»"},
        {{"--locality", "Moscow"}, password, "--email"},
        {{"--email", "a@b", "--password", "x"}, password, "командной строке"},
        {{"--email", "a@b", "--colour", "red"}, password, "--colour"},
        {{"--email"}, password, "--email"},
        {{"--email", "a@b"}, "CERTQUORIX_PASSWORD", "CERTQUORIX_PASSWORD"},
        {{"--email", "a@b"}, "CERTQUORIX_PASSWORD=", "пустым"},
        {{"--email", "a@b"}, "CERTQUORIX_PASSWORD=12345678901234567", "16"},
        {{"--email", "a@b", "--password-file", "/nonexistent/pw"}, "CERTQUORIX_PASSWORD", "pw"},
        // Bytes that are not UTF-8 are refused with the field's message, even where an overlong
        // form or an F8 lead would spell an allowed letter.
        {{"--email", "a@b", "--common-name", "Iv\xC1\xA1n"}, password, "«ФИО»"},
        {{"--email", "a@b", "--locality", "Moscow\xE0\x81\xA1"}, password, "«Город»"},
        {{"--email", "a\xF8\x80\x81\xA1@b"}, password, "«Эл. почта»"},
        {{"--email", "a@b"}, "CERTQUORIX_PASSWORD=Secret\xFF", "Пароль ключа"},
    };
    for (const Case& c : cases) {
        const ProcessResult run = request(c.args, c.password);
        EXPECT_EQ(run.status, 2) << c.message << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
    EXPECT_FALSE(DirectoryExists(dir / "a@b"));
    EXPECT_EQ(emailList(), "");
}

TEST_F(CliRequestTest, PasswordFileWithoutItsLineEnd) {
    test::WriteFile(dir / "pw", "from file\n");
    const ProcessResult run =
        request({"--email", "ivan.petrov@mail.example", "--password-file", dir / "pw"},
                "CERTQUORIX_PASSWORD");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(test::ReadKeyFile(folder() + "Certificate.key", "from file").loaded);
}

TEST_F(CliRequestTest, FailuresExitWithTheirStatusAndKeepTheOlderKey) {
    ForceDirectories(folder());
    test::WriteFile(folder() + "Certificate.key", "older key");

    const ProcessResult declined = request(kSubject);
    EXPECT_EQ(declined.status, 1);
    EXPECT_NE(declined.err.find("--yes"), std::string::npos) << declined.err;

    server->setFault("status500");
    std::vector<std::string> withYes = kSubject;
    withYes.push_back("--yes");
    const ProcessResult failed = request(withYes);
    EXPECT_EQ(failed.status, 8); // refused by the service
    EXPECT_NE(failed.err.find("Запрос сертификата: Прерванный запрос HTTP (500)"),
              std::string::npos)
        << failed.err;
    EXPECT_EQ(ReadFile(folder() + "Certificate.key"), "older key");
    EXPECT_EQ(emailList(), "");

    server->setFault("");
    const ProcessResult replaced = request(withYes);
    EXPECT_EQ(replaced.status, 0) << replaced.err;
    EXPECT_TRUE(test::ReadKeyFile(folder() + "Certificate.key", "Secret 1").loaded);
    EXPECT_FALSE(FileExists(folder() + "Certificate.key.bak"));
    EXPECT_EQ(emailList(), "ivan.petrov@mail.example");
}

// A repeat RSA request killed at a step that changes a file: the next operation under the
// folder's lock finds the older key, act and record, or (once the journal says the service took
// the request) the new ones, whose key is the one the service holds; no backup or journal stays.
TEST_F(CliRequestTest, RepeatRequestKilledAnywhereLeavesTheOlderFilesOrTheNewOnes) {
    std::vector<std::string> withYes = kSubject;
    withYes.push_back("--yes");
    ASSERT_EQ(request(withYes).status, 0);
    const std::vector<std::string> files = {"Certificate.key", "Request.ini",
                                            "ivan.petrov@mail.example.rtf"};
    struct Point {
        const char* name;
        bool newFiles;
    };
    for (const Point point :
         {Point{"request-journal-written", false}, Point{"request-backups-made", false},
          Point{"request-file-put", false}, Point{"request-accepted", true},
          Point{"request-backup-dropped", true}}) {
        SCOPED_TRACE(point.name);
        std::map<std::string, std::string> older;
        for (const std::string& name : files)
            older[name] = ReadFile(folder() + name);
        const ProcessResult killed = request(withYes, "CERTQUORIX_PASSWORD=Secret 1",
                                             {std::string(kKillPointVariable) + "=" + point.name});
        ASSERT_EQ(killed.status, 128 + SIGKILL) << killed.err;
        // Any operation under the folder's lock settles what the killed run left (the download
        // itself fails: this service has no receive address here).
        download();
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder()))
            names.insert(entry.path().filename().string());
        EXPECT_EQ(names, std::set<std::string>(files.begin(), files.end()));
        if (!point.newFiles) {
            for (const std::string& name : files)
                EXPECT_EQ(ReadFile(folder() + name), older[name]) << name;
            continue;
        }
        // The record of the same subject reads the same; key and act are new.
        EXPECT_NE(ReadFile(folder() + files[0]), older[files[0]]);
        EXPECT_NE(ReadFile(folder() + files[2]), older[files[2]]);
        test::WriteFile(dir / "stored.pem", server->storedRequest("ivan.petrov@mail.example"));
        const test::ToolResult stored =
            test::Openssl({"req", "-in", dir / "stored.pem", "-noout", "-modulus"});
        EXPECT_EQ(
            stored.out,
            "Modulus=" + test::ReadKeyFile(folder() + "Certificate.key", "Secret 1").modulusHex +
                "\n");
    }
}

// A first request the service refuses leaves no folder: the next one is a first request again,
// asked nothing and not refused for a key that does not exist.
TEST_F(CliRequestTest, RefusedFirstRequestLeavesNothingBehind) {
    server->setFault("status500");
    EXPECT_EQ(request(kSubject).status, 8);
    server->setFault("");
    EXPECT_FALSE(std::filesystem::exists(folder()));
    const ProcessResult next = request(kSubject);
    EXPECT_EQ(next.status, 0) << next.err;
}

// A journal planted in the folder that would remove the working key is refused by every command
// that works on the folder: each says on stderr which file to look at, and the key, the
// certificate and the journal stay as they are.
TEST_F(CliRequestTest, PlantedJournalStopsEveryCommandAndIsNamed) {
    std::vector<std::string> withYes = kSubject;
    withYes.push_back("--yes");
    ASSERT_EQ(request(withYes).status, 0);
    const std::string journal = folder() + ".request-journal";
    test::WriteFile(journal, "state=prepared\ncontainer=\nkind=key\npath=" + folder() +
                                 "Certificate.key\nbackup=\n");
    const std::string key = ReadFile(folder() + "Certificate.key");
    std::vector<std::string> requestArgs = {"request"};
    requestArgs.insert(requestArgs.end(), withYes.begin(), withYes.end());
    const std::vector<std::vector<std::string>> commands = {
        {"check", "--email", "ivan.petrov@mail.example"},
        {"status", "--email", "ivan.petrov@mail.example"},
        {"download", "--yes", "--email", "ivan.petrov@mail.example"},
        {"export", "--no-open", "--email", "ivan.petrov@mail.example"},
        requestArgs,
    };
    for (const std::vector<std::string>& command : commands) {
        SCOPED_TRACE(command[0]);
        const ProcessResult run = cli.run(command, {"CERTQUORIX_PASSWORD=Secret 1"});
        EXPECT_NE(run.status, 0) << run.out;
        EXPECT_NE(run.err.find(journal + " не принят"), std::string::npos) << run.err;
        EXPECT_EQ(ReadFile(folder() + "Certificate.key"), key);
        EXPECT_TRUE(FileExists(journal));
    }
    std::filesystem::remove(journal);
    EXPECT_EQ(request(withYes).status, 0);
}

// At a terminal the replacement question shows that Enter means Yes, and Enter replaces the key
// as the window's default button would; an explicit No keeps it, and so does Ctrl+C, which
// ends the tool as the signal does.
TEST_F(CliRequestTest, ReplacementQuestionAtATerminalDefaultsToYes) {
    struct Case {
        const char* answer;
        int status;
        bool replaced;
    };
    for (const Case& c : {Case{"\r", 0, true}, Case{"n\r", 1, false}, Case{"да\r", 0, true},
                          Case{"нет\r", 1, false}, Case{"\x03", 128 + SIGINT, false}}) {
        SCOPED_TRACE(c.answer);
        ForceDirectories(folder());
        test::WriteFile(folder() + "Certificate.key", "older key");
        std::vector<std::string> args = {"request"};
        args.insert(args.end(), kSubject.begin(), kSubject.end());
        test::TerminalProgram terminal =
            cli.startAtTerminal(args, {"CERTQUORIX_PASSWORD=Secret 1"});
        ASSERT_TRUE(terminal.waitForOutput("Продолжать все равно?")) << terminal.output();
        ASSERT_TRUE(terminal.waitForOutput("] ")) << terminal.output();
        const std::string prompt = terminal.output().substr(terminal.output().find("Продолжать"));
        EXPECT_NE(prompt.find("Enter — да"), std::string::npos) << prompt;
        terminal.type(c.answer);
        EXPECT_EQ(terminal.wait(), c.status) << terminal.output();
        EXPECT_EQ(ReadFile(folder() + "Certificate.key") != "older key", c.replaced);
    }
}

// Two requests for one address sent at the same moment (two scripts, or a script and the
// window): one waits for the other, so the folder always ends with the key of the request the
// service kept.
TEST_F(CliRequestTest, TwoRequestsForOneAddressAtOnceLeaveTheKeyTheServiceKept) {
    std::vector<std::string> args = kSubject;
    args.push_back("--yes");
    constexpr int kRounds = 15;
    for (int round = 0; round < kRounds; ++round) {
        auto first = std::async(std::launch::async, [&] { return request(args); });
        auto second = std::async(std::launch::async, [&] { return request(args); });
        const ProcessResult runs[] = {first.get(), second.get()};
        for (const ProcessResult& run : runs)
            EXPECT_TRUE(run.status == 0 ||
                        run.err.find("уже работает другая операция") != std::string::npos)
                << round << ": " << run.err;
        ASSERT_TRUE(runs[0].status == 0 || runs[1].status == 0) << round;
        test::WriteFile(dir / "stored.pem", server->storedRequest("ivan.petrov@mail.example"));
        const test::ToolResult stored =
            test::Openssl({"req", "-in", dir / "stored.pem", "-noout", "-modulus"});
        const test::KeyFacts key = test::ReadKeyFile(folder() + "Certificate.key", "Secret 1");
        ASSERT_TRUE(key.loaded) << round;
        EXPECT_EQ(stored.out, "Modulus=" + key.modulusHex + "\n") << round;
    }
}

} // namespace
} // namespace cq
