#include "cli/PasswordInput.h"

#include "base/Errors.h"
#include "base/FileUtil.h"
#include "base/Translate.h"
#include "cli/TerminalLine.h"

#include <csignal>
#include <iostream>
#include <iterator>
#include <termios.h>
#include <unistd.h>

namespace cq::cli {
namespace {

// The signals that end a program waiting at a prompt: Ctrl+C, Ctrl+\, a kill and a closed
// terminal. While echo is off, each first puts the terminal back as it was.
constexpr int kEndingSignals[] = {SIGINT, SIGQUIT, SIGTERM, SIGHUP};
constexpr size_t kSignalCount = std::size(kEndingSignals);

termios settingsToRestore{};
volatile sig_atomic_t echoIsOff = 0;
struct sigaction previousActions[kSignalCount];

extern "C" void RestoreTerminalAndEnd(int number) {
    if (echoIsOff) {
        ::tcsetattr(STDIN_FILENO, TCSANOW, &settingsToRestore);
        (void)!::write(STDERR_FILENO, "\n", 1); // the shell's prompt starts on a line of its own
    }
    for (size_t i = 0; i < kSignalCount; ++i)
        if (kEndingSignals[i] == number)
            ::sigaction(number, &previousActions[i], nullptr);
    ::raise(number); // delivered once the handler returns, as if it had never been caught
}

/// Turns terminal echo off for its lifetime; a signal that ends the program meanwhile turns it
/// back on first, then ends the program as that signal does.
class EchoOff {
public:
    EchoOff() {
        if (::tcgetattr(STDIN_FILENO, &saved_) != 0)
            return;
        settingsToRestore = saved_;
        echoIsOff = 1;
        catchEndingSignals();
        termios quiet = saved_;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        active_ = ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
        if (!active_)
            restore();
    }
    ~EchoOff() {
        if (active_)
            restore();
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    void catchEndingSignals() {
        struct sigaction action {};
        action.sa_handler = RestoreTerminalAndEnd;
        sigemptyset(&action.sa_mask);
        for (const int number : kEndingSignals)
            sigaddset(&action.sa_mask, number);
        for (size_t i = 0; i < kSignalCount; ++i) {
            ::sigaction(kEndingSignals[i], nullptr, &previousActions[i]);
            caught_[i] = previousActions[i].sa_handler != SIG_IGN; // nohup's SIGHUP stays ignored
            if (caught_[i])
                ::sigaction(kEndingSignals[i], &action, nullptr);
        }
    }
    void restore() {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_);
        echoIsOff = 0;
        for (size_t i = 0; i < kSignalCount; ++i)
            if (caught_[i])
                ::sigaction(kEndingSignals[i], &previousActions[i], nullptr);
    }

    termios saved_{};
    bool active_ = false;
    bool caught_[kSignalCount] = {};
};

std::string WithoutFinalLineEnd(std::string text) {
    if (text.ends_with('\n'))
        text.pop_back();
    if (text.ends_with('\r'))
        text.pop_back();
    return text;
}

/// The content of the password file; one that cannot be read is the caller's input at fault.
std::string PasswordFileContent(const std::string& path) {
    try {
        return ReadFileBytes(path);
    } catch (const EOSError& error) {
        throw EOSError(error.message(), error.errorCode(), FailureClass::BadInput,
                       error.readableMessage());
    }
}

} // namespace

std::string ReadPasswordFile(const std::string& path) {
    // "-": the first line of standard input, a password piped in by a script.
    std::string line;
    if (path == "-")
        std::getline(std::cin, line);
    else
        line = PasswordFileContent(path);
    line = WithoutFinalLineEnd(std::move(line));
    // Nothing at all is no password, not a wrong one.
    if (line.empty())
        throw Exception(path == "-"
                            ? Tr("Пароль не задан: стандартный ввод пуст (--password-file -).")
                            : TrFormat("Пароль не задан: файл %1 пуст (--password-file).", {path}),
                        FailureClass::BadInput);
    return line;
}

std::optional<std::string> PromptPassword(const std::string& prompt) {
    if (!::isatty(STDIN_FILENO))
        return std::nullopt;
    std::cerr << prompt << std::flush;
    std::optional<std::string> line;
    {
        const EchoOff echoOff;
        line = ReadTerminalLine();
    }
    std::cerr << std::endl;
    if (!line)
        return std::nullopt;
    return WithoutFinalLineEnd(*line);
}

} // namespace cq::cli
