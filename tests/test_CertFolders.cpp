#include "TestSupport.h"
#include "base/Errors.h"
#include "base/IniFile.h"
#include "base/TextCodec.h"
#include "settings/CertFolders.h"
#include "settings/EmailList.h"
#include "settings/Settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using cq::test::ReadFile;
using cq::test::WriteFile;

TEST(CertFolders, FolderNameDropsTheNineRefusedCharactersOnly) {
    struct Case {
        const char* email;
        const char* folderName;
    };
    for (const Case& c :
         {Case{"ivan.petrov@example.ru", "ivan.petrov@example.ru"},
          Case{"a\\b/c:d*e?f\"g<h>i|j@x.ru", "abcdefghij@x.ru"}, Case{"\\/:*?\"<>|", ""},
          Case{"", ""}, Case{"Пётр_Ivan-1@x.ru", "Пётр_Ivan-1@x.ru"}})
        EXPECT_EQ(cq::EmailToFolderName(c.email), c.folderName) << c.email;
}

TEST(CertFolders, CertificateFolderIsTheTrimmedLowerCaseAddressUnderDataFolder) {
    cq::test::TempDir dir;
    cq::test::UseProgramFolder(dir.path());
    EXPECT_EQ(cq::CertificateFolder(" \tIvan.Petrov@Example.RU \r\n"),
              dir / "ivan.petrov@example.ru/");
    EXPECT_EQ(cq::CertificateFolder("A:B|C@X.RU"), dir / "abc@x.ru/");
    EXPECT_EQ(cq::CertificateFolder("<>"), dir.path() + "/") << "nothing left: a second delimiter";
}

class RequestRecordTest : public ::testing::Test {
protected:
    cq::SubjectData Subject(bool openPassw) const {
        return {{"ru", "Москва", "Москва", "ООО «Ромашка»", "ИТ", "Иван Петров", "Ivan@Example.ru"},
                "Пароль 1",
                openPassw};
    }
    void WriteGost(const std::string& algorithm) const {
        cq::WriteGostRequestRecord(record(), Subject(false), algorithm, "cont-1");
    }
    std::string record() const { return dir / cq::kRequestRecordFile; }
    cq::IniFile Load() const { return cq::IniFile::Load(record()); }

    cq::test::TempDir dir;
};

TEST_F(RequestRecordTest, RsaRecordIsWindows1251WithCrLfAndKeepsForeignKeys) {
    WriteFile(record(), "[Notes]\r\nmine=1\r\n\r\n[Cert]\r\nComment=keep\r\n");
    cq::WriteRsaRequestRecord(record(), Subject(true));
    EXPECT_EQ(cq::FromCp1251(ReadFile(record())),
              "[Notes]\r\nmine=1\r\n\r\n[Cert]\r\nComment=keep\r\nCountry=ru\r\nState=Москва\r\n"
              "Locality=Москва\r\nOrganization=ООО «Ромашка»\r\nOrganizUnit=ИТ\r\n"
              "CommonName=Иван Петров\r\nEmail=Ivan@Example.ru\r\nPassword=Пароль 1\r\n\r\n");
    EXPECT_NE(ReadFile(record()).find("State=\xCC\xEE\xF1\xEA\xE2\xE0\r\n"), std::string::npos);
    EXPECT_FALSE(cq::IsGostRequest(dir.path()));

    cq::WriteRsaRequestRecord(record(), Subject(false));
    EXPECT_FALSE(Load().ValueExists("Cert", "Password"));
    EXPECT_EQ(Load().ReadString("Cert", "Comment"), "keep");
}

TEST_F(RequestRecordTest, RsaOverGostBecomesRsaAndGostOverRsaKeepsThePassword) {
    WriteGost("Software GOST Provider");
    EXPECT_TRUE(cq::IsGostRequest(dir.path()));
    EXPECT_EQ(Load().ReadString("Cert", "Container"), "cont-1");

    cq::WriteRsaRequestRecord(record(), Subject(true));
    EXPECT_FALSE(cq::IsGostRequest(dir.path()));
    EXPECT_FALSE(Load().ValueExists("Cert", "Algorithm"));
    EXPECT_FALSE(Load().ValueExists("Cert", "Container"));

    WriteGost("Software GOST Provider");
    EXPECT_TRUE(cq::IsGostRequest(dir.path()));
    EXPECT_EQ(Load().ReadString("Cert", "Password"), "Пароль 1");
}

