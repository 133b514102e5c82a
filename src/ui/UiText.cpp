#include "ui/UiText.h"

#include <libintl.h>

#include <QRegularExpression>

namespace cq::ui {

namespace {

// The id whose translation is the catalog's header.
constexpr const char* kHeaderId = "";

} // namespace

QString CatalogLanguage() {
    // The catalog's header (its entry for the empty id) names its language; without a catalog
    // for the user's language gettext answers with the empty id itself.
    const QString header = QString::fromUtf8(::dgettext(kTextDomain, kHeaderId));
    static const QRegularExpression language(QStringLiteral("^Language: *([A-Za-z_]+)"),
                                             QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = language.match(header);
    return match.hasMatch() ? match.captured(1) : QStringLiteral("ru");
}

} // namespace cq::ui
