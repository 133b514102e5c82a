#include "certs/RequestFolder.h"

#include "base/Errors.h"
#include "base/FileUtil.h"
#include "base/KillPoint.h"
#include "base/SecretBytes.h"
#include "base/StringUtil.h"
#include "log/Log.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <optional>
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

/// Makes `backup` a second name of the file (a copy where the file system has no hard links).
void MakeBackup(const std::string& path, const std::string& backup) {
    if (::link(path.c_str(), backup.c_str()) == 0)
        return;
    if (errno != EPERM && errno != EXDEV && errno != ENOTSUP && errno != ENOSYS)
        throw MakeOSError(errno, backup);
    CopyToNewFile(path, backup);
}

/// The first backup name of the file that no file holds; "" when there is no file.
std::string FreeBackupName(const std::string& path) {
    if (!FileExists(path))
        return {};
    for (int attempt = 1; attempt <= kMaxBackupAttempts; ++attempt) {
        const std::string candidate = BackupNameCandidate(path, attempt);
        struct stat info {};
        if (::lstat(candidate.c_str(), &info) != 0 && errno == ENOENT)
            return candidate;
    }
    throw MakeOSError(EEXIST, BackupNameCandidate(path, kMaxBackupAttempts));
}

void LogFailure(const std::string& what, const std::string& path) {
    WriteLog(what + " " + path + ": " + SystemErrorMessage(errno), LogKind::Stamped);
}

