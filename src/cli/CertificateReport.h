#pragma once
// What `check` and `status` tell of a downloaded certificate beyond the check's own text: the
// file's facts, the days left, where a renewal stands and where the files are, as lines or as a
// --json document.

#include "certs/CertificateCheck.h"
#include "cli/Commands.h"
#include "cli/JsonOutput.h"

#include <string>

namespace cq::cli {

/// The check of the address's certificate against its key (RSA key file with the password the
/// arguments give, or the GOST container of the request record). Failures are reported by the
/// check; `usable` is false when no password could be had.
CheckResult CheckAddress(const Arguments& args, const std::string& email, bool& usable);

/// The document of a certificate after its check: state "valid" or "expired" when it passed,
/// "mismatch" when the key is another, "unchecked" when the check failed for another cause
/// (the exit status names it). Raises Exception when the certificate file cannot be read.
Json CertificateDocument(const std::string& email, const CheckResult& result);

/// The same as "Name: value" lines in Russian.
std::string CertificateLines(const Json& document);

/// The exit status of a check: 0 valid, kExitExpired, or kExitFailed (refined by the reported
/// error).
int CheckStatus(const CheckResult& result);

} // namespace cq::cli
