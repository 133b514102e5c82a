#include "ui/RenewalView.h"

#include "base/Dialogs.h"
#include "settings/CertFolders.h"
#include "settings/EmailList.h"

#include <cstdio>
#include <exception>

namespace cq::ui {
namespace {

std::string DayText(const CertificateDateTime& moment) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d.%02d.%04d", moment.day, moment.month, moment.year);
    return text;
}

// "осталось дней: 10", or "истёк" once the certificate's end has passed.
std::string LeftText(const AddressOverview& overview) {
    if (overview.Expired)
        return "истёк";
    return "осталось дней: " + std::to_string(overview.DaysLeft);
}

std::string RenewalText(RenewalState state) {
    switch (state) {
    case RenewalState::Pending:
        return "Продление запрошено, новый сертификат ещё не выдан.";
    case RenewalState::Issued:
        return "Сертификат продлён, прежний сохранён в папке сертификата.";
    case RenewalState::None:
        break;
    }
    return {};
}

} // namespace

int WarnDays() {
    return kDefaultWarnDays;
}

RenewalFacts FactsOfAddress(const std::string& email) {
    RenewalFacts facts;
    facts.Overview = OverviewOfAddress(email);
    try {
        facts.Renewal = ReadRenewalState(CertificateFolder(facts.Overview.Email));
    } catch (const std::exception&) {
        facts.Renewal = RenewalState::None; // an address without a folder of its own
    }
    return facts;
}

bool NearItsEnd(const AddressOverview& overview, int warnDays) {
    return overview.HasExpiry && (overview.Expired || overview.DaysLeft <= warnDays);
}

RenewalView ViewOfRenewal(const RenewalFacts& facts, int warnDays) {
    RenewalView view;
    const AddressOverview& overview = facts.Overview;
    if (overview.HasExpiry)
        view.Expiry = "Срок действия до " + DayText(overview.NotAfter) + ", " + LeftText(overview);
    view.Renewal = RenewalText(facts.Renewal);
    view.OfferCancel = facts.Renewal == RenewalState::Pending;
    view.OfferRenew = !view.OfferCancel && NearItsEnd(overview, warnDays);
    return view;
}

std::vector<RenewalFacts> CertificatesNearTheirEnd(int warnDays) {
    std::vector<RenewalFacts> near;
    for (const std::string& address : EmailListAddresses(ReadEmailList())) {
        RenewalFacts facts = FactsOfAddress(address);
        if (NearItsEnd(facts.Overview, warnDays))
            near.push_back(std::move(facts));
    }
    return near;
}

std::string ExpiryNoticeText(const std::vector<RenewalFacts>& near) {
    if (near.empty())
        return {};
    std::string text = "Срок действия сертификатов подходит к концу:\r\n";
    for (const RenewalFacts& facts : near) {
        text += "\r\n" + facts.Overview.Email + " - " + LeftText(facts.Overview);
        if (facts.Renewal == RenewalState::Pending)
            text += " (продление запрошено)";
    }
    return text + "\r\n\r\nПродлить сертификат можно на вкладке \"Получение сертификата\".";
}

void ShowExpiryNotice() {
    const std::string text = ExpiryNoticeText(CertificatesNearTheirEnd(WarnDays()));
    if (!text.empty())
        ShowInfoBox(text, "Срок действия сертификатов");
}

} // namespace cq::ui
