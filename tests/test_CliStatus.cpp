// certquorix-cli status and the --json documents of the road (request, download, status,
// version, providers), read back and held against openssl's view of the same files.
#include "CliFixture.h"
#include "RetrievalFixture.h"
#include "SandboxServer.h"
#include "base/StringUtil.h"
#include "settings/CertFolders.h"

#include <gtest/gtest.h>
#include <memory>
#include <nlohmann/json.hpp>

namespace {

using namespace cq::test;
using Json = nlohmann::json;

class CliStatus : public SandboxSuite {
protected:
    void SetUp() override {
        WriteFile(client.programFolder() + "CertQuorix.ini", client.settingsFile());
        WriteFile(cli.home / "password", kFixturePassword);
    }

    /// The document a run printed; a failed parse fails the test.
    static Json Document(const ProcessResult& run) {
        const Json document = Json::parse(run.out, nullptr, false);
        EXPECT_FALSE(document.is_discarded()) << run.out << run.err;
        return document;
    }

    /// One field of `openssl x509 -noout -<option>` ("serial=ABC" gives "ABC").
    static std::string OpensslField(const std::string& file, const std::string& option,
                                    const std::string& digest = "-sha1") {
        const std::string out =
            RunProcess({"openssl", "x509", "-noout", digest, "-" + option, "-in", file}).out;
        return cq::Trim(out.substr(out.find('=') + 1));
    }

