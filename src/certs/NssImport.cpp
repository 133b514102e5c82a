#include "certs/NssImport.h"

#include "base/Errors.h"
#include "base/FileUtil.h"
#include "base/StringUtil.h"
#include "base/Translate.h"
#include "platform/Process.h"

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace cq {
namespace {

/// The NSS tool `name` on PATH; both come in the Debian package libnss3-tools.
std::string FindNssTool(const std::string& name) {
    const std::string found = FindInPath(name);
    if (found.empty())
        throw EOSError(TrFormat("Программа %1 не найдена в папках переменной PATH, поэтому "
                                "сертификат нельзя добавить в хранилище NSS для браузеров. "
                                "Установите пакет libnss3-tools (sudo apt-get install "
                                "libnss3-tools) и повторите экспорт.",
                                {name}),
                       ENOENT);
    return found;
}

void RaiseIfFailed(const std::string& tool, const ProcessOutcome& outcome,
                   const std::string& what) {
    if (outcome.exitStatus == 0)
        return;
    std::string message =
        TrFormat("%1: %2 завершился с кодом %3.", {what, tool, std::to_string(outcome.exitStatus)});
    if (!Trim(outcome.output).empty())
        message += "\r\n" + Trim(outcome.output);
    throw Exception(message);
}

/// certutil -N with an empty password, so that later imports ask for none; the folders are the
/// user's alone, as the key inside is.
void CreateDatabaseWhenMissing(const std::string& database) {
    if (FileExists(database + "/cert9.db"))
        return;
    const std::string certutil = FindNssTool("certutil");
    const std::string pki = ExcludeTrailingPathDelimiter(ExtractFilePath(database));
    if (!DirectoryExists(pki))
        ForceDirectories(pki, kPrivateFolderMode);
    if (!DirectoryExists(database))
        ForceDirectories(database, kPrivateFolderMode);
    RaiseIfFailed(certutil,
                  RunAndWait(certutil,
                             {certutil, "-N", "-d", "sql:" + database, "--empty-password"},
                             ProcessOptions{}),
                  TrFormat("Не удалось создать хранилище NSS %1", {database}));
}

} // namespace

std::string UserNssDatabase() {
    const char* home = std::getenv("HOME");
    if (!home || !*home)
        throw Exception(Tr("Переменная HOME не задана: хранилище NSS пользователя не найти."));
    return std::string(home) + "/.pki/nssdb";
}

void ImportIntoNssDatabase(const std::string& p12Path, const std::string& password,
                           const std::string& database) {
    // Both tools are looked for before anything is created.
    const std::string pk12util = FindNssTool("pk12util");
    CreateDatabaseWhenMissing(database);
    // "-w /dev/stdin": pk12util reads the password from the pipe up to its end (a line end
    // would end it, so none is sent); nothing of it is on the command line or on disk.
    ProcessOptions options;
    options.standardInput = SecretBytes(password);
    const ProcessOutcome outcome =
        RunAndWait(pk12util, {pk12util, "-i", p12Path, "-d", "sql:" + database, "-w", "/dev/stdin"},
                   std::move(options));
    RaiseIfFailed(pk12util, outcome,
                  TrFormat("Не удалось добавить сертификат в хранилище NSS %1", {database}));
}

} // namespace cq
