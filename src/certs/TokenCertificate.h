#pragma once
// The downloaded certificate of a GOST folder put beside its key on the token that holds the
// key, so that other programs using the token find the pair.

#include "provider/ProviderRegistry.h"

#include <string>

namespace cq {

/// Writes certFileName of the certificate folder of `email` onto the token of the container
/// that the folder's Request.ini names, when that provider keeps certificates (a token). A
/// provider that keeps none, or that is not installed now, is left alone (the latter is
/// logged). Raises the provider's errors: a removed token, a wrong or cancelled PIN, a
/// certificate that is not the key's.
void StoreCertificateWithKey(
    const std::string& certFileName, const std::string& email,
    const provider::ProviderRegistry& registry = provider::InstalledProviders());

} // namespace cq
