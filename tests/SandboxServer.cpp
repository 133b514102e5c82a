#include "SandboxServer.h"

#include "settings/SettingsValues.h"

#include <arpa/inet.h>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace cq::test {

namespace {

std::string Sandbox() {
    return BuiltProgram("sandbox-ca");
}

void RunChecked(const std::vector<std::string>& argv) {
    const ProcessResult result = RunProcess(argv);
    if (result.status != 0)
        throw std::runtime_error(argv[1] + " failed: " + result.err + result.out);
}

std::string LowerAscii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

/// RSA key generation dominates the start of a server, so the CAs and the server certificate
/// are made once per test run and copied into each server's folder.
const std::string& TemplateFolder() {
    static const TempDir folder;
    static const bool made = (RunChecked({Sandbox(), "init", "--dir", folder.path()}), true);
    (void)made;
    return folder.path();
}

void CopyInto(const std::string& from, const std::string& to, const std::string& name) {
    std::filesystem::copy_file(from + name, to + name,
                               std::filesystem::copy_options::overwrite_existing);
}

void CopyTemplate(const std::string& dir) {
    std::filesystem::create_directories(dir);
    for (const char* name :
         {"ca.crt", "ca.key", "server.crt", "server.key", "client-ca.crt", "client-ca.key"})
        CopyInto(TemplateFolder(), dir, name);
}

/// Client certificates of the template's client CA, made once per password and kind.
const std::string& ClientCertificateFolder(const std::string& password, bool selfSigned) {
    static std::mutex mutex;
    static std::map<std::pair<std::string, bool>, std::unique_ptr<TempDir>> folders;
    const std::lock_guard<std::mutex> lock(mutex);
    std::unique_ptr<TempDir>& folder = folders[{password, selfSigned}];
    if (!folder) {
        auto made = std::make_unique<TempDir>();
        std::vector<std::string> argv = {Sandbox(), "client-cert", "--dir",      TemplateFolder(),
                                         "--out",   made->path(),  "--password", password};
        if (selfSigned)
            argv.push_back("--self-signed");
        RunChecked(argv);
        folder = std::move(made);
    }
    return folder->path();
}

/// Waits until the server has written its port file, or gives up when it ended or took too long.
int WaitForPortFile(const std::string& portFile, pid_t pid, const std::string& log) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        const std::string text = ReadFile(portFile);
        if (!text.empty())
            return std::stoi(text);
        if (!ProcessAlive(pid))
            throw std::runtime_error("sandbox-ca serve ended: " + ReadFile(log));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    throw std::runtime_error("sandbox-ca serve did not start: " + ReadFile(log));
}

} // namespace

SandboxServer::SandboxServer(const std::vector<std::string>& extraServeArguments)
    : dir_(folder_.path() + "state/") {
    CopyTemplate(dir_);
    RunChecked({Sandbox(), "init", "--dir", dir_});
    std::vector<std::string> argv = {Sandbox(), "serve", "--dir",       dir_,
                                     "--port",  "0",     "--port-file", dir_ + "port"};
    argv.insert(argv.end(), extraServeArguments.begin(), extraServeArguments.end());
    const std::string log = dir_ + "serve.log";
    pid_ = StartBackground(argv, log);
    try {
        port_ = WaitForPortFile(dir_ + "port", pid_, log);
    } catch (...) {
        StopProcess(pid_);
        throw;
    }
}

SandboxServer::~SandboxServer() {
    StopProcess(pid_);
}

const std::string& SandboxServer::dir() const {
    return dir_;
}

int SandboxServer::port() const {
    return port_;
}

std::string SandboxServer::url(const std::string& path) const {
    return "https://localhost:" + std::to_string(port_) + path;
}

std::string SandboxServer::caFile() const {
    return dir_ + "ca.crt";
}

void SandboxServer::writeClientCertificate(const std::string& programFolder,
                                           const std::string& password, bool selfSigned) const {
    const std::string& made = ClientCertificateFolder(password, selfSigned);
    const std::string folder =
        programFolder.empty() || programFolder.back() == '/' ? programFolder : programFolder + "/";
    std::filesystem::create_directories(folder);
    CopyInto(made, folder, "Request.cer");
    CopyInto(made, folder, "Request.key");
}

void SandboxServer::issue(const std::string& email, bool expired, int days) const {
    std::vector<std::string> argv = {Sandbox(), "issue", "--dir", dir_, "--email", email};
    if (expired)
        argv.push_back("--expired");
    if (days > 0) {
        argv.push_back("--days");
        argv.push_back(std::to_string(days));
    }
    RunChecked(argv);
}

void SandboxServer::setLifetime(const std::string& email, int days) const {
    RunChecked(
        {Sandbox(), "lifetime", "--dir", dir_, "--email", email, "--days", std::to_string(days)});
}

void SandboxServer::setFault(const std::string& fault, int slowSeconds) const {
    WriteFile(dir_ + "slow-seconds", std::to_string(slowSeconds));
    WriteFile(dir_ + "fault", fault);
}

std::string SandboxServer::storedRequest(const std::string& email) const {
    return ReadFile(dir_ + "requests/" + LowerAscii(email) + ".csr");
}

TinyProxy::TinyProxy(const std::string& user, const std::string& password,
                     const std::string& listenAddress) {
    port_ = FreeLoopbackPort();
    const std::string config = folder_ / "tinyproxy.conf";
    WriteFile(config, "User nobody\nGroup nogroup\nPort " + std::to_string(port_) + "\nListen " +
                          listenAddress + "\nTimeout 60\nLogLevel Info\nLogFile \"" +
                          (folder_ / "tinyproxy.log") + "\"\nPidFile \"" +
                          (folder_ / "tinyproxy.pid") +
                          "\"\nMaxClients 20\nAllow 127.0.0.1\nAllow ::1\n" + "BasicAuth " + user +
                          " " + password + "\n");
    // tinyproxy drops to nobody and must still write its log and pid files.
    std::filesystem::permissions(folder_.path(), std::filesystem::perms::all);
    pid_ = StartBackground({"/usr/bin/tinyproxy", "-d", "-c", config}, folder_ / "stderr.log");
    const bool listening = WaitForLoopbackPort(port_, 10000, listenAddress == "::1");
    if (!listening) {
        StopProcess(pid_);
        throw std::runtime_error("tinyproxy did not start: " + ReadFile(folder_ / "stderr.log") +
                                 ReadFile(folder_ / "tinyproxy.log"));
    }
}

TinyProxy::~TinyProxy() {
    StopProcess(pid_);
}

int TinyProxy::port() const {
    return port_;
}

void UseSandboxService(const SandboxServer& server, const std::string& programFolder) {
    server.writeClientCertificate(programFolder);
    SettingsValues& settings = Settings();
    settings.RequestCertificate = "Request.cer";
    settings.RequestKey = "Request.key";
    settings.RequestPassword = "Hrkwp(3mzqtbv";
    settings.CaFile = server.caFile();
    settings.UrlRequestRSACertificate = server.url("/requp/");
    settings.UrlRequestGostCertificate = server.url("/requp/");
    settings.UrlReceiveRSACertificate = server.url("/certget/");
    settings.UrlReceiveGostCertificate = server.url("/certget/");
}

} // namespace cq::test
