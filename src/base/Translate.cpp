#include "base/Translate.h"

#include <libintl.h>
#include <sys/stat.h>

#include <clocale>

namespace cq {

namespace {

bool IsFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace

void UseUserLanguage(const std::string& localeFolder) {
    std::setlocale(LC_MESSAGES, "");
    if (!localeFolder.empty() && IsFolder(localeFolder))
        ::bindtextdomain(kTextDomain, localeFolder.c_str());
    ::bind_textdomain_codeset(kTextDomain, "UTF-8");
}

std::string Tr(const std::string& russian) {
    if (russian.empty())
        return russian; // gettext answers "" with the catalog's header
    return ::dgettext(kTextDomain, russian.c_str());
}

} // namespace cq
