#pragma once
// Issuing certificates for stored requests: the service's CA signs them.

#include <string>

namespace sandbox {

struct IssueOptions {
    int days = 365;
    bool expired = false; // validity ended yesterday
};

/// Signs DIR/requests/<email>.csr with the service's CA into DIR/issued/<email>.crt (the
/// address in lower case). Throws std::runtime_error with the reason on failure.
void IssueCertificate(const std::string& dir, const std::string& email,
                      const IssueOptions& options);

/// True when the address's stored request has a GOST key (false when there is none).
bool IsGostRequestStored(const std::string& dir, const std::string& email);

/// The paths of an address's stored request and issued certificate.
std::string RequestPath(const std::string& dir, const std::string& email);
std::string IssuedPath(const std::string& dir, const std::string& email);

} // namespace sandbox
