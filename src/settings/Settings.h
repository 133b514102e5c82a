#pragma once
// The program's settings file CertQuorix.ini: where it lives (with its optional redirection),
// loading it into the module-wide values of SettingsValues.h and saving the user's choices.

#include "base/FolderLock.h"
#include "base/IniFile.h"
#include "base/Variables.h"
#include "settings/SettingsValues.h"

#include "base/SubjectData.h"

#include <string>
#include <string_view>

namespace cq {

/// Name of the base settings file in the program folder.
inline constexpr const char* kSettingsFileName = "CertQuorix.ini";
/// The request certificate's key password used when the settings file names none.
inline constexpr const char* kBuiltInRequestPassword = "Hrkwp(3mzqtbv";
/// The longest path (in Windows-1251 bytes) a redirection may expand to.
inline constexpr size_t kMaxSettingsPathLength = 511;

/// The subject values that the settings file keeps for the request form.
struct SavedSubject : SubjectData {
    bool Gost = false;
};

/// Full path of the settings file in use and sets Settings().DataFolder to its folder.
/// The base file is ProgramFolder() + "CertQuorix.ini"; its key inFile of section Common, when
/// not empty, names another file (%NAME% expanded; a relative path counts from the program
/// folder). With `createFolder`, the folder of a redirected file that does not exist yet is
/// created with its parents, each for the owner alone (0700). Raises when the base file cannot be
/// read, the expanded path is longer than 511 characters or the folder cannot be created.
std::string FindSettingsFile(bool createFolder);

/// The settings file FindSettingsFile would find for a session whose environment variables
/// `variables` gives (another user's: HOME, USER, LOGNAME), without creating or changing
/// anything, and without touching Settings(). Raises as FindSettingsFile does.
std::string SettingsFileWith(const VariableLookup& variables);

/// FindSettingsFile(true), except that a folder that cannot be made for want of the right to
/// (a read-only home) leaves the path where the file would be: a missing file reads as empty, so
/// the administrator's values still rule and commands that only read go on.
std::string FindSettingsFileForReading();

/// Locks the folder of the settings file at `path` for one writer's load, change and write
/// back, so that two processes of the same user (the window and the command-line tool) never
/// drop each other's change. Raises when another holder keeps it longer than a few seconds.
FolderLock LockSettingsFile(const std::string& path);

/// Reads the settings file at `path` (missing: empty). Raises EOSError when it cannot be read
/// and Exception when it holds binary data rather than text, so that no writer replaces such a
/// file with its own few keys.
IniFile LoadSettingsFile(const std::string& path);
/// The parsing part of LoadSettingsFile: the bytes of the file at `path` (named in the message).
IniFile ParseSettingsFile(std::string_view bytes, const std::string& path);

/// Reads sections Cert, Proxy and HTTPS of an already loaded file into `subject` and `values`,
/// in the order the loading fixes, and converts an old clear-text OpenRequestPassword into a
/// scrambled RequestPassword inside `ini`. Returns true when `ini` was changed and must be
/// written back. Touches no file.
bool ReadSettingsValues(IniFile& ini, SavedSubject& subject, SettingsValues& values);

/// Loads the settings file into Settings() and returns the saved subject. Never raises: a
/// failure is reported under "Загрузка параметров из ini файла.", and what was read before it
/// keeps its new value. `loaded`, when given, tells whether every value was read; it stays true
/// when only the write-back of the OpenRequestPassword conversion failed (that is reported too,
/// and the clear password read is in use). With a redirection, the base file's non-empty HTTPS
/// values and its Proxy section, when it has one, rule over the redirected file's: they are
/// the administrator's, for every user of the machine.
SavedSubject LoadSettings(bool* loaded = nullptr);

/// Saves the subject and the proxy values of Settings() into the settings file. Never raises:
/// a failure is reported under "Сохранение параметров в ini файл." and leaves the file as it
/// was. A proxy password that cannot be scrambled (longer than 31 characters or with characters
/// outside Windows-1251) is refused rather than stored cut. Returns true when the file was written.
bool SaveSettings(const SavedSubject& subject);

} // namespace cq
