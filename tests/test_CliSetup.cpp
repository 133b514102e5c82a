// The set-up an exchange with the service needs is checked before any connection: each fault
// ends request, download and get with status 9, naming the file or setting and the remedy. And
// what the service answers is told apart: not found, no such host, the same certificate again.
#include "CliFixture.h"
#include "RetrievalFixture.h"
#include "SandboxServer.h"
#include "base/StringUtil.h"
#include "settings/CertFolders.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <functional>

namespace {

using namespace cq::test;

constexpr const char* kEmail = "vera@example.ru";

class CliSetup : public SandboxSuite {
protected:
    void SetUp() override {
        server->setFault("");
        WriteFile(folder + "CertQuorix.ini", client.settingsFile());
        WriteFile(cli.home / "password", kFixturePassword);
    }

    ProcessResult run(const std::string& command, const std::vector<std::string>& extra = {}) {
        std::vector<std::string> args;
        if (command == "request")
            args = {"request",
                    "--email",
                    kEmail,
                    "--common-name",
                    "Vera Popova",
                    "--password-file",
                    cli.home / "password"};
        else if (command == "download")
            args = {"download", "--email", kEmail};
        else
            args = {"get", server->url("/sample?bytes=10")};
        args.insert(args.end(), extra.begin(), extra.end());
        return cli.run(args);
    }