    SandboxClient client{*server};
    CliProgram cli{client.programFolder()};
    const std::string email = "pavel@example.ru";
};

TEST_F(CliStatus, DocumentsOfTheRoadAgreeWithOpenssl) {
    ProcessResult run = cli.run({"request", "--email", email, "--common-name", "Pavel Orlov",
                                 "--password-file", cli.home / "password", "--json"});
    ASSERT_EQ(run.status, 0) << run.err;
    Json document = Document(run);
    EXPECT_EQ(document["state"], "requested");
    EXPECT_EQ(document["key_file"], cli.folder(email) + cq::kCertificateKeyFile);

    server->issue(email);
    run = cli.run({"download", "--email", email, "--json"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string certificate = cli.folder(email) + cq::kCertificateFile;
    EXPECT_EQ(Document(run)["certificate_file"], certificate);

    run = cli.run({"status", "--email", email, "--password-file", cli.home / "password", "--json"});
    ASSERT_EQ(run.status, 0) << run.err;
    document = Document(run);
    EXPECT_EQ(document["state"], "valid");
    EXPECT_EQ(document["key_matches"], true);
    EXPECT_EQ(document["serial"], OpensslField(certificate, "serial"));
    EXPECT_EQ(document["sha256"], OpensslField(certificate, "fingerprint", "-sha256"));
    EXPECT_EQ(document["key_algorithm"], "RSA");
    EXPECT_EQ(document["key_bits"], 1024);
    EXPECT_NE(document["subject"].get<std::string>().find("CN=Pavel Orlov"), std::string::npos);
    EXPECT_NE(document["issuer"].get<std::string>().find("CN="), std::string::npos);
    // openssl prints "Dec 10 16:45:12 2027 GMT"; the document the same moment in ISO 8601.
    const std::string end =
        RunProcess({"date", "-u", "-d", OpensslField(certificate, "enddate"), "+%FT%TZ"}).out;
    EXPECT_EQ(document["not_after"].get<std::string>() + "\n", end);
    EXPECT_GE(document["days_left"].get<int>(), 364);
    EXPECT_EQ(document["key_file"], cli.folder(email) + cq::kCertificateKeyFile);

    // The same facts as lines for a person.
    run = cli.run({"status", "--email", email, "--password-file", cli.home / "password"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("Серийный номер: " + OpensslField(certificate, "serial") + "\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("Ключ соответствует сертификату: да\n"), std::string::npos);
    run = cli.run({"status", "-q", "--email", email, "--password-file", cli.home / "password"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "") << "--quiet shows errors only";

    // Another certificate in the folder: the facts are still told, the key does not match.
    WriteFile(certificate, ReadFile(RetrievalData("other.cer")));
    run = cli.run({"status", "--email", email, "--password-file", cli.home / "password", "--json"});
    EXPECT_EQ(run.status, 5) << run.err;
    document = Document(run);
    EXPECT_EQ(document["state"], "mismatch");
    EXPECT_EQ(document["key_matches"], false);
    EXPECT_EQ(document["serial"], OpensslField(certificate, "serial"));
}

TEST_F(CliStatus, VersionProvidersAndTheVerboseLog) {
    ProcessResult run = cli.run({"version", "--json"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Document(run)["program_folder"], cli.programFolder());

    run = cli.run({"providers", "--json"});
    const Json providers = Document(run);
    if (run.status == 0)
        EXPECT_TRUE(providers["providers"].is_array());
    else
        EXPECT_TRUE(providers.contains("error")) << run.out;

    // -q: the success line is left out.
    run = cli.run({"request", "-q", "--email", email, "--password-file", cli.home / "password"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");
    // -v: this run's log records follow on stderr, the failure's record among them.
    server->issue(email);
    ASSERT_EQ(cli.run({"download", "--email", email}).status, 0);
    WriteFile(cli.home / "wrong", "wrong");
    run = cli.run({"check", "-v", "--email", email, "--password-file", cli.home / "wrong"});
    EXPECT_EQ(run.status, 6);
    EXPECT_NE(run.err.find("Проверка сертификата <!>Exception<!> Неверный пароль сертификата."),
              std::string::npos)
        << run.err;
}

// The key size: the option, the settings' key, and sizes outside the allowed ones refused.
TEST_F(CliStatus, KeyBitsFromTheOptionOrTheSettings) {
    struct Case {
        std::string email;
        std::string settingsKey; // [Cert] RsaKeyBits, "" for none
        std::vector<std::string> option;
        int status;
        int bits;            // the issued certificate's key size, when the request went in
        std::string refusal; // a part of the message otherwise
    };
    const Case cases[] = {
        {"bits1@example.ru", "", {}, 0, 1024, ""},
        {"bits2@example.ru", "", {"--key-bits", "2048"}, 0, 2048, ""},
        {"bits3@example.ru", "3072", {}, 0, 3072, ""},
        {"bits4@example.ru", "3072", {"--key-bits=1024"}, 0, 1024, ""},
        {"bits5@example.ru", "", {"--key-bits", "1000"}, 2, 0, "(--key-bits) 1000 не допускается"},
        {"bits6@example.ru", "1000", {}, 1, 0, "RsaKeyBits раздела [Cert]) не допускается"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.email);
        std::string settings = client.settingsFile();
        if (!c.settingsKey.empty())
            settings += "[Cert]\r\nRsaKeyBits=" + c.settingsKey + "\r\n";
        WriteFile(client.programFolder() + "CertQuorix.ini", settings);
        std::vector<std::string> args = {"request", "--email", c.email, "--password-file",
                                         cli.home / "password"};
        args.insert(args.end(), c.option.begin(), c.option.end());
        ProcessResult run = cli.run(args);
        EXPECT_EQ(run.status, c.status) << run.err;
        if (c.status != 0) {
            EXPECT_NE(run.err.find(c.refusal), std::string::npos) << run.err;
            continue;
        }
        server->issue(c.email);
        ASSERT_EQ(cli.run({"download", "--email", c.email}).status, 0);
        run = cli.run(
            {"status", "--email", c.email, "--password-file", cli.home / "password", "--json"});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(Document(run)["key_bits"], c.bits);
        const std::string bits = RunProcess({"openssl", "x509", "-noout", "-text", "-in",
                                             cli.folder(c.email) + cq::kCertificateFile})
                                     .out;
        EXPECT_NE(bits.find("(" + std::to_string(c.bits) + " bit)"), std::string::npos);
    }
}

} // namespace
