#include "certs/GostCheck.h"

#include "base/Errors.h"
#include "base/FileUtil.h"
#include "base/IniFile.h"
#include "base/StringUtil.h"
#include "base/Translate.h"
#include "certs/CertificateFolderLock.h"
#include "certs/GostRequest.h"
#include "provider/SoftwareGostProvider.h"
#include "settings/CertFolders.h"

namespace cq {
namespace {

struct ContainerRecord {
    std::string provider;
    std::string container;
};

ContainerRecord ReadContainerRecord(const std::string& folder) {
    const IniFile record = IniFile::Load(folder + kRequestRecordFile);
    ContainerRecord names{Trim(record.ReadString("Cert", "Algorithm")),
                          Trim(record.ReadString("Cert", "Container"))};
    if (names.provider.empty() || names.container.empty())
        throw Exception(TrFormat("В файле %1 не указаны крипто провайдер и контейнер ключей.",
                                 {folder + kRequestRecordFile}));
    return names;
}

provider::CryptoProvider& ProviderNamed(const provider::ProviderRegistry& registry,
                                        const std::string& name) {
    if (provider::CryptoProvider* found = registry.named(name))
        return *found;
    // A token that is not inserted is not among the providers either, nor are the tokens of a
    // module left out; the software provider is missing when its engine is.
    const std::string engine = name == provider::kSoftwareGostProviderName
                                   ? provider::MissingSoftwareProviderText()
                                   : std::string();
    std::string modules;
    for (const std::string& problem : registry.problems())
        modules += " " + problem + ".";
    throw provider::ProviderError(
        provider::code::kKeySetNotDefined,
        engine.empty() ? TrFormat("Крипто провайдер \"%1\" не найден (если ключ "
                                  "на токене, вставьте токен)",
                                  {name}) +
                             modules
                       : TrFormat("Крипто провайдер \"%1\" не найден (%2)", {name, engine}));
}

} // namespace

CheckResult CheckGostCertificate(const std::string& certFileName, const std::string& email,
                                 const provider::ProviderRegistry& registry, const Clock& clock) {
    return ReportingCheck([&] {
        // The same lock as the other operations: no request replaces the files mid-check, and
        // temporaries of an interrupted run are cleaned up.
        const CertificateFolderLock held(email, CertificateFolderLock::Missing::Leave);
        const std::string& folder = held.folder();
        if (!FileExists(folder + certFileName))
            throw Exception(TrFormat("Не найден файл сертификата \"%1\".", {certFileName}));
        const CertificateContent certificate =
            ReadCertificate(ReadFileBytes(folder + certFileName), {}, certFileName);
        const ContainerRecord names = ReadContainerRecord(folder);
        provider::ContextOwner context(
            ProviderNamed(registry, names.provider).acquireKeySet(names.container));
        const std::string containerKey = PublicKeyBytes(context->exportPublicKeyInfo());
        context.release();
        const CheckResult passed = PassedCheck(certificate, clock);
        if (certificate.PublicKeyInfo.empty() ||
            PublicKeyBytes(certificate.PublicKeyInfo) != containerKey)
            throw Exception(TrFormat("Файл сертификата \"%1\" не соответствует контейнеру ключей "
                                     "\"%2\".",
                                     {certFileName, names.container}),
                            FailureClass::Mismatch);
        return passed;
    });
}

bool HoldsGostRequest(const std::string& email) {
    const CertificateFolderLock held(email, CertificateFolderLock::Missing::Leave);
    return IsGostRequest(held.folder());
}

} // namespace cq
