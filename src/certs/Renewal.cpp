#include "certs/Renewal.h"

#include "base/Errors.h"
#include "base/FileUtil.h"
#include "base/IniFile.h"
#include "base/KillPoint.h"
#include "base/StringUtil.h"
#include "base/Translate.h"
#include "certs/CertificateFolderLock.h"
#include "certs/FolderKey.h"
#include "certs/PublicKeyAct.h"
#include "certs/RenewalState.h"
#include "certs/RequestFolder.h"
#include "log/Log.h"
#include "settings/CertFolders.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace cq {
namespace {

constexpr const char* kCertSection = "Cert";

/// What lstat finds at a path, never following a link.
struct Entry {
    bool exists = false;
    bool regular = false;
    bool folder = false;
    bool own = false;
    ino_t inode = 0;
};

Entry Look(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        if (errno == ENOENT)
            return {};
        throw MakeOSError(errno, path);
    }
    return {true, S_ISREG(info.st_mode), S_ISDIR(info.st_mode), info.st_uid == ::geteuid(),
            info.st_ino};
}

bool IsGostRecord(const std::string& recordPath) {
    return !Trim(IniFile::Load(recordPath).ReadString(kCertSection, "Algorithm")).empty();
}

/// The working act's name in the folder (named by the folder's address).
std::string WorkingActName(const std::string& folder) {
    return ExtractFileName(RequestFilePath(folder, RequestFile::Act));
}

// ---------------------------------------------------------------- the swap's journal

// The journal: UTF-8 lines "name=value" in this order: the state, the previous pair's folder,
// one "keep" line for each working file that moves into it, one "place" line for each pending
// file that takes a working file's place, and the new certificate file's bytes as hex digits.
constexpr const char* kPrepared = "prepared"; ///< the previous pair is not yet kept whole
constexpr const char* kKept = "kept";         ///< the previous pair is kept: the swap goes on

/// Why a swap journal is not followed; the text says what is wrong, in Russian.
class SwapJournalRefused : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct SwapJournal {
    bool kept = false;
    std::string previous;           ///< the previous pair's folder name
    std::vector<std::string> keep;  ///< working files moved into it
    std::vector<std::string> place; ///< pending files that become working ones
    std::string certificate;        ///< the new Certificate.cer's bytes
};

/// The working file a pending file becomes.
std::string PlacedName(const std::string& folder, const std::string& pending) {
    if (pending == kRenewalKeyFile)
        return kCertificateKeyFile;
    if (pending == kRenewalActFile)
        return WorkingActName(folder);
    return kRequestRecordFile;
}

std::vector<std::string> WorkingNames(const std::string& folder) {
    return {kCertificateKeyFile, kCertificateFile, WorkingActName(folder), kRequestRecordFile,
            kCertificateP12File};
}

const std::vector<std::string>& PendingNames() {
    static const std::vector<std::string> names = {kRenewalKeyFile, kRenewalActFile,
                                                   kRenewalRecordFile};
    return names;
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

/// "Previous-YYYYMMDD-hhmmss", with "-N" after it when the second's name was taken.
bool IsPreviousFolderName(const std::string& name) {
    const std::string prefix = kPreviousPairPrefix;
    if (!name.starts_with(prefix) || name.size() < prefix.size() + 15)
        return false;
    const std::string stamp = name.substr(prefix.size());
    for (size_t i = 0; i < stamp.size(); ++i) {
        const char c = stamp[i];
        const bool digit = c >= '0' && c <= '9';
        if (i == 8 || (i == 15 && stamp.size() > 15)) {
            if (c != '-')
                return false;
        } else if (!digit) {
            return false;
        }
    }
    return stamp.size() != 16; // a lone "-" after the time
}

std::string JournalText(const SwapJournal& journal) {
    std::string text = std::string("state=") + (journal.kept ? kKept : kPrepared) + "\n";
    text += "previous=" + journal.previous + "\n";
    for (const std::string& name : journal.keep)
        text += "keep=" + name + "\n";
    for (const std::string& name : journal.place)
        text += "place=" + name + "\n";
    text += "certificate=" + UpperHex(journal.certificate) + "\n";
    return text;
}

std::string BytesOfHex(const std::string& hex) {
    if (hex.size() % 2 != 0)
        throw SwapJournalRefused(Tr("неполная запись сертификата"));
    std::string bytes;
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int high = HexDigitValue(hex[i]);
        const int low = HexDigitValue(hex[i + 1]);
        if (high < 0 || low < 0)
            throw SwapJournalRefused(Tr("запись сертификата не в шестнадцатеричном виде"));
        bytes += static_cast<char>(high * 16 + low);
    }
    return bytes;
}

