#include "platform/Process.h"

#include "base/Errors.h"
#include "base/PasswordVariables.h"
#include "base/SecretBytes.h"
#include "base/StringUtil.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
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

class SpawnAttributes {
public:
    SpawnAttributes() { ::posix_spawnattr_init(&attributes_); }
    ~SpawnAttributes() { ::posix_spawnattr_destroy(&attributes_); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
    posix_spawnattr_t* get() { return &attributes_; }

private:
    posix_spawnattr_t attributes_;
};

/// The environment of this process without our password variables and the removed ones, with
/// the given variables added or replaced; the strings of the added variables are wiped when the
/// object goes.
class ChildEnvironment {
public:
    explicit ChildEnvironment(std::vector<EnvironmentVariable>& extra,
                              const std::vector<std::string>& removed = {}) {
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
            if (!Overridden(*entry, extra) && !Removed(*entry, removed) &&
                !PasswordVariable(*entry))
                pointers_.push_back(*entry);
        for (SecretBytes& assignment : added_)
            pointers_.push_back(assignment.data());
        pointers_.push_back(nullptr);
    }
    char* const* get() { return pointers_.data(); }

private:
    static bool PasswordVariable(std::string_view entry) {
        for (const char* name : kPasswordVariables)
            if (StartsWith(entry, std::string(name) + "="))
                return true;
        return false;
    }
    static bool Overridden(std::string_view entry, const std::vector<EnvironmentVariable>& extra) {
        for (const EnvironmentVariable& variable : extra)
            if (StartsWith(entry, variable.name + "="))
                return true;
        return false;
    }
    static bool Removed(std::string_view entry, const std::vector<std::string>& removed) {
        for (const std::string& name : removed)
            if (StartsWith(entry, name + "="))
                return true;
        return false;
    }
    std::vector<SecretBytes> added_;
    std::vector<char*> pointers_;
};

// Keeps SIGPIPE from ending the process while this thread writes to a program that may have
// ended: the signal is blocked for the thread and a pending one is taken away afterwards.
class PipeSignalBlock {
public:
    PipeSignalBlock() {
        sigemptyset(&pipeSignal_);
        sigaddset(&pipeSignal_, SIGPIPE);
        ::pthread_sigmask(SIG_BLOCK, &pipeSignal_, &previous_);
    }
    ~PipeSignalBlock() {
        const timespec noWait{};
        while (::sigtimedwait(&pipeSignal_, nullptr, &noWait) > 0) {
        }
        ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }
    PipeSignalBlock(const PipeSignalBlock&) = delete;
    PipeSignalBlock& operator=(const PipeSignalBlock&) = delete;

private:
    sigset_t pipeSignal_;
    sigset_t previous_;
};

// Writes `text` to the program's input and reads its output and error output until both end,
// with one poll loop so that neither side waits for the other with a full pipe.
void Exchange(Pipe& input, std::string_view text, int outputFd, std::string& output, int errorFd,
              std::string& errorOutput) {
    const PipeSignalBlock noPipeSignal;
    size_t written = 0;
    if (text.empty())
        input.closeWrite();
    pollfd fds[3] = {{outputFd, POLLIN, 0}, {errorFd, POLLIN, 0}, {input.writeEnd(), POLLOUT, 0}};
    std::string* targets[2] = {&output, &errorOutput};
    char buffer[4096];
    while (fds[0].fd >= 0 || fds[1].fd >= 0) {
        fds[2].fd = input.writeEnd();
        if (::poll(fds, 3, -1) < 0) {
            if (errno == EINTR)
                continue;
            throw MakeOSError(errno);
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0)
                targets[i]->append(buffer, static_cast<size_t>(got));
            else if (got == 0 || errno != EINTR)
                fds[i].fd = -1;
        }
        if (fds[2].fd >= 0 && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP))) {
            // At most PIPE_BUF bytes: poll promised that much room, so the write never blocks.
            const size_t chunk = std::min<size_t>(PIPE_BUF, text.size() - written);
            const ssize_t put = ::write(fds[2].fd, text.data() + written, chunk);
            if (put > 0)
                written += static_cast<size_t>(put);
            if ((put < 0 && errno != EINTR && errno != EAGAIN) || written == text.size())
                input.closeWrite();
        }
    }
    input.closeWrite();
}

