#include "cli/PasswordInput.h"

#include "base/FileUtil.h"

#include <iostream>
#include <termios.h>
#include <unistd.h>

namespace cq::cli {
namespace {

/// Turns terminal echo off for its lifetime.
class EchoOff {
public:
    EchoOff() {
        if (::tcgetattr(STDIN_FILENO, &saved_) != 0)
            return;
        termios quiet = saved_;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        active_ = ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
    }
    ~EchoOff() {
        if (active_)
            ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    termios saved_{};
    bool active_ = false;
};

std::string WithoutFinalLineEnd(std::string text) {
    if (text.ends_with('\n'))
        text.pop_back();
    if (text.ends_with('\r'))
        text.pop_back();
    return text;
}

} // namespace

std::string ReadPasswordFile(const std::string& path) {
    return WithoutFinalLineEnd(ReadFileBytes(path));
}

std::optional<std::string> PromptPassword(const std::string& prompt) {
    if (!::isatty(STDIN_FILENO))
        return std::nullopt;
    std::cerr << prompt << std::flush;
    std::string line;
    bool got = false;
    {
        const EchoOff echoOff;
        got = static_cast<bool>(std::getline(std::cin, line));
    }
    std::cerr << std::endl;
    if (!got)
        return std::nullopt;
    return WithoutFinalLineEnd(line);
}

} // namespace cq::cli
