// Fuzzes how the sandbox service reads a submitted request: the raw URL target, the decoding of
// the cert query value and the PEM request with its e-mail address.

#include "RequestText.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string target = "/requp/?" + std::string(reinterpret_cast<const char*>(data), size);
    const std::optional<std::string> raw = sandbox::RawQueryValue(target, "cert");
    std::string why;
    const std::optional<sandbox::SubmittedRequest> request =
        sandbox::ParseSubmittedRequest(sandbox::DecodeQueryValue(raw.value_or(target)), why);
    if (request && (request->email.empty() || request->pem.empty()))
        __builtin_trap();
    return 0;
}
