#include "certs/Pkcs12Export.h"

#include "base/Errors.h"
#include "base/FileUtil.h"
#include "base/PasswordVariables.h"
#include "base/ProgramInfo.h"
#include "base/SecretBytes.h"
#include "base/StringUtil.h"
#include "base/TextCodec.h"
#include "base/Translate.h"
#include "certs/CertificateCheck.h"
#include "certs/CertificateFolderLock.h"
#include "certs/DerReader.h"
#include "certs/KeyFile.h"
#include "certs/RequestFolder.h"
#include "certs/SslOwners.h"
#include "platform/Process.h"
#include "settings/CertFolders.h"
#include "settings/Settings.h"
#include "settings/SettingsValues.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <openssl/err.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

namespace cq {
namespace {

/// Single-DES keys need the tool's legacy provider; other keys are read without it.
bool KeyNeedsLegacyProvider(const SecretBytes& keyText) {
    return DecodePemBlock(keyText.view(), {}).cipher == "DES-CBC";
}

/// The key file's block as the tool reads it on its standard input: written afresh, so that a
/// key file with an empty line in its Base64 (which earlier versions wrote whenever the text
/// filled its last line, and which the tool refuses) exports as it checks. It stays encrypted as
/// it is in the file, and no copy of it is put on disk.
SecretBytes KeyForTool(const std::string& folder) {
    return RewritePemBlock(SecretBytes(ReadFileBytes(folder + kCertificateKeyFile)).view());
}

std::vector<std::string> ConversionArguments(const std::string& tool, const std::string& folder,
                                             const std::string& output, Pkcs12Profile profile,
                                             const SecretBytes& keyText) {
    std::vector<std::string> arguments = {tool,
                                          "pkcs12",
                                          "-export",
                                          "-in",
                                          folder + kCertificateFile,
                                          "-inkey",
                                          "/dev/stdin",
                                          "-out",
                                          output,
                                          "-passin",
                                          std::string("env:") + kKeyPasswordVariable,
                                          "-passout",
                                          std::string("env:") + kExportPasswordVariable};
    if (KeyNeedsLegacyProvider(keyText))
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
    struct statvfs disk {};
    const bool diskFull = ::statvfs(output.c_str(), &disk) == 0 && disk.f_bavail == 0;
    std::string message =
        diskFull ? TrFormat("Файл %1 не удалось записать полностью: на диске нет свободного "
                            "места. Прежний файл оставлен без изменений.",
                            {P12Name()})
                 : TrFormat("Файл %1 не удалось записать полностью. Прежний файл оставлен без "
                            "изменений.",
                            {P12Name()});
    if (!Trim(toolOutput).empty())
        message += "\r\nopenssl: " + Trim(toolOutput);
    throw Exception(message);
}

void RunConversion(const std::string& tool, const std::string& folder, const std::string& output,
                   const std::string& password, Pkcs12Profile profile) {
    // The key file is encrypted over the password's Windows-1251 bytes; the export password is
    // the text itself, which PKCS#12 stores as Unicode (the tool takes it as UTF-8), so that the
    // file opens with the password as the user types it.
    ProcessOptions options;
    options.environment.push_back({kKeyPasswordVariable, SecretBytes(ToCp1251(password))});
    options.environment.push_back({kExportPasswordVariable, SecretBytes(password)});
    options.standardInput = KeyForTool(folder);
    const std::vector<std::string> arguments =
        ConversionArguments(tool, folder, output, profile, options.standardInput);
    const ProcessOutcome outcome = RunAndWait(tool, arguments, std::move(options));
    if (outcome.exitStatus != 0)
        throw Exception(TrFormat("Не удалось создать файл %1: openssl завершился с кодом %2.",
                                 {P12Name(), std::to_string(outcome.exitStatus)}) +
                        "\r\n" + Trim(outcome.output));
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
        throw EOSError(TrFormat("Программа openssl не найдена: её нет ни рядом с программой "
                                "(%1), ни в папках переменной PATH. Установите openssl (пакет "
                                "openssl) или положите её рядом с программой.",
                                {beside}),
                       ENOENT);
    return found;
}

void VerifyPkcs12(const std::string& path, const std::string& password,
                  const std::string& displayName) {
    const std::string failed = TrFormat("Файл \"%1\" не прошёл проверку", {displayName});
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
        throw Exception(
            TrFormat("Файл \"%1\" не прошёл проверку: нет ключа или сертификата.", {displayName}));
    if (X509_check_private_key(certificate, key) != 1)
        ssl::RaiseError(
            TrFormat("Файл \"%1\" не прошёл проверку: ключ не соответствует сертификату",
                     {displayName}),
            FailureClass::Mismatch);
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
        throw Exception(Tr(kUncheckedExportText) + error.what());
    }
    if (!check.Valid)
        throw Exception(Tr(kUncheckedExportText) + Tr("срок действия сертификата истёк."));
}

} // namespace

