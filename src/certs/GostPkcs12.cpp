// The GOST engine's digests are reached through OpenSSL's engine interface, which OpenSSL 3
// marks as deprecated; it is the interface the Debian engine offers.
#define OPENSSL_SUPPRESS_DEPRECATED

#include "certs/GostPkcs12.h"

#include "base/Dialogs.h"
#include "base/Errors.h"
#include "base/FileUtil.h"
#include "base/IniFile.h"
#include "base/OpenSslOwners.h"
#include "base/StringUtil.h"
#include "base/Translate.h"
#include "certs/CertificateFolderLock.h"
#include "certs/Download.h"
#include "certs/GostPkcs12Writer.h"
#include "certs/GostProcedure.h"
#include "certs/GostRequest.h"
#include "certs/Pkcs12Export.h"
#include "certs/Pkcs12Survey.h"
#include "certs/PublicKeyAct.h"
#include "certs/RequestFolder.h"
#include "certs/SslOwners.h"
#include "provider/ContainerPassword.h"
#include "provider/ContainerStore.h"
#include "provider/SoftwareGostProvider.h"
#include "settings/CertFolders.h"
#include "settings/EmailList.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/provider.h>

#include <cstdlib>

namespace cq {
namespace {

using provider::GostKey;

const std::string kFileName = "Certificate.p12";
constexpr const char* kMismatchText = TrMark("Ключ в файле не соответствует сертификату.");

std::string Pem(X509* certificate) {
    ssl::Bio output(BIO_new(BIO_s_mem()));
    if (!output || PEM_write_bio_X509(output.get(), certificate) != 1)
        ssl::RaiseError("PEM_write_bio_X509");
    char* bytes = nullptr;
    const long length = BIO_get_mem_data(output.get(), &bytes);
    return std::string(bytes, static_cast<size_t>(length));
}

std::string PublicKeyInfoOf(X509* certificate) {
    unsigned char* der = nullptr;
    const int length = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(certificate), &der);
    if (length <= 0)
        ssl::RaiseError("i2d_X509_PUBKEY");
    std::string bytes(reinterpret_cast<const char*>(der), static_cast<size_t>(length));
    OPENSSL_free(der);
    return bytes;
}

/// The first value of a name attribute as UTF-8 ("" when there is none).
std::string NameEntry(X509_NAME* name, int nid) {
    const int index = X509_NAME_get_index_by_NID(name, nid, -1);
    if (index < 0)
        return {};
    unsigned char* text = nullptr;
    const int length =
        ASN1_STRING_to_UTF8(&text, X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, index)));
    if (length < 0)
        return {};
    std::string value(reinterpret_cast<const char*>(text), static_cast<size_t>(length));
    OPENSSL_free(text);
    return value;
}

SubjectData SubjectOf(X509* certificate) {
    X509_NAME* name = X509_get_subject_name(certificate);
    SubjectData subject;
    subject.Country = NameEntry(name, NID_countryName);
    subject.State = NameEntry(name, NID_stateOrProvinceName);
    subject.Locality = NameEntry(name, NID_localityName);
    subject.Organization = NameEntry(name, NID_organizationName);
    subject.OrganizUnit = NameEntry(name, NID_organizationalUnitName);
    subject.CommonName = NameEntry(name, NID_commonName);
    subject.Email = NameEntry(name, NID_pkcs9_emailAddress);
    return subject;
}

/// The key as an unencrypted PKCS#8 PEM text, the form a container without password has.
SecretBytes KeyText(EVP_PKEY* key) {
    ssl::Bio output(BIO_new(BIO_s_secmem()));
    if (!output || PEM_write_bio_PKCS8PrivateKey(output.get(), key, nullptr, nullptr, 0, nullptr,
                                                 nullptr) != 1)
        ssl::RaiseError("PEM_write_bio_PKCS8PrivateKey");
    char* bytes = nullptr;
    const long length = BIO_get_mem_data(output.get(), &bytes);
    return SecretBytes(bytes, static_cast<size_t>(length));
}

