#pragma once
// The installed providers in their fixed enumeration order. The program's registry holds the
// software GOST provider when the GOST engine loads, then the GOST tokens of the configured
// PKCS#11 modules; tests install their own providers. The tokens are looked for only when they
// are asked for: a command about a key of the software provider loads no module at all.

#include "provider/CryptoProvider.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace cq::provider {

class ProviderRegistry {
public:
    /// Looks for the providers that need a module loaded; tells why a faulty module is left out.
    using LateFinder = std::function<std::vector<std::shared_ptr<CryptoProvider>>(
        const std::function<void(const std::string&)>& note)>;

    ProviderRegistry() = default;
    explicit ProviderRegistry(std::vector<std::shared_ptr<CryptoProvider>> providers,
                              LateFinder late = {})
        : providers_(std::move(providers)), late_(std::move(late)) {}
    ProviderRegistry(ProviderRegistry&& other) noexcept;
    ProviderRegistry& operator=(ProviderRegistry&&) = delete;

    /// The providers in enumeration order, the late ones looked for at the first call.
    const std::vector<std::shared_ptr<CryptoProvider>>& providers() const;
    /// The first provider in enumeration order that `wanted` accepts, or nullptr; the late ones
    /// are looked for only when no other is accepted.
    CryptoProvider* first(const std::function<bool(CryptoProvider&)>& wanted) const;
    /// The provider of that name, or nullptr (the late ones looked for as first() does).
    CryptoProvider* named(const std::string& name) const;
    /// The provider of that name and type; raises kKeySetNotDefined when there is none.
    CryptoProvider& find(const std::string& name, uint32_t type) const;
    /// Why faulty modules were left out when the late providers were looked for, one text each.
    std::vector<std::string> problems() const;

private:
    void findLate() const;

    mutable std::mutex mutex_;
    mutable std::vector<std::shared_ptr<CryptoProvider>> providers_;
    mutable LateFinder late_;
    mutable std::vector<std::string> problems_;
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
