// certquorix-cli forget: an address leaves the e-mail list; its certificate folder stays unless
// --delete-folder is given and the user agrees.

#include "base/Dialogs.h"
#include "base/FileUtil.h"
#include "base/StringUtil.h"
#include "cli/Commands.h"
#include "cli/Usage.h"
#include "settings/CertFolders.h"
#include "settings/EmailList.h"

#include <filesystem>
#include <iostream>

namespace cq::cli {

int CmdForget(const Arguments& args) {
    const std::string email = Trim(OptionValue(args, "--email"));
    if (email.empty()) {
        std::cerr << CommandUsage("forget");
        return kExitUsage;
    }
    if (!AddressUsable(email))
        return kExitUsage;
    if (!LoadSettingsForCommand(false))
        return kExitFailed;
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
