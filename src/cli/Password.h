#pragma once
// The key password of the check and export commands, taken in the same order as the request
// command takes it, so that scripts never put it on a command line.

#include "base/SecretBytes.h"
#include "base/Translate.h"
#include "cli/Commands.h"

#include <optional>
#include <string>

namespace cq::cli {

/// The password, exactly as given: the file named by --password-file ("-": standard input; one
/// final line end dropped, nothing else); else the variable CERTQUORIX_PASSWORD when it is set
/// (even empty); else typed on the terminal without echo. Raises Exception when none of them can
/// give one.
SecretBytes ReadPassword(const Arguments& args);

/// ReadPassword for a command: a password that cannot be had is reported on stderr and gives
/// nothing.
std::optional<SecretBytes> ReadCommandPassword(const Arguments& args);

/// The same with the --password-file value already taken from the arguments; `typed` tells
/// whether the password came from the terminal (so a new password can be asked to confirm).
/// `prompt` is what the terminal shows, in the user's language.
SecretBytes ReadPassword(const std::optional<std::string>& passwordFile, bool* typed = nullptr,
                         const std::string& prompt = Tr("Пароль ключа: "));

/// The password of a new PKCS#12 file that carries a private key, taken as ReadPassword takes
/// it and, when typed at the terminal, typed a second time to confirm. An empty password, or a
/// confirmation that differs, is refused on stderr and gives nothing.
std::optional<SecretBytes> ReadNewFilePassword(const Arguments& args);

/// Refuses an empty export password on stderr (false), as ReadNewFilePassword does.
bool ExportPasswordGiven(const SecretBytes& password);

} // namespace cq::cli
