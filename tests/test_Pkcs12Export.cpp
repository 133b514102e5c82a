#include "RetrievalFixture.h"
#include "app/ErrorReport.h"
#include "base/Errors.h"
#include "base/FileUtil.h"
#include "base/ShellOpenCodes.h"
#include "base/TextCodec.h"
#include "certs/Pkcs12Export.h"
#include "certs/ShellOpen.h"
#include "settings/CertFolders.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

using namespace cq::test;

/// The modulus line the openssl tool prints for a certificate file or a key in a .p12.
std::string CertificateModulus(const std::string& cer) {
    return RunProcess({"openssl", "x509", "-noout", "-modulus", "-in", cer}).out;
}
std::string Pkcs12KeyModulus(const std::string& p12, const std::string& password) {
    const ProcessResult keys = RunProcess(
        {"openssl", "pkcs12", "-in", p12, "-nocerts", "-nodes", "-passin", "env:CQ_TEST_PASSWORD"},
        {"CQ_TEST_PASSWORD=" + password});
    EXPECT_EQ(keys.status, 0) << keys.err;
    return RunProcess({"openssl", "rsa", "-noout", "-modulus"}, {}, keys.out).out;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

struct ExportFolder : CertificateFolderFixture {
    explicit ExportFolder(const std::string& key = "user-des3.key",
                          const std::string& cer = "user.cer") {
        put(cer, cq::kCertificateFile);
        put(key, cq::kCertificateKeyFile);
    }
    std::string p12() const { return folder() + cq::kCertificateP12File; }
};

TEST(Pkcs12Export, WritesAVerifiedFileThatOpensWithThePasswordAsTyped) {
    struct Case {
        const char* key;
        std::string password;
        const char* cer = "user.cer";
    };
    const Case cases[] = {
        {"user-des3.key", kFixturePassword}, // blanks and Cyrillic letters
        {"user-des.key", kFixturePassword},  // single DES needs the tool's legacy provider
        {"user-clear.key", "any"},
        // An empty line before END, which earlier versions wrote and the tool refuses.
        {"old-writer.key", kFixturePassword, "old-writer.cer"},
    };
    for (const Case& c : cases) {
        ExportFolder folder(c.key, c.cer);
        const std::string keyFile = ReadFile(folder.folder() + cq::kCertificateKeyFile);
        const std::string written = cq::ExportPkcs12(kFixtureEmail, c.password);
        EXPECT_EQ(written, folder.p12()) << c.key;
        struct stat info {};
        ASSERT_EQ(::stat(written.c_str(), &info), 0) << c.key;
        EXPECT_EQ(info.st_mode & 0777, 0600u) << c.key;
        EXPECT_EQ(ReadFile(folder.folder() + cq::kCertificateKeyFile), keyFile) << c.key;
        const std::string modulus = CertificateModulus(RetrievalData(c.cer));
        ASSERT_NE(modulus.find("Modulus="), std::string::npos);
        EXPECT_EQ(Pkcs12KeyModulus(written, c.password), modulus) << c.key;
        EXPECT_EQ(
            FolderEntries(folder.folder()),
            (std::vector<std::string>{"Certificate.cer", "Certificate.key", "Certificate.p12"}))
            << c.key;
    }
}

// The old profile is what old Windows versions and appliances open; the modern one must open
// without the tool's legacy provider, or current systems could not read it.
TEST(Pkcs12Export, ProtectsTheFileAsTheProfileSays) {
    struct Case {
        cq::Pkcs12Profile profile;
        std::vector<std::string> infoOptions;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {cq::Pkcs12Profile::Legacy,
         {"-legacy"},
         {"MAC: sha1,", "PKCS7 Encrypted data: pbeWithSHA1And3-KeyTripleDES-CBC",
          "Shrouded Keybag: pbeWithSHA1And3-KeyTripleDES-CBC"}},
        {cq::Pkcs12Profile::Modern,
         {},
         {"MAC: sha256,", "PKCS7 Encrypted data: PBES2, PBKDF2, AES-256-CBC",
          "Shrouded Keybag: PBES2, PBKDF2, AES-256-CBC"}},
    };
    for (const Case& c : cases) {
        ExportFolder folder;
        const std::string written = cq::ExportPkcs12(kFixtureEmail, kFixturePassword, c.profile);
        std::vector<std::string> info = {"openssl", "pkcs12", "-info",   "-noout",
                                         "-in",     written,  "-passin", "env:CQ_TEST_PASSWORD"};
        info.insert(info.end(), c.infoOptions.begin(), c.infoOptions.end());
        const ProcessResult shown =
            RunProcess(info, {std::string("CQ_TEST_PASSWORD=") + kFixturePassword});
        ASSERT_EQ(shown.status, 0) << shown.err;
        for (const std::string& line : c.expected)
            EXPECT_NE(shown.err.find(line), std::string::npos) << line << "\n" << shown.err;
        EXPECT_EQ(Pkcs12KeyModulus(written, kFixturePassword),
                  CertificateModulus(RetrievalData("user.cer")));
    }
}

// The export runs the check itself, so a caller that skipped it (or whose check failed) gets no
// file; a tool that fails leaves nothing either.
TEST(Pkcs12Export, AFailedConversionLeavesTheOlderFileAndOpensNothing) {
    struct Case {
        const char* what;
        std::string key;
        std::string cer;
        std::string password;
        std::string tool; // empty: the real openssl
        std::string reason;
    };
    const std::string unchecked = cq::kUncheckedExportText;
    const Case cases[] = {
        {"wrong password", "user-des3.key", "user.cer", "Ключ 2025", "",
         unchecked + "Неверный пароль сертификата."},
        {"password with a trailing blank", "user-des3.key", "user.cer",
         std::string(kFixturePassword) + " ", "", unchecked + "Неверный пароль сертификата."},
        {"certificate of another key", "user-des3.key", "other.cer", kFixturePassword, "",
         unchecked + "Файл сертификата"},
        {"error page as the certificate", "user-des3.key", "error-page.cer", kFixturePassword, "",
         unchecked + "Неверный файл сертификата"},
        {"the tool fails", "user-des3.key", "user.cer", kFixturePassword,
         "echo 'unable to load' >&2\nexit 1\n", "openssl завершился с кодом 1"},
    };
    for (const Case& c : cases) {
        ExportFolder folder(c.key, c.cer);
        folder.write(cq::kCertificateP12File, "older p12");
        if (!c.tool.empty())
            WriteScript(folder.programFolder() + "openssl", c.tool);
        int opened = 0;
        try {
            cq::InstallCertificate(kFixtureEmail, c.password, [&](const std::string&) {
                ++opened;
                return cq::shellopen::kSucceeded;
            });
            ADD_FAILURE() << c.what << ": no error";
        } catch (const cq::Exception& error) {
            EXPECT_NE(std::string(error.what()).find(c.reason), std::string::npos)
                << c.what << ": " << error.what();
        }
        EXPECT_EQ(opened, 0) << c.what;
        EXPECT_EQ(ReadFile(folder.p12()), "older p12") << c.what;
        EXPECT_EQ(FolderEntries(folder.folder()).size(), 3u) << c.what; // no temporary left
    }
}

TEST(Pkcs12Export, ThePasswordTravelsInTheEnvironmentOnly) {
    ExportFolder folder;
    // A tool in the program folder wins over PATH; this one records what it was given and
    // then does the real work.
    const std::string record = folder.programFolder() + "record";
    WriteScript(folder.programFolder() + "openssl",
                "printf '%s\\n' \"$@\" >'" + record +
                    "'\nprintf '%s|%s' \"$CQ_KEY_PASSWORD\" \"$CQ_EXPORT_PASSWORD\" >'" + record +
                    ".env'\ncat >'" + record + ".stdin'\nexec openssl \"$@\" <'" + record +
                    ".stdin'\n");
    cq::ExportPkcs12(kFixtureEmail, kFixturePassword);
    const std::string arguments = ReadFile(record);
    EXPECT_EQ(arguments.find("Ключ"), std::string::npos) << arguments;
    EXPECT_EQ(arguments.find(cq::ToCp1251("Ключ")), std::string::npos);
    EXPECT_NE(arguments.find("pkcs12\n-export\n-in\n" + folder.folder() +
                             "Certificate.cer\n-inkey\n/dev/stdin\n-out\n" + folder.folder() +
                             "Certificate.p12."),
              std::string::npos)
        << arguments;
    // The key comes on the standard input, still encrypted: the key file's block as it is.
    EXPECT_EQ(ReadFile(record + ".stdin"), ReadFile(RetrievalData("user-des3.key")));
    EXPECT_NE(arguments.find("-passin\nenv:"), std::string::npos);
    EXPECT_NE(arguments.find("-passout\nenv:"), std::string::npos);
    // The key file's password as its Windows-1251 bytes; the export password as text.
    EXPECT_EQ(ReadFile(record + ".env"),
              cq::ToCp1251(kFixturePassword) + "|" + std::string(kFixturePassword));
}

TEST(Pkcs12Export, AResultThatFailsVerificationIsNotHandedOver) {
    struct Case {
        const char* what;
        std::string tool;
        std::string reason;
    };
    // Tools that claim success: one writes rubbish, one leaves the certificate out.
    const std::string outArgument =
        "out=''; prev=''; for a in \"$@\"; do [ \"$prev\" = -out ] && out=$a; prev=$a; done\n";
    const Case cases[] = {
        {"rubbish", outArgument + "echo rubbish >\"$out\"\nexit 0\n", "не прошёл проверку"},
        {"key only", "exec openssl \"$@\" -nocerts\n", "нет ключа или сертификата"},
    };
    for (const Case& c : cases) {
        ExportFolder folder;
        folder.write(cq::kCertificateP12File, "older p12");
        WriteScript(folder.programFolder() + "openssl", c.tool);
        int opened = 0;
        try {
            cq::InstallCertificate(kFixtureEmail, kFixturePassword, [&](const std::string&) {
                ++opened;
                return cq::shellopen::kSucceeded;
            });
            ADD_FAILURE() << c.what << ": no error";
        } catch (const cq::Exception& error) {
            EXPECT_NE(std::string(error.what()).find(c.reason), std::string::npos)
                << c.what << ": " << error.what();
        }
        EXPECT_EQ(opened, 0) << c.what;
        EXPECT_EQ(ReadFile(folder.p12()), "older p12") << c.what;
        EXPECT_EQ(FolderEntries(folder.folder()).size(), 3u) << c.what;
    }
}

TEST(Pkcs12Export, VerificationCarriesTheLibrarysReason) {
    TempDir dir;
    WriteFile(dir / "bad.p12", "not a PKCS#12 file");
    try {
        cq::VerifyPkcs12(dir / "bad.p12", "x", "bad.p12");
        ADD_FAILURE() << "no error";
    } catch (const cq::Exception& error) {
        const std::string text = error.what();
        EXPECT_EQ(text.find("Файл \"bad.p12\" не прошёл проверку: "), 0u) << text;
        EXPECT_NE(text.find("asn1"), std::string::npos) << text;
    }
}

TEST(Pkcs12Export, NoToolInTheProgramFolderOrOnPathIsToldPlainly) {
    ExportFolder folder;
    const ScopedEnvironment emptyPath("PATH", "");
    try {
        cq::InstallCertificate(kFixtureEmail, kFixturePassword,
                               [](const std::string&) { return cq::shellopen::kSucceeded; });
        ADD_FAILURE() << "no error";
    } catch (const cq::EOSError& error) {
        EXPECT_EQ(error.errorCode(), ENOENT);
        const std::string text = error.what();
        EXPECT_EQ(text.rfind("Программа openssl не найдена: её нет ни рядом с программой (" +
                                 folder.programFolder() + "openssl), ни в папках переменной PATH.",
                             0),
                  0u)
            << text;
        EXPECT_EQ(text.find("System Error"), std::string::npos) << text;
    }
    EXPECT_FALSE(cq::FileExists(folder.p12()));
}

// What the user is told when the tool ends with status 0 but could not write its output, as
// openssl does on a full disk.
void ExpectIncompleteWriteTold(const ExportFolder& folder, const std::string& toolOutput) {
    int opened = 0;
    try {
        cq::InstallCertificate(kFixtureEmail, kFixturePassword, [&](const std::string&) {
            ++opened;
            return cq::shellopen::kSucceeded;
        });
        ADD_FAILURE() << "no error";
    } catch (const cq::Exception& error) {
        const std::string text = error.what();
        EXPECT_EQ(text.rfind("Файл \"Certificate.p12\" не удалось записать полностью", 0), 0u)
            << text;
        EXPECT_NE(text.find(toolOutput), std::string::npos) << text;
        EXPECT_EQ(text.find("не прошёл проверку"), std::string::npos) << text;
    }
    EXPECT_EQ(opened, 0);
    EXPECT_EQ(ReadFile(folder.p12()), "older p12");
    EXPECT_EQ(FolderEntries(folder.folder()).size(), 3u); // no temporary left
}

TEST(Pkcs12Export, AFileTheToolCouldNotWriteCompletelyIsToldAsSuch) {
    // Tools that claim success after writing part of the file, or none of it, and say why.
    const std::string outArgument =
        "out=''; prev=''; for a in \"$@\"; do [ \"$prev\" = -out ] && out=$a; prev=$a; done\n";
    const std::string cases[] = {
        outArgument + "openssl \"$@\" && head -c 700 \"$out\" >\"$out.part\" && "
                      "mv \"$out.part\" \"$out\"\n",
        outArgument + ": >\"$out\"\n",
    };
    for (const std::string& tool : cases) {
        ExportFolder folder;
        folder.write(cq::kCertificateP12File, "older p12");
        WriteScript(folder.programFolder() + "openssl",
                    tool + "echo 'write error: No space left on device' >&2\nexit 0\n");
        ExpectIncompleteWriteTold(folder, "openssl: write error: No space left on device");
    }
}

// The same on a real full disk: a small memory file system mounted over the certificate folder
// (only where this test may mount one).
TEST(Pkcs12Export, FullDiskIsToldAndTheOlderFileKept) {
    ExportFolder folder;
    const std::string folderPath = folder.folder();
    TempDir saved;
    for (const char* name : {cq::kCertificateFile, cq::kCertificateKeyFile})
        std::filesystem::copy_file(folderPath + name, saved / name);
    const ProcessResult mount =
        RunProcess({"mount", "-t", "tmpfs", "-o", "size=16k,mode=0700", "tmpfs", folderPath});
    if (mount.status != 0)
        GTEST_SKIP() << "no tmpfs can be mounted here: " << mount.err;
    struct Unmount {
        std::string path;
        ~Unmount() { RunProcess({"umount", path}); }
    } unmount{folderPath};
    for (const char* name : {cq::kCertificateFile, cq::kCertificateKeyFile})
        std::filesystem::copy_file(saved / name, folderPath + name);
    folder.write(cq::kCertificateP12File, "older p12");
    // Whatever room is left goes to a filler file.
    RunProcess({"sh", "-c", "head -c 1048576 /dev/zero >'" + folderPath + "filler'"});
    int opened = 0;
    std::string text;
    try {
        cq::InstallCertificate(kFixtureEmail, kFixturePassword, [&](const std::string&) {
            ++opened;
            return cq::shellopen::kSucceeded;
        });
    } catch (const cq::Exception& error) {
        text = error.what();
    }
    EXPECT_EQ(text.rfind("Файл \"Certificate.p12\" не удалось записать полностью: на диске нет "
                         "свободного места",
                         0),
              0u)
        << text;
    EXPECT_EQ(opened, 0);
    EXPECT_EQ(ReadFile(folder.p12()), "older p12");
    EXPECT_EQ(FolderEntries(folderPath).size(), 4u); // and the filler: no temporary left
}

} // namespace
