#pragma once
// Reading PEM blocks in OpenSSL's classic form (optionally encrypted with DES-EDE3-CBC or
// DES-CBC under a password, the "Proc-Type"/"DEK-Info" headers) and the PKCS#1 RSA private key
// inside the key file; a block read leniently can be written again in the strict form.

#include "base/SecretBytes.h"

#include <string>
#include <string_view>

namespace cq {

/// How a PEM block came out of its decoding.
enum class PemDecodeStatus {
    Decoded,       ///< the block's bytes are in PemBlock::bytes
    WrongPassword, ///< the decrypted block does not end in valid padding
    Failed,        ///< no "-----BEGIN " line, another cipher, a broken header or body
};

struct PemBlock {
    PemDecodeStatus status = PemDecodeStatus::Failed;
    std::string label;  ///< what follows "-----BEGIN " up to "-----"
    std::string cipher; ///< the cipher of the "DEK-Info:" line; empty for a block in clear
    SecretBytes bytes;  ///< the decoded (and decrypted) contents
};

/// Decodes the first PEM block of `text`; with a `label`, the first block whose lines read
/// "-----BEGIN label-----" and "-----END label-----". `passwordBytes` are the Windows-1251 bytes
/// of the password; a block without "Proc-Type" header does not use them.
///
/// An encrypted block names its cipher and 8-byte vector in "DEK-Info: NAME,HEX"; the key comes
/// from the password and the vector (as salt) by EVP_BytesToKey with MD5 and one iteration. The
/// decrypted bytes must end in 1 to 8 bytes each holding that count; otherwise the password is
/// taken for wrong.
PemBlock DecodePemBlock(std::string_view text, std::string_view passwordBytes,
                        std::string_view label = {});

/// The first PEM block of `text` (with a `label`, the first block of that label) written afresh
/// in OpenSSL's layout: its label and header lines as they are, its Base64 decoded and laid out
/// again, nothing decrypted. A block that DecodePemBlock reads despite empty or blank lines, other
/// line ends or other line widths comes out in the form every PEM reader takes. Empty when there is
/// no such block or its Base64 is broken.
SecretBytes RewritePemBlock(std::string_view text, std::string_view label = {});

/// The numbers of a PKCS#1 RSAPrivateKey as their INTEGER content octets, exactly as encoded
/// (a leading zero octet included).
struct RsaKeyNumbers {
    SecretBytes modulus;
    SecretBytes publicExponent;
    SecretBytes privateExponent;
};

enum class Pkcs1Status {
    Parsed,
    NotPkcs1,          ///< not a SEQUENCE of exactly nine INTEGERs with version 0
    NumbersUnreadable, ///< the structure fits but the modulus or an exponent has no octets
};

/// Parses DER bytes as a PKCS#1 RSAPrivateKey; nothing may follow the SEQUENCE.
Pkcs1Status ParseRsaPrivateKey(std::string_view der, RsaKeyNumbers& numbers);

} // namespace cq