/// The journal's text read strictly: every name must be one of the folder's own names of its
/// kind, each once, in the fixed order.
SwapJournal ParseSwapJournal(const std::string& text, const std::string& folder) {
    std::vector<std::string> lines = Split(text, "\n");
    if (!lines.empty() && lines.back().empty())
        lines.pop_back();
    std::vector<std::pair<std::string, std::string>> fields;
    for (const std::string& line : lines) {
        const size_t equals = line.find('=');
        if (equals == std::string::npos)
            throw SwapJournalRefused(Tr("строка без знака \"=\""));
        fields.emplace_back(line.substr(0, equals), line.substr(equals + 1));
    }
    if (fields.size() < 3 || fields[0].first != "state" || fields[1].first != "previous" ||
        fields.back().first != "certificate")
        throw SwapJournalRefused(Tr("файл не является журналом замены сертификата"));
    SwapJournal journal;
    if (fields[0].second != kPrepared && fields[0].second != kKept)
        throw SwapJournalRefused(TrFormat("неизвестное состояние \"%1\"", {fields[0].second}));
    journal.kept = fields[0].second == kKept;
    journal.previous = fields[1].second;
    if (!IsPreviousFolderName(journal.previous))
        throw SwapJournalRefused(
            TrFormat("\"%1\" не является папкой прежней пары", {journal.previous}));
    const std::vector<std::string> working = WorkingNames(folder);
    size_t at = 2;
    for (; at + 1 < fields.size() && fields[at].first == "keep"; ++at) {
        if (!Contains(working, fields[at].second) || Contains(journal.keep, fields[at].second))
            throw SwapJournalRefused(
                TrFormat("файл \"%1\" не может быть сохранён", {fields[at].second}));
        journal.keep.push_back(fields[at].second);
    }
    for (; at + 1 < fields.size() && fields[at].first == "place"; ++at) {
        if (!Contains(PendingNames(), fields[at].second) ||
            Contains(journal.place, fields[at].second))
            throw SwapJournalRefused(
                TrFormat("файл \"%1\" не является файлом продления", {fields[at].second}));
        journal.place.push_back(fields[at].second);
    }
    if (at + 1 != fields.size() || !Contains(journal.place, kRenewalRecordFile))
        throw SwapJournalRefused(Tr("нарушен порядок строк"));
    journal.certificate = BytesOfHex(fields.back().second);
    return journal;
}

std::string JournalPath(const std::string& folder) {
    return folder + kRenewalJournalFile;
}

void WriteJournal(const std::string& folder, const SwapJournal& journal) {
    WriteFileAtomically(JournalPath(folder), JournalText(journal), FileAccess::Private,
                        AtLink::Refuse);
}

/// A file of the journal: missing or a regular file of the user's; anything else refuses it.
Entry Inspect(const std::string& path) {
    const Entry entry = Look(path);
    if (entry.exists && (!entry.regular || !entry.own))
        throw SwapJournalRefused(
            TrFormat("на месте файла %1 не обычный файл пользователя", {path}));
    return entry;
}

/// The previous pair's folder: missing, or a folder of the user's (never a link).
Entry InspectPreviousFolder(const std::string& path) {
    const Entry entry = Look(path);
    if (entry.exists && (!entry.folder || !entry.own))
        throw SwapJournalRefused(TrFormat("на месте папки %1 не папка пользователя", {path}));
    return entry;
}

bool SameBytes(const std::string& first, const std::string& second) {
    try {
        return ReadFileBytes(first) == ReadFileBytes(second);
    } catch (const std::exception&) {
        return false;
    }
}

/// True when the two names hold one file (or, where the file system has no hard links, a copy
/// with the same bytes).
bool SameFile(const std::string& first, const std::string& second) {
    const Entry a = Inspect(first);
    const Entry b = Inspect(second);
    return a.exists && b.exists && (a.inode == b.inode || SameBytes(first, second));
}