    SandboxClient client{*server};
    CliProgram cli{client.programFolder()};
    const std::string folder = client.programFolder();
};

TEST_F(CliSetup, EachFaultEndsEveryServiceCommandWithNineNamingTheFile) {
    struct Fault {
        const char* what;
        std::function<void(const std::string& folder, std::string& settings)> spoil;
        std::string named; // the file or setting the message must name
        std::vector<std::string> commands;
    };
    const std::vector<std::string> all = {"request", "download", "get"};
    const Fault faults[] = {
        {"no operator certificate",
         [](const std::string& f, std::string&) { std::filesystem::remove(f + "Request.cer"); },
         "Request.cer", all},
        {"operator key that cannot be read",
         [](const std::string& f, std::string&) {
             std::filesystem::remove(f + "Request.key");
             std::filesystem::create_directory(f + "Request.key");
         },
         "Request.key", all},
        {"operator key of another pair",
         [](const std::string& f, std::string&) {
             WriteFile(f + "Request.key", ReadFile(RetrievalData("user-clear.key")));
         },
         "Request.key", all},
        {"CA file that holds no certificate",
         [](const std::string& f, std::string& settings) {
             WriteFile(f + "garbage-ca.pem", "garbage\n");
             settings = cq::ReplaceText(settings, server->caFile(), f + "garbage-ca.pem");
         },
         "garbage-ca.pem", all},
        {"service address that is no address",
         [](const std::string&, std::string& settings) {
             settings = cq::ReplaceText(settings, server->url("/requp/"), "requp");
             settings = cq::ReplaceText(settings, server->url("/certget/"), "certget");
         },
         "Url",
         {"request", "download"}},
    };
    const std::string settings = ReadFile(folder + "CertQuorix.ini");
    for (const Fault& fault : faults) {
        for (const std::string& command : fault.commands) {
            SCOPED_TRACE(std::string(fault.what) + " / " + command);
            // A folder with a key, so download has something to download into.
            std::filesystem::remove_all(cli.folder(kEmail));
            if (command == "download") {
                std::filesystem::create_directories(cli.folder(kEmail));
                WriteFile(cli.folder(kEmail) + cq::kCertificateKeyFile, "key");
            }
            std::filesystem::remove_all(folder + "Request.key");
            server->writeClientCertificate(folder);
            std::string text = settings;
            fault.spoil(folder, text);
            WriteFile(folder + "CertQuorix.ini", text);

            const ProcessResult plain = run(command);
            EXPECT_EQ(plain.status, 9) << plain.err;
            EXPECT_NE(plain.err.find("Программа не настроена: "), std::string::npos) << plain.err;
            EXPECT_NE(plain.err.find(fault.named), std::string::npos) << plain.err;
            EXPECT_NE(plain.err.find("Что сделать: "), std::string::npos) << plain.err;
            // Nothing was made before the check: no key, no request at the service.
            if (command == "request") {
                EXPECT_FALSE(std::filesystem::exists(cli.folder(kEmail) + cq::kCertificateKeyFile));
                EXPECT_EQ(server->storedRequest(kEmail), "");
            }
            if (command == "get")
                continue;
            const ProcessResult json = run(command, {"--json"});
            EXPECT_EQ(json.status, 9);
            const auto document = nlohmann::json::parse(json.out, nullptr, false);
            ASSERT_FALSE(document.is_discarded()) << json.out;
            EXPECT_EQ(document["error"]["class"], "not_configured");
            const std::string message = document["error"]["message"];
            EXPECT_NE(message.find(fault.named), std::string::npos) << message;
            EXPECT_EQ(message.find_first_of("\r\n"), std::string::npos) << message;
            EXPECT_EQ(message.find("Code:"), std::string::npos) << message;
        }
    }
}

// get tells a page the service does not have from a host that does not exist, and both from a
// proxy that refuses the tunnel.
TEST_F(CliSetup, GetClassifiesWhatWentWrong) {
    struct Case {
        std::string url;
        std::string settings;
        int status;
        std::string message;
    };
    TinyProxy proxy("quser", "qsecret");
    const std::string settings = ReadFile(folder + "CertQuorix.ini");
    const std::string throughProxy = cq::ReplaceText(
        settings, "[Proxy]\r\nUse=0\r\n",
        "[Proxy]\r\nUse=1\r\nServer=127.0.0.1\r\nPort=" + std::to_string(proxy.port()) + "\r\n");
    const Case cases[] = {
        {server->url("/certget/nobody@example.com.crt"), settings, 8,
         "Прерванный запрос HTTP (404)"},
        {"https://cq-test.invalid/x", settings, 7, "адрес сервера не найден"},
        {server->url("/sample?bytes=10"), throughProxy, 7, "Прерванный запрос HTTP (407)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        WriteFile(folder + "CertQuorix.ini", c.settings);
        const ProcessResult result = cli.run({"get", c.url});
        EXPECT_EQ(result.status, c.status) << result.err;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    }
}

// A daily job: the second download of the same certificate changes nothing and succeeds; a
// different certificate in the folder is not replaced without --yes.
TEST_F(CliSetup, DownloadOfTheCertificateInPlaceSucceedsAndSaysSo) {
    ASSERT_EQ(run("request").status, 0);
    server->issue(kEmail);
    ASSERT_EQ(run("download").status, 0);
    const std::string certificate = cli.folder(kEmail) + cq::kCertificateFile;
    const std::string first = ReadFile(certificate);

    const ProcessResult again = run("download");
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_NE(again.out.find("Сертификат уже получен"), std::string::npos) << again.out;
    EXPECT_EQ(ReadFile(certificate), first);
    const ProcessResult json = run("download", {"--json"});
    EXPECT_EQ(json.status, 0) << json.err;
    EXPECT_EQ(nlohmann::json::parse(json.out)["state"], "already_downloaded") << json.out;

    WriteFile(certificate, ReadFile(RetrievalData("other.cer")));
    const ProcessResult other = run("download", {"--json"});
    EXPECT_EQ(other.status, 1) << other.err;
    EXPECT_NE(nlohmann::json::parse(other.out)["error"]["message"].get<std::string>().find("--yes"),
              std::string::npos)
        << other.out;
    EXPECT_EQ(ReadFile(certificate), ReadFile(RetrievalData("other.cer")));
}

} // namespace

namespace {

// The --json error carries the sentence the user reads on stderr, and the failure's class.
TEST(CliJsonErrors, CarryTheReasonAndTheClass) {
    cq::test::TempDir dir;
    const CliProgram cli(dir.path());
    struct Case {
        std::vector<std::string> args;
        std::string input;
        int status;
        std::string failureClass;
        std::string says;
    };
    const Case cases[] = {
        {{"check", "--json"}, "", 2, "bad_input", "--email"},
        {{"status", "--email", "../x@example.ru", "--json"}, "", 2, "bad_input", "адрес"},
        {{"check", "--email", kEmail, "--json"}, "", 2, "bad_input", "Пароль ключа не задан"},
        {{"check", "--email", kEmail, "--password-file", "-", "--json"},
         "",
         2,
         "bad_input",
         "Пароль не задан: стандартный ввод пуст"},
        {{"check", "--email", kEmail, "--password-file", dir / "none", "--json"},
         "",
         2,
         "bad_input",
         "none"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1]);
        const ProcessResult run = cli.run(c.args, {}, c.input);
        EXPECT_EQ(run.status, c.status) << run.err;
        const auto document = nlohmann::json::parse(run.out, nullptr, false);
        ASSERT_FALSE(document.is_discarded()) << run.out;
        EXPECT_EQ(document["error"]["class"], c.failureClass) << run.out;
        const std::string message = document["error"]["message"];
        EXPECT_NE(message.find(c.says), std::string::npos) << message;
        EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
        EXPECT_EQ(message.find_first_of("\r\n"), std::string::npos) << message;
        EXPECT_EQ(message.find("Code:"), std::string::npos) << message;
    }
}

} // namespace
