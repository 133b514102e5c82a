#pragma once
// The software provider's password dialog as a window: asked for a new container (an optional
// password, typed twice) or for an existing encrypted one. Cancel answers nothing, which ends the
// GOST procedure silently. Asked from a busy task's worker, the dialog opens on the interface
// thread.

#include "provider/ContainerPassword.h"

#include <QString>

#include <optional>

namespace cq::ui {

/// Makes the dialog the provider's password prompt; UninstallContainerPasswordDialog restores
/// the provider's default.
void InstallContainerPasswordDialog();
void UninstallContainerPasswordDialog();

/// Shows the dialog and returns the password, or nothing when the user cancelled.
std::optional<SecretBytes> AskContainerPasswordDialog(const std::string& container,
                                                      provider::PasswordPurpose purpose);

/// Tests: the next dialog is answered without being shown (nothing: Cancel). Each call queues
/// one answer; dialogsAnswered counts the dialogs answered so.
void setNextContainerPassword(std::optional<QString> answer);
int dialogsAnswered();

} // namespace cq::ui
