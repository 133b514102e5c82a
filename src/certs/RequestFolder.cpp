#include "certs/RequestFolder.h"

#include "base/Errors.h"
#include "base/FileUtil.h"
#include "base/SecretBytes.h"
#include "log/Log.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cq {
namespace {

constexpr int kMaxBackupAttempts = 1000;

/// Copies a file to a name that must not exist yet (for file systems without hard links), with
/// the mode of the original. The bytes may be a private key: wiped when done.
void CopyToNewFile(const std::string& from, const std::string& to) {
    struct stat info {};
    if (::stat(from.c_str(), &info) != 0)
        throw MakeOSError(errno, from);
    const SecretBytes bytes(ReadFileBytes(from));
    const int fd = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        throw MakeOSError(errno, to);
    const bool written =
        ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) &&
        ::fchmod(fd, info.st_mode & 07777) == 0 && ::fsync(fd) == 0;
    const int savedErrno = errno;
    if (::close(fd) != 0 || !written) {
        ::unlink(to.c_str());
        throw MakeOSError(written ? errno : savedErrno, to);
    }
}

/// Makes `backup` a second name of the file; false when that name is taken.
bool TryBackupName(const std::string& path, const std::string& backup) {
    if (::link(path.c_str(), backup.c_str()) == 0)
        return true;
    if (errno == EEXIST)
        return false;
    if (errno != EPERM && errno != EXDEV && errno != ENOTSUP && errno != ENOSYS)
        throw MakeOSError(errno, backup);
    if (FileExists(backup))
        return false;
    CopyToNewFile(path, backup);
    return true;
}

/// Sets an existing file aside under a free backup name; "" when there is no file.
std::string SetAside(const std::string& path) {
    if (!FileExists(path))
        return {};
    for (int attempt = 1; attempt <= kMaxBackupAttempts; ++attempt) {
        const std::string candidate = BackupNameCandidate(path, attempt);
        if (TryBackupName(path, candidate))
            return candidate;
    }
    throw MakeOSError(EEXIST, BackupNameCandidate(path, kMaxBackupAttempts));
}

void LogFailure(const std::string& what, const std::string& path) {
    WriteLog(what + " " + path + ": " + SystemErrorMessage(errno), LogKind::Stamped);
}

} // namespace

std::string BackupNameCandidate(const std::string& path, int attempt) {
    return attempt <= 1 ? path + ".bak" : path + ".bak." + std::to_string(attempt);
}

PreparedFile PrepareKeyFile(const std::string& keyPath, std::string_view keyFileBytes) {
    return PreparedFile(keyPath, keyFileBytes, FileAccess::Private);
}

RequestFolder::RequestFolder(RequestFolder&& other) noexcept
    : replaced_(std::move(other.replaced_)) {
    other.replaced_.clear();
}

RequestFolder& RequestFolder::operator=(RequestFolder&& other) noexcept {
    if (this != &other) {
        RollBack();
        replaced_ = std::move(other.replaced_);
        other.replaced_.clear();
    }
    return *this;
}

RequestFolder::~RequestFolder() {
    RollBack();
}

void RequestFolder::Put(RequestFile kind, PreparedFile& newFile) {
    Replaced replaced{kind, newFile.path(), SetAside(newFile.path())};
    try {
        newFile.Commit();
    } catch (...) {
        if (!replaced.backup.empty())
            ::unlink(replaced.backup.c_str()); // the older file is still in its place
        throw;
    }
    replaced_.push_back(std::move(replaced));
}

void RequestFolder::Commit() noexcept {
    for (const Replaced& file : replaced_)
        if (!file.backup.empty() && ::unlink(file.backup.c_str()) != 0 && errno != ENOENT)
            LogFailure("Не удалось удалить копию прежнего файла", file.backup);
    replaced_.clear();
}

void RequestFolder::RollBack() noexcept {
    const bool nothingOlder =
        std::none_of(replaced_.begin(), replaced_.end(),
                     [](const Replaced& file) { return !file.backup.empty(); });
    // Backwards, so that the key, put in place first, is the last to return.
    for (auto file = replaced_.rbegin(); file != replaced_.rend(); ++file) {
        if (!file->backup.empty()) {
            if (::rename(file->backup.c_str(), file->path.c_str()) != 0)
                LogFailure("Не удалось вернуть прежний файл из", file->backup);
        } else if (!nothingOlder || file->kind == RequestFile::Key) {
            if (::unlink(file->path.c_str()) != 0 && errno != ENOENT)
                LogFailure("Не удалось удалить файл", file->path);
        }
    }
    replaced_.clear();
}

std::string RequestFolder::backupPath(RequestFile kind) const {
    for (const Replaced& file : replaced_)
        if (file.kind == kind)
            return file.backup;
    return {};
}

} // namespace cq
