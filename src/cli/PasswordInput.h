#pragma once
// Where the request command takes the key password from: never the command line.

#include "base/PasswordVariables.h"

#include <optional>
#include <string>

namespace cq::cli {

/// The password file's content without one final line end (LF or CR LF); "-" reads the first
/// line of standard input. Raises EOSError for a file that cannot be read and Exception when
/// nothing is left (no password given), both of class BadInput.
std::string ReadPasswordFile(const std::string& path);

/// Asks for a password on the terminal with echo off (standard input must be a terminal);
/// nothing when standard input is not a terminal or at end of input.
std::optional<std::string> PromptPassword(const std::string& prompt);

} // namespace cq::cli