TEST_F(RequestRecordTest, KindOfFolderComesFromANonBlankAlgorithm) {
    EXPECT_FALSE(cq::IsGostRequest(dir.path())) << "no record at all";
    struct Case {
        const char* file;
        bool gost;
    };
    for (const Case& c :
         {Case{"[Cert]\r\nEmail=a@b.ru\r\n", false}, Case{"[Cert]\r\nAlgorithm=\r\n", false},
          Case{"[Cert]\r\nAlgorithm=  \t \r\n", false},
          Case{"[Other]\r\nAlgorithm=GOST\r\n", false},
          Case{"[cert]\r\nalgorithm= Crypto-Pro GOST R 34.10-2012 \r\n", true}}) {
        WriteFile(record(), c.file);
        EXPECT_EQ(cq::IsGostRequest(dir.path()), c.gost) << c.file;
    }
}

TEST_F(RequestRecordTest, FileErrorsReachTheCaller) {
    const std::string blocked = dir / "file-not-folder";
    WriteFile(blocked, "x");
    EXPECT_ANY_THROW(cq::WriteRsaRequestRecord(blocked + "/Request.ini", Subject(false)));
    std::filesystem::create_directory(dir / "folder/");
    std::filesystem::create_directory(dir / "folder/Request.ini");
    EXPECT_THROW(cq::IsGostRequest(dir / "folder/"), cq::EOSError);
}

class EmailListTest : public ::testing::Test {
protected:
    EmailListTest() { cq::test::UseProgramFolder(dir.path()); }
    void StoreList(const std::string& list) const {
        WriteFile(dir / cq::kSettingsFileName,
                  "[Cert]\r\nCountry=ru\r\n\r\n[Email]\r\nList=" + list + "\r\n");
    }
    std::string StoredList() const {
        return cq::IniFile::Load(dir / cq::kSettingsFileName).ReadString("Email", "List");
    }

    cq::test::TempDir dir;
    cq::test::RecordingDialogs dialogs;
};

TEST_F(EmailListTest, AdditionsKeepTheListSortedWithoutCaseAndWithoutDuplicates) {
    struct Case {
        const char* stored;
        const char* added;
        const char* expected;
    };
    for (const Case& c : {
             Case{"", "first@x.ru", "first@x.ru"},
             Case{"z@x.ru|b@x.ru", "m@x.ru", "b@x.ru|m@x.ru|z@x.ru"},
             Case{"z@x.ru|b@x.ru", "B@X.RU", "b@x.ru|z@x.ru"},
             Case{"Ab@x.ru|b@x.ru", "aB@x.ru", "Ab@x.ru|b@x.ru"},
             Case{"a@x.ru||c@x.ru", "b@x.ru", "a@x.ru|b@x.ru|c@x.ru"},
             Case{"c@x.ru|", "a@x.ru", "a@x.ru|c@x.ru"},
             Case{"B@x.ru|a@x.ru|b@x.ru", "C@x.ru", "a@x.ru|B@x.ru|C@x.ru"},
             Case{"b@x.ru", "", "b@x.ru"},
         }) {
        StoreList(c.stored);
        cq::AddEmailToList(c.added);
        EXPECT_EQ(StoredList(), c.expected) << c.stored << " + " << c.added;
        EXPECT_EQ(cq::IniFile::Load(dir / cq::kSettingsFileName).ReadString("Cert", "Country"),
                  "ru");
    }
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(EmailListTest, ListIsCreatedInTheSettingsFileAndReadBackOnePerLine) {
    EXPECT_EQ(cq::ReadEmailList(), "");
    cq::AddEmailToList("b@x.ru");
    cq::AddEmailToList("a@x.ru");
    EXPECT_EQ(ReadFile(dir / cq::kSettingsFileName), "[Email]\r\nList=a@x.ru|b@x.ru\r\n\r\n");
    EXPECT_EQ(cq::ReadEmailList(), "a@x.ru\r\nb@x.ru");
    EXPECT_TRUE(dialogs.boxes.empty());
}

// The window and the command-line tool of one user may add addresses at the same moment; each
// rewrites the whole settings file, so without a lock one of them drops the other's address.
TEST_F(EmailListTest, AdditionsFromSeveralProcessesAtOnceAreAllKept) {
    constexpr int kProcesses = 4;
    constexpr int kAdditions = 40;
    std::vector<pid_t> children;
    for (int process = 0; process < kProcesses; ++process) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int i = 0; i < kAdditions; ++i)
                cq::AddEmailToList("p" + std::to_string(process) + "n" + std::to_string(i) +
                                   "@x.ru");
            ::_exit(0);
        }
        children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const std::string list = StoredList();
    int kept = 0;
    for (int process = 0; process < kProcesses; ++process)
        for (int i = 0; i < kAdditions; ++i)
            kept += list.find("p" + std::to_string(process) + "n" + std::to_string(i) + "@") !=
                    std::string::npos;
    EXPECT_EQ(kept, kProcesses * kAdditions) << list;
}

} // namespace
