#pragma once
// What the window says about a certificate's end and its renewal: the end date with the days
// left on the reception tab, the renewal's state, which of "Продлить" and "Отменить продление"
// is offered, and the notice of certificates near their end that the window shows once at start
// (the facts of the daily desktop notice).

#include "certs/AddressOverview.h"

#include <string>
#include <vector>

namespace cq::ui {

/// What the reception tab shows for an address.
struct RenewalView {
    std::string Expiry;  ///< the end date with the days left: empty without a readable certificate
    std::string Renewal; ///< the renewal's state in words: empty when none was asked for
    bool OfferRenew = false;
    bool OfferCancel = false;
};

/// The view of an address's overview: a renewal is offered for a certificate within the
/// warning period of `warnDays` (or expired) unless one is pending, which is offered for
/// cancelling instead.
RenewalView ViewOfRenewal(const AddressOverview& overview, int warnDays);

/// The text of the start-up notice for the overviews within the warning period, one paragraph
/// per address; empty when there is none.
std::string ExpiryNoticeText(const std::vector<AddressOverview>& near);

/// Shows the notice in a box when any certificate of the e-mail list is within the warning
/// period of the settings in force.
void ShowExpiryNotice();

} // namespace cq::ui
