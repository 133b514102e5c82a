#include "CliFixture.h"
#include "TestSupport.h"
#include "app/AppServer.h"
#include "app/ErrorReport.h"
#include "base/Errors.h"
#include "base/ProgramInfo.h"
#include "log/Identity.h"

#include <gtest/gtest.h>

namespace {

TEST(Identity, StationNameAndIdentityFromSessionSources) {
    struct Case {
        std::string name;
        cq::IdentitySources sources;
        std::string station;
        std::string identity;
    };
    const Case cases[] = {
        {"console", {"", "", "", "pc7", "\\user1"}, "PC7", "pc7:\\user1"},
        {"remote",
         {"10.0.0.5", "home1", "pts/3", "ts2", "\\user1"},
         "HOME1",
         "(HOME1:pts/3)ts2:\\user1"},
        {"remote without session name",
         {"10.0.0.5", "home1", "", "ts2", "\\u"},
         "HOME1",
         "ts2:\\u"},
        {"remote client without a name",
         {"10.0.0.5", "", "pts/1", "ts2", "\\u"},
         "TS2",
         "(TS2:pts/1)ts2:\\u"},
        {"no account", {"", "", "", "pc7", "***"}, "PC7", "pc7:***"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(cq::MakeStationName(c.sources), c.station) << c.name;
        EXPECT_EQ(cq::MakeStationIdentity(c.sources), c.identity) << c.name;
    }
}

TEST(Identity, ReadsThisMachine) {
    const cq::IdentitySources sources = cq::ReadIdentitySources();
    EXPECT_FALSE(sources.computerName.empty());
    EXPECT_EQ(sources.accountName.front(), '\\');
}

TEST(Identity, IPv6SshClientCountsAsConsole) {
    ::setenv("SSH_CONNECTION", "fe80::1 50000 fe80::2 22", 1);
    EXPECT_TRUE(cq::ReadIdentitySources().clientAddress.empty());
    ::setenv("SSH_CONNECTION", "127.0.0.1 50000 127.0.0.1 22", 1);
    EXPECT_EQ(cq::ReadIdentitySources().clientAddress, "127.0.0.1");
    ::unsetenv("SSH_CONNECTION");
}

// A client whose address has no name in the DNS keeps its whole address as station name, so
// that such clients do not all share the log files of "192"; a name is cut to its first label.
TEST(Identity, SshClientWithoutANameKeepsItsWholeAddress) {
    ::setenv("SSH_CONNECTION", "192.0.2.44 50000 192.0.2.1 22", 1); // documentation range
    const cq::IdentitySources sources = cq::ReadIdentitySources();
    ::unsetenv("SSH_CONNECTION");
    EXPECT_EQ(sources.clientAddress, "192.0.2.44");
    EXPECT_EQ(sources.clientName, "192.0.2.44");
    EXPECT_EQ(cq::MakeStationName(sources), "192.0.2.44");
}

TEST(Identity, ProgramFileNamesFollowTheProgramPath) {
    cq::InitProgramInfo("/opt/cq/Other.Name.bin");
    EXPECT_EQ(cq::ProgramFolder(), "/opt/cq/");
    EXPECT_EQ(cq::ProgramFileName(), "Other.Name.bin");
    EXPECT_EQ(cq::SingleLogFileName(), "Other.Name.log");
}

TEST(DebugSwitch, OnlyTheFirstArgumentWithASign) {
    const std::pair<std::vector<std::string>, bool> cases[] = {
        {{}, false},         {{"DEBUG"}, false},   {{"/debug"}, true},   {{"-DeBuG"}, true},
        {{"\\DEBUG"}, true}, {{"-DEBUGX"}, false}, {{"-DEBUG "}, false}, {{"x", "-DEBUG"}, false},
        {{"+DEBUG"}, false}, {{""}, false},
    };
    for (const auto& [arguments, expected] : cases)
        EXPECT_EQ(cq::IsDebugSwitch(arguments), expected)
            << (arguments.empty() ? "(none)" : arguments.front());
}

TEST(CliVersion, PrintsIdentityLines) {
    cq::test::TempDir dir;
    const auto result = cq::test::CliProgram(dir.path()).run({"version"});
    EXPECT_EQ(result.status, 0);
    for (const char* name : {"ProgramFileName=certquorix-cli\n", "ProgramVersion=",
                             "ProgramFolder=", "StationName=", "StationIdentity="})
        EXPECT_NE(result.out.find(name), std::string::npos) << name;
}

} // namespace

namespace {

TEST(AppServer, DiscardsEscapedErrorsUntilAnotherHandlerIsInstalled) {
    cq::test::RecordingDialogs dialogs;
    cq::TAppServer server(true);
    EXPECT_TRUE(server.DebugMode);
    EXPECT_EQ(server.ConnectionHandle, 0);
    cq::HandleApplicationError(cq::Exception("from a creation handler"));
    EXPECT_TRUE(dialogs.boxes.empty());
    cq::SetApplicationErrorHandler(
        [](const std::exception& error) { cq::OnApplicationError(error); });
    cq::HandleApplicationError(cq::Exception("later"));
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, "Exception: later");
    cq::SetApplicationErrorHandler(nullptr);
}

} // namespace
