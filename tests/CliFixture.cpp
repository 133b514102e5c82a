#include "CliFixture.h"

#include "RequestChecks.h"
#include "SandboxServer.h"

#include <cstdlib>
#include <filesystem>
#include <map>

namespace cq::test {

void InstallCliProgramFolder(const std::string& folder, const SandboxServer& server) {
    std::filesystem::copy_file(BuiltProgram("certquorix-cli"), folder + "certquorix-cli");
    InstallActTemplates(folder);
    server.writeClientCertificate(folder);
}

CliProgram::CliProgram(const std::string& programFolder)
    : programFolder_(programFolder), program_(programFolder + "certquorix-cli") {
    std::filesystem::copy_file(BuiltProgram("certquorix-cli"), program_,
                               std::filesystem::copy_options::overwrite_existing);
}

ProcessResult CliProgram::run(const std::vector<std::string>& args,
                              const std::vector<std::string>& environment,
                              const std::string& standardInput) const {
    std::map<std::string, std::string> variables = {
        {"XDG_DATA_HOME", "XDG_DATA_HOME=" + home.path()},
        {"HOME", "HOME=" + home.path()},
        {"PATH", "PATH=" + bin.path() + ":" + std::getenv("PATH")},
        {"CERTQUORIX_PASSWORD", "CERTQUORIX_PASSWORD"},
    };
    for (const std::string& entry : environment)
        variables[entry.substr(0, entry.find('='))] = entry;
    std::vector<std::string> assignments;
    for (const auto& [name, assignment] : variables)
        assignments.push_back(assignment);
    std::vector<std::string> argv = {program_};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProcess(argv, assignments, standardInput);
}

} // namespace cq::test
