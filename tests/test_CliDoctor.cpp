// certquorix-cli doctor on a table of broken set-ups against the sandbox service: each names its
// problem; an incomplete set-up ends with 9, a service that cannot be reached with 7, and only a
// whole set-up that reaches the service with 0.
#include "CliFixture.h"
#include "RetrievalFixture.h"
#include "SandboxServer.h"
#include "base/StringUtil.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace cq::test;

using CliDoctor = SandboxSuite;

struct BrokenSetUp {
    const char* what;
    int status;
    const char* failing; // the condition's word under --json; "" for a whole set-up
    std::string says;    // a part of its line
    std::function<void(const CliProgram&, std::string& settings, std::vector<std::string>& env)>
        spoil;
    bool needsNonRoot = false; // permissions do not stop root
};

TEST_F(CliDoctor, EachBrokenSetUpIsNamed) {
    const auto remove = [](const CliProgram& cli, const char* name) {
        std::filesystem::remove(cli.programFolder() + name);
    };
    const BrokenSetUp cases[] = {
        {"whole", 0, "", "OK      Ключ оператора от его сертификата\n", nullptr},
        {"no key", 9, "request_key", "нет файла",
         [&](const CliProgram& cli, std::string&, auto&) {
             remove(cli, "Request.key");
         }},
        {"no certificate", 9, "request_certificate", "Request.cer",
         [&](const CliProgram& cli, std::string&, auto&) {
             remove(cli, "Request.cer");
         }},
        {"key of another pair", 9, "request_pair", "не от сертификата",
         [&](const CliProgram& cli, std::string&, auto&) {
             TempDir other;
             server->writeClientCertificate(other.path(), "Hrkwp(3mzqtbv", true);
             std::filesystem::copy_file(other / "Request.key", cli.programFolder() + "Request.key",
                                        std::filesystem::copy_options::overwrite_existing);
         }},
        {"key unreadable", 9, "request_key", "не читается этим пользователем",
         [&](const CliProgram& cli, std::string&, auto&) {
             std::filesystem::permissions(cli.programFolder() + "Request.key",
                                          std::filesystem::perms::owner_write);
         },
         true},
        {"CA file missing", 9, "ca_file", "CaFile",
         [&](const CliProgram&, std::string& settings, auto&) {
             settings = cq::ReplaceText(settings, server->caFile(), "/nonexistent/ca.crt");
         }},
        {"CA file of garbage", 9, "ca_file", "нет сертификатов",
         [&](const CliProgram& cli, std::string& settings, auto&) {
             WriteFile(cli.programFolder() + "garbage.crt", "not a certificate\n");
             settings = cq::ReplaceText(settings, server->caFile(), "garbage.crt");
         }},
        {"service down", 7, "connection", "сервер не отвечает на соединение",
         [&](const CliProgram&, std::string& settings, auto&) {
             settings = cq::ReplaceText(settings, "localhost:" + std::to_string(server->port()),
                                        "localhost:" + std::to_string(FreeLoopbackPort()));
         }},
        {"dead proxy", 7, "connection", "сервер не отвечает на соединение",
         [&](const CliProgram&, std::string& settings, auto&) {
             settings = cq::ReplaceText(settings, "[Proxy]\r\nUse=0",
                                        "[Proxy]\r\nUse=1\r\nServer=127.0.0.1\r\nPort=" +
                                            std::to_string(FreeLoopbackPort()));
         }},
        {"proxy port", 9, "proxy", "порт прокси \"http\"",
         [&](const CliProgram&, std::string& settings, auto&) {
             settings = cq::ReplaceText(settings, "[Proxy]\r\nUse=0",
                                        "[Proxy]\r\nUse=1\r\nServer=proxy.example\r\nPort=http");
         }},
        {"GOST engine", 9, "gost_engine", "не загружается",
         [&](const CliProgram&, std::string&, std::vector<std::string>& env) {
             env.push_back("CERTQUORIX_GOST_ENGINE=/nonexistent/gost.so");
         }},
        {"no openssl", 9, "openssl", "openssl не найдена",
         [&](const CliProgram& cli, std::string&, std::vector<std::string>& env) {
             env.push_back("PATH=" + cli.bin.path());
         }},
        {"settings read-only", 9, "settings_file", "для чтения и записи",
         [&](const CliProgram& cli, std::string&, auto&) {
             std::filesystem::permissions(cli.programFolder() + "CertQuorix.ini",
                                          std::filesystem::perms::owner_read);
         },
         true},
    };
    for (const BrokenSetUp& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.needsNonRoot && ::geteuid() == 0)
            continue;
        TempDir program;
        server->writeClientCertificate(program.path());
        const CliProgram cli(program.path());
        std::string settings = SandboxClient(*server).settingsFile();
        std::vector<std::string> environment;
        if (c.spoil)
            c.spoil(cli, settings, environment);
        WriteFile(program / "CertQuorix.ini", settings);
        if (std::string(c.what) == "settings read-only")
            c.spoil(cli, settings, environment);

        const ProcessResult run = cli.run({"doctor"}, environment);
        EXPECT_EQ(run.status, c.status) << run.out << run.err;
        EXPECT_NE(run.out.find(c.says), std::string::npos) << run.out;

        const ProcessResult json = cli.run({"doctor", "--json"}, environment);
        const auto document = nlohmann::json::parse(json.out, nullptr, false);
        ASSERT_FALSE(document.is_discarded()) << json.out;
        EXPECT_EQ(document["ok"], !*c.failing);
        EXPECT_EQ(json.status, c.status);
        for (const auto& check : document["checks"]) {
            if (check.contains("skipped"))
                continue; // no connection is tried while the set-up is incomplete
            const bool named = check["name"] == c.failing;
            if (named) {
                EXPECT_NE(check["problem"].get<std::string>().find(c.says), std::string::npos);
            }
            // pk12util is optional; the pair is not checked while a file of it is missing.
            if (check["name"] != "pk12util" && check["name"] != "request_pair") {
                EXPECT_EQ(check["ok"], !named) << check.dump();
            }
        }
    }
}

} // namespace

