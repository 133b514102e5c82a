#include "ui/RenewalView.h"

#include "base/Dialogs.h"
#include "base/Translate.h"
#include "certs/ExpiryNotice.h"
#include "settings/SettingsValues.h"

#include <cstdio>

namespace cq::ui {
namespace {

std::string DayText(const CertificateDateTime& moment) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d.%02d.%04d", moment.day, moment.month, moment.year);
    return text;
}

std::string ExpiryText(const AddressOverview& overview) {
    if (overview.Expired)
        return TrFormat("Срок действия до %1, истёк", {DayText(overview.NotAfter)});
    return TrFormat("Срок действия до %1, осталось дней: %2",
                    {DayText(overview.NotAfter), std::to_string(overview.DaysLeft)});
}

std::string RenewalText(RenewalState state) {
    switch (state) {
    case RenewalState::Pending:
        return Tr("Продление запрошено, новый сертификат ещё не выдан.");
    case RenewalState::Issued:
        return Tr("Сертификат продлён, прежний сохранён в папке сертификата.");
    case RenewalState::None:
        break;
    }
    return {};
}

} // namespace

RenewalView ViewOfRenewal(const AddressOverview& overview, int warnDays) {
    RenewalView view;
    if (overview.HasExpiry)
        view.Expiry = ExpiryText(overview);
    view.Renewal = RenewalText(overview.Renewal);
    view.OfferCancel = overview.Renewal == RenewalState::Pending;
    view.OfferRenew = !view.OfferCancel && WithinWarningPeriod(overview, warnDays);
    return view;
}

std::string ExpiryNoticeText(const std::vector<AddressOverview>& near) {
    if (near.empty())
        return {};
    std::string text = Tr("Срок действия сертификатов подходит к концу.");
    for (const AddressOverview& overview : near) {
        text += "\r\n\r\n" + NoticeFor(overview).Body;
        if (overview.Renewal == RenewalState::Pending)
            text += " " + Tr("Продление уже запрошено.");
    }
    return text + "\r\n\r\n" +
           Tr("Продлить сертификат можно на вкладке \"Получение сертификата\".");
}

void ShowExpiryNotice() {
    std::vector<AddressOverview> near;
    for (AddressOverview& overview : OverviewOfEmailList())
        if (WithinWarningPeriod(overview, Settings().WarnDays))
            near.push_back(std::move(overview));
    if (const std::string text = ExpiryNoticeText(near); !text.empty())
        ShowInfoBox(text, Tr("Срок действия сертификатов"));
}

} // namespace cq::ui
