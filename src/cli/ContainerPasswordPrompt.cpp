#include "cli/ContainerPasswordPrompt.h"

#include "base/PasswordVariables.h"
#include "base/SecretBytes.h"
#include "cli/PasswordInput.h"
#include "provider/ContainerPassword.h"
#include "provider/TokenPin.h"

#include <cstdlib>
#include <iostream>
#include <optional>
#include <unistd.h>

namespace cq::cli {
namespace {

/// False, with the ways to give the secret on stderr, when no terminal can ask for it: a script
/// learns why the command gave up instead of an empty end.
bool TerminalCanAsk(const std::string& what, const char* variable) {
    if (::isatty(STDIN_FILENO))
        return true;
    std::cerr << what << " не задан: укажите его в переменной " << variable
              << " или запустите команду на терминале.\n";
    return false;
}

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
    if (!TerminalCanAsk("Пароль контейнера ключей " + container, kContainerPasswordVariable))
        return std::nullopt;
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
    if (!TerminalCanAsk("Пароль нового контейнера ключей " + container +
                            " (пустое значение: без "
                            "пароля)",
                        kContainerPasswordVariable))
        return std::nullopt;
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
    if (!TerminalCanAsk("PIN-код токена " + question.token, kTokenPinVariable))
        return std::nullopt;
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
