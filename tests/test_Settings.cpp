#include "CliFixture.h"
#include "TestSupport.h"
#include "app/ErrorReport.h"
#include "base/FileUtil.h"
#include "base/TextCodec.h"
#include "settings/CertFolders.h"
#include "settings/EmailList.h"
#include "settings/Scramble.h"
#include "settings/ServiceDefaults.h"
#include "settings/Settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <regex>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using cq::Settings;
using cq::test::ReadFile;
using cq::test::WriteFile;

const std::string kRsaRequest = std::string(cq::service::kDefaultUrlRequestRSACertificate);
const std::string kRsaReceive = std::string(cq::service::kDefaultUrlReceiveRSACertificate);

// A settings file as the user would leave it: Windows-1251 with CR LF.
void WriteIni(const std::string& path, const std::string& utf8Text) {
    WriteFile(path, cq::ToCp1251(cq::ToCrLf(utf8Text)));
}

std::string ReadIniText(const std::string& path) {
    return cq::FromCp1251(ReadFile(path));
}

class SettingsTest : public ::testing::Test {
protected:
    SettingsTest() { cq::test::UseProgramFolder(dir.path()); }
    ~SettingsTest() override { ::unsetenv("CQ_TEST_ROOT"); }

    std::string settingsPath() const { return dir / cq::kSettingsFileName; }
    void writeSettings(const std::string& text) const { WriteIni(settingsPath(), text); }
    // Loads as a fresh run would: module-wide values back at their starting values first.
    cq::SavedSubject freshLoad(bool* loaded = nullptr) {
        cq::test::UseProgramFolder(dir.path());
        return cq::LoadSettings(loaded);
    }
    bool save(const std::string& password = "", bool openPassw = false, bool gost = false) {
        return cq::SaveSettings(
            {{{"ru", "Москва", "Москва", "ООО «Ромашка»", "ИТ", "Иван Петров", "Ivan@Example.ru"},
              password,
              openPassw},
             gost});
    }
    std::string proxyPasswordStored() const {
        return cq::IniFile::Load(settingsPath()).ReadString("Proxy", "Password");
    }

    cq::test::TempDir dir;
    cq::test::RecordingDialogs dialogs;
};

