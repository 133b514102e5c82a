#pragma once
// The files one request writes into its certificate folder (the key file of an RSA request, the
// public key act, the request record Request.ini and, for an imported pair, the certificate)
// replaced as one unit. Each older file is kept under a backup name in the same folder while
// the request is made and sent; a failed request puts all of them back and removes the files
// that were not there before, an accepted one drops the backups. A journal in the folder names
// every file the request replaces, its backup and the new file's identity before the first of
// them changes, and says when the request was accepted: a run killed at any point leaves the
// folder to the next operation under the folder's lock, which finishes (accepted) or undoes
// (anything else) what it left, so the folder holds the older files or the new ones, never a
// mixture.
//
// A journal is read as data from the disk, never as an order: it may name only the folder's own
// files, each under the one name of its kind, and a backup only as that file's own ".bak" or
// ".bak.N"; the journal and every file it names must be regular files of the user's, and a file
// it would remove must be the very file the request wrote. A journal that breaks any rule is
// refused whole: nothing is touched, the journal stays for the user to look at, and every
// operation that holds the folder stops with a message naming it until the user removes it.

#include "base/FileUtil.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cq {

/// What a file is to the request; the key file is optional (a GOST key lives in its provider),
/// the certificate is part of the unit only when a key and its certificate come in together.
/// A renewal writes its key, act and record under names of their own (RenewalState.h), beside
/// the working ones.
enum class RequestFile { Key, Act, Record, Certificate, RenewalKey, RenewalAct, RenewalRecord };

/// Which files a request writes: the working request's, or a pending renewal's beside them.
enum class RequestSet { Working, Renewal };

/// The kind a file of the working request (Key, Act or Record) has in `set`.
RequestFile KindInSet(RequestFile working, RequestSet set);

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
    /// The inode number of the new file: only that file is ever removed in the older one's
    /// place.
    std::string written;
};

/// The one name a file of `kind` has in `folder` (with its trailing delimiter): Certificate.key,
/// the act named by the folder's address, Request.ini, Certificate.cer, Renewal.key,
/// Renewal.rtf, Renewal.ini.
std::string RequestFilePath(const std::string& folder, RequestFile kind);

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
    /// first file's folder. A file that is not the folder's own file of its kind
    /// (RequestFilePath) is refused with Exception before anything changes. Raises EOSError;
    /// whatever was changed stays until RollBack.
    void Put(const std::vector<RequestFilePut>& files);
    void Put(RequestFile kind, PreparedFile& newFile) { Put({{kind, &newFile}}); }

    /// The request was accepted: the journal says so, then the backups of the older files and
    /// the journal are removed.
    void Commit() noexcept;

    /// The request failed: every file returns to what it was, and a file that was not there
    /// before is removed, so a first request leaves none of its files. Failures are logged, and
    /// the journal then stays for the next operation.
    void RollBack() noexcept;

    /// The container the request made, when the provider gave it another name than the one
    /// Begin was told (another run held that one): the journal names it from the next Put on.
    void nameContainer(const std::string& container) { container_ = container; }

    /// Where the older file of `kind` waits ("" when there was none or once settled).
    std::string backupPath(RequestFile kind) const;

private:
    void writeJournal(bool accepted) const;
    /// Drops the backups (accepted) or undoes the files; the journal stays when that fails.
    void settle(bool accepted) noexcept;

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
/// not one written by RequestFolder, names a file that is not the folder's own file of its kind
/// (RequestFilePath), one file twice, or a backup that is not the file's own ".bak" or ".bak.N".
/// `refusal`, when given, gets what is wrong (in the user's language).
std::optional<RequestJournal> ParseRequestJournal(std::string_view text, const std::string& folder,
                                                  std::string* refusal = nullptr);

/// Finishes or undoes the request that a killed run left in `folder`, by its journal: an
/// accepted request loses its backups; any other gets its older files back as RollBack puts
/// them, and the log names the container it may have made. Called under the folder's lock; does
/// nothing without a journal. A journal that is refused (see above), or that could not be
/// carried out to its end, stays; the result is then the message for the user, naming the
/// journal and what is wrong, and the folder's files must not be touched. Never raises.
[[nodiscard]] std::optional<std::string>
RecoverInterruptedRequest(const std::string& folder) noexcept;

/// A certificate folder made for one request goes again when the request leaves nothing in it
/// (a cancelled dialog, a failed key, a refused sending): the folder of an address that never got
/// a request is not left behind empty.
class FolderMadeForRequest {
public:
    FolderMadeForRequest(std::string folder, bool madeHere)
        : folder_(std::move(folder)), madeHere_(madeHere) {}
    ~FolderMadeForRequest();
    FolderMadeForRequest(const FolderMadeForRequest&) = delete;
    FolderMadeForRequest& operator=(const FolderMadeForRequest&) = delete;

private:
    std::string folder_;
    bool madeHere_;
};

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
