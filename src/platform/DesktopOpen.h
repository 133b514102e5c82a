#pragma once
// Handing a file, folder or web address to the handler the desktop registered for it.

#include <string>

namespace cq {

/// Opens `path` with the desktop's handler and returns a shell-open code (base/ShellOpenCodes.h):
/// above 32 on success, otherwise what went wrong. On Linux this runs xdg-open; a handler that
/// has not returned after a few seconds is taken to have opened the path.
int DesktopOpen(const std::string& path);

} // namespace cq
