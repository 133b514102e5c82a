#include "Process.h"

#include <cerrno>
#include <sys/wait.h>
#include <unistd.h>

namespace sandbox {

namespace {

[[noreturn]] void ExecChild(const std::vector<std::string>& argv, int outputFd) {
    ::dup2(outputFd, 1);
    ::dup2(outputFd, 2);
    ::close(outputFd);
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    ::execvp(args[0], args.data());
    ::_exit(127);
}

std::string ReadUntilEnd(int fd) {
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

} // namespace

ToolResult RunTool(const std::vector<std::string>& argv) {
    int pipeFds[2];
    if (argv.empty() || ::pipe(pipeFds) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipeFds[0]);
        ExecChild(argv, pipeFds[1]);
    }
    ::close(pipeFds[1]);
    ToolResult result;
    if (pid < 0) {
        ::close(pipeFds[0]);
        return result;
    }
    result.output = ReadUntilEnd(pipeFds[0]);
    ::close(pipeFds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

} // namespace sandbox
