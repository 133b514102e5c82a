#include "provider/ContainerPassword.h"

#include <mutex>

namespace cq::provider {
namespace {

std::mutex promptMutex;
ContainerPasswordPrompt installedPrompt;

std::optional<SecretBytes> DefaultAnswer(PasswordPurpose purpose) {
    if (purpose == PasswordPurpose::NewContainer)
        return SecretBytes();
    return std::nullopt;
}

} // namespace

void SetContainerPasswordPrompt(ContainerPasswordPrompt prompt) {
    const std::lock_guard<std::mutex> lock(promptMutex);
    installedPrompt = std::move(prompt);
}

std::optional<SecretBytes> AskContainerPassword(const std::string& container,
                                                PasswordPurpose purpose) {
    ContainerPasswordPrompt prompt;
    {
        const std::lock_guard<std::mutex> lock(promptMutex);
        prompt = installedPrompt;
    }
    return prompt ? prompt(container, purpose) : DefaultAnswer(purpose);
}

} // namespace cq::provider
