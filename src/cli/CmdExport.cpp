#include "app/ErrorReport.h"
#include "base/Dialogs.h"
#include "base/FileUtil.h"
#include "base/StringUtil.h"
#include "certs/CertificateCheck.h"
#include "certs/GostCheck.h"
#include "certs/GostPkcs12.h"
#include "certs/NssImport.h"
#include "certs/Pkcs12Export.h"
#include "certs/ShellOpen.h"
#include "cli/Commands.h"
#include "cli/ContainerPasswordPrompt.h"
#include "cli/Password.h"
#include "settings/CertFolders.h"
#include "settings/Settings.h"

#include <iostream>

namespace cq::cli {
namespace {

bool IsGostFolder(const std::string& email) {
    try {
        return IsGostRequest(CertificateFolder(email));
    } catch (const std::exception&) {
        return false;
    }
}

/// A GOST folder: the key of its software container and the certificate, under GOST
/// protection; the check runs first, as for RSA.
int ExportGost(const Arguments& args, const std::string& email, const std::string& password,
               std::string& written) {
    if (HasFlag(args, "--legacy") || HasFlag(args, "--nss") || HasFlag(args, "--nss-db")) {
        std::cerr << "Для сертификата ГОСТ параметры --legacy, --nss и --nss-db не применяются.\n";
        return kExitUsage;
    }
    bool cipherGiven = false;
    const std::string cipherName = OptionValue(args, "--cipher", &cipherGiven);
    const std::optional<GostPkcs12Cipher> cipher =
        cipherGiven ? GostPkcs12CipherNamed(cipherName) : std::nullopt;
    if (cipherGiven && !cipher) {
        std::cerr << "Неизвестный шифр \"" << cipherName
                  << "\": допустимы gost89 (ГОСТ 28147-89) и kuznyechik (ГОСТ Р 34.12-2015).\n";
        return kExitUsage;
    }
    InstallContainerPasswordPrompt();
    const CheckResult check = CheckGostCertificate(kCertificateFile, email);
    if (!check.Valid) {
        if (check.Expired)
            std::cerr << ReplaceText(check.Text, "\r\n", "\n") << "\n";
        return kExitFailed;
    }
    try {
        written = ExportGostPkcs12(email, password, provider::InstalledProviders(), cipher);
    } catch (const std::exception& error) {
        OnApplicationError(error);
        return kExitFailed;
    }
    return kExitOk;
}

/// With -o/--output, a copy of the written file at the path given (for the user alone). False
/// when it cannot be written, which is reported.
bool CopyAsked(const Arguments& args, const std::string& written) {
    bool given = false;
    std::string target = OptionValue(args, "--output", &given);
    if (!given)
        target = OptionValue(args, "-o", &given);
    if (!given)
        return true;
    try {
        WriteFileAtomically(target, ReadFileBytes(written), FileAccess::Private);
        std::cout << target << std::endl;
        return true;
    } catch (const std::exception& error) {
        ShowErrorBox(error.what(), "Запись копии PKCS#12");
        return false;
    }
}

} // namespace

int CmdExport(const Arguments& args) {
    std::string email;
    if (const std::optional<int> refused = RefusedAddress(args, "export", false, email))
        return *refused;
    // The password protects a file with a private key: an empty one is refused, and a new
    // file's password typed at the terminal is typed twice.
    const bool gost = IsGostFolder(email);
    const std::optional<SecretBytes> password =
        gost ? ReadNewFilePassword(args) : ReadCommandPassword(args);
    if (!password || !ExportPasswordGiven(*password))
        return kExitUsage;
    if (gost) {
        std::string written;
        const int status = ExportGost(args, email, password->str(), written);
        if (status != kExitOk)
            return status;
        std::cout << written << std::endl;
        if (!CopyAsked(args, written))
            return kExitFailed;
        if (!HasFlag(args, "--no-open")) {
            try {
                HandOverPkcs12(written);
            } catch (const std::exception& error) {
                OnApplicationError(error);
            }
        }
        return kExitOk;
    }
    bool cipherGiven = false;
    OptionValue(args, "--cipher", &cipherGiven);
    if (cipherGiven) {
        std::cerr << "Параметр --cipher применяется только к сертификату ГОСТ.\n";
        return kExitUsage;
    }
    // As on the reception tab, only a certificate that passed the check and has not expired is
    // exported; the check reports its own failures.
    const CheckResult check =
        CheckCertificate(kCertificateFile, kCertificateKeyFile, email, password->str());
    if (!check.Valid) {
        if (check.Expired)
            std::cerr << ReplaceText(check.Text, "\r\n", "\n") << "\n";
        return kExitFailed;
    }
    std::string written;
    try {
        // The option asks for the old protection for this export, the settings for every export.
        written = ExportPkcs12(email, password->str(),
                               HasFlag(args, "--legacy") ? Pkcs12Profile::Legacy
                                                         : ConfiguredPkcs12Profile());
    } catch (const std::exception& error) {
        OnApplicationError(error);
        return kExitFailed;
    }
    std::cout << written << std::endl;
    if (!CopyAsked(args, written))
        return kExitFailed;
    bool databaseGiven = false;
    const std::string database = OptionValue(args, "--nss-db", &databaseGiven);
    if (HasFlag(args, "--nss") || databaseGiven) {
        // Browsers on Linux read an NSS database, not the file: the import takes the place of
        // handing it to the desktop.
        const std::string target = databaseGiven ? database : UserNssDatabase();
        try {
            ImportIntoNssDatabase(written, password->str(), target);
        } catch (const std::exception& error) {
            OnApplicationError(error);
            return kExitFailed;
        }
        std::cout << "Сертификат добавлен в хранилище NSS " << target << std::endl;
        return kExitOk;
    }
    if (HasFlag(args, "--no-open"))
        return kExitOk;
    try {
        HandOverPkcs12(written);
    } catch (const std::exception& error) {
        // The file is written and verified; only the hand-over to the desktop failed.
        OnApplicationError(error);
    }
    return kExitOk;
}

} // namespace cq::cli
