// Arbitrary bytes as a key file, with a password taken from the input's head: the PEM decoding
// (headers, Base64, DES decryption and padding) and the PKCS#1 reading must be safe, and a block
// that reads must read the same once written afresh.
#include "certs/KeyFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::string_view password;
    if (!bytes.empty()) {
        const size_t length = static_cast<uint8_t>(bytes[0]) % 16;
        bytes.remove_prefix(1);
        password = bytes.substr(0, length);
        bytes.remove_prefix(password.size());
    }
    for (std::string_view label : {std::string_view(), std::string_view("RSA PRIVATE KEY")}) {
        const cq::PemBlock block = cq::DecodePemBlock(bytes, password, label);
        if (block.status == cq::PemDecodeStatus::Decoded) {
            cq::RsaKeyNumbers numbers;
            (void)cq::ParseRsaPrivateKey(block.bytes.view(), numbers);
        }
        // A block that reads, written afresh, reads the same.
        if (block.status != cq::PemDecodeStatus::Failed) {
            const cq::SecretBytes rewritten = cq::RewritePemBlock(bytes, label);
            const cq::PemBlock again = cq::DecodePemBlock(rewritten.view(), password, label);
            if (again.status != block.status || again.bytes.view() != block.bytes.view() ||
                again.label != block.label || again.cipher != block.cipher)
                std::abort();
        }
    }
    cq::RsaKeyNumbers numbers;
    (void)cq::ParseRsaPrivateKey(bytes, numbers);
    return 0;
}
