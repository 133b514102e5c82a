#pragma once
// The bytes of a GOST PKCS#12 file as the Russian PKCS#12 profile lays it out: the certificate
// in a safe and the key in a shrouded bag, each under PBES2 with PBKDF2 over HMAC GOST R
// 34.11-2012 (512 bits) and the chosen cipher, both bags carrying the friendly name and the
// local key id (the certificate's SHA-1), and a GOST R 34.11-2012 (512-bit) MAC.

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <optional>
#include <string>

namespace cq {

/// The cipher of the key and the certificates.
enum class GostPkcs12Cipher {
    /// GOST 28147-89 with the TC26 Z parameters: what every program that reads GOST PKCS#12
    /// files reads, the default.
    Gost28147_89,
    /// GOST R 34.12-2015 Kuznyechik in CTR-ACPKM mode, which the newer profile allows.
    Kuznyechik,
};

/// The cipher a name of the --cipher option or of the settings key names ("gost89",
/// "kuznyechik"), or nullopt.
std::optional<GostPkcs12Cipher> GostPkcs12CipherNamed(const std::string& name);

/// The cipher the settings ask for: key GostPkcs12Cipher of section Cert, GOST 28147-89 when
/// it is missing or names no cipher.
GostPkcs12Cipher ConfiguredGostPkcs12Cipher();

/// The file's bytes; `iterations` for each derivation and the MAC. Raises Exception.
std::string GostPkcs12Bytes(EVP_PKEY* key, X509* certificate, const std::string& password,
                            const std::string& friendlyName, GostPkcs12Cipher cipher,
                            int iterations);

} // namespace cq
