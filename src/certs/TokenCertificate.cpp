#include "certs/TokenCertificate.h"

#include "base/Errors.h"
#include "base/FileUtil.h"
#include "base/IniFile.h"
#include "base/StringUtil.h"
#include "base/Translate.h"
#include "certs/SslOwners.h"
#include "log/Log.h"
#include "settings/CertFolders.h"

namespace cq {
namespace {

/// The DER of the first certificate of a PEM file.
std::string CertificateDer(const std::string& fileBytes, const std::string& certFileName) {
    const ssl::Certificate certificate = ssl::PemCertificate(fileBytes);
    unsigned char* der = nullptr;
    const int length = certificate ? i2d_X509(certificate.get(), &der) : -1;
    ssl::DrainErrors();
    if (length <= 0)
        throw Exception(TrFormat("Неверный файл сертификата : \"%1\".", {certFileName}));
    std::string bytes(reinterpret_cast<const char*>(der), static_cast<size_t>(length));
    OPENSSL_free(der);
    return bytes;
}

} // namespace

void StoreCertificateWithKey(const std::string& certFileName, const std::string& email,
                             const provider::ProviderRegistry& registry) {
    const std::string folder = CertificateFolder(email);
    const IniFile record = IniFile::Load(folder + kRequestRecordFile);
    const std::string providerName = Trim(record.ReadString("Cert", "Algorithm"));
    const std::string container = Trim(record.ReadString("Cert", "Container"));
    if (provider::CryptoProvider* found = registry.named(providerName)) {
        if (found->keepsCertificates())
            found->storeCertificate(
                container, CertificateDer(ReadFileBytes(folder + certFileName), certFileName));
        return;
    }
    WriteLog("Сертификат " + folder + certFileName + " не записан к ключу: крипто провайдер \"" +
                 providerName + "\" не найден",
             LogKind::Stamped);
}

} // namespace cq
