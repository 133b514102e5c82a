#pragma once
// What the window says about a certificate's end and its renewal: the end date with the days
// left on the reception tab, the renewal's state, which of "Продлить" and "Отменить продление"
// is offered, and the notice of certificates near their end that the window shows once at start.

#include "certs/AddressOverview.h"
#include "certs/RenewalState.h"

#include <string>
#include <vector>

namespace cq::ui {

/// Days before its end from which a certificate is offered for renewal when the settings do not
/// say otherwise.
inline constexpr int kDefaultWarnDays = 30;

/// The warning period in force: days before its end from which a certificate is offered for
/// renewal and named in the start-up notice.
int WarnDays();

/// One address as the renewal display needs it.
struct RenewalFacts {
    AddressOverview Overview;
    RenewalState Renewal = RenewalState::None;
};

/// The facts of one address (trimmed); never raises.
RenewalFacts FactsOfAddress(const std::string& email);

/// True when the address has a readable certificate that is past its end or ends within
/// `warnDays` days.
bool NearItsEnd(const AddressOverview& overview, int warnDays);

/// What the reception tab shows for an address.
struct RenewalView {
    std::string Expiry; ///< "Срок действия до ...": empty without a readable certificate
    std::string Renewal; ///< the renewal's state in words: empty when none was asked for
    bool OfferRenew = false;
    bool OfferCancel = false;
};

RenewalView ViewOfRenewal(const RenewalFacts& facts, int warnDays);

/// The addresses of the e-mail list whose certificates are near their end, in the list's order.
std::vector<RenewalFacts> CertificatesNearTheirEnd(int warnDays);

/// The text of the start-up notice for `near` (one line per address); empty when there is none.
std::string ExpiryNoticeText(const std::vector<RenewalFacts>& near);

/// Shows the notice in a box when any certificate of the e-mail list is near its end.
void ShowExpiryNotice();

} // namespace cq::ui