void RefuseUnusableKey(EVP_PKEY* key) {
    const int type = EVP_PKEY_get_base_id(key);
    if (type == EVP_PKEY_RSA || type == EVP_PKEY_RSA_PSS)
        throw Exception(TrFormat("В файле ключ RSA, а не ГОСТ. Сертификат RSA делается в режиме "
                                 "RSA: запрос, получение и экспорт в \"%1\".",
                                 {kFileName}));
    if (type != NID_id_GostR3410_2012_256)
        throw Exception(Tr("Ключ в файле не ГОСТ Р 34.10-2012 (256 бит): такой ключ программа "
                           "не использует."));
}

/// The key and certificate of an opened PKCS#12 file.
struct Parsed {
    ssl::PrivateKey key;
    ssl::Certificate certificate;
    bool withoutMac = false;
};

/// The legacy provider beside the default one in the default library context, loaded once, for
/// the RC2, RC4 and single-DES protection of older files. It only adds algorithms: what the
/// program writes names its own.
OSSL_PROVIDER* defaultProvider = nullptr;
OSSL_PROVIDER* legacyProvider = nullptr;

/// Lets the providers go at the end, before the library's own clean-up, which leaves a loaded
/// provider's memory behind.
void UnloadLegacyProvider() {
    if (legacyProvider)
        OSSL_PROVIDER_unload(legacyProvider);
    if (defaultProvider)
        OSSL_PROVIDER_unload(defaultProvider);
}

void LoadLegacyProvider() {
    static const bool loaded = [] {
        defaultProvider = OSSL_PROVIDER_load(nullptr, "default");
        legacyProvider = OSSL_PROVIDER_load(nullptr, "legacy");
        ERR_clear_error();
        std::atexit(UnloadLegacyProvider);
        return legacyProvider != nullptr;
    }();
    if (!loaded)
        throw Exception(Tr("Файл PKCS#12 защищён устаревшими алгоритмами (RC2, RC4 или DES), а "
                           "модуль legacy библиотеки OpenSSL, который их читает, не загружается."));
}

Parsed ParsePkcs12(std::string_view bytes, const std::string& password) {
    const auto* der = reinterpret_cast<const unsigned char*>(bytes.data());
    const ssl::Pkcs12 container(d2i_PKCS12(nullptr, &der, static_cast<long>(bytes.size())));
    if (!container) {
        ERR_clear_error();
        throw Exception(Tr("Файл не является файлом PKCS#12."));
    }
    if (const std::string unsupported = UnsupportedPkcs12Protection(container.get());
        !unsupported.empty())
        throw Exception(TrFormat("Файл PKCS#12 не открывается: %1.", {unsupported}));
    if (NamesLegacyAlgorithm(container.get()))
        LoadLegacyProvider();
    const Pkcs12Survey survey = SurveyPkcs12(container.get(), password);
    // A file written without a MAC ("openssl pkcs12 -nomac") gets one of ours over its content,
    // so that the library reads it; the caller is told that nothing vouched for the content.
    const bool withoutMac = !PKCS12_mac_present(container.get());
    if (withoutMac && survey.plainKeys > 0)
        throw Exception(Tr("Файл PKCS#12 не открывается: в нём нет ни кода целостности (MAC), ни "
                           "шифрования ключа, и ничто не подтверждает, что он не изменён."));
    if (withoutMac &&
        PKCS12_set_mac(container.get(), password.c_str(), -1, nullptr, 0, 1, EVP_sha256()) != 1) {
        ERR_clear_error();
        throw Exception(Tr("Файл PKCS#12 не открывается: повреждённый файл."));
    }
    EVP_PKEY* key = nullptr;
    X509* certificate = nullptr;
    STACK_OF(X509)* chain = nullptr;
    const int parsed = PKCS12_parse(container.get(), password.c_str(), &key, &certificate, &chain);
    Parsed result{ssl::PrivateKey(key), ssl::Certificate(certificate), withoutMac};
    const ssl::CertificateStack chainOwner(chain);
    ERR_clear_error();
    if (parsed != 1)
        throw Exception(Tr("Файл PKCS#12 не открывается: неверный пароль или повреждённый файл."),
                        FailureClass::WrongPassword);
    // The import makes one container of one key: a second key would be lost without a word.
    if (survey.keys > 1)
        throw Exception(TrFormat("В файле PKCS#12 несколько закрытых ключей (%1), а импорт "
                                 "переносит один ключ с его сертификатом: ничего не "
                                 "импортировано. Сохраните каждый ключ в отдельный файл.",
                                 {std::to_string(survey.keys)}),
                        FailureClass::BadInput);
    // OpenSSL pairs the key only with a certificate of its own: other certificates stay in
    // the chain.
    if (result.key && !result.certificate && chain && sk_X509_num(chain) > 0)
        throw Exception(Tr(kMismatchText), FailureClass::Mismatch);
    if (!result.key || !result.certificate)
        throw Exception(Tr("В файле PKCS#12 нет ключа или сертификата."));
    return result;
}