void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        throw MakeOSError(errno, folder);
    const int synced = ::fsync(fd);
    const int savedErrno = errno;
    ::close(fd);
    if (synced != 0)
        throw MakeOSError(savedErrno, folder);
}

/// A second name of the file in the previous pair's folder (a copy where the file system has
/// no hard links).
void KeepInPrevious(const std::string& path, const std::string& kept) {
    if (Inspect(kept).exists) {
        if (!SameFile(path, kept))
            throw SwapJournalRefused(
                TrFormat("в папке прежней пары уже есть другой файл %1", {kept}));
        return;
    }
    if (::link(path.c_str(), kept.c_str()) == 0)
        return;
    if (errno != EPERM && errno != EXDEV && errno != ENOTSUP && errno != ENOSYS)
        throw MakeOSError(errno, kept);
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        throw MakeOSError(errno, path);
    WriteFileAtomically(kept, ReadFileBytes(path, FileKind::Document),
                        (info.st_mode & 077) == 0 ? FileAccess::Private : FileAccess::Shared,
                        AtLink::Refuse);
}

/// Undoes a swap whose previous pair was not kept whole: the second names made in the
/// previous pair's folder go, and the folder with them. The working and pending files were
/// not touched.
void UndoSwap(const std::string& folder, const SwapJournal& journal) {
    const std::string previous = folder + journal.previous + "/";
    if (!InspectPreviousFolder(folder + journal.previous).exists)
        return;
    for (const std::string& name : journal.keep) {
        const Entry kept = Inspect(previous + name);
        if (!kept.exists)
            continue;
        if (!SameFile(folder + name, previous + name))
            throw SwapJournalRefused(
                TrFormat("файл %1 не тот, что сохранила замена", {previous + name}));
        if (::unlink((previous + name).c_str()) != 0)
            throw MakeOSError(errno, previous + name);
    }
    if (::rmdir(previous.c_str()) != 0 && errno != ENOENT)
        throw MakeOSError(errno, previous);
}

/// Puts one pending file in its working place, unless an earlier run did.
void PlacePendingFile(const std::string& folder, const std::string& pending) {
    const std::string from = folder + pending;
    const std::string to = folder + PlacedName(folder, pending);
    if (!Inspect(from).exists)
        return; // moved already
    Inspect(to);
    if (::rename(from.c_str(), to.c_str()) != 0)
        throw MakeOSError(errno, to);
}

/// Finishes a swap whose previous pair is kept: each pending file takes its working place, the
/// record last (the folder stays pending until then), the new certificate is written, and a
/// working file without a successor goes (it is kept in the previous pair's folder).
void FinishSwap(const std::string& folder, const SwapJournal& journal) {
    const std::string previous = folder + journal.previous + "/";
    for (const std::string& name : journal.keep)
        if (Inspect(folder + name).exists && !Inspect(previous + name).exists)
            throw SwapJournalRefused(
                TrFormat("файл %1 не сохранён в %2", {folder + name, previous}));
    std::vector<std::string> replaced = {kCertificateFile};
    for (const std::string& pending : journal.place)
        replaced.push_back(PlacedName(folder, pending));
    for (const std::string& name : journal.keep)
        if (!Contains(replaced, name) && SameFile(folder + name, previous + name) &&
            ::unlink((folder + name).c_str()) != 0)
            throw MakeOSError(errno, folder + name);
    WriteFileAtomically(folder + kCertificateFile, journal.certificate, FileAccess::Shared,
                        AtLink::Refuse);
    KillPoint("renewal-certificate-placed");
    for (const std::string& pending : PendingNames()) // the record last
        if (Contains(journal.place, pending)) {
            PlacePendingFile(folder, pending);
            KillPoint("renewal-file-placed");
        }
    SyncFolder(folder);
}

/// Every file and folder the journal names is looked at before any of them changes: a link or
/// anything else in one place refuses the whole journal.
void InspectSwapFiles(const std::string& folder, const SwapJournal& journal) {
    const bool previousExists = InspectPreviousFolder(folder + journal.previous).exists;
    for (const std::string& name : journal.keep) {
        Inspect(folder + name);
        if (previousExists)
            Inspect(folder + journal.previous + "/" + name);
    }
    for (const std::string& name : journal.place) {
        Inspect(folder + name);
        Inspect(folder + PlacedName(folder, name));
    }
    Inspect(folder + kCertificateFile);
}

