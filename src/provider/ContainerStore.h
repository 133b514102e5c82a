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

/// Raises EOSError, saying in the user's language what stands in the way and where, when the folder
/// could not be made or used for keys (a file in place of one of its folders, no right to make it,
/// a folder that is a link, another user's or open to others). Makes nothing: checked before the
/// password of a new container is asked.
void CheckContainerFolder(const std::string& folder);

/// Creates the folder and its missing parents (mode 0700) and checks it as above. Raises
/// EOSError.
void EnsureContainerFolder(const std::string& folder);

/// Stores a new container file (mode 0600) under the folder's lock: the bytes go to a file
/// without a name in the folder (a named temporary file where the file system has none),
/// flushed, then linked to `path`; an existing file raises kExists and stays untouched. A run
/// killed meanwhile leaves no named file with the key; temporary files of such runs are removed
/// by the next store. Raises EOSError on file errors.
void StoreNewContainer(const std::string& path, std::string_view bytes);

/// Stores a new container as StoreNewContainer does, under `name` in `folder` or, when another
/// run took that name meanwhile (names come from the clock, and runs at the same moment get the
/// same one), under the first free of name + "_2", "_3", ...; returns the name it got. Raises
/// EOSError.
std::string StoreNewContainerUnderFreeName(const std::string& folder, const std::string& name,
                                           std::string_view bytes);

} // namespace cq::provider
