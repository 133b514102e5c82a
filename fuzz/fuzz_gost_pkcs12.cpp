// Arbitrary bytes as a PKCS#12 file brought in by the GOST import, opened with the password
// "pw": the PKCS#12 and PKCS#7 structures, the GOST password-based decryption and MAC, the key
// and certificate decoding and the checks on them must end in an error or a key pair.
#include "base/Errors.h"
#include "certs/GostPkcs12.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (!cq::provider::LoadGostEngine(cq::provider::kGostEngineId))
        std::abort(); // without the engine no GOST file would get past the MAC
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    try {
        const cq::GostPkcs12Content content = cq::ReadGostPkcs12(bytes, "pw");
        (void)content.Key.publicKeyInfo();
    } catch (const cq::Exception&) {
    }
    return 0;
}
