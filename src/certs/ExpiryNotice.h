#pragma once
// The desktop notice of certificates near their end: which addresses are due for one today
// (within the warning period and not told yet today), its words, and the small record of the
// last day each address was told, kept in the user's data folder.

#include "base/Clock.h"
#include "base/IniFile.h"
#include "certs/AddressOverview.h"

#include <string>
#include <vector>

namespace cq {

/// The record of notices sent, in the program's folder of the user's data folder.
inline constexpr const char* kNoticeRecordFile = "Notified.ini";

/// The words of one notice.
struct ExpiryNotice {
    std::string Email;
    std::string Summary;
    std::string Body;
};

/// The local date of `moment` as "YYYY-MM-DD".
std::string LocalDay(TimePoint moment);

/// The overviews within `warnDays` of their end (or past it) whose address the record does not
/// show as told on `today`, in their order.
std::vector<AddressOverview> NoticesDue(const std::vector<AddressOverview>& overviews, int warnDays,
                                        const IniFile& record, const std::string& today);

/// The notice of one overview within the warning period: the address, the days left or that
/// it has expired, and the end date.
ExpiryNotice NoticeFor(const AddressOverview& overview);

/// UserDataFolder() + "CertQuorix/Notified.ini".
std::string NoticeRecordPath();

/// Reads the record at `path`; a missing file reads as empty. A link or anything else that is
/// not a regular file in its place is refused (EOSError), never read through.
IniFile ReadNoticeRecord(const std::string& path);

/// Notes in `record` that `emails` were told on `today` and replaces the file at `path` with it
/// atomically, for the owner alone, refusing a link in its place; its folder is made (0700)
/// when missing. Raises EOSError.
void WriteNoticeRecord(const std::string& path, IniFile record,
                       const std::vector<std::string>& emails, const std::string& today);

} // namespace cq
