#include "cli/Password.h"

#include "base/Errors.h"
#include "cli/Failure.h"
#include "cli/PasswordInput.h"

#include <cstdlib>
#include <iostream>
#include <optional>

namespace cq::cli {

SecretBytes ReadPassword(const Arguments& args) {
    bool fromFile = false;
    const std::string file = OptionValue(args, "--password-file", &fromFile);
    return ReadPassword(fromFile ? std::optional<std::string>(file) : std::nullopt);
}

std::optional<SecretBytes> ReadCommandPassword(const Arguments& args) {
    try {
        return ReadPassword(args);
    } catch (const std::exception& error) {
        Fail(error);
        return std::nullopt;
    }
}

SecretBytes ReadPassword(const std::optional<std::string>& passwordFile, bool* typedOnTerminal) {
    if (typedOnTerminal)
        *typedOnTerminal = false;
    // An option given on this command line beats the environment the script runs in.
    if (passwordFile)
        return SecretBytes(ReadPasswordFile(*passwordFile));
    if (const char* value = std::getenv(kPasswordVariable))
        return SecretBytes(value);
    std::optional<std::string> typed = PromptPassword("Пароль ключа: ");
    if (typedOnTerminal)
        *typedOnTerminal = typed.has_value();
    if (!typed)
        throw Exception("Пароль ключа не задан: укажите его в переменной " +
                            std::string(kPasswordVariable) +
                            " или в файле (--password-file), либо запустите команду на терминале.",
                        FailureClass::BadInput);
    SecretBytes password(*typed);
    WipeString(*typed);
    return password;
}

} // namespace cq::cli
