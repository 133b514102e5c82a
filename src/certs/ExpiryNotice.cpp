#include "certs/ExpiryNotice.h"

#include "base/FileUtil.h"
#include "base/StringUtil.h"
#include "base/Translate.h"

#include <cstdio>

namespace cq {
namespace {

constexpr const char* kSection = "Notified";

std::string RecordKey(const std::string& email) {
    return LowerCase(Trim(email));
}

std::string EndDate(const CertificateDateTime& moment) {
    // "DD.MM.YYYY hh:mm:ss": the date is enough in a notice.
    return FormatCertificateDate(moment).substr(0, 10);
}

} // namespace

std::string LocalDay(TimePoint moment) {
    const LocalDateTime local = ToLocal(moment);
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", local.year, local.month, local.day);
    return text;
}

std::vector<AddressOverview> NoticesDue(const std::vector<AddressOverview>& overviews, int warnDays,
                                        const IniFile& record, const std::string& today) {
    std::vector<AddressOverview> due;
    for (const AddressOverview& overview : overviews)
        if (WithinWarningPeriod(overview, warnDays) &&
            record.ReadString(kSection, RecordKey(overview.Email)) != today)
            due.push_back(overview);
    return due;
}

ExpiryNotice NoticeFor(const AddressOverview& overview) {
    ExpiryNotice notice;
    notice.Email = overview.Email;
    if (overview.Expired) {
        notice.Summary = Tr("Срок действия сертификата истёк");
        notice.Body = TrFormat("Сертификат %1 действовал до %2. Запросите новый сертификат.",
                               {overview.Email, EndDate(overview.NotAfter)});
    } else {
        notice.Summary = Tr("Срок действия сертификата заканчивается");
        notice.Body = TrFormat(
            "Сертификат %1 действует до %2, осталось дней: %3. Продлите его "
            "заранее.",
            {overview.Email, EndDate(overview.NotAfter), std::to_string(overview.DaysLeft)});
    }
    return notice;
}

std::string NoticeRecordPath() {
    return UserDataFolder() + "CertQuorix/" + kNoticeRecordFile;
}

IniFile ReadNoticeRecord(const std::string& path) {
    RefuseOddFile(path);
    return IniFile::Load(path);
}

void WriteNoticeRecord(const std::string& path, IniFile record,
                       const std::vector<std::string>& emails, const std::string& today) {
    for (const std::string& email : emails)
        record.WriteString(kSection, RecordKey(email), today);
    const std::string folder = ExtractFilePath(path);
    if (!DirectoryExists(folder))
        ForceDirectories(folder, kPrivateFolderMode);
    record.Save(path, AtLink::Refuse);
}

} // namespace cq
