#pragma once
// The check of a downloaded certificate in a GOST folder: its public key must be the key of the
// container the folder's request record names, in the provider it names. A user who requested
// twice for one address can be handed the certificate of the other request; this tells.

#include "base/Clock.h"
#include "certs/CertificateCheck.h"
#include "provider/ProviderRegistry.h"

#include <string>

namespace cq {

/// Checks certFileName in the certificate folder of `email` against the container named by its
/// Request.ini (keys Algorithm and Container). The container's password, when it has one, is
/// asked through the container password hook. Failures (no certificate, no record, no such
/// provider or container, a wrong or cancelled password, another key) are reported under
/// "Проверка сертификата" and give an empty Text; never raises.
CheckResult
CheckGostCertificate(const std::string& certFileName, const std::string& email,
                     const provider::ProviderRegistry& registry = provider::InstalledProviders(),
                     const Clock& clock = SystemClock());

/// Whether the certificate folder of `email` holds a GOST request (IsGostRequest), read under the
/// folder's lock once a request an interrupted run left there is finished or undone: the road a
/// check or an export takes is the one the settled folder keeps. Raises as
/// CertificateFolderLock does, and on errors reading the record.
bool HoldsGostRequest(const std::string& email);

} // namespace cq
