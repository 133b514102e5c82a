#pragma once
// Shared pieces of the tests: a temporary folder that the test owns, file helpers and a
// recording Dialogs.

#include "base/Clock.h"
#include "base/Dialogs.h"
#include "base/SubjectData.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace cq::test {

/// A fresh folder under /tmp, removed with everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    /// The folder with a trailing "/".
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + name; }

private:
    std::string path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

/// Runs a program with an argument vector (through the core's process runner); returns its exit
/// status and what it printed. "NAME=value" in extraEnvironment sets a variable, "NAME" alone
/// leaves it out; a program that cannot start gives status 127.
struct ProcessResult {
    int status = -1;
    std::string out;
    std::string err;
};
ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::vector<std::string>& extraEnvironment = {},
                         const std::string& standardInput = {});

/// Starts a program in the background with an argument vector (no shell); its output goes to
/// outputFile (appended) or is dropped. Returns its process id.
pid_t StartBackground(const std::vector<std::string>& argv, const std::string& outputFile = {});
/// Ends a process started by StartBackground: SIGTERM, then SIGKILL after a short grace time.
void StopProcess(pid_t pid);
/// True while the process has not ended (reaps it when it has).
bool ProcessAlive(pid_t pid);
/// A loopback TCP port that was free a moment ago.
int FreeLoopbackPort();
/// True once something accepts connections on 127.0.0.1:port (with ipv6, [::1]:port), false
/// after timeoutMs.
bool WaitForLoopbackPort(int port, int timeoutMs, bool ipv6 = false);

/// Dialogs that record every box and answer questions from a queue (default: No).
class RecordingDialogs final : public Dialogs {
public:
    struct Box {
        std::string kind; // "error", "warning", "info", "question"
        std::string text;
        std::string caption;
    };
    RecordingDialogs();
    ~RecordingDialogs() override;
    void showError(const std::string& text, const std::string& caption) override;
    void showWarning(const std::string& text, const std::string& caption) override;
    void showInfo(const std::string& text, const std::string& caption) override;
    bool askYesNo(const std::string& text, const std::string& caption) override;

    /// The answer to the next question.
    void answerNext(bool yes) { answers_.push_back(yes); }
    std::vector<Box> boxes;

private:
    std::vector<bool> answers_;
};

/// Sets the process's umask for the lifetime of the object, then restores it.
class ScopedUmask {
public:
    explicit ScopedUmask(mode_t mask);
    ~ScopedUmask();
    ScopedUmask(const ScopedUmask&) = delete;
    ScopedUmask& operator=(const ScopedUmask&) = delete;

private:
    mode_t old_;
};

/// The permission bits of a file or folder (a symbolic link followed); -1 when it is missing.
int FileMode(const std::string& path);

/// Puts the program folder (and so the settings file) in `folder`.
void UseProgramFolder(const std::string& folder);

/// Path of a built program in the build tree (certquorix-cli, sandbox-ca).
std::string BuiltProgram(const std::string& name);
/// Path of a fixture under tests/data.
std::string TestData(const std::string& name);

/// The subject of the tests' requests: "ru", no state, Moscow, Firm Ltd, IT, Ivan Petrov.
SubjectData SampleSubject(const std::string& email = "Ivan.Petrov@Mail.example",
                          const std::string& password = "Secret1");

/// A moment given in local time.
TimePoint LocalMoment(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                      int millisecond = 0);

} // namespace cq::test
