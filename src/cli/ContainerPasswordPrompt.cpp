#include "cli/ContainerPasswordPrompt.h"

#include "base/PasswordVariables.h"
#include "base/SecretBytes.h"
#include "base/Translate.h"
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
    std::cerr << TrFormat("%1 не задан: укажите его в переменной %2 или запустите команду на "
                          "терминале.",
                          {what, variable})
              << "\n";
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
    if (!TerminalCanAsk(TrFormat("Пароль контейнера ключей %1", {container}),
                        kContainerPasswordVariable))
        return std::nullopt;
    std::optional<SecretBytes> password = Typed(TrFormat("Пароль контейнера %1: ", {container}));
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
    if (!TerminalCanAsk(TrFormat("Пароль нового контейнера ключей %1 (пустое значение: без пароля)",
                                 {container}),
                        kContainerPasswordVariable))
        return std::nullopt;
    std::optional<SecretBytes> password =
        Typed(TrFormat("Пароль нового контейнера %1 (Enter: без пароля): ", {container}));
    if (!password || password->empty())
        return password;
    const std::optional<SecretBytes> again = Typed(Tr("Подтверждение: "));
    if (!again || again->str() != password->str()) {
        std::cerr << Tr("Пароль и подтверждение не совпадают.") << "\n";
        return std::nullopt;
    }
    return password;
}

std::optional<SecretBytes> AskTokenPinOnConsole(const provider::TokenPinQuestion& question) {
    if (const char* value = std::getenv(kTokenPinVariable))
        return SecretBytes(value);
    if (!TerminalCanAsk(TrFormat("PIN-код токена %1", {question.token}), kTokenPinVariable))
        return std::nullopt;
    if (question.finalTry)
        std::cerr << Tr("Внимание: осталась последняя попытка ввода PIN-кода, после неё токен "
                        "будет заблокирован.")
                  << "\n";
    return Typed(TrFormat("PIN-код токена %1: ", {question.token}));
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
