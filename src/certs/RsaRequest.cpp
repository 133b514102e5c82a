#include "certs/RsaRequest.h"

#include "base/Dialogs.h"
#include "base/Errors.h"
#include "base/FileUtil.h"
#include "base/SecretBytes.h"
#include "base/StringUtil.h"
#include "base/TextCodec.h"
#include "base/Translate.h"
#include "certs/CertificationRequest.h"
#include "certs/Der.h"
#include "certs/PemArmour.h"
#include "certs/PublicKeyAct.h"
#include "certs/Renewal.h"
#include "certs/SslOwners.h"
#include "settings/CertFolders.h"
#include "settings/SettingsValues.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/rand.h>

#include <future>
#include <memory>
#include <optional>
#include <vector>

namespace cq {
namespace {

/// The key size the settings ask for; any size outside the allowed ones is refused.
int PrimeBits() {
    const int bits = Settings().RsaKeyBits;
    for (const int allowed : kAllowedRsaKeyBits)
        if (bits == allowed)
            return bits / 2;
    throw Exception(TrFormat("Размер ключа RSA %1 (ключ RsaKeyBits раздела [Cert]) не "
                             "допускается: 1024, 2048, 3072 или 4096.",
                             {std::to_string(bits)}));
}
constexpr unsigned long kPublicExponent = 65537;
constexpr size_t kModulusSpanMargin = 6;
constexpr const char* kRsaEncryption = "1.2.840.113549.1.1.1";
constexpr const char* kSha1WithRsa = "1.2.840.113549.1.1.5";

using Bn = std::unique_ptr<BIGNUM, ssl::Deleter<BN_clear_free>>;
using BnCtx = std::unique_ptr<BN_CTX, ssl::Deleter<BN_CTX_free>>;
using ParamBuilder = std::unique_ptr<OSSL_PARAM_BLD, ssl::Deleter<OSSL_PARAM_BLD_free>>;
using Params = std::unique_ptr<OSSL_PARAM, ssl::Deleter<OSSL_PARAM_free>>;
using PkeyContext = std::unique_ptr<EVP_PKEY_CTX, ssl::Deleter<EVP_PKEY_CTX_free>>;
using Pkey = ssl::PrivateKey;
using MdContext = std::unique_ptr<EVP_MD_CTX, ssl::Deleter<EVP_MD_CTX_free>>;

void Check(int result, const char* what) {
    if (result <= 0)
        ssl::RaiseError(what);
}

Bn NewNumber() {
    Bn number(BN_secure_new());
    if (!number)
        ssl::RaiseError("BN_secure_new");
    return number;
}

/// The number as whole 32-bit words, most significant first, leading zero bytes of the top
/// word kept (n gives 128 bytes, e gives 00 01 00 01).
std::string WordBytes(const BIGNUM* number) {
    const int words = (BN_num_bytes(number) + 3) / 4;
    std::string bytes(static_cast<size_t>(words) * 4, '\0');
    if (BN_bn2binpad(number, reinterpret_cast<unsigned char*>(bytes.data()),
                     static_cast<int>(bytes.size())) < 0)
        ssl::RaiseError("BN_bn2binpad");
    return bytes;
}

struct RsaNumbers {
    Bn n, e, d, p, q, dmp1, dmq1, iqmp;
};

bool CoprimeWithExponent(const BIGNUM* prime, const BIGNUM* e, BN_CTX* context) {
    Bn primeMinusOne = NewNumber();
    Bn divisor = NewNumber();
    Check(BN_sub(primeMinusOne.get(), prime, BN_value_one()), "BN_sub");
    Check(BN_gcd(divisor.get(), primeMinusOne.get(), e, context), "BN_gcd");
    return BN_is_one(divisor.get());
}

/// A probable prime of half the key's bits with its two top bits set and p - 1 coprime with e.
Bn GeneratePrime(const BIGNUM* e, BN_CTX* context, int primeBits) {
    for (;;) {
        Bn prime = NewNumber();
        Check(BN_generate_prime_ex2(prime.get(), primeBits, 0, nullptr, nullptr, nullptr, context),
              "BN_generate_prime_ex2");
        if (BN_is_bit_set(prime.get(), primeBits - 1) &&
            BN_is_bit_set(prime.get(), primeBits - 2) &&
            CoprimeWithExponent(prime.get(), e, context))
            return prime;
    }
}

Bn Minus1(const BIGNUM* number) {
    Bn result = NewNumber();
    Check(BN_sub(result.get(), number, BN_value_one()), "BN_sub");
    return result;
}

void DerivePrivateNumbers(RsaNumbers& key, BN_CTX* context) {
    Bn pMinus1 = Minus1(key.p.get());
    Bn qMinus1 = Minus1(key.q.get());
    Bn phi = NewNumber();
    Check(BN_mul(phi.get(), pMinus1.get(), qMinus1.get(), context), "BN_mul");
    BN_set_flags(phi.get(), BN_FLG_CONSTTIME);
    key.d = NewNumber();
    if (!BN_mod_inverse(key.d.get(), key.e.get(), phi.get(), context))
        ssl::RaiseError("BN_mod_inverse");
    key.dmp1 = NewNumber();
    key.dmq1 = NewNumber();
    key.iqmp = NewNumber();
    Check(BN_mod(key.dmp1.get(), key.d.get(), pMinus1.get(), context), "BN_mod");
    Check(BN_mod(key.dmq1.get(), key.d.get(), qMinus1.get(), context), "BN_mod");
    BN_set_flags(key.p.get(), BN_FLG_CONSTTIME);
    if (!BN_mod_inverse(key.iqmp.get(), key.q.get(), key.p.get(), context))
        ssl::RaiseError("BN_mod_inverse");
}

BnCtx NewContext() {
    BnCtx context(BN_CTX_secure_new());
    if (!context)
        ssl::RaiseError("BN_CTX_secure_new");
    return context;
}

/// A prime for the key, searched on a thread of its own with its own context.
std::future<Bn> StartPrimeSearch(unsigned long e, int primeBits) {
    return std::async(std::launch::async, [e, primeBits] {
        const BnCtx context = NewContext();
        const Bn exponent = NewNumber();
        Check(BN_set_word(exponent.get(), e), "BN_set_word");
        return GeneratePrime(exponent.get(), context.get(), primeBits);
    });
}

/// The two primes are searched at once: the search is most of the key generation's time.
RsaNumbers GenerateKeyPair() {
    const BnCtx context = NewContext();
    RsaNumbers key;
    key.e = NewNumber();
    Check(BN_set_word(key.e.get(), kPublicExponent), "BN_set_word");
    const int primeBits = PrimeBits();
    std::future<Bn> p = StartPrimeSearch(kPublicExponent, primeBits);
    std::future<Bn> q = StartPrimeSearch(kPublicExponent, primeBits);
    key.p = p.get();
    key.q = q.get();
    while (BN_cmp(key.p.get(), key.q.get()) == 0)
        key.q = GeneratePrime(key.e.get(), context.get(), primeBits);
    key.n = NewNumber();
    Check(BN_mul(key.n.get(), key.p.get(), key.q.get(), context.get()), "BN_mul");
    DerivePrivateNumbers(key, context.get());
    return key;
}

/// The key as an OpenSSL object for signing.
Pkey SigningKey(const RsaNumbers& key) {
    ParamBuilder builder(OSSL_PARAM_BLD_new());
    if (!builder)
        ssl::RaiseError("OSSL_PARAM_BLD_new");
    const std::pair<const char*, const BIGNUM*> numbers[] = {
        {OSSL_PKEY_PARAM_RSA_N, key.n.get()},
        {OSSL_PKEY_PARAM_RSA_E, key.e.get()},
        {OSSL_PKEY_PARAM_RSA_D, key.d.get()},
        {OSSL_PKEY_PARAM_RSA_FACTOR1, key.p.get()},
        {OSSL_PKEY_PARAM_RSA_FACTOR2, key.q.get()},
        {OSSL_PKEY_PARAM_RSA_EXPONENT1, key.dmp1.get()},
        {OSSL_PKEY_PARAM_RSA_EXPONENT2, key.dmq1.get()},
        {OSSL_PKEY_PARAM_RSA_COEFFICIENT1, key.iqmp.get()},
    };
    for (const auto& [name, number] : numbers)
        Check(OSSL_PARAM_BLD_push_BN(builder.get(), name, number), "OSSL_PARAM_BLD_push_BN");
    Params params(OSSL_PARAM_BLD_to_param(builder.get()));
    PkeyContext context(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
    if (!params || !context)
        ssl::RaiseError("EVP_PKEY_CTX_new_from_name");
    Check(EVP_PKEY_fromdata_init(context.get()), "EVP_PKEY_fromdata_init");
    EVP_PKEY* made = nullptr;
    Check(EVP_PKEY_fromdata(context.get(), &made, EVP_PKEY_KEYPAIR, params.get()),
          "EVP_PKEY_fromdata");
    return Pkey(made);
}

/// RSASSA-PKCS1-v1_5 with SHA-1 over `data`.
std::string SignSha1(const RsaNumbers& key, std::string_view data) {
    const Pkey signingKey = SigningKey(key);
    MdContext context(EVP_MD_CTX_new());
    if (!context)
        ssl::RaiseError("EVP_MD_CTX_new");
    Check(EVP_DigestSignInit(context.get(), nullptr, EVP_sha1(), nullptr, signingKey.get()),
          "EVP_DigestSignInit");
    size_t length = 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    Check(EVP_DigestSign(context.get(), nullptr, &length, bytes, data.size()), "EVP_DigestSign");
    std::string signature(length, '\0');
    Check(EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(signature.data()), &length,
                         bytes, data.size()),
          "EVP_DigestSign");
    signature.resize(length);
    return signature;
}

/// The seven attributes, always all of them, in their fixed order; values byte for byte in
/// Windows-1251, the address in lower case.
std::string Subject(const SubjectData& subject) {
    SubjectValues values;
    values.Country = der::PrintableString(ToCp1251(subject.Country));
    values.State = der::PrintableString(ToCp1251(subject.State));
    values.Locality = der::PrintableString(ToCp1251(subject.Locality));
    values.Organization = der::PrintableString(ToCp1251(subject.Organization));
    values.OrganizUnit = der::PrintableString(ToCp1251(subject.OrganizUnit));
    values.CommonName = der::PrintableString(ToCp1251(subject.CommonName));
    values.Email = der::Ia5String(LowerCase(ToCp1251(subject.Email)));
    return SubjectName(values);
}

/// The key pair in memory signing with SHA-1 (sha1WithRSAEncryption, NULL parameters).
class RsaSigner : public RequestSigner {
public:
    explicit RsaSigner(const RsaNumbers& key) : key_(key) {}
    std::string algorithmIdentifier() const override {
        return der::Sequence({der::Oid(kSha1WithRsa), der::Null()});
    }
    std::string sign(std::string_view requestInfo) override { return SignSha1(key_, requestInfo); }

private:
    const RsaNumbers& key_;
};

std::string SubjectPublicKeyInfo(const RsaNumbers& key) {
    const std::string publicKey = der::Sequence({der::UnsignedInteger(WordBytes(key.n.get())),
                                                 der::UnsignedInteger(WordBytes(key.e.get()))});
    return der::Sequence(
        {der::Sequence({der::Oid(kRsaEncryption), der::Null()}), der::BitString(publicKey)});
}

std::string CertificationRequestDer(const SubjectData& subject, const RsaNumbers& key) {
    const std::string info =
        CertificationRequestInfo(Subject(subject), SubjectPublicKeyInfo(key), {});
    RsaSigner signer(key);
    return SignedCertificationRequest(info, signer);
}

std::string PrivateKeyDer(const RsaNumbers& key) {
    std::vector<std::string> integers;
    for (const BIGNUM* number : {key.n.get(), key.e.get(), key.d.get(), key.p.get(), key.q.get(),
                                 key.dmp1.get(), key.dmq1.get(), key.iqmp.get()}) {
        SecretBytes bytes(WordBytes(number));
        integers.push_back(der::UnsignedInteger(bytes.str()));
    }
    std::string content = der::SmallInteger(0);
    for (std::string& integer : integers) {
        content += integer;
        OPENSSL_cleanse(integer.data(), integer.size());
    }
    SecretBytes contentBytes(std::move(content));
    return der::Element(der::tag::kSequence, contentBytes.str());
}

/// Triple DES in CBC mode under the EVP_BytesToKey/MD5 key of password and vector, with the
/// standard padding of 1 to 8 bytes.
std::string EncryptDesEde3Cbc(std::string_view plain, std::string_view passwordBytes,
                              const unsigned char (&iv)[8]) {
    const EVP_CIPHER* cipher = EVP_des_ede3_cbc();
    unsigned char key[EVP_MAX_KEY_LENGTH];
    const bool derived = ssl::DerivePemKey(cipher, passwordBytes, iv, key);
    ssl::CipherContext context(EVP_CIPHER_CTX_new());
    const bool initialised =
        derived && context && EVP_EncryptInit_ex(context.get(), cipher, nullptr, key, iv) > 0;
    OPENSSL_cleanse(key, sizeof key);
    if (!initialised)
        ssl::RaiseError("EVP_EncryptInit_ex");
    std::string encrypted(plain.size() + 8, '\0');
    int length = 0;
    int finalLength = 0;
    auto* out = reinterpret_cast<unsigned char*>(encrypted.data());
    Check(EVP_EncryptUpdate(context.get(), out, &length,
                            reinterpret_cast<const unsigned char*>(plain.data()),
                            static_cast<int>(plain.size())),
          "EVP_EncryptUpdate");
    Check(EVP_EncryptFinal_ex(context.get(), out + length, &finalLength), "EVP_EncryptFinal_ex");
    encrypted.resize(static_cast<size_t>(length + finalLength));
    return encrypted;
}

std::string Slice(const std::string& text, size_t firstPosition, size_t count) {
    return firstPosition - 1 < text.size() ? text.substr(firstPosition - 1, count) : std::string();
}

PublicKeyActValues ActValues(const SubjectData& subject, const ActPieces& pieces) {
    PublicKeyActValues values;
    values.Subject = subject.subject(); // the act never holds the key's password
    values.PublicKey = pieces.PublicKey;
    values.Prefix = pieces.Prefix;
    values.Modulus = pieces.Modulus;
    values.Postfix = pieces.Postfix;
    values.Exponent = pieces.Exponent;
    return values;
}

/// The key file text, encrypted with the password's Windows-1251 bytes.
std::shared_ptr<SecretBytes> KeyFileText(const RsaNumbers& key, const std::string& password) {
    const SecretBytes privateKey(PrivateKeyDer(key));
    const SecretBytes passwordBytes(ToCp1251(password));
    return std::make_shared<SecretBytes>(TraditionalKeyPem(privateKey.str(), passwordBytes.str()));
}

/// The three files of a request being written and flushed at once, each on its own thread.
/// Each result is taken in the fixed order key file, act, record, so a file that fails makes
/// its error at its own turn; all three are put in place together, once all are written.
struct FolderWrites {
    std::future<PreparedFile> keyFile;
    std::future<std::optional<PreparedFile>> act;
    std::future<PreparedFile> record;
};

/// Where the request's three files go.
struct RequestPaths {
    std::string key;
    std::string act;
    std::string record;
};

RequestPaths PathsOf(const std::string& folder, const std::string& keyFileName,
                     const SubjectData& subject, RequestSet set) {
    if (set == RequestSet::Renewal)
        return {folder + keyFileName, folder + kRenewalActFile, folder + kRenewalRecordFile};
    return {folder + keyFileName, PublicKeyActPath(folder, subject.Email),
            folder + kRequestRecordFile};
}

FolderWrites StartFolderWrites(const RequestPaths& paths, const SubjectData& subject,
                               std::shared_ptr<SecretBytes> keyText, const ActPieces& pieces) {
    FolderWrites writes;
    writes.keyFile = std::async(std::launch::async, [path = paths.key, keyText] {
        return PrepareKeyFile(path, keyText->str());
    });
    writes.act =
        std::async(std::launch::async, [path = paths.act, values = ActValues(subject, pieces)] {
            std::optional<PreparedFile> prepared;
            if (const std::optional<std::string> act = PublicKeyActText(kRsaActTemplate, values))
                prepared.emplace(path, *act, FileAccess::Shared, AtLink::Refuse);
            return prepared;
        });
    writes.record = std::async(std::launch::async, [path = paths.record, subject] {
        return PreparedFile(path, RsaRequestRecord(path, subject).Serialize(), FileAccess::Private,
                            AtLink::Refuse);
    });
    return writes;
}

} // namespace

std::string RequestTextFromPem(std::string_view pem) {
    std::string text;
    for (const std::string& line : Split(ToCrLf(pem), "\r\n"))
        if (!Trim(line).empty())
            text += line + "\r\n";
    return text;
}

std::string TraditionalKeyPem(std::string_view privateKeyDer, std::string_view passwordBytes) {
    constexpr const char* kLabel = "RSA PRIVATE KEY";
    if (passwordBytes.empty())
        return PemArmour(kLabel, privateKeyDer);
    unsigned char iv[8];
    if (RAND_bytes(iv, sizeof iv) != 1)
        ssl::RaiseError("RAND_bytes");
    const std::string headers =
        "Proc-Type: 4,ENCRYPTED\nDEK-Info: DES-EDE3-CBC," +
        UpperHex(std::string_view(reinterpret_cast<const char*>(iv), sizeof iv)) + "\n";
    return PemArmour(kLabel, EncryptDesEde3Cbc(privateKeyDer, passwordBytes, iv), headers);
}

ActPieces CutActPieces(std::string_view requestDer, std::string_view modulus) {
    ActPieces pieces;
    const size_t position = modulus.empty() ? std::string_view::npos : requestDer.find(modulus);
    if (position == std::string_view::npos) {
        pieces.PublicKey = HexText(modulus);
        return pieces;
    }
    const size_t start = position >= kModulusSpanMargin ? position - kModulusSpanMargin : 0;
    pieces.PublicKey = HexText(requestDer.substr(start, modulus.size() + 2 * kModulusSpanMargin));
    pieces.Prefix = Slice(pieces.PublicKey, 1, 17);
    pieces.Modulus = Slice(pieces.PublicKey, 19, 434);
    pieces.Postfix = Slice(pieces.PublicKey, 454, 6);
    pieces.Exponent = Slice(pieces.PublicKey, 461, 11);
    return pieces;
}

namespace {

/// A key file, a certificate or a record: an earlier request (RSA or GOST) that a new one would
/// replace. A GOST folder has no key file, and its record holds the only link to the container.
bool HoldsEarlierRequest(const std::string& folder, const std::string& keyPath) {
    return FileExists(keyPath) || FileExists(folder + kCertificateFile) ||
           FileExists(folder + kRequestRecordFile);
}

/// Asks before the request replaces the files of an earlier one: the working request's for a
/// new request, a pending renewal's for a renewal. False when the user keeps them.
bool MayReplaceEarlierRequest(const std::string& folder, const std::string& keyPath,
                              RequestSet set) {
    if (set == RequestSet::Renewal)
        return !HoldsPendingRenewalFiles(folder) || AskYesNo(Tr(kReplacePendingRenewalQuestion));
    return !HoldsEarlierRequest(folder, keyPath) || AskYesNo(Tr(kReplaceKeyQuestion));
}

} // namespace

RsaRequestResult MakeRsaRequest(const std::string& keyFileName, const SubjectData& subject,
                                RequestSet set) {
    const std::string folder = CertificateFolder(subject.Email);
    const RequestPaths paths = PathsOf(folder, keyFileName, subject, set);
    RsaRequestResult result;
    // What stands in the way of a file the request writes is found before a key is made.
    CheckCertificateFolder(folder);
    for (const std::string& path : {paths.key, paths.act, paths.record})
        CheckReplaceableFile(path);
    if (!MayReplaceEarlierRequest(folder, paths.key, set))
        return result;
    const RsaNumbers key = GenerateKeyPair();
    const std::string requestDer = CertificationRequestDer(subject, key);
    std::string requestText = RequestTextFromPem(PemArmour("NEW CERTIFICATE REQUEST", requestDer));
    const ActPieces pieces = CutActPieces(requestDer, WordBytes(key.n.get()));
    CreateCertificateFolder(folder);
    FolderWrites writes =
        StartFolderWrites(paths, subject, KeyFileText(key, subject.Password), pieces);
    PreparedFile keyFile = writes.keyFile.get();
    std::optional<PreparedFile> act = writes.act.get();
    PreparedFile record = writes.record.get();
    std::vector<RequestFilePut> puts = {{KindInSet(RequestFile::Key, set), &keyFile}};
    if (act)
        puts.push_back({KindInSet(RequestFile::Act, set), &*act});
    puts.push_back({KindInSet(RequestFile::Record, set), &record});
    result.files.Put(puts);
    result.outcome = RequestOutcome::Made;
    result.requestText = std::move(requestText);
    return result;
}

} // namespace cq