namespace {

// A home the user cannot write: commands that only read still work, and doctor reads the
// administrator's file, finds the operator's files and addresses there, reaches the service and
// names only the settings file it cannot make.
TEST_F(CliDoctor, ReadOnlyHomeLeavesReadingCommandsWorking) {
    TempDir top;
    ::chmod(top.path().c_str(), 0755);
    const std::string folder = top / "program/";
    const std::string home = top / "home";
    std::filesystem::create_directories(folder);
    std::filesystem::create_directories(home);
    server->writeClientCertificate(folder);
    std::filesystem::copy_file(server->caFile(), folder + "ca.crt");
    const std::string settings =
        cq::ReplaceText(SandboxClient(*server).settingsFile(), server->caFile(), "ca.crt");
    WriteFile(folder + "CertQuorix.ini",
              "[Common]\r\ninFile=%HOME%/.local/share/CertQuorix/CertQuorix.ini\r\n" + settings);
    for (const std::string& path : {folder, home})
        ::chmod(path.c_str(), 0555);
    for (const char* file : {"Request.cer", "Request.key", "ca.crt", "CertQuorix.ini"})
        ::chmod((folder + file).c_str(), 0644);
    CliProgram cli(folder);
    if (::geteuid() == 0) // permissions do not stop root: the tool runs as nobody
        cli.runner = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
    const std::vector<std::string> environment = {"HOME=" + home, "XDG_DATA_HOME"};

    for (const char* command : {"list", "settings", "version"}) {
        const ProcessResult run = cli.run({command}, environment);
        EXPECT_EQ(run.status, 0) << command << ": " << run.err;
        EXPECT_EQ(run.err, "Журнал не ведётся: Директория для лога не была создана! С ошибкой : "
                           "Отказано в доступе.\n")
            << command;
    }

    const ProcessResult doctor = cli.run({"doctor", "--json"}, environment);
    EXPECT_EQ(doctor.status, 9) << doctor.out << doctor.err;
    const auto document = nlohmann::json::parse(doctor.out, nullptr, false);
    ASSERT_FALSE(document.is_discarded()) << doctor.out;
    std::set<std::string> failing;
    for (const auto& check : document["checks"])
        if (!check.value("ok", true))
            failing.insert(check["name"]);
    EXPECT_EQ(failing, std::set<std::string>{"settings_file"}) << doctor.out;
    const ProcessResult text = cli.run({"doctor"}, environment);
    EXPECT_NE(text.out.find("OK      Соединение с https://localhost:"), std::string::npos)
        << text.out;
    EXPECT_NE(
        text.out.find("OK      Адрес UrlRequestRSACertificate (" + folder + "CertQuorix.ini)"),
        std::string::npos)
        << text.out;
    for (const std::string& path : {folder, home})
        ::chmod(path.c_str(), 0755);
}

} // namespace
