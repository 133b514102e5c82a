#include "log/LogLayout.h"

#include <cstdio>

namespace cq {
namespace {

std::string TwoDigits(int value) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%02d", value);
    return buffer;
}

std::string FourDigits(int value) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%04d", value);
    return buffer;
}

std::string SuffixTail(const LogLayout& layout) {
    return layout.nameSuffix.empty() ? std::string() : layout.nameSuffix.substr(1);
}

} // namespace

std::string LogFolderFor(const LogLayout& layout, const LocalDateTime& date) {
    const std::string year = FourDigits(date.year);
    const std::string month = TwoDigits(date.month);
    switch (layout.pathBy) {
    case 1:
        return layout.folder + year + "/";
    case 2:
        return layout.folder + year + "/" + month + "/";
    case 3:
        return layout.folder + year + "/" + month + "/" + TwoDigits(date.day) + "/";
    default:
        return layout.folder;
    }
}

std::string LogFileNameFor(const LogLayout& layout, const LocalDateTime& date) {
    const std::string month = TwoDigits(date.month);
    const std::string day = TwoDigits(date.day);
    std::string name;
    switch (layout.pathBy) {
    case 1:
        name = month + "." + day + "." + SuffixTail(layout) + ".Log";
        break;
    case 2:
        name = day + "." + SuffixTail(layout) + ".Log";
        break;
    case 3:
        name = SuffixTail(layout) + ".Log";
        break;
    case 4:
        name = layout.singleLogFileName;
        break;
    default:
        name = FourDigits(date.year) + "." + month + "." + day + layout.nameSuffix + ".Log";
        break;
    }
    return LogFolderFor(layout, date) + name;
}

std::string LogTimeStamp(const LocalDateTime& date) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%02d.%02d.%04d %02d:%02d:%02d:%03d", date.day, date.month,
                  date.year, date.hour, date.minute, date.second, date.millisecond);
    return buffer;
}

std::string LogHeader(const std::string& programFileName, const std::string& programVersion) {
    return "===== Создано программой - " + programFileName + " - версии - " + programVersion +
           " =====\r\n\r\n";
}

std::string FormatLogRecord(const std::string& text, int kind, const LocalDateTime& date,
                            const std::string& stationIdentity) {
    std::string record;
    if (kind == 11)
        record = "[" + LogTimeStamp(date) + "] " + stationIdentity + " - ";
    return record + text + "\r\n";
}

} // namespace cq
