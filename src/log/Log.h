#pragma once
// The log service: callers queue records and return at once; one writer thread appends them to
// dated log files, opening and closing the file for each record.

#include <string>

namespace cq {

/// Starts the service once: reads the log keys of section Common of ProgramFolder() +
/// settingsName + ".ini", prepares the folder (falling back to a folder under the user's data
/// folder) and starts the writer. Raises Exception with the start-up error texts.
void InitLog(const std::string& appFolderName, const std::string& settingsName,
             const std::string& nameSuffix);

/// Queues one record; kind 11 gets the time stamp and identity prefix. Never fails.
void WriteLog(const std::string& text, int kind);

/// True once the writer exists.
bool LogRunning();

/// The file a record written now goes to; creates missing folders on the way.
std::string LogFileName();

/// Waits until every record queued so far has been handled (tests, benchmarks, shutdown).
void FlushLog();

} // namespace cq
