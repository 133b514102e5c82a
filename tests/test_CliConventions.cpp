// The command line's conventions: "--opt=value" and "--opt value" alike, "-" for standard input,
// short forms, an explicit option beating the environment, and anything unknown refused by name
// with status 2 before any settings or log are touched.
#include "CliFixture.h"
#include "RetrievalFixture.h"
#include "settings/CertFolders.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace {

using namespace cq::test;

class CliConventions : public ::testing::Test {
protected:
    CertificateFolderFixture fixture; // ivan@example.ru with a certificate and its key
    CliProgram cli{fixture.programFolder()};
};

TEST_F(CliConventions, UnknownOrIncompleteArgumentsAreRefusedByName) {
    struct Case {
        std::vector<std::string> args;
        std::string named; // what the message on stderr must name
    };
    const Case cases[] = {
        {{"frobnicate"}, "Неизвестная команда: frobnicate"},
        {{"--frobnicate"}, "Неизвестный параметр: --frobnicate"},
        {{}, "Не указана команда."},
        {{"download", "--email", kFixtureEmail, "--bogus"}, "Неизвестный параметр: --bogus"},
        {{"export", "--email", kFixtureEmail, "--no-opn"}, "Неизвестный параметр: --no-opn"},
        {{"export", "--email=" + std::string(kFixtureEmail), "--jsn"},
         "Неизвестный параметр: --jsn"},
        {{"check", "--email"}, "Параметру --email нужно значение."},
        {{"list", "--json=yes"}, "Параметр --json не принимает значения."},
        {{"get", "https://a.example/", "https://b.example/"},
         "Лишний аргумент команды get: https://b.example/"},
        {{"get"}, "Команде get не хватает аргумента."},
        {{"check", "--email", kFixtureEmail, "--password", "x"},
         "Пароль не передаётся в командной строке"},
        {{"list", "-x"}, "Неизвестный параметр: -x"},
    };
    for (const Case& c : cases) {
        const ProcessResult run = cli.run(c.args);
        SCOPED_TRACE(c.named);
        EXPECT_EQ(run.status, 2) << run.err;
        EXPECT_NE(run.err.find(c.named), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
    }
    // Asked for a document, the refusal is one too.
    const ProcessResult json = cli.run({"list", "--jsn", "--json"});
    EXPECT_EQ(json.status, 2);
    EXPECT_NE(json.out.find("\"code\": \"usage\""), std::string::npos) << json.out;
    // Refused before anything was set up: no log folder in the user's home.
    EXPECT_FALSE(std::filesystem::exists(cli.home / "CertQuorix"));
}

TEST_F(CliConventions, TheExplicitPasswordSourceBeatsTheEnvironment) {
    fixture.put("user.cer", cq::kCertificateFile);
    fixture.put("user-des3.key", cq::kCertificateKeyFile);
    const std::string right = kFixturePassword;
    const std::string wrong = right + "x";
    WriteFile(cli.home / "right", right + "\n");
    WriteFile(cli.home / "wrong", wrong + "\n");
    struct Case {
        const char* what;
        std::vector<std::string> options;
        std::string variable; // CERTQUORIX_PASSWORD, or "" for none
        std::string input;    // standard input
        int status;
    };
    const Case cases[] = {
        {"file beats variable", {"--password-file", cli.home / "right"}, wrong, "", 0},
        {"file=value form", {"--password-file=" + (cli.home / "right")}, wrong, "", 0},
        {"wrong file beats right variable", {"--password-file", cli.home / "wrong"}, right, "", 6},
        {"dash is standard input", {"--password-file", "-"}, wrong, right + "\n", 0},
        {"dash=form", {"--password-file=-"}, wrong, right + "\n", 0},
        {"missing file is no fallback", {"--password-file", cli.home / "none"}, right, "", 2},
        {"variable alone", {}, right, "", 0},
        {"variable alone, wrong", {}, wrong, "", 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> args = {"check", "-q", "--email=" + std::string(kFixtureEmail)};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const std::vector<std::string> environment = {
            c.variable.empty() ? "CERTQUORIX_PASSWORD" : "CERTQUORIX_PASSWORD=" + c.variable};
        const ProcessResult run = cli.run(args, environment, c.input);
        // The fixture certificate has expired long ago: a passed check ends with status 4.
        EXPECT_EQ(run.status == 4 ? 0 : run.status, c.status) << run.err << run.out;
    }
}

TEST_F(CliConventions, ShortFormsAndHelpAnywhere) {
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out; // the start of standard output
    };
    const Case cases[] = {
        {{"-h"}, 0, "Использование: certquorix-cli КОМАНДА"},
        {{"list", "-h", "--bogus"}, 0, "Использование: certquorix-cli list"},
        {{"-q", "list"}, 0, ""},
        {{"list", "--quiet", "-y", "-v"}, 0, ""},
    };
    for (const Case& c : cases) {
        const ProcessResult run = cli.run(c.args);
        SCOPED_TRACE(c.args.front());
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_EQ(run.out.substr(0, c.out.size()), c.out);
    }
}

} // namespace
