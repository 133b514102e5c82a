// The address overview behind `certquorix-cli list`: the folder state by the reception rule and
// the days a downloaded certificate has left, on real certificate folders and an injected clock.
#include "RetrievalFixture.h"
#include "certs/AddressOverview.h"
#include "settings/CertFolders.h"

#include <gtest/gtest.h>

#include <filesystem>

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

TEST(AddressOverview, ListAddressesAreTrimmedAndEmptyLinesLeftOut) {
    EXPECT_EQ(cq::EmailListAddresses("a@b.ru\r\n\r\n  c@d.ru \nE@F.ru\r"),
              (std::vector<std::string>{"a@b.ru", "c@d.ru", "E@F.ru"}));
    EXPECT_TRUE(cq::EmailListAddresses("").empty());
    EXPECT_TRUE(cq::EmailListAddresses("\r\n \r\n").empty());
}

} // namespace
