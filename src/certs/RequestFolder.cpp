#include "certs/RequestFolder.h"

#include "base/Errors.h"
#include "base/FileUtil.h"
#include "base/KillPoint.h"
#include "base/SecretBytes.h"
#include "base/StringUtil.h"
#include "base/Translate.h"
#include "certs/PublicKeyAct.h"
#include "certs/RenewalState.h"
#include "log/Log.h"
#include "settings/CertFolders.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <stdexcept>
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

/// Why a journal is not followed; the text says what is wrong, in Russian.
class JournalRefused : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// What the journal may find at one of its names: nothing, or a regular file of the user's.
struct OnDisk {
    bool exists = false;
    ino_t inode = 0;
};

/// The file at `path`, never followed through a link; raises JournalRefused for anything but a
/// missing file or a regular file of the user's.
OnDisk Inspect(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        if (errno == ENOENT)
            return {};
        throw JournalRefused(TrFormat("файл %1 недоступен: %2", {path, SystemErrorMessage(errno)}));
    }
    if (S_ISLNK(info.st_mode))
        throw JournalRefused(TrFormat("на месте файла %1 символическая ссылка", {path}));
    if (!S_ISREG(info.st_mode))
        throw JournalRefused(TrFormat("на месте файла %1 не обычный файл", {path}));
    if (info.st_uid != ::geteuid())
        throw JournalRefused(TrFormat("файл %1 принадлежит другому пользователю", {path}));
    return {true, info.st_ino};
}

/// The identity a journal keeps of a new file.
std::string InodeText(ino_t inode) {
    return std::to_string(inode);
}

bool SameBytes(const std::string& first, const std::string& second) {
    try {
        const SecretBytes a(ReadFileBytes(first));
        const SecretBytes b(ReadFileBytes(second));
        return a.view() == b.view();
    } catch (const std::exception&) {
        return false;
    }
}

/// What settling one file of a journal takes.
enum class Step {
    Nothing,
    RemoveNewFile, ///< a file that was not there before goes
    RemoveBackup,  ///< the older file is in place (or the request was accepted): its copy goes
    RestoreBackup, ///< the older file comes back over the new one
};

/// The step that undoes one file, whatever point the request reached: a backup that is gone was
/// never made or is back already; one that is still the file itself (set aside, the new file
/// not yet in place) is only a second name. Only the file the request wrote is ever removed or
/// replaced: anything else in its place refuses the journal.
Step UndoStep(const ReplacedFile& file) {
    const OnDisk current = Inspect(file.path);
    const bool isNew = current.exists && InodeText(current.inode) == file.written;
    if (file.backup.empty()) {
        if (current.exists && !isNew)
            throw JournalRefused(
                TrFormat("файл %1 не тот, что записал прерванный запрос", {file.path}));
        return current.exists ? Step::RemoveNewFile : Step::Nothing;
    }
    const OnDisk backup = Inspect(file.backup);
    if (!backup.exists)
        return Step::Nothing;
    if (!current.exists || isNew)
        return Step::RestoreBackup;
    // A copy (where the file system has no hard links) holds the same bytes as the file.
    if (current.inode == backup.inode || SameBytes(file.path, file.backup))
        return Step::RemoveBackup;
    throw JournalRefused(TrFormat("файл %1 не тот, что записал прерванный запрос, и не копия %2",
                                  {file.path, file.backup}));
}

/// The step that finishes one file of an accepted request: its backup goes once the new file is
/// in place; a backup beside anything else may be the only older copy and refuses the journal.
Step DropStep(const ReplacedFile& file) {
    const OnDisk current = Inspect(file.path);
    if (file.backup.empty())
        return Step::Nothing;
    if (!Inspect(file.backup).exists)
        return Step::Nothing;
    if (!current.exists || InodeText(current.inode) != file.written)
        throw JournalRefused(
            TrFormat("файл %1 не тот, что записал запрос, а копия %2 прежнего файла ещё есть",
                     {file.path, file.backup}));
    return Step::RemoveBackup;
}

struct PlannedStep {
    Step step;
    const ReplacedFile* file;
};

