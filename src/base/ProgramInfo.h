#pragma once
// The running program's own file and version: fixed once at start and read by the log, the
// settings and the certificate operations.

#include <string>

namespace cq {

/// Folder of the running program, with a trailing delimiter.
const std::string& ProgramFolder();
/// File name of the running program, without folder.
const std::string& ProgramFileName();
/// ProgramFileName with its extension replaced by ".log".
const std::string& SingleLogFileName();
/// The version compiled into the program.
const std::string& ProgramVersion();

/// Recomputes the values for the program file at `programPath` (start-up does it for
/// /proc/self/exe; tests give a file in a folder of their own).
void InitProgramInfo(const std::string& programPath);

} // namespace cq
