// What a PKCS#11 module answers, from fuzz input: the module (fuzz/answers/AnswersModule.cpp)
// forwards to the test token and lets the input change slot lists, token and mechanism
// information, found objects, attribute values and lengths, signatures and return codes. The
// token providers are looked for, a container's key is found, its public key read and a hash
// signed after login: every answer must end in an error in words or a result, never in a
// crash, an endless loop or an allocation the module's numbers ask for.
#include "base/Errors.h"
#include "provider/CryptoProvider.h"
#include "provider/GostKey.h"
#include "provider/Pkcs11Module.h"
#include "provider/TokenGostProvider.h"
#include "provider/TokenPin.h"

#include <dlfcn.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr const char* kContainer = "QUORIX_R20240101000000000";

using Answers = void (*)(const uint8_t*, size_t);
Answers answers = nullptr;

std::vector<std::shared_ptr<cq::provider::CryptoProvider>> Providers() {
    return cq::provider::TokenGostProviders({CQ_FUZZ_ANSWERS_MODULE}, [](const std::string&) {});
}

/// A token folder of its own with one key pair made through the module as the token answers.
void PrepareToken() {
    char folder[] = "/tmp/cq-fuzz-token-XXXXXX";
    if (!::mkdtemp(folder))
        std::abort();
    std::ofstream(std::string(folder) + "/token.conf")
        << "label=Fuzz\nmodel=QX\nserial=1\npin=1234\ntries=3\nmaxtries=3\n";
    ::setenv("CQ_TEST_TOKEN_DIR", folder, 1);
    answers(nullptr, 0);
    const auto providers = Providers();
    if (providers.size() != 1)
        std::abort();
    cq::provider::ContextOwner context(providers.front()->acquireNewKeySet(kContainer));
    context->generateExchangeKey();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (!cq::provider::LoadGostEngine(cq::provider::kGostEngineId))
        std::abort();
    void* module = ::dlopen(CQ_FUZZ_ANSWERS_MODULE, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    answers = module ? reinterpret_cast<Answers>(::dlsym(module, "CqFuzzAnswers")) : nullptr;
    if (!answers)
        std::abort();
    cq::provider::SetTokenPinPrompt([](const cq::provider::TokenPinQuestion&) {
        return std::optional<cq::SecretBytes>(cq::SecretBytes(std::string("1234")));
    });
    PrepareToken();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    answers(data, size);
    try {
        for (const auto& token : Providers()) {
            try {
                cq::provider::ContextOwner check(token->acquireVerifyContext());
                check.release();
                cq::provider::ContextOwner context(token->acquireKeySet(kContainer));
                (void)context->exportPublicKeyInfo();
                (void)context->sign("to be signed", cq::provider::kAlgGost3411_2012_256);
            } catch (const cq::Exception&) {
            }
        }
    } catch (const cq::Exception&) {
    }
    answers(nullptr, 0);
    return 0;
}
