#pragma once
// The log service: callers queue records and return at once; one writer thread appends them to
// dated log files, opening and closing the file for each record.

#include "base/Clock.h"
#include "log/LogKind.h"

#include <string>

namespace cq {

/// Starts the service once: reads the log keys of section Common of ProgramFolder() +
/// settingsName + ".ini", prepares the folder (falling back to a folder under the user's data
/// folder) and starts the writer. Raises Exception with the start-up error texts.
void InitLog(const std::string& appFolderName, const std::string& settingsName,
             const std::string& nameSuffix);

/// Queues one record; a stamped one gets the time stamp and identity prefix. Never fails.
void WriteLog(const std::string& text, LogKind kind, LogText encoding = LogText::Utf8);

/// True once the writer exists.
bool LogRunning();

/// The file a record written now goes to; creates missing folders on the way. Empty while the
/// service is off.
std::string LogFileName();

/// Waits until every record queued so far has been handled.
void FlushLog();

/// Writes what is queued, stops the writer and turns the service off (the end of the process,
/// and tests that start it again with other settings).
void ShutdownLog();

/// The clock that dates records and files; the real one unless a test sets another before
/// InitLog.
void SetLogClock(Clock clock);

/// Shortens a single log file that has grown past `limitKB` kilobytes to about its last four
/// fifths, starting at a line boundary.
void TrimLogFile(const std::string& fileName, int limitKB);

} // namespace cq