/// Every step that settles the files, in the order they are taken: backwards when undoing (the
/// key, put in place first, is the last to return). Raises JournalRefused before any step when
/// one file may not be touched.
std::vector<PlannedStep> PlanSettling(const std::vector<ReplacedFile>& files, bool accepted) {
    std::vector<PlannedStep> steps;
    for (const ReplacedFile& file : files)
        steps.push_back({accepted ? DropStep(file) : UndoStep(file), &file});
    if (!accepted)
        std::reverse(steps.begin(), steps.end());
    return steps;
}

/// Takes the steps; false (each failure logged) when one of them failed.
bool TakeSteps(const std::vector<PlannedStep>& steps, bool accepted) {
    bool done = true;
    bool firstDropped = true;
    const auto failed = [&done](const std::string& what, const std::string& path) {
        LogFailure(what, path);
        done = false;
    };
    for (const PlannedStep& planned : steps) {
        const ReplacedFile& file = *planned.file;
        switch (planned.step) {
        case Step::Nothing:
            break;
        case Step::RemoveNewFile:
            if (::unlink(file.path.c_str()) != 0 && errno != ENOENT)
                failed("Не удалось удалить файл", file.path);
            break;
        case Step::RemoveBackup:
            if (::unlink(file.backup.c_str()) != 0 && errno != ENOENT)
                failed("Не удалось удалить копию прежнего файла", file.backup);
            if (accepted && firstDropped)
                KillPoint("request-backup-dropped");
            firstDropped = false;
            break;
        case Step::RestoreBackup:
            if (::rename(file.backup.c_str(), file.path.c_str()) != 0)
                failed("Не удалось вернуть прежний файл из", file.backup);
            break;
        }
    }
    return done;
}

// The journal: UTF-8 lines "name=value"; the state, the container, then four lines a file.
constexpr const char* kPrepared = "prepared";
constexpr const char* kAccepted = "accepted";
constexpr size_t kLinesPerFile = 4;

constexpr RequestFile kKinds[] = {RequestFile::Key,          RequestFile::Act,
                                  RequestFile::Record,       RequestFile::Certificate,
                                  RequestFile::RenewalKey,   RequestFile::RenewalAct,
                                  RequestFile::RenewalRecord};

const char* KindName(RequestFile kind) {
    switch (kind) {
    case RequestFile::Key:
        return "key";
    case RequestFile::Act:
        return "act";
    case RequestFile::Record:
        return "record";
    case RequestFile::Certificate:
        return "certificate";
    case RequestFile::RenewalKey:
        return "renewal-key";
    case RequestFile::RenewalAct:
        return "renewal-act";
    case RequestFile::RenewalRecord:
        return "renewal-record";
    }
    return "";
}

std::optional<RequestFile> KindNamed(const std::string& name) {
    for (const RequestFile kind : kKinds)
        if (name == KindName(kind))
            return kind;
    return std::nullopt;
}

std::string JournalText(const RequestJournal& journal) {
    std::string text = std::string("state=") + (journal.accepted ? kAccepted : kPrepared) + "\n";
    text += "container=" + journal.container + "\n";
    for (const ReplacedFile& file : journal.files)
        text += std::string("kind=") + KindName(file.kind) + "\npath=" + file.path +
                "\nbackup=" + file.backup + "\nnew=" + file.written + "\n";
    return text;
}

bool AllDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

/// True when `backup` is one of the backup names of `path`.
bool IsBackupName(const std::string& path, const std::string& backup) {
    const std::string base = path + ".bak";
    if (backup == base)
        return true;
    return backup.starts_with(base + ".") &&
           AllDigits(std::string_view(backup).substr(base.size() + 1));
}

