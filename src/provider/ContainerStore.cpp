#include "provider/ContainerStore.h"

#include "base/Errors.h"
#include "base/FileUtil.h"
#include "provider/CryptoProvider.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cq::provider {
namespace {

constexpr size_t kLongestName = 200;

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

void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
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
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        throw MakeOSError(errno, "Папка контейнеров ключей " + path);
    const char* problem = nullptr;
    if (S_ISLNK(info.st_mode))
        problem = "является ссылкой";
    else if (!S_ISDIR(info.st_mode))
        problem = "не является папкой";
    else if (info.st_uid != ::geteuid())
        problem = "принадлежит другому пользователю";
    else if ((info.st_mode & 077) != 0)
        problem = "открыта другим пользователям";
    if (problem)
        throw EOSError("Папка контейнеров ключей " + path + " " + problem +
                           "; ключ в ней не создаётся.",
                       EACCES);
}

} // namespace

void EnsureContainerFolder(const std::string& folder) {
    const std::string path = ExcludeTrailingPathDelimiter(folder);
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        const size_t slash = path.rfind('/');
        if (slash != std::string::npos && slash > 0)
            ForceDirectories(path.substr(0, slash), kPrivateFolderMode);
        if (::mkdir(path.c_str(), kPrivateFolderMode) != 0 && errno != EEXIST)
            throw MakeOSError(errno, "Папка контейнеров ключей " + path);
        // mkdir takes the umask off, which may only narrow 0700.
    }
    RequirePrivateFolder(path);
}

void StoreNewContainer(const std::string& path, std::string_view bytes) {
    const std::string folder = ExtractFilePath(path);
    TemporaryFile temporary(folder + ".container-XXXXXX");
    if (::fchmod(temporary.fd(), 0600) != 0)
        throw MakeOSError(errno, temporary.path());
    WriteAll(temporary.fd(), bytes, temporary.path());
    if (::fsync(temporary.fd()) != 0)
        throw MakeOSError(errno, temporary.path());
    if (::link(temporary.path().c_str(), path.c_str()) != 0) {
        if (errno == EEXIST)
            throw ProviderError(code::kExists, ExtractFileName(path));
        throw MakeOSError(errno, path);
    }
    SyncFolder(folder);
}

} // namespace cq::provider
