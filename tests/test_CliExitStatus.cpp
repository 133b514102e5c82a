// Each kind of failure ends certquorix-cli with a status of its own, and under --json with an
// error document naming it, against the sandbox service.
#include "CliFixture.h"
#include "RetrievalFixture.h"
#include "SandboxServer.h"
#include "base/StringUtil.h"
#include "settings/CertFolders.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <nlohmann/json.hpp>

namespace {

using namespace cq::test;

class CliExitStatus : public SandboxSuite {
protected:
    void TearDown() override { server->setFault(""); }
};

/// One failure: how the set-up is spoilt after the request went in, the command that meets it.
struct FailureCase {
    const char* kind; // the error code's word under --json
    int status;
    std::string command;
    std::string message; // a part of the message on stderr
    std::function<void(const CliProgram&, std::string& settings)> spoil;
};

TEST_F(CliExitStatus, EachFailureKindHasItsStatus) {
    std::string email; // one address a case: the service keeps each address's request
    const auto issue = [&](const CliProgram& cli, bool expired) {
        server->issue(email, expired);
        ASSERT_EQ(cli.run({"download", "--email", email}).status, 0);
    };
    const auto replace = [](std::string& text, const std::string& from, const std::string& to) {
        text = cq::ReplaceText(text, from, to);
    };
    const FailureCase cases[] = {
        {"not_issued", 3, "download", "Сертификат еще не готов", nullptr},
        {"refused", 8, "download", "Прерванный запрос HTTP (500)",
         [&](const CliProgram&, std::string&) {
             server->setFault("status500");
         }},
        {"network", 7, "download", "Ошибка соединения с сервисом: сервер не отвечает",
         [&](const CliProgram&, std::string& settings) {
             replace(settings, "localhost:" + std::to_string(server->port()),
                     "localhost:" + std::to_string(FreeLoopbackPort()));
         }},
        {"network", 7, "download", "сертификат сервера не прошёл проверку",
         [&](const CliProgram&, std::string& settings) {
             replace(settings, server->caFile(), RetrievalData("ca.crt"));
         }},
        {"setup_incomplete", 9, "download", "Программа не настроена",
         [&](const CliProgram& cli, std::string&) {
             std::filesystem::remove(cli.programFolder() + "Request.key");
         }},
        {"wrong_password", 6, "check", "Неверный пароль сертификата.",
         [&](const CliProgram& cli, std::string&) {
             issue(cli, false);
             WriteFile(cli.home / "password", "not the password");
         }},
        {"mismatch", 5, "check", "не соответствует файлу ключа",
         [&](const CliProgram& cli, std::string&) {
             issue(cli, false);
             WriteFile(cli.folder(email) + cq::kCertificateFile,
                       ReadFile(RetrievalData("other.cer")));
         }},
        {"expired", 4, "check", "",
         [&](const CliProgram& cli, std::string&) {
             issue(cli, true);
         }},
    };
    int number = 0;
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.message);
        email = "olga" + std::to_string(++number) + "@example.ru";
        SandboxClient client(*server);
        const CliProgram cli(client.programFolder());
        std::string settings = client.settingsFile();
        server->setFault("");
        client.request(email, kFixturePassword);
        WriteFile(cli.home / "password", kFixturePassword);
        WriteFile(client.programFolder() + "CertQuorix.ini", settings);
        if (c.spoil)
            c.spoil(cli, settings);
        WriteFile(client.programFolder() + "CertQuorix.ini", settings);
        const std::vector<std::string> args = {c.command, "--email", email, "--password-file",
                                               cli.home / "password"};
        const std::vector<std::string> used =
            c.command == "check" ? args : std::vector<std::string>(args.begin(), args.begin() + 3);
        const ProcessResult run = cli.run(used);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;

        std::vector<std::string> withJson = used;
        withJson.push_back("--json");
        const ProcessResult json = cli.run(withJson);
        EXPECT_EQ(json.status, c.status) << json.err;
        const auto document = nlohmann::json::parse(json.out, nullptr, false);
        ASSERT_FALSE(document.is_discarded()) << json.out;
        if (c.status == 4) {
            EXPECT_EQ(document.value("state", ""), "expired") << json.out;
            continue;
        }
        EXPECT_EQ(document["error"]["code"], c.kind) << json.out;
        EXPECT_EQ(document["error"]["exit_status"], c.status) << json.out;
        const std::string failureClass =
            c.status == 9 ? "not_configured" : std::string(c.kind); // the others share the word
        EXPECT_EQ(document["error"]["class"], failureClass) << json.out;
        EXPECT_NE(document["error"]["message"].get<std::string>().find(c.message),
                  std::string::npos)
            << json.out;
    }
}

} // namespace
