// GOST key and certificate out as PKCS#12 and back in, through certquorix-cli against the sandbox
// service: the file opens in the openssl tool with the GOST engine and its key signs what its
// certificate verifies; brought into a fresh data folder it passes the check; and what the
// import refuses.
#include "CliFixture.h"
#include "RequestChecks.h"
#include "SandboxServer.h"
#include "TestSupport.h"
#include "TestTokenFolder.h"
#include "base/IniFile.h"
#include "base/KillPoint.h"
#include "certs/GostPkcs12.h"
#include "certs/Pkcs12Export.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <memory>
#include <sys/stat.h>

namespace cq {
namespace {

using test::ProcessResult;
using test::SandboxServer;

constexpr const char* kEmail = "ivan.petrov@mail.example";

/// A program folder with its own data folder, settings for the sandbox service and both
/// passwords given unless a run says otherwise.
class Workstation {
public:
    explicit Workstation(SandboxServer& server) {
        cli.installServiceFiles(server);
        cli.writeServiceSettings(server,
                                 {{"UrlRequestGostCertificate", server.url("/gost/requp/")},
                                  {"UrlReceiveGostCertificate", server.url("/gost/certget/")}});
        cli.baseEnvironment = {"CERTQUORIX_CONTAINER_PASSWORD=pw", "CERTQUORIX_PASSWORD=export-pw"};
    }
    std::string folder() const { return cli.folder(kEmail); }
    test::TempDir dir;
    test::CliProgram cli{dir.path()};
};

class CliGostPkcs12Test : public test::SandboxSuite {
protected:
    /// Request, issue and download on the first workstation; the export's path.
    std::string exported(std::vector<std::string> requestEnvironment = {}) {
        server->setFault("");
        ProcessResult run = first.cli.run(
            {"request", "--gost", "--email", kEmail, "--country", "RU", "--state", "Moscow region",
             "--locality", "Moscow", "--organization", "Firm Ltd", "--common-name", "Ivan Petrov"},
            requestEnvironment);
        EXPECT_EQ(run.status, 0) << run.out << run.err;
        server->issue(kEmail);
        run = first.cli.run({"download", "--email", kEmail}, requestEnvironment);
        EXPECT_EQ(run.status, 0) << run.err;
        return first.folder() + "Certificate.p12";
    }

