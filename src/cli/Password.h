#pragma once
// The key password of the commands that need one (request, check, export), from one of three
// places so that scripts never put it on a command line.

#include "app/SecretBytes.h"
#include "cli/Commands.h"

namespace cq::cli {

/// Name of the environment variable that carries the password.
inline constexpr const char* kPasswordVariable = "CERTQUORIX_PASSWORD";

/// The password, exactly as given: the variable CERTQUORIX_PASSWORD when it is set (even
/// empty); else the file named by --password-file (one final line end dropped, nothing else);
/// else typed on the terminal without echo. Raises Exception when none of them can give one.
SecretBytes ReadPassword(const Arguments& args);

} // namespace cq::cli