TEST_F(SettingsTest, WithoutAnySettingsFileEverythingHasItsDefaultAndNothingIsCreated) {
    bool loaded = false;
    const cq::SavedSubject subject = freshLoad(&loaded);
    EXPECT_TRUE(loaded);
    EXPECT_EQ(subject.Country, "ru");
    for (const std::string* text :
         {&subject.State, &subject.Locality, &subject.Organization, &subject.OrganizUnit,
          &subject.CommonName, &subject.Email, &subject.Password})
        EXPECT_EQ(*text, "");
    EXPECT_FALSE(subject.OpenPassw);
    EXPECT_FALSE(subject.Gost);

    const cq::SettingsValues& values = Settings();
    EXPECT_EQ(values.UrlRequestRSACertificate, kRsaRequest);
    EXPECT_EQ(values.UrlReceiveRSACertificate, kRsaReceive);
    EXPECT_EQ(values.UrlRequestGostCertificate, kRsaRequest);
    EXPECT_EQ(values.UrlReceiveGostCertificate, kRsaReceive);
    EXPECT_EQ(kRsaRequest, "https://cert.quorix.ru/requp/");
    EXPECT_EQ(kRsaReceive, "https://cert.quorix.ru/certget/");
    EXPECT_EQ(values.RequestCertificate, "Request.cer");
    EXPECT_EQ(values.RequestKey, "Request.key");
    EXPECT_EQ(values.RequestPassword, "Hrkwp(3mzqtbv");
    EXPECT_EQ(values.CaFile, "");
    EXPECT_FALSE(values.ProxyFromIni);
    EXPECT_TRUE(values.AcceptCompression);
    EXPECT_EQ(values.DataFolder, dir.path());
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(SettingsTest, RedirectionExpandsVariablesCreatesTheFolderAndLeavesTheBaseFileAlone) {
    ::setenv("CQ_TEST_ROOT", (dir / "home").c_str(), 1);
    const std::string base = "[Common]\ninFile=%CQ_TEST_ROOT%/deep/er/Other.ini\nLogPath=logs\n";
    writeSettings(base);
    const std::string folder = dir / "home/deep/er/";

    freshLoad();
    EXPECT_TRUE(cq::DirectoryExists(folder));
    // A user's data folder and the parents made for it are the user's alone.
    for (const char* made : {"home", "home/deep", "home/deep/er"})
        EXPECT_EQ(cq::test::FileMode(dir / made), 0700) << made;
    EXPECT_FALSE(cq::FileExists(folder + "Other.ini")) << "loading alone creates no file";
    EXPECT_EQ(Settings().DataFolder, folder);
    EXPECT_EQ(cq::FindSettingsFile(true), folder + "Other.ini");

    ASSERT_TRUE(save());
    cq::AddEmailToList("a@b.ru");
    EXPECT_EQ(cq::IniFile::Load(folder + "Other.ini").ReadString("Email", "List"), "a@b.ru");
    EXPECT_EQ(ReadIniText(settingsPath()), cq::ToCrLf(base)) << "the base file is never written";
    // The redirected file's own inFile is not followed.
    WriteIni(folder + "Other.ini", "[Common]\ninFile=" + dir.path() + "third.ini\n");
    EXPECT_EQ(cq::FindSettingsFile(true), folder + "Other.ini");
    EXPECT_TRUE(dialogs.boxes.empty());
}

// An installed program folder holds the administrator's file, which redirects each user to a
// file of their own; what the administrator set for the machine still rules.
TEST_F(SettingsTest, AdministratorsServiceAndProxyValuesRuleOverTheRedirectedFile) {
    const std::string redirect = "[Common]\ninFile=" + (dir / "user/CertQuorix.ini") + "\n";
    const std::string userFile =
        "[Cert]\nCommonName=Иван\n[Proxy]\nUse=1\nServer=user-proxy\nPort=3128\n"
        "[HTTPS]\nUrlRequestRSACertificate=https://user.example/up/\n"
        "UrlReceiveRSACertificate=https://user.example/get/\nCaFile=/user/ca.crt\n";
    struct Case {
        std::string adminKeys;
        std::string requestUrl, receiveUrl, caFile, requestPassword, proxyServer;
        bool proxyUse;
    };
    const Case cases[] = {
        {"", "https://user.example/up/", "https://user.example/get/", "/user/ca.crt",
         "Hrkwp(3mzqtbv", "user-proxy", true},
        {"[HTTPS]\nUrlRequestRSACertificate=https://admin.example/up/\n"
         "UrlReceiveRSACertificate=https://admin.example/get\nCaFile=/etc/ca.crt\n"
         "OpenRequestPassword=machine secret\n[Proxy]\nUse=0\n",
         "https://admin.example/up/", "https://admin.example/get/", "/etc/ca.crt", "machine secret",
         "", false},
        // An empty value in the administrator's file sets nothing.
        {"[HTTPS]\nUrlRequestRSACertificate=\nCaFile=\n", "https://user.example/up/",
         "https://user.example/get/", "/user/ca.crt", "Hrkwp(3mzqtbv", "user-proxy", true},
    };
    std::filesystem::create_directory(dir / "user");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.adminKeys);
        writeSettings(redirect + c.adminKeys);
        WriteIni(dir / "user/CertQuorix.ini", userFile);
        const cq::SavedSubject subject = freshLoad();
        EXPECT_EQ(subject.CommonName, "Иван") << "the user's own values come from their file";
        EXPECT_EQ(Settings().UrlRequestRSACertificate, c.requestUrl);
        EXPECT_EQ(Settings().UrlReceiveRSACertificate, c.receiveUrl);
        EXPECT_EQ(Settings().CaFile, c.caFile);
        EXPECT_EQ(Settings().RequestPassword, c.requestPassword);
        EXPECT_EQ(Settings().ProxyServer, c.proxyServer);
        EXPECT_EQ(Settings().ProxyUse, c.proxyUse);
        EXPECT_TRUE(Settings().ProxyFromIni);
        EXPECT_EQ(ReadIniText(settingsPath()), cq::ToCrLf(redirect + c.adminKeys))
            << "the administrator's file is never written";
    }
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(SettingsTest, RedirectionPathsAreMadeAbsoluteAndTooLongOnesAreRefused) {
    writeSettings("[Common]\ninFile=sub/Other.ini\n");
    EXPECT_EQ(cq::FindSettingsFile(true), dir / "sub/Other.ini");
    EXPECT_EQ(Settings().DataFolder, dir / "sub/");

    // 511 characters in all is the limit; one more is refused with a clear report.
    const std::string fits = dir.path() + std::string(511 - dir.path().size() - 4, 'x') + ".ini";
    writeSettings("[Common]\ninFile=" + fits + "\n");
    EXPECT_EQ(cq::FindSettingsFile(false), fits);
    writeSettings("[Common]\ninFile=" + dir.path() + std::string(600, 'y') + "\n");
    bool loaded = true;
    freshLoad(&loaded);
    EXPECT_FALSE(loaded);
    ASSERT_EQ(dialogs.boxes.size(), 1U);
    EXPECT_EQ(dialogs.boxes[0].caption, cq::context::kLoadSettings);
    EXPECT_NE(dialogs.boxes[0].text.find("511"), std::string::npos) << dialogs.boxes[0].text;
    EXPECT_EQ(Settings().UrlRequestRSACertificate, "") << "the load stopped before the URLs";
    EXPECT_EQ(Settings().RequestPassword, "");
}

