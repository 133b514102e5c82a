#pragma once
// Issuing certificates for stored requests: the service's CA signs them.

#include <optional>
#include <string>

namespace sandbox {

struct IssueOptions {
    /// Days of validity; without it, the address's lifetime (SetAddressLifetime) or 365.
    std::optional<int> days;
    bool expired = false; // validity ended yesterday
};

/// Signs DIR/requests/<email>.csr with the service's CA into DIR/issued/<email>.crt (the
/// address in lower case), and keeps the request it signed beside it: the certificate stays
/// what the address's download answers until the next one is issued, however many requests
/// come meanwhile. Throws std::runtime_error with the reason on failure.
void IssueCertificate(const std::string& dir, const std::string& email,
                      const IssueOptions& options);

/// True when the stored request of the address is the one its issued certificate answers.
bool IsStoredRequestIssued(const std::string& dir, const std::string& email);

/// Every later certificate of the address is issued for `days` days unless an issue says
/// otherwise; 0 goes back to the default. Throws std::runtime_error for a bad address or days.
void SetAddressLifetime(const std::string& dir, const std::string& email, int days);

/// True when the address's stored request has a GOST key (false when there is none).
bool IsGostRequestStored(const std::string& dir, const std::string& email);

/// The paths of an address's stored request and issued certificate.
std::string RequestPath(const std::string& dir, const std::string& email);
std::string IssuedPath(const std::string& dir, const std::string& email);

} // namespace sandbox
