#pragma once
// The cryptographic provider interface: what the GOST request needs from a provider that makes
// and keeps its keys itself (enumeration, a verification context and its algorithms, a key
// container with a new key set, the exchange key, its public key information, SHA-1 and the
// signature of a request). Failures are EOSError with the provider codes below.

#include "base/Errors.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace cq::provider {

/// Algorithm identifiers.
inline constexpr uint32_t kAlgGost3411_2012_256 = 0x8021; ///< GOST R 34.11-2012, 256 bits
inline constexpr uint32_t kAlgGost3411_2012_512 = 0x8022; ///< GOST R 34.11-2012, 512 bits
inline constexpr uint32_t kAlgSha1 = 0x8004;
/// Provider type of GOST R 34.10-2012 (256-bit) providers.
inline constexpr uint32_t kProvTypeGost2012_256 = 80;

/// The codes a provider fails with.
namespace code {
inline constexpr uint32_t kBadData = 0x80090005;            ///< damaged key data
inline constexpr uint32_t kBadAlgId = 0x80090008;           ///< algorithm not supported
inline constexpr uint32_t kNoKey = 0x8009000D;              ///< the container holds no such key
inline constexpr uint32_t kExists = 0x8009000F;             ///< the key set already exists
inline constexpr uint32_t kBadKeySet = 0x80090016;          ///< the key set does not exist
inline constexpr uint32_t kKeySetNotDefined = 0x80090019;   ///< no such provider
inline constexpr uint32_t kBadKeySetParam = 0x8009001F;     ///< unusable container name
inline constexpr uint32_t kFail = 0x80090020;               ///< internal failure
inline constexpr uint32_t kWrongPin = 0x8010006B;           ///< wrong container password
inline constexpr uint32_t kPinLocked = 0x8010006C;          ///< the token's PIN is locked
inline constexpr uint32_t kTokenRemoved = 0x80100069;       ///< the token left its reader
inline constexpr uint32_t kCancelled = 0x8010006E;          ///< the user cancelled a dialog
inline constexpr uint32_t kNotFound = 0x80092004;           ///< object or property not found
inline constexpr uint32_t kBadPrintableString = 0x80092022; ///< not allowed in a PrintableString
inline constexpr uint32_t kBadIa5String = 0x80092023;       ///< not allowed in an IA5String
} // namespace code

/// The system's text for a provider code ("" for a code this program never raises).
std::string ProviderErrorText(uint32_t errorCode);

/// EOSError for a provider code, in the system's form: "System Error.  Code: N.\r\n", the
/// detail and " : " when there is one, the system's text. N is the code as a signed number.
EOSError ProviderError(uint32_t errorCode, const std::string& detail = {});

/// True when `error` carries the provider code.
bool HasCode(const EOSError& error, uint32_t errorCode);

/// The SHA-1 digest of the bytes (the providers' SHA-1 hash and a token key's CKA_ID). Raises
/// ProviderError with kFail when the library cannot make it.
std::string Sha1(std::string_view bytes);

/// An acquired context: a verification context, or one on a key container.
class ProviderContext {
public:
    virtual ~ProviderContext() = default;
    /// The identifiers of the provider's algorithms in its own order.
    virtual std::vector<uint32_t> algorithms() = 0;
    /// True when the container holds an exchange key.
    virtual bool hasExchangeKey() = 0;
    /// Makes the container's exchange key pair (with the provider's default parameters, not
    /// exportable) and stores the container. kExists when it already has one.
    virtual void generateExchangeKey() = 0;
    /// The exchange key's SubjectPublicKeyInfo (DER), as the provider encodes it.
    virtual std::string exportPublicKeyInfo() = 0;
    /// SHA-1 of the bytes.
    virtual std::string sha1(std::string_view bytes) = 0;
    /// The signature of `toBeSigned` with the exchange key, hashed with `hashAlgId`: the bytes
    /// that go into the signature BIT STRING of an X.509 structure.
    virtual std::string sign(std::string_view toBeSigned, uint32_t hashAlgId) = 0;
    /// Releases the context; raises when the provider fails to.
    virtual void release() = 0;
    /// The name the container got when its key was stored, which differs from the name asked
    /// for when another run took that one meanwhile; "" when the provider keeps the name asked.
    virtual std::string containerName() const { return {}; }
};

/// One installed provider.
class CryptoProvider {
public:
    virtual ~CryptoProvider() = default;
    virtual std::string name() const = 0;
    virtual uint32_t type() const = 0;
    /// A context for queries only; raises when the provider refuses one.
    virtual std::unique_ptr<ProviderContext> acquireVerifyContext() = 0;
    /// A new, empty key container; the provider may ask the user (a password): a cancel raises
    /// kCancelled before anything is stored. kExists when the container exists.
    virtual std::unique_ptr<ProviderContext> acquireNewKeySet(const std::string& container) = 0;
    /// An existing container; kBadKeySet when there is none.
    virtual std::unique_ptr<ProviderContext> acquireKeySet(const std::string& container) = 0;
    /// True when the provider keeps certificates beside its keys (a token).
    virtual bool keepsCertificates() const { return false; }
    /// Puts the issued certificate (DER) beside the container's key, so that other programs
    /// find the pair; raises when the certificate is not the key's. Providers that keep no
    /// certificates do nothing.
    virtual void storeCertificate(const std::string& container, std::string_view certificateDer) {
        (void)container;
        (void)certificateDer;
    }
};

/// A context released on every path: the owner releases it once; a failed release in the
/// destructor is swallowed (an error is already travelling), release() raises it.
class ContextOwner {
public:
    explicit ContextOwner(std::unique_ptr<ProviderContext> context)
        : context_(std::move(context)) {}
    ~ContextOwner();
    ContextOwner(const ContextOwner&) = delete;
    ContextOwner& operator=(const ContextOwner&) = delete;
    ProviderContext* operator->() const { return context_.get(); }
    ProviderContext& operator*() const { return *context_; }
    /// Releases now; raises the provider's failure.
    void release();

private:
    std::unique_ptr<ProviderContext> context_;
};

} // namespace cq::provider
