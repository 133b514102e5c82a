#include "certs/ShellOpen.h"

#include "app/ErrorReport.h"
#include "base/Errors.h"
#include "base/FileUtil.h"
#include "base/ShellOpenCodes.h"
#include "certs/InputRules.h"
#include "certs/Pkcs12Export.h"
#include "settings/CertFolders.h"

namespace cq {

void OpenCertificateFolder(const std::string& email, const ShellOpener& opener) {
    if (const std::optional<std::string> refusal = AddressRefusal(email))
        throw Exception(*refusal);
    const std::string folder = ExcludeTrailingPathDelimiter(CertificateFolder(email));
    CheckShellExecute(DirectoryExists(folder) ? opener(folder) : shellopen::kPathNotFound);
}

void HandOverPkcs12(const std::string& path, const ShellOpener& opener) {
    CheckShellExecute(FileExists(path) ? opener(path) : shellopen::kFileNotFound);
}

void InstallCertificate(const std::string& email, const std::string& password,
                        const ShellOpener& opener) {
    HandOverPkcs12(ExportPkcs12(email, password, ConfiguredPkcs12Profile()), opener);
}

} // namespace cq
