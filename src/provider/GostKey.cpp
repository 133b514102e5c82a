// The GOST engine is reached through OpenSSL's engine interface, which OpenSSL 3 marks as
// deprecated; it is the interface the Debian engine offers.
#define OPENSSL_SUPPRESS_DEPRECATED

#include "provider/GostKey.h"

#include "base/OpenSslOwners.h"
#include "base/Translate.h"
#include "provider/CryptoProvider.h"

#include <openssl/crypto.h>
#include <openssl/engine.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>

#include <cstring>
#include <mutex>

namespace cq::provider {
namespace {

using ssl::Bio;
using ssl::Deleter;
using ssl::DrainErrors;
using ssl::PrivateKey;
using PkeyContext = std::unique_ptr<EVP_PKEY_CTX, Deleter<EVP_PKEY_CTX_free>>;
using MdContext = std::unique_ptr<EVP_MD_CTX, Deleter<EVP_MD_CTX_free>>;
using Pkcs8 = std::unique_ptr<PKCS8_PRIV_KEY_INFO, Deleter<PKCS8_PRIV_KEY_INFO_free>>;
using EncryptedPkcs8 = std::unique_ptr<X509_SIG, Deleter<X509_SIG_free>>;
inline void FreeOpenSslBytes(void* bytes) {
    OPENSSL_free(bytes);
}
using OpenSslBytes = std::unique_ptr<unsigned char, Deleter<FreeOpenSslBytes>>;
inline void FreeOpenSslText(char* text) {
    OPENSSL_free(text);
}
using OpenSslText = std::unique_ptr<char, Deleter<FreeOpenSslText>>;
using Algorithm = std::unique_ptr<X509_ALGOR, Deleter<X509_ALGOR_free>>;
using Pbe2Params = std::unique_ptr<PBE2PARAM, Deleter<PBE2PARAM_free>>;
using Pbkdf2Params = std::unique_ptr<PBKDF2PARAM, Deleter<PBKDF2PARAM_free>>;

/// PBKDF2 rounds of a new container's password key, and the most a container may ask for: a
/// damaged or hostile file must not keep the program busy for hours.
constexpr int kPasswordIterations = 100000;
constexpr long kMostPasswordIterations = 1000000;

std::mutex engineMutex;
ENGINE* loadedEngine = nullptr;

[[noreturn]] void Fail(uint32_t errorCode, const std::string& what) {
    const std::string details = DrainErrors();
    throw ProviderError(errorCode, details.empty() ? what : what + ": " + details);
}

ENGINE* EngineById(const std::string& id) {
    ENGINE* engine = ENGINE_by_id(id.c_str());
    if (engine && ENGINE_init(engine) == 1) {
        ENGINE_free(engine); // the functional reference from ENGINE_init stays
        return engine;
    }
    if (engine)
        ENGINE_free(engine);
    return nullptr;
}

ENGINE* EngineFromFile(const std::string& path) {
    ENGINE* engine = ENGINE_by_id("dynamic");
    if (!engine)
        return nullptr;
    if (ENGINE_ctrl_cmd_string(engine, "SO_PATH", path.c_str(), 0) == 1 &&
        ENGINE_ctrl_cmd_string(engine, "LOAD", nullptr, 0) == 1 && ENGINE_init(engine) == 1) {
        ENGINE_free(engine);
        return engine;
    }
    ENGINE_free(engine);
    return nullptr;
}

ENGINE* OpenEngine(const std::string& location) {
    if (location.find('/') != std::string::npos)
        return EngineFromFile(location);
    if (ENGINE* engine = EngineById(location))
        return engine;
    return location == kGostEngineId ? EngineFromFile(GostEnginePath()) : nullptr;
}

ENGINE* Engine() {
    const std::lock_guard<std::mutex> lock(engineMutex);
    if (!loadedEngine)
        throw ProviderError(code::kFail, "GOST engine not loaded");
    return loadedEngine;
}

std::string PublicKeyDer(EVP_PKEY* key) {
    unsigned char* bytes = nullptr;
    const int length = i2d_PUBKEY(key, &bytes);
    if (length <= 0)
        Fail(code::kFail, "i2d_PUBKEY");
    const OpenSslBytes owner(bytes);
    return std::string(reinterpret_cast<const char*>(bytes), static_cast<size_t>(length));
}

/// True for the encryption new containers get: PBES2 with PBKDF2 of a bounded round count.
bool IsAcceptedEncryption(const X509_SIG* sealed) {
    const X509_ALGOR* algorithm = nullptr;
    X509_SIG_get0(sealed, &algorithm, nullptr);
    if (!algorithm || OBJ_obj2nid(algorithm->algorithm) != NID_pbes2)
        return false;
    const Pbe2Params scheme(static_cast<PBE2PARAM*>(
        ASN1_TYPE_unpack_sequence(ASN1_ITEM_rptr(PBE2PARAM), algorithm->parameter)));
    if (!scheme || !scheme->keyfunc || OBJ_obj2nid(scheme->keyfunc->algorithm) != NID_id_pbkdf2)
        return false;
    const Pbkdf2Params derivation(static_cast<PBKDF2PARAM*>(
        ASN1_TYPE_unpack_sequence(ASN1_ITEM_rptr(PBKDF2PARAM), scheme->keyfunc->parameter)));
    if (!derivation || !derivation->iter)
        return false;
    const long rounds = ASN1_INTEGER_get(derivation->iter);
    return rounds > 0 && rounds <= kMostPasswordIterations;
}

/// The decoded private key of a PEM block, or null; a wrong password gives kWrongPin.
PrivateKey DecodePrivateKey(const std::string& label, const unsigned char* data, long length,
                            const std::function<std::optional<SecretBytes>()>& askPassword) {
    const unsigned char* cursor = data;
    if (label == "PRIVATE KEY") {
        const Pkcs8 info(d2i_PKCS8_PRIV_KEY_INFO(nullptr, &cursor, length));
        return PrivateKey(info && cursor == data + length ? EVP_PKCS82PKEY(info.get()) : nullptr);
    }
    if (label != "ENCRYPTED PRIVATE KEY")
        return nullptr;
    const EncryptedPkcs8 sealed(d2i_X509_SIG(nullptr, &cursor, length));
    if (!sealed || cursor != data + length || !IsAcceptedEncryption(sealed.get()))
        return nullptr;
    const std::optional<SecretBytes> password = askPassword();
    if (!password)
        throw ProviderError(code::kCancelled);
    const Pkcs8 info(
        PKCS8_decrypt(sealed.get(), password->data(), static_cast<int>(password->size())));
    if (!info) {
        ERR_clear_error();
        throw ProviderErrorInWords(code::kWrongPin, Tr("Неверный пароль контейнера ключей."));
    }
    return PrivateKey(EVP_PKCS82PKEY(info.get()));
}

/// True when the engine offers the GOST R 34.10-2012 (256-bit) key type with its encoding and a
/// GOST R 34.11-2012 (256-bit) digest that hashes to 32 bytes.
bool DoesGost(ENGINE* engine) {
    if (!ENGINE_get_pkey_meth(engine, NID_id_GostR3410_2012_256) ||
        !ENGINE_get_pkey_asn1_meth(engine, NID_id_GostR3410_2012_256))
        return false;
    const EVP_MD* digest = ENGINE_get_digest(engine, NID_id_GostR3411_2012_256);
    unsigned char hash[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    return digest && EVP_Digest("abc", 3, hash, &length, digest, engine) == 1 && length == 32;
}

} // namespace

struct GostKey::Impl {
    PrivateKey key;
};

std::string GostEnginePath() {
    // OpenSSL tells its engine folder as: ENGINESDIR: "/usr/lib/x86_64-linux-gnu/engines-3"
    const std::string text = OpenSSL_version(OPENSSL_ENGINES_DIR);
    const size_t open = text.find('"');
    const size_t close = text.rfind('"');
    const std::string folder =
        open != std::string::npos && close > open ? text.substr(open + 1, close - open - 1) : "";
    return (folder.empty() ? std::string("/usr/lib/x86_64-linux-gnu/engines-3") : folder) +
           "/gost.so";
}

bool LoadGostEngine(const std::string& location, std::string* problem) {
    ENGINE* engine = OpenEngine(location);
    ERR_clear_error();
    const auto refuse = [problem](const std::string& why) {
        if (problem)
            *problem = why;
        return false;
    };
    if (!engine)
        return refuse(
            TrFormat("движок ГОСТ для OpenSSL \"%1\" не найден или не загружается.", {location}));
    if (!DoesGost(engine)) {
        ENGINE_finish(engine);
        ERR_clear_error();
        return refuse(TrFormat("движок OpenSSL \"%1\" не поддерживает ключи ГОСТ Р 34.10-2012 и "
                               "хэширование ГОСТ Р 34.11-2012.",
                               {location}));
    }
    const std::lock_guard<std::mutex> lock(engineMutex);
    if (!loadedEngine) {
        // Only the engine's key types and digests are made known; ciphers and the TLS
        // client's algorithms stay those of OpenSSL itself.
        ENGINE_register_pkey_asn1_meths(engine);
        ENGINE_register_pkey_meths(engine);
        ENGINE_register_digests(engine);
        loadedEngine = engine;
    } else {
        ENGINE_finish(engine); // the first engine serves; one functional reference is enough
    }
    return true;
}

GostKey::GostKey(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
GostKey::GostKey(GostKey&&) noexcept = default;
GostKey& GostKey::operator=(GostKey&&) noexcept = default;
GostKey::~GostKey() = default;

GostKey GostKey::Generate() {
    PkeyContext context(EVP_PKEY_CTX_new_id(NID_id_GostR3410_2012_256, Engine()));
    if (!context || EVP_PKEY_keygen_init(context.get()) <= 0 ||
        EVP_PKEY_CTX_ctrl_str(context.get(), "paramset", kGostParamSet) <= 0)
        Fail(code::kFail, "GOST key generation");
    EVP_PKEY* made = nullptr;
    if (EVP_PKEY_keygen(context.get(), &made) <= 0)
        Fail(code::kFail, "GOST key generation");
    auto impl = std::make_unique<Impl>();
    impl->key.reset(made);
    return GostKey(std::move(impl));
}

GostKey GostKey::FromContainerText(std::string_view text,
                                   const std::function<std::optional<SecretBytes>()>& askPassword) {
    Engine(); // a container can only be read with the engine's key types known
    Bio input(BIO_new_mem_buf(text.data(), static_cast<int>(text.size())));
    char* name = nullptr;
    char* header = nullptr;
    unsigned char* data = nullptr;
    long length = 0;
    const bool read = input && PEM_read_bio(input.get(), &name, &header, &data, &length) == 1;
    const OpenSslText nameOwner(name);
    const OpenSslText headerOwner(header);
    const auto wipeData = [length](unsigned char* bytes) {
        OPENSSL_clear_free(bytes, length);
    };
    const std::unique_ptr<unsigned char, decltype(wipeData)> dataOwner(data, wipeData);
    PrivateKey key = read ? DecodePrivateKey(name, data, length, askPassword) : nullptr;
    if (!key || EVP_PKEY_get_base_id(key.get()) != NID_id_GostR3410_2012_256) {
        ERR_clear_error();
        throw ProviderError(code::kBadData, Tr("Контейнер ключей повреждён"));
    }
    auto impl = std::make_unique<Impl>();
    impl->key = std::move(key);
    return GostKey(std::move(impl));
}

SecretBytes GostKey::containerText(std::string_view password) const {
    Bio output(BIO_new(BIO_s_secmem()));
    Pkcs8 info(EVP_PKEY2PKCS8(impl_->key.get()));
    if (!output || !info)
        Fail(code::kFail, "EVP_PKEY2PKCS8");
    bool written = false;
    if (password.empty()) {
        written = PEM_write_bio_PKCS8_PRIV_KEY_INFO(output.get(), info.get()) == 1;
    } else {
        Algorithm scheme(PKCS5_pbe2_set_iv(EVP_aes_256_cbc(), kPasswordIterations, nullptr, 0,
                                           nullptr, NID_hmacWithSHA256));
        EncryptedPkcs8 sealed(scheme ? PKCS8_set0_pbe(password.data(),
                                                      static_cast<int>(password.size()), info.get(),
                                                      scheme.get())
                                     : nullptr);
        if (sealed)
            scheme.release(); // owned by the sealed key now
        written = sealed && PEM_write_bio_PKCS8(output.get(), sealed.get()) == 1;
    }
    if (!written)
        Fail(code::kFail, "PEM_write_bio_PKCS8");
    char* bytes = nullptr;
    const long length = BIO_get_mem_data(output.get(), &bytes);
    return SecretBytes(bytes, static_cast<size_t>(length));
}

std::string GostKey::publicKeyInfo() const {
    return PublicKeyDer(impl_->key.get());
}

std::string GostKey::sign(std::string_view bytes) const {
    ENGINE* engine = Engine();
    const EVP_MD* digest = ENGINE_get_digest(engine, NID_id_GostR3411_2012_256);
    MdContext context(EVP_MD_CTX_new());
    if (!digest || !context ||
        EVP_DigestSignInit(context.get(), nullptr, digest, engine, impl_->key.get()) <= 0)
        Fail(code::kFail, "EVP_DigestSignInit");
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    size_t length = 0;
    if (EVP_DigestSign(context.get(), nullptr, &length, data, bytes.size()) <= 0)
        Fail(code::kFail, "EVP_DigestSign");
    std::string signature(length, '\0');
    if (EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(signature.data()), &length,
                       data, bytes.size()) <= 0)
        Fail(code::kFail, "EVP_DigestSign");
    signature.resize(length);
    return signature;
}

bool GostKey::matchesPublicKey(std::string_view publicKeyInfoDer) const {
    const auto* cursor = reinterpret_cast<const unsigned char*>(publicKeyInfoDer.data());
    const PrivateKey other(
        d2i_PUBKEY(nullptr, &cursor, static_cast<long>(publicKeyInfoDer.size())));
    const bool same = other && EVP_PKEY_eq(impl_->key.get(), other.get()) == 1;
    ERR_clear_error();
    return same;
}

} // namespace cq::provider
