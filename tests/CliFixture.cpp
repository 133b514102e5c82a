#include "CliFixture.h"

#include "RequestChecks.h"
#include "SandboxServer.h"
#include "base/IniFile.h"

#include <cstdlib>
#include <filesystem>

namespace cq::test {

CliProgram::CliProgram(const std::string& programFolder)
    : programFolder_(programFolder), program_(programFolder + "certquorix-cli") {
    std::filesystem::copy_file(BuiltProgram("certquorix-cli"), program_,
                               std::filesystem::copy_options::overwrite_existing);
    // The program that tries a PKCS#11 module before the tool loads it lives beside the tool.
    std::filesystem::copy_file(BuiltProgram("certquorix-pkcs11-probe"),
                               programFolder + "certquorix-pkcs11-probe",
                               std::filesystem::copy_options::overwrite_existing);
    // The message catalogs the build compiled, where the tool looks for them beside itself.
    const std::filesystem::path catalogs =
        std::filesystem::path(BuiltProgram("certquorix-cli")).parent_path() / "locale";
    if (std::filesystem::exists(catalogs) && !std::filesystem::exists(programFolder + "locale"))
        std::filesystem::create_directory_symlink(catalogs, programFolder + "locale");
}

void CliProgram::installServiceFiles(const SandboxServer& server) const {
    InstallActTemplates(programFolder_);
    server.writeClientCertificate(programFolder_);
}

void CliProgram::writeServiceSettings(
    const SandboxServer& server,
    const std::vector<std::pair<std::string, std::string>>& addresses) const {
    IniFile ini;
    ini.WriteString("HTTPS", "CaFile", server.caFile());
    for (const auto& [key, url] : addresses)
        ini.WriteString("HTTPS", key, url);
    ini.Save(programFolder_ + "CertQuorix.ini");
}

std::map<std::string, std::string>
CliProgram::variables(const std::vector<std::string>& extra) const {
    std::map<std::string, std::string> variables = {
        {"XDG_DATA_HOME", "XDG_DATA_HOME=" + home.path()},
        {"HOME", "HOME=" + home.path()},
        {"PATH", "PATH=" + bin.path() + ":" + std::getenv("PATH")},
        {"CERTQUORIX_PASSWORD", "CERTQUORIX_PASSWORD"},
        // The tool's own texts, whatever language the shell running the tests speaks; a test
        // of the language sets these itself.
        {"LANG", "LANG=C"},
        {"LANGUAGE", "LANGUAGE"},
        {"LC_ALL", "LC_ALL"},
        {"LC_MESSAGES", "LC_MESSAGES"},
    };
    for (const char* proxy :
         {"https_proxy", "HTTPS_PROXY", "http_proxy", "HTTP_PROXY", "no_proxy", "NO_PROXY"})
        variables[proxy] = std::string(proxy) + "=";
    for (const std::vector<std::string>* entries : {&baseEnvironment, &extra})
        for (const std::string& entry : *entries)
            variables[entry.substr(0, entry.find('='))] = entry;
    return variables;
}

std::vector<std::string> CliProgram::command(const std::vector<std::string>& args) const {
    std::vector<std::string> argv = runner;
    argv.push_back(program_);
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

ProcessResult CliProgram::run(const std::vector<std::string>& args,
                              const std::vector<std::string>& environment,
                              const std::string& standardInput) const {
    std::vector<std::string> assignments;
    for (const auto& [name, assignment] : variables(environment))
        assignments.push_back(assignment);
    return RunProcess(command(args), assignments, standardInput);
}

pid_t CliProgram::start(const std::vector<std::string>& args,
                        const std::vector<std::string>& environment) const {
    // env takes its -u options before the first assignment: after one, "-u" would be the
    // program to run.
    std::vector<std::string> argv = {"/usr/bin/env"};
    std::vector<std::string> assignments;
    for (const auto& [name, assignment] : variables(environment)) {
        if (assignment.find('=') == std::string::npos)
            argv.insert(argv.end(), {"-u", name});
        else
            assignments.push_back(assignment);
    }
    argv.insert(argv.end(), assignments.begin(), assignments.end());
    const std::vector<std::string> tool = command(args);
    argv.insert(argv.end(), tool.begin(), tool.end());
    return StartBackground(argv);
}

TerminalProgram CliProgram::startAtTerminal(const std::vector<std::string>& args,
                                            const std::vector<std::string>& environment) const {
    std::vector<std::string> extra = {"TERM=dumb"};
    extra.insert(extra.end(), environment.begin(), environment.end());
    std::vector<std::string> assignments; // the whole environment: nothing else is inherited
    for (const auto& [name, assignment] : variables(extra))
        if (assignment.find('=') != std::string::npos)
            assignments.push_back(assignment);
    return TerminalProgram(command(args), assignments);
}

std::unique_ptr<SandboxServer> SandboxSuite::server;

void SandboxSuite::SetUpTestSuite() {
    server = std::make_unique<SandboxServer>();
}

void SandboxSuite::TearDownTestSuite() {
    server.reset();
}

void CliSandboxTest::SetUp() {
    cli.installServiceFiles(*server);
    server->setFault("");
}

} // namespace cq::test
