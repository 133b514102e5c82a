#pragma once
// The software provider's password dialog as a window: asked for a new container (an optional
// password, typed twice) or for an existing encrypted one. Cancel answers nothing, which ends the
// GOST procedure silently. Asked from a busy task's worker, the dialog opens on the interface
// thread.

#include "provider/ContainerPassword.h"
#include "provider/TokenPin.h"

#include <QString>

#include <optional>

namespace cq::ui {

/// Makes the dialog the provider's password prompt, and the token PIN dialog the token
/// providers' PIN prompt; UninstallContainerPasswordDialog restores the defaults.
void InstallContainerPasswordDialog();
void UninstallContainerPasswordDialog();

/// Shows the dialog and returns the password, or nothing when the user cancelled.
std::optional<SecretBytes> AskContainerPasswordDialog(const std::string& container,
                                                      provider::PasswordPurpose purpose);

/// The PIN dialog of a token provider, titled for the token; nothing when the user cancelled.
std::optional<SecretBytes> AskTokenPinDialog(const provider::TokenPinQuestion& question);

/// Tests: the next dialog (a container password or a token PIN) is answered without being shown
/// (nothing: Cancel). Each call queues one answer; dialogsAnswered counts the dialogs answered
/// so.
void setNextContainerPassword(std::optional<QString> answer);
int dialogsAnswered();

} // namespace cq::ui
