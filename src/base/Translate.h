#pragma once
// The user's language for the program's texts. The Russian texts in the code are the catalog's
// message ids: under a Russian locale, under C/POSIX and wherever the catalog has no entry they
// are shown as they are, byte for byte; under another language the catalog "certquorix"
// (po/<language>.po, compiled to <language>/LC_MESSAGES/certquorix.mo) gives the translation.
// The language follows LANGUAGE, LC_ALL, LC_MESSAGES and LANG in gettext's order.
//
// What goes to the service and the operator (the request's subject, the act, the record and
// settings files, the log's records) and the words scripts read (JSON names and state words)
// never pass through here.

#include <string>
#include <string_view>
#include <vector>

namespace cq {

/// The catalog's name.
inline constexpr const char* kTextDomain = "certquorix";

/// Takes the user's language from the environment for the program's messages (LC_MESSAGES
/// only: numbers, sorting and the rest keep the C rules the program's files are written in)
/// and finds the catalogs: `localeFolder` when it holds them (the build tree, the program
/// folder), the system's locale folder otherwise. Texts keep UTF-8 whatever the locale's
/// character set.
void UseUserLanguage(const std::string& localeFolder);

/// The text in the user's language; `russian` itself where the catalog has no translation.
std::string Tr(const std::string& russian);

/// The text in the user's language with %1 … %9 replaced by `arguments` in order (a translation
/// may put them in another order); "%%" is a percent sign. A message built of pieces is one
/// text with its places, so a translator sees the whole sentence.
std::string TrFormat(const std::string& russian, const std::vector<std::string>& arguments);

/// Marks a text for the catalog where it is kept in a table and translated where it is shown.
constexpr const char* TrMark(const char* russian) {
    return russian;
}

} // namespace cq
