#include "cli/CertificateReport.h"

#include "base/IniFile.h"
#include "base/ProgramInfo.h"
#include "base/Translate.h"
#include "certs/AddressOverview.h"
#include "certs/CertificateFacts.h"
#include "certs/GostCheck.h"
#include "cli/Commands.h"
#include "cli/ContainerPasswordPrompt.h"
#include "cli/Failure.h"
#include "cli/Password.h"
#include "settings/CertFolders.h"

namespace cq::cli {
namespace {

/// The container the folder's request record names, once a request an interrupted run left there
/// is settled; empty for an RSA folder or an unreadable record or folder (whose check then
/// reports the folder's state).
std::string GostContainer(const std::string& email) {
    try {
        if (!HoldsGostRequest(email))
            return {};
        return IniFile::Load(CertificateFolder(email) + kRequestRecordFile)
            .ReadString("Cert", "Container", "");
    } catch (const std::exception&) {
        return {};
    }
}

void AddFacts(Json& document, const std::string& certificateFile) {
    const CertificateFacts facts = ReadCertificateFacts(certificateFile);
    document["subject"] = facts.Subject;
    document["issuer"] = facts.Issuer;
    document["serial"] = facts.Serial;
    document["sha256"] = facts.Sha256;
    document["not_before"] = IsoUtc(facts.NotBefore);
    document["not_after"] = IsoUtc(facts.NotAfter);
    document["key_algorithm"] = facts.KeyAlgorithm;
    document["key_bits"] = facts.KeyBits;
}

std::string Text(const Json& value) {
    return value.is_string() ? value.get<std::string>() : value.dump();
}

} // namespace

CheckResult CheckAddress(const Arguments& args, const std::string& email, bool& usable) {
    usable = true;
    if (!GostContainer(email).empty()) {
        // The key stays in its container: its password, when it has one, is the container's.
        InstallContainerPasswordPrompt();
        return CheckGostCertificate(kCertificateFile, email);
    }
    const std::optional<SecretBytes> password = ReadCommandPassword(args);
    if (!password) {
        usable = false;
        return {};
    }
    return CheckCertificate(kCertificateFile, kCertificateKeyFile, email, password->str());
}

Json CertificateDocument(const std::string& email, const CheckResult& result) {
    const std::string folder = CertificateFolder(email);
    const bool passed = !result.Text.empty();
    const bool otherKey = !passed && ReportedFailureStatus() == kExitMismatch;
    Json document = {{"email", email},
                     {"state", passed     ? (result.Expired ? "expired" : "valid")
                               : otherKey ? "mismatch"
                                          : "unchecked"}};
    AddFacts(document, folder + kCertificateFile);
    const AddressOverview overview = OverviewOfAddress(email);
    if (overview.HasExpiry)
        document["days_left"] = overview.DaysLeft;
    document["renewal"] = RenewalStateWord(overview.Renewal);
    document["key_matches"] = passed;
    document["folder"] = folder;
    document["certificate_file"] = folder + kCertificateFile;
    const std::string container = GostContainer(email);
    if (container.empty())
        document["key_file"] = folder + kCertificateKeyFile;
    else
        document["container"] = container;
    return document;
}

std::string CertificateLines(const Json& document) {
    static const std::pair<const char*, const char*> labels[] = {
        {"subject", TrMark("Субъект")},
        {"issuer", TrMark("Издатель")},
        {"serial", TrMark("Серийный номер")},
        {"sha256", TrMark("Отпечаток SHA-256")},
        {"not_before", TrMark("Действителен с")},
        {"not_after", TrMark("Действителен до")},
        {"days_left", TrMark("Осталось дней")},
        {"renewal", TrMark("Продление")},
        {"key_algorithm", TrMark("Алгоритм ключа")},
        {"key_bits", TrMark("Размер ключа, бит")},
        {"folder", TrMark("Папка")},
        {"certificate_file", TrMark("Файл сертификата")},
        {"key_file", TrMark("Файл ключа")},
        {"container", TrMark("Контейнер ключей")},
    };
    std::string lines;
    for (const auto& [key, label] : labels)
        if (document.contains(key))
            lines += Tr(label) + ": " + Text(document[key]) + "\n";
    lines += TrFormat("Ключ соответствует сертификату: %1",
                      {document["key_matches"].get<bool>() ? Tr("да") : Tr("нет")}) +
             "\n";
    return lines;
}

int CheckStatus(const CheckResult& result) {
    if (result.Valid)
        return kExitOk;
    return result.Expired ? kExitExpired : kExitFailed;
}

} // namespace cq::cli
