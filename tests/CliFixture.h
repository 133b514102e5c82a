#pragma once
// The command-line tool as the tests run it: a copy of certquorix-cli in a program folder, a
// home of its own (HOME and XDG_DATA_HOME) and a folder first on PATH for stand-in programs
// (xdg-open). No proxy variable reaches it and the key password variable is left out unless a
// run sets it. A run waits for the end and captures status and output, starts in the background,
// or starts on a pseudo-terminal of its own.

#include "Terminal.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace cq::test {

class SandboxServer;

class CliProgram {
public:
    /// The tool in `programFolder` (a folder the caller owns and keeps).
    explicit CliProgram(const std::string& programFolder);

    /// Puts what talking to the sandbox service needs in the program folder: the act templates
    /// and the service's client certificate.
    void installServiceFiles(const SandboxServer& server) const;
    /// Writes the program folder's settings file: the service's CA trusted and each settings key
    /// of `addresses` ("UrlRequestRSACertificate", ...) set to its URL.
    void
    writeServiceSettings(const SandboxServer& server,
                         const std::vector<std::pair<std::string, std::string>>& addresses) const;

    /// Runs the tool to its end. "NAME=value" entries set or override variables (over the
    /// fixture's and over `baseEnvironment`), "NAME" alone leaves one out.
    ProcessResult run(const std::vector<std::string>& args,
                      const std::vector<std::string>& environment = {},
                      const std::string& standardInput = {}) const;
    /// Starts the tool in the background (no terminal, output dropped); its process id.
    pid_t start(const std::vector<std::string>& args,
                const std::vector<std::string>& environment = {}) const;
    /// Starts the tool on a pseudo-terminal of its own (TERM=dumb), as a user at a console does.
    TerminalProgram startAtTerminal(const std::vector<std::string>& args,
                                    const std::vector<std::string>& environment = {}) const;

    const std::string& programFolder() const { return programFolder_; }
    const std::string& program() const { return program_; }
    /// The certificate folder of an address in the program folder.
    std::string folder(const std::string& email) const { return programFolder_ + email + "/"; }

    TempDir home;
    TempDir bin;
    /// Variables every run of this program gets ("NAME=value", or "NAME" to leave one out); a
    /// run's own entries override them.
    std::vector<std::string> baseEnvironment;
    /// A command every run puts before the tool and that then runs it, such as setpriv to run
    /// it as another user; empty runs the tool itself.
    std::vector<std::string> runner;

private:
    /// Each variable's entry by name: the fixture's, then `baseEnvironment`, then `extra`.
    std::map<std::string, std::string> variables(const std::vector<std::string>& extra) const;
    std::vector<std::string> command(const std::vector<std::string>& args) const;

    std::string programFolder_;
    std::string program_;
};

/// A test suite that shares one sandbox service: started before its first test, stopped after
/// its last.
class SandboxSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    static std::unique_ptr<SandboxServer> server;
};

/// A suite whose tests each get the tool in a program folder of its own, with the act templates
/// and the client certificate the service wants; the service answers normally until a test
/// sets a fault. The settings file is the test's to write.
class CliSandboxTest : public SandboxSuite {
protected:
    void SetUp() override;

    TempDir dir;
    CliProgram cli{dir.path()};
};

} // namespace cq::test
