// Arbitrary bytes as a key container file of the software GOST provider, opened with the
// password "pw": the PEM reading, the PKCS#8 structures, the password scheme and its bounds, the
// decryption and the engine's key decoding must be safe and end in an error or a key.
#include "base/Errors.h"
#include "provider/GostKey.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (!cq::provider::LoadGostEngine(cq::provider::kGostEngineId))
        std::abort(); // without the engine nothing past the PEM reading would run
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        const cq::provider::GostKey key = cq::provider::GostKey::FromContainerText(
            text, [] { return std::optional<cq::SecretBytes>(cq::SecretBytes("pw")); });
        (void)key.publicKeyInfo();
    } catch (const cq::EOSError&) {
    }
    return 0;
}
