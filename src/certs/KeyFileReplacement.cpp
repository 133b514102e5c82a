#include "certs/KeyFileReplacement.h"

#include "base/Errors.h"
#include "base/FileUtil.h"
#include "base/SecretBytes.h"
#include "log/Log.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace cq {
namespace {

constexpr mode_t kKeyFileMode = 0600;
constexpr int kMaxBackupAttempts = 1000;

/// Copies a file to a name that must not exist yet (for file systems without hard links).
void CopyToNewFile(const std::string& from, const std::string& to) {
    const SecretBytes bytes(ReadFileBytes(from)); // a private key: wiped when done
    const int fd = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kKeyFileMode);
    if (fd < 0)
        throw MakeOSError(errno, to);
    const bool written =
        ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) &&
        ::fsync(fd) == 0;
    const int savedErrno = errno;
    if (::close(fd) != 0 || !written) {
        ::unlink(to.c_str());
        throw MakeOSError(written ? errno : savedErrno, to);
    }
}

/// Makes `backup` a second name of the key; false when that name is taken.
bool TryBackupName(const std::string& keyPath, const std::string& backup) {
    if (::link(keyPath.c_str(), backup.c_str()) == 0)
        return true;
    if (errno == EEXIST)
        return false;
    if (errno != EPERM && errno != EXDEV && errno != ENOTSUP && errno != ENOSYS)
        throw MakeOSError(errno, backup);
    if (FileExists(backup))
        return false;
    CopyToNewFile(keyPath, backup);
    return true;
}

void LogFailure(const std::string& what, const std::string& path) {
    WriteLog(what + " " + path + ": " + SystemErrorMessage(errno), LogKind::Stamped);
}

} // namespace

std::string BackupNameCandidate(const std::string& keyPath, int attempt) {
    return attempt <= 1 ? keyPath + ".bak" : keyPath + ".bak." + std::to_string(attempt);
}

KeyFileReplacement::KeyFileReplacement(KeyFileReplacement&& other) noexcept
    : keyPath_(std::move(other.keyPath_)), backupPath_(std::move(other.backupPath_)),
      wroteNewKey_(other.wroteNewKey_) {
    other.keyPath_.clear();
    other.backupPath_.clear();
    other.wroteNewKey_ = false;
}

KeyFileReplacement& KeyFileReplacement::operator=(KeyFileReplacement&& other) noexcept {
    if (this != &other) {
        RollBack();
        keyPath_ = std::move(other.keyPath_);
        backupPath_ = std::move(other.backupPath_);
        wroteNewKey_ = other.wroteNewKey_;
        other.keyPath_.clear();
        other.backupPath_.clear();
        other.wroteNewKey_ = false;
    }
    return *this;
}

KeyFileReplacement::~KeyFileReplacement() {
    RollBack();
}

void KeyFileReplacement::SetAsideOlderKey() {
    if (!FileExists(keyPath_))
        return;
    for (int attempt = 1; attempt <= kMaxBackupAttempts; ++attempt) {
        const std::string candidate = BackupNameCandidate(keyPath_, attempt);
        if (TryBackupName(keyPath_, candidate)) {
            backupPath_ = candidate;
            return;
        }
    }
    throw MakeOSError(EEXIST, BackupNameCandidate(keyPath_, kMaxBackupAttempts));
}

void KeyFileReplacement::Write(std::string_view keyFileBytes) {
    PreparedFile newKey = PrepareKeyFile(keyPath_, keyFileBytes);
    Replace(newKey);
}

void KeyFileReplacement::Replace(PreparedFile& newKey) {
    if (backupPath_.empty())
        SetAsideOlderKey();
    newKey.Commit();
    wroteNewKey_ = true;
}

PreparedFile PrepareKeyFile(const std::string& keyPath, std::string_view keyFileBytes) {
    return PreparedFile(keyPath, keyFileBytes, kKeyFileMode, true);
}

void KeyFileReplacement::Commit() noexcept {
    if (!backupPath_.empty() && ::unlink(backupPath_.c_str()) != 0 && errno != ENOENT)
        LogFailure("Не удалось удалить копию прежнего ключа", backupPath_);
    keyPath_.clear();
    backupPath_.clear();
    wroteNewKey_ = false;
}

void KeyFileReplacement::RollBack() noexcept {
    if (!backupPath_.empty()) {
        if (::rename(backupPath_.c_str(), keyPath_.c_str()) != 0)
            LogFailure("Не удалось вернуть прежний ключ из", backupPath_);
    } else if (wroteNewKey_ && ::unlink(keyPath_.c_str()) != 0 && errno != ENOENT) {
        LogFailure("Не удалось удалить файл ключа", keyPath_);
    }
    keyPath_.clear();
    backupPath_.clear();
    wroteNewKey_ = false;
}

} // namespace cq
