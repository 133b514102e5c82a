// certquorix-cli --help, -h and --version: usage on standard output with status 0, for the tool
// and every command, before any settings or service are needed.
#include "CliFixture.h"
#include "UserLanguage.h"
#include "cli/Usage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <filesystem>
#include <string>

namespace {

using cq::test::HasCyrillic;
using cq::test::LocaleExists;
using cq::test::ProcessResult;

class CliHelpTest : public ::testing::Test {
protected:
    cq::test::TempDir dir;
    cq::test::CliProgram cli{dir.path()};
};

TEST_F(CliHelpTest, EveryCommandPrintsItsUsageOnRequest) {
    struct Case {
        std::vector<std::string> args;
        std::string usageLine; // the first line of the usage
    };
    const Case cases[] = {
        {{"--help"}, "Использование: certquorix-cli КОМАНДА [параметры]"},
        {{"-h"}, "Использование: certquorix-cli КОМАНДА [параметры]"},
        {{"version", "--help"}, "Использование: certquorix-cli version"},
        {{"settings", "-h"}, "Использование: certquorix-cli settings"},
        {{"get", "--help"}, "Использование: certquorix-cli get URL"},
        {{"request", "--help"}, "Использование: certquorix-cli request --email АДРЕС"},
        // Help wins over the other options, however far along it is given.
        {{"request", "--email", "a@b.example", "-h"},
         "Использование: certquorix-cli request --email АДРЕС"},
        {{"download", "--help"}, "Использование: certquorix-cli download --email АДРЕС"},
        {{"check", "-h"}, "Использование: certquorix-cli check --email АДРЕС"},
        {{"export", "--help"}, "Использование: certquorix-cli export --email АДРЕС"},
        {{"providers", "--help"}, "Использование: certquorix-cli providers"},
        {{"list", "-h"}, "Использование: certquorix-cli list"},
    };
    for (const Case& c : cases) {
        const ProcessResult result = cli.run(c.args);
        SCOPED_TRACE(c.args.front() + " " + c.args.back());
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out.substr(0, c.usageLine.size()), c.usageLine) << result.out;
        EXPECT_EQ(result.err, "");
    }
    // Nothing was set up on the way: no settings file, no log folder.
    EXPECT_FALSE(std::filesystem::exists(cli.home / "CertQuorix"));
    EXPECT_FALSE(std::filesystem::exists(dir / "CertQuorix.ini"));
}

TEST_F(CliHelpTest, TheToolUsageNamesEveryCommand) {
    const ProcessResult help = cli.run({"--help"});
    for (const char* command : {"version", "settings", "get", "request", "download", "check",
                                "export", "list", "providers"})
        EXPECT_NE(help.out.find(command), std::string::npos) << command;
}

TEST_F(CliHelpTest, VersionPrintsTheVersionAlone) {
    const ProcessResult version = cli.run({"--version"});
    EXPECT_EQ(version.status, 0) << version.err;
    ASSERT_FALSE(version.out.empty());
    EXPECT_EQ(version.out.find('\n'), version.out.size() - 1);
    EXPECT_NE(cli.run({"version"}).out.find("ProgramVersion=" + version.out), std::string::npos);
}

TEST_F(CliHelpTest, NoOrAnUnknownCommandIsAUsageError) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, std::vector<std::string>{"frobnicate"},
          std::vector<std::string>{"--frobnicate"}}) {
        const ProcessResult result = cli.run(args);
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.out, "");
        EXPECT_NE(result.err.find("Использование:"), std::string::npos);
    }
}

TEST_F(CliHelpTest, TheHelpSpeaksTheUsersLanguageInGettextsOrder) {
    if (!LocaleExists("en_US.UTF-8") || !LocaleExists("ru_RU.UTF-8"))
        GTEST_SKIP() << "the en_US.UTF-8 and ru_RU.UTF-8 locales are not generated here";
    const std::string russian = cli.run({"check", "--help"}).out;
    ASSERT_EQ(russian.rfind("Использование: certquorix-cli check --email АДРЕС", 0), 0u);
    struct Case {
        std::vector<std::string> environment;
        bool english;
    };
    const Case cases[] = {
        {{"LANG=en_US.UTF-8"}, true},
        {{"LANG=ru_RU.UTF-8"}, false},
        {{"LANG=POSIX"}, false},
        {{"LANG=ru_RU.UTF-8", "LANGUAGE=en"}, true},
        {{"LANG=en_US.UTF-8", "LC_MESSAGES=ru_RU.UTF-8"}, false},
        {{"LANG=en_US.UTF-8", "LC_ALL=ru_RU.UTF-8"}, false},
        {{"LANG=ru_RU.UTF-8", "LC_ALL=en_US.UTF-8"}, true},
        // Under C gettext keeps the ids whatever LANGUAGE says.
        {{"LC_ALL=C", "LANGUAGE=en"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.environment.back());
        const ProcessResult result = cli.run({"check", "--help"}, c.environment);
        EXPECT_EQ(result.status, 0);
        if (c.english)
            EXPECT_EQ(result.out.rfind("Usage: certquorix-cli check --email ADDRESS", 0), 0u)
                << result.out;
        else
            EXPECT_EQ(result.out, russian); // the very bytes of the Russian texts
    }
}

TEST_F(CliHelpTest, TheEnglishHelpOfEveryCommandHasNoRussianLeft) {
    if (!LocaleExists("en_US.UTF-8"))
        GTEST_SKIP() << "the en_US.UTF-8 locale is not generated here";
    std::vector<std::vector<std::string>> calls = {{"--help"}};
    for (const std::string& command : cq::cli::CommandNames())
        calls.push_back({command, "--help"});
    for (const auto& call : calls) {
        const ProcessResult result = cli.run(call, {"LANG=en_US.UTF-8"});
        EXPECT_EQ(result.status, 0);
        EXPECT_FALSE(HasCyrillic(result.out)) << result.out;
    }
}

} // namespace

namespace {

// The window program answers --help and --version on the console before it needs a display.
TEST(WindowProgramHelp, AnsweredWithoutADisplay) {
    const std::string window = cq::test::BuiltProgram("certquorix");
    if (!std::filesystem::exists(window))
        GTEST_SKIP() << "the window is not built";
    const std::vector<std::string> noDisplay = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
    const ProcessResult version = cq::test::RunProcess({window, "--version"}, noDisplay);
    EXPECT_EQ(version.status, 0) << version.err;
    const ProcessResult cliVersion =
        cq::test::RunProcess({cq::test::BuiltProgram("certquorix-cli"), "--version"});
    EXPECT_EQ(version.out, cliVersion.out);
    const ProcessResult help = cq::test::RunProcess({window, "--help"}, noDisplay);
    EXPECT_EQ(help.status, 0) << help.err;
    EXPECT_EQ(help.out.rfind("Использование: certquorix", 0), 0u) << help.out;
}

} // namespace
