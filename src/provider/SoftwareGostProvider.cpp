#include "provider/SoftwareGostProvider.h"

#include "base/FileUtil.h"
#include "base/Translate.h"
#include "provider/ContainerPassword.h"

#include <optional>

namespace cq::provider {
namespace {

std::vector<uint32_t> AlgorithmList() {
    return {std::begin(kSoftwareGostAlgorithms), std::end(kSoftwareGostAlgorithms)};
}

/// A context for queries: algorithms and hashing, no keys.
class VerifyContext : public ProviderContext {
public:
    std::vector<uint32_t> algorithms() override { return AlgorithmList(); }
    bool hasExchangeKey() override { return false; }
    void generateExchangeKey() override { throw ProviderError(code::kBadKeySet); }
    std::string exportPublicKeyInfo() override { throw ProviderError(code::kNoKey); }
    std::string sha1(std::string_view bytes) override { return Sha1(bytes); }
    std::string sign(std::string_view, uint32_t) override { throw ProviderError(code::kNoKey); }
    void release() override {}
};

/// A context on one container. A new container is stored, whole, when its key is made.
class ContainerContext : public ProviderContext {
public:
    ContainerContext(std::string folder, std::string name, SecretBytes password,
                     std::optional<GostKey> key)
        : folder_(std::move(folder)), name_(std::move(name)), password_(std::move(password)),
          key_(std::move(key)) {}

    std::vector<uint32_t> algorithms() override { return AlgorithmList(); }
    bool hasExchangeKey() override { return key_.has_value(); }

    void generateExchangeKey() override {
        if (key_)
            throw ProviderError(code::kExists, name_);
        GostKey key = GostKey::Generate();
        const SecretBytes text = key.containerText(password_.view());
        EnsureContainerFolder(folder_);
        name_ = StoreNewContainerUnderFreeName(folder_, name_, text.view());
        key_ = std::move(key);
    }

    std::string containerName() const override { return name_; }

    std::string exportPublicKeyInfo() override { return key().publicKeyInfo(); }
    std::string sha1(std::string_view bytes) override { return Sha1(bytes); }

    std::string sign(std::string_view toBeSigned, uint32_t hashAlgId) override {
        if (hashAlgId != kAlgGost3411_2012_256)
            throw ProviderError(code::kBadAlgId);
        return key().sign(toBeSigned);
    }

    void release() override { password_.wipe(); }

private:
    const GostKey& key() const {
        if (!key_)
            throw ProviderError(code::kNoKey, name_);
        return *key_;
    }

    std::string folder_;
    std::string name_;
    SecretBytes password_;
    std::optional<GostKey> key_;
};

class SoftwareGostProvider : public CryptoProvider {
public:
    explicit SoftwareGostProvider(std::string folder) : folder_(std::move(folder)) {}

    std::string name() const override { return kSoftwareGostProviderName; }
    uint32_t type() const override { return kProvTypeGost2012_256; }

    std::unique_ptr<ProviderContext> acquireVerifyContext() override {
        return std::make_unique<VerifyContext>();
    }

    std::unique_ptr<ProviderContext> acquireNewKeySet(const std::string& container) override {
        const std::string path = checkedPath(container);
        if (FileExists(path))
            throw ProviderError(code::kExists, container);
        // A folder the key could never go into is said before the password is asked.
        CheckContainerFolder(folder_);
        std::optional<SecretBytes> password =
            AskContainerPassword(container, PasswordPurpose::NewContainer);
        if (!password)
            throw ProviderError(code::kCancelled);
        return std::make_unique<ContainerContext>(folder_, container, std::move(*password),
                                                  std::nullopt);
    }

    std::unique_ptr<ProviderContext> acquireKeySet(const std::string& container) override {
        const std::string path = checkedPath(container);
        if (!FileExists(path))
            throw ProviderError(
                code::kBadKeySet,
                TrFormat("Контейнер ключей \"%1\" не найден: нет файла %2", {container, path}));
        const SecretBytes text(ReadFileBytes(path));
        try {
            GostKey key = GostKey::FromContainerText(text.view(), [&container] {
                return AskContainerPassword(container, PasswordPurpose::OpenContainer);
            });
            return std::make_unique<ContainerContext>(folder_, container, SecretBytes(),
                                                      std::move(key));
        } catch (const EOSError& error) {
            if (HasCode(error, code::kWrongPin))
                throw ProviderErrorInWords(
                    code::kWrongPin,
                    TrFormat("Неверный пароль контейнера ключей \"%1\".", {container}));
            if (!HasCode(error, code::kBadData))
                throw;
            throw ProviderError(code::kBadData,
                                TrFormat("Контейнер ключей \"%1\" повреждён: файл %2 не "
                                         "содержит ключа ГОСТ Р 34.10-2012",
                                         {container, path}));
        }
    }

private:
    std::string checkedPath(const std::string& container) const {
        if (!IsUsableContainerName(container))
            throw ProviderError(code::kBadKeySetParam, container);
        return ContainerPath(folder_, container);
    }

    std::string folder_;
};

} // namespace

std::shared_ptr<CryptoProvider> MakeSoftwareGostProvider(const std::string& engineLocation,
                                                         const std::string& containerFolder,
                                                         std::string* problem) {
    if (!LoadGostEngine(engineLocation, problem))
        return nullptr;
    return std::make_shared<SoftwareGostProvider>(IncludeTrailingPathDelimiter(containerFolder));
}

} // namespace cq::provider
