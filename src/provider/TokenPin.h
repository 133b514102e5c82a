#pragma once
// The PIN of a token, asked through a hook that the front end installs (the window's dialog
// titled for the token, a console prompt, the variable CERTQUORIX_TOKEN_PIN).

#include "base/SecretBytes.h"

#include <functional>
#include <optional>
#include <string>

namespace cq::provider {

/// What the dialog shows.
struct TokenPinQuestion {
    std::string token;     ///< the provider entry's name (label and model)
    std::string container; ///< the key container the PIN is for
    bool countLow = false; ///< the token reports wrong PINs since the last right one
    bool finalTry = false; ///< one wrong PIN more locks it
};

/// Answers the PIN (UTF-8), or nothing when the user cancelled.
using TokenPinPrompt = std::function<std::optional<SecretBytes>(const TokenPinQuestion&)>;

/// Installs the hook; an empty function restores the default, which cancels.
void SetTokenPinPrompt(TokenPinPrompt prompt);

/// Asks through the hook in force.
std::optional<SecretBytes> AskTokenPin(const TokenPinQuestion& question);

} // namespace cq::provider
