#pragma once
// The software provider's own dialog: the password of a key container, asked through a hook
// that the front end installs (a window dialog, a console prompt, an environment variable).

#include "base/SecretBytes.h"

#include <functional>
#include <optional>
#include <string>

namespace cq::provider {

/// What the provider asks.
enum class PasswordPurpose {
    NewContainer, ///< an optional password for a container being made (empty: none)
    OpenContainer ///< the password of an existing, encrypted container
};

/// Answers the container's password (UTF-8), or nothing when the user cancelled.
using ContainerPasswordPrompt =
    std::function<std::optional<SecretBytes>(const std::string& container, PasswordPurpose)>;

/// Installs the hook; an empty function restores the default, which answers an empty password
/// for a new container and cancels the opening of an encrypted one.
void SetContainerPasswordPrompt(ContainerPasswordPrompt prompt);

/// Asks through the hook in force.
std::optional<SecretBytes> AskContainerPassword(const std::string& container,
                                                PasswordPurpose purpose);

} // namespace cq::provider
