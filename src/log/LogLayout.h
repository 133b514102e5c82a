#pragma once
// Where log records go: the folder layouts by date and the record format.

#include "base/Clock.h"
#include "log/LogKind.h"

#include <string>

namespace cq {

struct LogLayout {
    std::string folder;     ///< the log folder, with a trailing delimiter
    int pathBy = 0;         ///< 0..4: how files are split by date
    std::string nameSuffix; ///< ".srt", or ".srt_" + station with the station split
    std::string singleLogFileName;
};

/// The settings that decide the layout, as read from section Common.
struct LogSettings {
    std::string logPath;
    int logByComp = 0;
    int logPathBy = 0;
    int errorSizeKB = 65536;
};

/// The folder of a record written at `date` (layouts 1 to 3 add date folders) with a trailing
/// delimiter, and the full file name.
std::string LogFolderFor(const LogLayout& layout, const LocalDateTime& date);
std::string LogFileNameFor(const LogLayout& layout, const LocalDateTime& date);

/// "dd.mm.yyyy hh:nn:ss:zzz".
std::string LogTimeStamp(const LocalDateTime& date);

/// The first line of every new log file, with the empty line after it.
std::string LogHeader(const std::string& programFileName, const std::string& programVersion);

/// Appends the record as it stands in the file, in Windows-1251, to `out`; raw text is copied
/// unchanged.
void AppendLogRecordBytes(std::string& out, const std::string& text, LogKind kind, LogText encoding,
                          const LocalDateTime& date, const std::string& stationIdentityCp1251);

/// The record as it stands in the file (UTF-8; converted when written).
std::string FormatLogRecord(const std::string& text, LogKind kind, const LocalDateTime& date,
                            const std::string& stationIdentity);

} // namespace cq
