#include "app/ErrorReport.h"
#include "base/Dialogs.h"
#include "base/Errors.h"
#include "base/FileUtil.h"
#include "base/StringUtil.h"
#include "base/Translate.h"
#include "certs/CertificateCheck.h"
#include "certs/GostCheck.h"
#include "certs/GostPkcs12.h"
#include "certs/NssImport.h"
#include "certs/Pkcs12Export.h"
#include "certs/ShellOpen.h"
#include "cli/Commands.h"
#include "cli/ContainerPasswordPrompt.h"
#include "cli/Failure.h"
#include "cli/Password.h"
#include "settings/CertFolders.h"
#include "settings/Settings.h"

#include <cerrno>
#include <iostream>
#include <optional>
#include <unistd.h>

namespace cq::cli {
namespace {

bool IsGostFolder(const std::string& email) {
    try {
        return HoldsGostRequest(email);
    } catch (const std::exception&) {
        return false;
    }
}

/// A GOST folder: the key of its software container and the certificate, under GOST
/// protection; the check runs first, as for RSA.
int ExportGost(const Arguments& args, const std::string& email, const std::string& password,
               std::string& written) {
    if (HasFlag(args, "--legacy") || HasFlag(args, "--nss") || HasFlag(args, "--nss-db")) {
        std::cerr << Tr("Для сертификата ГОСТ параметры --legacy, --nss и --nss-db не применяются.")
                  << "\n";
        return kExitUsage;
    }
    bool cipherGiven = false;
    const std::string cipherName = OptionValue(args, "--cipher", &cipherGiven);
    const std::optional<GostPkcs12Cipher> cipher =
        cipherGiven ? GostPkcs12CipherNamed(cipherName) : std::nullopt;
    if (cipherGiven && !cipher) {
        std::cerr << TrFormat("Неизвестный шифр \"%1\": допустимы gost89 (ГОСТ 28147-89) и "
                              "kuznyechik (ГОСТ Р 34.12-2015).",
                              {cipherName})
                  << "\n";
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

/// The bytes onto standard output itself (whatever --quiet did to the stream); false when they
/// do not all go out.
bool WriteToStandardOutput(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(STDOUT_FILENO, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        done += static_cast<size_t>(written);
    }
    return true;
}

/// "-o -": the file goes to standard output, so every line the command prints goes to standard
/// error instead. Refused on a terminal, which would show the binary file. The status to end
/// with when refused.
std::optional<int> ToStandardOutput(const Arguments& args) {
    if (OptionValue(args, "--output") != "-")
        return std::nullopt;
    if (::isatty(STDOUT_FILENO))
        return Fail(FailureClass::BadInput,
                    Tr("Файл PKCS#12 не выводится на терминал: перенаправьте стандартный вывод "
                       "(-o - > файл) или укажите путь после -o."));
    std::cout.rdbuf(std::cerr.rdbuf());
    return std::nullopt;
}

/// The path of -o/--output; nothing when neither is given.
std::optional<std::string> OutputOption(const Arguments& args) {
    bool given = false;
    std::string target = OptionValue(args, "--output", &given);
    if (!given)
        target = OptionValue(args, "-o", &given);
    return given ? std::optional<std::string>(target) : std::nullopt;
}

constexpr const char* kCopyCaption = TrMark("Запись копии PKCS#12");

/// Before the export: the copy may go to `target`, and an existing file there may be replaced
/// (--yes or a yes at the prompt). False when not, which is reported.
bool CopyTargetAccepted(const std::string& target) {
    if (target == "-")
        return true; // standard output, settled by ToStandardOutput
    try {
        RefuseOddFile(target);
        if (const std::optional<std::string> problem = ProtectedCopyTarget(target))
            throw Exception(TrFormat("Файл %1 не может быть записан: %2.", {target, *problem}));
        if (FileExists(target) &&
            !AskYesNo(TrFormat("Файл %1 уже существует. Заменить его копией %2?",
                               {target, kCertificateP12File}),
                      Tr(kCopyCaption), DefaultAnswer::No)) {
            ShowErrorBox(
                TrFormat("Файл %1 уже существует; копия не записана (для замены укажите --yes).",
                         {target}),
                Tr(kCopyCaption));
            return false;
        }
        return true;
    } catch (const std::exception& error) {
        ShowErrorBox(error.what(), Tr(kCopyCaption));
        return false;
    }
}

/// With -o/--output, a copy of the written file at the path given (for the user alone). False
/// when it cannot be written, which is reported.
bool CopyAsked(const std::optional<std::string>& target, const std::string& email) {
    if (!target)
        return true;
    try {
        if (*target == "-") {
            if (!WriteToStandardOutput(
                    ReadFileBytes(CertificateFolder(email) + kCertificateP12File)))
                throw MakeOSError(errno, Tr("стандартный вывод"));
            return true;
        }
        CopyPkcs12(email, *target);
        std::cout << *target << std::endl;
        return true;
    } catch (const std::exception& error) {
        ShowErrorBox(error.what(), Tr(kCopyCaption));
        return false;
    }
}

} // namespace

int CmdExport(const Arguments& args) {
    std::string email;
    if (const std::optional<int> refused = RefusedAddress(args, "export", false, email))
        return *refused;
    if (const std::optional<int> refused = ToStandardOutput(args))
        return *refused;
    // The password protects a file with a private key: an empty one is refused, and a new
    // file's password typed at the terminal is typed twice.
    const bool gost = IsGostFolder(email);
    const std::optional<SecretBytes> password =
        gost ? ReadNewFilePassword(args) : ReadCommandPassword(args);
    if (!password || !ExportPasswordGiven(*password))
        return kExitUsage;
    // The copy's place is settled before anything is exported.
    const std::optional<std::string> output = OutputOption(args);
    if (output && !CopyTargetAccepted(*output))
        return kExitFailed;
    if (gost) {
        std::string written;
        const int status = ExportGost(args, email, password->str(), written);
        if (status != kExitOk)
            return status;
        std::cout << written << std::endl;
        if (!CopyAsked(output, email))
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
        std::cerr << Tr("Параметр --cipher применяется только к сертификату ГОСТ.") << "\n";
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
    if (!CopyAsked(output, email))
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
        std::cout << TrFormat("Сертификат добавлен в хранилище NSS %1", {target}) << std::endl;
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
