#pragma once
// One line of the address overview: what the certificate folder of an address of the e-mail
// list holds by the reception rule, for a downloaded certificate how long it stays valid, and
// where a renewal of it stands. The overview only reads: it takes no lock and writes nothing, so
// it may look into any user's folders.

#include "base/Clock.h"
#include "certs/CertificateCheck.h"
#include "certs/RenewalState.h"

#include <string>
#include <vector>

namespace cq {

/// The folder state by the reception rule.
enum class FolderState {
    NoKey,      ///< no key and no GOST request: nothing was generated
    Requested,  ///< a key or a GOST request, no certificate yet
    Downloaded, ///< the certificate file is there
    Unreadable, ///< the request record cannot be read
};

/// Days a certificate ending at `validTo` (as it states it) has left, counted from today's local
/// date to its end date; zero on its last day, negative once past.
int DaysLeft(const CertificateDateTime& validTo, TimePoint now);

/// Certificates with fewer days left than this are marked as ending soon.
inline constexpr int kEndingSoonDays = 30;

struct AddressOverview {
    std::string Email;
    FolderState State = FolderState::NoKey;
    bool HasExpiry = false; ///< the downloaded certificate could be read
    CertificateDateTime NotAfter;
    int DaysLeft = 0;
    bool Expired = false; ///< by the check's rule (IsExpiredAt)
    RenewalState Renewal = RenewalState::None;
    std::string Problem; ///< why the state or the certificate could not be read
};

/// The overview of the address `email` (trimmed here) whose certificate folder is `folder`
/// (with its trailing delimiter). A link in place of the folder or of the certificate file is
/// reported as a problem, never followed. Never raises.
AddressOverview OverviewOfFolder(const std::string& email, const std::string& folder,
                                 const Clock& clock);

/// The overview of one address in the data folder of the settings in force. Never raises.
AddressOverview OverviewOfAddress(const std::string& email, const Clock& clock = SystemClock());

/// The overviews of the addresses of an e-mail list text whose certificate folders are in
/// `dataFolder` (with its trailing delimiter), in the list's order.
std::vector<AddressOverview> OverviewOfList(const std::string& listText,
                                            const std::string& dataFolder, const Clock& clock);

/// The overviews of the e-mail list of the settings in force.
std::vector<AddressOverview> OverviewOfEmailList(const Clock& clock = SystemClock());

/// True when the address's certificate could be read and has `warnDays` days left or fewer,
/// or has expired.
bool WithinWarningPeriod(const AddressOverview& overview, int warnDays);

/// The addresses of an e-mail list text (CR LF, LF or CR between them), trimmed, empty lines
/// left out.
std::vector<std::string> EmailListAddresses(const std::string& listText);

} // namespace cq
