#pragma once
// The import of a verified PKCS#12 file into the user's NSS database, where Linux browsers and
// mail programs look for their certificates.

#include <string>

namespace cq {

/// The user's NSS database folder: $HOME/.pki/nssdb.
std::string UserNssDatabase();

/// Imports the PKCS#12 file at `p12Path` with its password (UTF-8) into UserNssDatabase() by
/// the pk12util tool. A missing database is created first (folders 0700, empty database
/// password) by certutil. The password reaches pk12util through a pipe, never its command line.
/// Raises EOSError when a tool is not on PATH or cannot be started or a folder cannot be
/// created, and Exception with the tool's output when a tool fails.
/// `database` names another database folder (a Firefox profile) instead.
void ImportIntoNssDatabase(const std::string& p12Path, const std::string& password,
                           const std::string& database = UserNssDatabase());

} // namespace cq
