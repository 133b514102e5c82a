// certquorix-cli forget: an address leaves the e-mail list; its certificate folder stays unless
// --delete-folder is given and the user agrees.

#include "base/Dialogs.h"
#include "base/FileUtil.h"
#include "base/Translate.h"
#include "certs/CertificateFolderLock.h"
#include "certs/FolderRemoval.h"
#include "cli/Commands.h"
#include "settings/CertFolders.h"
#include "settings/EmailList.h"
#include "settings/SettingsValues.h"

#include <iostream>
#include <optional>

namespace cq::cli {

void TellSetAsideFoldersLeft() {
    for (const std::string& path : RemoveSetAsideFolders(Settings().DataFolder))
        std::cerr << TrFormat("Папку %1 (остаток прерванного удаления папки сертификата) "
                              "удалить не удалось; удалите её вручную.",
                              {path})
                  << "\n";
}

int CmdForget(const Arguments& args) {
    std::string email;
    if (const std::optional<int> refused = RefusedAddress(args, "forget", false, email))
        return *refused;
    TellSetAsideFoldersLeft();
    try {
        // The folder is held before the address leaves the list: a folder another operation
        // works on changes nothing, and no operation starts on it until it is gone.
        std::optional<CertificateFolderLock> held;
        if (HasFlag(args, "--delete-folder") && DirectoryExists(CertificateFolder(email)))
            held.emplace(email, CertificateFolderLock::Missing::Leave);
        if (!RemoveEmailFromList(email)) {
            ShowErrorBox(TrFormat("Адреса %1 нет в списке.", {email}));
            return kExitFailed;
        }
        if (held &&
            AskYesNo(TrFormat("Удалить папку %1 с ключом и сертификатом?", {held->folder()}), {},
                     DefaultAnswer::No))
            RemoveCertificateFolder(*held);
        ShowInfoBox(TrFormat("Адрес %1 удалён из списка.", {email}));
        return kExitOk;
    } catch (const std::exception& error) {
        ShowErrorBox(error.what(), Tr("Удаление адреса из списка"));
        return kExitFailed;
    }
}

} // namespace cq::cli
