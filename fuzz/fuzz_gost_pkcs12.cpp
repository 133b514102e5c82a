// Arbitrary bytes as a PKCS#12 file brought in by the GOST import, opened with the password
// "pw": the PKCS#12 and PKCS#7 structures, the iteration survey, the GOST password-based
// decryption and MAC, the key and certificate decoding and the checks on them must end in an
// error or a key pair.
//
// Each input goes in twice. As it is, it reaches the DER decoding, the survey and the MAC
// check, where nearly every mutation stops. Then, when it decodes as PKCS#12, with its MAC made
// afresh over the mutated content (SHA-256, one iteration): so mutations of the safes and bags
// reach the decryption, the bag decoding and the checks behind the MAC. Inputs whose
// derivations ask for more than a few thousand iterations are left out: the reader's bound lets
// a file take seconds, which the fuzzer would count as a timeout although nothing is wrong.
#include "base/Errors.h"
#include "certs/GostPkcs12.h"
#include "certs/Pkcs12Survey.h"

#include <openssl/err.h>
#include <openssl/pkcs12.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

namespace {

constexpr const char* kPassword = "pw";
constexpr long kFuzzIterations = 4096;

using File = std::unique_ptr<PKCS12, decltype(&PKCS12_free)>;

void Read(std::string_view bytes) {
    try {
        const cq::GostPkcs12Content content = cq::ReadGostPkcs12(bytes, kPassword);
        (void)content.Key.publicKeyInfo();
    } catch (const cq::Exception&) {
    }
}

bool Cheap(const PKCS12* file) {
    try {
        cq::SurveyPkcs12(file, kPassword, kFuzzIterations);
        return true;
    } catch (const cq::Exception&) {
        return false;
    }
}

/// The file with a MAC of one SHA-256 iteration over its content, or "" when it cannot have one.
std::string WithFreshMac(PKCS12* file) {
    if (PKCS12_set_mac(file, kPassword, -1, nullptr, 0, 1, EVP_sha256()) != 1)
        return {};
    unsigned char* der = nullptr;
    const int length = i2d_PKCS12(file, &der);
    if (length <= 0)
        return {};
    std::string bytes(reinterpret_cast<const char*>(der), static_cast<size_t>(length));
    OPENSSL_free(der);
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (!cq::provider::LoadGostEngine(cq::provider::kGostEngineId))
        std::abort(); // without the engine no GOST file would get past the MAC
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto* cursor = data;
    File file(d2i_PKCS12(nullptr, &cursor, static_cast<long>(size)), PKCS12_free);
    if (!file || !Cheap(file.get())) {
        ERR_clear_error();
        if (!file)
            Read(bytes); // refused at the DER decoding
        return 0;
    }
    Read(bytes);
    if (const std::string remade = WithFreshMac(file.get()); !remade.empty())
        Read(remade);
    ERR_clear_error();
    return 0;
}
