#include "certs/AddressOverview.h"

#include "base/Errors.h"
#include "base/FileUtil.h"
#include "base/StringUtil.h"
#include "base/Translate.h"
#include "settings/CertFolders.h"
#include "settings/EmailList.h"
#include "settings/SettingsValues.h"

#include <sys/stat.h>

#include <chrono>
#include <exception>

namespace cq {
namespace {

std::chrono::sys_days CivilDay(int year, int month, int day) {
    return std::chrono::sys_days(std::chrono::year(year) / std::chrono::month(unsigned(month)) /
                                 std::chrono::day(unsigned(day)));
}

enum class EntryKind { Missing, Regular, Folder, Link, Other };

EntryKind KindOf(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return EntryKind::Missing;
    if (S_ISLNK(info.st_mode))
        return EntryKind::Link;
    if (S_ISREG(info.st_mode))
        return EntryKind::Regular;
    return S_ISDIR(info.st_mode) ? EntryKind::Folder : EntryKind::Other;
}

void RefuseLink(const std::string& path, const char* what) {
    if (KindOf(path) == EntryKind::Link)
        throw Exception(TrFormat("%1 %2 — символическая ссылка; программа не читает через неё.",
                                 {Tr(what), path}));
}

// The reception rule on the folder's entries: the certificate file makes it downloaded, a key
// file or a GOST request record requested. Links are data, not directions: a link in place of
// the folder or of the request record is refused rather than followed.
FolderState FolderStateOf(const std::string& folder) {
    const std::string path = ExcludeTrailingPathDelimiter(folder);
    RefuseLink(path, TrMark("Папка сертификата"));
    if (KindOf(path) != EntryKind::Folder)
        return FolderState::NoKey;
    RefuseLink(folder + kRequestRecordFile, TrMark("Запись запроса"));
    const bool gost = IsGostRequest(folder); // an unreadable record makes the folder unreadable
    const auto present = [&folder](const char* name) {
        const EntryKind kind = KindOf(folder + name);
        return kind != EntryKind::Missing && kind != EntryKind::Folder;
    };
    if (present(kCertificateFile))
        return FolderState::Downloaded;
    return present(kCertificateKeyFile) || gost ? FolderState::Requested : FolderState::NoKey;
}

void ReadExpiry(const std::string& fileName, TimePoint now, AddressOverview& overview) {
    try {
        RefuseLink(fileName, TrMark("Файл сертификата"));
        const CertificateContent certificate =
            ReadCertificate(ReadFileBytes(fileName), std::string(), fileName);
        overview.HasExpiry = true;
        overview.NotAfter = certificate.NotAfter;
        overview.DaysLeft = DaysLeft(certificate.NotAfter, now);
        overview.Expired = IsExpiredAt(certificate.NotAfter, now);
    } catch (const std::exception& error) {
        overview.Problem = error.what();
    }
}

} // namespace

int DaysLeft(const CertificateDateTime& validTo, TimePoint now) {
    const LocalDateTime today = ToLocal(now);
    return int((CivilDay(validTo.year, validTo.month, validTo.day) -
                CivilDay(today.year, today.month, today.day))
                   .count());
}

AddressOverview OverviewOfFolder(const std::string& email, const std::string& folder,
                                 const Clock& clock) {
    AddressOverview overview;
    overview.Email = Trim(email);
    if (overview.Email.find('@') == std::string::npos)
        return overview;
    try {
        overview.State = FolderStateOf(folder);
    } catch (const std::exception& error) {
        overview.State = FolderState::Unreadable;
        overview.Problem = error.what();
        return overview;
    }
    overview.Renewal = ReadRenewalState(folder);
    if (overview.State == FolderState::Downloaded)
        ReadExpiry(folder + kCertificateFile, clock(), overview);
    return overview;
}

AddressOverview OverviewOfAddress(const std::string& email, const Clock& clock) {
    return OverviewOfFolder(email, CertificateFolder(email), clock);
}

std::vector<AddressOverview> OverviewOfList(const std::string& listText,
                                            const std::string& dataFolder, const Clock& clock) {
    std::vector<AddressOverview> overviews;
    for (const std::string& email : EmailListAddresses(listText))
        overviews.push_back(OverviewOfFolder(email, CertificateFolderIn(dataFolder, email), clock));
    return overviews;
}

std::vector<AddressOverview> OverviewOfEmailList(const Clock& clock) {
    return OverviewOfList(ReadEmailList(), Settings().DataFolder, clock);
}

bool WithinWarningPeriod(const AddressOverview& overview, int warnDays) {
    return overview.HasExpiry && (overview.Expired || overview.DaysLeft <= warnDays);
}

std::vector<std::string> EmailListAddresses(const std::string& listText) {
    std::vector<std::string> addresses;
    std::string line;
    const auto flush = [&] {
        const std::string address = Trim(line);
        if (!address.empty())
            addresses.push_back(address);
        line.clear();
    };
    for (const char c : listText) {
        if (c == '\r' || c == '\n')
            flush();
        else
            line += c;
    }
    flush();
    return addresses;
}

} // namespace cq
