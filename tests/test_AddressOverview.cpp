// The address overview behind `certquorix-cli list`: the folder state by the reception rule and
// the days a downloaded certificate has left, on real certificate folders and an injected clock.
#include "RetrievalFixture.h"
#include "base/FileUtil.h"
#include "certs/AddressOverview.h"
#include "settings/CertFolders.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

namespace {

using namespace cq::test;

TEST(AddressOverview, FolderStateFollowsTheReceptionRule) {
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, std::string>> files; // name, content
        cq::FolderState state;
    };
    const std::string gostRecord = "[Cert]\r\nAlgorithm=GOST2012_256\r\n";
    const Case cases[] = {
        {"empty folder", {}, cq::FolderState::NoKey},
        {"key only", {{cq::kCertificateKeyFile, "key"}}, cq::FolderState::Requested},
        {"GOST request only", {{cq::kRequestRecordFile, gostRecord}}, cq::FolderState::Requested},
        {"request record without algorithm",
         {{cq::kRequestRecordFile, "[Cert]\r\nEmail=ivan@example.ru\r\n"}},
         cq::FolderState::NoKey},
        {"key and certificate",
         {{cq::kCertificateKeyFile, "key"},
          {cq::kCertificateFile, ReadFile(RetrievalData("user.cer"))}},
         cq::FolderState::Downloaded},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CertificateFolderFixture folder;
        for (const auto& [name, content] : c.files)
            folder.write(name, content);
        const cq::AddressOverview overview =
            cq::OverviewOfAddress("  Ivan@Example.ru ", FixedClock(LocalMoment(2030, 1, 1)));
        EXPECT_EQ(overview.Email, "Ivan@Example.ru");
        EXPECT_EQ(overview.State, c.state);
        EXPECT_EQ(overview.HasExpiry, c.state == cq::FolderState::Downloaded);
        EXPECT_EQ(overview.Problem, "");
    }
}

TEST(AddressOverview, AnAddressWithoutFolderHasNoKey) {
    CertificateFolderFixture folder;
    const cq::AddressOverview overview = cq::OverviewOfAddress("nobody@example.ru");
    EXPECT_EQ(overview.State, cq::FolderState::NoKey);
    EXPECT_FALSE(std::filesystem::exists(cq::CertificateFolder("nobody@example.ru")));
}

TEST(AddressOverview, DaysLeftCountFromTodayToTheEndDate) {
    struct Case {
        cq::TimePoint now;
        int daysLeft;
        bool expired;
    };
    // user.cer ends 15.06.2035 12:30:45.
    const Case cases[] = {
        {LocalMoment(2035, 1, 1, 12), 165, false}, {LocalMoment(2035, 5, 16, 23, 59), 30, false},
        {LocalMoment(2035, 5, 17), 29, false},     {LocalMoment(2035, 6, 14, 23, 59, 59), 1, false},
        {LocalMoment(2035, 6, 15, 23), 0, false}, // its last day
        {LocalMoment(2035, 6, 16), -1, true},      {LocalMoment(2036, 6, 15), -366, true},
    };
    CertificateFolderFixture folder;
    folder.put("user.cer", cq::kCertificateFile);
    folder.put("user-des3.key", cq::kCertificateKeyFile);
    for (const Case& c : cases) {
        const cq::AddressOverview overview =
            cq::OverviewOfAddress(kFixtureEmail, FixedClock(c.now));
        ASSERT_TRUE(overview.HasExpiry) << overview.Problem;
        EXPECT_EQ(cq::FormatCertificateDate(overview.NotAfter), "15.06.2035 12:30:45");
        EXPECT_EQ(overview.DaysLeft, c.daysLeft);
        EXPECT_EQ(overview.Expired, c.expired);
    }
}

TEST(AddressOverview, ProblemsAreToldNotRaised) {
    {
        CertificateFolderFixture folder;
        folder.put("error-page.cer", cq::kCertificateFile);
        const cq::AddressOverview overview = cq::OverviewOfAddress(kFixtureEmail);
        EXPECT_EQ(overview.State, cq::FolderState::Downloaded);
        EXPECT_FALSE(overview.HasExpiry);
        EXPECT_NE(overview.Problem.find("Неверный файл сертификата"), std::string::npos)
            << overview.Problem;
    }
    {
        CertificateFolderFixture folder;
        std::filesystem::create_directory(folder.folder() + cq::kRequestRecordFile);
        const cq::AddressOverview overview = cq::OverviewOfAddress(kFixtureEmail);
        EXPECT_EQ(overview.State, cq::FolderState::Unreadable);
        EXPECT_NE(overview.Problem, "");
    }
}

TEST(AddressOverview, RenewalStateIsReadFromTheFolder) {
    struct Case {
        const char* what;
        std::vector<std::string> files;
        std::vector<std::string> folders;
        cq::RenewalState renewal;
    };
    const Case cases[] = {
        {"working pair only", {}, {}, cq::RenewalState::None},
        {"pending renewal",
         {cq::kRenewalKeyFile, cq::kRenewalRecordFile},
         {},
         cq::RenewalState::Pending},
        {"renewal swapped in", {}, {"Previous-20350101-101010"}, cq::RenewalState::Issued},
        {"pending again after a swap",
         {cq::kRenewalRecordFile},
         {"Previous-20350101-101010"},
         cq::RenewalState::Pending},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CertificateFolderFixture folder;
        folder.put("user.cer", cq::kCertificateFile);
        folder.put("user-des3.key", cq::kCertificateKeyFile);
        for (const std::string& name : c.files)
            folder.write(name, "[Cert]\r\n");
        for (const std::string& name : c.folders)
            std::filesystem::create_directory(folder.folder() + name);
        const cq::AddressOverview overview =
            cq::OverviewOfAddress(kFixtureEmail, FixedClock(LocalMoment(2035, 6, 1)));
        EXPECT_EQ(overview.Renewal, c.renewal);
        EXPECT_TRUE(overview.HasExpiry) << overview.Problem;
        EXPECT_EQ(overview.DaysLeft, 14);
    }
}

