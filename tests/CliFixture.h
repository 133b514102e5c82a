#pragma once
// The command-line tool as the tests run it: a copy of certquorix-cli in a program folder, a
// home of its own (HOME and XDG_DATA_HOME) and a folder first on PATH for stand-in programs
// (xdg-open). The key password variable is left out unless a run sets it.

#include "TestSupport.h"

#include <string>
#include <vector>

namespace cq::test {

class SandboxServer;

/// A program folder for the tool (`folder` ends with "/"): a copy of certquorix-cli, the act
/// templates and the sandbox service's client certificate.
void InstallCliProgramFolder(const std::string& folder, const SandboxServer& server);

class CliProgram {
public:
    /// The tool in `programFolder` (a folder the caller owns and keeps).
    explicit CliProgram(const std::string& programFolder);
    /// Runs the tool; "NAME=value" entries of `environment` set or override variables, "NAME"
    /// alone leaves one out.
    ProcessResult run(const std::vector<std::string>& args,
                      const std::vector<std::string>& environment = {},
                      const std::string& standardInput = {}) const;
    const std::string& programFolder() const { return programFolder_; }
    const std::string& program() const { return program_; }
    /// The certificate folder of an address in the program folder.
    std::string folder(const std::string& email) const { return programFolder_ + email + "/"; }

    TempDir home;
    TempDir bin;

private:
    std::string programFolder_;
    std::string program_;
};

} // namespace cq::test
