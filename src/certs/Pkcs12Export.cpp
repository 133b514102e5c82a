#include "certs/Pkcs12Export.h"

#include "base/Errors.h"
#include "base/FileUtil.h"
#include "base/PasswordVariables.h"
#include "base/ProgramInfo.h"
#include "base/SecretBytes.h"
#include "base/StringUtil.h"
#include "base/TextCodec.h"
#include "certs/CertificateCheck.h"
#include "certs/CertificateFolderLock.h"
#include "certs/DerReader.h"
#include "certs/KeyFile.h"
#include "certs/SslOwners.h"
#include "platform/Process.h"
#include "settings/CertFolders.h"
#include "settings/SettingsValues.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <openssl/err.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

namespace cq {
namespace {

/// Single-DES keys need the tool's legacy provider; other keys are read without it.
bool KeyNeedsLegacyProvider(const std::string& keyPath) {
    try {
        return DecodePemBlock(ReadFileBytes(keyPath), {}).cipher == "DES-CBC";
    } catch (const std::exception&) {
        return false; // the tool reports the unreadable file itself
    }
}

std::vector<std::string> ConversionArguments(const std::string& tool, const std::string& folder,
                                             const std::string& output, Pkcs12Profile profile) {
    std::vector<std::string> arguments = {tool,
                                          "pkcs12",
                                          "-export",
                                          "-in",
                                          folder + kCertificateFile,
                                          "-inkey",
                                          folder + kCertificateKeyFile,
                                          "-out",
                                          output,
                                          "-passin",
                                          std::string("env:") + kKeyPasswordVariable,
                                          "-passout",
                                          std::string("env:") + kExportPasswordVariable};
    if (KeyNeedsLegacyProvider(folder + kCertificateKeyFile))
        arguments.insert(arguments.end(), {"-provider", "legacy", "-provider", "default"});
    // Triple DES and the SHA-1 key derivation live in the default provider, so the old profile
    // needs no legacy provider of its own.
    if (profile == Pkcs12Profile::Legacy)
        arguments.insert(arguments.end(), {"-keypbe", "PBE-SHA1-3DES", "-certpbe", "PBE-SHA1-3DES",
                                           "-macalg", "sha1"});
    return arguments;
}

std::string P12Name() {
    return std::string("\"") + kCertificateP12File + "\"";
}

/// The tool ends with status 0 even when it could not write its output (a full disk): an empty
/// file, or a PKCS#12 SEQUENCE shorter than its own header says, was not written completely.
/// Anything else is left to the verification.
void RaiseIfIncomplete(const std::string& output, const std::string& toolOutput) {
    const std::string bytes = ReadFileBytes(output);
    const bool startsLikePkcs12 =
        !bytes.empty() && static_cast<uint8_t>(bytes.front()) == der::tag::kSequence;
    if (!bytes.empty() && (!startsLikePkcs12 || der::Reader(bytes).next(der::tag::kSequence)))
        return;
    std::string message = "Файл " + P12Name() + " не удалось записать полностью";
    struct statvfs disk {};
    if (::statvfs(output.c_str(), &disk) == 0 && disk.f_bavail == 0)
        message += ": на диске нет свободного места";
    message += ". Прежний файл оставлен без изменений.";
    if (!Trim(toolOutput).empty())
        message += "\r\nopenssl: " + Trim(toolOutput);
    throw Exception(message);
}

void RunConversion(const std::string& tool, const std::string& folder, const std::string& output,
                   const std::string& password, Pkcs12Profile profile) {
    // The key file is encrypted over the password's Windows-1251 bytes; the export password is
    // the text itself, which PKCS#12 stores as Unicode (the tool takes it as UTF-8), so that the
    // file opens with the password as the user types it.
    std::vector<EnvironmentVariable> passwords;
    passwords.push_back({kKeyPasswordVariable, SecretBytes(ToCp1251(password))});
    passwords.push_back({kExportPasswordVariable, SecretBytes(password)});
    const ProcessOutcome outcome =
        RunAndWait(tool, ConversionArguments(tool, folder, output, profile), std::move(passwords));
    if (outcome.exitStatus != 0)
        throw Exception("Не удалось создать файл " + P12Name() + ": openssl завершился с кодом " +
                        std::to_string(outcome.exitStatus) + ".\r\n" + Trim(outcome.output));
    RaiseIfIncomplete(output, outcome.output);
}

} // namespace

Pkcs12Profile ConfiguredPkcs12Profile() {
    return Settings().LegacyPkcs12 ? Pkcs12Profile::Legacy : Pkcs12Profile::Modern;
}

std::string FindOpensslTool() {
    const std::string beside = ProgramFolder() + "openssl";
    if (IsExecutableFile(beside))
        return beside;
    const std::string found = FindInPath("openssl");
    if (found.empty())
        throw EOSError("Программа openssl не найдена: её нет ни рядом с программой (" + beside +
                           "), ни в папках переменной PATH. Установите openssl (пакет openssl) "
                           "или положите её рядом с программой.",
                       ENOENT);
    return found;
}

void VerifyPkcs12(const std::string& path, const std::string& password,
                  const std::string& displayName) {
    const std::string failed = "Файл \"" + displayName + "\" не прошёл проверку";
    const SecretBytes bytes(ReadFileBytes(path));
    const auto* der = reinterpret_cast<const unsigned char*>(bytes.data());
    const ssl::Pkcs12 container(d2i_PKCS12(nullptr, &der, static_cast<long>(bytes.size())));
    if (!container)
        ssl::RaiseError(failed);
    EVP_PKEY* key = nullptr;
    X509* certificate = nullptr;
    STACK_OF(X509)* chain = nullptr;
    const int parsed = PKCS12_parse(container.get(), password.c_str(), &key, &certificate, &chain);
    const ssl::PrivateKey keyOwner(key);
    const ssl::Certificate certificateOwner(certificate);
    const ssl::CertificateStack chainOwner(chain);
    if (parsed != 1)
        ssl::RaiseError(failed);
    if (!key || !certificate)
        throw Exception(failed + ": нет ключа или сертификата.");
    if (X509_check_private_key(certificate, key) != 1)
        ssl::RaiseError(failed + ": ключ не соответствует сертификату", FailureClass::Mismatch);
    ERR_clear_error();
}

namespace {

// Only a certificate that passes the check with this password and has not expired is exported,
// whoever asks: the window's link and the command both rely on this.
void RequirePassedCheck(const std::string& folder, const std::string& password) {
    CheckResult check;
    try {
        check = CheckFolderCertificate(folder, kCertificateFile, kCertificateKeyFile, password);
    } catch (const std::exception& error) {
        throw Exception(std::string(kUncheckedExportText) + error.what());
    }
    if (!check.Valid)
        throw Exception(std::string(kUncheckedExportText) + "срок действия сертификата истёк.");
}

} // namespace

std::string ExportPkcs12(const std::string& email, const std::string& password,
                         Pkcs12Profile profile) {
    const CertificateFolderLock held(email, CertificateFolderLock::Missing::Leave);
    const std::string& folder = held.folder();
    RequirePassedCheck(folder, password);
    const std::string tool = FindOpensslTool();
    const std::string target = folder + kCertificateP12File;
    // The tool writes into an empty temporary file of mode 0600 beside the target, which replaces
    // Certificate.p12 only once the result has been verified.
    PreparedFile output(target, "", FileAccess::Private);
    RunConversion(tool, folder, output.temporaryPath(), password, profile);
    VerifyPkcs12(output.temporaryPath(), password, kCertificateP12File);
    output.Commit();
    return target;
}

} // namespace cq
