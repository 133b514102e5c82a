#pragma once
// The installed providers in their fixed enumeration order. The program's registry holds the
// software GOST provider when the GOST engine loads, then the GOST tokens of the configured
// PKCS#11 modules; tests install their own providers.

#include "provider/CryptoProvider.h"

#include <memory>
#include <string>
#include <vector>

namespace cq::provider {

class ProviderRegistry {
public:
    ProviderRegistry() = default;
    explicit ProviderRegistry(std::vector<std::shared_ptr<CryptoProvider>> providers)
        : providers_(std::move(providers)) {}

    /// The providers in enumeration order.
    const std::vector<std::shared_ptr<CryptoProvider>>& providers() const { return providers_; }
    /// The provider of that name and type; raises kKeySetNotDefined when there is none.
    CryptoProvider& find(const std::string& name, uint32_t type) const;

private:
    std::vector<std::shared_ptr<CryptoProvider>> providers_;
};

/// The registry in force: the installed providers unless a test put others in place. The
/// installed ones are looked for at the first call and again at each refresh; a registry once
/// returned stays valid for the life of the process.
const ProviderRegistry& InstalledProviders();

/// Why this installation has no software GOST provider (its engine), with the remedy; "" when
/// it has one. The log got the same text when the provider was looked for.
std::string MissingSoftwareProviderText();

/// Looks for the installed providers again (tokens inserted or removed since); does nothing
/// while a test's registry is in force.
void RefreshInstalledProviders();

/// Puts `registry` in force until the object goes (tests).
class ScopedProviders {
public:
    explicit ScopedProviders(ProviderRegistry registry);
    ~ScopedProviders();
    ScopedProviders(const ScopedProviders&) = delete;
    ScopedProviders& operator=(const ScopedProviders&) = delete;

private:
    std::unique_ptr<ProviderRegistry> previous_;
};

} // namespace cq::provider
