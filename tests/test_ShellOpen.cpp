#include "RetrievalFixture.h"
#include "app/ErrorReport.h"
#include "base/Errors.h"
#include "certs/ShellOpen.h"
#include "settings/CertFolders.h"

#include <gtest/gtest.h>

namespace {

using namespace cq::test;

/// A fake xdg-open first on PATH: it records its arguments and exits with $CQ_FAKE_XDG_EXIT.
struct FakeXdgOpen {
    TempDir bin;
    ScopedEnvironment path{"PATH", bin.path() + ":" + std::string(std::getenv("PATH"))};
    FakeXdgOpen() {
        WriteScript(bin / "xdg-open", "printf '%s\\n' \"$#\" \"$@\" >>'" + bin.path() +
                                          "calls'\nexit \"${CQ_FAKE_XDG_EXIT:-0}\"\n");
    }
    std::string calls() const { return ReadFile(bin / "calls"); }
};

std::string FolderOpenMessage(const std::string& email) {
    try {
        cq::OpenCertificateFolder(email);
        return "";
    } catch (const cq::Exception& error) {
        return error.what();
    }
}

TEST(ShellOpen, XdgOpenExitStatusesBecomeShellOpenCodes) {
    CertificateFolderFixture folder;
    FakeXdgOpen xdg;
    struct Case {
        const char* exit;
        std::string message;
    };
    const Case cases[] = {
        {"0", ""},
        {"1", "Имя ассоциированного файла не полное или не правильное."},
        {"2", "Указаный файл не найден."},
        {"3", "Нет приложений ассоциированных с данным расширением файла."},
        {"4", "Нет приложений ассоциированных с данным расширением файла."},
    };
    for (const Case& c : cases) {
        const ScopedEnvironment exitStatus("CQ_FAKE_XDG_EXIT", c.exit);
        EXPECT_EQ(FolderOpenMessage("  IVAN@example.ru"), c.message) << c.exit;
    }
    // Every call got the folder itself, without its trailing delimiter, as its one argument.
    std::string expected;
    for (size_t i = 0; i < std::size(cases); ++i)
        expected += "1\n" + folder.folder().substr(0, folder.folder().size() - 1) + "\n";
    EXPECT_EQ(xdg.calls(), expected);
}

TEST(ShellOpen, MissingTargetsAndAMissingOpener) {
    CertificateFolderFixture folder;
    {
        FakeXdgOpen xdg;
        EXPECT_EQ(FolderOpenMessage("nobody@example.ru"), "Указаный путь не найден.");
        try {
            cq::HandOverPkcs12(folder.folder() + cq::kCertificateP12File);
            ADD_FAILURE() << "no error";
        } catch (const cq::Exception& error) {
            EXPECT_STREQ(error.what(), "Указаный файл не найден.");
        }
        EXPECT_EQ(xdg.calls(), ""); // nothing was started for them
    }
    TempDir emptyBin;
    const ScopedEnvironment path("PATH", emptyBin.path());
    EXPECT_EQ(FolderOpenMessage(kFixtureEmail),
              "Нет приложений ассоциированных с данным расширением файла.");
}

TEST(ShellOpen, TheExportHandsTheNewFileOver) {
    CertificateFolderFixture folder;
    folder.put("user.cer", cq::kCertificateFile);
    folder.put("user-des3.key", cq::kCertificateKeyFile);
    FakeXdgOpen xdg;
    cq::InstallCertificate(kFixtureEmail, kFixturePassword);
    EXPECT_EQ(xdg.calls(), "1\n" + folder.folder() + cq::kCertificateP12File + "\n");
}

// The export as the command-line tool runs it, with the user's password in CERTQUORIX_PASSWORD:
// the openssl tool sees only the two variables its -passin and -passout name, and neither the
// desktop opener nor the handler it starts sees any password.
TEST(ShellOpen, PasswordsStayOutOfTheToolAndTheOpener) {
    CertificateFolderFixture folder;
    folder.put("user.cer", cq::kCertificateFile);
    folder.put("user-des3.key", cq::kCertificateKeyFile);
    const ScopedEnvironment userPassword("CERTQUORIX_PASSWORD", kFixturePassword);
    TempDir bin;
    const ScopedEnvironment path("PATH", bin.path() + ":" + std::string(std::getenv("PATH")));
    WriteScript(bin / "xdg-open", "env >'" + bin.path() + "opener.env'\n");
    WriteScript(folder.programFolder() + "openssl",
                "env >'" + bin.path() + "tool.env'\nexec openssl \"$@\"\n");
    cq::InstallCertificate(kFixtureEmail, kFixturePassword);
    const std::string tool = ReadFile(bin / "tool.env");
    const std::string opener = ReadFile(bin / "opener.env");
    ASSERT_NE(tool.find("CQ_KEY_PASSWORD="), std::string::npos) << tool;
    EXPECT_NE(tool.find("CQ_EXPORT_PASSWORD="), std::string::npos) << tool;
    EXPECT_EQ(tool.find("CERTQUORIX_PASSWORD"), std::string::npos) << tool;
    ASSERT_NE(opener.find("PATH="), std::string::npos) << opener;
    for (const char* name : {"CERTQUORIX_PASSWORD", "CQ_KEY_PASSWORD", "CQ_EXPORT_PASSWORD"})
        EXPECT_EQ(opener.find(name), std::string::npos) << name;
}

} // namespace
