#include "cli/Password.h"

#include "base/Errors.h"
#include "base/Translate.h"
#include "certs/Pkcs12Export.h"
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

std::optional<SecretBytes> ReadNewFilePassword(const Arguments& args) {
    bool fromFile = false;
    const std::string file = OptionValue(args, "--password-file", &fromFile);
    bool typed = false;
    std::optional<SecretBytes> password;
    try {
        password = ReadPassword(fromFile ? std::optional<std::string>(file) : std::nullopt, &typed,
                                Tr("Пароль файла PKCS#12: "));
    } catch (const std::exception& error) {
        std::cerr << error.what() << "\n";
        return std::nullopt;
    }
    if (!ExportPasswordGiven(*password))
        return std::nullopt;
    if (typed) {
        std::optional<std::string> again = PromptPassword(Tr("Подтверждение: "));
        const bool same = again && *again == password->view();
        if (again)
            WipeString(*again);
        if (!same) {
            std::cerr << Tr("Пароль и подтверждение не совпадают.") << "\n";
            return std::nullopt;
        }
    }
    return password;
}

bool ExportPasswordGiven(const SecretBytes& password) {
    if (!password.empty())
        return true;
    std::cerr << Tr(kEmptyExportPasswordText) << "\n";
    return false;
}

SecretBytes ReadPassword(const std::optional<std::string>& passwordFile, bool* typedOnTerminal,
                         const std::string& prompt) {
    if (typedOnTerminal)
        *typedOnTerminal = false;
    // An option given on this command line beats the environment the script runs in.
    if (passwordFile)
        return SecretBytes(ReadPasswordFile(*passwordFile));
    if (const char* value = std::getenv(kPasswordVariable))
        return SecretBytes(value);
    std::optional<std::string> typed = PromptPassword(prompt);
    if (typedOnTerminal)
        *typedOnTerminal = typed.has_value();
    if (!typed)
        throw Exception(TrFormat("Пароль ключа не задан: укажите его в переменной %1 или в файле "
                                 "(--password-file), либо запустите команду на терминале.",
                                 {kPasswordVariable}),
                        FailureClass::BadInput);
    SecretBytes password(*typed);
    WipeString(*typed);
    return password;
}

} // namespace cq::cli
