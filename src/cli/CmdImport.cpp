// certquorix-cli import: a GOST key and certificate from a PKCS#12 file made elsewhere become a
// software container and the certificate folder of the address.

#include "app/ErrorReport.h"
#include "base/FileUtil.h"
#include "base/StringUtil.h"
#include "base/Translate.h"
#include "certs/GostPkcs12.h"
#include "cli/Commands.h"
#include "cli/ContainerPasswordPrompt.h"
#include "cli/Password.h"
#include "cli/Usage.h"
#include "provider/CryptoProvider.h"
#include "provider/GostKey.h"
#include "settings/CertFolders.h"
#include "settings/Settings.h"

#include <cstdlib>
#include <iostream>

namespace cq::cli {
namespace {

/// The file argument: the one argument that is no option or option value.
std::string FileArgument(const Arguments& args, bool& usable) {
    std::string file;
    usable = true;
    bool optionsEnded = false; // after "--" every argument is the file's
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool option = !optionsEnded && StartsWith(arg, "-");
        if (option && arg == "--") {
            optionsEnded = true;
        } else if (option && (arg == "--email" || arg == "--password-file")) {
            ++i;
        } else if (option && arg != "--yes") {
            std::cerr << TrFormat("Неизвестный параметр: %1", {arg}) << "\n";
            usable = false;
        } else if (!option) {
            usable = usable && file.empty();
            file = file.empty() ? arg : file;
        }
    }
    return file;
}

} // namespace

int CmdImport(const Arguments& args) {
    bool usable = false;
    const std::string file = FileArgument(args, usable);
    if (!usable || file.empty()) {
        std::cerr << CommandUsage("import");
        return kExitUsage;
    }
    std::string email;
    if (const std::optional<int> refused = RefusedAddress(args, "import", false, email))
        return *refused;
    const bool replace = HasFlag(args, "--yes");
    if (!replace && DirectoryExists(CertificateFolder(email))) {
        std::cerr << TrFormat("Папка сертификата для адреса %1 уже существует; для замены "
                              "укажите --yes.",
                              {email})
                  << "\n";
        return kExitFailed;
    }
    const std::optional<SecretBytes> password = ReadCommandPassword(args);
    if (!password)
        return kExitUsage;
    InstallContainerPasswordPrompt();
    const char* engine = std::getenv(provider::kGostEngineVariable);
    if (!provider::LoadGostEngine(engine && *engine ? engine : provider::kGostEngineId)) {
        std::cerr << Tr("Не загружается GOST engine: ключи ГОСТ недоступны.") << "\n";
        return kExitFailed;
    }
    try {
        const std::string container = ImportGostPkcs12(email, file, password->str(), replace);
        std::cout << TrFormat("Контейнер ключей: %1", {container}) << "\n"
                  << CertificateFolder(email) << kCertificateFile << std::endl;
        return kExitOk;
    } catch (const EOSError& error) {
        if (provider::HasCode(error, provider::code::kCancelled))
            return kExitUsage;
        OnApplicationError(error);
    } catch (const std::exception& error) {
        OnApplicationError(error);
    }
    return kExitFailed;
}

} // namespace cq::cli