bool SameFile(const std::string& first, const std::string& second) {
    struct stat a {};
    struct stat b {};
    return ::lstat(first.c_str(), &a) == 0 && ::lstat(second.c_str(), &b) == 0 &&
           a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

/// Puts one older file back from its backup, whatever step the request reached: a backup that
/// is gone was never made or is back already; one that is still the file itself (set aside, the
/// new file not yet in place) is only a second name.
void RestoreOlderFile(const ReplacedFile& file) {
    if (!FileExists(file.backup))
        return;
    if (SameFile(file.backup, file.path)) {
        if (::unlink(file.backup.c_str()) != 0)
            LogFailure("Не удалось удалить копию прежнего файла", file.backup);
    } else if (::rename(file.backup.c_str(), file.path.c_str()) != 0) {
        LogFailure("Не удалось вернуть прежний файл из", file.backup);
    }
}

/// Undoes the request's files: each older file comes back, a file that was not there before
/// goes. When the folder held none of the request's files before, only the new key file goes:
/// the act and the record of the failed request stay.
void UndoFiles(const std::vector<ReplacedFile>& files) {
    const bool nothingOlder = std::none_of(files.begin(), files.end(),
                                           [](const ReplacedFile& f) { return !f.backup.empty(); });
    // Backwards, so that the key, put in place first, is the last to return.
    for (auto file = files.rbegin(); file != files.rend(); ++file) {
        if (!file->backup.empty())
            RestoreOlderFile(*file);
        else if ((!nothingOlder || file->kind == RequestFile::Key) &&
                 ::unlink(file->path.c_str()) != 0 && errno != ENOENT)
            LogFailure("Не удалось удалить файл", file->path);
    }
}

void DropBackups(const std::vector<ReplacedFile>& files) {
    bool first = true;
    for (const ReplacedFile& file : files) {
        if (file.backup.empty())
            continue;
        if (::unlink(file.backup.c_str()) != 0 && errno != ENOENT)
            LogFailure("Не удалось удалить копию прежнего файла", file.backup);
        if (first)
            KillPoint("request-backup-dropped");
        first = false;
    }
}

// The journal: UTF-8 lines "name=value"; the state, the container, then three lines a file.
constexpr const char* kPrepared = "prepared";
constexpr const char* kAccepted = "accepted";

const char* KindName(RequestFile kind) {
    switch (kind) {
    case RequestFile::Key:
        return "key";
    case RequestFile::Act:
        return "act";
    case RequestFile::Record:
        return "record";
    }
    return "";
}

std::optional<RequestFile> KindNamed(const std::string& name) {
    for (const RequestFile kind : {RequestFile::Key, RequestFile::Act, RequestFile::Record})
        if (name == KindName(kind))
            return kind;
    return std::nullopt;
}

std::string JournalText(const RequestJournal& journal) {
    std::string text = std::string("state=") + (journal.accepted ? kAccepted : kPrepared) + "\n";
    text += "container=" + journal.container + "\n";
    for (const ReplacedFile& file : journal.files)
        text += std::string("kind=") + KindName(file.kind) + "\npath=" + file.path +
                "\nbackup=" + file.backup + "\n";
    return text;
}

/// True when `backup` is one of the backup names of `path`.
bool IsBackupName(const std::string& path, const std::string& backup) {
    const std::string base = path + ".bak";
    if (backup == base)
        return true;
    if (!backup.starts_with(base + ".") || backup.size() == base.size() + 1)
        return false;
    return std::all_of(backup.begin() + static_cast<std::ptrdiff_t>(base.size()) + 1, backup.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
}

std::string JournalPath(const std::string& folder) {
    return IncludeTrailingPathDelimiter(folder) + kRequestJournalFile;
}

void RemoveJournal(const std::string& folder) {
    if (::unlink(JournalPath(folder).c_str()) != 0 && errno != ENOENT)
        LogFailure("Не удалось удалить файл", JournalPath(folder));
}

void LogRecovery(const std::string& folder, const RequestJournal& journal) {
    std::string text = journal.accepted
                           ? "Завершён запрос сертификата, прерванный после отправки, в папке " +
                                 folder + ": копии прежних файлов удалены."
                           : "Отменён запрос сертификата, прерванный до отправки, в папке " +
                                 folder + ": прежние файлы возвращены.";
    if (!journal.container.empty())
        text += " Контейнер ключей \"" + journal.container + "\"" +
                (journal.accepted ? " указан в файле запроса."
                                  : ", если он успел появиться, оставлен.");
    WriteLog(text, LogKind::Stamped);
}

} // namespace

std::optional<RequestJournal> ParseRequestJournal(std::string_view text,
                                                  const std::string& folder) {
    std::vector<std::pair<std::string, std::string>> fields;
    for (const std::string& line : Split(text, "\n")) {
        const size_t equals = line.find('=');
        if (equals != std::string::npos)
            fields.emplace_back(line.substr(0, equals), line.substr(equals + 1));
    }
    if (fields.size() < 2 || fields[0].first != "state" || fields[1].first != "container" ||
        (fields.size() - 2) % 3 != 0)
        return std::nullopt;
    RequestJournal journal;
    journal.accepted = fields[0].second == kAccepted;
    journal.container = fields[1].second;
    for (size_t i = 2; i < fields.size(); i += 3) {
        const std::optional<RequestFile> kind = KindNamed(fields[i].second);
        const std::string& path = fields[i + 1].second;
        const std::string& backup = fields[i + 2].second;
        // Only a file of the folder may go, only a file's own backup may come back.
        const bool usable =
            backup.empty() ? ExtractFilePath(path) == folder : IsBackupName(path, backup);
        if (!kind || fields[i + 1].first != "path" || fields[i + 2].first != "backup" ||
            path.empty() || !usable)
            return std::nullopt;
        journal.files.push_back({*kind, path, backup});
    }
    return journal;
}

void CheckReplaceableFile(const std::string& path) {
    RefuseOddFile(path);
}

std::string BackupNameCandidate(const std::string& path, int attempt) {
    return attempt <= 1 ? path + ".bak" : path + ".bak." + std::to_string(attempt);
}

PreparedFile PrepareKeyFile(const std::string& keyPath, std::string_view keyFileBytes) {
    return PreparedFile(keyPath, keyFileBytes, FileAccess::Private, AtLink::Refuse);
}

RequestFolder::RequestFolder(RequestFolder&& other) noexcept
    : folder_(std::move(other.folder_)), container_(std::move(other.container_)),
      replaced_(std::move(other.replaced_)) {
    other.folder_.clear();
    other.replaced_.clear();
}

RequestFolder& RequestFolder::operator=(RequestFolder&& other) noexcept {
    if (this != &other) {
        RollBack();
        folder_ = std::move(other.folder_);
        container_ = std::move(other.container_);
        replaced_ = std::move(other.replaced_);
        other.folder_.clear();
        other.replaced_.clear();
    }
    return *this;
}

RequestFolder::~RequestFolder() {
    RollBack();
}

void RequestFolder::writeJournal(bool accepted) const {
    WriteFileAtomically(JournalPath(folder_), JournalText({accepted, container_, replaced_}),
                        FileAccess::Private, AtLink::Refuse);
}

void RequestFolder::Begin(const std::string& folder, const std::string& container) {
    folder_ = IncludeTrailingPathDelimiter(folder);
    container_ = container;
    try {
        writeJournal(false);
    } catch (...) {
        folder_.clear();
        throw;
    }
}

void RequestFolder::Put(const std::vector<RequestFilePut>& files) {
    if (files.empty())
        return;
    if (folder_.empty())
        Begin(ExtractFilePath(files.front().file->path()));
    const size_t first = replaced_.size();
    try {
        for (const RequestFilePut& put : files)
            replaced_.push_back({put.kind, put.file->path(), FreeBackupName(put.file->path())});
        writeJournal(false);
    } catch (...) {
        replaced_.resize(first); // nothing in the folder changed yet
        throw;
    }
    KillPoint("request-journal-written");
    for (size_t i = first; i < replaced_.size(); ++i)
        if (!replaced_[i].backup.empty())
            MakeBackup(replaced_[i].path, replaced_[i].backup);
    KillPoint("request-backups-made");
    for (const RequestFilePut& put : files) {
        put.file->Commit();
        KillPoint("request-file-put");
    }
}

void RequestFolder::Commit() noexcept {
    if (folder_.empty())
        return;
    try {
        writeJournal(true);
    } catch (const std::exception& error) {
        // The journal cannot say the request was accepted: without it the new files stay, and
        // the backups may stay too.
        WriteLog(std::string("Не удалось записать журнал запроса: ") + error.what(),
                 LogKind::Stamped);
        RemoveJournal(folder_);
    }
    KillPoint("request-accepted");
    DropBackups(replaced_);
    RemoveJournal(folder_);
    replaced_.clear();
    folder_.clear();
}

void RequestFolder::RollBack() noexcept {
    if (folder_.empty())
        return;
    UndoFiles(replaced_);
    KillPoint("request-rolled-back");
    RemoveJournal(folder_);
    replaced_.clear();
    folder_.clear();
}

std::string RequestFolder::backupPath(RequestFile kind) const {
    for (const ReplacedFile& file : replaced_)
        if (file.kind == kind)
            return file.backup;
    return {};
}

void RecoverInterruptedRequest(const std::string& folder) noexcept {
    const std::string path = JournalPath(folder);
    if (!FileExists(path))
        return;
    try {
        const std::optional<RequestJournal> journal =
            ParseRequestJournal(ReadFileBytes(path), IncludeTrailingPathDelimiter(folder));
        if (!journal) {
            WriteLog("Файл " + path + " не является журналом запроса сертификата; удалён.",
                     LogKind::Stamped);
        } else {
            if (journal->accepted)
                DropBackups(journal->files);
            else
                UndoFiles(journal->files);
            LogRecovery(folder, *journal);
        }
        RemoveJournal(folder);
    } catch (const std::exception& error) {
        WriteLog("Не удалось прочитать журнал запроса " + path + ": " + error.what(),
                 LogKind::Stamped);
    }
}

} // namespace cq