/// The name of the container of a GOST folder and the provider it lives in.
struct ContainerRecord {
    std::string provider;
    std::string container;
};

ContainerRecord ReadRecord(const std::string& folder) {
    const IniFile record = IniFile::Load(folder + kRequestRecordFile);
    ContainerRecord names{Trim(record.ReadString("Cert", "Algorithm")),
                          Trim(record.ReadString("Cert", "Container"))};
    if (names.provider.empty() || names.container.empty())
        throw Exception(TrFormat("В папке %1 нет запроса ГОСТ.", {folder}));
    return names;
}

void RefuseKeyOutsideSoftware(const ContainerRecord& names,
                              const provider::ProviderRegistry& registry) {
    if (names.provider == provider::kSoftwareGostProviderName)
        return;
    for (const auto& candidate : registry.providers())
        if (candidate->name() == names.provider && candidate->keepsCertificates())
            throw Exception(TrFormat("Ключ контейнера \"%1\" хранится на токене \"%2\" и не "
                                     "извлекается: файл \"%3\" с ним создать нельзя.",
                                     {names.container, names.provider, kFileName}));
    throw Exception(TrFormat("Ключ контейнера \"%1\" хранится в крипто провайдере \"%2\" и не "
                             "извлекается: файл \"%3\" с ним создать нельзя.",
                             {names.container, names.provider, kFileName}));
}

std::string ContainerFilePath(const std::string& container) {
    if (!provider::IsUsableContainerName(container))
        throw provider::ProviderError(provider::code::kBadKeySetParam, container);
    return provider::ContainerPath(IncludeTrailingPathDelimiter(provider::DefaultContainerFolder()),
                                   container);
}

GostKey OpenContainer(const std::string& container) {
    const std::string path = ContainerFilePath(container);
    if (!FileExists(path))
        throw provider::ProviderError(provider::code::kBadKeySet, container);
    const SecretBytes text(ReadFileBytes(path));
    return GostKey::FromContainerText(text.view(), [&container] {
        return provider::AskContainerPassword(container, provider::PasswordPurpose::OpenContainer);
    });
}

ssl::Certificate ReadCertificateFile(const std::string& path) {
    ssl::Certificate certificate = ssl::PemCertificate(ReadFileBytes(path));
    if (!certificate)
        throw Exception(TrFormat("Неверный файл сертификата : \"%1\".", {kCertificateFile}));
    return certificate;
}

/// A new container's name and password, asked before anything is written.
struct NewContainer {
    std::string name;
    SecretBytes password;
};

NewContainer AskNewContainer(const Clock& clock) {
    // A folder the key could never go into is said before the password is asked.
    provider::CheckContainerFolder(provider::DefaultContainerFolder());
    NewContainer container{GostContainerName(clock()), SecretBytes()};
    std::optional<SecretBytes> password =
        provider::AskContainerPassword(container.name, provider::PasswordPurpose::NewContainer);
    if (!password)
        throw provider::ProviderError(provider::code::kCancelled);
    container.password = std::move(*password);
    return container;
}

/// Stores the key; another run that took the container's name meanwhile gets it renamed.
void StoreContainer(const GostKey& key, NewContainer& container) {
    const std::string folder = IncludeTrailingPathDelimiter(provider::DefaultContainerFolder());
    provider::EnsureContainerFolder(folder);
    container.name = provider::StoreNewContainerUnderFreeName(
        folder, container.name, key.containerText(container.password.view()).view());
}

} // namespace

