#pragma once
// The key password of the check and export commands, taken in the same order as the request
// command takes it, so that scripts never put it on a command line.

#include "app/SecretBytes.h"
#include "cli/Commands.h"

namespace cq::cli {

/// The password, exactly as given: the variable CERTQUORIX_PASSWORD when it is set (even
/// empty); else the file named by --password-file (one final line end dropped, nothing else);
/// else typed on the terminal without echo. Raises Exception when none of them can give one.
SecretBytes ReadPassword(const Arguments& args);

} // namespace cq::cli