void Settle(const std::string& folder, const SwapJournal& journal) {
    InspectSwapFiles(folder, journal);
    if (journal.kept)
        FinishSwap(folder, journal);
    else
        UndoSwap(folder, journal);
    if (::unlink(JournalPath(folder).c_str()) != 0 && errno != ENOENT)
        throw MakeOSError(errno, JournalPath(folder));
}

/// A free name for the previous pair's folder at the clock's local time.
std::string PreviousFolderName(const std::string& folder, const Clock& clock) {
    const LocalDateTime t = ToLocal(clock());
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d-%02d%02d%02d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    const std::string base = std::string(kPreviousPairPrefix) + stamp;
    std::string name = base;
    for (int attempt = 2; Look(folder + name).exists; ++attempt)
        name = base + "-" + std::to_string(attempt);
    return name;
}

/// The swap as the journal will say it, every file checked first: links and odd files in any
/// place refuse it before anything changes.
SwapJournal PlanSwap(const std::string& folder, const std::string& certificateText,
                     const Clock& clock) {
    SwapJournal journal;
    journal.previous = PreviousFolderName(folder, clock);
    for (const std::string& name : WorkingNames(folder)) {
        RefuseOddFile(folder + name);
        if (Look(folder + name).exists)
            journal.keep.push_back(name);
    }
    for (const std::string& name : PendingNames()) {
        RefuseOddFile(folder + name);
        if (Look(folder + name).exists)
            journal.place.push_back(name);
    }
    if (!Contains(journal.place, kRenewalRecordFile))
        throw Exception(TrFormat("В папке %1 нет ожидающего запроса на продление.", {folder}));
    journal.certificate = certificateText;
    return journal;
}

std::string RefusedSwapJournalMessage(const std::string& path, const std::string& reason) {
    return TrFormat("Журнал прерванной замены сертификата %1 не принят: %2. Файлы папки не "
                    "изменены. Проверьте их и удалите этот журнал; до тех пор операции с "
                    "сертификатом этого адреса не выполняются.",
                    {path, reason});
}

/// The container the pending record names ("" for an RSA renewal or an unreadable record).
std::string PendingContainer(const std::string& folder) {
    try {
        const IniFile record = IniFile::Load(folder + kRenewalRecordFile);
        return Trim(record.ReadString(kCertSection, "Container"));
    } catch (const std::exception&) {
        return {};
    }
}

} // namespace

void RequireWorkingCertificate(const std::string& folder) {
    for (const char* name : {kCertificateFile, kRequestRecordFile}) {
        RefuseOddFile(folder + name);
        if (!Look(folder + name).exists)
            throw Exception(Tr(kNoWorkingCertificateText), FailureClass::BadInput);
    }
}

bool HoldsPendingRenewalFiles(const std::string& folder) {
    for (const std::string& name : PendingNames())
        if (Look(folder + name).exists)
            return true;
    return false;
}

WorkingRequest ReadWorkingRequest(const std::string& email) {
    const std::string folder = CertificateFolder(email);
    CheckCertificateFolder(folder);
    RequireWorkingCertificate(folder);
    const IniFile record = IniFile::Load(folder + kRequestRecordFile);
    WorkingRequest working;
    for (const SubjectFieldKey& field : kSubjectFieldKeys)
        working.Subject.*field.member = record.ReadString(kCertSection, field.key);
    working.ProvName = Trim(record.ReadString(kCertSection, "Algorithm"));
    working.Gost = !working.ProvName.empty();
    return working;
}

bool RenewRsaCertificate(const SubjectData& subject, const ServiceGet& get, bool* declined) {
    return RequestRsaCertificateAs(RequestSet::Renewal, kRenewalKeyFile, subject, get, declined);
}

GostProcedureOutcome RenewGostCertificate(const GostRequestForm& form, const ServiceGet& get,
                                          const provider::ProviderRegistry& registry,
                                          const Clock& clock, std::string* container) {
    return RunGostProcedureAs(RequestSet::Renewal, form, get, registry, clock, container);
}

