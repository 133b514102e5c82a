#pragma once
// A program run on a pseudo-terminal of its own, as a user at a console runs it: the terminal is
// its controlling terminal, so Ctrl+C typed there reaches it as SIGINT.

#include <string>
#include <sys/types.h>
#include <termios.h>
#include <vector>

namespace cq::test {

class TerminalProgram {
public:
    /// Starts argv[0] (a path) with exactly `environment` ("NAME=value" entries).
    TerminalProgram(const std::vector<std::string>& argv,
                    const std::vector<std::string>& environment);
    /// Kills the program if it still runs.
    ~TerminalProgram();
    TerminalProgram(const TerminalProgram&) = delete;
    TerminalProgram& operator=(const TerminalProgram&) = delete;

    /// Reads the program's output until it holds `text`; false after `timeoutMs`.
    bool waitForOutput(const std::string& text, int timeoutMs = 20000);
    /// Waits until the terminal's echo is off (true) or `timeoutMs` passed (false).
    bool waitForEchoOff(int timeoutMs = 5000);
    /// Types keys on the terminal ("\r" is Enter, "\x03" is Ctrl+C).
    void type(const std::string& keys);
    /// Sends a signal to the program.
    void signal(int number);
    /// Waits for the end: the exit status, or 128 + the signal number that ended it (a program
    /// still running after a minute is killed).
    int wait();

    /// The terminal's settings as they are now, and as they were before the program ran.
    termios settings() const;
    const termios& initialSettings() const { return initial_; }
    const std::string& output() const { return output_; }

private:
    void readAvailable(int timeoutMs);
    int master_ = -1;
    int slave_ = -1;
    pid_t pid_ = -1;
    termios initial_{};
    std::string output_;
};

} // namespace cq::test
