#pragma once
// The software provider's password dialog on the console: the variable
// CERTQUORIX_CONTAINER_PASSWORD when it is set (even empty: no password), else a prompt on the
// terminal. Without a terminal, at end of input or when the confirmation differs, the dialog
// counts as cancelled.

namespace cq::cli {

/// Installs the console dialog as the container password hook, and the token PIN dialog.
void InstallContainerPasswordPrompt();

/// Installs the token PIN dialog: the variable CERTQUORIX_TOKEN_PIN when it is set, else a
/// prompt on the terminal naming the token; without a terminal it counts as cancelled.
void InstallTokenPinPrompt();

} // namespace cq::cli
