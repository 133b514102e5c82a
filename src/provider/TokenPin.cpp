#include "provider/TokenPin.h"

#include <mutex>

namespace cq::provider {
namespace {

std::mutex promptMutex;
TokenPinPrompt installedPrompt;

} // namespace

void SetTokenPinPrompt(TokenPinPrompt prompt) {
    const std::lock_guard<std::mutex> lock(promptMutex);
    installedPrompt = std::move(prompt);
}

std::optional<SecretBytes> AskTokenPin(const TokenPinQuestion& question) {
    TokenPinPrompt prompt;
    {
        const std::lock_guard<std::mutex> lock(promptMutex);
        prompt = installedPrompt;
    }
    if (!prompt)
        return std::nullopt;
    return prompt(question);
}

} // namespace cq::provider