GostPkcs12Content ReadGostPkcs12(std::string_view bytes, const std::string& password) {
    const Parsed parsed = ParsePkcs12(bytes, password);
    RefuseUnusableKey(parsed.key.get());
    if (X509_check_private_key(parsed.certificate.get(), parsed.key.get()) != 1) {
        ERR_clear_error();
        throw Exception(Tr(kMismatchText), FailureClass::Mismatch);
    }
    const SecretBytes keyText = KeyText(parsed.key.get());
    return GostPkcs12Content{
        GostKey::FromContainerText(keyText.view(), [] { return std::optional<SecretBytes>(); }),
        Pem(parsed.certificate.get()), PublicKeyInfoOf(parsed.certificate.get()),
        SubjectOf(parsed.certificate.get()), parsed.withoutMac};
}

std::string ExportGostPkcs12(const std::string& email, const std::string& password,
                             const provider::ProviderRegistry& registry,
                             std::optional<GostPkcs12Cipher> cipher) {
    RefuseEmptyExportPassword(password);
    const CertificateFolderLock held(email, CertificateFolderLock::Missing::Leave);
    const std::string& folder = held.folder();
    CheckReplaceableFile(folder + kFileName);
    const ContainerRecord names = ReadRecord(folder);
    RefuseKeyOutsideSoftware(names, registry);
    const ssl::Certificate certificate = ReadCertificateFile(folder + kCertificateFile);
    const GostKey key = OpenContainer(names.container);
    if (!key.matchesPublicKey(PublicKeyInfoOf(certificate.get())))
        throw Exception(TrFormat("Файл сертификата \"%1\" не соответствует контейнеру ключей "
                                 "\"%2\".",
                                 {kCertificateFile, names.container}),
                        FailureClass::Mismatch);
    const SecretBytes keyText = key.containerText({});
    ssl::Bio input(BIO_new_mem_buf(keyText.data(), static_cast<int>(keyText.size())));
    const ssl::PrivateKey privateKey(
        input ? PEM_read_bio_PrivateKey(input.get(), nullptr, nullptr, nullptr) : nullptr);
    if (!privateKey)
        ssl::RaiseError("PEM_read_bio_PrivateKey");
    const std::string target = folder + kFileName;
    PreparedFile output(target,
                        GostPkcs12Bytes(privateKey.get(), certificate.get(), password, email,
                                        cipher.value_or(ConfiguredGostPkcs12Cipher()),
                                        kGostPkcs12Iterations),
                        FileAccess::Private, AtLink::Refuse);
    VerifyPkcs12(output.temporaryPath(), password, kFileName);
    output.Commit();
    return target;
}

std::string ImportGostPkcs12(const std::string& email, const std::string& path,
                             const std::string& password, bool replace, const Clock& clock) {
    const GostPkcs12Content content = ReadGostPkcs12(ReadFileBytes(path), password);
    if (content.WithoutMac)
        ShowWarningBox(Tr(kWithoutMacWarning));
    if (!replace && DirectoryExists(CertificateFolder(email)))
        throw Exception(TrFormat("Папка сертификата для адреса %1 уже существует.", {email}));
    NewContainer container = AskNewContainer(clock);
    const CertificateFolderLock held(email, CertificateFolderLock::Missing::Create);
    for (const std::string& written :
         {PublicKeyActPath(held.folder(), email), held.folder() + kRequestRecordFile,
          held.folder() + kCertificateFile})
        CheckReplaceableFile(written);
    // As for a request: the container first; it stays whatever happens afterwards.
    StoreContainer(content.Key, container);
    PublicKeyActValues values;
    values.Subject = content.Subject;
    values.Subject.Email = email;
    values.Algorithm = provider::kSoftwareGostProviderName;
    values.Container = container.name;
    values.PublicKey = HexText(PublicKeyBytes(content.PublicKeyInfo));
    values.Prefix = "?1?";
    values.Modulus = "?2?";
    values.Postfix = "?3?";
    values.Exponent = "?4?";
    // The certificate is part of the unit: the journal says accepted only once the act, the
    // record naming the new container and the certificate of its key are all in place.
    PreparedFile certificate(held.folder() + kCertificateFile,
                             CertificateFileText(content.CertificatePem), FileAccess::Shared,
                             AtLink::Refuse);
    RequestFolder files;
    PutGostActAndRecord(files, held.folder(), values, clock, &certificate);
    files.Commit();
    AddEmailToList(email);
    return container.name;
}

} // namespace cq