    Workstation first{*server};
    Workstation second{*server};
};

TEST_F(CliGostPkcs12Test, ExportOpensInOpensslAndImportPassesTheCheck) {
    const std::string p12 = exported();
    ProcessResult run = first.cli.run({"export", "--email", kEmail, "--no-open"});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(run.out, p12 + "\n");
    struct stat info {};
    ASSERT_EQ(::stat(p12.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    // The GOST algorithms the engine writes, and a file the tool opens with the password.
    test::WriteFile(first.dir / "pw", "export-pw");
    const std::string passin = "file:" + (first.dir / "pw");
    const test::ToolResult described = test::Openssl(
        {"pkcs12", "-engine", "gost", "-in", p12, "-info", "-noout", "-passin", passin});
    EXPECT_NE(described.err.find("MAC: GOST R 34.11-2012 with 512 bit hash"), std::string::npos)
        << described.err;
    EXPECT_NE(described.err.find("Shrouded Keybag: PBES2, PBKDF2, gost89"), std::string::npos)
        << described.err;
    const test::ToolResult key =
        test::Openssl({"pkcs12", "-engine", "gost", "-in", p12, "-nocerts", "-nodes", "-passin",
                       passin, "-out", first.dir / "key.pem"});
    ASSERT_EQ(key.status, 0) << key.err;
    const test::ToolResult certificate =
        test::Openssl({"pkcs12", "-engine", "gost", "-in", p12, "-nokeys", "-passin", passin,
                       "-out", first.dir / "cert.pem"});
    ASSERT_EQ(certificate.status, 0) << certificate.err;
    test::WriteFile(first.dir / "data", "signed by the exported key");
    ASSERT_EQ(test::Openssl({"dgst", "-engine", "gost", "-md_gost12_256", "-sign",
                             first.dir / "key.pem", "-out", first.dir / "sig", first.dir / "data"})
                  .status,
              0);
    ASSERT_EQ(test::Openssl({"x509", "-engine", "gost", "-in", first.dir / "cert.pem", "-pubkey",
                             "-noout", "-out", first.dir / "pub.pem"})
                  .status,
              0);
    const test::ToolResult verified =
        test::Openssl({"dgst", "-engine", "gost", "-md_gost12_256", "-verify",
                       first.dir / "pub.pem", "-signature", first.dir / "sig", first.dir / "data"});
    EXPECT_NE(verified.out.find("Verified OK"), std::string::npos) << verified.out << verified.err;

    // Brought into a fresh data folder, under a container password of its own.
    run = second.cli.run({"import", "--email", kEmail, p12}, {"CERTQUORIX_CONTAINER_PASSWORD=new"});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(IniFile::Load(second.folder() + "Request.ini").ReadString("Cert", "Container") + "\n",
              run.out.substr(run.out.find("QUORIX_R"), 26));
    run = second.cli.run({"check", "--email", kEmail}, {"CERTQUORIX_CONTAINER_PASSWORD=pw"});
    EXPECT_EQ(run.status, 6) << "the new container has its own password";
    run = second.cli.run({"check", "--email", kEmail}, {"CERTQUORIX_CONTAINER_PASSWORD=new"});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("Имя : Ivan Petrov"), std::string::npos) << run.out;
    run = second.cli.run({"list"});
    EXPECT_NE(run.out.find(kEmail), std::string::npos) << run.out;
    // And out again from there.
    run = second.cli.run({"export", "--email", kEmail, "--no-open"},
                         {"CERTQUORIX_CONTAINER_PASSWORD=new"});
    EXPECT_EQ(run.status, 0) << run.err;
}

TEST_F(CliGostPkcs12Test, ImportRefusals) {
    const std::string p12 = exported();
    ASSERT_EQ(first.cli.run({"export", "--email", kEmail, "--no-open"}).status, 0);
    // An RSA file made by the openssl tool.
    ASSERT_EQ(test::Openssl({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=R",
                             "-keyout", second.dir / "rsa.key", "-out", second.dir / "rsa.cer"})
                  .status,
              0);
    ASSERT_EQ(test::Openssl({"pkcs12", "-export", "-in", second.dir / "rsa.cer", "-inkey",
                             second.dir / "rsa.key", "-passout", "pass:export-pw", "-out",
                             second.dir / "rsa.p12"})
                  .status,
              0);
    test::WriteFile(second.dir / "junk.p12", "not a PKCS#12 file");
    struct Case {
        const char* name;
        std::vector<std::string> args;
        std::vector<std::string> environment;
        int status;
        const char* says;
    };
    const std::vector<Case> cases = {
        {"RSA file", {"import", "--email", kEmail, second.dir / "rsa.p12"}, {}, 1, "ключ RSA"},
        {"not PKCS#12",
         {"import", "--email", kEmail, second.dir / "junk.p12"},
         {},
         1,
         "не является файлом PKCS#12"},
        {"wrong password",
         {"import", "--email", kEmail, p12},
         {"CERTQUORIX_PASSWORD=wrong"},
         6,
         "неверный пароль"},
        {"unknown option", {"import", "--email", kEmail, p12, "--force"}, {}, 2, "--force"},
        {"no file", {"import", "--email", kEmail}, {}, 2, "Команде import не хватает аргумента."},
        // No container password and no terminal: the dialog counts as cancelled.
        {"cancelled container password",
         {"import", "--email", kEmail, p12},
         {"CERTQUORIX_CONTAINER_PASSWORD"},
         2,
         ""},
        {"existing folder", {"import", "--email", kEmail, p12}, {}, 1, "укажите --yes"},
    };
    for (const Case& refusal : cases) {
        SCOPED_TRACE(refusal.name);
        if (std::string(refusal.name) == "existing folder")
            ASSERT_EQ(second.cli.run({"import", "--email", kEmail, p12}).status, 0);
        else
            EXPECT_FALSE(std::filesystem::exists(second.folder()));
        std::vector<std::string> environment = refusal.environment;
        const ProcessResult run = second.cli.run(refusal.args, environment);
        EXPECT_EQ(run.status, refusal.status) << run.out << run.err;
        EXPECT_NE(run.err.find(refusal.says), std::string::npos) << run.err;
        if (std::string(refusal.name) != "existing folder") {
            EXPECT_FALSE(std::filesystem::exists(second.folder()));
            EXPECT_FALSE(std::filesystem::exists(second.cli.home / "CertQuorix/containers"));
        }
    }
    // --yes replaces the folder with the file's pair.
    EXPECT_EQ(second.cli.run({"import", "--email", kEmail, p12, "--yes"}).status, 0);
    EXPECT_EQ(second.cli.run({"check", "--email", kEmail}).status, 0);
}

// An import over an earlier pair killed at any step that changes a file: the next operation
// finds the older record and certificate or the new ones, never the record of one container
// with the certificate of the other.
TEST_F(CliGostPkcs12Test, ImportKilledAnywhereLeavesTheOlderPairOrTheNewOne) {
    const std::string p12 = exported();
    ASSERT_EQ(first.cli.run({"export", "--email", kEmail, "--no-open"}).status, 0);
    std::filesystem::copy_file(p12, first.dir / "one.p12");
    // A second pair of the same address: a repeat request on the first workstation.
    ASSERT_EQ(first.cli
                  .run({"request", "--gost", "--yes", "--email", kEmail, "--country", "RU",
                        "--state", "Moscow region", "--locality", "Moscow", "--organization",
                        "Firm Ltd", "--common-name", "Ivan Petrov"})
                  .status,
              0);
    server->issue(kEmail);
    ASSERT_EQ(first.cli.run({"download", "--yes", "--email", kEmail}).status, 0);
    ASSERT_EQ(first.cli.run({"export", "--email", kEmail, "--no-open"}).status, 0);
    std::filesystem::copy_file(p12, first.dir / "two.p12");

    ASSERT_EQ(second.cli.run({"import", "--email", kEmail, first.dir / "one.p12"}).status, 0);
    for (const char* point : {"request-journal-written", "request-file-put", "request-accepted",
                              "request-backup-dropped", "request-files-put"}) {
        SCOPED_TRACE(point);
        const ProcessResult killed =
            second.cli.run({"import", "--yes", "--email", kEmail, first.dir / "two.p12"},
                           {std::string(kKillPointVariable) + "=" + point});
        EXPECT_EQ(killed.status, 128 + SIGKILL) << killed.err;
        const ProcessResult check = second.cli.run({"check", "--email", kEmail});
        EXPECT_EQ(check.status, 0) << check.err;
        for (const auto& entry : std::filesystem::directory_iterator(second.folder()))
            EXPECT_EQ(entry.path().string().find(".bak"), std::string::npos) << entry.path();
        ASSERT_EQ(
            second.cli.run({"import", "--yes", "--email", kEmail, first.dir / "one.p12"}).status,
            0);
    }
}

TEST_F(CliGostPkcs12Test, KeyOnATokenIsNotExported) {
    test::TestTokenFolder token;
    const std::vector<std::string> onToken = {
        token.environment(), std::string("CERTQUORIX_PKCS11_MODULE=") + test::TestTokenModule(),
        "CERTQUORIX_TOKEN_PIN=1234"};
    server->setFault("");
    ProcessResult run =
        first.cli.run({"request", "--gost", "--provider", "Ivanov (QX-2)", "--email", kEmail,
                       "--country", "RU", "--state", "Moscow", "--locality", "Moscow",
                       "--organization", "Firm", "--common-name", "Ivan"},
                      onToken);
    ASSERT_EQ(run.status, 0) << run.err;
    server->issue(kEmail);
    ASSERT_EQ(first.cli.run({"download", "--email", kEmail}, onToken).status, 0);
    run = first.cli.run({"export", "--email", kEmail, "--no-open"}, onToken);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("хранится на токене \"Ivanov (QX-2)\" и не извлекается"),
              std::string::npos)
        << run.err;
    EXPECT_FALSE(std::filesystem::exists(first.folder() + "Certificate.p12"));
}

// The export checks the certificate against the key, then reads the key: a container password
// typed at the console is asked once for both.
TEST_F(CliGostPkcs12Test, ContainerPasswordTypedOnceForTheExport) {
    const std::string p12 = exported();
    test::TerminalProgram cli = first.cli.startAtTerminal(
        {"export", "--email", kEmail, "--no-open"}, {"CERTQUORIX_CONTAINER_PASSWORD"});
    ASSERT_TRUE(cli.waitForOutput("Пароль контейнера ")) << cli.output();
    ASSERT_TRUE(cli.waitForEchoOff());
    cli.type("pw\r");
    EXPECT_TRUE(cli.waitForOutput(p12)) << cli.output();
    EXPECT_EQ(cli.wait(), 0) << cli.output();
    const std::string& output = cli.output();
    EXPECT_EQ(output.find("Пароль контейнера "), output.rfind("Пароль контейнера ")) << output;
}

// Both ciphers, from the option and from the settings: the openssl tool with the GOST engine
// names the protection, takes the key out, and the key is the certificate's; the import reads
// the file back.
TEST_F(CliGostPkcs12Test, ExportCiphersOpenInOpenssl) {
    const std::string p12 = exported();
    test::WriteFile(first.dir / "pw", "export-pw");
    const std::string passin = "file:" + (first.dir / "pw");
    struct Case {
        const char* what;
        std::vector<std::string> options;
        const char* setting; ///< GostPkcs12Cipher of the settings, "" for none
        const char* cipher;  ///< as the tool names it
    };
    const Case cases[] = {
        {"default", {}, "", "gost89"},
        {"option gost89", {"--cipher", "gost89"}, "kuznyechik", "gost89"},
        {"option kuznyechik", {"--cipher", "kuznyechik"}, "", "kuznyechik-ctr-acpkm"},
        {"settings kuznyechik", {}, "kuznyechik", "kuznyechik-ctr-acpkm"},
    };
    const std::string settings = first.cli.programFolder() + "CertQuorix.ini";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        IniFile ini = IniFile::Load(settings);
        ini.WriteString("Cert", "GostPkcs12Cipher", c.setting);
        ini.Save(settings);
        std::vector<std::string> args = {"export", "--email", kEmail, "--no-open"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        ProcessResult run = first.cli.run(args);
        ASSERT_EQ(run.status, 0) << run.err;

        const test::ToolResult described = test::Openssl(
            {"pkcs12", "-engine", "gost", "-in", p12, "-info", "-noout", "-passin", passin});
        const std::string protection = std::string("PBES2, PBKDF2, ") + c.cipher +
                                       ", Iteration 2048, PRF id-tc26-hmac-gost-3411-2012-512";
        EXPECT_NE(described.err.find("PKCS7 Encrypted data: " + protection), std::string::npos)
            << described.err;
        EXPECT_NE(described.err.find("Shrouded Keybag: " + protection), std::string::npos)
            << described.err;
        EXPECT_NE(described.err.find("MAC: GOST R 34.11-2012 with 512 bit hash"), std::string::npos)
            << described.err;
        const test::ToolResult key =
            test::Openssl({"pkcs12", "-engine", "gost", "-in", p12, "-nocerts", "-nodes", "-passin",
                           passin, "-out", first.dir / "key.pem"});
        ASSERT_EQ(key.status, 0) << key.err;
        const test::ToolResult keyPublic =
            test::Openssl({"pkey", "-engine", "gost", "-in", first.dir / "key.pem", "-pubout"});
        const test::ToolResult certificatePublic =
            test::Openssl({"x509", "-engine", "gost", "-in", first.folder() + "Certificate.cer",
                           "-pubkey", "-noout"});
        EXPECT_FALSE(keyPublic.out.empty()) << keyPublic.err;
        EXPECT_EQ(keyPublic.out, certificatePublic.out);

        std::filesystem::remove_all(second.folder());
        run = second.cli.run({"import", "--email", kEmail, p12});
        EXPECT_EQ(run.status, 0) << run.err;
    }
    const ProcessResult run =
        first.cli.run({"export", "--email", kEmail, "--no-open", "--cipher", "aes"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("Неизвестный шифр \"aes\""), std::string::npos) << run.err;
}

// A file written without a MAC is imported, and the user is told that nothing vouched for it.
TEST_F(CliGostPkcs12Test, FileWithoutMacIsImportedWithAWarning) {
    const std::string p12 = exported();
    ASSERT_EQ(first.cli.run({"export", "--email", kEmail, "--no-open"}).status, 0);
    const std::string pem = first.dir / "all.pem", bare = first.dir / "bare.p12";
    ASSERT_EQ(test::Openssl({"pkcs12", "-engine", "gost", "-in", p12, "-nodes", "-passin",
                             "pass:export-pw", "-out", pem})
                  .status,
              0);
    ASSERT_EQ(test::Openssl({"pkcs12", "-export", "-engine", "gost", "-in", pem, "-nomac",
                             "-passout", "pass:export-pw", "-out", bare})
                  .status,
              0);
    const ProcessResult run = second.cli.run({"import", "--email", kEmail, bare});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find(kWithoutMacWarning), std::string::npos) << run.err;
}

// What went wrong is told in the words of what the user has: the container and its password,
// and the way to give a password when no terminal can ask for it.
TEST_F(CliGostPkcs12Test, ContainerFailuresAreToldInTheContainersWords) {
    const std::string p12 = exported();
    ASSERT_EQ(first.cli.run({"export", "--email", kEmail, "--no-open"}).status, 0);
    const std::string container =
        IniFile::Load(first.folder() + "Request.ini").ReadString("Cert", "Container");
    struct Case {
        const char* what;
        test::CliProgram& cli;
        std::vector<std::string> args;
        std::vector<std::string> environment;
        int status;
        std::string says;
    };
    const Case cases[] = {
        {"wrong container password",
         first.cli,
         {"check", "--email", kEmail},
         {"CERTQUORIX_CONTAINER_PASSWORD=wrong"},
         6,
         "Неверный пароль контейнера ключей \"" + container + "\"."},
        {"import without a container password or a terminal",
         second.cli,
         {"import", "--email", kEmail, p12},
         {"CERTQUORIX_CONTAINER_PASSWORD"},
         2,
         "не задан: укажите его в переменной CERTQUORIX_CONTAINER_PASSWORD"},
    };
    for (const Case& c : cases) {
        const ProcessResult run = c.cli.run(c.args, c.environment);
        EXPECT_EQ(run.status, c.status) << c.what << run.out << run.err;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << c.what << run.err;
        for (const char* foreign : {"PIN", "карт", "System Error"})
            EXPECT_EQ(run.err.find(foreign), std::string::npos) << c.what << run.err;
    }
}

// The file carries the private key: it is never written without a password, wherever the empty
// one comes from, and a password typed at the console is typed twice.
TEST_F(CliGostPkcs12Test, EmptyExportPasswordIsRefused) {
    const std::string p12 = exported();
    test::WriteFile(first.dir / "empty", "");
    test::WriteFile(first.dir / "line-end", "\n");
    struct Case {
        const char* what;
        std::vector<std::string> options;
        std::vector<std::string> environment;
        std::string says;
    };
    // An empty password file gives no password at all; an empty variable gives an empty one.
    const Case cases[] = {
        {"empty variable", {}, {"CERTQUORIX_PASSWORD="}, kEmptyExportPasswordText},
        {"empty file",
         {"--password-file", first.dir / "empty"},
         {},
         "Пароль не задан: файл " + (first.dir / "empty") + " пуст"},
        {"file with a line end only",
         {"--password-file", first.dir / "line-end"},
         {},
         "Пароль не задан: файл " + (first.dir / "line-end") + " пуст"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"export", "--email", kEmail, "--no-open"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const ProcessResult run = first.cli.run(args, c.environment);
        EXPECT_EQ(run.status, 2) << c.what << run.out;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << c.what << run.err;
        EXPECT_FALSE(std::filesystem::exists(p12)) << c.what;
    }
}

TEST_F(CliGostPkcs12Test, ExportPasswordTypedAtTheConsoleIsConfirmed) {
    const std::string p12 = exported();
    struct Case {
        const char* what;
        const char* password;
        const char* confirmation; ///< nullptr: not asked
        int status;
        const char* told;
    };
    const Case cases[] = {
        {"Enter", "\r", nullptr, 2, kEmptyExportPasswordText},
        {"differing confirmation", "one\r", "two\r", 2, "Пароль и подтверждение не совпадают."},
        {"confirmed", "export-pw\r", "export-pw\r", 0, "Certificate.p12"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::TerminalProgram cli = first.cli.startAtTerminal(
            {"export", "--email", kEmail, "--no-open"}, {"CERTQUORIX_PASSWORD"});
        ASSERT_TRUE(cli.waitForOutput("Пароль файла PKCS#12: ")) << cli.output();
        ASSERT_TRUE(cli.waitForEchoOff());
        cli.type(c.password);
        if (c.confirmation) {
            ASSERT_TRUE(cli.waitForOutput("Подтверждение: ")) << cli.output();
            // Typed before the echo is off, the answer would be flushed with the old settings.
            ASSERT_TRUE(cli.waitForEchoOff());
            cli.type(c.confirmation);
        }
        EXPECT_TRUE(cli.waitForOutput(c.told)) << cli.output();
        EXPECT_EQ(cli.wait(), c.status) << cli.output();
        EXPECT_EQ(std::filesystem::exists(p12), c.status == 0);
    }
    test::WriteFile(first.dir / "pw", "export-pw");
    EXPECT_EQ(test::Openssl({"pkcs12", "-engine", "gost", "-in", p12, "-noout", "-passin",
                             "file:" + (first.dir / "pw")})
                  .status,
              0);
}

} // namespace
} // namespace cq
