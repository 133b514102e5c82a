#pragma once
// The files one request writes into its certificate folder (the key file of an RSA request, the
// public key act and the request record Request.ini) replaced as one unit. Each older file is
// kept under a backup name in the same folder while the request is made and sent; a failed
// request puts all of them back, an accepted one drops the backups. Every step is one atomic
// file-system operation (a hard link, a rename, an unlink), so an interruption at any point
// leaves each older file under its own name or under its backup name.

#include "base/FileUtil.h"

#include <string>
#include <vector>

namespace cq {

/// What a file is to the request; the key file is optional (a GOST key lives in its provider).
enum class RequestFile { Key, Act, Record };

class RequestFolder {
public:
    RequestFolder() = default;
    RequestFolder(RequestFolder&& other) noexcept;
    RequestFolder& operator=(RequestFolder&& other) noexcept;
    RequestFolder(const RequestFolder&) = delete;
    RequestFolder& operator=(const RequestFolder&) = delete;
    /// A request neither committed nor rolled back is rolled back.
    ~RequestFolder();

    /// Puts a prepared file in the place of the request's file: an existing file there is first
    /// set aside under a free backup name. Raises EOSError; the files put in place before stay
    /// until RollBack.
    void Put(RequestFile kind, PreparedFile& newFile);

    /// The request was accepted: the backups of the older files are removed.
    void Commit() noexcept;

    /// The request failed: every file returns to what it was, and a file that was not there
    /// before is removed. When the folder held none of the request's files before, only the new
    /// key file goes: the act and the record of the failed request stay. Failures are logged.
    void RollBack() noexcept;

    /// Where the older file of `kind` waits ("" when there was none or once settled).
    std::string backupPath(RequestFile kind) const;

private:
    struct Replaced {
        RequestFile kind;
        std::string path;
        std::string backup; ///< "" when nothing was there before
    };

    std::vector<Replaced> replaced_;
};

/// A key file's new content written and flushed beside it (mode 0600), for Put.
PreparedFile PrepareKeyFile(const std::string& keyPath, std::string_view keyFileBytes);

/// The first free backup name for a file: path + ".bak", then ".bak.2", ".bak.3", ... (names
/// left by an interrupted earlier run are never reused: they may hold the only older key).
std::string BackupNameCandidate(const std::string& path, int attempt);

} // namespace cq
