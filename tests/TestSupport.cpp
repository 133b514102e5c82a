#include "TestSupport.h"

#include "base/ProgramInfo.h"
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

namespace {

[[noreturn]] void ExecOrExit(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    ::execvp(args[0], args.data());
    ::_exit(127);
}

void DrainPipes(int outFd, int errFd, ProcessResult& result) {
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    int open = 2;
    char buffer[4096];
    while (open > 0) {
        if (::poll(fds, 2, -1) < 0)
            break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            if (got <= 0) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            } else {
                (i == 0 ? result.out : result.err).append(buffer, static_cast<size_t>(got));
            }
        }
    }
}

} // namespace

ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::vector<std::string>& extraEnvironment,
                         const std::string& standardInput) {
    int outPipe[2], errPipe[2], inPipe[2];
    if (::pipe(outPipe) != 0 || ::pipe(errPipe) != 0 || ::pipe(inPipe) != 0)
        throw std::runtime_error("pipe failed");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(inPipe[0], 0);
        ::dup2(outPipe[1], 1);
        ::dup2(errPipe[1], 2);
        for (int fd : {outPipe[0], outPipe[1], errPipe[0], errPipe[1], inPipe[0], inPipe[1]})
            ::close(fd);
        for (const std::string& assignment : extraEnvironment)
            ::putenv(const_cast<char*>(assignment.c_str()));
        ExecOrExit(argv);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    ::close(inPipe[0]);
    if (!standardInput.empty())
        (void)!::write(inPipe[1], standardInput.data(), standardInput.size());
    ::close(inPipe[1]);
    ProcessResult result;
    DrainPipes(outPipe[0], errPipe[0], result);
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

pid_t StartBackground(const std::vector<std::string>& argv, const std::string& outputFile) {
    const pid_t pid = ::fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        const int out = outputFile.empty()
                            ? ::open("/dev/null", O_WRONLY)
                            : ::open(outputFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        const int in = ::open("/dev/null", O_RDONLY);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(out, 2);
        ExecOrExit(argv);
    }
    return pid;
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

bool WaitForLoopbackPort(int port, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = LoopbackAddress(port);
        const bool connected =
            ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
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
