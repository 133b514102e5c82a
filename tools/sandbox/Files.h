#pragma once
// File helpers of sandbox-ca: whole-file reads, atomic writes and checked file names.

#include <optional>
#include <string>
#include <sys/types.h>

namespace sandbox {

/// The folder with exactly one trailing "/".
std::string FolderPath(const std::string& folder);
/// The whole file, or nothing when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& path);
/// Writes a temporary file beside `path` with the mode, flushes it and renames it over `path`,
/// so readers never see half a file. Throws std::runtime_error on failure.
void WriteFileAtomically(const std::string& path, const std::string& bytes, mode_t mode = 0644);
void MakeFolder(const std::string& path);
bool FileExists(const std::string& path);
/// Seconds since the file was last written; nothing when it does not exist.
std::optional<double> FileAgeSeconds(const std::string& path);
/// True for a name that is safe as one file name in a state folder: letters, digits and
/// ". _ @ + -", not starting with a dot, at most 254 bytes.
bool IsSafeFileName(const std::string& name);
/// ASCII letters in lower case; other bytes unchanged.
std::string LowerAscii(std::string text);

} // namespace sandbox
