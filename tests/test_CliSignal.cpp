// certquorix-cli stopped by a real signal while it waits on the service: the operation ends as a
// failure does (the certificate folder is put back as it was) and the program then ends by the
// signal, as shells and scripts expect.
#include "CliFixture.h"
#include "RequestChecks.h"
#include "SandboxServer.h"
#include "SilentListener.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <memory>

namespace cq {
namespace {

using test::SandboxServer;
using test::SilentListener;
using test::TerminalProgram;

constexpr const char* kRsaEmail = "ivan.petrov@mail.example";
constexpr const char* kGostEmail = "anna.smirnova@mail.example";

/// Every file of a folder with its bytes.
using FolderContent = std::map<std::string, std::string>;
FolderContent ContentOf(const std::string& folder) {
    FolderContent content;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        content[entry.path().filename().string()] = test::ReadFile(entry.path().string());
    return content;
}

/// The names of the files that came, went or changed ("" when none did).
std::string Changes(const FolderContent& before, const FolderContent& after) {
    std::string changes;
    for (const auto& [name, bytes] : after) {
        const auto old = before.find(name);
        if (old == before.end())
            changes += " new:" + name;
        else if (old->second != bytes)
            changes += " changed:" + name;
    }
    for (const auto& [name, bytes] : before)
        if (!after.count(name))
            changes += " gone:" + name;
    return changes;
}

class CliSignalTest : public test::CliSandboxTest {
protected:
    void SetUp() override {
        CliSandboxTest::SetUp();
        cli.baseEnvironment = {"CERTQUORIX_PASSWORD=Secret 1", "CERTQUORIX_CONTAINER_PASSWORD=pw"};
        pointAt(server->url("/requp/"), server->url("/gost/requp/"), server->url("/certget/"));
    }

    void pointAt(const std::string& rsaRequest, const std::string& gostRequest,
                 const std::string& rsaReceive) {
        cli.writeServiceSettings(*server,
                                 {{"UrlRequestRSACertificate", rsaRequest},
                                  {"UrlRequestGostCertificate", gostRequest},
                                  {"UrlReceiveRSACertificate", rsaReceive},
                                  {"UrlReceiveGostCertificate", server->url("/gost/certget/")}});
    }

    static std::vector<std::string> rsaRequest() {
        return {"request", "--yes",          "--email",  kRsaEmail,       "--locality",
                "Moscow",  "--organization", "Firm Ltd", "--common-name", "Ivan Petrov"};
    }
    static std::vector<std::string> gostRequest() {
        return {"request",       "--gost",        "--yes",        "--email",
                kGostEmail,      "--country",     "RU",           "--state",
                "Moscow region", "--locality",    "Moscow",       "--organization",
                "Firm Ltd",      "--common-name", "Anna Smirnova"};
    }

    /// Runs a command to its end at the terminal; its exit status.
    int run(const std::vector<std::string>& args) {
        TerminalProgram terminal = cli.startAtTerminal(args);
        const int status = terminal.wait();
        EXPECT_EQ(status, 0) << terminal.output();
        return status;
    }

    /// A folder with a requested, issued and downloaded certificate.
    void makeWorkingFolder(const std::vector<std::string>& requestArgs, const std::string& email) {
        ASSERT_EQ(run(requestArgs), 0);
        server->issue(email);
        ASSERT_EQ(run({"download", "--yes", "--email", email}), 0);
    }
};

TEST_F(CliSignalTest, SignalWhileWaitingOnTheServiceRollsBackThenEndsByTheSignal) {
    makeWorkingFolder(rsaRequest(), kRsaEmail);
    makeWorkingFolder(gostRequest(), kGostEmail);
    ASSERT_FALSE(HasFailure());
    SilentListener silent;
    pointAt(silent.url("/requp/"), silent.url("/gost/requp/"), silent.url("/certget/"));

    struct Operation {
        const char* what;
        std::vector<std::string> args;
        const char* email;
    };
    const Operation operations[] = {
        {"RSA request", rsaRequest(), kRsaEmail},
        {"GOST request", gostRequest(), kGostEmail},
        {"download", {"download", "--yes", "--email", kRsaEmail}, kRsaEmail},
    };
    struct Stop {
        const char* what;
        int signal;
    };
    for (const Stop stop :
         {Stop{"Ctrl+C", SIGINT}, Stop{"SIGTERM", SIGTERM}, Stop{"SIGHUP", SIGHUP}}) {
        for (const Operation& operation : operations) {
            SCOPED_TRACE(std::string(operation.what) + ", " + stop.what);
            const FolderContent before = ContentOf(cli.folder(operation.email));
            TerminalProgram terminal = cli.startAtTerminal(operation.args);
            ASSERT_TRUE(silent.takeClient()) << terminal.output();
            if (stop.signal == SIGINT)
                terminal.type("\x03");
            else
                terminal.signal(stop.signal);
            EXPECT_EQ(terminal.wait(), 128 + stop.signal) << terminal.output();
            EXPECT_EQ(Changes(before, ContentOf(cli.folder(operation.email))), "")
                << terminal.output();
        }
    }
}

} // namespace
} // namespace cq
