// certquorix-cli forget: an address leaves the e-mail list under the settings lock, so that
// several runs at once each remove their own and keep the others; the folder stays unless asked.
#include "CliFixture.h"
#include "base/FileUtil.h"
#include "base/IniFile.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace {

using namespace cq::test;

class CliForget : public ::testing::Test {
protected:
    void SetUp() override {
        writeList("anna@example.ru|boris@example.ru|vera@example.ru|gleb@example.ru|"
                  "dina@example.ru|egor@example.ru");
    }
    void writeList(const std::string& list) {
        WriteFile(program / "CertQuorix.ini", "[Email]\r\nList=" + list + "\r\n");
    }
    std::string list() const {
        return cq::IniFile::Load(program / "CertQuorix.ini").ReadString("Email", "List");
    }

    TempDir program;
    CliProgram cli{program.path()};
};

TEST_F(CliForget, RunsAtOnceEachRemoveTheirOwn) {
    std::vector<pid_t> runs;
    for (const char* email : {"boris@example.ru", "Gleb@Example.RU", "egor@example.ru"})
        runs.push_back(cli.start({"forget", "--email", email}));
    for (const pid_t run : runs)
        while (ProcessAlive(run))
            ::usleep(10000);
    EXPECT_EQ(list(), "anna@example.ru|vera@example.ru|dina@example.ru");
}

TEST_F(CliForget, TheFolderStaysUnlessAskedAndAnUnlistedAddressIsTold) {
    std::filesystem::create_directories(cli.folder("anna@example.ru"));
    std::filesystem::create_directories(cli.folder("vera@example.ru"));
    ProcessResult run = cli.run({"forget", "--email", "anna@example.ru"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(std::filesystem::exists(cli.folder("anna@example.ru")));

    // Without a terminal and without --yes the question is answered no: the folder stays.
    run = cli.run({"forget", "--email", "vera@example.ru", "--delete-folder"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(std::filesystem::exists(cli.folder("vera@example.ru")));
    writeList("vera@example.ru");
    run = cli.run({"forget", "--email", "vera@example.ru", "--delete-folder", "-y"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_FALSE(std::filesystem::exists(cli.folder("vera@example.ru")));

    run = cli.run({"forget", "--email", "nobody@example.ru"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("Адреса nobody@example.ru нет в списке."), std::string::npos) << run.err;
}

} // namespace
