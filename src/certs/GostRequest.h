#pragma once
// The GOST certification request: the provider list, the container name, and the PKCS#10
// request built on our DER writer around the public key information and the signature that a
// cryptographic provider gives for a key container it makes and keeps.

#include "base/Clock.h"
#include "base/SubjectData.h"
#include "base/Translate.h"
#include "provider/ProviderRegistry.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cq {

inline constexpr const char* kNoProviderText =
    TrMark("Не установлено требуемых для операции крипто провайдеров!");
inline constexpr const char* kUnknownAlgorithmText = TrMark("Неизвестный алгоритм");
inline constexpr const char* kContainerPrefix = "QUORIX_R";

/// What the provider list keeps for each entry.
struct TProvInfo {
    uint32_t ProvType = 0;
    uint32_t AlgId = 0;
    uint32_t HashAlgId = 0;
};

/// One entry of the provider list: the provider's name and its TProvInfo.
struct ProviderEntry {
    std::string Name;
    TProvInfo Info;
};

/// The providers that offer the GOST R 34.11-2012 (256-bit) hash, in enumeration order; a
/// provider that refuses a verification context is left out silently. Raises Exception with
/// kNoProviderText when none qualifies.
std::vector<ProviderEntry>
QualifyingProviders(const provider::ProviderRegistry& registry = provider::InstalledProviders());

/// QualifyingProviders of the installed providers, with each module left out for a fault handed
/// to `tell` (its message names the module) whether or not any provider qualifies: a faulty
/// module costs only its own tokens, and the user learns which one was left out and why.
std::vector<ProviderEntry>
QualifyingProvidersTellingFaults(const std::function<void(const std::string&)>& tell);

/// The entry of one provider that offers the GOST R 34.11-2012 (256-bit) hash, or nullopt.
std::optional<ProviderEntry> QualifyingEntry(provider::CryptoProvider& candidate);

/// The first qualifying provider of that name (any name for ""), or nullopt; providers that
/// need a module loaded are looked at only when no other one serves.
std::optional<ProviderEntry> QualifyingProvider(const provider::ProviderRegistry& registry,
                                                const std::string& name);

/// "QUORIX_R" + the local time as 17 digits (YYYYMMDDhhmmsszzz).
std::string GostContainerName(TimePoint moment);

/// What the request builder takes. Texts are UTF-8; the subject values go into the request
/// byte for byte in Windows-1251, untrimmed.
struct TCertRequestParam : SubjectFields {
    std::string ProvName;
    uint32_t ProvType = 0;
    uint32_t AlgId = 0;
    uint32_t HashAlgId = 0;
    std::string Container;
    /// Output: the public key's bytes as upper-case hex digits.
    std::string PublicKey;
};

/// The signature algorithm's identifier for a hash algorithm; raises Exception when the table
/// has none.
std::string SignatureAlgorithmOid(uint32_t hashAlgId);

/// The operating system version attribute's text, "%d.%d.%d.%d".
std::string OsVersionText();

/// PrintableString and IA5String values, checked as the platform's encoder checks them: a
/// character the type does not allow raises EOSError 0x80092022 / 0x80092023.
std::string EncodePrintableString(std::string_view bytes);
std::string EncodeIa5String(std::string_view bytes);

/// The public key's bytes: the content of the BIT STRING of a SubjectPublicKeyInfo (without
/// the unused-bits byte). Raises Exception for a structure that is not one.
std::string PublicKeyBytes(std::string_view publicKeyInfoDer);

/// The request information (to be signed) for the record and the public key information.
std::string GostRequestInfo(const TCertRequestParam& param, std::string_view publicKeyInfoDer,
                            provider::ProviderContext& context,
                            const std::string& osVersion = OsVersionText());

/// The DER of the signed request: the information signed by the context's exchange key.
std::string BuildSignedRequest(const TCertRequestParam& param, provider::ProviderContext& context,
                               std::string_view publicKeyInfoDer);

/// Base64 of the DER in lines of 76 characters joined by CR LF (none after the last line, so a
/// text that fills its last line leaves no empty line before the END line).
std::string GostRequestBase64(std::string_view der);

/// "-----BEGIN NEW CERTIFICATE REQUEST-----\r\n" + base64 + "\r\n" +
/// "-----END NEW CERTIFICATE REQUEST-----" (no line end after the last line).
std::string FrameGostRequest(std::string_view base64);

/// Raises what CreateGostRequest would raise for the record before it makes a container: an
/// unknown provider, a subject value its string type does not allow, AlgId 0, a hash without a
/// signature algorithm. Makes nothing and asks nothing.
void CheckGostRequestParam(
    const TCertRequestParam& param,
    const provider::ProviderRegistry& registry = provider::InstalledProviders());

/// Creates the container with a new exchange key in the named provider, builds and signs the
/// request and returns its Base64 text (empty when no bytes came out); sets param.PublicKey,
/// and param.Container to the name the container got when the provider had to pick another.
/// `keyMade` is called once the container holds its key, so a caller knows that a later
/// failure leaves it behind. The context is released on every path. Raises the provider's
/// errors.
std::string
CreateGostRequest(TCertRequestParam& param,
                  const provider::ProviderRegistry& registry = provider::InstalledProviders(),
                  const std::function<void()>& keyMade = {});

} // namespace cq