void RefuseEmptyExportPassword(const std::string& password) {
    if (password.empty())
        throw Exception(Tr(kEmptyExportPasswordText));
}

std::string ExportPkcs12(const std::string& email, const std::string& password,
                         Pkcs12Profile profile) {
    RefuseEmptyExportPassword(password);
    const CertificateFolderLock held(email, CertificateFolderLock::Missing::Leave);
    const std::string& folder = held.folder();
    CheckReplaceableFile(folder + kCertificateP12File);
    RequirePassedCheck(folder, password);
    const std::string tool = FindOpensslTool();
    const std::string target = folder + kCertificateP12File;
    // The tool writes into an empty temporary file of mode 0600 beside the target, which replaces
    // Certificate.p12 only once the result has been verified.
    PreparedFile output(target, "", FileAccess::Private, AtLink::Refuse);
    RunConversion(tool, folder, output.temporaryPath(), password, profile);
    VerifyPkcs12(output.temporaryPath(), password, kCertificateP12File);
    output.Commit();
    return target;
}

namespace {

/// The folder made absolute and free of links, with its trailing delimiter; "" when it cannot be
/// resolved.
std::string CanonicalFolder(const std::string& folder) {
    const std::unique_ptr<char, decltype(&std::free)> resolved(
        ::realpath(folder.empty() ? "." : folder.c_str(), nullptr), &std::free);
    return resolved ? IncludeTrailingPathDelimiter(resolved.get()) : std::string();
}

/// The path with its folder part made absolute and free of links (a bare name counts from the
/// working folder): two paths that name one place in a folder compare equal. The path as given
/// when its folder cannot be resolved.
std::string CanonicalFileName(const std::string& path) {
    const std::string folder = CanonicalFolder(ExtractFilePath(path));
    return folder.empty() ? path : folder + ExtractFileName(path);
}

/// The settings files in use: the program folder's, the file it redirects to, and where their
/// links lead (the settings writer follows them).
std::vector<std::string> SettingsFileNames() {
    std::vector<std::string> names = {ProgramFolder() + kSettingsFileName};
    const std::string dataFolder = Settings().DataFolder; // FindSettingsFile sets it again
    try {
        names.push_back(FindSettingsFile(false));
    } catch (const std::exception&) {
        // An unusable redirection: the base file is still protected.
    }
    Settings().DataFolder = dataFolder;
    const size_t given = names.size();
    for (size_t i = 0; i < given; ++i) {
        try {
            names.push_back(ResolveSymlinks(names[i]));
        } catch (const std::exception&) {
            // A loop of links leads to no file.
        }
    }
    return names;
}

} // namespace

std::optional<std::string> ProtectedCopyTarget(const std::string& target) {
    const std::string name = CanonicalFileName(target);
    for (const std::string& settings : SettingsFileNames())
        if (CanonicalFileName(settings) == name)
            return Tr("это файл параметров программы");
    // Every folder right under the data folder is (or may become) an address's certificate
    // folder.
    const std::string dataFolder = CanonicalFolder(Settings().DataFolder);
    const std::string folder = ExtractFilePath(name);
    if (!dataFolder.empty() && ExtractFilePath(ExcludeTrailingPathDelimiter(folder)) == dataFolder)
        return TrFormat("он в папке сертификата %1", {ExcludeTrailingPathDelimiter(folder)});
    return std::nullopt;
}

void CopyPkcs12(const std::string& email, const std::string& target) {
    const CertificateFolderLock held(email, CertificateFolderLock::Missing::Leave);
    if (const std::optional<std::string> problem = ProtectedCopyTarget(target))
        throw Exception(TrFormat("Файл %1 не может быть записан: %2.", {target, *problem}));
    PreparedFile copy(target, ReadFileBytes(held.folder() + kCertificateP12File),
                      FileAccess::Private, AtLink::Refuse);
    copy.Commit();
}

} // namespace cq
