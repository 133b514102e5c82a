#include "cli/Password.h"

#include "app/Errors.h"
#include "cli/PasswordInput.h"

#include <cstdlib>
#include <optional>

namespace cq::cli {

SecretBytes ReadPassword(const Arguments& args) {
    if (const char* value = std::getenv(kPasswordVariable))
        return SecretBytes(value);
    bool fromFile = false;
    const std::string file = OptionValue(args, "--password-file", &fromFile);
    if (fromFile)
        return SecretBytes(ReadPasswordFile(file));
    std::optional<std::string> typed = PromptPassword("Пароль ключа: ");
    if (!typed)
        throw Exception("Пароль ключа не задан: укажите его в переменной " +
                        std::string(kPasswordVariable) +
                        " или в файле (--password-file), либо запустите команду на терминале.");
    SecretBytes password(*typed);
    WipeString(*typed);
    return password;
}

} // namespace cq::cli
