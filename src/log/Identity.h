#pragma once
// The workstation identity that log records carry: the station name and the identity text,
// fixed once at start.

#include "platform/Workstation.h"

#include <string>

namespace cq {

/// Upper-case name of the remote client's computer in a remote session, else of this computer.
const std::string& StationName();
/// "(" STATION ":" session ")" for a remote session with a session name, then COMPUTER ":" ACCOUNT.
const std::string& StationIdentity();

/// StationName and StationIdentity made from the sources.
std::string MakeStationName(const IdentitySources& sources);
std::string MakeStationIdentity(const IdentitySources& sources);

/// Overrides the station values (tests of the log record format).
void SetStationForTesting(const std::string& stationName, const std::string& stationIdentity);

} // namespace cq
