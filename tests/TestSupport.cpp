#include "TestSupport.h"

#include "base/Errors.h"
#include "base/ProgramInfo.h"
#include "platform/Process.h"
#include "settings/SettingsValues.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace cq::test {

TempDir::TempDir() {
    char templ[] = "/tmp/cqtest.XXXXXX";
    if (!::mkdtemp(templ))
        throw std::runtime_error("mkdtemp failed");
    path_ = std::string(templ) + "/";
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::vector<std::string>& extraEnvironment,
                         const std::string& standardInput) {
    ProcessOptions options;
    for (const std::string& assignment : extraEnvironment) {
        const size_t equals = assignment.find('=');
        if (equals == std::string::npos)
            options.removedVariables.push_back(assignment);
        else
            options.environment.push_back(
                {assignment.substr(0, equals), SecretBytes(assignment.substr(equals + 1))});
    }
    options.standardInput = SecretBytes(standardInput);
    options.separateErrorOutput = true;
    try {
        ProcessOutcome outcome = RunAndWait(argv.front(), argv, std::move(options));
        return {outcome.exitStatus, std::move(outcome.output), std::move(outcome.errorOutput)};
    } catch (const EOSError& error) {
        return {127, "", error.what()}; // as a shell reports a program it cannot start
    }
}

pid_t StartBackground(const std::vector<std::string>& argv, const std::string& outputFile) {
    return StartInBackground(argv, outputFile);
}

namespace {

bool WaitForExit(pid_t pid, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (!ProcessAlive(pid))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

} // namespace

bool ProcessAlive(pid_t pid) {
    int status = 0;
    return ::waitpid(pid, &status, WNOHANG) == 0;
}

void StopProcess(pid_t pid) {
    if (pid <= 0)
        return;
    ::kill(pid, SIGTERM);
    if (WaitForExit(pid, std::chrono::seconds(3)))
        return;
    ::kill(pid, SIGKILL);
    WaitForExit(pid, std::chrono::seconds(3));
}

namespace {

sockaddr_in LoopbackAddress(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

} // namespace

int FreeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = LoopbackAddress(0);
    socklen_t length = sizeof address;
    const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    ::close(fd);
    if (!ok)
        throw std::runtime_error("no free loopback port");
    return ntohs(address.sin_port);
}

namespace {

bool ConnectsToLoopback(int port, bool ipv6) {
    const int fd = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
    bool connected = false;
    if (ipv6) {
        sockaddr_in6 address{};
        address.sin6_family = AF_INET6;
        address.sin6_port = htons(static_cast<uint16_t>(port));
        address.sin6_addr = in6addr_loopback;
        connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    } else {
        sockaddr_in address = LoopbackAddress(port);
        connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ::close(fd);
    return connected;
}

} // namespace

bool WaitForLoopbackPort(int port, int timeoutMs, bool ipv6) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        const bool connected = ConnectsToLoopback(port, ipv6);
        if (connected)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

RecordingDialogs::RecordingDialogs() {
    SetDialogs(this);
}
RecordingDialogs::~RecordingDialogs() {
    SetDialogs(nullptr);
}

void RecordingDialogs::showError(const std::string& text, const std::string& caption) {
    boxes.push_back({"error", text, caption});
}
void RecordingDialogs::showWarning(const std::string& text, const std::string& caption) {
    boxes.push_back({"warning", text, caption});
}
void RecordingDialogs::showInfo(const std::string& text, const std::string& caption) {
    boxes.push_back({"info", text, caption});
}
bool RecordingDialogs::askYesNo(const std::string& text, const std::string& caption) {
    boxes.push_back({"question", text, caption});
    if (answers_.empty())
        return false;
    const bool answer = answers_.front();
    answers_.erase(answers_.begin());
    return answer;
}

ScopedUmask::ScopedUmask(mode_t mask) : old_(::umask(mask)) {}

ScopedUmask::~ScopedUmask() {
    ::umask(old_);
}

int FileMode(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? static_cast<int>(info.st_mode & 07777) : -1;
}

void UseProgramFolder(const std::string& folder) {
    InitProgramInfo(folder + "certquorix");
    Settings() = SettingsValues();
    Settings().DataFolder = folder;
}

TimePoint LocalMoment(int year, int month, int day, int hour, int minute, int second,
                      int millisecond) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&tm)) +
           std::chrono::milliseconds(millisecond);
}

std::string BuiltProgram(const std::string& name) {
    return std::string(CQ_BINARY_DIR) + "/" + name;
}

std::string TestData(const std::string& name) {
    return std::string(CQ_TEST_DATA_DIR) + "/" + name;
}

SubjectData SampleSubject(const std::string& email, const std::string& password) {
    SubjectData subject;
    subject.Country = "ru";
    subject.Locality = "Moscow";
    subject.Organization = "Firm Ltd";
    subject.OrganizUnit = "IT";
    subject.CommonName = "Ivan Petrov";
    subject.Email = email;
    subject.Password = password;
    return subject;
}

} // namespace cq::test
