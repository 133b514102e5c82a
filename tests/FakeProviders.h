#pragma once
// Providers for the tests that a workstation can have but this machine cannot: several GOST
// providers, one that refuses a verification context, one without the GOST hash, one whose
// password dialog the user cancels. Each one keeps its containers through the real software
// provider in a folder of the test, so keys and signatures stay real.

#include "provider/ContainerPassword.h"
#include "provider/ProviderRegistry.h"
#include "provider/SoftwareGostProvider.h"

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace cq::test {

struct FakeProviderOptions {
    std::string name;
    uint32_t type = provider::kProvTypeGost2012_256;
    bool refusesVerifyContext = false;
    std::vector<uint32_t> algorithms = {provider::kAlgSha1, provider::kAlgGost3411_2012_256};
    bool cancelsDialog = false;
    /// The new container gets its key, then signing fails as if its token left the reader.
    bool failsSigning = false;
};

class FakeProvider : public provider::CryptoProvider {
public:
    FakeProvider(FakeProviderOptions options, const std::string& containerFolder)
        : options_(std::move(options)),
          inner_(provider::MakeSoftwareGostProvider(provider::kGostEngineId, containerFolder)) {
        if (!inner_)
            throw std::runtime_error("the GOST engine does not load");
    }
    std::string name() const override { return options_.name; }
    uint32_t type() const override { return options_.type; }

    std::unique_ptr<provider::ProviderContext> acquireVerifyContext() override {
        if (options_.refusesVerifyContext)
            throw provider::ProviderError(provider::code::kKeySetNotDefined);
        return std::make_unique<ListingContext>(options_.algorithms);
    }
    std::unique_ptr<provider::ProviderContext>
    acquireNewKeySet(const std::string& container) override {
        if (options_.cancelsDialog)
            throw provider::ProviderError(provider::code::kCancelled);
        ++newKeySets;
        std::unique_ptr<provider::ProviderContext> context = inner_->acquireNewKeySet(container);
        if (options_.failsSigning)
            return std::make_unique<FailingSignContext>(std::move(context));
        return context;
    }
    std::unique_ptr<provider::ProviderContext>
    acquireKeySet(const std::string& container) override {
        return inner_->acquireKeySet(container);
    }

    int newKeySets = 0;

private:
    /// A verification context that lists the given algorithms.
    class ListingContext : public provider::ProviderContext {
    public:
        explicit ListingContext(std::vector<uint32_t> list) : list_(std::move(list)) {}
        std::vector<uint32_t> algorithms() override { return list_; }
        bool hasExchangeKey() override { return false; }
        void generateExchangeKey() override {}
        std::string exportPublicKeyInfo() override { return {}; }
        std::string sha1(std::string_view) override { return {}; }
        std::string sign(std::string_view, uint32_t) override { return {}; }
        void release() override {}

    private:
        std::vector<uint32_t> list_;
    };

    /// A real container context whose signing fails.
    class FailingSignContext : public provider::ProviderContext {
    public:
        explicit FailingSignContext(std::unique_ptr<provider::ProviderContext> inner)
            : inner_(std::move(inner)) {}
        std::vector<uint32_t> algorithms() override { return inner_->algorithms(); }
        bool hasExchangeKey() override { return inner_->hasExchangeKey(); }
        void generateExchangeKey() override { inner_->generateExchangeKey(); }
        std::string exportPublicKeyInfo() override { return inner_->exportPublicKeyInfo(); }
        std::string sha1(std::string_view bytes) override { return inner_->sha1(bytes); }
        std::string sign(std::string_view, uint32_t) override {
            throw provider::ProviderError(provider::code::kTokenRemoved);
        }
        void release() override { inner_->release(); }

    private:
        std::unique_ptr<provider::ProviderContext> inner_;
    };

    FakeProviderOptions options_;
    std::shared_ptr<provider::CryptoProvider> inner_;
};

/// A registry of fakes, all keeping their containers in `containerFolder`.
inline provider::ProviderRegistry FakeRegistry(const std::vector<FakeProviderOptions>& fakes,
                                               const std::string& containerFolder) {
    std::vector<std::shared_ptr<provider::CryptoProvider>> providers;
    for (const FakeProviderOptions& options : fakes)
        providers.push_back(std::make_shared<FakeProvider>(options, containerFolder));
    return provider::ProviderRegistry(std::move(providers));
}

/// Answers the container password prompt with a fixed answer until the object goes.
class ScopedContainerPassword {
public:
    explicit ScopedContainerPassword(std::optional<std::string> answer) {
        provider::SetContainerPasswordPrompt(
            [answer](const std::string&, provider::PasswordPurpose) -> std::optional<SecretBytes> {
                if (!answer)
                    return std::nullopt;
                return SecretBytes(*answer);
            });
    }
    ~ScopedContainerPassword() { provider::SetContainerPasswordPrompt({}); }
    ScopedContainerPassword(const ScopedContainerPassword&) = delete;
    ScopedContainerPassword& operator=(const ScopedContainerPassword&) = delete;
};

} // namespace cq::test
