// certquorix-cli forget: an address leaves the e-mail list under the settings lock, so that
// several runs at once each remove their own and keep the others; the folder stays unless asked.
#include "CliFixture.h"
#include "base/FileUtil.h"
#include "base/IniFile.h"
#include "base/KillPoint.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

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

// A run killed while writing the settings file leaves its new copy beside it; the next run
// that takes the settings lock removes the copies of the settings file, and only those.
TEST_F(CliForget, StaleCopiesOfTheSettingsFileGoWithTheNextRun) {
    struct Name {
        const char* name;
        bool removed;
    };
    const Name names[] = {
        {"CertQuorix.ini.cqtmp-Ab12Cd", true},   {"CertQuorix.ini.cqtmp-zzzzzz", true},
        {"CertQuorix.ini.cqtmp-Ab12C", false},   // not one of ours: too short
        {"CertQuorix.ini.cqtmp-Ab12Cd7", false}, // too long
        {"CertQuorix.ini.cqtmp-Ab-2Cd", false},  // not a letter or digit
        {"Other.ini.cqtmp-Ab12Cd", false},       // another file's: its writer holds no lock
        {"CertQuorix.ini.bak", false},
    };
    for (const Name& n : names)
        WriteFile(program / n.name, "partial");
    const ProcessResult run = cli.run({"list"});
    EXPECT_EQ(run.status, 0) << run.err;
    for (const Name& n : names)
        EXPECT_EQ(cq::FileExists(program / n.name), !n.removed) << n.name;
    EXPECT_EQ(list(), "anna@example.ru|boris@example.ru|vera@example.ru|gleb@example.ru|"
                      "dina@example.ru|egor@example.ru");
}

// In a program folder the user may not change, the settings file is rewritten in place. A run
// killed after the new, shorter text is written but before the file is cut to its length must
// leave a file that reads as the new one, not the new text followed by the old one's tail.
TEST_F(CliForget, KilledInPlaceRewriteOfTheSettingsFileReadsAsTheNewOne) {
    struct Case {
        const char* settings;
        const char* forgotten;
        const char* list;
    };
    const Case cases[] = {
        {"[Email]\r\nList=anna@example.ru|boris@example.ru\r\n\r\n", "boris@example.ru",
         "anna@example.ru"},
        {"[Email]\r\nList=anna@example.ru|boris@example.ru|vera@example.ru\r\n\r\n"
         "[Cert]\r\nCountry=RU\r\nLocality=Moscow\r\n\r\n",
         "anna@example.ru", "boris@example.ru|vera@example.ru"},
    };
    const bool root = ::geteuid() == 0;
    const uid_t user = root ? 65534 : ::geteuid(); // root runs the tool as nobody
    for (const Case& c : cases) {
        SCOPED_TRACE(c.forgotten);
        TempDir dir;
        ::chmod(dir.path().c_str(), 0755);
        const std::string folder = dir / "program/";
        std::filesystem::create_directory(folder);
        CliProgram readOnly(folder);
        const std::string settings = folder + "CertQuorix.ini";
        const std::string original =
            "[Common]\r\nLogPath=" + dir.path() + "logs\r\n\r\n" + c.settings;
        WriteFile(settings, original);
        std::filesystem::create_directory(dir / "logs");
        for (const std::string& path : {settings, dir / "logs"})
            ASSERT_EQ(::chown(path.c_str(), user, static_cast<gid_t>(-1)), 0);
        ::chmod(settings.c_str(), 0600);
        ::chmod(folder.c_str(), 0555);
        if (root)
            readOnly.runner = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
        const ProcessResult killed =
            readOnly.run({"forget", "--email", c.forgotten},
                         {"HOME=" + dir.path(),
                          std::string(cq::kKillPointVariable) + "=file-rewritten-in-place"});
        ASSERT_EQ(killed.status, 128 + SIGKILL) << killed.err;
        cq::IniFile written = cq::IniFile::Parse(original);
        written.WriteString("Email", "List", c.list);
        const std::string expected = written.Serialize();
        const std::string text = ReadFile(settings);
        EXPECT_EQ(text.substr(0, expected.size()), expected);
        EXPECT_EQ(text.find_first_not_of('\n', expected.size()), std::string::npos) << text;
        ::chmod(folder.c_str(), 0755);
    }
}

} // namespace
