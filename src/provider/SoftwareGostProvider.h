#pragma once
// The software GOST provider: GOST R 34.10-2012 (256-bit) exchange keys and GOST R 34.11-2012
// hashing through OpenSSL with the GOST engine, key containers as files (ContainerStore), and a
// password for each new container asked through the container password hook.

#include "provider/ContainerStore.h"
#include "provider/CryptoProvider.h"
#include "provider/GostKey.h"

#include <memory>
#include <string>

namespace cq::provider {

inline constexpr const char* kSoftwareGostProviderName =
    "CertQuorix GOST R 34.10-2012 Software Provider";

/// The algorithms the provider lists: the hash, the signature key, the exchange key, SHA-1.
inline constexpr uint32_t kSoftwareGostAlgorithms[] = {kAlgGost3411_2012_256, 0x2E49, 0xAA46,
                                                       kAlgSha1};

/// The provider with containers in `containerFolder`, or nullptr when the engine at
/// `engineLocation` (an id or a shared object path) does not load or does not do GOST; then
/// `problem`, when given, says why (LoadGostEngine).
std::shared_ptr<CryptoProvider> MakeSoftwareGostProvider(const std::string& engineLocation,
                                                         const std::string& containerFolder,
                                                         std::string* problem = nullptr);

} // namespace cq::provider
