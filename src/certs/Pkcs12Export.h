#pragma once
// The conversion of a checked certificate and its key into "Certificate.p12" by the openssl
// tool, and the verification of the result before anyone opens it.

#include "base/Translate.h"

#include <optional>
#include <string>

namespace cq {

/// The openssl tool: "openssl" in the program folder when it is there, else the first one on
/// PATH. Raises EOSError (ENOENT) saying plainly that it was found in neither place.
std::string FindOpensslTool();

/// How the key and the certificates inside the file are protected.
enum class Pkcs12Profile {
    Modern, ///< the openssl tool's own default (AES-256 and PBKDF2, SHA-256 MAC)
    Legacy, ///< PBE-SHA1-3DES for key and certificates, SHA-1 MAC: for old Windows and appliances
};

/// The profile the settings ask for: Legacy when key LegacyPkcs12 of section Cert is set.
Pkcs12Profile ConfiguredPkcs12Profile();

/// The start of the error for an export of a certificate that does not pass the check; the
/// check's own message follows it.
inline constexpr const char* kUncheckedExportText =
    TrMark("Экспорт в Certificate.p12 не выполнен: сертификат не прошёл проверку: ");

inline constexpr const char* kEmptyExportPasswordText =
    TrMark("Пустой пароль не принимается: файл PKCS#12 содержит закрытый ключ, и без пароля его "
           "откроет любой.");

/// Raises Exception (kEmptyExportPasswordText) for an empty password: a PKCS#12 file that
/// carries a private key is never written without one.
void RefuseEmptyExportPassword(const std::string& password);

/// Converts Certificate.cer and Certificate.key of the certificate folder of `email` into
/// Certificate.p12 (mode 0600), with the key password (UTF-8, exactly as typed) as both the
/// key's password and the export password; an empty one is refused before anything is read (a
/// key file without protection passes its check with any password). The password reaches the tool
/// through its environment only. A link or anything else that is not a regular file in the place
/// of Certificate.p12 is refused first. The tool writes a temporary file in the folder; it replaces
/// Certificate.p12 only when the tool succeeded and the file opens with the password and holds
/// a key that matches its certificate. The certificate must first pass the check
/// (CheckFolderCertificate) with the password and must not have expired. `profile` picks the
/// protection. Returns the path of
/// Certificate.p12. The certificate folder is held meanwhile (CertificateFolderLock). Raises
/// EOSError when the tool cannot be found or started and Exception when the address breaks the
/// address rules, the folder is held by another operation, the certificate does not pass the
/// check (kUncheckedExportText and the reason), or the conversion (with the tool's
/// output), its writing (the tool may claim success on a full disk) or the verification fails; an
/// older Certificate.p12 is then left as it was.
std::string ExportPkcs12(const std::string& email, const std::string& password,
                         Pkcs12Profile profile = Pkcs12Profile::Modern);

/// Why a copy of an export may not be written to `target`, in Russian words that follow
/// "не может быть записан: "; nothing when it may. The files of every certificate folder (of
/// any address) and the settings file (also the file its link leads to) are the program's own:
/// a copy never replaces them.
std::optional<std::string> ProtectedCopyTarget(const std::string& target);

/// Writes a copy of Certificate.p12 of the certificate folder of `email` to `target` (mode 0600)
/// with the folder held (CertificateFolderLock), through a temporary file in the target's folder
/// renamed over it: an existing regular file is replaced (the caller asks first), a link or
/// anything else that is not a regular file is refused (EOSError), and so is a protected target
/// (Exception); the messages name the file.
void CopyPkcs12(const std::string& email, const std::string& target);

/// Opens a PKCS#12 file with the password and checks that it holds a certificate and a private
/// key that belong together. Raises Exception naming `displayName` when it does not.
void VerifyPkcs12(const std::string& path, const std::string& password,
                  const std::string& displayName);

} // namespace cq
