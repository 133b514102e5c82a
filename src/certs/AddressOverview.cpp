#include "certs/AddressOverview.h"

#include "base/FileUtil.h"
#include "base/StringUtil.h"
#include "certs/Download.h"
#include "settings/CertFolders.h"

#include <chrono>
#include <exception>

namespace cq {
namespace {

std::chrono::sys_days CivilDay(int year, int month, int day) {
    return std::chrono::sys_days(std::chrono::year(year) / std::chrono::month(unsigned(month)) /
                                 std::chrono::day(unsigned(day)));
}

} // namespace

int DaysLeft(const CertificateDateTime& validTo, TimePoint now) {
    const LocalDateTime today = ToLocal(now);
    return int((CivilDay(validTo.year, validTo.month, validTo.day) -
                CivilDay(today.year, today.month, today.day))
                   .count());
}

AddressOverview OverviewOfAddress(const std::string& email, const Clock& clock) {
    AddressOverview overview;
    overview.Email = Trim(email);
    ReceptionState state;
    try {
        state = EvaluateReceptionState(overview.Email);
    } catch (const std::exception& error) {
        overview.State = FolderState::Unreadable;
        overview.Problem = error.what();
        return overview;
    }
    if (state.StateLabel == kAlreadyReceivedLabel)
        overview.State = FolderState::Downloaded;
    else if (state.DownloadEnabled)
        overview.State = FolderState::Requested;
    else
        overview.State = FolderState::NoKey;
    if (overview.State != FolderState::Downloaded)
        return overview;
    const std::string fileName = CertificateFolder(overview.Email) + kCertificateFile;
    try {
        const CertificateContent certificate =
            ReadCertificate(ReadFileBytes(fileName), std::string(), fileName);
        const TimePoint now = clock();
        overview.HasExpiry = true;
        overview.NotAfter = certificate.NotAfter;
        overview.DaysLeft = DaysLeft(certificate.NotAfter, now);
        overview.Expired = IsExpiredAt(certificate.NotAfter, now);
    } catch (const std::exception& error) {
        overview.Problem = error.what();
    }
    return overview;
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
