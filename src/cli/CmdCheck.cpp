#include "base/StringUtil.h"
#include "certs/CertificateCheck.h"
#include "cli/Commands.h"
#include "cli/Password.h"
#include "cli/PasswordInput.h"
#include "settings/CertFolders.h"
#include "settings/Settings.h"

#include <iostream>

namespace cq::cli {

namespace {
constexpr int kExitExpired = 4;
}

int CmdCheck(const Arguments& args) {
    const std::string email = Trim(OptionValue(args, "--email"));
    if (email.empty()) {
        std::cerr << "Использование: certquorix-cli check --email АДРЕС [--password-file ФАЙЛ]\n"
                     "Пароль ключа: переменная "
                  << kPasswordVariable << ", файл или ввод с терминала.\n";
        return kExitUsage;
    }
    if (!AddressUsable(email))
        return kExitUsage;
    if (!LoadSettingsForCommand(false))
        return kExitFailed;
    const std::optional<SecretBytes> password = ReadCommandPassword(args);
    if (!password)
        return kExitUsage;
    const CheckResult result =
        CheckCertificate(kCertificateFile, kCertificateKeyFile, email, password->str());
    if (!result.Text.empty())
        std::cout << ReplaceText(result.Text, "\r\n", "\n") << std::endl;
    if (result.Valid)
        return kExitOk;
    return result.Expired ? kExitExpired : kExitFailed;
}

} // namespace cq::cli
