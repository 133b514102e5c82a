// certquorix-cli forget: an address leaves the e-mail list under the settings lock, so that
// several runs at once each remove their own and keep the others; the folder stays unless asked.
#include "CliFixture.h"
#include "base/FileUtil.h"
#include "base/FolderLock.h"
#include "base/IniFile.h"
#include "base/KillPoint.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
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

// The folder of an address another operation works on (a request being sent, a download) is
// not deleted under it, and the address stays listed: nothing changes until it is free.
TEST_F(CliForget, AFolderInUseIsNeitherDeletedNorForgotten) {
    const std::string folder = cli.folder("vera@example.ru");
    std::filesystem::create_directories(folder);
    WriteFile(folder + "Certificate.key", "key");
    std::optional<cq::FolderLock> held = cq::FolderLock::Acquire(folder, {});
    ASSERT_TRUE(held);
    const ProcessResult run =
        cli.run({"forget", "--email", "vera@example.ru", "--delete-folder", "--yes"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("уже работает другая операция"), std::string::npos) << run.err;
    EXPECT_EQ(ReadFile(folder + "Certificate.key"), "key");
    EXPECT_NE(list().find("vera@example.ru"), std::string::npos);

    held.reset();
    EXPECT_EQ(cli.run({"forget", "--email", "vera@example.ru", "--delete-folder", "--yes"}).status,
              0);
    EXPECT_FALSE(std::filesystem::exists(folder));
}

// The folder goes in one step: renamed aside, then deleted. Killed in between, the address has
// no folder at all, and the next run deletes what was set aside.
TEST_F(CliForget, RemovalKilledMidwayLeavesNoHalfFolder) {
    const std::string folder = cli.folder("vera@example.ru");
    std::filesystem::create_directories(folder + "sub");
    for (const char* name : {"Certificate.key", "Certificate.cer", "Request.ini", "sub/x"})
        WriteFile(folder + name, name);
    std::filesystem::create_directories(cli.folder("anna@example.ru"));
    const auto entries = [this] {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(program.path()))
            names.insert(entry.path().filename().string());
        return names;
    };
    cli.run({"list"}); // the log folder is made by the first run
    std::set<std::string> before = entries();
    const ProcessResult killed =
        cli.run({"forget", "--email", "vera@example.ru", "--delete-folder", "--yes"},
                {std::string(cq::kKillPointVariable) + "=folder-set-aside"});
    ASSERT_EQ(killed.status, 128 + SIGKILL) << killed.err;
    EXPECT_FALSE(std::filesystem::exists(folder));
    std::set<std::string> added;
    for (const std::string& name : entries())
        if (!before.count(name))
            added.insert(name);
    ASSERT_EQ(added.size(), 1u); // the folder set aside, whole
    const std::string aside = program / *added.begin();
    EXPECT_EQ(ReadFile(aside + "/sub/x"), "sub/x");

    const ProcessResult next = cli.run({"list"});
    EXPECT_EQ(next.status, 0) << next.err;
    EXPECT_EQ(next.err, "");
    before.erase("vera@example.ru");
    EXPECT_EQ(entries(), before);
}

// Only folders set aside by a removal, this user's and no longer in use, are deleted; their
// links are removed, never followed.
TEST_F(CliForget, OnlyFoldersSetAsideAreDeleted) {
    struct Entry {
        const char* name;
        bool held; // a removal still under way
        bool deleted;
    };
    const Entry entries[] = {
        {".removing-abc123", false, true},  {".removing-0z9y8x", false, true},
        {".removing-abc789", true, false},  {".removing-abc12", false, false},
        {".removing-ABC123", false, false}, {"removing-abc123", false, false},
        {"anna@example.ru", false, false},
    };
    TempDir outside;
    WriteFile(outside / "precious", "precious");
    std::vector<cq::FolderLock> locks;
    for (const Entry& e : entries) {
        const std::string folder = program / e.name;
        std::filesystem::create_directories(folder + "/sub");
        WriteFile(folder + "/sub/file", "data");
        std::filesystem::create_symlink(outside.path(), folder + "/link");
        if (e.held)
            locks.push_back(*cq::FolderLock::Acquire(folder, {}));
    }
    const ProcessResult run = cli.run({"list"});
    EXPECT_EQ(run.status, 0) << run.err;
    for (const Entry& e : entries)
        EXPECT_EQ(std::filesystem::exists(program / e.name), !e.deleted) << e.name;
    EXPECT_EQ(ReadFile(outside / "precious"), "precious");
}

} // namespace
