#include "provider/ContainerStore.h"

#include "base/Errors.h"
#include "base/FileDescriptor.h"
#include "base/FileUtil.h"
#include "base/FolderLock.h"
#include "base/KillPoint.h"
#include "base/Translate.h"
#include "provider/CryptoProvider.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace cq::provider {
namespace {

constexpr size_t kLongestName = 200;
/// The names of the temporary files of a store that cannot use a file without a name.
constexpr const char* kTemporaryPrefix = ".container-";
/// Stores take the container folder's lock only for the write; a longer wait means trouble.
constexpr std::chrono::milliseconds kContainerFolderWait{10000};

bool IsNameCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.';
}

/// Closes a descriptor and removes a temporary file when the scope ends.
class TemporaryFile {
public:
    explicit TemporaryFile(std::string pathTemplate) : path_(std::move(pathTemplate)) {
        fd_ = ::mkstemp(path_.data());
        if (fd_ < 0)
            throw MakeOSError(errno, path_);
    }
    ~TemporaryFile() {
        if (fd_ >= 0)
            ::close(fd_);
        ::unlink(path_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    int fd() const { return fd_; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
    int fd_ = -1;
};

void WriteAll(int fd, std::string_view bytes, const std::string& path) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            throw MakeOSError(written < 0 ? errno : EIO, path);
        bytes.remove_prefix(static_cast<size_t>(written));
    }
}

void WriteAndFlush(int fd, std::string_view bytes, const std::string& path) {
    WriteAll(fd, bytes, path);
    if (::fsync(fd) != 0)
        throw MakeOSError(errno, path);
    KillPoint("container-written");
}

void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

/// Gives the container its name; an existing container is never replaced.
void LinkContainer(const std::string& from, const std::string& path, int linkFlags) {
    if (::linkat(AT_FDCWD, from.c_str(), AT_FDCWD, path.c_str(), linkFlags) == 0)
        return;
    if (errno == EEXIST)
        throw ProviderError(code::kExists, ExtractFileName(path));
    throw MakeOSError(errno, path);
}

/// Writes the container into a file without a name, which gets one only when it is complete: a
/// run killed meanwhile leaves nothing, so no private key ever waits in a temporary file. False
/// where the file system or /proc does not allow it.
bool StoreThroughUnnamedFile(const std::string& folder, const std::string& path,
                             std::string_view bytes) {
    const FileDescriptor file(::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
    if (file.get() < 0) {
        if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)
            return false;
        throw MakeOSError(errno, folder);
    }
    WriteAndFlush(file.get(), bytes, path);
    const std::string self = "/proc/self/fd/" + std::to_string(file.get());
    if (::access(self.c_str(), F_OK) != 0)
        return false;
    LinkContainer(self, path, AT_SYMLINK_FOLLOW);
    return true;
}

/// The same through a named temporary file, removed on every way out of this call; one that a
/// killed run left is removed by the next store (RemoveStaleContainerFiles).
void StoreThroughNamedFile(const std::string& folder, const std::string& path,
                           std::string_view bytes) {
    TemporaryFile temporary(folder + kTemporaryPrefix + "XXXXXX");
    if (::fchmod(temporary.fd(), 0600) != 0)
        throw MakeOSError(errno, temporary.path());
    WriteAndFlush(temporary.fd(), bytes, temporary.path());
    LinkContainer(temporary.path(), path, 0);
}

bool IsStaleTemporaryName(const std::string& name) {
    return name.size() == std::string_view(kTemporaryPrefix).size() + 6 &&
           name.starts_with(kTemporaryPrefix);
}

/// Removes the temporary files of stores that were killed; the caller holds the folder's lock,
/// so no store under way owns one.
void RemoveStaleContainerFiles(const std::string& folder) {
    DIR* directory = ::opendir(folder.c_str());
    if (!directory)
        return;
    while (const dirent* entry = ::readdir(directory)) {
        const std::string name = entry->d_name;
        if (IsStaleTemporaryName(name))
            ::unlink((folder + name).c_str());
    }
    ::closedir(directory);
}

/// Why a folder could not be made or entered, in parentheses after the message; "" when the
/// error says nothing more.
std::string ProblemText(int error) {
    const char* words = nullptr;
    switch (error) {
    case EACCES:
    case EPERM:
        words = TrMark("нет прав");
        break;
    case EROFS:
        words = TrMark("файловая система только для чтения");
        break;
    case ENOSPC:
        words = TrMark("нет места на диске");
        break;
    case EDQUOT:
        words = TrMark("превышена дисковая квота");
        break;
    default:
        return "";
    }
    return " (" + Tr(words) + ")";
}

EOSError FolderError(const std::string& folder, int error, const std::string& problem) {
    return MakeOSError(error, TrFormat("Папка контейнеров ключей %1 не может быть создана: %2",
                                       {folder, problem}));
}

/// Walks the folder's path from the top: every part that exists must be a folder. A missing
/// part is made (owner only) when `create`, else its parent must allow it to be made.
void WalkFolderPath(const std::string& folder, bool create) {
    for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        struct stat info {};
        if (::stat(part.c_str(), &info) == 0) {
            if (!S_ISDIR(info.st_mode))
                throw FolderError(folder, ENOTDIR,
                                  TrFormat("на месте папки %1 находится файл", {part}));
        } else if (const int error = errno; error != ENOENT) {
            throw FolderError(folder, error,
                              TrFormat("папка %1 недоступна%2", {part, ProblemText(error)}));
        } else if (!create) {
            const std::string parent = ExtractFilePath(part);
            if (::access(parent.c_str(), W_OK | X_OK) != 0) {
                const int refusal = errno;
                throw FolderError(
                    folder, refusal,
                    TrFormat("в папке %1 нельзя создать папку%2", {parent, ProblemText(refusal)}));
            }
            return; // the rest is made with the key
        } else if ((::mkdir(part.c_str(), kPrivateFolderMode) != 0 && errno != EEXIST) ||
                   ::chmod(part.c_str(), kPrivateFolderMode) != 0) {
            // mkdir takes the umask off, which must not leave the owner without access.
            const int failure = errno;
            throw FolderError(folder, failure,
                              TrFormat("нельзя создать папку %1%2", {part, ProblemText(failure)}));
        }
        if (slash == std::string::npos)
            return;
    }
}

} // namespace

