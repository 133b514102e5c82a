#pragma once
// The password of a renewal's new RSA key, typed twice, as the request tab's RSA panel takes
// it: the key password rule is checked before the dialog is left. Cancel answers nothing, which
// ends the renewal silently.

#include <QString>

#include <optional>
#include <string>

namespace cq::ui {

/// Asks the new key password for the renewal of `email`; nothing when the user cancelled.
std::optional<std::string> AskNewKeyPassword(const std::string& email);

/// Tests: the next question is answered without a dialog (nothing: Cancel). Each call queues one
/// answer.
void setNextKeyPassword(std::optional<QString> answer);

} // namespace cq::ui
