#include "log/LogLayout.h"

#include "base/TextCodec.h"

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
    // Formatted by hand: the writer makes one for every record.
    std::string stamp = "dd.mm.yyyy hh:nn:ss:zzz";
    const auto put = [&stamp](size_t at, int value, int width) {
        for (int i = width - 1; i >= 0; --i, value /= 10)
            stamp[at + static_cast<size_t>(i)] = static_cast<char>('0' + value % 10);
    };
    put(0, date.day, 2);
    put(3, date.month, 2);
    put(6, date.year, 4);
    put(11, date.hour, 2);
    put(14, date.minute, 2);
    put(17, date.second, 2);
    put(20, date.millisecond, 3);
    return stamp;
}

std::string LogHeader(const std::string& programFileName, const std::string& programVersion) {
    return "===== Создано программой - " + programFileName + " - версии - " + programVersion +
           " =====\r\n\r\n";
}

void AppendLogRecordBytes(std::string& out, const std::string& text, LogKind kind, LogText encoding,
                          const LocalDateTime& date, const std::string& stationIdentityCp1251) {
    if (kind == LogKind::Stamped) {
        out += '[';
        out += LogTimeStamp(date);
        out += "] ";
        out += stationIdentityCp1251;
        out += " - ";
    }
    if (encoding == LogText::Raw)
        out += text;
    else
        AppendCp1251(out, text);
    out += "\r\n";
}

std::string FormatLogRecord(const std::string& text, LogKind kind, const LocalDateTime& date,
                            const std::string& stationIdentity) {
    std::string record;
    record.reserve(text.size() + stationIdentity.size() + 32);
    if (kind == LogKind::Stamped) {
        record += '[';
        record += LogTimeStamp(date);
        record += "] ";
        record += stationIdentity;
        record += " - ";
    }
    record += text;
    record += "\r\n";
    return record;
}

} // namespace cq
