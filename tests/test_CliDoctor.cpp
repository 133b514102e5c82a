// certquorix-cli doctor on a table of broken set-ups: each names its problem, and only a whole
// set-up ends with status 0.
#include "CliFixture.h"
#include "RetrievalFixture.h"
#include "SandboxServer.h"
#include "base/StringUtil.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <nlohmann/json.hpp>
#include <unistd.h>

namespace {

using namespace cq::test;

using CliDoctor = SandboxSuite;

struct BrokenSetUp {
    const char* what;
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
        {"whole", "", "OK      Ключ оператора от его сертификата\n", nullptr},
        {"no key", "request_key", "нет файла",
         [&](const CliProgram& cli, std::string&, auto&) {
             remove(cli, "Request.key");
         }},
        {"no certificate", "request_certificate", "Request.cer",
         [&](const CliProgram& cli, std::string&, auto&) {
             remove(cli, "Request.cer");
         }},
        {"key of another pair", "request_pair", "не от сертификата",
         [&](const CliProgram& cli, std::string&, auto&) {
             TempDir other;
             server->writeClientCertificate(other.path(), "Hrkwp(3mzqtbv", true);
             std::filesystem::copy_file(other / "Request.key", cli.programFolder() + "Request.key",
                                        std::filesystem::copy_options::overwrite_existing);
         }},
        {"key unreadable", "request_key", "не читается этим пользователем",
         [&](const CliProgram& cli, std::string&, auto&) {
             std::filesystem::permissions(cli.programFolder() + "Request.key",
                                          std::filesystem::perms::owner_write);
         },
         true},
        {"CA file missing", "ca_file", "CaFile",
         [&](const CliProgram&, std::string& settings, auto&) {
             settings = cq::ReplaceText(settings, server->caFile(), "/nonexistent/ca.crt");
         }},
        {"proxy port", "proxy", "порт прокси \"http\"",
         [&](const CliProgram&, std::string& settings, auto&) {
             settings = cq::ReplaceText(settings, "[Proxy]\r\nUse=0",
                                        "[Proxy]\r\nUse=1\r\nServer=proxy.example\r\nPort=http");
         }},
        {"GOST engine", "gost_engine", "не загружается",
         [&](const CliProgram&, std::string&, std::vector<std::string>& env) {
             env.push_back("CERTQUORIX_GOST_ENGINE=/nonexistent/gost.so");
         }},
        {"no openssl", "openssl", "openssl не найдена",
         [&](const CliProgram& cli, std::string&, std::vector<std::string>& env) {
             env.push_back("PATH=" + cli.bin.path());
         }},
        {"settings read-only", "settings_file", "для чтения и записи",
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
        EXPECT_EQ(run.status, *c.failing ? 9 : 0) << run.out << run.err;
        EXPECT_NE(run.out.find(c.says), std::string::npos) << run.out;

        const ProcessResult json = cli.run({"doctor", "--json"}, environment);
        const auto document = nlohmann::json::parse(json.out, nullptr, false);
        ASSERT_FALSE(document.is_discarded()) << json.out;
        EXPECT_EQ(document["ok"], !*c.failing);
        for (const auto& check : document["checks"]) {
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
