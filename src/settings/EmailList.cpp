#include "settings/EmailList.h"

#include "app/ErrorReport.h"
#include "base/StringUtil.h"
#include "settings/CertFolders.h"
#include "settings/Settings.h"

#include <algorithm>
#include <vector>

namespace cq {
namespace {

constexpr const char* kEmailSection = "Email";
constexpr const char* kListKey = "List";

// The stored list as lines: every "|" becomes a line break; a final empty line does not count.
std::vector<std::string> ListLines(const std::string& stored) {
    if (stored.empty())
        return {};
    std::vector<std::string> lines = Split(stored, "|");
    if (lines.back().empty())
        lines.pop_back();
    return lines;
}

// Inserts a line at its place in an order that ignores letter case; a line equal to one already
// present (ignoring case) is dropped, so the one already there stays.
void InsertSorted(std::vector<std::string>& sorted, const std::string& line) {
    const auto place = std::lower_bound(
        sorted.begin(), sorted.end(), line,
        [](const std::string& a, const std::string& b) { return CompareText(a, b) < 0; });
    if (place != sorted.end() && SameText(*place, line))
        return;
    sorted.insert(place, line);
}

// The sorted lines joined for storage: blank entries at either end (the empty line always
// sorts first) go with the trimming of the whole text.
std::string StoredList(const std::vector<std::string>& sorted) {
    std::string text;
    for (const std::string& line : sorted)
        text += line + "\r\n";
    return ReplaceText(Trim(text), "\r\n", "|");
}

} // namespace

void AddEmailToList(const std::string& email) {
    try {
        const std::string path = FindSettingsFile(true);
        const FolderLock lock = LockSettingsFile(path);
        IniFile ini = LoadSettingsFile(path);
        std::vector<std::string> sorted;
        for (const std::string& line : ListLines(ini.ReadString(kEmailSection, kListKey)))
            InsertSorted(sorted, line);
        InsertSorted(sorted, email);
        ini.WriteString(kEmailSection, kListKey, StoredList(sorted));
        ini.Save(path);
    } catch (const std::exception& error) {
        ReportError(context::kAddEmail, error);
    }
}

bool RemoveEmailFromList(const std::string& email) {
    const std::string path = FindSettingsFile(true);
    const FolderLock lock = LockSettingsFile(path);
    IniFile ini = LoadSettingsFile(path);
    std::vector<std::string> kept;
    bool removed = false;
    for (const std::string& line : ListLines(ini.ReadString(kEmailSection, kListKey))) {
        const bool match = SameText(Trim(line), email);
        removed = removed || match;
        if (!match)
            kept.push_back(line);
    }
    if (!removed)
        return false;
    ini.WriteString(kEmailSection, kListKey, StoredList(kept));
    ini.Save(path);
    return true;
}

std::string EmailListOf(const IniFile& settings) {
    return ReplaceText(settings.ReadString(kEmailSection, kListKey), "|", "\r\n");
}

std::string ReadEmailList() {
    try {
        const std::string path = FindSettingsFileForReading();
        return EmailListOf(LoadSettingsFile(path));
    } catch (const std::exception& error) {
        ReportError(context::kReadEmailList, error);
        return {};
    }
}

} // namespace cq