// The overview may look into folders of other users (the administrator's report): a link where
// the folder, the certificate or the request record belongs is told as a problem, never read.
TEST(AddressOverview, LinksInTheFolderAreNotFollowed) {
    const std::string certificate = RetrievalData("user.cer");
    struct Case {
        const char* what;
        std::function<void(const CertificateFolderFixture&)> arrange;
        cq::FolderState state;
    };
    const Case cases[] = {
        {"certificate file is a link",
         [&](const CertificateFolderFixture& f) {
             std::filesystem::create_symlink(certificate, f.folder() + cq::kCertificateFile);
         },
         cq::FolderState::Downloaded},
        {"request record is a link",
         [](const CertificateFolderFixture& f) {
             f.write("elsewhere.ini", "[Cert]\r\nAlgorithm=GOST2012_256\r\n");
             std::filesystem::create_symlink(f.folder() + "elsewhere.ini",
                                             f.folder() + cq::kRequestRecordFile);
         },
         cq::FolderState::Unreadable},
        {"folder is a link",
         [&](const CertificateFolderFixture& f) {
             const std::string real = f.programFolder() + "real/";
             std::filesystem::create_directory(real);
             cq::test::WriteFile(real + cq::kCertificateFile, cq::test::ReadFile(certificate));
             std::filesystem::remove_all(f.folder());
             std::filesystem::create_directory_symlink(
                 real, cq::ExcludeTrailingPathDelimiter(f.folder()));
         },
         cq::FolderState::Unreadable},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CertificateFolderFixture folder;
        c.arrange(folder);
        const cq::AddressOverview overview =
            cq::OverviewOfAddress(kFixtureEmail, FixedClock(LocalMoment(2035, 6, 1)));
        EXPECT_EQ(overview.State, c.state);
        EXPECT_FALSE(overview.HasExpiry);
        EXPECT_NE(overview.Problem.find("символическая ссылка"), std::string::npos)
            << overview.Problem;
    }
}

// The explicit form reads the folders of a data folder it is given, whatever the settings in
// force say, and writes nothing there.
TEST(AddressOverview, ListOverviewReadsTheGivenDataFolder) {
    cq::test::TempDir data;
    const std::string folder = cq::CertificateFolderIn(data.path(), "Ivan@Example.ru");
    std::filesystem::create_directory(folder);
    cq::test::WriteFile(folder + cq::kCertificateFile,
                        cq::test::ReadFile(RetrievalData("user.cer")));
    cq::test::WriteFile(folder + cq::kRenewalRecordFile, "[Cert]\r\n");
    CertificateFolderFixture elsewhere; // the settings in force point to another folder
    const std::vector<cq::AddressOverview> overviews = cq::OverviewOfList(
        "Ivan@Example.ru\r\nnew@example.ru\r\n", data.path(), FixedClock(LocalMoment(2035, 6, 5)));
    ASSERT_EQ(overviews.size(), 2u);
    EXPECT_EQ(overviews[0].State, cq::FolderState::Downloaded);
    EXPECT_EQ(overviews[0].DaysLeft, 10);
    EXPECT_EQ(overviews[0].Renewal, cq::RenewalState::Pending);
    EXPECT_EQ(overviews[1].Email, "new@example.ru");
    EXPECT_EQ(overviews[1].State, cq::FolderState::NoKey);
    EXPECT_FALSE(std::filesystem::exists(cq::CertificateFolderIn(data.path(), "new@example.ru")));
}

TEST(AddressOverview, WarningPeriodTakesItsLastDayAndExpiredCertificates) {
    struct Case {
        bool hasExpiry;
        int daysLeft;
        bool expired;
        int warnDays;
        bool within;
    };
    const Case cases[] = {
        {true, 31, false, 30, false}, {true, 30, false, 30, true}, {true, 0, false, 30, true},
        {true, -1, true, 30, true},   {true, 0, true, 0, true},    {true, 1, false, 0, false},
        {false, 0, false, 30, false}, // nothing read, nothing to warn about
    };
    for (const Case& c : cases) {
        cq::AddressOverview overview;
        overview.HasExpiry = c.hasExpiry;
        overview.DaysLeft = c.daysLeft;
        overview.Expired = c.expired;
        EXPECT_EQ(cq::WithinWarningPeriod(overview, c.warnDays), c.within)
            << c.daysLeft << " days left, warning at " << c.warnDays;
    }
}

TEST(AddressOverview, ListAddressesAreTrimmedAndEmptyLinesLeftOut) {
    EXPECT_EQ(cq::EmailListAddresses("a@b.ru\r\n\r\n  c@d.ru \nE@F.ru\r"),
              (std::vector<std::string>{"a@b.ru", "c@d.ru", "E@F.ru"}));
    EXPECT_TRUE(cq::EmailListAddresses("").empty());
    EXPECT_TRUE(cq::EmailListAddresses("\r\n \r\n").empty());
}

} // namespace
