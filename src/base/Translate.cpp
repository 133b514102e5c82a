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

std::string TrFormat(const std::string& russian, const std::vector<std::string>& arguments) {
    const std::string pattern = Tr(russian);
    std::string text;
    text.reserve(pattern.size());
    for (size_t i = 0; i < pattern.size(); ++i) {
        const char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
        if (pattern[i] == '%' && next == '%') {
            text += '%';
            ++i;
        } else if (pattern[i] == '%' && next >= '1' && next <= '9') {
            const auto index = static_cast<size_t>(next - '1');
            if (index < arguments.size())
                text += arguments[index];
            ++i;
        } else {
            text += pattern[i];
        }
    }
    return text;
}

} // namespace cq
