#include "provider/ProviderRegistry.h"

#include "log/Log.h"
#include "provider/SoftwareGostProvider.h"
#include "provider/TokenGostProvider.h"

#include <cstdlib>
#include <mutex>

namespace cq::provider {
namespace {

std::mutex registryMutex;
std::unique_ptr<ProviderRegistry> scopedRegistry;

/// The providers of this installation: the software GOST provider when its engine loads, then
/// the GOST tokens of the configured PKCS#11 modules.
ProviderRegistry MakeInstalledRegistry() {
    std::vector<std::shared_ptr<CryptoProvider>> providers;
    const char* engine = std::getenv(kGostEngineVariable);
    if (auto software = MakeSoftwareGostProvider(engine && *engine ? engine : kGostEngineId,
                                                 DefaultContainerFolder()))
        providers.push_back(std::move(software));
    for (auto& token : TokenGostProviders(ConfiguredPkcs11Modules(), [](const std::string& why) {
             WriteLog(why, LogKind::Stamped);
         }))
        providers.push_back(std::move(token));
    return ProviderRegistry(std::move(providers));
}

} // namespace

CryptoProvider& ProviderRegistry::find(const std::string& name, uint32_t type) const {
    for (const std::shared_ptr<CryptoProvider>& provider : providers_)
        if (provider->name() == name && provider->type() == type)
            return *provider;
    throw ProviderError(code::kKeySetNotDefined, name);
}

const ProviderRegistry& InstalledProviders() {
    const std::lock_guard<std::mutex> lock(registryMutex);
    if (scopedRegistry)
        return *scopedRegistry;
    // Never destroyed: a PKCS#11 module is not finalised while the process ends, when the
    // libraries it uses may already be torn down.
    static const ProviderRegistry& installed = *new ProviderRegistry(MakeInstalledRegistry());
    return installed;
}

ScopedProviders::ScopedProviders(ProviderRegistry registry) {
    const std::lock_guard<std::mutex> lock(registryMutex);
    previous_ = std::move(scopedRegistry);
    scopedRegistry = std::make_unique<ProviderRegistry>(std::move(registry));
}

ScopedProviders::~ScopedProviders() {
    const std::lock_guard<std::mutex> lock(registryMutex);
    scopedRegistry = std::move(previous_);
}

} // namespace cq::provider
