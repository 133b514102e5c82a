// The GOST engine is reached through OpenSSL's engine interface, which OpenSSL 3 marks as
// deprecated; it is the interface the Debian engine offers.
#define OPENSSL_SUPPRESS_DEPRECATED

#include "provider/TokenGostProvider.h"

#include "base/Errors.h"
#include "base/FileUtil.h"
#include "base/IniFile.h"
#include "base/OpenSslOwners.h"
#include "base/ProgramInfo.h"
#include "base/StringUtil.h"
#include "base/Translate.h"
#include "provider/GostKey.h"
#include "provider/Pkcs11Module.h"
#include "provider/TokenPin.h"

#include <openssl/engine.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>
#include <set>

namespace cq::provider {
namespace {

// DER of the object identifiers the keys carry: the GOST R 34.10-2012 256-bit key, the
// parameter sets new keys are made with (CryptoPro A, then TC26 256-bit A for a token that does
// not offer the first), and the GOST R 34.11-2012 256-bit hash.
const std::string kGostKeyOid("\x06\x08\x2A\x85\x03\x07\x01\x01\x01\x01", 10);
const std::string kParamSets[] = {std::string("\x06\x07\x2A\x85\x03\x02\x02\x23\x01", 9),
                                  std::string("\x06\x09\x2A\x85\x03\x07\x01\x02\x01\x01\x01", 11)};
const std::string kHash2012_256Oid("\x06\x08\x2A\x85\x03\x07\x01\x01\x02\x02", 10);

constexpr size_t kPublicValueSize = 64;
constexpr const char* kOpenScModule = "/usr/lib/x86_64-linux-gnu/opensc-pkcs11.so";

std::string DerLength(size_t size) {
    if (size < 0x80)
        return std::string(1, static_cast<char>(size));
    std::string bytes;
    for (size_t rest = size; rest; rest >>= 8)
        bytes.insert(bytes.begin(), static_cast<char>(rest & 0xFF));
    return static_cast<char>(0x80 | bytes.size()) + bytes;
}

std::string Tlv(unsigned char tag, const std::string& content) {
    return static_cast<char>(tag) + DerLength(content.size()) + content;
}

/// SubjectPublicKeyInfo of a GOST R 34.10-2012 (256-bit) key from its token attributes.
std::string PublicKeyInfo(const std::string& value, const std::string& params,
                          const std::string& hashParams) {
    const std::string algorithm = Tlv(0x30, kGostKeyOid + Tlv(0x30, params + hashParams));
    return Tlv(0x30, algorithm + Tlv(0x03, std::string(1, '\0') + Tlv(0x04, value)));
}

/// GOST R 34.11-2012 (256 bits) of the bytes, through the GOST engine.
std::string GostHash(std::string_view bytes) {
    ENGINE* engine = ENGINE_get_digest_engine(NID_id_GostR3411_2012_256);
    const EVP_MD* digest = engine ? ENGINE_get_digest(engine, NID_id_GostR3411_2012_256) : nullptr;
    unsigned char hash[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    const bool made =
        digest && EVP_Digest(bytes.data(), bytes.size(), hash, &length, digest, engine) == 1;
    if (engine)
        ENGINE_finish(engine);
    if (!made)
        throw ProviderError(code::kFail, "GOST R 34.11-2012: " + ssl::DrainErrors());
    return std::string(reinterpret_cast<const char*>(hash), length);
}

bool MechanismOffers(CK_FUNCTION_LIST& functions, CK_SLOT_ID slot, CK_MECHANISM_TYPE mechanism,
                     CK_FLAGS needed) {
    CK_MECHANISM_INFO info{};
    return functions.C_GetMechanismInfo(slot, mechanism, &info) == CKR_OK &&
           (info.flags & needed) == needed;
}

/// A token as it was found: where it sits and what identifies it.
struct TokenPlace {
    std::shared_ptr<Pkcs11Module> module;
    CK_SLOT_ID slot = 0;
    std::string name;
    std::string serial;
};

/// The raise for a failed call: a removed token and a locked PIN in their own words.
[[noreturn]] void Fail(CK_RV rv, const TokenPlace& token, const std::string& call) {
    switch (rv) {
    case CKR_DEVICE_REMOVED:
    case CKR_TOKEN_NOT_PRESENT:
    case CKR_TOKEN_NOT_RECOGNIZED:
    case CKR_SESSION_CLOSED:
    case CKR_SESSION_HANDLE_INVALID:
        throw ProviderError(
            code::kTokenRemoved,
            TrFormat("Токен \"%1\" извлечён. Вставьте токен и повторите действие", {token.name}));
    case CKR_PIN_LOCKED:
        throw ProviderError(code::kPinLocked,
                            TrFormat("PIN-код токена \"%1\" заблокирован. Разблокировать его "
                                     "может администратор токена",
                                     {token.name}));
    default:
        throw ProviderError(
            code::kFail, TrFormat("Токен \"%1\": %2: %3", {token.name, call, ReturnValueName(rv)}));
    }
}

/// The token information, when this very token is still in its slot.
std::optional<CK_TOKEN_INFO> CurrentInfo(const TokenPlace& token) {
    CK_TOKEN_INFO info{};
    if (token.module->functions().C_GetTokenInfo(token.slot, &info) != CKR_OK ||
        PaddedText(info.serialNumber, sizeof info.serialNumber) != token.serial)
        return std::nullopt;
    return info;
}

CK_TOKEN_INFO InfoOrRemoved(const TokenPlace& token) {
    const std::optional<CK_TOKEN_INFO> info = CurrentInfo(token);
    if (!info)
        Fail(CKR_TOKEN_NOT_PRESENT, token, "C_GetTokenInfo");
    return *info;
}

/// The message of a wrong PIN, with what the token tells of the tries left.
EOSError WrongPin(const TokenPlace& token) {
    const std::optional<CK_TOKEN_INFO> info = CurrentInfo(token);
    const CK_FLAGS flags = info ? info->flags : 0;
    if (flags & CKF_USER_PIN_LOCKED)
        return ProviderError(
            code::kPinLocked,
            TrFormat("Неверный PIN-код токена \"%1\". PIN-код заблокирован: попытки исчерпаны",
                     {token.name}));
    if (flags & CKF_USER_PIN_FINAL_TRY)
        return ProviderError(code::kWrongPin,
                             TrFormat("Неверный PIN-код токена \"%1\". Осталась последняя "
                                      "попытка: после ещё одного неверного PIN-кода токен будет "
                                      "заблокирован",
                                      {token.name}));
    if (flags & CKF_USER_PIN_COUNT_LOW)
        return ProviderError(
            code::kWrongPin,
            TrFormat("Неверный PIN-код токена \"%1\". Число оставшихся попыток уменьшилось",
                     {token.name}));
    return ProviderError(code::kWrongPin, TrFormat("Неверный PIN-код токена \"%1\"", {token.name}));
}

/// A context on one container of a token: a session, logged in when the PIN was asked.
class TokenContext : public ProviderContext {
public:
    TokenContext(TokenPlace token, std::unique_ptr<Pkcs11Session> session, std::string container)
        : token_(std::move(token)), session_(std::move(session)), container_(std::move(container)) {
    }

    std::vector<uint32_t> algorithms() override {
        return {std::begin(kTokenGostAlgorithms), std::end(kTokenGostAlgorithms)};
    }
    bool hasExchangeKey() override { return findKey(CKO_PUBLIC_KEY).has_value(); }

    void generateExchangeKey() override {
        if (hasExchangeKey())
            throw ProviderError(code::kExists, container_);
        login();
        CK_OBJECT_HANDLE publicKey = 0, privateKey = 0;
        generatePair(publicKey, privateKey);
        std::string value;
        check(session_->attribute(publicKey, CKA_VALUE, value), "C_GetAttributeValue");
        // The pair is found by other programs through CKA_ID: the SHA-1 of the public value.
        const std::string id = Sha1(value);
        CK_ATTRIBUTE item = TemplateItem(CKA_ID, id);
        check(session_->functions().C_SetAttributeValue(session_->handle(), publicKey, &item, 1),
              "C_SetAttributeValue");
        check(session_->functions().C_SetAttributeValue(session_->handle(), privateKey, &item, 1),
              "C_SetAttributeValue");
    }

    std::string exportPublicKeyInfo() override {
        const std::optional<CK_OBJECT_HANDLE> key = findKey(CKO_PUBLIC_KEY);
        if (!key)
            throw ProviderError(code::kNoKey, container_);
        std::string value, params, hashParams;
        check(session_->attribute(*key, CKA_VALUE, value), "C_GetAttributeValue");
        check(session_->attribute(*key, CKA_GOSTR3410_PARAMS, params), "C_GetAttributeValue");
        // The hash parameters are optional: a key without them names none.
        if (session_->attribute(*key, CKA_GOSTR3411_PARAMS, hashParams) != CKR_OK)
            hashParams.clear();
        if (value.size() != kPublicValueSize || params.empty())
            throw ProviderError(code::kBadData, container_);
        return PublicKeyInfo(value, params, hashParams);
    }

    std::string sha1(std::string_view bytes) override { return Sha1(bytes); }

    std::string sign(std::string_view toBeSigned, uint32_t hashAlgId) override {
        if (hashAlgId != kAlgGost3411_2012_256)
            throw ProviderError(code::kBadAlgId);
        std::string hash = GostHash(toBeSigned);
        login();
        const std::optional<CK_OBJECT_HANDLE> key = findKey(CKO_PRIVATE_KEY);
        if (!key)
            throw ProviderError(code::kNoKey, container_);
        CK_MECHANISM mechanism{CKM_GOSTR3410, nullptr, 0};
        CK_FUNCTION_LIST& functions = session_->functions();
        check(functions.C_SignInit(session_->handle(), &mechanism, *key), "C_SignInit");
        std::string signature(kPublicValueSize, '\0');
        CK_ULONG length = signature.size();
        check(functions.C_Sign(session_->handle(), reinterpret_cast<CK_BYTE*>(hash.data()),
                               hash.size(), reinterpret_cast<CK_BYTE*>(signature.data()), &length),
              "C_Sign");
        if (length > signature.size())
            Fail(CKR_GENERAL_ERROR, token_, "C_Sign");
        signature.resize(length);
        return signature;
    }

    void release() override { session_.reset(); }

    /// Asks the PIN and logs in, once per context. Cancel: kCancelled, nothing done.
    void login() {
        if (loggedIn_)
            return;
        const CK_TOKEN_INFO info = InfoOrRemoved(token_);
        if (info.flags & CKF_USER_PIN_LOCKED)
            Fail(CKR_PIN_LOCKED, token_, "C_Login");
        TokenPinQuestion question{token_.name, container_,
                                  (info.flags & CKF_USER_PIN_COUNT_LOW) != 0,
                                  (info.flags & CKF_USER_PIN_FINAL_TRY) != 0};
        const std::optional<SecretBytes> pin = AskTokenPin(question);
        if (!pin)
            throw ProviderError(code::kCancelled);
        const CK_RV rv = session_->functions().C_Login(
            session_->handle(), CKU_USER,
            reinterpret_cast<CK_UTF8CHAR*>(const_cast<char*>(pin->str().data())), pin->size());
        if (rv == CKR_PIN_INCORRECT)
            throw WrongPin(token_);
        if (rv != CKR_OK && rv != CKR_USER_ALREADY_LOGGED_IN)
            Fail(rv, token_, "C_Login");
        loggedIn_ = true;
    }

    /// The container's key object of that class (a private key is seen only after login).
    std::optional<CK_OBJECT_HANDLE> findKey(CK_OBJECT_CLASS keyClass) {
        const CK_KEY_TYPE keyType = CKK_GOSTR3410;
        std::vector<CK_OBJECT_HANDLE> found;
        check(session_->find({TemplateItem(CKA_CLASS, &keyClass, sizeof keyClass),
                              TemplateItem(CKA_KEY_TYPE, &keyType, sizeof keyType),
                              TemplateItem(CKA_LABEL, container_)},
                             found),
              "C_FindObjects");
        if (found.empty())
            return std::nullopt;
        return found.front();
    }

    /// True when any object on the token carries the container's name.
    bool labelTaken() {
        std::vector<CK_OBJECT_HANDLE> found;
        check(session_->find({TemplateItem(CKA_LABEL, container_)}, found), "C_FindObjects");
        return !found.empty();
    }

    void check(CK_RV rv, const std::string& call) const {
        if (rv != CKR_OK)
            Fail(rv, token_, call);
    }

    const TokenPlace& token() const { return token_; }
    Pkcs11Session& session() { return *session_; }

private:
    /// The pair in the first parameter set the token takes.
    void generatePair(CK_OBJECT_HANDLE& publicKey, CK_OBJECT_HANDLE& privateKey) {
        CK_RV rv = CKR_DOMAIN_PARAMS_INVALID;
        for (const std::string& paramSet : kParamSets) {
            rv = generatePair(paramSet, publicKey, privateKey);
            if (rv != CKR_DOMAIN_PARAMS_INVALID && rv != CKR_ATTRIBUTE_VALUE_INVALID)
                break;
        }
        check(rv, "C_GenerateKeyPair");
    }

    CK_RV generatePair(const std::string& paramSet, CK_OBJECT_HANDLE& publicKey,
                       CK_OBJECT_HANDLE& privateKey) {
        const CK_OBJECT_CLASS publicClass = CKO_PUBLIC_KEY, privateClass = CKO_PRIVATE_KEY;
        const CK_KEY_TYPE keyType = CKK_GOSTR3410;
        const CK_BBOOL yes = CK_TRUE, no = CK_FALSE;
        std::vector<CK_ATTRIBUTE> publicTemplate = {
            TemplateItem(CKA_CLASS, &publicClass, sizeof publicClass),
            TemplateItem(CKA_KEY_TYPE, &keyType, sizeof keyType),
            TemplateItem(CKA_TOKEN, &yes, sizeof yes),
            TemplateItem(CKA_PRIVATE, &no, sizeof no),
            TemplateItem(CKA_VERIFY, &yes, sizeof yes),
            TemplateItem(CKA_LABEL, container_),
            TemplateItem(CKA_GOSTR3410_PARAMS, paramSet),
            TemplateItem(CKA_GOSTR3411_PARAMS, kHash2012_256Oid)};
        std::vector<CK_ATTRIBUTE> privateTemplate = {
            TemplateItem(CKA_CLASS, &privateClass, sizeof privateClass),
            TemplateItem(CKA_KEY_TYPE, &keyType, sizeof keyType),
            TemplateItem(CKA_TOKEN, &yes, sizeof yes),
            TemplateItem(CKA_PRIVATE, &yes, sizeof yes),
            TemplateItem(CKA_SENSITIVE, &yes, sizeof yes),
            TemplateItem(CKA_EXTRACTABLE, &no, sizeof no),
            TemplateItem(CKA_SIGN, &yes, sizeof yes),
            TemplateItem(CKA_LABEL, container_)};
        CK_MECHANISM mechanism{CKM_GOSTR3410_KEY_PAIR_GEN, nullptr, 0};
        return session_->functions().C_GenerateKeyPair(
            session_->handle(), &mechanism, publicTemplate.data(), publicTemplate.size(),
            privateTemplate.data(), privateTemplate.size(), &publicKey, &privateKey);
    }

    TokenPlace token_;
    std::unique_ptr<Pkcs11Session> session_;
    std::string container_;
    bool loggedIn_ = false;
};

/// A context for queries: the token must still be in its slot.
class TokenVerifyContext : public ProviderContext {
public:
    std::vector<uint32_t> algorithms() override {
        return {std::begin(kTokenGostAlgorithms), std::end(kTokenGostAlgorithms)};
    }
    bool hasExchangeKey() override { return false; }
    void generateExchangeKey() override { throw ProviderError(code::kBadKeySet); }
    std::string exportPublicKeyInfo() override { throw ProviderError(code::kNoKey); }
    std::string sha1(std::string_view bytes) override { return Sha1(bytes); }
    std::string sign(std::string_view, uint32_t) override { throw ProviderError(code::kNoKey); }
    void release() override {}
};

struct CertificateFields {
    std::string subject, issuer, serial;
    std::string publicKey; ///< the content of the public key's BIT STRING
};

/// The DER that an i2d function gives for the object.
template <class Object, class Encode> std::string Encoded(Object* object, Encode encode) {
    unsigned char* bytes = nullptr;
    const int length = encode(object, &bytes);
    if (length <= 0)
        throw ProviderError(code::kBadData, TrFormat("Сертификат: %1", {ssl::DrainErrors()}));
    std::string der(reinterpret_cast<const char*>(bytes), static_cast<size_t>(length));
    OPENSSL_free(bytes);
    return der;
}

CertificateFields ReadCertificateFields(std::string_view der) {
    const auto* cursor = reinterpret_cast<const unsigned char*>(der.data());
    const ssl::Certificate certificate(d2i_X509(nullptr, &cursor, static_cast<long>(der.size())));
    if (!certificate)
        throw ProviderError(code::kBadData, TrFormat("Сертификат: %1", {ssl::DrainErrors()}));
    CertificateFields fields;
    fields.subject = Encoded(X509_get_subject_name(certificate.get()), i2d_X509_NAME);
    fields.issuer = Encoded(X509_get_issuer_name(certificate.get()), i2d_X509_NAME);
    fields.serial = Encoded(X509_get0_serialNumber(certificate.get()), i2d_ASN1_INTEGER);
    const ASN1_BIT_STRING* key = X509_get0_pubkey_bitstr(certificate.get());
    if (key)
        fields.publicKey.assign(reinterpret_cast<const char*>(ASN1_STRING_get0_data(key)),
                                static_cast<size_t>(ASN1_STRING_length(key)));
    return fields;
}

/// The content of the BIT STRING of a SubjectPublicKeyInfo this unit built.
std::string PublicKeyBits(const std::string& publicKeyInfo) {
    const auto* cursor = reinterpret_cast<const unsigned char*>(publicKeyInfo.data());
    X509_PUBKEY* info = d2i_X509_PUBKEY(nullptr, &cursor, static_cast<long>(publicKeyInfo.size()));
    std::string bits;
    const unsigned char* bytes = nullptr;
    int length = 0;
    if (info && X509_PUBKEY_get0_param(nullptr, &bytes, &length, nullptr, info) == 1)
        bits.assign(reinterpret_cast<const char*>(bytes), static_cast<size_t>(length));
    X509_PUBKEY_free(info);
    ssl::DrainErrors();
    return bits;
}

class TokenGostProvider : public CryptoProvider {
public:
    explicit TokenGostProvider(TokenPlace token) : token_(std::move(token)) {}

    std::string name() const override { return token_.name; }
    uint32_t type() const override { return kProvTypeGost2012_256; }

    std::unique_ptr<ProviderContext> acquireVerifyContext() override {
        InfoOrRemoved(token_);
        return std::make_unique<TokenVerifyContext>();
    }

    std::unique_ptr<ProviderContext> acquireNewKeySet(const std::string& container) override {
        std::unique_ptr<TokenContext> context = open(container, true);
        if (context->labelTaken())
            throw ProviderError(code::kExists, container);
        context->login();
        // Private objects are seen only now.
        if (context->labelTaken())
            throw ProviderError(code::kExists, container);
        return context;
    }

    std::unique_ptr<ProviderContext> acquireKeySet(const std::string& container) override {
        std::unique_ptr<TokenContext> context = open(container, false);
        if (!context->hasExchangeKey())
            throw ProviderError(code::kBadKeySet, container);
        return context;
    }

    bool keepsCertificates() const override { return true; }

    void storeCertificate(const std::string& container, std::string_view der) override {
        std::unique_ptr<TokenContext> context = open(container, true);
        const std::optional<CK_OBJECT_HANDLE> key = context->findKey(CKO_PUBLIC_KEY);
        if (!key)
            throw ProviderError(code::kBadKeySet, container);
        const CertificateFields fields = ReadCertificateFields(der);
        if (fields.publicKey != PublicKeyBits(context->exportPublicKeyInfo()))
            throw Exception(TrFormat("Сертификат не соответствует ключу контейнера \"%1\" на "
                                     "токене \"%2\".",
                                     {container, token_.name}),
                            FailureClass::Mismatch);
        std::string id;
        context->check(context->session().attribute(*key, CKA_ID, id), "C_GetAttributeValue");
        if (hasCertificate(*context, id, der))
            return;
        createCertificate(*context, container, id, fields, der);
    }

private:
    /// A session for the container: read-write only where something is written.
    std::unique_ptr<TokenContext> open(const std::string& container, bool readWrite) {
        InfoOrRemoved(token_);
        CK_RV rv = CKR_OK;
        auto session = std::make_unique<Pkcs11Session>(token_.module, token_.slot, readWrite, rv);
        if (rv != CKR_OK)
            Fail(rv, token_, "C_OpenSession");
        return std::make_unique<TokenContext>(token_, std::move(session), container);
    }

    static bool hasCertificate(TokenContext& context, const std::string& id, std::string_view der) {
        const CK_OBJECT_CLASS certificateClass = CKO_CERTIFICATE;
        std::vector<CK_OBJECT_HANDLE> found;
        context.check(context.session().find(
                          {TemplateItem(CKA_CLASS, &certificateClass, sizeof certificateClass),
                           TemplateItem(CKA_ID, id), TemplateItem(CKA_VALUE, der)},
                          found),
                      "C_FindObjects");
        return !found.empty();
    }

    static void createCertificate(TokenContext& context, const std::string& container,
                                  const std::string& id, const CertificateFields& fields,
                                  std::string_view der) {
        const CK_OBJECT_CLASS certificateClass = CKO_CERTIFICATE;
        const CK_CERTIFICATE_TYPE certificateType = CKC_X_509;
        const CK_BBOOL yes = CK_TRUE, no = CK_FALSE;
        std::vector<CK_ATTRIBUTE> items = {
            TemplateItem(CKA_CLASS, &certificateClass, sizeof certificateClass),
            TemplateItem(CKA_CERTIFICATE_TYPE, &certificateType, sizeof certificateType),
            TemplateItem(CKA_TOKEN, &yes, sizeof yes),
            TemplateItem(CKA_PRIVATE, &no, sizeof no),
            TemplateItem(CKA_LABEL, container),
            TemplateItem(CKA_ID, id),
            TemplateItem(CKA_SUBJECT, fields.subject),
            TemplateItem(CKA_ISSUER, fields.issuer),
            TemplateItem(CKA_SERIAL_NUMBER, fields.serial),
            TemplateItem(CKA_VALUE, der)};
        CK_OBJECT_HANDLE created = 0;
        const auto create = [&] {
            return context.session().functions().C_CreateObject(
                context.session().handle(), items.data(), items.size(), &created);
        };
        // A public object needs no login by the standard; a token that wants one gets the PIN.
        CK_RV rv = create();
        if (rv == CKR_USER_NOT_LOGGED_IN) {
            context.login();
            rv = create();
        }
        context.check(rv, "C_CreateObject");
    }

    TokenPlace token_;
};

/// The GOST token in the slot, or the reason it is not one.
std::optional<TokenPlace> GostTokenOfSlot(const std::shared_ptr<Pkcs11Module>& module,
                                          CK_SLOT_ID slot, std::string& reason) {
    CK_FUNCTION_LIST& functions = module->functions();
    CK_TOKEN_INFO info{};
    if (const CK_RV rv = functions.C_GetTokenInfo(slot, &info); rv != CKR_OK) {
        reason = "C_GetTokenInfo: " + ReturnValueName(rv);
        return std::nullopt;
    }
    TokenPlace token;
    token.module = module;
    token.slot = slot;
    token.serial = PaddedText(info.serialNumber, sizeof info.serialNumber);
    const std::string label = PaddedText(info.label, sizeof info.label);
    const std::string model = PaddedText(info.model, sizeof info.model);
    token.name = model.empty() ? label : label + " (" + model + ")";
    if (!MechanismOffers(functions, slot, CKM_GOSTR3410_KEY_PAIR_GEN, CKF_GENERATE_KEY_PAIR) ||
        !MechanismOffers(functions, slot, CKM_GOSTR3410, CKF_SIGN)) {
        reason = TrFormat("токен \"%1\" не поддерживает ключи ГОСТ Р 34.10-2012", {token.name});
        return std::nullopt;
    }
    return token;
}

/// Providers of the tokens; two tokens of one label and model are told apart by their serial
/// numbers, since the request record names the provider.
std::vector<std::shared_ptr<CryptoProvider>> ProvidersOf(std::vector<TokenPlace> tokens) {
    std::map<std::string, int> uses;
    for (const TokenPlace& token : tokens)
        ++uses[token.name];
    std::vector<std::shared_ptr<CryptoProvider>> providers;
    for (TokenPlace& token : tokens) {
        if (uses[token.name] > 1)
            token.name += " [" + token.serial + "]";
        providers.push_back(std::make_shared<TokenGostProvider>(std::move(token)));
    }
    return providers;
}

} // namespace

std::vector<std::string> ConfiguredPkcs11Modules() {
    std::vector<std::string> paths;
    try {
        const IniFile settings = IniFile::Load(ProgramFolder() + "CertQuorix.ini");
        for (const std::string& path :
             Split(settings.ReadString(kPkcs11Section, kPkcs11ModulesKey), ";"))
            if (!Trim(path).empty())
                paths.push_back(Trim(path));
    } catch (const std::exception&) {
        // No administrator's file, or one that cannot be read: no modules from it.
    }
    if (const char* extra = std::getenv(kPkcs11ModuleVariable); extra && *extra)
        paths.emplace_back(extra);
    if (FileExists(kOpenScModule))
        paths.emplace_back(kOpenScModule);
    std::vector<std::string> unique;
    std::set<std::string> seen;
    for (const std::string& path : paths)
        if (seen.insert(path).second)
            unique.push_back(path);
    return unique;
}

std::shared_ptr<Pkcs11Module> KeptPkcs11Module(const std::string& path) {
    static std::mutex keptMutex;
    static auto& kept = *new std::map<std::string, std::shared_ptr<Pkcs11Module>>();
    const std::lock_guard<std::mutex> lock(keptMutex);
    std::shared_ptr<Pkcs11Module>& module = kept[path];
    if (!module)
        module = Pkcs11Module::Load(path);
    return module;
}

std::vector<std::shared_ptr<CryptoProvider>>
TokenGostProviders(const std::vector<std::string>& modulePaths,
                   const std::function<void(const std::string&)>& note,
                   const Pkcs11ModuleLoader& load,
                   const std::function<void(const std::string&)>& fault) {
    std::vector<TokenPlace> tokens;
    if (modulePaths.empty())
        return {};
    // The hash is made here, by the GOST engine.
    if (!LoadGostEngine(kGostEngineId)) {
        note(Tr("Модули PKCS#11 не используются: не загружается GOST engine"));
        return {};
    }
    for (const std::string& path : modulePaths) {
        try {
            const std::shared_ptr<Pkcs11Module> module =
                load ? load(path) : Pkcs11Module::Load(path);
            const size_t before = tokens.size();
            std::string reasons;
            for (const CK_SLOT_ID slot : module->slotsWithToken()) {
                std::string reason;
                if (std::optional<TokenPlace> token = GostTokenOfSlot(module, slot, reason))
                    tokens.push_back(std::move(*token));
                else
                    reasons += "; " + reason;
            }
            if (tokens.size() == before)
                note(TrFormat("Модуль PKCS#11 %1 не используется: нет токена с ключами ГОСТ%2",
                              {path, reasons}));
        } catch (const std::exception& error) {
            const std::string why =
                TrFormat("Модуль PKCS#11 %1 не используется: %2", {path, error.what()});
            note(why);
            if (fault)
                fault(why);
        }
    }
    return ProvidersOf(std::move(tokens));
}

} // namespace cq::provider