std::string DefaultContainerFolder() {
    return UserDataFolder() + "CertQuorix/containers/";
}

bool IsUsableContainerName(std::string_view name) {
    if (name.empty() || name.size() > kLongestName || name.front() == '.')
        return false;
    for (char c : name)
        if (!IsNameCharacter(c))
            return false;
    return true;
}

std::string ContainerPath(const std::string& folder, const std::string& name) {
    return IncludeTrailingPathDelimiter(folder) + name + ".key";
}

namespace {

/// The container folder must be the user's own real folder, closed to others: whoever can
/// replace it receives the new keys.
void RequirePrivateFolder(const std::string& path) {
    std::optional<std::string> problem;
    try {
        problem = PrivateFolderProblem(path, OthersMay::Nothing);
    } catch (const EOSError& error) {
        throw MakeOSError(error.errorCode(), TrFormat("Папка контейнеров ключей %1", {path}));
    }
    if (problem)
        throw EOSError(
            TrFormat("Папка контейнеров ключей %1 %2; ключ в ней не создаётся.", {path, *problem}),
            EACCES);
}

} // namespace

void CheckContainerFolder(const std::string& folder) {
    const std::string path = ExcludeTrailingPathDelimiter(folder);
    WalkFolderPath(path, false);
    if (DirectoryExists(path))
        RequirePrivateFolder(path);
}

void EnsureContainerFolder(const std::string& folder) {
    const std::string path = ExcludeTrailingPathDelimiter(folder);
    WalkFolderPath(path, true);
    RequirePrivateFolder(path);
}

void StoreNewContainer(const std::string& path, std::string_view bytes) {
    const std::string folder = ExtractFilePath(path);
    const std::optional<FolderLock> held = FolderLock::Acquire(folder, kContainerFolderWait);
    if (!held)
        throw EOSError(TrFormat("Папка контейнеров ключей %1 занята другой копией программы; "
                                "повторите позже.",
                                {folder}),
                       EBUSY);
    RemoveStaleContainerFiles(folder);
    if (!StoreThroughUnnamedFile(folder, path, bytes))
        StoreThroughNamedFile(folder, path, bytes);
    SyncFolder(folder);
}

std::string StoreNewContainerUnderFreeName(const std::string& folder, const std::string& name,
                                           std::string_view bytes) {
    constexpr int kAttempts = 100;
    for (int attempt = 1;; ++attempt) {
        const std::string candidate = attempt == 1 ? name : name + "_" + std::to_string(attempt);
        try {
            StoreNewContainer(ContainerPath(folder, candidate), bytes);
            return candidate;
        } catch (const EOSError& error) {
            if (!HasCode(error, code::kExists) || attempt == kAttempts ||
                !IsUsableContainerName(name + "_" + std::to_string(attempt + 1)))
                throw;
        }
    }
}

} // namespace cq::provider
