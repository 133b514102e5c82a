#include "platform/Process.h"

#include "base/Errors.h"
#include "base/SecretBytes.h"
#include "base/StringUtil.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace cq {
namespace {

class Pipe {
public:
    Pipe() {
        if (::pipe2(fds_, O_CLOEXEC) != 0)
            throw MakeOSError(errno);
    }
    ~Pipe() {
        closeRead();
        closeWrite();
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    int readEnd() const { return fds_[0]; }
    int writeEnd() const { return fds_[1]; }
    void closeRead() { CloseEnd(fds_[0]); }
    void closeWrite() { CloseEnd(fds_[1]); }

private:
    static void CloseEnd(int& fd) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    int fds_[2] = {-1, -1};
};

class SpawnActions {
public:
    SpawnActions() { ::posix_spawn_file_actions_init(&actions_); }
    ~SpawnActions() { ::posix_spawn_file_actions_destroy(&actions_); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    posix_spawn_file_actions_t* get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
};

/// The environment of this process with the given variables added or replaced; the strings of
/// the added variables are wiped when the object goes.
class ChildEnvironment {
public:
    explicit ChildEnvironment(std::vector<EnvironmentVariable>& extra) {
        for (EnvironmentVariable& variable : extra) {
            SecretBytes assignment;
            assignment.reserve(variable.name.size() + variable.value.size() + 2);
            assignment.append(variable.name);
            assignment.append("=");
            assignment.append(variable.value.view());
            variable.value.wipe();
            added_.push_back(std::move(assignment));
        }
        for (char** entry = environ; entry && *entry; ++entry)
            if (!Overridden(*entry, extra))
                pointers_.push_back(*entry);
        for (SecretBytes& assignment : added_)
            pointers_.push_back(assignment.data());
        pointers_.push_back(nullptr);
    }
    char* const* get() { return pointers_.data(); }

private:
    static bool Overridden(std::string_view entry, const std::vector<EnvironmentVariable>& extra) {
        for (const EnvironmentVariable& variable : extra)
            if (StartsWith(entry, variable.name + "="))
                return true;
        return false;
    }
    std::vector<SecretBytes> added_;
    std::vector<char*> pointers_;
};

std::string ReadAll(int fd) {
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return text;
        text.append(buffer, static_cast<size_t>(got));
    }
}

std::vector<char*> ArgumentVector(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    return argv;
}

int StatusOf(int waitStatus) {
    return WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : 128 + WTERMSIG(waitStatus);
}

void ReapInBackground(pid_t pid) {
    std::thread([pid] {
        int ignored = 0;
        while (::waitpid(pid, &ignored, 0) < 0 && errno == EINTR) {
        }
    }).detach();
}

int WaitForExit(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            throw MakeOSError(errno);
    return StatusOf(status);
}

} // namespace

ProcessOutcome RunAndWait(const std::string& program, const std::vector<std::string>& arguments,
                          std::vector<EnvironmentVariable> environment) {
    ChildEnvironment childEnvironment(environment);
    Pipe output;
    SpawnActions actions;
    ::posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_adddup2(actions.get(), output.writeEnd(), STDOUT_FILENO);
    ::posix_spawn_file_actions_adddup2(actions.get(), output.writeEnd(), STDERR_FILENO);
    std::vector<char*> argv = ArgumentVector(arguments);
    pid_t pid = 0;
    const int error = ::posix_spawn(&pid, program.c_str(), actions.get(), nullptr, argv.data(),
                                    childEnvironment.get());
    if (error != 0)
        throw MakeOSError(error);
    output.closeWrite();
    ProcessOutcome outcome;
    outcome.output = ReadAll(output.readEnd());
    outcome.exitStatus = WaitForExit(pid);
    return outcome;
}

std::optional<int> StartAndWaitBriefly(const std::vector<std::string>& arguments,
                                       std::chrono::milliseconds limit) {
    std::vector<EnvironmentVariable> noExtra;
    ChildEnvironment childEnvironment(noExtra);
    SpawnActions actions;
    ::posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    std::vector<char*> argv = ArgumentVector(arguments);
    pid_t pid = 0;
    const int error =
        ::posix_spawnp(&pid, argv[0], actions.get(), nullptr, argv.data(), childEnvironment.get());
    if (error != 0)
        throw MakeOSError(error);
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return StatusOf(status);
        if (done < 0 && errno != EINTR)
            return 0;
        if (std::chrono::steady_clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ReapInBackground(pid);
    return std::nullopt;
}

bool IsExecutableFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

std::string FindInPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    if (!path || !*path)
        return {};
    for (const std::string& folder : Split(path, ":")) {
        const std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
        if (IsExecutableFile(candidate))
            return candidate;
    }
    return {};
}

} // namespace cq
