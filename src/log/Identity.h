#pragma once
// Where the program runs and who runs it: fixed once at start and read by the log, the settings
// and the certificate operations.

#include <string>

namespace cq {

/// Folder of the running program, with a trailing delimiter.
const std::string& ProgramFolder();
/// File name of the running program, without folder.
const std::string& ProgramFileName();
/// ProgramFileName with its extension replaced by ".log".
const std::string& SingleLogFileName();
/// Upper-case name of the remote client's computer in a remote session, else of this computer.
const std::string& StationName();
/// "(" STATION ":" session ")" for a remote session with a session name, then COMPUTER ":" ACCOUNT.
const std::string& StationIdentity();
/// The version compiled into the program.
const std::string& ProgramVersion();

/// Recomputes every value for the program file at `programPath` (start-up does it for
/// /proc/self/exe; tests give a file in a folder of their own).
void InitIdentity(const std::string& programPath);

/// The parts the identity is made of, as the platform gives them.
struct IdentitySources {
    std::string clientAddress; ///< IPv4 address of a remote client, empty at the console
    std::string clientName;    ///< the remote client's name
    std::string sessionName;   ///< the remote session's name (its tty or id)
    std::string computerName;  ///< short host name
    std::string accountName;   ///< "\" + name for a local account
};

/// Reads the sources from this machine: SSH_CONNECTION, the session's tty, the host name and the
/// account in the password database.
IdentitySources ReadIdentitySources();

/// StationName and StationIdentity made from the sources.
std::string MakeStationName(const IdentitySources& sources);
std::string MakeStationIdentity(const IdentitySources& sources);

/// Overrides the station values (tests of the log record format).
void SetStationForTesting(const std::string& stationName, const std::string& stationIdentity);

} // namespace cq