TEST_F(SettingsTest, ServiceValuesTakeDefaultsForEmptyKeysAndReceiveUrlsEndWithSlash) {
    writeSettings("[HTTPS]\nUrlRequestRSACertificate=https://127.0.0.1:8443/up\n"
                  "UrlReceiveRSACertificate=https://127.0.0.1:8443/get\n"
                  "UrlRequestGostCertificate=\nUrlReceiveGostCertificate=https://g/get/\n"
                  "RequestCertificate=\nRequestKey=client.key\nCaFile=ca/sandbox.pem\n");
    freshLoad();
    const cq::SettingsValues& values = Settings();
    EXPECT_EQ(values.UrlRequestRSACertificate, "https://127.0.0.1:8443/up");
    EXPECT_EQ(values.UrlReceiveRSACertificate, "https://127.0.0.1:8443/get/");
    EXPECT_EQ(values.UrlRequestGostCertificate, kRsaRequest);
    EXPECT_EQ(values.UrlReceiveGostCertificate, "https://g/get/");
    EXPECT_EQ(values.RequestCertificate, "Request.cer");
    EXPECT_EQ(values.RequestKey, "client.key");
    EXPECT_EQ(values.CaFile, "ca/sandbox.pem");
}

TEST_F(SettingsTest, OpenRequestPasswordIsConvertedOnceIntoAScrambledValue) {
    writeSettings("[HTTPS]\nRequestKey=k.key\nOpenRequestPassword=Секрет 1\n\n[Other]\nx=1\n");
    freshLoad();
    EXPECT_EQ(Settings().RequestPassword, "Секрет 1");
    const cq::IniFile converted = cq::IniFile::Load(settingsPath());
    EXPECT_FALSE(converted.ValueExists("HTTPS", "OpenRequestPassword"));
    EXPECT_TRUE(std::regex_match(converted.ReadString("HTTPS", "RequestPassword"),
                                 std::regex("[0-9A-F]{84}")));
    EXPECT_EQ(converted.ReadString("Other", "x"), "1");

    const std::string afterFirst = ReadFile(settingsPath());
    freshLoad();
    EXPECT_EQ(Settings().RequestPassword, "Секрет 1");
    EXPECT_EQ(ReadFile(settingsPath()), afterFirst) << "a second load writes nothing";
}

