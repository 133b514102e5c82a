#pragma once
// The window's texts in the user's language: captions, hints, tool tips and box texts are
// written in Russian in the code and looked up in the program's catalog like every other
// message. Object names, settings keys and what goes to the service never pass through here.

#include "base/Translate.h"

#include <QString>

#include <string>
#include <vector>

namespace cq::ui {

/// The text in the user's language as a QString.
inline QString TrQ(const char* russian) {
    return QString::fromStdString(Tr(russian));
}

/// The text with %1 … %9 filled in after translation (see TrFormat) as a QString.
inline QString TrQFormat(const char* russian, const std::vector<std::string>& arguments) {
    return QString::fromStdString(TrFormat(russian, arguments));
}

/// The language the catalog speaks for this run ("en", …): the one gettext chose from the
/// environment; "ru" where no catalog applies (a Russian locale, C, POSIX), as the texts in the
/// code are Russian.
QString CatalogLanguage();

} // namespace cq::ui
