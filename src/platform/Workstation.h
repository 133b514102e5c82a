#pragma once
// Who and where the program runs, as this platform tells it: the remote client of a session, the
// session's name, the computer and the account.

#include <string>

namespace cq {

/// The parts the workstation identity is made of.
struct IdentitySources {
    std::string clientAddress; ///< IPv4 address of a remote client, empty at the console
    std::string clientName;    ///< the client's short host name, or its address when it has none
    std::string sessionName;   ///< the remote session's name (its tty or id)
    std::string computerName;  ///< short host name
    std::string accountName;   ///< "\" + name for a local account
};

/// Reads the sources from this machine: SSH_CONNECTION, the session's tty, the host name and the
/// account in the password database.
IdentitySources ReadIdentitySources();

} // namespace cq
