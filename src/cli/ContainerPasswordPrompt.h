#pragma once
// The software provider's password dialog on the console: the variable
// CERTQUORIX_CONTAINER_PASSWORD when it is set (even empty: no password), else a prompt on the
// terminal. Without a terminal, at end of input or when the confirmation differs, the dialog
// counts as cancelled.

namespace cq::cli {

inline constexpr const char* kContainerPasswordVariable = "CERTQUORIX_CONTAINER_PASSWORD";

/// Installs the console dialog as the container password hook.
void InstallContainerPasswordPrompt();

} // namespace cq::cli
