#pragma once
// The subcommands of certquorix-cli. Each takes the arguments after its name and returns the
// process exit status.

#include <optional>
#include <string>
#include <vector>

namespace cq {
struct AddressOverview;
}

namespace cq::cli {

using Arguments = std::vector<std::string>;

/// Exit statuses of the tool, one per kind of failure (the manual page lists them).
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;          ///< a failure of no kind below
inline constexpr int kExitUsage = 2;           ///< unknown command or option, bad input
inline constexpr int kExitNotIssued = 3;       ///< the service has not issued the certificate yet
inline constexpr int kExitExpired = 4;         ///< the certificate passed its check but has expired
inline constexpr int kExitMismatch = 5;        ///< the certificate does not match the key
inline constexpr int kExitWrongPassword = 6;   ///< wrong key or container password
inline constexpr int kExitNetwork = 7;         ///< no connection, TLS failure, timeout, proxy
inline constexpr int kExitRefused = 8;         ///< the service answered with an error or refusal
inline constexpr int kExitSetupIncomplete = 9; ///< the operator's files or settings are missing
inline constexpr int kExitBusy = 10;           ///< another operation holds the address's folder
/// A certificate is within the warning period of its end or past it (`list`, `report`): not a
/// failure, the listing itself is complete.
inline constexpr int kExitExpiring = 11;

int CmdVersion(const Arguments& args);
int CmdSettings(const Arguments& args);
int CmdGet(const Arguments& args);
int CmdRequest(const Arguments& args);
int CmdDownload(const Arguments& args);
int CmdCheck(const Arguments& args);
int CmdExport(const Arguments& args);
int CmdImport(const Arguments& args);
int CmdProviders(const Arguments& args);
int CmdList(const Arguments& args);
int CmdStatus(const Arguments& args);
int CmdDoctor(const Arguments& args);
int CmdForget(const Arguments& args);
int CmdNotify(const Arguments& args);
int CmdReport(const Arguments& args);

/// "осталось N дн." (marked under 30 days) or "просрочен", for a certificate read by the overview.
std::string DaysLeftText(const AddressOverview& overview);

/// Loads the settings (a failure is reported by the load itself); commands that reach the
/// service then take the system proxy unless the settings file names one. False on failure.
bool LoadSettingsForCommand(bool reachesService);

/// True when the address of --email can name a certificate folder; otherwise prints why on
/// standard error (the caller ends with kExitUsage).
bool AddressUsable(const std::string& email);

/// The address of --email, usable for a certificate folder, with the settings loaded (and the
/// system proxy taken when the command reaches the service); otherwise the status to end with,
/// after the usage of `command` for a missing address or why the address cannot be used.
std::optional<int> RefusedAddress(const Arguments& args, const char* command, bool reachesService,
                                  std::string& email);

/// Nothing when the set-up an exchange with `url` (the settings key `settingName` gives it) needs
/// is complete; otherwise the status to end with, after the first fault is shown, naming the file
/// or setting and the remedy.
std::optional<int> IncompleteSetup(const std::string& url, const std::string& settingName);

/// Deletes the certificate folders that killed removals left set aside in the data folder, and
/// names on standard error each one that could not be deleted.
void TellSetAsideFoldersLeft();

/// True when `flag` is among the arguments.
bool HasFlag(const Arguments& args, const std::string& flag);
/// The value after `option` ("--email E"), or empty; `found` tells whether it was given.
std::string OptionValue(const Arguments& args, const std::string& option, bool* found = nullptr);

} // namespace cq::cli
