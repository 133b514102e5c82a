#pragma once
// Removal of a certificate folder as one step: under the folder's lock the folder is renamed
// aside inside the data folder, under a name no address can have, and only then deleted. A run
// killed midway leaves the address with no folder at all, and a set-aside folder that the next
// removal or listing deletes.

#include "certs/CertificateFolderLock.h"

#include <string>
#include <vector>

namespace cq {

/// True when `name` (without folder) is one a folder set aside for removal gets.
bool IsSetAsideFolderName(const std::string& name);

/// Renames the held folder aside in its data folder, then deletes it with all it holds (links
/// inside it are removed, never followed). A folder that does not exist is left alone. Raises
/// EOSError when the folder cannot be renamed (it then stays whole) or deleted (what is left
/// stays set aside for RemoveSetAsideFolders).
void RemoveCertificateFolder(const CertificateFolderLock& held);

/// Deletes the folders that killed removals left set aside in `dataFolder`; one whose removal
/// is still running (its lock is held) stays. Returns the paths of those that could not be
/// deleted, for the caller to name to the user. Never raises.
std::vector<std::string> RemoveSetAsideFolders(const std::string& dataFolder);

} // namespace cq
