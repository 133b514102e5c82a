// The desktop notice's choice of addresses: within the warning period and not told yet today,
// by the record of the days each address was told, which is kept across runs.
#include "TestSupport.h"
#include "base/FileUtil.h"
#include "certs/ExpiryNotice.h"

#include <gtest/gtest.h>

namespace {

cq::AddressOverview Ending(const std::string& email, int daysLeft) {
    cq::AddressOverview overview;
    overview.Email = email;
    overview.HasExpiry = true;
    overview.DaysLeft = daysLeft;
    overview.Expired = daysLeft < 0;
    return overview;
}

TEST(ExpiryNotice, DueOncePerDayForAddressesWithinThePeriod) {
    struct Case {
        const char* what;
        std::string record;
        cq::AddressOverview overview;
        bool due;
    };
    const std::string today = "2035-06-01";
    const Case cases[] = {
        {"never told", "", Ending("a@b.ru", 10), true},
        {"told yesterday", "[Notified]\r\na@b.ru=2035-05-31\r\n", Ending("a@b.ru", 10), true},
        {"told today", "[Notified]\r\na@b.ru=2035-06-01\r\n", Ending("a@b.ru", 10), false},
        {"told today, listed in capitals", "[Notified]\r\na@b.ru=2035-06-01\r\n",
         Ending(" A@B.ru ", 10), false},
        {"another address told today", "[Notified]\r\nc@d.ru=2035-06-01\r\n", Ending("a@b.ru", 10),
         true},
        {"expired", "", Ending("a@b.ru", -3), true},
        {"beyond the period", "", Ending("a@b.ru", 31), false},
        {"no certificate read", "", cq::AddressOverview{}, false},
    };
    for (const Case& c : cases) {
        const std::vector<cq::AddressOverview> due =
            cq::NoticesDue({c.overview}, 30, cq::IniFile::Parse(c.record), today);
        EXPECT_EQ(due.size(), c.due ? 1u : 0u) << c.what;
    }
}

TEST(ExpiryNotice, TheRecordKeepsEveryAddressAndIsTheUsersAlone) {
    const cq::test::TempDir home;
    const std::string path = home / "CertQuorix/Notified.ini";
    cq::WriteNoticeRecord(path, cq::ReadNoticeRecord(path), {"a@b.ru"}, "2035-05-31");
    cq::WriteNoticeRecord(path, cq::ReadNoticeRecord(path), {"C@D.ru"}, "2035-06-01");
    const cq::IniFile record = cq::ReadNoticeRecord(path);
    EXPECT_EQ(record.ReadString("Notified", "a@b.ru"), "2035-05-31");
    EXPECT_EQ(record.ReadString("Notified", "c@d.ru"), "2035-06-01");
    EXPECT_EQ(cq::test::FileMode(path), 0600);
    EXPECT_EQ(cq::test::FileMode(home / "CertQuorix"), 0700);
}

} // namespace
