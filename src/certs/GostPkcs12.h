#pragma once
// GOST key and certificate in and out as PKCS#12, protected the way OpenSSL with the GOST engine
// writes such files: PBES2 with PBKDF2 (HMAC GOST R 34.11-2012, 512 bits) and GOST 28147-89 for
// the key and the certificates, a GOST R 34.11-2012 (512-bit) MAC. Out: the key of a software
// container with the folder's certificate. In: a file from elsewhere becomes a new software
// container and a certificate folder, as a request of ours and its download would leave them.

#include "base/Clock.h"
#include "base/SubjectData.h"
#include "base/Translate.h"
#include "certs/GostPkcs12Writer.h"
#include "provider/GostKey.h"
#include "provider/ProviderRegistry.h"

#include <optional>
#include <string>
#include <string_view>

namespace cq {

/// Rounds of the password-based key derivation and of the MAC, as the openssl tool uses.
inline constexpr int kGostPkcs12Iterations = 2048;

/// What a GOST PKCS#12 file holds, read and checked.
struct GostPkcs12Content {
    provider::GostKey Key;
    std::string CertificatePem;
    std::string PublicKeyInfo; ///< the certificate's SubjectPublicKeyInfo (DER)
    SubjectFields Subject;     ///< the certificate subject's texts (UTF-8)
    /// The file had no MAC: nothing vouched for its content but that its bags decrypted with
    /// the password and the key matches the certificate.
    bool WithoutMac = false;
};

inline constexpr const char* kWithoutMacWarning = TrMark(
    "В файле PKCS#12 нет кода целостности (MAC): его содержимое ничем не заверено. Ключ принят, "
    "так как он расшифрован паролем и соответствует сертификату; убедитесь, что файл получен "
    "от его владельца.");

/// Reads a PKCS#12 file's bytes with its password (UTF-8). Raises Exception, saying which, for
/// bytes that are no PKCS#12, a wrong password, a file without a key or certificate, an RSA key
/// (which the RSA road handles), a key that is not GOST R 34.10-2012 (256 bits), and a key that
/// is not the certificate's. The GOST engine must be loaded.
GostPkcs12Content ReadGostPkcs12(std::string_view bytes, const std::string& password);

/// Writes Certificate.p12 of the certificate folder of `email` from Certificate.cer and the key
/// of the software container its Request.ini names (its password asked through the container
/// password hook), with `password` (UTF-8); the file is reopened and checked before it replaces
/// an older one. An empty password is refused (RefuseEmptyExportPassword), as is a key in another
/// provider (a token): it does not leave it. `cipher` protects key and certificate; nullopt
/// takes the settings' choice (ConfiguredGostPkcs12Cipher). Returns the path. Raises Exception /
/// EOSError.
std::string
ExportGostPkcs12(const std::string& email, const std::string& password,
                 const provider::ProviderRegistry& registry = provider::InstalledProviders(),
                 std::optional<GostPkcs12Cipher> cipher = std::nullopt);

/// Brings the key and certificate of the PKCS#12 file at `path` into a new software container
/// (named as a request's; its password asked through the container password hook) and the
/// certificate folder of `email`: the act and Request.ini as a request writes them, the
/// certificate as a download stores it, the address added to the list. An existing folder is
/// refused unless `replace`. A cancelled container password raises kCancelled before anything
/// is written. Returns the container's name.
std::string ImportGostPkcs12(const std::string& email, const std::string& path,
                             const std::string& password, bool replace,
                             const Clock& clock = SystemClock());

} // namespace cq
