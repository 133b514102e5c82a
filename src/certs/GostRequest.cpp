#include "certs/GostRequest.h"

#include "base/Errors.h"
#include "base/StringUtil.h"
#include "base/TextCodec.h"
#include "base/Translate.h"
#include "certs/CertificationRequest.h"
#include "certs/Der.h"
#include "certs/DerReader.h"
#include "certs/PemArmour.h"
#include "platform/OsVersion.h"

#include <cstdio>

namespace cq {
namespace {

/// The request's armour: lines of 76 characters ended by CR LF, none after the END line.
constexpr PemLayout kGostRequestLayout{76, "\r\n", false};
constexpr const char* kOsVersionAttribute = "1.3.6.1.4.1.311.13.2.3";
constexpr const char* kExtensionsAttribute = "1.3.6.1.4.1.311.2.1.14";
constexpr const char* kClientAuth = "1.3.6.1.5.5.7.3.2";
constexpr char kDigitalSignatureNonRepudiation = static_cast<char>(0xC0);

/// The signature algorithms by their hash.
struct SignatureAlgorithm {
    uint32_t hashAlgId;
    const char* oid;
};
constexpr SignatureAlgorithm kSignatureAlgorithms[] = {
    {provider::kAlgGost3411_2012_256, "1.2.643.7.1.1.3.2"},
    {provider::kAlgGost3411_2012_512, "1.2.643.7.1.1.3.3"},
};

bool IsPrintableCharacter(unsigned char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
        return true;
    return std::string_view(" '()+,-./:=?").find(static_cast<char>(c)) != std::string_view::npos;
}

/// The subject values byte for byte in Windows-1251, checked against their string types.
std::string Subject(const TCertRequestParam& param) {
    SubjectValues values;
    values.Country = EncodePrintableString(ToCp1251(param.Country));
    values.State = EncodePrintableString(ToCp1251(param.State));
    values.Locality = EncodePrintableString(ToCp1251(param.Locality));
    values.Organization = EncodePrintableString(ToCp1251(param.Organization));
    values.OrganizUnit = EncodePrintableString(ToCp1251(param.OrganizUnit));
    values.CommonName = EncodePrintableString(ToCp1251(param.CommonName));
    values.Email = EncodeIa5String(ToCp1251(param.Email));
    return SubjectName(values);
}

/// The container's exchange key signing with the record's hash, under the signature algorithm
/// the table gives for that hash (no parameters).
class ProviderSigner : public RequestSigner {
public:
    ProviderSigner(provider::ProviderContext& context, uint32_t hashAlgId)
        : context_(context), hashAlgId_(hashAlgId),
          algorithm_(der::Sequence({der::Oid(SignatureAlgorithmOid(hashAlgId))})) {}
    std::string algorithmIdentifier() const override { return algorithm_; }
    std::string sign(std::string_view requestInfo) override {
        return context_.sign(requestInfo, hashAlgId_);
    }

private:
    provider::ProviderContext& context_;
    uint32_t hashAlgId_;
    std::string algorithm_;
};

std::string Extension(const char* oid, bool critical, const std::string& value) {
    if (critical)
        return der::Sequence(
            {der::Oid(oid), der::Element(0x01, std::string(1, '\xFF')), der::OctetString(value)});
    return der::Sequence({der::Oid(oid), der::OctetString(value)});
}

/// keyUsage (critical), extKeyUsage, subjectKeyIdentifier, in this order.
std::string Extensions(std::string_view publicKey, provider::ProviderContext& context) {
    const std::string keyUsage = der::BitString(std::string(1, kDigitalSignatureNonRepudiation));
    const std::string extKeyUsage = der::Sequence({der::Oid(kClientAuth)});
    const std::string keyIdentifier = der::OctetString(context.sha1(publicKey));
    return der::Sequence({Extension("2.5.29.15", true, keyUsage),
                          Extension("2.5.29.37", false, extKeyUsage),
                          Extension("2.5.29.14", false, keyIdentifier)});
}

} // namespace

std::optional<ProviderEntry> QualifyingEntry(provider::CryptoProvider& candidate) {
    std::unique_ptr<provider::ProviderContext> acquired;
    try {
        acquired = candidate.acquireVerifyContext();
    } catch (const std::exception&) {
        return std::nullopt; // a provider without a verification context is not offered
    }
    provider::ContextOwner context(std::move(acquired));
    std::optional<ProviderEntry> entry;
    for (const uint32_t algorithm : context->algorithms()) {
        if (algorithm == provider::kAlgGost3411_2012_256) {
            entry = ProviderEntry{candidate.name(),
                                  {candidate.type(), provider::kAlgGost3411_2012_256,
                                   provider::kAlgGost3411_2012_256}};
            break;
        }
    }
    context.release();
    return entry;
}

std::vector<ProviderEntry> QualifyingProviders(const provider::ProviderRegistry& registry) {
    std::vector<ProviderEntry> entries;
    for (const auto& candidate : registry.providers())
        if (std::optional<ProviderEntry> entry = QualifyingEntry(*candidate))
            entries.push_back(std::move(*entry));
    if (entries.empty())
        throw Exception(Tr(kNoProviderText));
    return entries;
}

std::vector<ProviderEntry>
QualifyingProvidersTellingFaults(const std::function<void(const std::string&)>& tell) {
    const auto tellFaults = [&tell] {
        for (const std::string& problem : provider::InstalledProviders().problems())
            tell(problem);
    };
    std::vector<ProviderEntry> entries;
    try {
        entries = QualifyingProviders();
    } catch (const std::exception&) {
        tellFaults();
        throw;
    }
    tellFaults();
    return entries;
}

std::optional<ProviderEntry> QualifyingProvider(const provider::ProviderRegistry& registry,
                                                const std::string& name) {
    std::optional<ProviderEntry> entry;
    registry.first([&](provider::CryptoProvider& candidate) {
        if (!name.empty() && candidate.name() != name)
            return false;
        entry = QualifyingEntry(candidate);
        return entry.has_value();
    });
    return entry;
}

std::string GostContainerName(TimePoint moment) {
    const LocalDateTime t = ToLocal(moment);
    char digits[32];
    std::snprintf(digits, sizeof digits, "%04d%02d%02d%02d%02d%02d%03d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second, t.millisecond);
    return kContainerPrefix + std::string(digits);
}

std::string SignatureAlgorithmOid(uint32_t hashAlgId) {
    for (const SignatureAlgorithm& entry : kSignatureAlgorithms)
        if (entry.hashAlgId == hashAlgId)
            return entry.oid;
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%04X", hashAlgId);
    throw Exception(
        TrFormat("Нет алгоритма подписи для алгоритма хэширования %1", {std::string(hex)}));
}

std::string OsVersionText() {
    const OsVersionInfo version = QueryOsVersion();
    char text[64];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", version.major, version.minor, version.build,
                  version.platformId);
    return text;
}

std::string EncodePrintableString(std::string_view bytes) {
    for (const char c : bytes)
        if (!IsPrintableCharacter(static_cast<unsigned char>(c)))
            throw provider::ProviderError(provider::code::kBadPrintableString);
    return der::PrintableString(bytes);
}

std::string EncodeIa5String(std::string_view bytes) {
    for (const char c : bytes)
        if (static_cast<unsigned char>(c) > 0x7F)
            throw provider::ProviderError(provider::code::kBadIa5String);
    return der::Ia5String(bytes);
}

std::string GostRequestInfo(const TCertRequestParam& param, std::string_view publicKeyInfoDer,
                            provider::ProviderContext& context, const std::string& osVersion) {
    const std::string name = Subject(param);
    const std::string version = EncodePrintableString(osVersion);
    const std::string extensions = Extensions(PublicKeyBytes(publicKeyInfoDer), context);
    const std::string attributes = RequestAttribute(kOsVersionAttribute, version) +
                                   RequestAttribute(kExtensionsAttribute, extensions);
    return CertificationRequestInfo(name, publicKeyInfoDer, attributes);
}

std::string BuildSignedRequest(const TCertRequestParam& param, provider::ProviderContext& context,
                               std::string_view publicKeyInfoDer) {
    const std::string info = GostRequestInfo(param, publicKeyInfoDer, context);
    if (param.AlgId == 0)
        throw Exception(Tr(kUnknownAlgorithmText));
    ProviderSigner signer(context, param.HashAlgId);
    return SignedCertificationRequest(info, signer);
}

std::string GostRequestBase64(std::string_view der) {
    return Base64Lines(der, kGostRequestLayout);
}

std::string FrameGostRequest(std::string_view base64) {
    return FramePem("NEW CERTIFICATE REQUEST", base64, {}, kGostRequestLayout);
}

void CheckGostRequestParam(const TCertRequestParam& param,
                           const provider::ProviderRegistry& registry) {
    registry.find(param.ProvName, param.ProvType);
    Subject(param);
    EncodePrintableString(OsVersionText());
    if (param.AlgId == 0)
        throw Exception(Tr(kUnknownAlgorithmText));
    SignatureAlgorithmOid(param.HashAlgId);
}

std::string CreateGostRequest(TCertRequestParam& param, const provider::ProviderRegistry& registry,
                              const std::function<void()>& keyMade) {
    CheckGostRequestParam(param, registry);
    provider::CryptoProvider& chosen = registry.find(param.ProvName, param.ProvType);
    provider::ContextOwner context(chosen.acquireNewKeySet(param.Container));
    if (!context->hasExchangeKey())
        context->generateExchangeKey();
    if (const std::string stored = context->containerName(); !stored.empty())
        param.Container = stored;
    if (keyMade)
        keyMade();
    const std::string publicKeyInfo = context->exportPublicKeyInfo();
    const std::string requestDer = BuildSignedRequest(param, *context, publicKeyInfo);
    std::string text;
    if (!requestDer.empty()) {
        param.PublicKey = UpperHex(PublicKeyBytes(publicKeyInfo));
        text = GostRequestBase64(requestDer);
    }
    context.release();
    return text;
}

std::string PublicKeyBytes(std::string_view publicKeyInfoDer) {
    der::Reader outer(publicKeyInfoDer);
    const auto info = outer.next(der::tag::kSequence);
    if (info && outer.atEnd()) {
        der::Reader fields(info->content);
        const auto algorithm = fields.next(der::tag::kSequence);
        const auto key = fields.next(der::tag::kBitString);
        if (algorithm && key && fields.atEnd() && !key->content.empty() && key->content[0] == 0)
            return std::string(key->content.substr(1));
    }
    throw Exception(Tr("Неверная информация открытого ключа"));
}

} // namespace cq
