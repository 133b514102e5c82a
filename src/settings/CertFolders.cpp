#include "settings/CertFolders.h"

#include "base/Errors.h"
#include "base/FileUtil.h"
#include "base/IniFile.h"
#include "base/StringUtil.h"
#include "base/Translate.h"
#include "settings/SettingsValues.h"

#include <cerrno>
#include <optional>
#include <string_view>

namespace cq {
namespace {

constexpr std::string_view kRefusedInFileNames = "\\/:*?\"<>|";
constexpr const char* kCertSection = "Cert";

} // namespace

void WriteSubjectKeys(IniFile& ini, const SubjectFields& subject) {
    for (const SubjectFieldKey& field : kSubjectFieldKeys)
        ini.WriteString(kCertSection, field.key, subject.*field.member);
}

std::string EmailToFolderName(const std::string& email) {
    std::string name;
    for (char c : email)
        if (kRefusedInFileNames.find(c) == std::string_view::npos)
            name += c;
    return name;
}

std::string CertificateFolder(const std::string& email) {
    return CertificateFolderIn(Settings().DataFolder, email);
}

std::string CertificateFolderIn(const std::string& dataFolder, const std::string& email) {
    return dataFolder + EmailToFolderName(LowerCase(Trim(email))) + "/";
}

void CheckCertificateFolder(const std::string& folder) {
    const std::string path = ExcludeTrailingPathDelimiter(folder);
    std::optional<std::string> problem;
    try {
        problem = PrivateFolderProblem(path, OthersMay::ReadAndList);
    } catch (const EOSError& error) {
        if (error.errorCode() == ENOENT)
            return;
        throw MakeOSError(error.errorCode(), TrFormat("Папка сертификата %1", {path}));
    }
    if (problem)
        throw EOSError(TrFormat("Папка сертификата %1 %2; программа не читает и не записывает "
                                "файлы в ней.",
                                {path, *problem}),
                       EACCES);
}

void CreateCertificateFolder(const std::string& folder) {
    CheckCertificateFolder(folder); // a link in its place is refused, not followed
    ForceDirectories(folder, kPrivateFolderMode);
    CheckCertificateFolder(folder);
}

IniFile RsaRequestRecord(const std::string& fileName, const SubjectData& subject) {
    IniFile record = IniFile::Load(fileName);
    WriteSubjectKeys(record, subject);
    if (subject.OpenPassw)
        record.WriteString(kCertSection, "Password", subject.Password);
    else
        record.DeleteKey(kCertSection, "Password");
    record.DeleteKey(kCertSection, "Algorithm");
    record.DeleteKey(kCertSection, "Container");
    return record;
}

void WriteRsaRequestRecord(const std::string& fileName, const SubjectData& subject) {
    RsaRequestRecord(fileName, subject).Save(fileName, AtLink::Refuse);
}

IniFile GostRequestRecord(const std::string& fileName, const SubjectFields& subject,
                          const std::string& algorithm, const std::string& container) {
    IniFile record = IniFile::Load(fileName);
    WriteSubjectKeys(record, subject);
    record.WriteString(kCertSection, "Algorithm", algorithm);
    record.WriteString(kCertSection, "Container", container);
    return record;
}

void WriteGostRequestRecord(const std::string& fileName, const SubjectFields& subject,
                            const std::string& algorithm, const std::string& container) {
    GostRequestRecord(fileName, subject, algorithm, container).Save(fileName, AtLink::Refuse);
}

bool IsGostRequest(const std::string& folder) {
    const IniFile record = IniFile::Load(folder + kRequestRecordFile);
    return !Trim(record.ReadString(kCertSection, "Algorithm")).empty();
}

} // namespace cq
