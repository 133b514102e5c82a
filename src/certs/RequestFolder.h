#pragma once
// The files one request writes into its certificate folder (the key file of an RSA request, the
// public key act and the request record Request.ini) replaced as one unit. Each older file is
// kept under a backup name in the same folder while the request is made and sent; a failed
// request puts all of them back, an accepted one drops the backups. A journal in the folder
// names every file the request replaces and its backup before the first of them changes, and
// says when the request was accepted: a run killed at any point leaves the folder to the next
// operation under the folder's lock, which finishes (accepted) or undoes (anything else) what it
// left, so the folder holds the older files or the new ones, never a mixture.

#include "base/FileUtil.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cq {

/// What a file is to the request; the key file is optional (a GOST key lives in its provider).
enum class RequestFile { Key, Act, Record };

/// The journal of a request under way, in its certificate folder.
inline constexpr const char* kRequestJournalFile = ".request-journal";

/// One prepared file and what it is to the request.
struct RequestFilePut {
    RequestFile kind;
    PreparedFile* file;
};

/// A file the request replaces and where its older content waits.
struct ReplacedFile {
    RequestFile kind;
    std::string path;
    std::string backup; ///< "" when nothing was there before
};

class RequestFolder {
public:
    RequestFolder() = default;
    RequestFolder(RequestFolder&& other) noexcept;
    RequestFolder& operator=(RequestFolder&& other) noexcept;
    RequestFolder(const RequestFolder&) = delete;
    RequestFolder& operator=(const RequestFolder&) = delete;
    /// A request neither committed nor rolled back is rolled back.
    ~RequestFolder();

    /// Starts the journal in `folder` before the request's key is made, naming the provider's
    /// container the request makes ("" for none): a run killed before its files are written
    /// leaves that name for the next operation to log. Raises EOSError.
    void Begin(const std::string& folder, const std::string& container = {});

    /// Puts prepared files in the places of the request's files, as one unit: the journal names
    /// them and their backups first, then each existing file is set aside under a free backup
    /// name, then the new files are renamed into place. Without Begin, the journal goes into the
    /// first file's folder. Raises EOSError; whatever was changed stays until RollBack.
    void Put(const std::vector<RequestFilePut>& files);
    void Put(RequestFile kind, PreparedFile& newFile) { Put({{kind, &newFile}}); }

    /// The request was accepted: the journal says so, then the backups of the older files and
    /// the journal are removed.
    void Commit() noexcept;

    /// The request failed: every file returns to what it was, and a file that was not there
    /// before is removed. When the folder held none of the request's files before, only the new
    /// key file goes: the act and the record of the failed request stay. Failures are logged.
    void RollBack() noexcept;

    /// Where the older file of `kind` waits ("" when there was none or once settled).
    std::string backupPath(RequestFile kind) const;

private:
    void writeJournal(bool accepted) const;

    std::string folder_; ///< "" until the journal is started
    std::string container_;
    std::vector<ReplacedFile> replaced_;
};

/// What a request's journal says: whether the service took the request, the container it makes
/// and the files it replaces.
struct RequestJournal {
    bool accepted = false;
    std::string container;
    std::vector<ReplacedFile> files;
};

/// The journal of a request in `folder` (with its trailing delimiter); nothing when the text is
/// not one, or names a file outside the folder to remove or a backup that is not the file's own.
std::optional<RequestJournal> ParseRequestJournal(std::string_view text, const std::string& folder);

/// Finishes or undoes the request that a killed run left in `folder`, by its journal: an
/// accepted request loses its backups; any other gets its older files back as RollBack puts
/// them, and the log names the container it may have made. Called under the folder's lock; does
/// nothing without a journal. Failures are logged, never raised.
void RecoverInterruptedRequest(const std::string& folder) noexcept;

/// Raises EOSError in the system's form, naming the file and the problem in Russian, when a
/// request may not replace the file at `path` (RefuseOddFile): a symbolic link, a folder or
/// anything else that is not a regular file in its place. A missing file passes. Checked before
/// a key is made, so that a refusal leaves nothing behind.
void CheckReplaceableFile(const std::string& path);

/// A key file's new content written and flushed beside it (mode 0600), for Put; a link in the
/// key file's place is refused, never followed.
PreparedFile PrepareKeyFile(const std::string& keyPath, std::string_view keyFileBytes);

/// The first free backup name for a file: path + ".bak", then ".bak.2", ".bak.3", ... (names
/// left by an interrupted earlier run are never reused: they may hold the only older key).
std::string BackupNameCandidate(const std::string& path, int attempt);

} // namespace cq
