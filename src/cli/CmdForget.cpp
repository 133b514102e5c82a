// certquorix-cli forget: an address leaves the e-mail list; its certificate folder stays unless
// --delete-folder is given and the user agrees.

#include "base/Dialogs.h"
#include "base/FileUtil.h"
#include "cli/Commands.h"
#include "settings/CertFolders.h"
#include "settings/EmailList.h"

#include <filesystem>
#include <iostream>

namespace cq::cli {

int CmdForget(const Arguments& args) {
    std::string email;
    if (const std::optional<int> refused = RefusedAddress(args, "forget", false, email))
        return *refused;
    try {
        if (!RemoveEmailFromList(email)) {
            ShowErrorBox("Адреса " + email + " нет в списке.");
            return kExitFailed;
        }
        const std::string folder = CertificateFolder(email);
        if (HasFlag(args, "--delete-folder") && DirectoryExists(folder) &&
            AskYesNo("Удалить папку " + folder + " с ключом и сертификатом?", {},
                     DefaultAnswer::No))
            std::filesystem::remove_all(folder);
        ShowInfoBox("Адрес " + email + " удалён из списка.");
        return kExitOk;
    } catch (const std::exception& error) {
        ShowErrorBox(error.what(), "Удаление адреса из списка");
        return kExitFailed;
    }
}

} // namespace cq::cli
