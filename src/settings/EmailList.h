#pragma once
// The list of addresses for which requests were sent: key List of section Email in the settings
// file, the addresses joined by "|", kept sorted without regard to letter case.

#include "base/IniFile.h"

#include <string>

namespace cq {

/// Adds an address to the e-mail list of the settings file; reports its own errors.
void AddEmailToList(const std::string& email);

/// Removes an address (letter case ignored) from the e-mail list under the settings file's lock;
/// false when it was not listed. Raises when the settings file cannot be read or written.
bool RemoveEmailFromList(const std::string& email);

/// The e-mail list, one address per line, CR LF between lines; reports its own errors.
std::string ReadEmailList();

/// The e-mail list of a settings file already read, as ReadEmailList gives it.
std::string EmailListOf(const IniFile& settings);

} // namespace cq
