#pragma once
// One line of the address overview: what the certificate folder of an address of the e-mail
// list holds by the reception rule, and for a downloaded certificate how long it stays valid.

#include "base/Clock.h"
#include "certs/CertificateCheck.h"

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
    std::string Problem;  ///< why the state or the certificate could not be read
};

/// The overview of one address (trimmed here). Never raises.
AddressOverview OverviewOfAddress(const std::string& email, const Clock& clock = SystemClock());

/// The addresses of an e-mail list text (CR LF, LF or CR between them), trimmed, empty lines
/// left out.
std::vector<std::string> EmailListAddresses(const std::string& listText);

} // namespace cq
