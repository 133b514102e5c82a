#include "certs/ShellOpen.h"

#include "app/ErrorReport.h"
#include "app/FileUtil.h"
#include "certs/Pkcs12Export.h"
#include "settings/CertFolders.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace cq {
namespace {

constexpr int kFileNotFound = 2;
constexpr int kPathNotFound = 3;
constexpr int kAccessDenied = 5;
constexpr int kOutOfMemory = 8;
constexpr int kBadAssociation = 27;
constexpr int kNoAssociation = 31;

// xdg-open returns once the handler has taken the path; some handlers keep it waiting for as
// long as they run, and then the path is open.
constexpr auto kHandlerStartTime = std::chrono::seconds(5);

int CodeForSpawnError(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
        return kAccessDenied;
    case ENOMEM:
        return kOutOfMemory;
    default:
        return kNoAssociation; // no xdg-open: nothing is associated with anything
    }
}

int CodeForExitStatus(int status) {
    switch (status) {
    case 0:
        return kShellOpenSucceeded;
    case 1:
        return kBadAssociation;
    case 2:
        return kFileNotFound;
    default:
        return kNoAssociation;
    }
}

/// The exit status when the process ends within the start time, else -1 (it is then reaped in
/// the background).
int WaitBriefly(pid_t pid) {
    const auto deadline = std::chrono::steady_clock::now() + kHandlerStartTime;
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (done < 0 && errno != EINTR)
            return 0;
        if (std::chrono::steady_clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::thread([pid] {
        int ignored = 0;
        while (::waitpid(pid, &ignored, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return -1;
}

} // namespace

int XdgOpen(const std::string& path) {
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    char* argv[] = {const_cast<char*>("xdg-open"), const_cast<char*>(path.c_str()), nullptr};
    pid_t pid = 0;
    const int error = ::posix_spawnp(&pid, "xdg-open", &actions, nullptr, argv, environ);
    ::posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
        return CodeForSpawnError(error);
    const int status = WaitBriefly(pid);
    return status < 0 ? kShellOpenSucceeded : CodeForExitStatus(status);
}

void OpenCertificateFolder(const std::string& email, const ShellOpener& opener) {
    const std::string folder = ExcludeTrailingPathDelimiter(CertificateFolder(email));
    CheckShellExecute(DirectoryExists(folder) ? opener(folder) : kPathNotFound);
}

void HandOverPkcs12(const std::string& path, const ShellOpener& opener) {
    CheckShellExecute(FileExists(path) ? opener(path) : kFileNotFound);
}

void InstallCertificate(const std::string& email, const std::string& password,
                        const ShellOpener& opener) {
    HandOverPkcs12(ExportPkcs12(email, password), opener);
}

} // namespace cq
