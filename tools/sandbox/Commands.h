#pragma once
// The subcommands of sandbox-ca; each returns the process exit status.

#include "Arguments.h"

namespace sandbox {

/// init --dir DIR: the service's CA, its server certificate and the client CA.
int RunInit(const std::vector<std::string>& words);
/// client-cert --dir DIR --out FOLDER [--password P] [--cert-name N] [--key-name N]
/// [--self-signed]: a client certificate and its encrypted key.
int RunClientCert(const std::vector<std::string>& words);
/// issue --dir DIR --email E [--days N] [--expired]: signs the stored request.
int RunIssue(const std::vector<std::string>& words);
/// lifetime --dir DIR --email E --days N: later certificates of the address last N days (0:
/// the default again).
int RunLifetime(const std::vector<std::string>& words);
/// serve --dir DIR [--port N] [--port-file F] [--issue-delay SECONDS]
int RunServe(const std::vector<std::string>& words);

} // namespace sandbox
