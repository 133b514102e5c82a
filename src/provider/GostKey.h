#pragma once
// A GOST R 34.10-2012 (256-bit) key pair held in memory, made and used through OpenSSL with the
// GOST engine, and the text of the container file that stores it.

#include "base/SecretBytes.h"
#include "base/Translate.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace cq::provider {

/// The engine's id; also accepted: the path of its shared object.
inline constexpr const char* kGostEngineId = "gost";
/// The engine's shared object in OpenSSL's engine folder, tried when loading by id fails.
std::string GostEnginePath();
/// Overrides the engine's id or path (an installation with the engine elsewhere).
inline constexpr const char* kGostEngineVariable = "CERTQUORIX_GOST_ENGINE";
/// The parameter set of new keys: the CryptoPro exchange set A.
inline constexpr const char* kGostParamSet = "XA";

/// Loads and initialises the engine at `location` (an id, else a shared object path; the
/// Debian path is tried after an id that does not load) and has it prove that it does GOST
/// R 34.10-2012 keys and GOST R 34.11-2012 hashing (the key type, its encoding and the digest,
/// which must hash). True when it is ready; otherwise `problem`, when given, says in the user's
/// language why not. The first engine that loads serves every key of the process.
bool LoadGostEngine(const std::string& location, std::string* problem = nullptr);

/// What to do when the GOST engine is missing: the package and the variable.
inline constexpr const char* kGostEngineRemedy =
    TrMark("Установите пакет libengine-gost-openssl или укажите движок (его имя или путь к файлу "
           ".so) в переменной окружения CERTQUORIX_GOST_ENGINE.");

class GostKey {
public:
    /// A new key pair with the parameter set above. Raises EOSError (kFail) when the engine
    /// is not loaded or fails.
    static GostKey Generate();
    /// The key of a container file. `askPassword` is called only for an encrypted key and
    /// answers nothing when the user cancels (kCancelled). A wrong password raises kWrongPin;
    /// a file that is not a GOST key raises kBadData.
    static GostKey
    FromContainerText(std::string_view text,
                      const std::function<std::optional<SecretBytes>()>& askPassword);

    GostKey(GostKey&&) noexcept;
    GostKey& operator=(GostKey&&) noexcept;
    ~GostKey();

    /// The container file text: PKCS#8 PEM, encrypted with AES-256-CBC under a PBKDF2 key
    /// when the password (UTF-8) is not empty.
    SecretBytes containerText(std::string_view password) const;
    /// SubjectPublicKeyInfo DER.
    std::string publicKeyInfo() const;
    /// GOST R 34.10-2012 signature of the bytes with the GOST R 34.11-2012 (256-bit) hash, in
    /// the form X.509 structures carry.
    std::string sign(std::string_view bytes) const;
    /// True when `publicKeyInfoDer` holds this key's public key.
    bool matchesPublicKey(std::string_view publicKeyInfoDer) const;

private:
    struct Impl;
    explicit GostKey(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

} // namespace cq::provider
