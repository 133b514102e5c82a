#include "cli/ContainerPasswordPrompt.h"

#include "base/PasswordVariables.h"
#include "base/SecretBytes.h"
#include "cli/PasswordInput.h"
#include "provider/ContainerPassword.h"
#include "provider/TokenPin.h"

#include <cstdlib>
#include <iostream>
#include <optional>

namespace cq::cli {
namespace {

std::optional<SecretBytes> Typed(const std::string& prompt) {
    std::optional<std::string> typed = PromptPassword(prompt);
    if (!typed)
        return std::nullopt;
    SecretBytes password(*typed);
    WipeString(*typed);
    return password;
}

/// The password typed for a container that this run opened. One command may open a container
/// more than once (an export checks the certificate against the key, then reads the key): the
/// user types its password once.
struct TypedForContainer {
    std::string container;
    SecretBytes password;
};
std::optional<TypedForContainer> typedBefore;

std::optional<SecretBytes> AskToOpen(const std::string& container) {
    if (typedBefore && typedBefore->container == container)
        return SecretBytes(typedBefore->password.str());
    std::optional<SecretBytes> password = Typed("Пароль контейнера " + container + ": ");
    if (password)
        typedBefore = TypedForContainer{container, SecretBytes(password->str())};
    return password;
}

std::optional<SecretBytes> AskOnConsole(const std::string& container,
                                        provider::PasswordPurpose purpose) {
    if (const char* value = std::getenv(kContainerPasswordVariable))
        return SecretBytes(value);
    if (purpose == provider::PasswordPurpose::OpenContainer)
        return AskToOpen(container);
    std::optional<SecretBytes> password =
        Typed("Пароль нового контейнера " + container + " (Enter: без пароля): ");
    if (!password || password->empty())
        return password;
    const std::optional<SecretBytes> again = Typed("Подтверждение: ");
    if (!again || again->str() != password->str()) {
        std::cerr << "Пароль и подтверждение не совпадают.\n";
        return std::nullopt;
    }
    return password;
}

std::optional<SecretBytes> AskTokenPinOnConsole(const provider::TokenPinQuestion& question) {
    if (const char* value = std::getenv(kTokenPinVariable))
        return SecretBytes(value);
    if (question.finalTry)
        std::cerr << "Внимание: осталась последняя попытка ввода PIN-кода, после неё токен будет "
                     "заблокирован.\n";
    return Typed("PIN-код токена " + question.token + ": ");
}

} // namespace

void InstallContainerPasswordPrompt() {
    provider::SetContainerPasswordPrompt(AskOnConsole);
    InstallTokenPinPrompt();
}

void InstallTokenPinPrompt() {
    provider::SetTokenPinPrompt(AskTokenPinOnConsole);
}

} // namespace cq::cli