bool HasControlCharacter(std::string_view text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
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

/// The lines of a journal as name and value; raises JournalRefused for a line without "=".
std::vector<std::pair<std::string, std::string>> JournalFields(std::string_view text) {
    std::vector<std::string> lines = Split(text, "\n");
    if (!lines.empty() && lines.back().empty())
        lines.pop_back(); // the end of the last line
    std::vector<std::pair<std::string, std::string>> fields;
    for (const std::string& line : lines) {
        const size_t equals = line.find('=');
        if (equals == std::string::npos)
            throw JournalRefused(Tr("строка без знака \"=\""));
        fields.emplace_back(line.substr(0, equals), line.substr(equals + 1));
    }
    return fields;
}

/// One file of the journal from its four lines, checked against the folder's own names.
ReplacedFile JournalEntry(const std::vector<std::pair<std::string, std::string>>& fields, size_t at,
                          const std::string& folder) {
    static const char* const kNames[kLinesPerFile] = {"kind", "path", "backup", "new"};
    for (size_t line = 0; line < kLinesPerFile; ++line)
        if (fields[at + line].first != kNames[line])
            throw JournalRefused(Tr("нарушен порядок строк"));
    const std::optional<RequestFile> kind = KindNamed(fields[at].second);
    if (!kind)
        throw JournalRefused(TrFormat("неизвестный вид файла \"%1\"", {fields[at].second}));
    ReplacedFile file{*kind, fields[at + 1].second, fields[at + 2].second, fields[at + 3].second};
    if (file.path != RequestFilePath(folder, file.kind))
        throw JournalRefused(
            TrFormat("файл \"%1\" не является файлом запроса вида \"%2\" в папке %3",
                     {file.path, KindName(file.kind), folder}));
    if (!file.backup.empty() && !IsBackupName(file.path, file.backup))
        throw JournalRefused(
            TrFormat("\"%1\" не является копией файла %2", {file.backup, file.path}));
    if (!AllDigits(file.written))
        throw JournalRefused(TrFormat("не указан новый файл для %1", {file.path}));
    return file;
}

RequestJournal ReadJournalText(std::string_view text, const std::string& folder) {
    const auto fields = JournalFields(text);
    if (fields.size() < 2 || fields[0].first != "state" || fields[1].first != "container" ||
        (fields.size() - 2) % kLinesPerFile != 0)
        throw JournalRefused(Tr("файл не является журналом запроса"));
    if (fields[0].second != kPrepared && fields[0].second != kAccepted)
        throw JournalRefused(TrFormat("неизвестное состояние \"%1\"", {fields[0].second}));
    if (HasControlCharacter(fields[1].second))
        throw JournalRefused(Tr("имя контейнера содержит управляющие символы"));
    RequestJournal journal{fields[0].second == kAccepted, fields[1].second, {}};
    for (size_t at = 2; at < fields.size(); at += kLinesPerFile) {
        ReplacedFile file = JournalEntry(fields, at, folder);
        for (const ReplacedFile& earlier : journal.files)
            if (earlier.kind == file.kind)
                throw JournalRefused(TrFormat("файл %1 указан дважды", {file.path}));
        journal.files.push_back(std::move(file));
    }
    return journal;
}

/// What the user is told of a journal that is not followed.
std::string RefusedJournalMessage(const std::string& path, const std::string& reason) {
    return TrFormat("Журнал прерванного запроса сертификата %1 не принят: %2. Файлы папки не "
                    "изменены. Проверьте их и удалите этот журнал; до тех пор операции с "
                    "сертификатом этого адреса не выполняются.",
                    {path, reason});
}

/// Settles the files of a journal: all its steps are planned first, so a refused file leaves
/// every file as it is. The journal goes once every step is taken. Raises JournalRefused, or
/// std::runtime_error when a step failed (the journal then stays for the next operation).
void Settle(const std::string& folder, const RequestJournal& journal) {
    const std::vector<PlannedStep> steps = PlanSettling(journal.files, journal.accepted);
    if (!TakeSteps(steps, journal.accepted))
        throw std::runtime_error(Tr("не все прежние файлы удалось вернуть или удалить, "
                                    "подробности в журнале программы"));
    if (!journal.accepted)
        KillPoint("request-rolled-back");
    RemoveJournal(folder);
}

} // namespace

