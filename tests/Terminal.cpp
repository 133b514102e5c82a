#include "Terminal.h"

#include <chrono>
#include <csignal>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utmp.h>

namespace cq::test {
namespace {

std::vector<char*> Pointers(const std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (const std::string& text : texts)
        pointers.push_back(const_cast<char*>(text.c_str()));
    pointers.push_back(nullptr);
    return pointers;
}

} // namespace

TerminalProgram::TerminalProgram(const std::vector<std::string>& argv,
                                 const std::vector<std::string>& environment) {
    if (::openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    ::tcgetattr(slave_, &initial_);
    std::vector<char*> args = Pointers(argv);
    std::vector<char*> env = Pointers(environment);
    pid_ = ::fork();
    if (pid_ < 0)
        throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        ::close(master_);
        const rlimit noCore{0, 0}; // a program ended by SIGQUIT leaves no core file behind
        ::setrlimit(RLIMIT_CORE, &noCore);
        if (::login_tty(slave_) != 0) // new session, controlling terminal, standard streams
            ::_exit(126);
        ::execve(args[0], args.data(), env.data());
        ::_exit(127);
    }
}

TerminalProgram::~TerminalProgram() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        int ignored = 0;
        ::waitpid(pid_, &ignored, 0);
    }
    ::close(master_);
    ::close(slave_);
}

void TerminalProgram::readAvailable(int timeoutMs) {
    pollfd fd{master_, POLLIN, 0};
    if (::poll(&fd, 1, timeoutMs) <= 0 || !(fd.revents & POLLIN))
        return;
    char buffer[4096];
    const ssize_t got = ::read(master_, buffer, sizeof buffer);
    if (got > 0)
        output_.append(buffer, static_cast<size_t>(got));
}

bool TerminalProgram::waitForOutput(const std::string& text, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (output_.find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        readAvailable(50);
    }
    return true;
}

bool TerminalProgram::waitForEchoOff(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (settings().c_lflag & ECHO) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        readAvailable(20);
    }
    return true;
}

void TerminalProgram::type(const std::string& keys) {
    if (::write(master_, keys.data(), keys.size()) != static_cast<ssize_t>(keys.size()))
        throw std::runtime_error("cannot type on the terminal");
}

void TerminalProgram::signal(int number) {
    ::kill(pid_, number);
}

int TerminalProgram::wait() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline)
            ::kill(pid_, SIGKILL); // a program that hangs fails the test, not the whole run
        readAvailable(20);
    }
    pid_ = -1;
    readAvailable(0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

termios TerminalProgram::settings() const {
    termios now{};
    ::tcgetattr(slave_, &now);
    return now;
}

} // namespace cq::test
