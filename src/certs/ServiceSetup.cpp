#include "certs/ServiceSetup.h"

#include "base/Errors.h"
#include "base/FileUtil.h"
#include "base/ProgramInfo.h"
#include "base/StringUtil.h"
#include "base/Translate.h"
#include "certs/ClientPair.h"
#include "certs/SslOwners.h"
#include "settings/SettingsValues.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <ctime>

namespace cq {
namespace {

constexpr const char* kAdministratorFile = TrMark("CertQuorix.ini в папке программы");

/// The file's bytes, or why it cannot be read (as the system says it).
bool ReadForCheck(const std::string& path, std::string& bytes, std::string& problem) {
    try {
        bytes = ReadFileBytes(path);
        return true;
    } catch (const Exception& error) {
        problem = TrFormat("файл %1 не читается этим пользователем (%2)",
                           {path, error.readableMessage()});
        return false;
    }
}

std::string AccessRemedy(const std::string& path) {
    return TrFormat("дайте пользователям право чтения файла (например, chmod 0644 %1)", {path});
}

/// A missing or unreadable operator file; empty when it reads.
SetupFinding OperatorFile(const char* name, const char* title, const std::string& path,
                          const std::string& settingKey, std::string& bytes) {
    SetupFinding finding{name, Tr(title), {}, {}};
    if (!FileExists(path)) {
        finding.problem = TrFormat("нет файла %1", {path});
        finding.remedy = TrFormat("положите файл оператора, выданный для сервиса, в папку "
                                  "программы (или укажите его в ключе %1 раздела [HTTPS] файла %2)",
                                  {settingKey, Tr(kAdministratorFile)});
    } else if (!ReadForCheck(path, bytes, finding.problem)) {
        finding.remedy = AccessRemedy(path);
    }
    return finding;
}

/// "DD.MM.YYYY" of an ASN.1 time.
std::string DateOf(const ASN1_TIME* time) {
    std::tm parts{};
    if (ASN1_TIME_to_tm(time, &parts) != 1)
        return "?";
    char text[16] = {};
    std::strftime(text, sizeof text, "%d.%m.%Y", &parts);
    return text;
}

/// The operator certificate's PEM form and validity at `now`.
void CheckOperatorCertificate(SetupFinding& finding, const std::string& path,
                              const std::string& bytes, TimePoint now) {
    const ssl::Certificate certificate = ssl::PemCertificate(bytes);
    if (!certificate) {
        finding.problem = TrFormat("в файле %1 нет сертификата в форме PEM", {path});
        finding.remedy = Tr("замените файл сертификатом оператора из поставки");
        return;
    }
    std::time_t moment = std::chrono::system_clock::to_time_t(now);
    if (X509_cmp_time(X509_get0_notAfter(certificate.get()), &moment) < 0) {
        finding.problem = TrFormat("сертификат оператора %1 истёк %2",
                                   {path, DateOf(X509_get0_notAfter(certificate.get()))});
        finding.remedy = Tr("получите у администратора сервиса новый сертификат и ключ оператора");
    } else if (X509_cmp_time(X509_get0_notBefore(certificate.get()), &moment) > 0) {
        finding.problem = TrFormat("сертификат оператора %1 действует только с %2",
                                   {path, DateOf(X509_get0_notBefore(certificate.get()))});
        finding.remedy = Tr("проверьте дату и время компьютера");
    }
}

SetupFinding CaFileFinding() {
    SetupFinding finding{"ca_file", Tr("Файл сертификатов сервиса (CaFile)"), {}, {}};
    const std::string& name = Settings().CaFile;
    if (name.empty())
        return finding; // the system's store alone
    const std::string path = name.front() == '/' ? name : ProgramFolder() + name;
    std::string bytes;
    if (!FileExists(path)) {
        finding.problem = TrFormat("нет файла CaFile %1", {path});
        finding.remedy =
            TrFormat("положите файл или исправьте ключ CaFile раздела [HTTPS] файла %1",
                     {Tr(kAdministratorFile)});
    } else if (!ReadForCheck(path, bytes, finding.problem)) {
        finding.remedy = AccessRemedy(path);
    } else if (!ssl::PemCertificate(bytes)) {
        finding.problem = TrFormat("в файле CaFile %1 нет сертификатов в форме PEM", {path});
        finding.remedy = Tr("положите в него сертификат центра, выдавшего сертификат сервиса");
    }
    return finding;
}

} // namespace

std::vector<SetupFinding> OperatorSetupFindings(TimePoint now) {
    const SettingsValues& values = Settings();
    const std::string certPath = ProgramFolder() + values.RequestCertificate;
    const std::string keyPath = ProgramFolder() + values.RequestKey;
    std::string certBytes, keyBytes;
    SetupFinding certificate = OperatorFile("request_certificate", TrMark("Сертификат оператора"),
                                            certPath, "RequestCertificate", certBytes);
    if (certificate.holds())
        CheckOperatorCertificate(certificate, certPath, certBytes, now);
    const SetupFinding key =
        OperatorFile("request_key", TrMark("Ключ оператора"), keyPath, "RequestKey", keyBytes);
    SetupFinding pair{"request_pair", Tr("Ключ оператора от его сертификата"), {}, {}};
    if (!certificate.holds() || !key.holds()) {
        pair.problem = Tr("не проверяется, пока файлы оператора не в порядке");
        pair.remedy = Tr("см. выше");
    } else if (std::string problem = ClientPairProblem(certPath, keyPath, values.RequestPassword);
               !problem.empty()) {
        pair.problem = problem;
        pair.remedy =
            Tr("положите в папку программы сертификат и ключ оператора из одной поставки");
    }
    return {certificate, key, pair, CaFileFinding()};
}

SetupFinding ServiceAddressFinding(const std::string& url, const std::string& settingName) {
    SetupFinding finding{"service_url", TrFormat("Адрес сервиса %1", {settingName}), {}, {}};
    const std::string address = LowerCase(Trim(url));
    const size_t scheme = address.find("://");
    const bool web = address.starts_with("https://") || address.starts_with("http://");
    if (address.empty())
        finding.problem = TrFormat("адрес сервиса %1 не задан", {settingName});
    else if (!web || address.size() == scheme + 3 || address[scheme + 3] == '/')
        finding.problem = TrFormat("адрес сервиса %1 \"%2\" не адрес https://", {settingName, url});
    if (!finding.holds())
        finding.remedy = TrFormat("задайте ключ %1 раздела [HTTPS] файла %2",
                                  {settingName, Tr(kAdministratorFile)});
    return finding;
}

std::string SetupFailureText(const SetupFinding& finding) {
    return TrFormat("Программа не настроена: %1. Что сделать: %2.",
                    {finding.problem, finding.remedy});
}

void RequireExchangeSetup(const std::string& url, const std::string& settingName) {
    std::vector<SetupFinding> findings = OperatorSetupFindings(std::chrono::system_clock::now());
    if (!settingName.empty())
        findings.push_back(ServiceAddressFinding(url, settingName));
    for (const SetupFinding& finding : findings)
        if (!finding.holds())
            throw Exception(SetupFailureText(finding), FailureClass::NotConfigured);
}

} // namespace cq
