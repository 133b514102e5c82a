#pragma once
// Key containers of the software provider: one file per container in the user's container
// folder. A container file is created whole or not at all and is never overwritten, deleted
// or reused.

#include <string>
#include <string_view>

namespace cq::provider {

/// ${XDG_DATA_HOME:-$HOME/.local/share}/CertQuorix/containers/
std::string DefaultContainerFolder();

/// Container names are file names: letters, digits, "_", "-" and ".", not starting with ".",
/// 1 to 200 characters.
bool IsUsableContainerName(std::string_view name);

/// folder + name + ".key"
std::string ContainerPath(const std::string& folder, const std::string& name);

/// Creates the folder and its missing parents (mode 0700). Raises EOSError.
void EnsureContainerFolder(const std::string& folder);

/// Stores a new container file (mode 0600): the bytes go to a temporary file in the folder,
/// flushed, then linked to `path`; an existing file raises kExists and stays untouched.
/// Raises EOSError on file errors; the temporary file never stays behind.
void StoreNewContainer(const std::string& path, std::string_view bytes);

} // namespace cq::provider