CancelOutcome CancelRenewal(const std::string& email, std::string* keptContainer) {
    const CertificateFolderLock held(email, CertificateFolderLock::Missing::Leave);
    const std::string& folder = held.folder();
    for (const std::string& name : PendingNames())
        RefuseOddFile(folder + name);
    if (!HoldsPendingRenewalFiles(folder))
        return CancelOutcome::NothingPending;
    const std::string container = PendingContainer(folder);
    // The record first: from then on the folder holds no pending renewal, whatever stops us.
    for (const char* name : {kRenewalRecordFile, kRenewalActFile, kRenewalKeyFile}) {
        if (::unlink((folder + name).c_str()) != 0 && errno != ENOENT)
            throw MakeOSError(errno, folder + name);
        KillPoint("renewal-cancel-file-removed");
    }
    SyncFolder(folder);
    std::string text =
        "Запрос на продление сертификата отменён, файлы продления удалены из папки " + folder + ".";
    if (!container.empty())
        text += " Контейнер ключей \"" + container + "\" оставлен.";
    WriteLog(text, LogKind::Stamped);
    if (keptContainer)
        *keptContainer = container;
    return CancelOutcome::Cancelled;
}

CertificateAnswer WhichRequestAnswered(const std::string& folder, const std::string& email,
                                       std::string_view certificateText) {
    KeyFit pending = KeyFit::Unknown;
    try {
        pending = CertificateFitsAct(folder + kRenewalActFile,
                                     IsGostRecord(folder + kRenewalRecordFile), certificateText);
    } catch (const std::exception&) {
        // A pending record that cannot be read shows no key.
    }
    if (pending == KeyFit::Fits)
        return CertificateAnswer::Pending;
    const KeyFit working = CertificateFitsFolderKey(folder, email, certificateText);
    if (working == KeyFit::Fits)
        return CertificateAnswer::Working;
    return pending == KeyFit::Foreign || working == KeyFit::Foreign ? CertificateAnswer::Neither
                                                                    : CertificateAnswer::Unknown;
}

std::string SwapInRenewal(const std::string& folder, const std::string& certificateText,
                          const Clock& clock) {
    SwapJournal journal = PlanSwap(folder, certificateText, clock);
    const std::string previous = folder + journal.previous + "/";
    WriteJournal(folder, journal);
    KillPoint("renewal-journal-written");
    try {
        if (::mkdir(previous.c_str(), kPrivateFolderMode) != 0)
            throw MakeOSError(errno, previous);
        for (const std::string& name : journal.keep)
            KeepInPrevious(folder + name, previous + name);
        SyncFolder(previous);
        KillPoint("renewal-previous-kept");
        SwapJournal kept = journal;
        kept.kept = true;
        WriteJournal(folder, kept);
        journal.kept = true;
    } catch (const std::exception&) {
        // Nothing of the working or pending files changed: the second names go again.
        try {
            Settle(folder, journal);
        } catch (const std::exception& error) {
            WriteLog(std::string("Замена сертификата не отменена: ") + error.what(),
                     LogKind::Stamped);
        }
        throw;
    }
    KillPoint("renewal-kept");
    try {
        Settle(folder, journal);
    } catch (const SwapJournalRefused& error) {
        throw Exception(RefusedSwapJournalMessage(JournalPath(folder), error.what()));
    }
    KillPoint("renewal-swapped");
    return previous;
}

std::optional<std::string> RecoverInterruptedSwap(const std::string& folder) noexcept {
    const std::string directory = IncludeTrailingPathDelimiter(folder);
    const std::string path = JournalPath(directory);
    try {
        if (!Inspect(path).exists)
            return std::nullopt;
        const SwapJournal journal =
            ParseSwapJournal(ReadFileBytes(path, FileKind::Document), directory);
        Settle(directory, journal);
        WriteLog(journal.kept ? "Завершена замена сертификата продлённым, прерванная в папке " +
                                    directory + ": прежняя пара в папке " + journal.previous + "."
                              : "Отменена замена сертификата продлённым, прерванная в папке " +
                                    directory + ": ожидающий запрос на продление оставлен.",
                 LogKind::Stamped);
        return std::nullopt;
    } catch (const SwapJournalRefused& error) {
        const std::string message = RefusedSwapJournalMessage(path, error.what());
        WriteLog(message, LogKind::Stamped);
        return message;
    } catch (const std::exception& error) {
        const std::string message =
            TrFormat("Не удалось завершить прерванную замену сертификата по журналу %1: %2. "
                     "Проверьте файлы папки и удалите этот журнал.",
                     {path, error.what()});
        WriteLog(message, LogKind::Stamped);
        return message;
    }
}

} // namespace cq
