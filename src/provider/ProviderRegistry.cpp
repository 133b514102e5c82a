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
/// The installed providers as last looked for. Earlier lists are never destroyed: an operation
/// under way may still hold one, and a PKCS#11 module is not finalised while the process ends.
const ProviderRegistry* installedRegistry = nullptr;

/// Why the software provider is missing, with the remedy ("" while it is there).
std::string softwareProblem;

/// The software GOST provider, made once, when its engine loads and does GOST; otherwise the
/// log says why and what to do.
std::shared_ptr<CryptoProvider> SoftwareProvider() {
    static const std::shared_ptr<CryptoProvider> software = [] {
        const char* engine = std::getenv(kGostEngineVariable);
        std::string problem;
        auto made = MakeSoftwareGostProvider(engine && *engine ? engine : kGostEngineId,
                                             DefaultContainerFolder(), &problem);
        if (!made) {
            softwareProblem = "Программный крипто провайдер ГОСТ недоступен: " + problem + " " +
                              kGostEngineRemedy;
            WriteLog(softwareProblem, LogKind::Stamped);
        }
        return made;
    }();
    return software;
}

/// The providers of this installation: the software GOST provider when its engine loads, then
/// the GOST tokens of the configured PKCS#11 modules as they are now.
const ProviderRegistry* MakeInstalledRegistry() {
    std::vector<std::shared_ptr<CryptoProvider>> providers;
    if (auto software = SoftwareProvider())
        providers.push_back(std::move(software));
    const auto log = [](const std::string& why) {
        WriteLog(why, LogKind::Stamped);
    };
    for (auto& token : TokenGostProviders(ConfiguredPkcs11Modules(), log, KeptPkcs11Module))
        providers.push_back(std::move(token));
    return new ProviderRegistry(std::move(providers));
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
    if (!installedRegistry)
        installedRegistry = MakeInstalledRegistry();
    return *installedRegistry;
}

std::string MissingSoftwareProviderText() {
    {
        const std::lock_guard<std::mutex> lock(registryMutex);
        if (scopedRegistry)
            return {};
    }
    SoftwareProvider();
    return softwareProblem;
}

void RefreshInstalledProviders() {
    {
        const std::lock_guard<std::mutex> lock(registryMutex);
        if (scopedRegistry)
            return;
    }
    const ProviderRegistry* fresh = MakeInstalledRegistry();
    const std::lock_guard<std::mutex> lock(registryMutex);
    installedRegistry = fresh;
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
