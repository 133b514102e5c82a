#pragma once
// Replacing a key file without ever losing the key an earlier request left there. The older key
// is kept under a backup name in the same folder while the new request is made and sent; a
// failed request puts it back, an accepted one drops the backup. Every step is one atomic
// file-system operation (a hard link, a rename, an unlink), so an interruption at any point
// leaves the older key under its own name or under the backup name.

#include "base/FileUtil.h"

#include <string>
#include <string_view>
#include <utility>

namespace cq {

class KeyFileReplacement {
public:
    KeyFileReplacement() = default;
    explicit KeyFileReplacement(std::string keyPath) : keyPath_(std::move(keyPath)) {}
    KeyFileReplacement(KeyFileReplacement&& other) noexcept;
    KeyFileReplacement& operator=(KeyFileReplacement&& other) noexcept;
    KeyFileReplacement(const KeyFileReplacement&) = delete;
    KeyFileReplacement& operator=(const KeyFileReplacement&) = delete;
    /// A replacement neither committed nor rolled back is rolled back.
    ~KeyFileReplacement();

    /// Sets an existing key file aside under a free backup name, then writes the new key
    /// (mode 0600) through a temporary file renamed over the key file. Raises EOSError.
    void Write(std::string_view keyFileBytes);

    /// The same with the new key already written and flushed beside the key file (a
    /// PreparedFile for keyPath()).
    void Replace(PreparedFile& newKey);

    /// The request was accepted: the backup of the older key is removed.
    void Commit() noexcept;

    /// The request failed: the older key is put back over the new one; a new key that replaced
    /// nothing is removed; a key file never touched stays as it is. Failures are only logged.
    void RollBack() noexcept;

    const std::string& keyPath() const { return keyPath_; }
    /// Where the older key waits (empty when there was none or once the replacement is settled).
    const std::string& backupPath() const { return backupPath_; }

private:
    void SetAsideOlderKey();

    std::string keyPath_;
    std::string backupPath_;
    bool wroteNewKey_ = false;
};

/// A key file's new content written and flushed beside it (mode 0600), for Replace.
PreparedFile PrepareKeyFile(const std::string& keyPath, std::string_view keyFileBytes);

/// The first free backup name for a key file: keyPath + ".bak", then ".bak.2", ".bak.3", ...
/// (names left by an interrupted earlier run are never reused).
std::string BackupNameCandidate(const std::string& keyPath, int attempt);

} // namespace cq
