#include "certs/CertificateCheck.h"

#include "app/ErrorReport.h"
#include "base/Errors.h"
#include "base/FileUtil.h"
#include "base/SecretBytes.h"
#include "base/StringUtil.h"
#include "base/TextCodec.h"
#include "base/Translate.h"
#include "certs/CertificateFolderLock.h"
#include "certs/DerReader.h"
#include "certs/KeyFile.h"
#include "certs/SslOwners.h"
#include "settings/CertFolders.h"

#include <cstdio>
#include <ctime>
#include <openssl/objects.h>
#include <tuple>
#include <utility>

namespace cq {
namespace {

std::string MissingFilesMessage(const std::string& cert, const std::string& key) {
    return TrFormat("Не найден файл/ы сертификата : \"%1\" или \"%2\".", {cert, key});
}
std::string BadCertificateMessage(const std::string& cert) {
    return TrFormat("Неверный файл сертификата : \"%1\".", {cert});
}
constexpr const char* kWrongPasswordMessage = TrMark("Неверный пароль сертификата.");
std::string UndecodableKeyMessage(const std::string& key) {
    return TrFormat("Неверный файл. Не удается декодировать \"%1\"", {key});
}
std::string NotPkcs1Message(const std::string& key) {
    return TrFormat("Неверный файл. Не удается расшифровать \"%1\"", {key});
}
std::string UnreadableNumbersMessage(const std::string& key) {
    return TrFormat("Не верный файл. Не удается расшифровать \"%1\"", {key});
}
std::string MismatchMessage(const std::string& cert, const std::string& key) {
    return TrFormat("Файл сертификата \"%1\" не соответствует файлу ключа \"%2\"", {cert, key});
}

/// Big-endian code units of `width` bytes (2: UTF-16 with surrogate pairs, 4: UTF-32) to UTF-8.
std::string WideToUtf8(std::string_view bytes, size_t width) {
    std::string out;
    for (size_t i = 0; i + width <= bytes.size(); i += width) {
        uint32_t unit = 0;
        for (size_t j = 0; j < width; ++j)
            unit = (unit << 8) | static_cast<uint8_t>(bytes[i + j]);
        if (width == 2 && unit >= 0xD800 && unit < 0xDC00 && i + 2 * width <= bytes.size()) {
            const uint32_t low =
                (static_cast<uint8_t>(bytes[i + 2]) << 8) | static_cast<uint8_t>(bytes[i + 3]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                i += width;
            }
        }
        AppendUtf8(out, unit > 0x10FFFF ? 0xFFFD : unit);
    }
    return out;
}

/// The text of an attribute value: wide strings go through the single-byte code page (so
/// characters it lacks become "?"), single-byte strings are Windows-1251 bytes.
std::string AttributeText(const ASN1_STRING* value) {
    const std::string_view bytes(reinterpret_cast<const char*>(ASN1_STRING_get0_data(value)),
                                 static_cast<size_t>(ASN1_STRING_length(value)));
    switch (ASN1_STRING_type(value)) {
    case V_ASN1_BMPSTRING:
        return FromCp1251(ToCp1251(WideToUtf8(bytes, 2)));
    case V_ASN1_UNIVERSALSTRING:
        return FromCp1251(ToCp1251(WideToUtf8(bytes, 4)));
    case V_ASN1_UTF8STRING:
        return FromCp1251(ToCp1251(bytes));
    default:
        return FromCp1251(bytes);
    }
}

std::string AttributeName(int nid) {
    switch (nid) {
    case NID_commonName:
        return "CommonName";
    case NID_countryName:
        return "Country";
    case NID_localityName:
        return "Locality";
    case NID_stateOrProvinceName:
        return "StateOrProvince";
    case NID_organizationName:
        return "Organization";
    case NID_organizationalUnitName:
        return "OrganizationUnit";
    default:
        return "UnknownField";
    }
}

std::vector<NameLine> NameLines(const X509_NAME* name) {
    std::vector<NameLine> lines;
    const int count = X509_NAME_entry_count(name);
    for (int i = 0; i < count; ++i) {
        const X509_NAME_ENTRY* entry = X509_NAME_get_entry(name, i);
        lines.push_back({AttributeName(OBJ_obj2nid(X509_NAME_ENTRY_get_object(entry))),
                         AttributeText(X509_NAME_ENTRY_get_data(entry))});
    }
    return lines;
}

/// Modulus and exponent of an RSA subject public key, as their INTEGER content octets.
std::string PublicKeyInfoDer(X509* certificate) {
    unsigned char* bytes = nullptr;
    const int length = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(certificate), &bytes);
    if (length <= 0)
        return {};
    std::string der(reinterpret_cast<const char*>(bytes), static_cast<size_t>(length));
    OPENSSL_free(bytes);
    return der;
}

void ReadRsaPublicKey(X509* certificate, CertificateContent& content) {
    ASN1_OBJECT* algorithm = nullptr;
    const unsigned char* key = nullptr;
    int keyLength = 0;
    if (X509_PUBKEY_get0_param(&algorithm, &key, &keyLength, nullptr,
                               X509_get_X509_PUBKEY(certificate)) != 1 ||
        OBJ_obj2nid(algorithm) != NID_rsaEncryption)
        return;
    der::Reader outer(
        std::string_view(reinterpret_cast<const char*>(key), static_cast<size_t>(keyLength)));
    const auto sequence = outer.next(der::tag::kSequence);
    if (!sequence)
        return;
    der::Reader inner(sequence->content);
    const auto modulus = inner.next(der::tag::kInteger);
    const auto exponent = inner.next(der::tag::kInteger);
    if (!modulus || !exponent)
        return;
    content.RsaKey = true;
    content.Modulus = modulus->content;
    content.PublicExponent = exponent->content;
}

bool ReadNotAfter(X509* certificate, CertificateDateTime& moment) {
    std::tm tm{};
    if (ASN1_TIME_to_tm(X509_get0_notAfter(certificate), &tm) != 1)
        return false;
    moment = {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
    return true;
}

std::string IssuerCommonName(const std::vector<NameLine>& issuer) {
    for (const NameLine& line : issuer)
        if (line.Name == "CommonName")
            return line.Value;
    return {};
}

void RaiseWrongPasswordIfSo(std::string_view keyFileBytes, const std::string& password) {
    const SecretBytes passwordBytes(ToCp1251(password));
    if (DecodePemBlock(keyFileBytes, passwordBytes.view()).status == PemDecodeStatus::WrongPassword)
        throw Exception(Tr(kWrongPasswordMessage), FailureClass::WrongPassword);
}

} // namespace

CertificateContent ReadCertificate(std::string_view fileBytes, const std::string& password,
                                   const std::string& certFileName) {
    const SecretBytes passwordBytes(ToCp1251(password));
    const PemBlock block = DecodePemBlock(fileBytes, passwordBytes.view(), "CERTIFICATE");
    if (block.status != PemDecodeStatus::Decoded)
        throw Exception(BadCertificateMessage(certFileName));
    const auto* der = reinterpret_cast<const unsigned char*>(block.bytes.data());
    const ssl::Certificate certificate(
        d2i_X509(nullptr, &der, static_cast<long>(block.bytes.size())));
    CertificateContent content;
    if (!certificate || !ReadNotAfter(certificate.get(), content.NotAfter)) {
        ssl::DrainErrors();
        throw Exception(BadCertificateMessage(certFileName));
    }
    content.Subject = NameLines(X509_get_subject_name(certificate.get()));
    content.Issuer = NameLines(X509_get_issuer_name(certificate.get()));
    ReadRsaPublicKey(certificate.get(), content);
    content.PublicKeyInfo = PublicKeyInfoDer(certificate.get());
    ssl::DrainErrors();
    return content;
}

std::string DescribeCertificate(const CertificateContent& certificate, bool& expired,
                                const Clock& clock) {
    const std::string info = Trim(LabelledNameText(certificate.Subject)) + "\r\n\r\n" +
                             TrFormat("Издатель : %1", {IssuerCommonName(certificate.Issuer)});
    const std::string validTo = FormatCertificateDate(certificate.NotAfter);
    expired = IsExpiredAt(certificate.NotAfter, clock());
    const std::string until = expired ? TrFormat("%1 (Просрочен!!!)", {validTo}) : validTo;
    return TrFormat("Проверка сертификата.\r\nДействителен до даты - %1\r\n\r\nИнформация по "
                    "сертификату - \r\n\r\n%2",
                    {until, Trim(info)});
}

std::string LabelledNameText(const std::vector<NameLine>& lines) {
    static const std::pair<const char*, const char*> kLabels[] = {
        {"Country=", TrMark("Страна/регион : ")},
        {"StateOrProvince=", TrMark("Область, штат : ")},
        {"Locality=", TrMark("Город : ")},
        {"Organization=", TrMark("Организация : ")},
        {"OrganizationUnit=", TrMark("Подразделение : ")},
        {"CommonName=", TrMark("Имя : ")},
        {"UnknownField=", "Email : "},
    };
    std::vector<std::string> joined;
    for (const NameLine& line : lines)
        joined.push_back(line.Name + "=" + line.Value);
    std::string text = Join(joined, "\r\n");
    for (const auto& [from, to] : kLabels)
        text = ReplaceText(text, from, Tr(to));
    return text;
}

std::string FormatCertificateDate(const CertificateDateTime& moment) {
    char text[64];
    std::snprintf(text, sizeof text, "%02d.%02d.%04d %02d:%02d:%02d", moment.day, moment.month,
                  moment.year, moment.hour, moment.minute, moment.second);
    return text;
}

bool IsExpiredAt(const CertificateDateTime& validTo, TimePoint now) {
    const LocalDateTime today = ToLocal(now);
    return std::make_tuple(today.year, today.month, today.day, 0, 0, 0) >=
           std::make_tuple(validTo.year, validTo.month, validTo.day, validTo.hour, validTo.minute,
                           validTo.second);
}

void CheckKeyMatch(const CertificateContent& certificate, std::string_view keyFileBytes,
                   const std::string& certFileName, const std::string& keyFileName,
                   const std::string& password) {
    const SecretBytes passwordBytes(ToCp1251(password));
    const PemBlock block = DecodePemBlock(keyFileBytes, passwordBytes.view());
    if (block.status != PemDecodeStatus::Decoded)
        throw Exception(UndecodableKeyMessage(keyFileName));
    RsaKeyNumbers numbers;
    switch (ParseRsaPrivateKey(block.bytes.view(), numbers)) {
    case Pkcs1Status::NotPkcs1:
        throw Exception(NotPkcs1Message(keyFileName));
    case Pkcs1Status::NumbersUnreadable:
        throw Exception(UnreadableNumbersMessage(keyFileName));
    case Pkcs1Status::Parsed:
        break;
    }
    // The whole modulus must match: a shorter key modulus that merely begins the certificate's
    // is no match.
    if (!certificate.RsaKey || numbers.modulus.view() != certificate.Modulus)
        throw Exception(MismatchMessage(certFileName, keyFileName), FailureClass::Mismatch);
}

CheckResult PassedCheck(const CertificateContent& certificate, const Clock& clock) {
    CheckResult result;
    result.Text = DescribeCertificate(certificate, result.Expired, clock);
    result.Valid = !result.Expired;
    return result;
}

CheckResult ReportingCheck(const std::function<CheckResult()>& check) {
    try {
        return check();
    } catch (const std::exception& error) {
        ReportError(context::kCheckCertificate, error);
        return CheckResult();
    }
}

CheckResult CheckFolderCertificate(const std::string& folder, const std::string& certFileName,
                                   const std::string& keyFileName, const std::string& password,
                                   const Clock& clock) {
    if (!FileExists(folder + certFileName) || !FileExists(folder + keyFileName))
        throw Exception(MissingFilesMessage(certFileName, keyFileName));
    const CertificateContent certificate =
        ReadCertificate(ReadFileBytes(folder + certFileName), password, certFileName);
    SecretBytes keyFile(ReadFileBytes(folder + keyFileName));
    RaiseWrongPasswordIfSo(keyFile.view(), password);
    const CheckResult passed = PassedCheck(certificate, clock);
    CheckKeyMatch(certificate, keyFile.view(), certFileName, keyFileName, password);
    return passed;
}

CheckResult CheckCertificate(const std::string& certFileName, const std::string& keyFileName,
                             const std::string& email, const std::string& password,
                             const Clock& clock) {
    return ReportingCheck([&] {
        const CertificateFolderLock held(email, CertificateFolderLock::Missing::Leave);
        return CheckFolderCertificate(held.folder(), certFileName, keyFileName, password, clock);
    });
}

} // namespace cq