std::string RequestFilePath(const std::string& folder, RequestFile kind) {
    switch (kind) {
    case RequestFile::Key:
        return folder + kCertificateKeyFile;
    case RequestFile::Act:
        // The folder is named by its address, as the act is.
        return PublicKeyActPath(folder, ExtractFileName(ExcludeTrailingPathDelimiter(folder)));
    case RequestFile::Record:
        return folder + kRequestRecordFile;
    case RequestFile::Certificate:
        return folder + kCertificateFile;
    case RequestFile::RenewalKey:
        return folder + kRenewalKeyFile;
    case RequestFile::RenewalAct:
        return folder + kRenewalActFile;
    case RequestFile::RenewalRecord:
        return folder + kRenewalRecordFile;
    }
    return {};
}

RequestFile KindInSet(RequestFile working, RequestSet set) {
    if (set == RequestSet::Working)
        return working;
    switch (working) {
    case RequestFile::Key:
        return RequestFile::RenewalKey;
    case RequestFile::Act:
        return RequestFile::RenewalAct;
    case RequestFile::Record:
        return RequestFile::RenewalRecord;
    default:
        return working;
    }
}

std::optional<RequestJournal> ParseRequestJournal(std::string_view text, const std::string& folder,
                                                  std::string* refusal) {
    try {
        return ReadJournalText(text, folder);
    } catch (const JournalRefused& error) {
        if (refusal)
            *refusal = error.what();
        return std::nullopt;
    }
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
    const std::string folder =
        folder_.empty() ? ExtractFilePath(files.front().file->path()) : folder_;
    for (const RequestFilePut& put : files)
        if (put.file->path() != RequestFilePath(folder, put.kind))
            throw Exception(TrFormat("Файл %1 не является файлом запроса в папке %2.",
                                     {put.file->path(), folder}));
    if (folder_.empty())
        Begin(folder);
    const size_t first = replaced_.size();
    try {
        for (const RequestFilePut& put : files) {
            struct stat info {};
            if (::lstat(put.file->temporaryPath().c_str(), &info) != 0)
                throw MakeOSError(errno, put.file->temporaryPath());
            replaced_.push_back({put.kind, put.file->path(), FreeBackupName(put.file->path()),
                                 InodeText(info.st_ino)});
        }
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
    KillPoint("request-files-put");
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
    settle(true);
}

void RequestFolder::RollBack() noexcept {
    if (folder_.empty())
        return;
    settle(false);
}

void RequestFolder::settle(bool accepted) noexcept {
    try {
        Settle(folder_, {accepted, container_, replaced_});
    } catch (const std::exception& error) {
        // The journal stays: the next operation on the folder says what is wrong.
        WriteLog(std::string("Запрос сертификата не завершён: ") + error.what(), LogKind::Stamped);
    }
    replaced_.clear();
    folder_.clear();
}

std::string RequestFolder::backupPath(RequestFile kind) const {
    for (const ReplacedFile& file : replaced_)
        if (file.kind == kind)
            return file.backup;
    return {};
}

std::optional<std::string> RecoverInterruptedRequest(const std::string& folder) noexcept {
    const std::string path = JournalPath(folder);
    try {
        // The journal itself is checked before a byte of it is read.
        if (!Inspect(path).exists)
            return std::nullopt;
        const RequestJournal journal =
            ReadJournalText(ReadFileBytes(path), IncludeTrailingPathDelimiter(folder));
        Settle(IncludeTrailingPathDelimiter(folder), journal);
        LogRecovery(folder, journal);
        return std::nullopt;
    } catch (const JournalRefused& error) {
        const std::string message = RefusedJournalMessage(path, error.what());
        WriteLog(message, LogKind::Stamped);
        return message;
    } catch (const std::exception& error) {
        const std::string message =
            TrFormat("Не удалось завершить прерванный запрос сертификата по журналу %1: %2. "
                     "Проверьте файлы папки и удалите этот журнал.",
                     {path, error.what()});
        WriteLog(message, LogKind::Stamped);
        return message;
    }
}

FolderMadeForRequest::~FolderMadeForRequest() {
    if (madeHere_)
        ::rmdir(folder_.c_str()); // refused while anything is in it
}

} // namespace cq