// Reads `fd` into `text` until its end; false when `deadline` came first.
bool ReadUntil(int fd, std::chrono::steady_clock::time_point deadline, std::string& text) {
    char buffer[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd readable{fd, POLLIN, 0};
        const int ready = ::poll(&readable, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR)
            throw MakeOSError(errno);
        if (ready <= 0)
            continue;
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0)
            text.append(buffer, static_cast<size_t>(got));
        else if (got == 0 || errno != EINTR)
            return true;
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

// The exit status of `pid`, or nullopt when it still runs at `deadline`.
std::optional<int> WaitUntil(pid_t pid, std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return StatusOf(status);
        if (done < 0 && errno != EINTR)
            throw MakeOSError(errno);
        if (std::chrono::steady_clock::now() >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// Starts `program` (looked up on PATH when it has no "/"); raises EOSError when it cannot start.
pid_t Spawn(const std::string& program, const std::vector<std::string>& arguments,
            SpawnActions& actions, ChildEnvironment& environment) {
    std::vector<char*> argv = ArgumentVector(arguments);
    pid_t pid = 0;
    const int error = ::posix_spawnp(&pid, program.c_str(), actions.get(), nullptr, argv.data(),
                                     environment.get());
    if (error != 0)
        throw MakeOSError(error);
    return pid;
}

} // namespace

ProcessOutcome RunAndWait(const std::string& program, const std::vector<std::string>& arguments,
                          std::vector<EnvironmentVariable> environment) {
    ProcessOptions options;
    options.environment = std::move(environment);
    return RunAndWait(program, arguments, std::move(options));
}

ProcessOutcome RunAndWait(const std::string& program, const std::vector<std::string>& arguments,
                          ProcessOptions options) {
    ChildEnvironment childEnvironment(options.environment, options.removedVariables);
    Pipe input;
    Pipe output;
    Pipe errors;
    SpawnActions actions;
    ::posix_spawn_file_actions_adddup2(actions.get(), input.readEnd(), STDIN_FILENO);
    ::posix_spawn_file_actions_adddup2(actions.get(), output.writeEnd(), STDOUT_FILENO);
    ::posix_spawn_file_actions_adddup2(
        actions.get(), options.separateErrorOutput ? errors.writeEnd() : output.writeEnd(),
        STDERR_FILENO);
    const pid_t pid = Spawn(program, arguments, actions, childEnvironment);
    input.closeRead();
    output.closeWrite();
    errors.closeWrite();
    ProcessOutcome outcome;
    Exchange(input, options.standardInput.view(), output.readEnd(), outcome.output,
             errors.readEnd(), outcome.errorOutput);
    outcome.exitStatus = WaitForExit(pid);
    return outcome;
}

int StartInBackground(const std::vector<std::string>& arguments, const std::string& outputFile) {
    SpawnActions actions;
    ::posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    const char* target = outputFile.empty() ? "/dev/null" : outputFile.c_str();
    ::posix_spawn_file_actions_addopen(actions.get(), STDOUT_FILENO, target,
                                       O_WRONLY | O_CREAT | O_APPEND, 0600);
    ::posix_spawn_file_actions_adddup2(actions.get(), STDOUT_FILENO, STDERR_FILENO);
    std::vector<EnvironmentVariable> noExtra;
    ChildEnvironment childEnvironment(noExtra);
    const pid_t pid = Spawn(arguments.front(), arguments, actions, childEnvironment);
    return pid;
}

std::optional<int> StartAndWaitBriefly(const std::vector<std::string>& arguments,
                                       std::chrono::milliseconds limit) {
    std::vector<EnvironmentVariable> noExtra;
    ChildEnvironment childEnvironment(noExtra);
    SpawnActions actions;
    ::posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    const pid_t pid = Spawn(arguments.front(), arguments, actions, childEnvironment);
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

std::optional<int> RunWithTimeLimit(const std::vector<std::string>& arguments,
                                    std::chrono::milliseconds limit) {
    std::vector<EnvironmentVariable> noExtra;
    ChildEnvironment childEnvironment(noExtra);
    SpawnActions actions;
    ::posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_addopen(actions.get(), STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    ::posix_spawn_file_actions_addopen(actions.get(), STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    SpawnAttributes attributes;
    // A group of its own: whatever the program starts ends with it at the limit.
    ::posix_spawnattr_setpgroup(attributes.get(), 0);
    ::posix_spawnattr_setflags(attributes.get(), POSIX_SPAWN_SETPGROUP);
    std::vector<char*> argv = ArgumentVector(arguments);
    pid_t pid = 0;
    const int error = ::posix_spawn(&pid, arguments.front().c_str(), actions.get(),
                                    attributes.get(), argv.data(), childEnvironment.get());
    if (error != 0)
        throw MakeOSError(error);
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return StatusOf(status);
        if (done < 0 && errno != EINTR)
            throw MakeOSError(errno);
        if (std::chrono::steady_clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(-pid, SIGKILL);
    WaitForExit(pid);
    return std::nullopt;
}

std::optional<ProcessOutcome> ReadOutputWithTimeLimit(const std::vector<std::string>& arguments,
                                                      std::chrono::milliseconds limit) {
    std::vector<EnvironmentVariable> noExtra;
    ChildEnvironment childEnvironment(noExtra);
    Pipe output;
    SpawnActions actions;
    ::posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_adddup2(actions.get(), output.writeEnd(), STDOUT_FILENO);
    ::posix_spawn_file_actions_addopen(actions.get(), STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    SpawnAttributes attributes;
    ::posix_spawnattr_setpgroup(attributes.get(), 0);
    ::posix_spawnattr_setflags(attributes.get(), POSIX_SPAWN_SETPGROUP);
    std::vector<char*> argv = ArgumentVector(arguments);
    pid_t pid = 0;
    const int error = ::posix_spawnp(&pid, arguments.front().c_str(), actions.get(),
                                     attributes.get(), argv.data(), childEnvironment.get());
    if (error != 0)
        throw MakeOSError(error);
    output.closeWrite();
    const auto deadline = std::chrono::steady_clock::now() + limit;
    ProcessOutcome outcome;
    std::optional<int> status;
    if (ReadUntil(output.readEnd(), deadline, outcome.output))
        status = WaitUntil(pid, deadline);
    if (!status) {
        ::kill(-pid, SIGKILL);
        WaitForExit(pid);
        return std::nullopt;
    }
    outcome.exitStatus = *status;
    return outcome;
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
