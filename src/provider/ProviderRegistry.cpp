#include "provider/ProviderRegistry.h"

#include "base/Translate.h"
#include "log/Log.h"
#include "provider/Pkcs11Probe.h"
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
            softwareProblem = TrFormat("Программный крипто провайдер ГОСТ недоступен: %1 %2",
                                       {problem, Tr(kGostEngineRemedy)});
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
    // Each module is proved harmless in a process of its own before it is loaded here.
    const auto tokens = [](const std::function<void(const std::string&)>& note) {
        return TokenGostProviders(
            ConfiguredPkcs11Modules(),
            [](const std::string& why) { WriteLog(why, LogKind::Stamped); }, VettedPkcs11Module,
            note);
    };
    return new ProviderRegistry(std::move(providers), tokens);
}

} // namespace

ProviderRegistry::ProviderRegistry(ProviderRegistry&& other) noexcept {
    const std::lock_guard<std::mutex> lock(other.mutex_);
    providers_ = std::move(other.providers_);
    late_ = std::move(other.late_);
    problems_ = std::move(other.problems_);
}

void ProviderRegistry::findLate() const {
    if (!late_)
        return;
    const LateFinder late = std::move(late_);
    late_ = nullptr;
    for (auto& provider : late([this](const std::string& why) { problems_.push_back(why); }))
        providers_.push_back(std::move(provider));
}

const std::vector<std::shared_ptr<CryptoProvider>>& ProviderRegistry::providers() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    findLate();
    return providers_;
}

CryptoProvider* ProviderRegistry::first(const std::function<bool(CryptoProvider&)>& wanted) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    size_t looked = 0;
    for (bool late : {false, true}) {
        if (late)
            findLate();
        for (; looked < providers_.size(); ++looked)
            if (wanted(*providers_[looked]))
                return providers_[looked].get();
    }
    return nullptr;
}

CryptoProvider* ProviderRegistry::named(const std::string& name) const {
    return first([&name](CryptoProvider& provider) { return provider.name() == name; });
}

CryptoProvider& ProviderRegistry::find(const std::string& name, uint32_t type) const {
    CryptoProvider* found = named(name);
    if (!found || found->type() != type)
        throw ProviderError(code::kKeySetNotDefined, name);
    return *found;
}

std::vector<std::string> ProviderRegistry::problems() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return problems_;
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