TEST_F(SettingsTest, RequestPasswordKeyDecidesBetweenStoredEmptyAndBuiltIn) {
    cq::IniFile stored;
    stored.WriteBinary("HTTPS", "RequestPassword", cq::ScramblePassword("pw"));
    const std::string longOpen(40, 'L');
    struct Case {
        std::string file;
        std::string expected;
    };
    for (const Case& c : {
             Case{"[HTTPS]\nRequestKey=k\n", "Hrkwp(3mzqtbv"},
             Case{"[HTTPS]\nRequestPassword=\n", ""},
             Case{"[HTTPS]\nRequestPassword=00FF00\n", ""},
             Case{cq::FromCp1251(stored.Serialize()), "pw"},
             // Too long for the scrambled form: used in clear and left where it is, not cut.
             Case{"[HTTPS]\nOpenRequestPassword=" + longOpen + "\n", longOpen},
         }) {
        writeSettings(c.file);
        const std::string before = ReadFile(settingsPath());
        freshLoad();
        EXPECT_EQ(Settings().RequestPassword, c.expected) << c.file;
        EXPECT_EQ(ReadFile(settingsPath()), before) << c.file;
    }
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(SettingsTest, ProxySectionWithAnyKeyTakesTheProxyFromTheFile) {
    struct Case {
        const char* file;
        bool fromIni;
        bool use;
        const char* server;
    };
    for (const Case& c :
         {Case{"[Cert]\nCountry=ru\n", false, true, "system"},
          Case{"[Proxy]\n[Cert]\nCountry=ru\n", false, true, "system"},
          Case{"[Proxy]\nUse=0\n", true, false, ""},
          Case{"[proxy]\nuse=1\nserver=127.0.0.1\nport=8888\n", true, true, "127.0.0.1"}}) {
        cq::test::UseProgramFolder(dir.path());
        Settings().ProxyUse = true; // as the system proxy discovery would have left it
        Settings().ProxyServer = "system";
        writeSettings(c.file);
        cq::LoadSettings();
        EXPECT_EQ(Settings().ProxyFromIni, c.fromIni) << c.file;
        EXPECT_EQ(Settings().ProxyUse, c.use) << c.file;
        EXPECT_EQ(Settings().ProxyServer, c.server) << c.file;
    }
}

TEST_F(SettingsTest, SameProxyPasswordSavedTwiceIsStoredDifferentlyAndLoadsBothTimes) {
    Settings().ProxyPassword = "pr0xy-Пароль";
    ASSERT_TRUE(save());
    const std::string first = proxyPasswordStored();
    ASSERT_TRUE(save());
    const std::string second = proxyPasswordStored();
    EXPECT_NE(first, second);
    for (const std::string& stored : {first, second}) {
        writeSettings("[Proxy]\nUse=1\nPassword=" + stored + "\n");
        freshLoad();
        EXPECT_EQ(Settings().ProxyPassword, "pr0xy-Пароль");
    }
}

TEST_F(SettingsTest, ProxyPasswordsUpTo31CharactersSurviveSaveAndLoad) {
    for (const std::string& password :
         {std::string(), std::string("Ёжик в тумане, 31 символ ровно!"), std::string(31, '#')}) {
        Settings().ProxyPassword = password;
        Settings().ProxyUse = true;
        Settings().ProxyServer = "127.0.0.1";
        Settings().ProxyPort = "3128";
        Settings().ProxyUserName = "user";
        ASSERT_TRUE(save());
        EXPECT_EQ(proxyPasswordStored().size(), 84U);
        freshLoad();
        EXPECT_TRUE(Settings().ProxyFromIni);
        EXPECT_TRUE(Settings().ProxyUse);
        EXPECT_EQ(Settings().ProxyServer, "127.0.0.1");
        EXPECT_EQ(Settings().ProxyPort, "3128");
        EXPECT_EQ(Settings().ProxyUserName, "user");
        EXPECT_EQ(Settings().ProxyPassword, password);
    }
}

TEST_F(SettingsTest, ProxyPasswordThatCannotBeStoredIsRefusedAndTheFileKeptAsItWas) {
    writeSettings("[Cert]\nCountry=ua\n\n[Proxy]\nUse=0\n");
    const std::string before = ReadFile(settingsPath());
    struct Case {
        std::string password;
        const char* reason;
    };
    for (const Case& c : {Case{std::string(32, 'p'), "длиннее 31 символа"},
                          Case{"Ёжик в тумане, 32 символа ровно!", "длиннее 31 символа"},
                          Case{"\xE5\xAF\x86\xE7\xA0\x81", "Windows-1251"}}) {
        Settings().ProxyPassword = c.password;
        dialogs.boxes.clear();
        EXPECT_FALSE(save());
        ASSERT_EQ(dialogs.boxes.size(), 1U);
        EXPECT_EQ(dialogs.boxes[0].caption, cq::context::kSaveSettings);
        EXPECT_NE(dialogs.boxes[0].text.find("Пароль прокси-сервера"), std::string::npos);
        EXPECT_NE(dialogs.boxes[0].text.find(c.reason), std::string::npos) << dialogs.boxes[0].text;
        EXPECT_EQ(ReadFile(settingsPath()), before);
    }
}

TEST_F(SettingsTest, SaveWritesSectionsInOrderAndRemovesOpenPasswordAndGostKeys) {
    ASSERT_TRUE(save("Мой пароль", true, true));
    const std::string written = ReadIniText(settingsPath());
    const std::string stored = proxyPasswordStored();
    EXPECT_EQ(written, cq::ToCrLf("[Cert]\nCountry=ru\nState=Москва\nLocality=Москва\n"
                                  "Organization=ООО «Ромашка»\nOrganizUnit=ИТ\n"
                                  "CommonName=Иван Петров\nEmail=Ivan@Example.ru\nOpenPassw=1\n"
                                  "Password=Мой пароль\nGost=1\n\n[Proxy]\nUse=0\nServer=\n"
                                  "Port=\nUserName=\nPassword=" +
                                  stored + "\n\n"));
    const cq::SavedSubject back = freshLoad();
    EXPECT_EQ(back.Organization, "ООО «Ромашка»");
    EXPECT_EQ(back.Password, "Мой пароль");
    EXPECT_TRUE(back.OpenPassw);
    EXPECT_TRUE(back.Gost);

    WriteIni(settingsPath(), cq::FromCp1251(ReadFile(settingsPath())) + "[Keep]\nme=1\n");
    ASSERT_TRUE(save("Мой пароль", false, false));
    const cq::IniFile after = cq::IniFile::Load(settingsPath());
    for (const char* removed : {"OpenPassw", "Password", "Gost"})
        EXPECT_FALSE(after.ValueExists("Cert", removed)) << removed;
    EXPECT_EQ(after.ReadString("Keep", "me"), "1");
    const cq::SavedSubject rsa = freshLoad();
    EXPECT_EQ(rsa.Password, "");
    EXPECT_FALSE(rsa.OpenPassw);
    EXPECT_FALSE(rsa.Gost);
}

TEST_F(SettingsTest, SubjectValueWithALineBreakIsRefusedAndTheFileKept) {
    writeSettings("[Cert]\nCountry=ua\n");
    const std::string before = ReadFile(settingsPath());
    EXPECT_FALSE(cq::SaveSettings(
        {{{"ru", "", "", "Org\r\n[Proxy]\r\nUse=1", "", "", "a@b.ru"}, "", false}}));
    ASSERT_EQ(dialogs.boxes.size(), 1U);
    EXPECT_EQ(dialogs.boxes[0].caption, cq::context::kSaveSettings);
    EXPECT_EQ(ReadFile(settingsPath()), before);
}

TEST_F(SettingsTest, SettingsFileOnDiskIsWindows1251WithCrLf) {
    ASSERT_TRUE(save());
    const std::string bytes = ReadFile(settingsPath());
    EXPECT_NE(bytes.find("State=\xCC\xEE\xF1\xEA\xE2\xE0\r\n"), std::string::npos);
    EXPECT_EQ(std::regex_search(bytes, std::regex("[^\r]\n")), false) << "every line ends in CR LF";
}

// What a user can break: the file read-only, the redirected folder impossible to create, a
// file of binary garbage in place of the settings. Each gives a clear report, leaves the file
// as it was and keeps what could be read.
TEST_F(SettingsTest, BrokenSettingsFilesAreReportedAndLeftIntact) {
    const char elfHeader[] = "\x7F"
                             "ELF\x02\x01\x01\x00\x00[Cert]\x00\xFF\xFE"
                             "Email=x\x01";
    const std::string elf(elfHeader, sizeof elfHeader - 1);
    WriteFile(dir / "blocker", "a regular file where a folder should be");
    struct Case {
        const char* name;
        std::string bytes;
        mode_t mode;
        bool loads;
        const char* reportWords;
    };
    for (const Case& c : {Case{"read-only", "[Cert]\r\nCountry=ua\r\n", 0444, true, "System Error"},
                          Case{"folder cannot be created",
                               "[Common]\r\ninFile=" + dir.path() + "blocker/sub/s.ini\r\n", 0644,
                               false, "System Error"},
                          Case{"binary garbage", elf, 0644, false, "двоичные данные"},
                          Case{"control bytes without NUL", "[Cert]\r\nCountry=\x1B[1m\x07\r\n",
                               0644, false, "двоичные данные"}}) {
        SCOPED_TRACE(c.name);
        const std::string& bytes = c.bytes;
        ::chmod(settingsPath().c_str(), 0644);
        WriteFile(settingsPath(), bytes);
        ::chmod(settingsPath().c_str(), c.mode);
        dialogs.boxes.clear();

        bool loaded = false;
        const cq::SavedSubject subject = freshLoad(&loaded);
        EXPECT_EQ(loaded, c.loads);
        Settings().ProxyPassword = "x";
        EXPECT_FALSE(save());
        cq::AddEmailToList("new@example.ru");
        const std::string list = cq::ReadEmailList();

        std::vector<std::string> expectedCaptions = {cq::context::kSaveSettings,
                                                     cq::context::kAddEmail};
        if (!c.loads) {
            expectedCaptions.insert(expectedCaptions.begin(), cq::context::kLoadSettings);
            expectedCaptions.push_back(cq::context::kReadEmailList);
            EXPECT_EQ(subject.Country, "");
        } else {
            EXPECT_EQ(subject.Country, "ua");
        }
        std::vector<std::string> captions;
        for (const auto& box : dialogs.boxes) {
            captions.push_back(box.caption);
            EXPECT_NE(box.text.find(c.reportWords), std::string::npos) << box.text;
        }
        EXPECT_EQ(captions, expectedCaptions);
        EXPECT_EQ(list, "");
        EXPECT_EQ(ReadFile(settingsPath()), bytes);
        EXPECT_FALSE(cq::DirectoryExists(dir / "blocker/sub"));
    }
    ::chmod(settingsPath().c_str(), 0644);
}

TEST_F(SettingsTest, FailedConversionWriteKeepsWhatWasReadBeforeIt) {
    writeSettings("[Cert]\nEmail=a@b.ru\n\n[HTTPS]\nUrlRequestRSACertificate=https://h/r/\n"
                  "OpenRequestPassword=pw\n");
    ::chmod(settingsPath().c_str(), 0444);
    bool loaded = true;
    const cq::SavedSubject subject = freshLoad(&loaded);
    ::chmod(settingsPath().c_str(), 0644);
    EXPECT_TRUE(loaded); // every value was read: callers go on with them
    ASSERT_EQ(dialogs.boxes.size(), 1U);
    EXPECT_EQ(dialogs.boxes[0].caption, cq::context::kLoadSettings);
    EXPECT_EQ(subject.Email, "a@b.ru");
    EXPECT_EQ(Settings().UrlRequestRSACertificate, "https://h/r/");
    EXPECT_EQ(Settings().RequestPassword, "pw");
    EXPECT_NE(ReadIniText(settingsPath()).find("OpenRequestPassword=pw"), std::string::npos);
}

TEST_F(SettingsTest, EveryWriterLeavesTheSettingsFileForItsOwnerOnly) {
    struct Case {
        const char* writer;
        std::function<void()> write;
        bool createsTheFile;
    };
    const Case cases[] = {
        {"save", [this] { EXPECT_TRUE(save("Secret1", true)); }, true},
        {"conversion at load", [this] { freshLoad(); }, false},
        {"e-mail list", [] { cq::AddEmailToList("a@b.ru"); }, true},
    };
    const cq::test::ScopedUmask umask(022);
    for (const Case& c : cases) {
        ::unlink(settingsPath().c_str());
        c.write();
        EXPECT_EQ(cq::test::FileMode(settingsPath()), c.createsTheFile ? 0600 : -1)
            << c.writer << ", new file";
        writeSettings("[HTTPS]\nOpenRequestPassword=pw\n");
        ::chmod(settingsPath().c_str(), 0644);
        c.write();
        EXPECT_EQ(cq::test::FileMode(settingsPath()), 0600) << c.writer << ", file of 0644";
    }
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(SettingsTest, SymlinkedSettingsFileStaysALinkAndItsTargetIsUpdated) {
    std::filesystem::create_directories(dir / "shared");
    WriteIni(dir / "shared/CertQuorix.ini", "[Cert]\nEmail=old@b.ru\n");
    std::filesystem::create_symlink("shared/CertQuorix.ini", settingsPath());
    ASSERT_TRUE(save());
    EXPECT_TRUE(std::filesystem::is_symlink(settingsPath()));
    EXPECT_NE(ReadIniText(dir / "shared/CertQuorix.ini").find("Email=Ivan@Example.ru"),
              std::string::npos);
    cq::AddEmailToList("c@d.ru");
    EXPECT_TRUE(std::filesystem::is_symlink(settingsPath()));
    EXPECT_EQ(cq::IniFile::Load(dir / "shared/CertQuorix.ini").ReadString("Email", "List"),
              "c@d.ru");
}

// The settings command run as a user would run it: the built tool in a program folder of its
// own with a settings file beside it.
TEST(SettingsCommand, PrintsTheValuesInUseAndNeverAPassword) {
    cq::test::TempDir dir;
    const cq::test::CliProgram cli(dir.path());
    cq::IniFile ini;
    ini.WriteString("Cert", "Password", "CertSecret1");
    ini.WriteString("Cert", "OpenPassw", "1");
    ini.WriteString("Proxy", "Use", "1");
    ini.WriteString("Proxy", "Server", "127.0.0.1");
    ini.WriteString("Proxy", "Port", "3128");
    ini.WriteString("Proxy", "UserName", "proxyuser");
    ini.WriteBinary("Proxy", "Password", cq::ScramblePassword("ProxySecret2"));
    ini.WriteString("HTTPS", "UrlReceiveRSACertificate", "https://127.0.0.1:9443/certget");
    ini.WriteString("HTTPS", "OpenRequestPassword", "RequestSecret3");
    ini.WriteString("Email", "List", "a@b.ru|c@d.ru");
    ini.Save(dir / "CertQuorix.ini");

    const cq::test::ProcessResult result = cli.run({"settings"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "SettingsFile=" + dir.path() +
                              "CertQuorix.ini\n"
                              "DataFolder=" +
                              dir.path() +
                              "\n"
                              "UrlRequestRSACertificate=" +
                              kRsaRequest +
                              "\n"
                              "UrlReceiveRSACertificate=https://127.0.0.1:9443/certget/\n"
                              "UrlRequestGostCertificate=" +
                              kRsaRequest +
                              "\n"
                              "UrlReceiveGostCertificate=" +
                              kRsaReceive +
                              "\n"
                              "RequestCertificate=Request.cer\n"
                              "RequestKey=Request.key\n"
                              "ProxyFromIni=1\n"
                              "ProxyUse=1\n"
                              "ProxyServer=127.0.0.1\n"
                              "ProxyPort=3128\n"
                              "ProxyUserName=proxyuser\n"
                              "ProxyInForce=127.0.0.1:3128\n"
                              "ProxySource=settings-file:" +
                              dir.path() +
                              "CertQuorix.ini\n"
                              "ProxyBypass=\n"
                              "WarnDays=30\n"
                              "EmailList=a@b.ru|c@d.ru\n");
    for (const char* secret : {"CertSecret1", "ProxySecret2", "RequestSecret3", "Hrkwp"})
        EXPECT_EQ((result.out + result.err).find(secret), std::string::npos) << secret;

    cq::test::WriteFile(dir / "CertQuorix.ini", std::string("\x00\x01\x02garbage", 10));
    const cq::test::ProcessResult broken = cli.run({"settings"});
    EXPECT_EQ(broken.status, 1);
    EXPECT_NE(broken.err.find(cq::context::kLoadSettings), std::string::npos) << broken.err;
}

// A program folder the user may not change (an installed program) with a settings file in it
// that the user may write: the one-time conversion of the clear request password still happens.
// Run as an ordinary user: as root every folder is writable.
TEST(SettingsCommand, ReadOnlyProgramFolderWithAWritableSettingsFile) {
    struct Case {
        const char* what;
        mode_t fileMode;
        bool converted; // otherwise the failed write-back is reported with its real cause
    };
    const Case cases[] = {
        {"writable file", 0600, true},
        {"read-only file", 0400, false},
    };
    const bool root = ::geteuid() == 0;
    const uid_t user = root ? 65534 : ::geteuid(); // root runs the tool as nobody
    for (const Case& c : cases) {
        cq::test::TempDir dir;
        ::chmod(dir.path().c_str(), 0755);
        const std::string folder = dir / "program/";
        std::filesystem::create_directory(folder);
        cq::test::CliProgram cli(folder);
        const std::string settings = folder + "CertQuorix.ini";
        WriteIni(settings, "[Common]\nLogPath=" + dir.path() +
                               "logs\n\n"
                               "[HTTPS]\nOpenRequestPassword=RequestSecret3\n");
        std::filesystem::create_directory(dir / "logs");
        for (const std::string& path : {settings, dir / "logs"})
            ASSERT_EQ(::chown(path.c_str(), user, static_cast<gid_t>(-1)), 0);
        ::chmod(settings.c_str(), c.fileMode);
        ::chmod(folder.c_str(), 0555);

        if (root)
            cli.runner = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
        const cq::test::ProcessResult run = cli.run({"settings"}, {"HOME=" + dir.path()});
        EXPECT_EQ(run.status, 0) << c.what << ": " << run.err; // every value was read
        EXPECT_EQ(run.err.find(cq::context::kLoadSettings) != std::string::npos, !c.converted)
            << c.what << ": " << run.err;
        const cq::IniFile ini = cq::IniFile::Load(settings);
        EXPECT_EQ(ini.ValueExists("HTTPS", "RequestPassword"), c.converted) << c.what;
        EXPECT_EQ(ini.ValueExists("HTTPS", "OpenRequestPassword"), !c.converted) << c.what;
        if (!c.converted) { // the real cause: the file itself refuses writing
            EXPECT_NE(run.err.find("Code: 13.\r\n" + settings + " : "), std::string::npos)
                << c.what << ": " << run.err;
        }
        std::set<std::string> entries;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            entries.insert(entry.path().filename().string());
        // The tool, the module probe and the catalogs beside it, and the settings file: no
        // temporary left.
        EXPECT_EQ(entries, (std::set<std::string>{"CertQuorix.ini", "certquorix-cli",
                                                  "certquorix-pkcs11-probe", "locale"}))
            << c.what;
        ::chmod(folder.c_str(), 0755);
    }
}

} // namespace
